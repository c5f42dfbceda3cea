#include "runtime/folder_item.h"

#include <dirent.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/text.h"
#include "runtime/text_stream.h"

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace rt {

namespace {

std::string& ApplicationFolderOverride() {
  static std::string path;
  return path;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// The folder part of an absolute, normalised path; "/" for the root and its
// direct entries.
std::string DirName(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  if (path == "/") return "/";
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Collapses "//", "." and ".." of an absolute path by its text alone.
std::string NormaliseLexically(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    const std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

bool RealPath(const std::string& path, std::string& out) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return false;
  out = resolved;
  std::free(resolved);
  return true;
}

// Resolves symbolic links in an absolute path. A path that does not exist
// keeps its missing tail as written, appended to its longest existing and
// resolved leading part. `whole` tells whether the system resolved all of it.
std::string ResolveFollowingLinks(const std::string& path, bool* whole = nullptr) {
  std::string resolved;
  const bool all = RealPath(path, resolved);
  if (whole != nullptr) *whole = all;
  if (all) return resolved;
  const std::string normal = NormaliseLexically(path);
  std::string head = normal;
  std::string tail;
  while (head != "/") {
    const std::string name = BaseName(head);
    tail = tail.empty() ? name : name + "/" + tail;
    head = DirName(head);
    if (RealPath(head, resolved)) return Join(resolved, tail);
  }
  return normal;
}

// `resolved` and `folderResolved` tell whether the result, and the folder
// part of it, are known to hold no link.
std::string Resolve(const std::string& absolutePath, bool followAlias, bool& resolved,
                    bool& folderResolved) {
  if (followAlias) {
    const std::string path = ResolveFollowingLinks(absolutePath, &resolved);
    folderResolved = resolved;
    return path;
  }
  // The item is the last entry itself, even when it is a link; the folders
  // above it are followed as the system follows them when the item is used.
  resolved = false;
  const std::string normal = NormaliseLexically(absolutePath);
  if (normal == "/") {
    folderResolved = true;
    return normal;
  }
  return Join(ResolveFollowingLinks(DirName(normal), &folderResolved), BaseName(normal));
}

// The part of a name before its last ".", the whole name when it has none.
std::string Stem(const std::string& name) { return name.substr(0, name.rfind('.')); }

// Entry names of a folder, "." and ".." left out, in byte order; false when
// the folder cannot be read.
bool ListFolder(const std::string& path, std::vector<std::string>& names) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return true;
}

// Makes `path` and any missing folders above it, new ones private to the user.
void MakeFoldersPrivately(const std::string& path) {
  size_t i = 1;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    mkdir(path.substr(0, j).c_str(), 0700);
    i = j + 1;
  }
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  const passwd* entry = getpwuid(getuid());
  if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') return entry->pw_dir;
  return {};
}

}  // namespace

FolderItem::FolderItem(const std::string& path, int pathMode, bool followAlias) {
  if (pathMode != kPathModeNative) {
    throw RuntimeException("unsupported path mode " + std::to_string(pathMode));
  }
  if (path.find('\0') != std::string::npos) {
    throw RuntimeException("a path cannot contain a NUL character");
  }
  std::string absolute = path;
  if (absolute.empty() || absolute[0] != '/') {
    const std::string base = ApplicationFolder();
    if (base.empty()) throw RuntimeException("the application folder cannot be found");
    absolute = Join(base, path);
  }
  path_ = Resolve(absolute, followAlias, resolved_, folder_resolved_);
}

FolderItem::FolderItem(AbsoluteTag, std::string absolutePath, bool resolved)
    : path_(std::move(absolutePath)), resolved_(resolved), folder_resolved_(resolved) {}

std::shared_ptr<FolderItem> FolderItem::Child(const std::string& name, bool followAlias) const {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    return nullptr;
  }
  std::string childPath = Join(path_, name);
  struct stat st;
  bool found = lstat(childPath.c_str(), &st) == 0;
  if (!found) {
    // Names typed in another letter case: the one entry that differs only
    // so, else the one among those whose part before the extension is exact.
    std::vector<std::string> names;
    ListFolder(path_, names);
    const std::string stem = Stem(name);
    const std::string* only = nullptr;
    const std::string* sameStem = nullptr;
    int matches = 0;
    int sameStems = 0;
    for (const auto& entry : names) {
      if (!TextEquals(entry, name)) continue;
      only = &entry;
      ++matches;
      if (Stem(entry) == stem) {
        sameStem = &entry;
        ++sameStems;
      }
    }
    const std::string* chosen = matches == 1 ? only : sameStems == 1 ? sameStem : nullptr;
    if (chosen != nullptr) {
      childPath = Join(path_, *chosen);
      found = lstat(childPath.c_str(), &st) == 0;
    }
  }
  // In a folder whose path holds no link, an entry that is no link itself is
  // already resolved; only links need the path resolved again.
  if (resolved_ && found && !S_ISLNK(st.st_mode)) {
    return std::shared_ptr<FolderItem>(new FolderItem(AbsoluteTag{}, childPath, true));
  }
  return std::make_shared<FolderItem>(childPath, kPathModeNative, followAlias);
}

