#include "runtime/text_stream.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
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

TextInputStream::TextInputStream(int fd) : fd_(fd) {}

TextInputStream::~TextInputStream() {
  if (fd_ >= 0) close(fd_);
}

std::shared_ptr<TextInputStream> TextInputStream::Open(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
  int fd;
  // Non-blocking only for the open itself, so a named pipe cannot hang it.
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::shared_ptr<TextInputStream>(new TextInputStream(fd));
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
    buffer_.resize(old + kChunk);
    ssize_t n;
    do {
      n = read(fd_, buffer_.data() + old, kChunk);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      const int error = errno;
      buffer_.resize(old);
      throw IOException(std::string("cannot read the file: ") + std::strerror(error), error);
    }
    buffer_.resize(old + static_cast<size_t>(n));
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
    if (S_ISDIR(st.st_mode)) return nullptr;
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
    if (exists && S_ISREG(st.st_mode)) {
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
  if (fd_ < 0) {
    in_place_ += line;
    return;
  }
  if (!WriteAll(fd_, line.data(), line.size())) {
    const int error = errno;
    Abandon();
    ThrowIO("cannot write", target_path_, error);
  }
}

void TextOutputStream::WriteInPlace() {
  int fd;
  do {
    fd = open(target_path_.c_str(), O_WRONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) ThrowIO("cannot write", target_path_, errno);
  // Written over from the start and only then cut to its new length, so a
  // file is never left empty when the write fails.
  const bool written = WriteAll(fd, in_place_.data(), in_place_.size()) &&
                       ftruncate(fd, static_cast<off_t>(in_place_.size())) == 0 &&
                       FsyncRetrying(fd) == 0;
  const int error = errno;
  if (close(fd) != 0 && written && errno != EINTR) ThrowIO("cannot write", target_path_, errno);
  if (!written) ThrowIO("cannot write", target_path_, error);
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
    try {
      WriteInPlace();
    } catch (...) {
      failed_ = true;
      throw;
    }
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
