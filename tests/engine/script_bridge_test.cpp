#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/script_bridge.h"
#include "runtime/application.h"
#include "runtime/script.h"
#include "tests/support/bundle.h"

namespace {

using testsupport::ScriptCall;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

class ScriptBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    engine::SetClearingFlagSource([this] { return std::optional<bool>(checked_); });
  }
  void TearDown() override { engine::SetClearingFlagSource(nullptr); }

  testsupport::Bundle bundle_;
  bool checked_ = false;
};

TEST_F(ScriptBridge, ContentAndActivationScriptsGetEmptyArgumentLists) {
  engine::AI_ACCTIVE();
  engine::getcontents({});
  const std::vector<ScriptCall> expected = {{"activeAi.scpt", {}}, {"getcontents.scpt", {}}};
  EXPECT_EQ(bundle_.Calls(), expected);
}

TEST_F(ScriptBridge, ContentResultComesBackByteForByte) {
  const std::string inventory = "1/2:first\r\nline\r<t@ke>3/4:日本語\t\"q\" $(x)\r\n\n";
  bundle_.WriteInventory(inventory);
  EXPECT_EQ(engine::getcontents({}), inventory.substr(0, inventory.size() - 1));
}

TEST_F(ScriptBridge, CharacterStyleRequestSplitsPositionListIntoSixArguments) {
  checked_ = true;
  engine::applyChaStyle("2,5,<>3,6,", "Bold", "3", "17");
  checked_ = false;
  engine::applyChaStyle("<>", "", "", "");
  const std::vector<ScriptCall> expected = {
      {"applyCS.scpt", {"2,5,", "3,6,", "Bold", "3", "17", "1"}},
      {"applyCS.scpt", {"", "", "", "", "", "0"}}};
  EXPECT_EQ(bundle_.Calls(), expected);
}

TEST_F(ScriptBridge, ParagraphStyleRequestPassesFiveArguments) {
  checked_ = true;
  engine::applyParaStyle("1,3,", "見出し", "a", "b");
  checked_ = false;
  engine::applyParaStyle("", "", "", "");
  const std::vector<ScriptCall> expected = {
      {"applyPS.scpt", {"1,3,", "見出し", "a", "b", "1"}},
      {"applyPS.scpt", {"", "", "", "", "0"}}};
  EXPECT_EQ(bundle_.Calls(), expected);
}

TEST_F(ScriptBridge, ClearingFlagIsReadAtEveryRequest) {
  int reads = 0;
  engine::SetClearingFlagSource([&reads] { return std::optional<bool>(reads++ % 2 == 0); });
  engine::applyParaStyle("", "S", "", "");
  engine::applyChaStyle("<>", "S", "", "");
  engine::applyParaStyle("", "S", "", "");
  const auto calls = bundle_.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].args.back(), "1");
  EXPECT_EQ(calls[1].args.back(), "0");
  EXPECT_EQ(calls[2].args.back(), "1");
}

TEST_F(ScriptBridge, StyleRequestWithoutWindowOrCheckBoxRunsNoScript) {
  engine::SetClearingFlagSource(nullptr);
  EXPECT_THROW(engine::applyChaStyle("1,<>1,", "S", "a", "b"), rt::NilObjectException);
  engine::SetClearingFlagSource([] { return std::optional<bool>(); });
  EXPECT_THROW(engine::applyChaStyle("1,<>1,", "S", "a", "b"), rt::NilObjectException);
  EXPECT_THROW(engine::applyParaStyle("1,", "S", "a", "b"), rt::NilObjectException);
  EXPECT_TRUE(bundle_.Calls().empty());
}

TEST_F(ScriptBridge, MissingScriptOrResourcesFolderRaisesScriptFailure) {
  fs::remove(bundle_.ResourcesPath() + "/applyPS.scpt");
  try {
    engine::applyParaStyle("", "S", "", "");
    FAIL() << "a missing script gave a result";
  } catch (const rt::ScriptExecutionException& e) {
    EXPECT_EQ(e.ScriptName(), "applyPS.scpt");
    EXPECT_EQ(e.Status(), -1);
  }
  fs::rename(bundle_.ResourcesPath(), bundle_.root() + "/Resources.moved");
  EXPECT_THROW(engine::getcontents({}), rt::ScriptExecutionException);
  EXPECT_THROW(engine::AI_ACCTIVE(), rt::ScriptExecutionException);
}

TEST_F(ScriptBridge, MissingApplicationOrFolderAboveExecutableRaisesNilObject) {
  bundle_.app()->SetExecutablePathForTesting("/sorvane");  // its folder is the root
  EXPECT_THROW(engine::AI_ACCTIVE(), rt::NilObjectException);
  rt::RuntimeRegisterAppObject(nullptr);
  EXPECT_THROW(engine::getcontents({}), rt::NilObjectException);
}

TEST_F(ScriptBridge, ScriptIsLocatedAfreshAtEveryCall) {
  engine::AI_ACCTIVE();
  testsupport::Bundle other;  // registers itself in place of bundle_'s application
  engine::AI_ACCTIVE();
  engine::AI_ACCTIVE();
  EXPECT_EQ(bundle_.Calls().size(), 1u);
  EXPECT_EQ(other.Calls().size(), 2u);
}

TEST_F(ScriptBridge, ScriptFailurePassesToCallerUnchanged) {
  bundle_.InstallScript("fail.scpt", "applyCS.scpt");
  try {
    engine::applyChaStyle("<>", "S", "", "");
    FAIL() << "a failing script gave no exception";
  } catch (const rt::ScriptExecutionException& e) {
    EXPECT_EQ(e.ScriptName(), "applyCS.scpt");
    EXPECT_EQ(e.Status(), 3);
    EXPECT_THAT(e.what(), HasSubstr("host document is not open"));
  }
}

}  // namespace
