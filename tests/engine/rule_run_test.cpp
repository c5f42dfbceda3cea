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

namespace {

using testsupport::ScriptCall;
using ::testing::HasSubstr;
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

  // Style names of the requests in order, "CS:" or "PS:" before each.
  std::vector<std::string> RequestKindsAndStyles() const {
    std::vector<std::string> out;
    for (const ScriptCall& c : bundle_.Calls()) {
      if (c.name == "applyCS.scpt") out.push_back("CS:" + c.args.at(2));
      if (c.name == "applyPS.scpt") out.push_back("PS:" + c.args.at(1));
    }
    return out;
  }

  testsupport::Bundle bundle_;
};

TEST_F(RuleRun, EmptyNameOrMissingFileRunsNoScript) {
  bundle_.WriteInventory("1:abc");
  engine::MainScpt("");
  engine::MainScpt("absent.txt");
  EXPECT_TRUE(bundle_.Calls().empty());

  fs::remove(bundle_.RuleFolderPath());
  engine::MainScpt("absent.txt");
  EXPECT_TRUE(bundle_.Calls().empty());
  EXPECT_FALSE(fs::exists(bundle_.RuleFolderPath()));
}

TEST_F(RuleRun, RequestsGoItemByItemThenRuleByRule) {
  bundle_.WriteRuleFile("r.txt", "b\tChar1\n^x\tPara1\tp\n");
  bundle_.WriteInventory("1/2:abc<t@ke>3/4:x\rxb");
  engine::MainScpt("r.txt");
  const std::vector<ScriptCall> expected = {
      kContent,
      CS("2,", "2,", "Char1", "1", "2"),
      PS("", "Para1", "1", "2"),
      CS("4,", "4,", "Char1", "3", "4"),
      PS("1,2,", "Para1", "3", "4")};
  EXPECT_EQ(bundle_.Calls(), expected);
}

TEST_F(RuleRun, EmptyItemsAreSkippedAndEveryOtherGetsOneRequestPerRule) {
  bundle_.WriteRuleFile("r.txt", "a\tA\nb\tB\tp\nc\tC\n");
  bundle_.WriteInventory("<t@ke>1:x<t@ke><t@ke>2:y<t@ke>3:text with <t@ke>4:z<t@ke>");
  engine::MainScpt("r.txt");
  const auto calls = bundle_.Calls();
  ASSERT_EQ(calls.size(), 1u + 4 * 3);
  EXPECT_EQ(calls[0], kContent);
  for (size_t i = 0; i < 12; ++i) {
    const ScriptCall& c = calls[1 + i];
    EXPECT_EQ(c.name, i % 3 == 1 ? "applyPS.scpt" : "applyCS.scpt");
    const std::string& idA = c.name == "applyPS.scpt" ? c.args.at(2) : c.args.at(3);
    EXPECT_EQ(idA, std::to_string(1 + i / 3));
  }

  bundle_.ClearCalls();
  for (const char* inventory : {"", "<t@ke>", "<t@ke><t@ke>"}) {
    bundle_.WriteInventory(inventory);
    engine::MainScpt("r.txt");
  }
  EXPECT_EQ(bundle_.Calls(), std::vector<ScriptCall>(3, kContent));
}

TEST_F(RuleRun, ItemIsCutAtItsFirstColonAndIdentifierAtSlashes) {
  // ".+" reports the text's length, ":" the colons the text kept.
  bundle_.WriteRuleFile("r.txt", ".+\tLen\n:\tColon\n");
  bundle_.WriteInventory(
      "3/17:Total: 40<t@ke>3:abc<t@ke>3/17/9:abc<t@ke>:abc<t@ke>3/17:<t@ke>noColon"
      "<t@ke>a/:b:c");
  engine::MainScpt("r.txt");
  const std::vector<ScriptCall> expected = {
      kContent,
      CS("1,", "9,", "Len", "3", "17"), CS("6,", "6,", "Colon", "3", "17"),
      CS("1,", "3,", "Len", "3", ""),   CS("", "", "Colon", "3", ""),
      CS("1,", "3,", "Len", "3", "17"), CS("", "", "Colon", "3", "17"),
      CS("1,", "3,", "Len", "", ""),    CS("", "", "Colon", "", ""),
      CS("", "", "Len", "3", "17"),     CS("", "", "Colon", "3", "17"),
      CS("1,", "7,", "Len", "", ""),    CS("", "", "Colon", "", ""),
      CS("1,", "3,", "Len", "a", ""),   CS("2,", "2,", "Colon", "a", "")};
  EXPECT_EQ(bundle_.Calls(), expected);
}

