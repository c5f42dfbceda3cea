#include "runtime/text_stream.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "runtime/exceptions.h"
#include "tests/support/temp_dir.h"

namespace {

using rt::TextInputStream;
using rt::TextOutputStream;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
using Lines = std::vector<std::string>;

// The file's lines as a reader that asks Eof before every line sees them.
Lines ReadAllLines(const std::string& path, const std::string& content) {
  WriteFile(path, content);
  const auto stream = TextInputStream::Open(path);
  if (!stream) throw std::runtime_error("cannot open " + path);
  Lines lines;
  while (!stream->Eof()) lines.push_back(stream->ReadLine());
  EXPECT_EQ(stream->ReadLine(), "") << "a read past the end";
  return lines;
}

Lines EntriesOf(const std::string& folder) {
  Lines names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    names.push_back(e.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

template <class F>
int ErrorNumberOf(F&& f) {
  try {
    f();
  } catch (const rt::IOException& e) {
    return e.ErrorNumber();
  }
  return 0;
}

TEST(TextInput, EveryLineEndEndsOneLineAndALeadingMarkIsDropped) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::vector<std::pair<std::string, Lines>> cases = {
      {"", {}}, {"a", {"a"}}, {"a\n", {"a"}}, {"a\n\n", {"a", ""}}, {"\n", {""}}, {"\r\n", {""}},
      {"\r", {""}}, {"a\r", {"a"}}, {"\r\r\n", {"", ""}}, {"\n\r", {"", ""}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}}, {std::string("x\0y\n", 4), {std::string("x\0y", 3)}},
      {"規則\t太字\tp\r\n\xFF\xE6\x97\n", {"規則\t太字\tp", "\xFF\xE6\x97"}},
      {bom, {}}, {bom + "a\nb", {"a", "b"}}, {bom + bom, {bom}}, {"\xEF\xBB\n", {"\xEF\xBB"}},
      {"a\n" + bom, {"a", bom}}};
  TempDir dir;
  for (const auto& [content, expected] : cases) {
    EXPECT_EQ(ReadAllLines(dir / "f.txt", content), expected) << testing::PrintToString(content);
  }
}

// The reader takes the file in chunks of 64 KiB.
TEST(TextInput, LineEndsAcrossChunkEdges) {
  TempDir dir;
  for (const std::string prefix : {"", "\xEF\xBB\xBF"}) {
    for (size_t k = 65533; k <= 65537; ++k) {
      const std::string x(k - prefix.size(), 'x');
      for (const auto& [tail, expected] : std::vector<std::pair<std::string, Lines>>{
               {"\r\ny", {x, "y"}}, {"\rz\r", {x, "z"}}, {"\r\n", {x}}}) {
        EXPECT_EQ(ReadAllLines(dir / "f.txt", prefix + x + tail), expected)
            << k << testing::PrintToString(tail);
      }
    }
  }
}

TEST(TextInput, LongLinesAndManyLines) {
  TempDir dir;
  const std::string longLine(5 * 1024 * 1024, 'q');
  EXPECT_EQ(ReadAllLines(dir / "long.txt", longLine + "\r\nshort\n" + longLine),
            (Lines{longLine, "short", longLine}));
  std::string many;
  for (int i = 0; i < 300000; ++i) many += std::to_string(i) + "\r\n";
  const Lines lines = ReadAllLines(dir / "many.txt", many);
  ASSERT_EQ(lines.size(), 300000u);
  EXPECT_EQ(lines.back(), "299999");
}

TEST(TextInput, OpenFailsQuietlyAndReadFailuresRaise) {
  TempDir dir;
  EXPECT_EQ(TextInputStream::Open(dir.path()), nullptr);
  EXPECT_EQ(TextInputStream::Open(dir / "missing.txt"), nullptr);
#if defined(__linux__)
  // Address 0 of the process is never mapped, so reading there fails.
  const auto memory = TextInputStream::Open("/proc/self/mem");
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(ErrorNumberOf([&] { memory->ReadLine(); }), EIO);
#endif
}

TEST(TextOutput, ReplacesTheTargetOnlyAtCloseAndNeverWhenAbandoned) {
  TempDir dir;
  const std::string target = dir / "sorvane.pref";
  WriteFile(target, "old\n");
  TextOutputStream::Create(target)->WriteLine("abandoned");
  TextOutputStream::Create(dir / "new.pref")->WriteLine("abandoned");
  EXPECT_EQ(EntriesOf(dir.path()), Lines{"sorvane.pref"});
  const auto stream = TextOutputStream::Create(target);
  for (const char* line : {"200", "日本", ""}) stream->WriteLine(line);
  EXPECT_EQ(ReadFile(target), "old\n");
  const Lines during = EntriesOf(dir.path());
  ASSERT_EQ(during.size(), 2u);
  EXPECT_EQ(during[0].rfind(".sorvane.pref", 0), 0u) << during[0];  // beside the target
  stream->Close();
  stream->Close();  // a second Close does nothing
  EXPECT_EQ(ReadFile(target), "200\n日本\n\n");
  EXPECT_EQ(EntriesOf(dir.path()), Lines{"sorvane.pref"});
}

TEST(TextOutput, KeepsPermissionsOfTheFileItReplacesAndLinks) {
  TempDir dir;
  WriteFile(dir / "private.pref", "x");
  ASSERT_EQ(chmod((dir / "private.pref").c_str(), 0640), 0);
  ASSERT_EQ(symlink("private.pref", (dir / "link.pref").c_str()), 0);
  const mode_t saved = umask(027);
  const auto viaLink = TextOutputStream::Create(dir / "link.pref");
  const auto fresh = TextOutputStream::Create(dir / "fresh.pref");
  umask(saved);
  viaLink->WriteLine("new");
  viaLink->Close();
  fresh->Close();
  const auto mode = [&](const char* name) {
    struct stat st;
    return stat((dir / name).c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  };
  EXPECT_EQ(mode("private.pref"), 0640u);
  EXPECT_EQ(mode("fresh.pref"), 0640u);  // as the mask leaves it, not mkstemp's 0600
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.pref"));
  EXPECT_EQ(ReadFile(dir / "private.pref"), "new\n");
}

TEST(TextOutput, CreateGivesNoStreamWhereNoFileCanBeMade) {
  TempDir dir;
  WriteFile(dir / "file", "");
  for (const std::string& path : {dir / "missing/x.pref", dir.path(), dir / "file/x"}) {
    EXPECT_EQ(TextOutputStream::Create(path), nullptr) << path;
  }
  if (geteuid() != 0) {  // the superuser may write anything
    ASSERT_EQ(chmod((dir / "file").c_str(), 0444), 0);
    EXPECT_EQ(TextOutputStream::Create(dir / "file"), nullptr);
  }
}

// A file-size limit makes the system refuse the write, as a full disk would.
TEST(TextOutput, FailedWriteRaisesAndLeavesTheOldFile) {
  TempDir dir;
  WriteFile(dir / "sorvane.pref", "old\n");
  const auto stream = TextOutputStream::Create(dir / "sorvane.pref");
  stream->WriteLine("first");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const rlimit small{4096, saved.rlim_max};
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int error = ErrorNumberOf([&] { stream->WriteLine(std::string(10000, 'x')); });
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(error, EFBIG);
  EXPECT_EQ(EntriesOf(dir.path()), Lines{"sorvane.pref"});
  EXPECT_THROW(stream->WriteLine("more"), rt::IOException);
  EXPECT_THROW(stream->Close(), rt::IOException);
  EXPECT_EQ(ReadFile(dir / "sorvane.pref"), "old\n");
}

}  // namespace
