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
// temporary file and leaves the target as it was.
class TextOutputStream {
 public:
  // Null when the temporary file cannot be created.
  static std::shared_ptr<TextOutputStream> Create(const std::string& targetPath);
  ~TextOutputStream();
  TextOutputStream(const TextOutputStream&) = delete;
  TextOutputStream& operator=(const TextOutputStream&) = delete;

  // Writes the text and LF. Raises IOException (with errno) when it fails.
  void WriteLine(const std::string& text);
  // Flushes, syncs and renames over the target. Raises IOException when any
  // step fails; the target then stays as it was. A second Close does nothing.
  void Close();

 private:
  TextOutputStream(int fd, std::string tempPath, std::string targetPath);
  void Abandon();
  int fd_;
  std::string temp_path_;
  std::string target_path_;
  bool failed_ = false;
};

}  // namespace rt
