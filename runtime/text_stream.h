#pragma once

#include <memory>
#include <string>

namespace rt {

// Reads a file line by line. CR, LF and CR LF each end a line; a UTF-8
// byte-order mark at the start is dropped; other bytes are taken as they are.
class TextInputStream {
 public:
  // Opens the file; null when it cannot be opened (or is a folder).
  static std::shared_ptr<TextInputStream> Open(const std::string& path);
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
  explicit TextInputStream(int fd);
  bool Fill();  // reads more bytes; false at the end of the file
  int fd_;
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
// not exist yet. Where the target's folder takes no new file but the target
// itself may be written, the lines are kept until Close() and then written
// into the target in place.
class TextOutputStream {
 public:
  // Null when neither a temporary file nor the target itself can be written.
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
  // The lines of a stream that writes in place, until Close.
  std::string in_place_;
};

}  // namespace rt