TEST_F(RuleRun, ClearingFlagFollowsTheCheckBoxBetweenRequests) {
  int reads = 0;
  engine::SetClearingFlagSource([&reads] { return std::optional<bool>(reads++ % 2 == 0); });
  bundle_.WriteRuleFile("r.txt", "a\tA\na\tB\tp\na\tC\n");
  bundle_.WriteInventory("1:a");
  engine::MainScpt("r.txt");
  const std::vector<ScriptCall> expected = {kContent, CS("1,", "1,", "A", "1", "", "1"),
                                            PS("1,", "B", "1", "", "0"),
                                            CS("1,", "1,", "C", "1", "", "1")};
  EXPECT_EQ(bundle_.Calls(), expected);
}

TEST_F(RuleRun, RejectedCharacterPatternEndsRunAfterEarlierRequests) {
  bundle_.WriteRuleFile("r.txt", "a\tA\n(\tBad\na\tC\n");
  bundle_.WriteInventory("1:a<t@ke>2:a");
  EXPECT_NO_THROW(engine::MainScpt("r.txt"));
  EXPECT_EQ(bundle_.Calls(), (std::vector<ScriptCall>{kContent, CS("1,", "1,", "A", "1", "")}));

  // A text the expressions cannot search ends the run at that item.
  bundle_.ClearCalls();
  bundle_.WriteRuleFile("s.txt", "a\tA\na\tB\tp\n");
  bundle_.WriteInventory("1:a<t@ke>2:bad \xFF<t@ke>3:a");
  EXPECT_NO_THROW(engine::MainScpt("s.txt"));
  EXPECT_EQ(bundle_.Calls(), (std::vector<ScriptCall>{kContent, CS("1,", "1,", "A", "1", ""),
                                                      PS("1,", "B", "1", "")}));
}

TEST_F(RuleRun, RejectedParagraphPatternGivesEmptyListAndRunGoesOn) {
  bundle_.WriteRuleFile("r.txt", "(\tBad\tp\na\tA\n");
  bundle_.WriteInventory("1:a<t@ke>2:ba");
  engine::MainScpt("r.txt");
  const std::vector<ScriptCall> expected = {kContent, PS("", "Bad", "1", ""),
                                            CS("1,", "1,", "A", "1", ""), PS("", "Bad", "2", ""),
                                            CS("2,", "2,", "A", "2", "")};
  EXPECT_EQ(bundle_.Calls(), expected);
}

TEST_F(RuleRun, FailingScriptEndsRunWithItsException) {
  bundle_.WriteRuleFile("r.txt", "a\tA\na\tB\tp\na\tC\n");
  bundle_.WriteInventory("1:a<t@ke>2:a");
  bundle_.InstallScript("fail.scpt", "applyPS.scpt");
  try {
    engine::MainScpt("r.txt");
    FAIL() << "the failure was swallowed";
  } catch (const rt::ScriptExecutionException& e) {
    EXPECT_EQ(e.ScriptName(), "applyPS.scpt");
    EXPECT_EQ(e.Status(), 3);
    EXPECT_THAT(e.what(), HasSubstr("host document is not open"));
  }
  EXPECT_EQ(bundle_.Calls(), (std::vector<ScriptCall>{kContent, CS("1,", "1,", "A", "1", "")}));

  bundle_.ClearCalls();
  bundle_.InstallScript("fail.scpt", "getcontents.scpt");
  EXPECT_THROW(engine::MainScpt("r.txt"), rt::ScriptExecutionException);
  EXPECT_TRUE(bundle_.Calls().empty());
}

