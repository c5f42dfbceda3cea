#include "runtime/folder_item.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "runtime/exceptions.h"
#include "runtime/text_stream.h"
#include "tests/support/temp_dir.h"

namespace {

using rt::FolderItem;
using testsupport::WriteFile;
using Names = std::vector<std::string>;
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
  EXPECT_EQ(At("linked/x/y").NativePath(), root_ + "/real/x/y");  // missing tail kept
  EXPECT_EQ(At("linked").Child("alias.txt")->NativePath(), root_ + "/real/rules.txt");
  EXPECT_EQ(At("linked", false).Child("alias.txt", false)->NativePath(), root_ + "/real/alias.txt");
  EXPECT_EQ(At("").Child("linked")->Child("alias.txt")->NativePath(), root_ + "/real/rules.txt");
}

TEST_F(FolderItemTest, ChildPrefersTheExactNameElseTheOneEntryDifferingInCase) {
  for (const char* name : {"A.TXT", "Rules.txt", "RULES.txt", "É.txt", "R9.TXT", "r9.Txt"}) {
    WriteFile(root_ + "/" + name, name);
  }
  const auto folder = At("");
  EXPECT_EQ(folder.Child("a.txt")->OpenAsTextFile()->ReadLine(), "A.TXT");
  EXPECT_EQ(folder.Child("RULES.txt")->NativePath(), root_ + "/RULES.txt");
  EXPECT_FALSE(folder.Child("rules.TXT")->Exists());  // two candidates: neither
  // Two candidates: the one whose name before the extension is exact.
  EXPECT_EQ(folder.Child("R9.txt")->NativePath(), root_ + "/R9.TXT");
  EXPECT_EQ(folder.Child("r9.txt")->NativePath(), root_ + "/r9.Txt");
  EXPECT_FALSE(folder.Child("é.txt")->Exists());      // only ASCII letters fold
  EXPECT_EQ(folder.Child("設定.txt")->NativePath(), root_ + "/設定.txt");
  for (const std::string& bad : Names{"", ".", "..", "a/b", "/", std::string("A.TXT\0x", 7)}) {
    EXPECT_EQ(folder.Child(bad), nullptr) << bad;
  }
}

TEST_F(FolderItemTest, CreateFolderRaisesTheSystemError) {
  const auto errorOf = [&](const std::string& path) {
    try {
      At(path).CreateFolder();
    } catch (const rt::IOException& e) {
      return e.ErrorNumber();
    }
    return 0;
  };
  EXPECT_EQ(errorOf("Verodavuda"), 0);
  EXPECT_TRUE(At("Verodavuda").IsFolder());
  WriteFile(root_ + "/file", "");
  for (const auto& [path, error] : std::vector<std::pair<std::string, int>>{
           {"Verodavuda", EEXIST}, {"file", EEXIST}, {"no/child", ENOENT}, {"file/sub", ENOTDIR}}) {
    EXPECT_EQ(errorOf(path), error) << path;
  }
}

TEST_F(FolderItemTest, ItemsAreNumberedInByteOrderOfTheirNamesHiddenOnesIncluded) {
  for (const char* name : {"b", ".hidden", "a.txt", "B", "日本.txt", "sub/x"}) {
    WriteFile(root_ + "/list/" + name, "");
  }
  Link("a.txt", "list/z.txt");
  const auto folder = At("list");
  ASSERT_EQ(folder.Count(), 7);
  Names names;
  for (int64_t i = 1; i <= 7; ++i) names.push_back(folder.Item(i)->DisplayName());
  EXPECT_EQ(names, (Names{".hidden", "B", "a.txt", "b", "sub", "z.txt", "日本.txt"}));
  EXPECT_TRUE(folder.Item(5)->IsFolder());
  for (int64_t i : {int64_t{0}, int64_t{-1}, int64_t{8}}) EXPECT_EQ(folder.Item(i), nullptr);
  EXPECT_EQ(At("missing").Count() + At("list/b").Count(), 0);
}

TEST(ApplicationFolder, IsTheFolderAboveTheExecutablesFolder) {
  const std::string exe = rt::RunningExecutablePath();
  const std::string above = std::filesystem::path(exe).parent_path().parent_path();
  EXPECT_EQ(rt::ApplicationFolder(), above);
  EXPECT_EQ(FolderItem(exe, kNative, true).Parent()->Parent()->NativePath(), above);
  EXPECT_EQ(FolderItem("/tmp", kNative, false).Parent()->Parent(), nullptr);
}

// Sets (null: clears) an environment variable until the end of the scope.
struct ScopedEnv {
  ScopedEnv(const char* var, const char* value) : name(var), had(std::getenv(var) != nullptr) {
    if (had) old = std::getenv(var);
    Set(value);
  }
  ~ScopedEnv() { Set(had ? old.c_str() : nullptr); }
  void Set(const char* v) const { v ? setenv(name, v, 1) : unsetenv(name); }
  const char* name;
  bool had;
  std::string old;
};

TEST(PreferencesFolder, ComesFromTheEnvironmentAndIsCreatedPrivately) {
  testsupport::TempDir dir;
  const std::string root = RealPathOf(dir.path()), deep = root + "/config/deep";
  const ScopedEnv home("HOME", root.c_str());
  for (const auto& [config, expected] : std::vector<std::pair<const char*, std::string>>{
           {deep.c_str(), deep}, {"relative", root + "/.config"}, {nullptr, root + "/.config"}}) {
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
