#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/folder_item.h"
#include "runtime/script.h"
#include "tests/support/bundle.h"
#include "tests/support/temp_dir.h"

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

std::shared_ptr<rt::FolderItem> At(const std::string& path) {
  return std::make_shared<rt::FolderItem>(path, rt::FolderItem::kPathModeNative, false);
}

std::shared_ptr<rt::FolderItem> StandIn(const std::string& name) {
  return At(testsupport::StandInScriptsDir() + "/" + name);
}

rt::ScriptExecutionException FailureOf(const std::shared_ptr<rt::FolderItem>& script,
                                       const std::vector<std::string>& arguments = {}) {
  try {
    ADD_FAILURE() << "no exception, result \"" << rt::ExecuteAppleScript(script, arguments) << "\"";
  } catch (const rt::ScriptExecutionException& e) {
    return e;
  }
  return rt::ScriptExecutionException("none", "", 0, "");
}

TEST(ScriptExecution, ResultDropsOneFinalLineFeedAndKeepsEverythingElse) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a\r\nb\r\n", "a\r\nb\r"}, {"a\n\n", "a\n"}, {"a\r", "a\r"}, {"\n", ""}, {" x \t", " x \t"}};
  for (const auto& [printed, result] : cases) {
    SCOPED_TRACE(printed);
    EXPECT_EQ(rt::ExecuteAppleScript(StandIn("echo.scpt"), {printed}), result);
  }
}

TEST(ScriptExecution, HostileArgumentsReachTheScriptUnchangedAndRunNothing) {
  testsupport::Bundle bundle;
  const std::string touch = "touch " + bundle.root() + "/ran";
  const std::vector<std::string> arguments = {
      "two words", "'single' \"double\"", "$(" + touch + ")", "`" + touch + "`", "; " + touch,
      "| " + touch + " &", "line 1\nline 2", "cr\rcrlf\r\n", "日本語", "*", "$HOME", "\\t\\",
      "-n", "", "--", "\t"};
  rt::ExecuteAppleScript(At(bundle.ResourcesPath() + "/applyCS.scpt"), arguments);
  EXPECT_EQ(bundle.Calls(), (std::vector<testsupport::ScriptCall>{{"applyCS.scpt", arguments}}));
  EXPECT_FALSE(fs::exists(bundle.root() + "/ran"));
}

TEST(ScriptExecution, ScriptThatFailsIsKilledOrCannotStartRaisesWithNameStatusAndErrorOutput) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "plain.scpt", "#!/bin/sh\necho hi\n");  // not executable
  testsupport::WriteFile(dir / "noline.scpt", "echo hi\n");           // no interpreter line
  chmod((dir / "noline.scpt").c_str(), 0755);
  const std::string echo = StandIn("echo.scpt")->NativePath(), tooLong(4 << 20, 'x');
  const std::vector<std::tuple<std::string, std::string, int, std::string>> cases = {
      {StandIn("fail.scpt")->NativePath(), "", 3, "host document is not open"},
      {StandIn("signal.scpt")->NativePath(), "", 128 + 9, "about to be killed"},
      {dir / "absent.scpt", "", -1, ""}, {dir / "plain.scpt", "", -1, ""},
      {dir / "noline.scpt", "", -1, ""}, {dir.path(), "", -1, ""}, {echo, tooLong, -1, ""}};
  for (const auto& [path, argument, status, message] : cases) {
    SCOPED_TRACE(path);
    const rt::ScriptExecutionException e = FailureOf(At(path), {argument});
    const std::string name = fs::path(path).filename();
    EXPECT_EQ(e.ScriptName(), name);
    EXPECT_EQ(e.Status(), status);
    EXPECT_EQ(e.ErrorOutput(), message.empty() ? "" : message + "\n");
    EXPECT_THAT(e.what(), AllOf(HasSubstr(name), HasSubstr(message)));
  }
  EXPECT_THROW(rt::ExecuteAppleScript(nullptr, {}), rt::NilObjectException);
}

TEST(ScriptExecution, MegabytesOnBothStreamsDoNotBlock) {
  const std::string out = rt::ExecuteAppleScript(StandIn("flood.scpt"), {});
  EXPECT_EQ(out.size(), 10u << 20);
  EXPECT_EQ(out.find_first_not_of('o'), std::string::npos);
}

TEST(ScriptExecution, StandardInputIsEmptyAndNoDescriptorStaysOpen) {
  const auto openFds = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  const auto before = openFds();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(rt::ExecuteAppleScript(StandIn("stdin.scpt"), {}), "/dev/null");
    FailureOf(StandIn("fail.scpt"));
    FailureOf(At("/nonexistent/absent.scpt"));
  }
  EXPECT_EQ(openFds(), before);
}

}  // namespace
