#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace rt {

class FolderItem;

// The application object: one per process, registered once start-up has
// equipped it. The window layer derives its own application class from it.
class Application {
 public:
  virtual ~Application() = default;

  // The running executable. Tests may point it at a file of their own.
  std::shared_ptr<FolderItem> ExecutableFile() const;
  void SetExecutablePathForTesting(const std::string& path) { executable_override_ = path; }

  void SetVersionData(int64_t major, int64_t minor, int64_t bug, int64_t nonRelease,
                      int64_t stageCode, const std::string& longVersion,
                      const std::string& shortVersion, const std::string& packageInfo);
  int64_t MajorVersion() const { return major_; }
  int64_t MinorVersion() const { return minor_; }
  int64_t BugVersion() const { return bug_; }
  int64_t NonReleaseVersion() const { return non_release_; }
  int64_t StageCode() const { return stage_code_; }
  const std::string& LongVersion() const { return long_version_; }
  const std::string& ShortVersion() const { return short_version_; }
  const std::string& PackageInfo() const { return package_info_; }
  // The version as shown to the user: "3.0.0b10" for stage 2 (beta), "a" for
  // stage 1 (alpha), "d" for 0 (development); a release (3) shows no stage.
  std::string VersionString() const;

 private:
  std::string executable_override_;
  int64_t major_ = 0, minor_ = 0, bug_ = 0, non_release_ = 0, stage_code_ = 3;
  std::string long_version_, short_version_, package_info_;
};

// Registers the process's application object (replacing any earlier one; a
// null argument unregisters it).
void RuntimeRegisterAppObject(std::shared_ptr<Application> app);
// The registered application object, or null before registration.
std::shared_ptr<Application> GetAppObject();

}  // namespace rt