TEST_F(RuleRun, KindIsPInEitherCaseButNeverTrimmed) {
  bundle_.WriteRuleFile("r.txt",
                        "a\t1\tp\na\t2\tP\na\t3\t p\na\t4\tp \na\t5\tx\na\t6\t\na\t7\tp\tmore\n"
                        "a\n");
  bundle_.WriteInventory("1:a");
  engine::MainScpt("r.txt");
  const std::vector<std::string> expected = {"PS:1", "PS:2", "CS:3", "CS:4",
                                             "CS:5", "CS:6", "PS:7", "CS:"};
  EXPECT_EQ(RequestKindsAndStyles(), expected);
}

TEST_F(RuleRun, RuleFileWithByteOrderMarkAndCrLfLineEnds) {
  bundle_.WriteRuleFile("crlf.txt", "\xEF\xBB\xBF" "b\tFirst\tp\r\nb\tSecond\r\n");
  bundle_.WriteRuleFile("cr.txt", "b\tFirst\rb\tSecond\tp\r");
  bundle_.WriteInventory("1:b");
  engine::MainScpt("crlf.txt");
  engine::MainScpt("cr.txt");
  const std::vector<ScriptCall> expected = {
      kContent, PS("1,", "First", "1", ""), CS("1,", "1,", "Second", "1", ""),
      kContent, CS("1,", "1,", "First", "1", ""), PS("1,", "Second", "1", "")};
  EXPECT_EQ(bundle_.Calls(), expected);
}

TEST_F(RuleRun, EmptyLinesAreCharacterRulesInTheirPlace) {
  bundle_.WriteRuleFile("empty.txt", "");
  bundle_.WriteRuleFile("middle.txt", "a\tA\n\na\tC\tp\n");
  bundle_.WriteInventory("1:ab<t@ke>2:c");
  engine::MainScpt("empty.txt");
  EXPECT_EQ(RequestKindsAndStyles(), (std::vector<std::string>{"CS:", "CS:"}));
  bundle_.ClearCalls();
  engine::MainScpt("middle.txt");
  EXPECT_EQ(RequestKindsAndStyles(),
            (std::vector<std::string>{"CS:A", "CS:", "PS:C", "CS:A", "CS:", "PS:C"}));
}

TEST_F(RuleRun, RuleFileThatCannotBeOpenedStillRunsContentScriptOnce) {
  fs::create_directories(bundle_.RuleFolderPath() + "/folder.txt");
  bundle_.WriteInventory("1:a");
  engine::MainScpt("folder.txt");
  EXPECT_EQ(bundle_.Calls(), std::vector<ScriptCall>{kContent});
}

TEST_F(RuleRun, HostileTextsReachTheScriptsUnchangedAndRunNothing) {
  // Identifier parts hold no "/", so the commands name a file in the working folder.
  const std::string style = "$(touch /tmp/sorvane-ran) `touch ran` 'q' \"d\" 日本語";
  const std::string idA = "a b;$(touch ran)|touch ran&";
  const std::string idB = "`touch ran` \\ *";
  bundle_.WriteRuleFile("r.txt", "語\t" + style + "\n");
  bundle_.WriteInventory(idA + "/" + idB + ":日本語\r\n\"x\"");
  engine::MainScpt("r.txt");
  const std::vector<ScriptCall> expected = {kContent, CS("3,", "3,", style, idA, idB)};
  EXPECT_EQ(bundle_.Calls(), expected);
  EXPECT_FALSE(fs::exists("ran"));
  EXPECT_FALSE(fs::exists("/tmp/sorvane-ran"));
}

}  // namespace
