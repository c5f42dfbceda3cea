#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/folder_item.h"
#include "runtime/quit_signal.h"
#include "runtime/script.h"
#include "tests/support/bundle.h"
#include "tests/support/temp_dir.h"

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using namespace std::chrono_literals;
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

// The process ids a stand-in has listed on its line in `path`.
std::vector<pid_t> ProcessesListedIn(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::vector<pid_t> pids;
  if (!std::getline(in, line) || in.eof()) return pids;
  std::istringstream ids(line);
  for (pid_t pid; ids >> pid;) pids.push_back(pid);
  return pids;
}

// Whether the process has ended (waited for, or a zombie left to init)
// within ten seconds.
bool Ends(pid_t pid) {
  for (int i = 0; i < 1000; ++i) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return true;
    const size_t name = stat.rfind(')');
    if (name != std::string::npos && stat.compare(name, 3, ") Z") == 0) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

// Each fault ends the call with the script's process and its children gone,
// a child that ignores SIGTERM included, or returns what the script wrote
// without waiting for a child it left behind; a quit signal stays pending for
// the event loop.
TEST(ScriptExecution, FaultsEndTheCallAndLeaveNothingRunning) {
  enum class Quit { kNone, kBefore, kWhileRunning };
  struct Case {
    std::string script;
    std::vector<std::string> arguments;
    Quit quit;
    std::string result, error;
    size_t processes;  // how many process ids the stand-in lists
  };
  testsupport::Bundle bundle;
  testsupport::TempDir dir;
  const std::string logged = bundle.ResourcesPath() + "/applyCS.scpt", pids = dir / "pids";
  const std::vector<Case> cases = {
      {logged, {"1,", "3,", std::string("Bo\0ld", 5), "1", "9"}, Quit::kNone, "",
       "\"applyCS.scpt\" was not started: argument 3 holds a NUL byte", 0},
      {logged, {"1,", "3,", "Bold", std::string("1\09", 3), "9"}, Quit::kNone, "", "argument 4", 0},
      {logged, {"1,"}, Quit::kBefore, "", "\"applyCS.scpt\" was not started", 0},
      {StandIn("detach.scpt")->NativePath(), {pids}, Quit::kNone, "done", "", 1},
      {StandIn("hang.scpt")->NativePath(), {pids}, Quit::kWhileRunning, "",
       "\"hang.scpt\" was ended by a quit signal", 2}};
  ASSERT_TRUE(rt::InstallQuitSignals());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script + " " + c.arguments.front());
    std::filesystem::remove(pids);
    if (c.quit == Quit::kBefore) raise(SIGTERM);
    std::thread quitter;
    if (c.quit == Quit::kWhileRunning) {
      quitter = std::thread([&] {
        for (int i = 0; i < 1000 && ProcessesListedIn(pids).empty(); ++i) {
          std::this_thread::sleep_for(10ms);
        }
        kill(getpid(), SIGTERM);
      });
    }
    std::string result, error;
    try {
      result = rt::ExecuteAppleScript(At(c.script), c.arguments);
    } catch (const rt::ScriptExecutionException& e) {
      error = e.what();
    }
    if (quitter.joinable()) quitter.join();
    EXPECT_EQ(result, c.result);
    EXPECT_THAT(error, c.error.empty() ? testing::Matcher<std::string>(testing::IsEmpty())
                                       : HasSubstr(c.error));
    EXPECT_EQ(rt::QuitSignalPending(), c.quit != Quit::kNone);
    rt::ConsumeQuitSignals();
    const std::vector<pid_t> listed = ProcessesListedIn(pids);
    EXPECT_EQ(listed.size(), c.processes);
    for (const pid_t pid : listed) {
      if (c.quit == Quit::kNone) kill(pid, SIGKILL);  // the child left behind
      EXPECT_TRUE(Ends(pid)) << pid;
    }
  }
  rt::RemoveQuitSignals();
  EXPECT_TRUE(bundle.Calls().empty());
}

void CustomHandler(int) {}

// A quit signal that is ignored when the handlers go in (nohup, a background
// job of a shell) stays ignored; the others quit, and removing the handlers
// gives each signal back the action it had before, not the default one.
TEST(QuitSignals, IgnoredOnesStayIgnoredAndEveryActionComesBack) {
  const std::vector<std::tuple<int, void (*)(int), bool>> cases = {
      {SIGHUP, SIG_IGN, false}, {SIGINT, CustomHandler, true}, {SIGTERM, SIG_DFL, true}};
  std::vector<struct sigaction> saved(cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    struct sigaction action {};
    action.sa_handler = std::get<1>(cases[i]);
    sigaction(std::get<0>(cases[i]), &action, &saved[i]);
  }
  ASSERT_TRUE(rt::InstallQuitSignals());
  for (const auto& [signal, before, quits] : cases) {
    SCOPED_TRACE(signal);
    raise(signal);
    EXPECT_EQ(rt::QuitSignalPending(), quits);
    rt::ConsumeQuitSignals();
  }
  rt::RemoveQuitSignals();
  for (size_t i = 0; i < cases.size(); ++i) {
    struct sigaction after {};
    sigaction(std::get<0>(cases[i]), &saved[i], &after);
    EXPECT_EQ(after.sa_handler, std::get<1>(cases[i])) << std::get<0>(cases[i]);
  }
}

TEST(ScriptExecution, MegabytesOnBothStreamsDoNotBlock) {
  const std::string out = rt::ExecuteAppleScript(StandIn("flood.scpt"), {});
  EXPECT_EQ(out.size(), 10u << 20);
  EXPECT_EQ(out.find_first_not_of('o'), std::string::npos);
}

TEST(ScriptExecution, StandardInputIsEmptyAndNoDescriptorStaysOpen) {
  const auto openFds = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  // The first start opens /dev/null for good.
  EXPECT_EQ(rt::ExecuteAppleScript(StandIn("stdin.scpt"), {}), "/dev/null");
  const auto before = openFds();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(rt::ExecuteAppleScript(StandIn("stdin.scpt"), {}), "/dev/null");
    FailureOf(StandIn("fail.scpt"));
    FailureOf(At("/nonexistent/absent.scpt"));
  }
  EXPECT_EQ(openFds(), before);
}

}  // namespace
