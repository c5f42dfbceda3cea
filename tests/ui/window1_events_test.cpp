#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/window1.h"
#include "runtime/ui/testing.h"
#include "engine/script_bridge.h"
#include "runtime/exceptions.h"
#include "tests/support/bundle.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/ui_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using app::Window1;
using testsupport::ScriptCall;

const ScriptCall kActivation{"activeAi.scpt", {}};

const std::vector<std::string> kNotice = {"設定がありません", "くわしくは", "インストール方法を",
                                          "ご覧ください"};

// A temporary bundle with stand-in host scripts, a temporary preferences
// folder, and the style engine wired to the main window as at start-up.
class Window1EventsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { app::EarlyStartup(); }

  void SetUp() override {
    bundle_ = std::make_unique<testsupport::Bundle>();
    setenv("XDG_CONFIG_HOME", (config_ / "prefs").c_str(), 1);
  }

  void TearDown() override {
    if (auto open = rt::ui::GetImplicitWindow(Window1::kFullClassName)) open->Close();
    uitest::Settle(5);
    bundle_.reset();
  }

  std::string PrefPath() const { return config_ / "prefs/sorvane.pref"; }

  std::vector<std::string> Rows(const std::shared_ptr<Window1>& window) const {
    std::vector<std::string> rows;
    const auto list = window->Listbox1();
    for (int64_t r = 0; r < rt::ui::testing::RowCount(*list); ++r) rows.push_back(list->Cell(r, 0));
    return rows;
  }

  testsupport::TempDir config_;
  std::unique_ptr<testsupport::Bundle> bundle_;
};

TEST_F(Window1EventsTest, ListShowsRuleFilesByNameWithoutTheirExtensionAndRefillsWithoutAccumulating) {
  for (const char* name : {"b.txt", "A.TXT", "a.txt.txt", "a.txt.bak", "txt", "a.text", ".txt",
                           ".a.txt", "readme.md", "見出し.txt"}) {
    bundle_->WriteRuleFile(name, "x\tS\n");
  }
  fs::create_directory(bundle_->RuleFolderPath() + "/x.txt");

  const auto window = Window1::Instance();
  window->Event_Activate();
  window->Event_Activate();
  EXPECT_EQ(Rows(window), (std::vector<std::string>{"A", "a.txt", "b", "x", "見出し"}));
}

TEST_F(Window1EventsTest, EmptyOrMissingFolderShowsTheNoticeWhoseRowsRunNothing) {
  fs::remove_all(bundle_->RuleFolderPath());
  const auto window = Window1::Instance();
  window->Event_Activate();
  EXPECT_TRUE(fs::is_directory(bundle_->RuleFolderPath()));
  EXPECT_EQ(Rows(window), kNotice);
  bundle_->ClearCalls();
  EXPECT_FALSE(window->Listbox1_CellClick(window->Listbox1(), 0, 0, 0, 0));
  EXPECT_TRUE(bundle_->Calls().empty());

  // Entries that are not listed still are entries: no notice.
  bundle_->WriteRuleFile(".DS_Store", "");
  bundle_->WriteRuleFile("readme.md", "");
  window->Event_Activate();
  EXPECT_TRUE(Rows(window).empty());
}

TEST_F(Window1EventsTest, ClickRunsTheRuleFileOfColumnZeroWithTheBoxAsClearingFlag) {
  bundle_->WriteRuleFile("Upper.TXT", "b\tBold\n^a\tHead\tp\n");
  bundle_->WriteInventory("1/2:ab\rab<t@ke>3:b");
  const auto window = Window1::Instance();
  window->Event_Activate();
  ASSERT_EQ(Rows(window), std::vector<std::string>{"Upper"});
  bundle_->ClearCalls();

  window->CB1()->Value(false);
  uitest::Settle();
  rt::ui::testing::ClickCell(*window->Listbox1(), 0, 0);
  EXPECT_EQ(bundle_->Calls(), (std::vector<ScriptCall>{
                                  {"getcontents.scpt", {}},
                                  {"applyCS.scpt", {"2,5,", "2,5,", "Bold", "1", "2", "0"}},
                                  {"applyPS.scpt", {"1,2,", "Head", "1", "2", "0"}},
                                  {"applyCS.scpt", {"1,", "1,", "Bold", "3", "", "0"}},
                                  {"applyPS.scpt", {"", "Head", "3", "", "0"}},
                              }));

  // Any column hands over column 0's name; the handler leaves the click to the list.
  bundle_->ClearCalls();
  window->CB1()->Value(true);
  EXPECT_FALSE(window->Listbox1_CellClick(window->Listbox1(), 0, 7, 1, 1));
  const auto calls = bundle_->Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[1].args.back(), "1");
}

