#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace rt {

// Reads a file line by line. CR, LF and CR LF each end a line; a UTF-8
// byte-order mark at the start is dropped; other bytes are taken as they are.
//
// Only regular files are read: a device or a pipe may never end, and its
// readers rely on reaching the end. While open, the stream holds a shared
// lock on the file, so a TextOutputStream writing it in place is never seen
// half done.
class TextInputStream {
 public:
  // Opens the file, links followed; null when it cannot be opened, is no
  // regular file, or is longer than maxBytes. Opening never waits on what it
  // opens; a lock that another program holds is waited for a few seconds at
  // most, then the file is read without it. With maxBytes, the stream also
  // reads no further than that, even from a file that grows while it is read.
  static std::shared_ptr<TextInputStream> Open(const std::string& path,
                                               std::optional<uint64_t> maxBytes = std::nullopt);
  ~TextInputStream();
  TextInputStream(const TextInputStream&) = delete;
  TextInputStream& operator=(const TextInputStream&) = delete;

  // The next line without its line end; "" at the end of the file. Raises
  // IOException (with errno) when the read fails.
  std::string ReadLine();
  // True once everything has been read, so a line end after the last line
  // adds no line. (The usual name, EOF, is a C macro.)
  bool Eof();
  void Close();

 private:
  TextInputStream(int fd, std::optional<uint64_t> maxBytes);
  bool Fill();  // reads more bytes; false at the end of the file
  int fd_;
  std::optional<uint64_t> unread_;  // bytes the stream may still read, when bounded
  std::string buffer_;
  size_t pos_ = 0;
  bool at_end_ = false;
  bool started_ = false;
};

// Writes lines to a temporary file beside the target; Close() writes it out
// and renames it over the target, so the target is only ever replaced whole.
// A stream destroyed without Close(), or one whose write failed, removes its
// temporary file and leaves the target as it was. A target that is a
// symbolic link stays one: the file it points to is written, made if it does
// not exist yet. Only a regular file is replaced: a device, pipe or socket
// is never written, nor replaced by a file.
//
// Where the target's folder takes no new file, or refuses to let this user
// replace the target (a shared folder where each user may replace only their
// own entries), but the target itself may be written, it is written in place
// at Close(), under an exclusive lock, so two writers never mix their lines
// and a TextInputStream never reads the file half written.
class TextOutputStream {
 public:
  // Null when the target is no regular file, or when neither a temporary
  // file nor the target itself can be written.
  static std::shared_ptr<TextOutputStream> Create(const std::string& targetPath);
  ~TextOutputStream();
  TextOutputStream(const TextOutputStream&) = delete;
  TextOutputStream& operator=(const TextOutputStream&) = delete;

  // Writes the text and LF. Raises IOException (with errno) when it fails.
  void WriteLine(const std::string& text);
  // Flushes, syncs and renames over the target (or writes the target in
  // place). Raises IOException when any step fails; a replaced target then
  // stays as it was. A second Close does nothing.
  void Close();

 private:
  // fd is the temporary file's, or -1 for a stream that writes in place.
  TextOutputStream(int fd, std::string tempPath, std::string targetPath);
  void Abandon();
  void WriteInPlace();
  int fd_;
  std::string temp_path_;
  std::string target_path_;
  bool open_ = true;
  bool failed_ = false;
  // The lines written, until Close: they go in place when the target cannot
  // be replaced.
  std::string lines_;
};

}  // namespace rt
