#include "runtime/folder_item.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "runtime/exceptions.h"
#include "runtime/text_stream.h"
#include "tests/support/temp_dir.h"

namespace {

using rt::FolderItem;
using testsupport::WriteFile;
constexpr int kNative = FolderItem::kPathModeNative;

std::string RealPathOf(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? buf : "";
}

class FolderItemTest : public ::testing::Test {
 protected:
  void SetUp() override { rt::SetApplicationFolderForTesting(root_); }
  void TearDown() override { rt::SetApplicationFolderForTesting(""); }
  FolderItem At(const std::string& relative, bool followAlias = true) const {
    return FolderItem(root_ + "/" + relative, kNative, followAlias);
  }
  void Link(const std::string& target, const std::string& link) const {
    ASSERT_EQ(symlink(target.c_str(), (root_ + "/" + link).c_str()), 0);
  }

  testsupport::TempDir dir_;
  std::string root_ = RealPathOf(dir_.path());
};

TEST_F(FolderItemTest, BareRelativePathResolvesAgainstTheApplicationFolder) {
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir("/"), 0);
  const FolderItem rules("Verodavuda", kNative, true);
  const FolderItem dotted("./a/../Verodavuda/", kNative, true);
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_EQ(rules.NativePath(), root_ + "/Verodavuda");
  EXPECT_EQ(dotted.NativePath(), root_ + "/Verodavuda");
  EXPECT_EQ(FolderItem("", kNative, true).NativePath(), root_);

  EXPECT_THROW(FolderItem(root_, 2, true), rt::RuntimeException);
  EXPECT_THROW(FolderItem(std::string("a\0b", 3), kNative, true), rt::RuntimeException);
}

TEST_F(FolderItemTest, FollowsSymbolicLinksOnlyWhenAsked) {
  WriteFile(root_ + "/real/rules.txt", "x");
  Link(root_ + "/real", "linked");
  Link("rules.txt", "real/alias.txt");

  EXPECT_EQ(At("linked").NativePath(), root_ + "/real");
  EXPECT_EQ(At("linked", false).NativePath(), root_ + "/linked");
  EXPECT_EQ(At("linked/alias.txt").NativePath(), root_ + "/real/rules.txt");
  EXPECT_EQ(At("linked/alias.txt", false).NativePath(), root_ + "/real/alias.txt");
  // Missing items keep their missing tail behind the resolved folders.
  EXPECT_EQ(At("linked/x/y").NativePath(), root_ + "/real/x/y");
  EXPECT_EQ(At("linked").Child("alias.txt")->NativePath(), root_ + "/real/rules.txt");
  EXPECT_EQ(At("linked").Child("alias.txt", false)->NativePath(), root_ + "/real/alias.txt");
}

TEST_F(FolderItemTest, ChildNamesEntriesExistingOrNotAndRefusesNonNames) {
  WriteFile(root_ + "/a.txt", "x");
  const auto folder = At("");
  EXPECT_TRUE(folder.Child("a.txt")->Exists());
  const auto absent = folder.Child("設定.txt");
  EXPECT_FALSE(absent->Exists());
  EXPECT_EQ(absent->NativePath(), root_ + "/設定.txt");
  for (const std::string& bad :
       std::vector<std::string>{"", ".", "..", "a/b", "/", std::string("a.txt\0x", 7)}) {
    EXPECT_EQ(folder.Child(bad), nullptr) << bad;
  }
}

TEST_F(FolderItemTest, ChildFallsBackToTheOneEntryDifferingInCase) {
  for (const char* name : {"A.TXT", "Rules.txt", "RULES.txt", "É.txt"}) WriteFile(root_ + "/" + name, "");
  const auto folder = At("");
  EXPECT_EQ(folder.Child("a.txt")->NativePath(), root_ + "/A.TXT");
  EXPECT_EQ(folder.Child("RULES.txt")->NativePath(), root_ + "/RULES.txt");  // exact wins
  EXPECT_FALSE(folder.Child("rules.TXT")->Exists());  // two candidates: neither
  EXPECT_FALSE(folder.Child("é.txt")->Exists());      // only ASCII letters fold
}

TEST_F(FolderItemTest, ParentAndDisplayNameWalkUpToTheRoot) {
  const auto parent = At("x/y.txt").Parent();
  EXPECT_EQ(parent->NativePath(), root_ + "/x");
  EXPECT_EQ(parent->DisplayName(), "x");
  const auto root = FolderItem("/tmp", kNative, false).Parent();
  EXPECT_EQ(root->NativePath(), "/");
  EXPECT_EQ(root->DisplayName(), "/");
  EXPECT_EQ(root->Parent(), nullptr);
}