TEST_F(Window1EventsTest, StyleRequestWithTheMainWindowClosedHasNoFlagAndRunsNoScript) {
  Window1::Instance()->Close();
  bundle_->ClearCalls();
  EXPECT_THROW(engine::applyParaStyle("", "Head", "1", ""), rt::NilObjectException);
  EXPECT_TRUE(bundle_->Calls().empty());
}

TEST_F(Window1EventsTest, FirstStartKeepsTheDesignAndCloseWritesFiveLines) {
  const auto window = Window1::Instance();
  EXPECT_EQ(bundle_->Calls(), std::vector<ScriptCall>{kActivation});
  EXPECT_EQ(window->Width(), 160);
  EXPECT_EQ(window->Height(), 160);
  EXPECT_TRUE(window->CB1()->Value());

  window->Left(200);
  window->Top(100);
  window->CB1()->Value(false);
  window->Close();
  EXPECT_EQ(testsupport::ReadFile(PrefPath()), "200\n100\n160\n160\n0\n");
}

TEST_F(Window1EventsTest, OpenRaisesThePlaceToItsLowerBoundsAndSetsTheBox) {
  struct Case {
    std::string file;
    uitest::Rect place;
    bool checked;
  };
  for (const Case& c : std::vector<Case>{
           {"5\n20\n300\n200\n1\n", {10, 40, 300, 200}, true},
           {"10\n40\n160\n160\n1.7\n", {10, 40, 160, 160}, true},
           {"9.9\n39.99\n200\n300\n0.9\n", {10, 40, 200, 300}, false},
           {"-0.5\n-7\n100\n100\n2\n", {10, 40, 100, 100}, false},
           {"300\n200\n390\n590\n-1\nextra\nlines\n", {300, 200, 390, 590}, false},
           {" 300\t\n+200 \n390\n590\n1\n" + std::string(64 * 1024 - 22, '\n'),
            {300, 200, 390, 590}, true},  // blanks around numbers; the size at the bound
       }) {
    SCOPED_TRACE(c.file);
    testsupport::WriteFile(PrefPath(), c.file);
    bundle_->ClearCalls();
    const auto window = Window1::Instance();
    EXPECT_EQ(uitest::RectOf(*window), c.place);
    EXPECT_EQ(window->CB1()->Value(), c.checked);
    EXPECT_EQ(bundle_->Calls(), std::vector<ScriptCall>{kActivation});
    window->Close();
  }
}

// A file that is not five numbers (torn by two writers, cut short, broken by
// hand, or longer than any this program writes) changes nothing; numbers out
// of every range give a usable window. Either is written anew at close.
TEST_F(Window1EventsTest, DamagedPreferencesLeaveTheWindowAsDesignedAndAreWrittenAnewAtClose) {
  const auto first = Window1::Instance();
  const uitest::Rect designed = uitest::RectOf(*first);
  first->Close();
  for (const auto& [file, damaged] : std::vector<std::pair<std::string, bool>>{
           {"", true}, {"12\n", true}, {"300\n300\n300\n300\n", true},
           {"abc\n-\nnan\n\n\n", true}, {"300\n300\n300\n300\n1e\n", true},
           {"1000\n400\n160\n160\n\0\0\0"s, true}, {"300\n300\n300\n300\n1\0\n"s, true},
           {"300\n300\n300\n300\n0\n" + std::string(64 * 1024, '\n'), true},
           {"\xff\xfe\x80\n\xc3\n300\n300\n1\n", true},
           {"1e400\n-1e400\n1e400\n-1e400\n1e400\n", false}}) {
    SCOPED_TRACE(testing::PrintToString(file.substr(0, 40)));
    testsupport::WriteFile(PrefPath(), file);
    const auto window = Window1::Instance();
    const uitest::Rect r = uitest::RectOf(*window);
    if (damaged) {
      EXPECT_EQ(r, designed);
      EXPECT_TRUE(window->CB1()->Value());
    } else {
      EXPECT_TRUE(r.width >= 64 && r.width <= 400 && r.height >= 64 && r.height <= 600) << r;
    }
    EXPECT_EQ(bundle_->Calls().back(), kActivation);
    const std::string left = std::to_string(r.left);
    window->Close();
    const std::string written = testsupport::ReadFile(PrefPath());
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 5);
    EXPECT_EQ(written.substr(0, left.size() + 1), left + "\n");
  }
}

}  // namespace
