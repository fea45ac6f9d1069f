#include "engine/files/filename_store.h"

#include <vector>

#include "platform/fatal.h"
#include "platform/paths.h"

namespace vld {
namespace {

std::vector<std::string_view> SplitComponents(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t next = path.find('/', pos);
    if (next == std::string_view::npos) next = path.size();
    parts.push_back(path.substr(pos, next - pos));
    pos = next + 1;
  }
  return parts;
}

bool HasDoubleDot(std::string_view path) {
  const std::string slashed = WithSlashes(path);
  for (std::string_view part : SplitComponents(slashed)) {
    if (part == "..") return true;
  }
  return false;
}

}  // namespace

bool TFileNameStore::IsRooted(std::string_view name) { return IsRootedPath(WithSlashes(name)); }

std::string TFileNameStore::Normalise(std::string_view name) { return NormalisePath(name); }

std::string TFileNameStore::ParentPath(const TFileNameStoreEntry& entry) {
  std::vector<const TFileNameStoreEntry*> chain;
  for (const TFileNameStoreEntry* p = entry.parent; p != nullptr; p = p->parent) chain.push_back(p);
  std::string out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    out += (*it)->name;
    out += '/';
  }
  return out;
}

std::string TFileNameStore::FullName(const TFileNameStoreEntry& entry) {
  std::string out = ParentPath(entry) + entry.name;
  if (entry.code >= 0) out += '/';
  return out;
}

std::string TFileNameStore::VolumeOf(const TFileNameStoreEntry& entry) {
  return vld::VolumeOf(FullName(entry));
}

bool TFileNameStore::SameVolume(const TFileNameStoreEntry& a, const TFileNameStoreEntry& b) {
  return vld::SameVolume(FullName(a), FullName(b));
}

TFileNameStoreEntry* TFileNameStore::NewEntry(std::string_view name, TFileNameStoreEntry* parent,
                                              TFileNameStoreEntry* after, std::int32_t code) {
  if (mayAllocate && !mayAllocate(InstanceSize<TFileNameStoreEntry>())) return nullptr;
  auto* entry = CreateOwned<TFileNameStoreEntry>(*this, 0);
  entry->name = std::string(name);
  entry->code = code;
  entry->parent = parent;
  TFileNameStoreEntry** head = parent ? &parent->firstChild : &roots_;
  if (after != nullptr) {
    entry->nextSibling = after->nextSibling;
    after->nextSibling = entry;
  } else if (parent == nullptr && roots_ != nullptr) {
    // New roots go after the first root.
    entry->nextSibling = roots_->nextSibling;
    roots_->nextSibling = entry;
  } else {
    entry->nextSibling = *head;
    *head = entry;
  }
  return entry;
}

TFileNameStoreEntry* TFileNameStore::AddPath(std::string_view path, bool isDirectory,
                                             TFileNameStoreEntry* base,
                                             std::int32_t intervalUpper,
                                             std::int32_t intervalLower, std::int32_t fileCode) {
  if (fileCode < 1) Fatal("file code must be positive");
  const bool interval = intervalUpper != 0 || intervalLower != 0;
  if (interval && !(0 < intervalLower && intervalLower <= intervalUpper)) {
    Fatal("invalid file code interval");
  }
  if (HasDoubleDot(path)) Fatal("double-dot file name");

  TFileNameStoreEntry* start = nullptr;  // match from the roots
  std::string rest;
  if (base != nullptr && !IsRooted(path)) {
    const std::string baseName = FullName(*base);
    const std::string joined = Normalise(JoinPath(baseName, WithSlashes(path)));
    if (joined.size() > baseName.size() && joined.compare(0, baseName.size(), baseName) == 0) {
      start = base;
      rest = joined.substr(baseName.size());
    } else {
      rest = joined;
    }
  } else {
    if (!IsRooted(path)) Fatal("invalid root file name");
    rest = Normalise(path);
  }

  std::vector<std::string_view> parts = SplitComponents(rest);
  if (start != nullptr && !parts.empty() && parts.front().empty()) parts.erase(parts.begin());
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();  // the root alone: "/"
  TFileNameStoreEntry* current = start;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string_view part = parts[i];
    if (part.size() > 255) Fatal("part of file name too long");
    const bool last = i + 1 == parts.size();
    const std::int32_t newCode = last ? (isDirectory ? fileCode : -fileCode) : 0;
    TFileNameStoreEntry* sibling = nullptr;  // an equal-named child
    TFileNameStoreEntry* reuse = nullptr;
    for (TFileNameStoreEntry* e = current ? current->firstChild : roots_; e != nullptr;
         e = e->nextSibling) {
      if (e->parent != current) Fatal("siblings parent mismatch");
      if (e->name != part) continue;
      sibling = e;
      const bool bothNonNegative = e->code >= 0 && newCode >= 0;
      const bool atMostOnePositive = !(e->code > 0 && newCode > 0);
      const bool fileAsDirectory = !last && e->code < 0 && interval &&
                                   -e->code >= intervalLower && -e->code <= intervalUpper;
      if ((bothNonNegative && atMostOnePositive) || fileAsDirectory) {
        reuse = e;
        break;
      }
    }
    if (reuse != nullptr) {
      if (newCode > 0) reuse->code = newCode;
      current = reuse;
      continue;
    }
    current = NewEntry(part, current, sibling, newCode);
    if (current == nullptr) return nullptr;
  }
  return current;
}

TFileNameStoreEntry* TFileNameStore::AddPlaceholder(std::string_view name, std::int32_t fileCode) {
  if (fileCode < 1) Fatal("file code must be positive");
  if (mayAllocate && !mayAllocate(InstanceSize<TFileNameStoreEntry>())) return nullptr;
  auto* entry = CreateOwned<TFileNameStoreEntry>(*this, 0);
  entry->name = std::string(name);
  entry->code = -fileCode;
  entry->firstChild = entry;
  entry->nextSibling = placeholders_;
  placeholders_ = entry;
  return entry;
}

}  // namespace vld
