#include <dirent.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/folder_item.h"
#include "runtime/script.h"
#include "tests/support/bundle.h"
#include "tests/support/temp_dir.h"

namespace {

using ::testing::HasSubstr;

std::shared_ptr<rt::FolderItem> At(const std::string& path) {
  return std::make_shared<rt::FolderItem>(path, rt::FolderItem::kPathModeNative, false);
}

std::shared_ptr<rt::FolderItem> StandIn(const std::string& name) {
  return At(testsupport::StandInScriptsDir() + "/" + name);
}

std::string Echo(const std::string& text) {
  return rt::ExecuteAppleScript(StandIn("echo.scpt"), {text});
}

rt::ScriptExecutionException FailureOf(const std::shared_ptr<rt::FolderItem>& script,
                                       const std::vector<std::string>& arguments = {}) {
  try {
    std::string result = rt::ExecuteAppleScript(script, arguments);
    ADD_FAILURE() << "expected a ScriptExecutionException, got result \"" << result << "\"";
  } catch (const rt::ScriptExecutionException& e) {
    return e;
  }
  return rt::ScriptExecutionException("none", "", 0, "");
}

int OpenDescriptorCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
  closedir(dir);
  return count;
}

TEST(ScriptExecution, ResultDropsOneFinalLineFeedAndKeepsEverythingElse) {
  EXPECT_EQ(Echo("a\r\nb\r\n"), "a\r\nb\r");
  EXPECT_EQ(Echo("a\n\n"), "a\n");
  EXPECT_EQ(Echo("a\r"), "a\r");
  EXPECT_EQ(Echo("\n"), "");
  EXPECT_EQ(Echo(""), "");
  EXPECT_EQ(Echo(" x \t"), " x \t");
}

TEST(ScriptExecution, HostileArgumentsReachTheScriptUnchangedAndRunNothing) {
  testsupport::Bundle bundle;
  const std::string marker = bundle.root() + "/ran";
  const std::vector<std::string> arguments = {
      "two words",  "'single' \"double\"", "$(touch " + marker + ")",
      "`touch " + marker + "`", "; touch " + marker, "| touch " + marker + " &",
      "line 1\nline 2", "cr\rcrlf\r\n", "日本語の段落スタイル", "*", "$HOME", "\\t\\",
      "-n", "",  "--", "\t"};
  rt::ExecuteAppleScript(At(bundle.ResourcesPath() + "/applyCS.scpt"), arguments);
  const std::vector<testsupport::ScriptCall> expected = {{"applyCS.scpt", arguments}};
  EXPECT_EQ(bundle.Calls(), expected);
  for (const std::string& a : arguments) {
    std::string back = a;
    if (!back.empty() && back.back() == '\n') back.pop_back();
    EXPECT_EQ(Echo(a), back);
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(ScriptExecution, FailingScriptRaisesWithNameStatusAndErrorOutput) {
  const rt::ScriptExecutionException e = FailureOf(StandIn("fail.scpt"));
  EXPECT_EQ(e.ScriptName(), "fail.scpt");
  EXPECT_EQ(e.Status(), 3);
  EXPECT_EQ(e.ErrorOutput(), "host document is not open\n");
  EXPECT_THAT(e.what(), HasSubstr("fail.scpt"));
  EXPECT_THAT(e.what(), HasSubstr("status 3"));
  EXPECT_THAT(e.what(), HasSubstr("host document is not open"));
}

TEST(ScriptExecution, ScriptEndedBySignalRaises) {
  const rt::ScriptExecutionException e = FailureOf(StandIn("signal.scpt"));
  EXPECT_EQ(e.Status(), 128 + 9);
  EXPECT_EQ(e.ErrorOutput(), "about to be killed\n");
  EXPECT_THAT(e.what(), HasSubstr("signal.scpt"));
}

TEST(ScriptExecution, ScriptThatCannotStartRaisesInsteadOfAnEmptyResult) {
  testsupport::TempDir dir;
  const rt::ScriptExecutionException missing = FailureOf(At(dir / "absent.scpt"));
  EXPECT_EQ(missing.ScriptName(), "absent.scpt");
  EXPECT_EQ(missing.Status(), -1);
  EXPECT_THAT(missing.what(), HasSubstr("absent.scpt"));

  testsupport::WriteFile(dir / "plain.scpt", "#!/bin/sh\necho hi\n");
  EXPECT_EQ(FailureOf(At(dir / "plain.scpt")).Status(), -1);  // not executable

  testsupport::WriteFile(dir / "noline.scpt", "echo hi\n");
  chmod((dir / "noline.scpt").c_str(), 0755);
  EXPECT_EQ(FailureOf(At(dir / "noline.scpt")).Status(), -1);  // no interpreter line

  EXPECT_EQ(FailureOf(At(dir.path())).Status(), -1);  // a folder

  // One argument longer than the system passes to a program.
  EXPECT_EQ(FailureOf(StandIn("echo.scpt"), {std::string(4 << 20, 'x')}).Status(), -1);

  EXPECT_THROW(rt::ExecuteAppleScript(nullptr, {}), rt::NilObjectException);
}

TEST(ScriptExecution, MegabytesOnBothStreamsDoNotBlock) {
  const std::string out = rt::ExecuteAppleScript(StandIn("flood.scpt"), {});
  EXPECT_EQ(out.size(), 10u << 20);
  EXPECT_EQ(out.find_first_not_of('o'), std::string::npos);
}

TEST(ScriptExecution, StandardInputIsEmpty) {
  EXPECT_EQ(rt::ExecuteAppleScript(StandIn("stdin.scpt"), {}), "/dev/null");
}

TEST(ScriptExecution, LeavesNoDescriptorOpen) {
  testsupport::TempDir dir;
  const int before = OpenDescriptorCount();
  for (int i = 0; i < 20; ++i) {
    Echo("x");
    FailureOf(StandIn("fail.scpt"));
    FailureOf(At(dir / "absent.scpt"));
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