std::shared_ptr<FolderItem> FolderItem::Parent() const {
  if (path_ == "/") return nullptr;
  return std::shared_ptr<FolderItem>(new FolderItem(AbsoluteTag{}, DirName(path_), folder_resolved_));
}

std::shared_ptr<FolderItem> FolderItem::FromResolvedPath(const std::string& path) {
  return std::shared_ptr<FolderItem>(new FolderItem(AbsoluteTag{}, path, true));
}

bool FolderItem::Exists() const {
  struct stat st;
  return lstat(path_.c_str(), &st) == 0;
}

bool FolderItem::IsFolder() const {
  struct stat st;
  return stat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void FolderItem::CreateFolder() const {
  if (mkdir(path_.c_str(), 0777) != 0) {
    const int error = errno;
    throw IOException("cannot create the folder " + path_ + ": " + std::strerror(error), error);
  }
}

const std::vector<std::string>* FolderItem::Listing() const {
  if (!listing_) {
    std::vector<std::string> names;
    if (!ListFolder(path_, names)) return nullptr;
    listing_ = std::move(names);
  }
  return &*listing_;
}

int64_t FolderItem::Count() const {
  const std::vector<std::string>* names = Listing();
  return names != nullptr ? static_cast<int64_t>(names->size()) : 0;
}

std::shared_ptr<FolderItem> FolderItem::Item(int64_t index) const {
  const std::vector<std::string>* names = Listing();
  if (index < 1 || names == nullptr || index > static_cast<int64_t>(names->size())) {
    return nullptr;
  }
  const std::string& name = (*names)[static_cast<size_t>(index - 1)];
  return std::shared_ptr<FolderItem>(new FolderItem(AbsoluteTag{}, Join(path_, name), false));
}

std::string FolderItem::DisplayName() const { return BaseName(path_); }

std::shared_ptr<TextInputStream> FolderItem::OpenAsTextFile(
    std::optional<uint64_t> maxBytes) const {
  return TextInputStream::Open(path_, maxBytes);
}

std::shared_ptr<TextOutputStream> FolderItem::CreateTextFile() const {
  return TextOutputStream::Create(path_);
}

std::string ApplicationFolder() {
  const std::string& forced = ApplicationFolderOverride();
  if (!forced.empty()) return forced;
  const std::string executable = RunningExecutablePath();
  if (executable.empty()) return {};
  const std::string exeFolder = DirName(executable);
#if defined(__APPLE__)
  const std::string contents = DirName(exeFolder);
  const std::string bundle = DirName(contents);
  if (BaseName(exeFolder) == "MacOS" && BaseName(contents) == "Contents" &&
      bundle.size() > 4 && bundle.compare(bundle.size() - 4, 4, ".app") == 0) {
    return DirName(bundle);
  }
#endif
  return DirName(exeFolder);
}

void SetApplicationFolderForTesting(const std::string& path) {
  ApplicationFolderOverride() = path;
}

std::string RunningExecutablePath() {
#if defined(__APPLE__)
  uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> buf(size + 1, '\0');
  if (_NSGetExecutablePath(buf.data(), &size) != 0) return {};
  std::string resolved;
  if (RealPath(buf.data(), resolved)) return resolved;
  return buf.data()[0] == '/' ? std::string(buf.data()) : std::string();
#else
  std::vector<char> buf(PATH_MAX);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
#endif
}

std::shared_ptr<FolderItem> SpecialFolderPreferences() {
  const std::string home = HomeFolder();
#if defined(__APPLE__)
  if (home.empty()) return nullptr;
  const std::string path = home + "/Library/Preferences";
#else
  std::string path;
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome != nullptr && configHome[0] == '/') {
    path = configHome;
  } else if (!home.empty()) {
    path = home + "/.config";
  } else {
    return nullptr;
  }
#endif
  // A new account has no such folder yet; without it nothing could be saved.
  MakeFoldersPrivately(path);
  return std::make_shared<FolderItem>(path, FolderItem::kPathModeNative, true);
}

}  // namespace rt
