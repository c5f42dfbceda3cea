#include "runtime/text_stream.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "runtime/exceptions.h"
#include "runtime/folder_item.h"
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

// The preferences as the program reads and writes them: the entry
// "sorvane.pref" of a folder, links followed, read with a bound of 64 KiB.
const Lines kPreferences = {"200", "100", "160", "160", "0"};
constexpr uint64_t kBound = 64 * 1024;

std::string TextOf(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The preferences followed by empty lines, `size` bytes in all.
std::string PaddedTo(size_t size) {
  const std::string text = TextOf(kPreferences);
  return text + std::string(size - text.size(), '\n');
}

std::shared_ptr<rt::FolderItem> PreferencesIn(const std::string& folder) {
  return rt::FolderItem(folder, rt::FolderItem::kPathModeNative, true).Child("sorvane.pref", true);
}

// 0 when written, 1 when no stream comes back, 2 when the write fails.
int WritePreferences(const std::string& folder, const Lines& lines) {
  const auto stream = PreferencesIn(folder)->CreateTextFile();
  if (!stream) return 1;
  try {
    for (const std::string& line : lines) stream->WriteLine(line);
    stream->Close();
  } catch (const rt::IOException&) {
    return 2;
  }
  return 0;
}

// Runs `body` in a process of its own, as the ordinary user "nobody" when
// `asUser` and this process is the superuser's, whose rights would make a
// folder's permissions and its sticky bit moot.
pid_t StartChild(bool asUser, const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  constexpr uid_t kNobody = 65534;
  if (asUser && geteuid() == 0 &&
      (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
    _exit(99);
  }
  _exit(body());
}

// Whether the child has ended; it is left to WaitChild.
bool Ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
         info.si_pid != 0;
}

// The child's exit status; -1 when it did not exit.
int WaitChild(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A folder for one case that an ordinary user may enter.
std::string SharedFolder(const TempDir& dir) {
  chmod(dir.path().c_str(), 0755);
  std::filesystem::create_directory(dir / "prefs");
  chmod((dir / "prefs").c_str(), 0755);
  return dir / "prefs";
}

// Devices are reached through links only, and written only by an ordinary
// user, who cannot replace them even if the stream tried: the system's own
// /dev/null is never at risk.
TEST(PreferencePaths, OnlyARegularFileIsReadOrWrittenAndWritingInPlaceHolds) {
  struct Case {
    const char* what;
    std::function<void(const TempDir&, const std::string& pref)> make;
    bool asUser;
    bool opens;
    int written;
  };
  int silentWriter = -1;
  const std::vector<Case> cases = {
      {"a pipe whose writer never writes",
       [&](const TempDir& dir, const std::string& pref) {
         ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0666), 0);
         silentWriter = open((dir / "pipe").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
         ASSERT_EQ(symlink((dir / "pipe").c_str(), pref.c_str()), 0);
       },
       false, false, 1},
      {"a device",
       [](const TempDir&, const std::string& pref) {
         ASSERT_EQ(symlink("/dev/null", pref.c_str()), 0);
       },
       true, false, 1},
      {"an endless device",
       [](const TempDir&, const std::string& pref) {
         ASSERT_EQ(symlink("/dev/zero", pref.c_str()), 0);
       },
       true, false, 1},
      {"a file over the bound",
       [](const TempDir&, const std::string& pref) { WriteFile(pref, PaddedTo(kBound + 1)); },
       false, false, 0},
      {"a file at the bound",
       [](const TempDir&, const std::string& pref) { WriteFile(pref, PaddedTo(kBound)); },
       false, true, 0},
      {"a link to nothing yet",
       [](const TempDir& dir, const std::string& pref) {
         std::filesystem::create_directory(dir / "elsewhere");
         ASSERT_EQ(symlink("../elsewhere/sorvane.pref", pref.c_str()), 0);
       },
       false, false, 0},
      {"a folder that takes no new file",
       [](const TempDir& dir, const std::string& pref) {
         WriteFile(pref, "1\n");
         chmod(pref.c_str(), 0666);
         chmod((dir / "prefs").c_str(), 0555);
       },
       true, true, 0},
      // Another user's file, so the folder refuses its replacement; run by an
      // ordinary user, the file is the writer's own and replaced as usual.
      {"a shared folder where each user replaces only their own entries",
       [](const TempDir& dir, const std::string& pref) {
         WriteFile(pref, "1\n");
         chmod(pref.c_str(), 0666);
         chmod((dir / "prefs").c_str(), 01777);
       },
       true, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string folder = SharedFolder(dir);
    const std::string pref = folder + "/sorvane.pref";
    c.make(dir, pref);
    struct stat before {};
    const bool existed = stat(pref.c_str(), &before) == 0;
    const bool link = std::filesystem::is_symlink(pref);
    const Lines entries = EntriesOf(folder);

    EXPECT_EQ(PreferencesIn(folder)->OpenAsTextFile(kBound) != nullptr, c.opens);
    const auto write = [&] { return WritePreferences(folder, kPreferences); };
    EXPECT_EQ(WaitChild(StartChild(c.asUser, write)), c.written);

    struct stat after {};
    ASSERT_EQ(stat(pref.c_str(), &after), 0);
    EXPECT_EQ(EntriesOf(folder), entries);  // no temporary file left behind
    EXPECT_EQ(std::filesystem::is_symlink(pref), link);
    if (existed) {
      // A device or pipe kept as it was; a file kept its owner, so one that
      // was another user's was written in place.
      EXPECT_EQ(after.st_mode, before.st_mode);
      EXPECT_EQ(after.st_rdev, before.st_rdev);
      EXPECT_EQ(after.st_uid, before.st_uid);
    }
    if (c.written == 0) {
      EXPECT_EQ(ReadFile(pref), TextOf(kPreferences));
    }
    if (silentWriter >= 0) close(silentWriter);
    silentWriter = -1;
  }
}

// Two copies of the program closing together in a folder that takes no new
// file: each write is whole, whenever the file is read.
TEST(PreferencePaths, TwoWritersInPlaceNeverMixTheirLines) {
  TempDir dir;
  const std::string folder = SharedFolder(dir);
  // Of different lengths, so a writer that cuts the file to its own length
  // would cut into the other's lines or add zero bytes after them.
  const std::vector<Lines> copies = {{"1000", "400", "160", "160", "1"},
                                     {"20", "40", "80", "80", "0"}};
  WriteFile(folder + "/sorvane.pref", TextOf(copies[0]));
  chmod((folder + "/sorvane.pref").c_str(), 0666);
  chmod(folder.c_str(), 0555);
  std::vector<pid_t> writers;
  for (const Lines& copy : copies) {
    writers.push_back(StartChild(true, [&] {
      for (int round = 0; round < 300; ++round) {
        if (WritePreferences(folder, copy) != 0) return 1;
      }
      return 0;
    }));
  }
  const auto readWhole = [&] {
    std::string text;
    const auto stream = PreferencesIn(folder)->OpenAsTextFile(kBound);
    while (stream && !stream->Eof()) text += stream->ReadLine() + "\n";
    return text;
  };
  // Read until both have ended, and once more after.
  int reads = 0;
  for (bool writing = true; writing; ++reads) {
    writing = !Ended(writers[0]) || !Ended(writers[1]);
    const std::string text = readWhole();
    ASSERT_TRUE(text == TextOf(copies[0]) || text == TextOf(copies[1]))
        << "read " << reads << ": " << testing::PrintToString(text);
  }
  for (pid_t pid : writers) EXPECT_EQ(WaitChild(pid), 0);
}

}  // namespace
