#include <memory>

#include <gtest/gtest.h>

#include "runtime/application.h"
#include "runtime/folder_item.h"

namespace {

TEST(Application, VersionStringShowsStageLetterAndNonReleaseNumber) {
  rt::Application app;
  app.SetVersionData(3, 0, 0, 10, 2, "", "", "");
  EXPECT_EQ(app.VersionString(), "3.0.0b10");
  app.SetVersionData(3, 1, 2, 4, 1, "", "", "");
  EXPECT_EQ(app.VersionString(), "3.1.2a4");
  app.SetVersionData(3, 0, 0, 7, 0, "", "", "");
  EXPECT_EQ(app.VersionString(), "3.0.0d7");
  app.SetVersionData(3, 0, 1, 10, 3, "", "", "");
  EXPECT_EQ(app.VersionString(), "3.0.1");
}

TEST(Application, ExecutableFileIsTheRunningProgramUnlessOverridden) {
  rt::Application app;
  const auto running = app.ExecutableFile();
  ASSERT_NE(running, nullptr);
  EXPECT_EQ(running->NativePath(), rt::RunningExecutablePath());
  EXPECT_TRUE(running->Exists());

  app.SetExecutablePathForTesting("/opt/bundle/bin/sorvane");
  EXPECT_EQ(app.ExecutableFile()->NativePath(), "/opt/bundle/bin/sorvane");
}

}  // namespace
