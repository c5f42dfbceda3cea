#include <gtest/gtest.h>

#include "runtime/application.h"
#include "runtime/folder_item.h"

namespace {

TEST(Application, VersionStringShowsStageLetterAndNonReleaseNumber) {
  struct Case { int64_t minor, bug, nonRelease, stage; const char* shown; };
  for (const Case& c : {Case{0, 0, 10, 2, "3.0.0b10"}, Case{1, 2, 4, 1, "3.1.2a4"},
                        Case{0, 0, 7, 0, "3.0.0d7"}, Case{0, 1, 10, 3, "3.0.1"}}) {
    rt::Application app;
    app.SetVersionData(3, c.minor, c.bug, c.nonRelease, c.stage, "", "", "");
    EXPECT_EQ(app.VersionString(), c.shown);
  }
}

TEST(Application, ExecutableFileIsTheRunningProgram) {
  EXPECT_EQ(rt::Application().ExecutableFile()->NativePath(), rt::RunningExecutablePath());
}

}  // namespace