TEST_F(FolderItemTest, CreateFolderRaisesTheSystemError) {
  const auto folder = At("Verodavuda");
  folder.CreateFolder();
  EXPECT_TRUE(folder.IsFolder());
  WriteFile(root_ + "/file", "");
  for (const auto& [path, error] : std::vector<std::pair<std::string, int>>{
           {"Verodavuda", EEXIST}, {"file", EEXIST}, {"missing/child", ENOENT}, {"file/sub", ENOTDIR}}) {
    try {
      At(path).CreateFolder();
      ADD_FAILURE() << "no exception for " << path;
    } catch (const rt::IOException& e) {
      EXPECT_EQ(e.ErrorNumber(), error) << path;
    }
  }
}

TEST_F(FolderItemTest, ItemsAreNumberedInByteOrderOfTheirNames) {
  for (const char* name : {"b", ".hidden", "a.txt", "B", "日本.txt", "sub/x"}) {
    WriteFile(root_ + "/list/" + name, "");
  }
  Link("a.txt", "list/z.txt");
  const auto folder = At("list");
  ASSERT_EQ(folder.Count(), 7);
  std::vector<std::string> names;
  for (int64_t i = 1; i <= 7; ++i) names.push_back(folder.Item(i)->DisplayName());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "B", "a.txt", "b", "sub", "z.txt", "日本.txt"}));
  EXPECT_TRUE(folder.Item(5)->IsFolder());
  for (int64_t i : {int64_t{0}, int64_t{-1}, int64_t{8}}) EXPECT_EQ(folder.Item(i), nullptr);
  EXPECT_EQ(At("missing").Count(), 0);
  EXPECT_EQ(At("list/b").Count(), 0);
  EXPECT_EQ(At("list/sub").Item(1)->DisplayName(), "x");
}

TEST_F(FolderItemTest, OpensFilesButNotFoldersAsText) {
  WriteFile(root_ + "/rules.txt", "a\tb\tp\n");
  EXPECT_EQ(At("rules.txt").OpenAsTextFile()->ReadLine(), "a\tb\tp");
  EXPECT_EQ(At("").OpenAsTextFile(), nullptr);
  EXPECT_EQ(At("missing.txt").OpenAsTextFile(), nullptr);
  EXPECT_EQ(At("missing/new.pref").CreateTextFile(), nullptr);
  EXPECT_NE(At("new.pref").CreateTextFile(), nullptr);
}

TEST(ApplicationFolder, IsTheFolderAboveTheExecutablesFolder) {
  const std::string exe = rt::RunningExecutablePath();
  EXPECT_EQ(exe, RealPathOf("/proc/self/exe"));
  const FolderItem exeItem(exe, kNative, true);
  EXPECT_EQ(exeItem.DisplayName(), "runtime_tests");
  EXPECT_EQ(rt::ApplicationFolder(), exeItem.Parent()->Parent()->NativePath());
  rt::SetApplicationFolderForTesting("/somewhere");
  EXPECT_EQ(rt::ApplicationFolder(), "/somewhere");
  rt::SetApplicationFolderForTesting("");
  EXPECT_EQ(rt::ApplicationFolder(), exeItem.Parent()->Parent()->NativePath());
}

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name), had_(std::getenv(name) != nullptr) {
    if (had_) old_ = std::getenv(name);
    Set(value);
  }
  ~ScopedEnv() { Set(had_ ? old_.c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const char* value) const {
    if (value) {
      setenv(name_, value, 1);
    } else {
      unsetenv(name_);
    }
  }
  const char* name_;
  bool had_;
  std::string old_;
};

TEST(PreferencesFolder, ComesFromTheEnvironmentAndIsCreatedPrivately) {
  testsupport::TempDir dir;
  const std::string root = RealPathOf(dir.path());
  const std::string deep = root + "/config/deep";
  const ScopedEnv home("HOME", root.c_str());
  for (const auto& [config, expected] : std::vector<std::pair<const char*, std::string>>{
           {deep.c_str(), deep},
           {"relative", root + "/.config"},
           {nullptr, root + "/.config"}}) {
    const ScopedEnv xdg("XDG_CONFIG_HOME", config);
    const auto prefs = rt::SpecialFolderPreferences();
    ASSERT_NE(prefs, nullptr);
    EXPECT_EQ(prefs->NativePath(), expected);
    EXPECT_TRUE(prefs->IsFolder());
  }
  struct stat st;
  ASSERT_EQ(stat((root + "/config").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);
}

}  // namespace
