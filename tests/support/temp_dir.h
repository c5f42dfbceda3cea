#pragma once

#include <string>

namespace testsupport {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when
// the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Writes `bytes` to `path` exactly as given, creating parent folders.
void WriteFile(const std::string& path, const std::string& bytes);
// The whole file as bytes; raises std::runtime_error when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace testsupport
