#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/window1.h"
#include "runtime/folder_item.h"
#include "tests/support/bundle.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/ui_support.h"

namespace {

namespace fs = std::filesystem;
using app::Window1;
using testsupport::ScriptCall;

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
    for (int64_t r = 0; r < list->RowCount(); ++r) rows.push_back(list->Cell(r, 0));
    return rows;
  }

  static ScriptCall Call(std::string name, std::vector<std::string> args = {}) {
    return ScriptCall{std::move(name), std::move(args)};
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

TEST_F(Window1EventsTest, EmptyOrMissingFolderShowsTheNoticeButUnlistedEntriesShowNothing) {
  fs::remove_all(bundle_->RuleFolderPath());
  const auto window = Window1::Instance();
  window->Event_Activate();
  EXPECT_TRUE(fs::is_directory(bundle_->RuleFolderPath()));
  EXPECT_EQ(Rows(window), kNotice);

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
  window->Listbox1()->ClickCell(0, 0);
  EXPECT_EQ(bundle_->Calls(), (std::vector<ScriptCall>{
                                  Call("getcontents.scpt"),
                                  Call("applyCS.scpt", {"2,5,", "2,5,", "Bold", "1", "2", "0"}),
                                  Call("applyPS.scpt", {"1,2,", "Head", "1", "2", "0"}),
                                  Call("applyCS.scpt", {"1,", "1,", "Bold", "3", "", "0"}),
                                  Call("applyPS.scpt", {"", "Head", "3", "", "0"}),
                              }));

  // Any column hands over the same name, and the handler leaves the click to
  // the list.
  bundle_->ClearCalls();
  window->CB1()->Value(true);
  EXPECT_FALSE(window->Listbox1_CellClick(window->Listbox1(), 0, 7, 1, 1));
  const auto calls = bundle_->Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[1].args.back(), "1");
}

TEST_F(Window1EventsTest, ClickOnANoticeRowRunsNoScript) {
  const auto window = Window1::Instance();
  window->Event_Activate();
  ASSERT_EQ(Rows(window), kNotice);
  bundle_->ClearCalls();
  EXPECT_FALSE(window->Listbox1_CellClick(window->Listbox1(), 0, 0, 0, 0));
  EXPECT_TRUE(bundle_->Calls().empty());
}

TEST_F(Window1EventsTest, FirstStartKeepsTheDesignAndCloseWritesFiveLines) {
  const auto window = Window1::Instance();
  EXPECT_EQ(bundle_->Calls(), std::vector<ScriptCall>{Call("activeAi.scpt")});
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
    int64_t left, top, width, height;
    bool checked;
  };
  const std::vector<Case> cases = {
      {"5\n20\n300\n200\n1\n", 10, 40, 300, 200, true},
      {"10\n40\n160\n160\n1.7\n", 10, 40, 160, 160, true},
      {"9.9\n39.99\n200\n300\n0.9\n", 10, 40, 200, 300, false},
      {"-0.5\n-7\n100\n100\n2\n", 10, 40, 100, 100, false},
      {"300\n200\n390\n590\n-1\nextra\nlines\n", 300, 200, 390, 590, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    testsupport::WriteFile(PrefPath(), c.file);
    bundle_->ClearCalls();
    const auto window = Window1::Instance();
    EXPECT_EQ(window->Left(), c.left);
    EXPECT_EQ(window->Top(), c.top);
    EXPECT_EQ(window->Width(), c.width);
    EXPECT_EQ(window->Height(), c.height);
    EXPECT_EQ(window->CB1()->Value(), c.checked);
    EXPECT_EQ(bundle_->Calls(), std::vector<ScriptCall>{Call("activeAi.scpt")});
    window->Close();
  }
}

TEST_F(Window1EventsTest, DamagedPreferencesGiveAUsableWindowAndAreWrittenAnewAtClose) {
  const std::vector<std::string> files = {
      "",
      "12\n",
      "abc\n-\nnan\n\n\n",
      "1e400\n-1e400\n1e400\n-1e400\n1e400\n",
      std::string(200000, '9') + "\n" + std::string(100000, 'x') + "\n",
      "\xff\xfe\x80\n\xc3\n300\n300\n1\n",
  };
  for (const std::string& file : files) {
    SCOPED_TRACE(testing::PrintToString(file.substr(0, 40)));
    testsupport::WriteFile(PrefPath(), file);
    const auto window = Window1::Instance();
    EXPECT_GE(window->Width(), 64);
    EXPECT_LE(window->Width(), 400);
    EXPECT_GE(window->Height(), 64);
    EXPECT_LE(window->Height(), 600);
    EXPECT_EQ(bundle_->Calls().back(), Call("activeAi.scpt"));
    const std::string left = std::to_string(window->Left());
    window->Close();
    const std::string written = testsupport::ReadFile(PrefPath());
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 5);
    EXPECT_EQ(written.substr(0, left.size() + 1), left + "\n");
  }
}

}  // namespace
