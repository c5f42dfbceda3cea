#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/rule_run.h"
#include "engine/script_bridge.h"
#include "runtime/script.h"
#include "tests/support/bundle.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ScriptCall;
using ::testing::AllOf;
using ::testing::Property;
using ::testing::Throws;
namespace fs = std::filesystem;

const ScriptCall kContent = {"getcontents.scpt", {}};

ScriptCall CS(const std::string& starts, const std::string& ends, const std::string& style,
              const std::string& idA, const std::string& idB, const std::string& flag = "0") {
  return {"applyCS.scpt", {starts, ends, style, idA, idB, flag}};
}

ScriptCall PS(const std::string& paragraphs, const std::string& style, const std::string& idA,
              const std::string& idB, const std::string& flag = "0") {
  return {"applyPS.scpt", {paragraphs, style, idA, idB, flag}};
}

class RuleRun : public ::testing::Test {
 protected:
  void SetUp() override {
    engine::SetClearingFlagSource([] { return std::optional<bool>(false); });
  }
  void TearDown() override { engine::SetClearingFlagSource(nullptr); }

  // Runs `rules` on `inventory`; each request as kind, style and first argument ("PS:B:1,").
  std::vector<std::string> Requests(const std::string& rules, const std::string& inventory) {
    bundle_.ClearCalls();
    bundle_.WriteRuleFile("r.txt", rules);
    bundle_.WriteInventory(inventory);
    engine::MainScpt("r.txt");
    std::vector<std::string> out;
    for (const ScriptCall& c : bundle_.Calls()) {
      if (c.name == "applyCS.scpt") out.push_back("CS:" + c.args.at(2) + ":" + c.args.at(0));
      if (c.name == "applyPS.scpt") out.push_back("PS:" + c.args.at(1) + ":" + c.args.at(0));
    }
    return out;
  }

  testsupport::Bundle bundle_;
};

TEST_F(RuleRun, MissingOrUnreadableRuleFileRunsNoStyleScript) {
  bundle_.WriteInventory("1:abc");
  engine::MainScpt("");
  engine::MainScpt("absent.txt");
  EXPECT_TRUE(bundle_.Calls().empty());

  fs::create_directories(bundle_.RuleFolderPath() + "/folder.txt");
  engine::MainScpt("folder.txt");
  EXPECT_EQ(bundle_.Calls(), std::vector<ScriptCall>{kContent});

  bundle_.ClearCalls();
  fs::remove_all(bundle_.RuleFolderPath());
  engine::MainScpt("absent.txt");
  EXPECT_TRUE(bundle_.Calls().empty());
  EXPECT_FALSE(fs::exists(bundle_.RuleFolderPath()));
}

TEST_F(RuleRun, RequestsGoItemByItemThenRuleByRuleReadingTheFlagAtEach) {
  int reads = 0;
  engine::SetClearingFlagSource([&reads] { return std::optional<bool>(reads++ % 2 == 0); });
  bundle_.WriteRuleFile("r.txt", "b\tChar1\n^x\tPara1\tp\n");
  bundle_.WriteInventory("1/2:abc<t@ke>3/4:x\rxb");
  engine::MainScpt("r.txt");
  const std::vector<ScriptCall> expected = {
      kContent, CS("2,", "2,", "Char1", "1", "2", "1"), PS("", "Para1", "1", "2"),
      CS("4,", "4,", "Char1", "3", "4", "1"), PS("1,2,", "Para1", "3", "4")};
  EXPECT_EQ(bundle_.Calls(), expected);
}

TEST_F(RuleRun, EmptyItemsAreSkippedAndEveryOtherGetsOneRequestPerRule) {
  std::vector<std::string> expected;
  for (const std::string at : {"1,", "2,", "3,", "4,"}) {
    expected.insert(expected.end(), {"CS:A:" + at, "PS:B:1,", "CS:C:" + at});
  }
  const std::string inventory = "<t@ke>1:a<t@ke><t@ke>2:-a<t@ke>3:--a<t@ke>4:---a<t@ke>";
  EXPECT_EQ(Requests("a\tA\na\tB\tp\na\tC\n", inventory), expected);
  for (const char* empty : {"", "<t@ke>", "<t@ke><t@ke>"}) {
    EXPECT_TRUE(Requests("a\tA\n", empty).empty()) << empty;
    EXPECT_EQ(bundle_.Calls(), std::vector<ScriptCall>{kContent});
  }
}

TEST_F(RuleRun, ItemIsCutAtItsFirstColonAndIdentifierAtSlashes) {
  bundle_.WriteRuleFile("r.txt", ".+\tLen\n");  // the extent of the text
  bundle_.WriteInventory("3/17:Total: 40<t@ke>3:abc<t@ke>3/17/9:abc<t@ke>:abc<t@ke>3/17:<t@ke>"
                         "noColon<t@ke>a/:b:c");
  engine::MainScpt("r.txt");
  const std::vector<ScriptCall> expected = {
      kContent, CS("1,", "9,", "Len", "3", "17"), CS("1,", "3,", "Len", "3", ""),
      CS("1,", "3,", "Len", "3", "17"), CS("1,", "3,", "Len", "", ""), CS("", "", "Len", "3", "17"),
      CS("1,", "7,", "Len", "", ""), CS("1,", "3,", "Len", "a", "")};
  EXPECT_EQ(bundle_.Calls(), expected);
}

