#include "runtime/text_stream.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

#include "runtime/exceptions.h"

namespace rt {

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

[[noreturn]] void ThrowIO(const std::string& what, const std::string& path, int error) {
  throw IOException(what + " " + path + ": " + std::strerror(error), error);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Opens `path`, links followed, only when it is a regular file; -1 with
// errno set otherwise (EINVAL for what is no regular file). The open does not
// wait: a pipe with no other end, or a device, would hold a plain one. The
// check that counts is made on what was opened, so nothing put in the file's
// place meanwhile is used; the name is looked at first only so that a device,
// which may act on being opened, is not opened at all.
int OpenRegularFile(const std::string& path, int flags) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  const bool statted = fstat(fd, &st) == 0;
  if (!statted || !S_ISREG(st.st_mode)) {
    const int error = !statted ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    close(fd);
    errno = error;
    return -1;
  }
  const int fileFlags = fcntl(fd, F_GETFL);
  if (fileFlags >= 0) fcntl(fd, F_SETFL, fileFlags & ~O_NONBLOCK);
  return fd;
}

// Takes the flock lock `operation` (LOCK_SH or LOCK_EX) on `fd`. The streams
// hold their locks for a moment only, so a lock still taken after some seconds
// is held by something else, and the wait ends there: false, errno
// EWOULDBLOCK. A file system that keeps no such locks counts as locked.
bool LockWithin(int fd, int operation) {
  constexpr auto kWait = std::chrono::seconds(5);
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  for (;;) {
    if (flock(fd, operation | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return true;
    if (std::chrono::steady_clock::now() >= deadline) {
      errno = EWOULDBLOCK;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int FsyncRetrying(int fd) {
  int rc;
  do {
    rc = fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that writing to `path` reaches: symbolic links followed, also
// where the last one points to a file that does not exist yet.
std::string FileBehindLinks(const std::string& path) {
  if (char* resolved = realpath(path.c_str(), nullptr)) {
    std::string file = resolved;
    std::free(resolved);
    return file;
  }
  std::string current = path;
  // As many links as the system itself follows in one path.
  for (int hop = 0; hop < 40; ++hop) {
    std::vector<char> target(PATH_MAX);
    const ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) break;
    const std::string next(target.data(), static_cast<size_t>(n));
    current = next[0] == '/' ? next : FolderOf(current) + "/" + next;
  }
  return current;
}

// The permission bits a newly created file gets. Reading the mask means
// setting it; the program has one thread, so nothing sees the moment between.
mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

TextInputStream::TextInputStream(int fd, std::optional<uint64_t> maxBytes)
    : fd_(fd), unread_(maxBytes) {}

TextInputStream::~TextInputStream() {
  if (fd_ >= 0) close(fd_);
}

std::shared_ptr<TextInputStream> TextInputStream::Open(const std::string& path,
                                                       std::optional<uint64_t> maxBytes) {
  if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
  const int fd = OpenRegularFile(path, O_RDONLY);
  if (fd < 0) return nullptr;
  // Read without the lock if it cannot be had: a reader loses nothing.
  LockWithin(fd, LOCK_SH);
  struct stat st;
  if (fstat(fd, &st) != 0 || (maxBytes && static_cast<uint64_t>(st.st_size) > *maxBytes)) {
    close(fd);
    return nullptr;
  }
  return std::shared_ptr<TextInputStream>(new TextInputStream(fd, maxBytes));
}

bool TextInputStream::Fill() {
  if (at_end_) return false;
  if (pos_ > 0) {
    buffer_.erase(0, pos_);
    pos_ = 0;
  }
  const size_t before = buffer_.size();
  // The first fill reads until it can tell whether the file opens with a
  // byte-order mark.
  do {
    const size_t old = buffer_.size();
    const size_t want =
        unread_ ? static_cast<size_t>(std::min<uint64_t>(kChunk, *unread_)) : kChunk;
    buffer_.resize(old + want);
    ssize_t n = 0;  // nothing more once the bound is reached
    if (want > 0) {
      do {
        n = read(fd_, buffer_.data() + old, want);
      } while (n < 0 && errno == EINTR);
    }
    if (n < 0) {
      const int error = errno;
      buffer_.resize(old);
      throw IOException(std::string("cannot read the file: ") + std::strerror(error), error);
    }
    buffer_.resize(old + static_cast<size_t>(n));
    if (unread_) *unread_ -= static_cast<uint64_t>(n);
    if (n == 0) {
      at_end_ = true;
      break;
    }
  } while (!started_ && buffer_.size() < kByteOrderMark.size());
  if (!started_) {
    started_ = true;
    if (std::string_view(buffer_).substr(0, kByteOrderMark.size()) == kByteOrderMark) {
      pos_ = kByteOrderMark.size();
    }
  }
  return buffer_.size() > before;
}

std::string TextInputStream::ReadLine() {
  size_t scanned = 0;  // bytes after pos_ known to hold no line end
  for (;;) {
    const std::string_view rest = std::string_view(buffer_).substr(pos_);
    const size_t end = rest.find_first_of("\r\n", scanned);
    if (end != std::string_view::npos) {
      std::string line(rest.substr(0, end));
      const bool carriageReturn = rest[end] == '\r';
      pos_ += end + 1;
      if (carriageReturn) {
        // CR LF is one line end, also when the LF comes with the next read.
        if (pos_ >= buffer_.size()) Fill();
        if (pos_ < buffer_.size() && buffer_[pos_] == '\n') ++pos_;
      }
      return line;
    }
    scanned = rest.size();
    if (!Fill()) {
      std::string line = buffer_.substr(pos_);
      pos_ = buffer_.size();
      return line;
    }
  }
}

bool TextInputStream::Eof() {
  while (pos_ >= buffer_.size()) {
    if (!Fill()) return true;
  }
  return false;
}

void TextInputStream::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  // Reading on after Close fails loudly instead of handing out stale bytes.
  buffer_.clear();
  pos_ = 0;
  at_end_ = false;
  started_ = true;
}

TextOutputStream::TextOutputStream(int fd, std::string tempPath, std::string targetPath)
    : fd_(fd), temp_path_(std::move(tempPath)), target_path_(std::move(targetPath)) {}

TextOutputStream::~TextOutputStream() {
  if (fd_ >= 0) Abandon();
}

std::shared_ptr<TextOutputStream> TextOutputStream::Create(const std::string& targetPath) {
  if (targetPath.empty() || targetPath.find('\0') != std::string::npos) return nullptr;
  // A link is kept and the file it points to written.
  const std::string target = FileBehindLinks(targetPath);
  mode_t mode;
  struct stat st;
  const bool exists = stat(target.c_str(), &st) == 0;
  if (exists) {
    // Whatever is no regular file is left alone: writing to a device or a
    // pipe writes no file, and a file renamed over one would take its place.
    if (!S_ISREG(st.st_mode)) return nullptr;
    // Replacing by rename would get past a file made read-only; opening it
    // for writing would not.
    if (access(target.c_str(), W_OK) != 0) return nullptr;
    mode = st.st_mode & 07777;
  } else {
    mode = NewFileMode();
  }

  // The temporary name must stay within the system's name length; it is cut
  // between characters, as some file systems accept only valid UTF-8 names.
  std::string name = NameOf(target);
  size_t keep = std::min<size_t>(name.size(), 200);
  while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  name.resize(keep);
  std::string pattern = FolderOf(target) + "/." + name + ".XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  const int fd = mkstemp(buf.data());
  if (fd < 0) {
    // A folder that takes no new file (made read-only) may still hold a
    // file that can be written: then that file is written in place.
    if (exists) {
      return std::shared_ptr<TextOutputStream>(new TextOutputStream(-1, "", target));
    }
    return nullptr;
  }
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  // Some file systems keep no permission bits and refuse the change; the file
  // is still worth writing there.
  fchmod(fd, mode);
  return std::shared_ptr<TextOutputStream>(new TextOutputStream(fd, buf.data(), target));
}

void TextOutputStream::Abandon() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
    unlink(temp_path_.c_str());
  }
  open_ = false;
  failed_ = true;
}

void TextOutputStream::WriteLine(const std::string& text) {
  if (!open_) {
    throw IOException(failed_ ? "an earlier write to " + target_path_ + " failed"
                              : "the stream to " + target_path_ + " is closed",
                      EBADF);
  }
  std::string line;
  line.reserve(text.size() + 1);
  line += text;
  line += '\n';
  if (fd_ >= 0 && !WriteAll(fd_, line.data(), line.size())) {
    const int error = errno;
    Abandon();
    ThrowIO("cannot write", target_path_, error);
  }
  lines_ += line;
}

void TextOutputStream::WriteInPlace() {
  failed_ = true;  // until the lines are all in
  const int fd = OpenRegularFile(target_path_, O_WRONLY);
  if (fd < 0) ThrowIO("cannot write", target_path_, errno);
  // Two writers at once, each writing over the start and then cutting the
  // file to its own length, could leave one's lines followed by the other's
  // bytes, or by zero bytes. The lock goes with the file's closing.
  if (!LockWithin(fd, LOCK_EX)) {
    const int error = errno;
    close(fd);
    ThrowIO("cannot write", target_path_, error);
  }
  // Written over from the start and only then cut to its new length, so a
  // file is never left empty when the write fails.
  const bool written = WriteAll(fd, lines_.data(), lines_.size()) &&
                       ftruncate(fd, static_cast<off_t>(lines_.size())) == 0 &&
                       FsyncRetrying(fd) == 0;
  const int error = errno;
  if (close(fd) != 0 && written && errno != EINTR) ThrowIO("cannot write", target_path_, errno);
  if (!written) ThrowIO("cannot write", target_path_, error);
  failed_ = false;
}

void TextOutputStream::Close() {
  if (!open_) {
    if (failed_) {
      throw IOException("an earlier write failed; " + target_path_ + " was not replaced", EIO);
    }
    return;
  }
  if (fd_ < 0) {
    open_ = false;
    WriteInPlace();
    return;
  }
  if (FsyncRetrying(fd_) != 0) {
    const int error = errno;
    Abandon();
    ThrowIO("cannot write", target_path_, error);
  }
  const int fd = fd_;
  fd_ = -1;
  open_ = false;
  if (close(fd) != 0 && errno != EINTR) {
    const int error = errno;
    unlink(temp_path_.c_str());
    failed_ = true;
    ThrowIO("cannot write", target_path_, error);
  }
  if (rename(temp_path_.c_str(), target_path_.c_str()) != 0) {
    const int error = errno;
    unlink(temp_path_.c_str());
    // A shared folder where each user may replace only their own entries
    // refuses to replace another user's file, which may still be writable.
    struct stat st;
    if ((error == EPERM || error == EACCES) && stat(target_path_.c_str(), &st) == 0 &&
        S_ISREG(st.st_mode) && access(target_path_.c_str(), W_OK) == 0) {
      WriteInPlace();
      return;
    }
    failed_ = true;
    ThrowIO("cannot replace", target_path_, error);
  }
  // The rename itself is made durable by syncing the folder. The file is
  // already replaced, so a folder that cannot be synced is no failure.
  int dir;
  do {
    dir = open(FolderOf(target_path_).c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
  } while (dir < 0 && errno == EINTR);
  if (dir >= 0) {
    FsyncRetrying(dir);
    close(dir);
  }
}

}  // namespace rt
