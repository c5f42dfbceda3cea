#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rt {

class TextInputStream;
class TextOutputStream;

// A file or folder by path. The item need not exist; every query asks the
// file system afresh, except that Count and Item share one listing.
class FolderItem {
 public:
  // Path modes as the program passes them; only the native one is supported.
  static constexpr int kPathModeNative = 3;

  // From a path text. A relative path is resolved against ApplicationFolder(),
  // never the working directory. With followAlias, symbolic links in the path
  // are followed (the item names what they point to). A path mode other than
  // native raises RuntimeException.
  FolderItem(const std::string& path, int pathMode, bool followAlias);

  // An item for a path that is already absolute, normalised and free of
  // symbolic links (as the system reports the running executable's); it is
  // taken as it is.
  static std::shared_ptr<FolderItem> FromResolvedPath(const std::string& path);

  // Absolute path of the item as resolved at construction.
  const std::string& NativePath() const { return path_; }

  // The entry `name` of this folder, existing or not. When no entry has that
  // exact name but exactly one differs from it only in ASCII letter case, that
  // entry is returned, so names typed in another case still find their file;
  // among several such entries, the one whose part before the last "." is
  // exactly as asked, when there is one. A name holding "/" or being "." or
  // ".." gives null.
  std::shared_ptr<FolderItem> Child(const std::string& name, bool followAlias = true) const;
  // The folder holding this item; null for the root.
  std::shared_ptr<FolderItem> Parent() const;

  bool Exists() const;
  bool IsFolder() const;
  // Makes this folder; raises IOException with errno when it cannot.
  void CreateFolder() const;

  // Entries of this folder ("." and ".." excluded, hidden entries included),
  // numbered from 1 in byte order of their names, so a folder numbers the same
  // way every time. The first of these calls on an object reads the folder
  // and the others use that reading, so a count and the entries it numbers
  // agree and a listing costs one read. Count is 0 for a folder that cannot be
  // read (read again at the next call).
  int64_t Count() const;
  // Entry `index` (1..Count()); null outside that range.
  std::shared_ptr<FolderItem> Item(int64_t index) const;

  // The name shown for the item: its last path component.
  std::string DisplayName() const;

  // A stream over the file's lines, or null when it cannot be opened, is no
  // regular file, or is longer than maxBytes (see TextInputStream::Open).
  std::shared_ptr<TextInputStream> OpenAsTextFile(
      std::optional<uint64_t> maxBytes = std::nullopt) const;
  // A stream that replaces the file when closed (see TextOutputStream), or
  // null when the file cannot be written.
  std::shared_ptr<TextOutputStream> CreateTextFile() const;

 private:
  struct AbsoluteTag {};
  FolderItem(AbsoluteTag, std::string absolutePath, bool resolved);
  // The folder's entry names, read at the first Count or Item.
  const std::vector<std::string>* Listing() const;
  std::string path_;
  // Whether path_, and the folder that holds it, are known to hold no
  // symbolic link, so that entries below need not be resolved again.
  bool resolved_ = false;
  bool folder_resolved_ = false;
  mutable std::optional<std::vector<std::string>> listing_;
};

// The folder that bare relative paths are resolved against: the folder that
// holds the application bundle on macOS, elsewhere the folder that holds the
// executable's folder. Found from the running executable at every call unless
// SetApplicationFolderForTesting has set it.
std::string ApplicationFolder();
// Points ApplicationFolder() at `path`; an empty path restores the default.
void SetApplicationFolderForTesting(const std::string& path);

// Absolute path of the running executable ("" when it cannot be found).
std::string RunningExecutablePath();

// The user's preferences folder: ~/Library/Preferences on macOS; elsewhere
// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config. Null when no
// home folder is known.
std::shared_ptr<FolderItem> SpecialFolderPreferences();

}  // namespace rt