TEST_F(RuleRun, RejectedPatternEndsRunQuietlyInACharacterRuleButNotInAParagraphRule) {
  struct Case { std::string rules, inventory; std::vector<std::string> expected; };
  for (const Case& c : std::vector<Case>{
           {"a\tA\n(\tBad\na\tC\n", "1:a<t@ke>2:a", {"CS:A:1,"}},
           {"(\tBad\tp\na\tA\n", "1:a<t@ke>2:ba", {"PS:Bad:", "CS:A:1,", "PS:Bad:", "CS:A:2,"}}}) {
    SCOPED_TRACE(::testing::PrintToString(c.rules + c.inventory));
    EXPECT_EQ(Requests(c.rules, c.inventory), c.expected);
  }
}

// A byte that is not UTF-8 is one character that matches nothing.
TEST_F(RuleRun, TextWithAStrayByteIsStyledLikeAnyOther) {
  EXPECT_EQ(Requests("b\tB\t\n", "1:ab<t@ke>2:a\xFF" "b<t@ke>3:ab"),
            (std::vector<std::string>{"CS:B:2,", "CS:B:3,", "CS:B:2,"}));
}

TEST_F(RuleRun, FailingScriptEndsRunWithItsException) {
  bundle_.WriteRuleFile("r.txt", "a\tA\na\tB\tp\na\tC\n");
  bundle_.WriteInventory("1:a<t@ke>2:a");
  bundle_.InstallScript("fail.scpt", "applyPS.scpt");
  using E = rt::ScriptExecutionException;
  EXPECT_THAT([] { engine::MainScpt("r.txt"); },
              Throws<E>(AllOf(Property(&E::ScriptName, "applyPS.scpt"), Property(&E::Status, 3),
                              Property(&E::ErrorOutput, "host document is not open\n"))));
  EXPECT_EQ(bundle_.Calls(), (std::vector<ScriptCall>{kContent, CS("1,", "1,", "A", "1", "")}));

  bundle_.ClearCalls();
  bundle_.InstallScript("fail.scpt", "getcontents.scpt");
  EXPECT_THROW(engine::MainScpt("r.txt"), rt::ScriptExecutionException);
}

TEST_F(RuleRun, EachRunFindsTheScriptsAnew) {
  const std::vector<ScriptCall> oneRun = {kContent, CS("1,", "1,", "A", "1", "")};
  bundle_.WriteRuleFile("r.txt", "a\tA\n");
  bundle_.WriteInventory("1:a");
  engine::MainScpt("r.txt");
  testsupport::Bundle moved;  // registers itself as the running application
  moved.WriteRuleFile("r.txt", "a\tA\n");
  moved.WriteInventory("1:a");
  engine::MainScpt("r.txt");
  EXPECT_EQ(bundle_.Calls(), oneRun);
  EXPECT_EQ(moved.Calls(), oneRun);
}

TEST_F(RuleRun, EachLineIsOneRuleWhateverItsLineEndAndKindIsExactlyPOrP) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"a\t1\tp\na\t2\tP\na\t3\t p\na\t4\tp \na\t5\tx\na\t6\t\na\t7\tp\tmore\na\n",
       {"PS:1:1,", "PS:2:1,", "CS:3:1,", "CS:4:1,", "CS:5:1,", "CS:6:1,", "PS:7:1,", "CS::1,"}},
      {"\xEF\xBB\xBF" "a\tFirst\tp\r\nb\tSecond\r\n", {"PS:First:1,", "CS:Second:2,"}},
      {"a\tFirst\rb\tSecond\tp\r", {"CS:First:1,", "PS:Second:1,"}},
      {"", {"CS::1,2,3,"}},
      {"a\tA\n\nb\tC\tp\n", {"CS:A:1,", "CS::1,2,3,", "PS:C:1,"}}};
  for (const auto& [rules, expected] : cases) {
    SCOPED_TRACE(::testing::PrintToString(rules));
    EXPECT_EQ(Requests(rules, "1:ab"), expected);
  }
}

TEST_F(RuleRun, HostileTextsReachTheScriptsUnchangedAndRunNothing) {
  testsupport::TempDir work;  // where the commands below would leave "ran"
  const fs::path before = fs::current_path();
  fs::current_path(work.path());
  const std::string style = "$(touch ran) `touch ran` 'q' \"d\" 日本語";
  const std::string idA = "a b;$(touch ran)|touch ran&", idB = "`touch ran` \\ *";
  bundle_.WriteRuleFile("r.txt", "語\t" + style + "\n");
  bundle_.WriteInventory(idA + "/" + idB + ":日本語\r\n\"x\"");
  engine::MainScpt("r.txt");
  fs::current_path(before);
  EXPECT_EQ(bundle_.Calls(), (std::vector<ScriptCall>{kContent, CS("3,", "3,", style, idA, idB)}));
  EXPECT_TRUE(fs::is_empty(work.path()));
}

}  // namespace
