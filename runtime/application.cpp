#include "runtime/application.h"

#include <mutex>

#include "runtime/folder_item.h"

namespace rt {
namespace {

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<Application>& Registered() {
  static std::shared_ptr<Application> app;
  return app;
}

}  // namespace

std::shared_ptr<FolderItem> Application::ExecutableFile() const {
  if (executable_override_.empty()) {
    // The system reports the running executable's path already resolved.
    const std::string path = RunningExecutablePath();
    if (path.empty()) return nullptr;
    return FolderItem::FromResolvedPath(path);
  }
  // The path names the executable itself; a link to it is not followed, so
  // the folders around it are the ones it was started from.
  return std::make_shared<FolderItem>(executable_override_, FolderItem::kPathModeNative, false);
}

void Application::SetVersionData(int64_t major, int64_t minor, int64_t bug, int64_t nonRelease,
                                  int64_t stageCode, const std::string& longVersion,
                                  const std::string& shortVersion,
                                  const std::string& packageInfo) {
  major_ = major;
  minor_ = minor;
  bug_ = bug;
  non_release_ = nonRelease;
  stage_code_ = stageCode;
  long_version_ = longVersion;
  short_version_ = shortVersion;
  package_info_ = packageInfo;
}

std::string Application::VersionString() const {
  std::string s = std::to_string(major_) + "." + std::to_string(minor_) + "." + std::to_string(bug_);
  const char* stage = nullptr;
  switch (stage_code_) {
    case 0: stage = "d"; break;
    case 1: stage = "a"; break;
    case 2: stage = "b"; break;
    default: break;  // a release, or a code that names no stage
  }
  if (stage != nullptr) s += stage + std::to_string(non_release_);
  return s;
}

void RuntimeRegisterAppObject(std::shared_ptr<Application> app) {
  {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Registered().swap(app);
  }
  // The replaced object, now in `app`, goes away outside the lock.
}

std::shared_ptr<Application> GetAppObject() {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  return Registered();
}

}  // namespace rt
