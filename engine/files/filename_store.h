// The file-name store: every file a match task touches, as one tree of path components.
//
// The match parameter set names input, output, temporary and table files and refers to them
// by number. The store keeps each name once in normalised form (absolute, without "." parts,
// case kept), shares equal path components, marks each file with its file code and rebuilds a
// full name from any entry. A file's volume is the mount point that holds it; two files are on
// the same volume when their nearest existing directories have the same device.
//
// Entry codes: negative for a file (-file code), 0 for a directory created as an intermediate
// component, positive for a directory given a code. Misuse is the fatal error with the texts
// below ("file code must be positive", "double-dot file name", ...).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/runtime/origin.h"

namespace vld {

class TFileNameStoreEntry : public TOrigin {
 public:
  std::int32_t code = 0;
  std::string name;  // one path component; the root is the empty component before the first '/'
  TFileNameStoreEntry* parent = nullptr;
  TFileNameStoreEntry* firstChild = nullptr;
  TFileNameStoreEntry* nextSibling = nullptr;
};

class TFileNameStore : public TOrigin {
 public:
  // Asked with the entry size before each new entry; true by default.
  std::function<bool(std::int64_t entrySize)> mayAllocate;

  // Adds `path` (a file, or a directory when `isDirectory`), relative to `base` when given and
  // the path is not rooted. With an interval (lower..upper, both non-zero), a file entry whose
  // file code lies in it may serve as a directory component. Returns the entry of the last
  // component, or empty when `mayAllocate` refused.
  TFileNameStoreEntry* AddPath(std::string_view path, bool isDirectory, TFileNameStoreEntry* base,
                               std::int32_t intervalUpper, std::int32_t intervalLower,
                               std::int32_t fileCode);
  // An entry outside the tree standing for `name` (file code 9000: "no file").
  TFileNameStoreEntry* AddPlaceholder(std::string_view name, std::int32_t fileCode);

  // Parent path plus name, with a trailing '/' for directories (code >= 0).
  static std::string FullName(const TFileNameStoreEntry& entry);
  // The names of all ancestors, each followed by '/'.
  static std::string ParentPath(const TFileNameStoreEntry& entry);
  static const std::string& Name(const TFileNameStoreEntry& entry) { return entry.name; }
  static std::int32_t FileCode(const TFileNameStoreEntry& entry) {
    return entry.code < 0 ? -entry.code : entry.code;
  }
  // Mount point of the volume holding the entry's file.
  static std::string VolumeOf(const TFileNameStoreEntry& entry);
  static bool SameVolume(const TFileNameStoreEntry& a, const TFileNameStoreEntry& b);
  static bool IsRooted(std::string_view name);
  static std::string Normalise(std::string_view name);

  TFileNameStoreEntry* Roots() const { return roots_; }

 private:
  TFileNameStoreEntry* NewEntry(std::string_view name, TFileNameStoreEntry* parent,
                                TFileNameStoreEntry* after, std::int32_t code);

  TFileNameStoreEntry* roots_ = nullptr;
  TFileNameStoreEntry* placeholders_ = nullptr;
};

}  // namespace vld
