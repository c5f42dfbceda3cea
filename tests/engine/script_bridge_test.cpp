#include <filesystem>
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
using ::testing::AllOf;
using ::testing::Property;
using ::testing::Throws;
namespace fs = std::filesystem;

class ScriptBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    engine::SetClearingFlagSource([this] { return std::optional<bool>(reads_++ % 2 == 0); });
  }
  void TearDown() override { engine::SetClearingFlagSource(nullptr); }

  testsupport::Bundle bundle_;
  int reads_ = 0;  // the check box is on at every other read, starting with the first
};

TEST_F(ScriptBridge, ContentAndActivationGetNoArgumentsAndContentComesBackByteForByte) {
  const std::string inventory = "1/2:first\r\nline\r<t@ke>3/4:日本語\t\"q\" $(x)\r\n\n";
  bundle_.WriteInventory(inventory);
  engine::AI_ACCTIVE();
  EXPECT_EQ(engine::getcontents({}), inventory.substr(0, inventory.size() - 1));
  EXPECT_EQ(bundle_.Calls(),
            (std::vector<ScriptCall>{{"activeAi.scpt", {}}, {"getcontents.scpt", {}}}));
}

TEST_F(ScriptBridge, StyleRequestsPassSixOrFiveArgumentsWithTheFlagOfThatMoment) {
  engine::applyChaStyle("2,5,<>3,6,", "Bold", "3", "17");
  engine::applyChaStyle("<>", "", "", "");
  engine::applyParaStyle("1,3,", "見出し", "a", "b");
  engine::applyParaStyle("", "", "", "");
  const std::vector<ScriptCall> expected = {
      {"applyCS.scpt", {"2,5,", "3,6,", "Bold", "3", "17", "1"}},
      {"applyCS.scpt", {"", "", "", "", "", "0"}},
      {"applyPS.scpt", {"1,3,", "見出し", "a", "b", "1"}},
      {"applyPS.scpt", {"", "", "", "", "0"}}};
  EXPECT_EQ(bundle_.Calls(), expected);
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
  using E = rt::ScriptExecutionException;
  EXPECT_THAT([] { engine::applyParaStyle("", "S", "", ""); },
              Throws<E>(AllOf(Property(&E::ScriptName, "applyPS.scpt"), Property(&E::Status, -1))));
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
  EXPECT_EQ(bundle_.Calls().size(), 1u);
  EXPECT_EQ(other.Calls().size(), 1u);
}

}  // namespace
