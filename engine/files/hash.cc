#include "engine/files/hash.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <type_traits>

#include "engine/files/xan_file.h"
#include "engine/runtime/file.h"
#include "platform/checked.h"
#include "platform/fatal.h"

namespace vld {
namespace {

static_assert(std::is_trivially_destructible_v<THashEntry>);

constexpr std::int64_t kEntryBlockBytes = 16384;
constexpr std::int64_t kEntryAlignment = alignof(THashEntry);

std::uint32_t U16(const std::uint8_t* b) { return b[0] | (static_cast<std::uint32_t>(b[1]) << 8); }
std::uint32_t U32(const std::uint8_t* b) {
  return b[0] | (static_cast<std::uint32_t>(b[1]) << 8) | (static_cast<std::uint32_t>(b[2]) << 16) |
         (static_cast<std::uint32_t>(b[3]) << 24);
}
// The length byte followed by the first three key bytes.
std::uint32_t LengthAndThree(std::uint8_t length, const std::uint8_t* b) {
  return length | (static_cast<std::uint32_t>(b[0]) << 8) |
         (static_cast<std::uint32_t>(b[1]) << 16) | (static_cast<std::uint32_t>(b[2]) << 24);
}

bool IsPrefixOf(std::string_view prefix, std::string_view key) {
  return prefix.size() <= key.size() && key.compare(0, prefix.size(), prefix) == 0;
}

// Byte-wise, shorter first on an equal beginning.
bool KeyLess(const THashEntry* a, const THashEntry* b) { return a->Key() < b->Key(); }

}  // namespace

// ---- THashEntry -----------------------------------------------------------------------------

std::string_view THashEntry::Key() const {
  const std::uint8_t* t = Text();
  return std::string_view(reinterpret_cast<const char*>(t + 1), t[0]);
}

std::string_view THashEntry::Replacement() const {
  if (!hasReplacement_) return {};
  const std::uint8_t* r = Text() + 1 + Text()[0];
  return std::string_view(reinterpret_cast<const char*>(r + 1), r[0]);
}

std::int64_t THashEntry::BytesFor(std::size_t keyLength, bool hasReplacement,
                                  std::size_t replacementLength) {
  std::int64_t bytes = static_cast<std::int64_t>(sizeof(THashEntry) + 1 + keyLength);
  if (hasReplacement) bytes += static_cast<std::int64_t>(1 + replacementLength);
  return (bytes + kEntryAlignment - 1) & ~(kEntryAlignment - 1);
}

// ---- hash function --------------------------------------------------------------------------

std::uint32_t HashKey(std::string_view key) {
  const auto* b = reinterpret_cast<const std::uint8_t*>(key.data());
  const auto length = static_cast<std::uint8_t>(key.size());
  switch (key.size()) {
    case 0:
      return 0;
    case 1:
      return b[0];
    case 2:
      return U16(b);
    case 3:
      return LengthAndThree(length, b);
    case 4:
      return U32(b);
    case 5:
      return U32(b) ^ (static_cast<std::uint32_t>(b[4]) << 12);
    case 6:
      return U32(b) ^ (U16(b + 4) << 4);
    case 7:
      return (LengthAndThree(length, b) << 4) ^ U32(b + 3);
    default:
      return U32(b) ^ (U32(b + 4) * 2u);
  }
}

std::uint32_t BucketOf(std::string_view key, std::uint32_t bucketCount) {
  const std::uint32_t value = HashKey(key);
  return ((value & 0xffffu) ^ (value >> 16)) % bucketCount;
}

// ---- building -------------------------------------------------------------------------------

void THash::AddSource(TXanFile& file) {
  sources_.push_back({file.FileName(), file.LastWriteTime(), file.Size()});
}

void THash::AddSource(const std::string& fileName) {
  const std::optional<TFileStamp> stamp = FileStampOf(fileName);
  if (!stamp) {
    throw EXanFileError(Format("%s: %s.", Format(kXanCannotOpen, fileName.c_str()).c_str(),
                               GermanReason(ENOENT).c_str()));
  }
  sources_.push_back({fileName, stamp->lastWriteTime, stamp->size});
}

THashEntry* THash::NewEntry(std::int64_t bytes) {
  if (blockLeft_ < bytes) {
    const std::int64_t blockBytes = std::max(kEntryBlockBytes, bytes);
    block_ = static_cast<std::uint8_t*>(AllocOwned(blockBytes));
    blockLeft_ = blockBytes;
  }
  THashEntry* entry = ::new (block_) THashEntry();
  block_ += bytes;
  blockLeft_ -= bytes;
  return entry;
}

void THash::AppendEntry(THashEntry* entry) {
  if (last_ != nullptr) {
    last_->next_ = entry;
  } else {
    first_ = entry;
  }
  last_ = entry;
}

void THash::AddEntry(std::string_view key, std::string_view replacement, std::int32_t id,
                     int code) {
  if (finished_) Fatal("hash already finished");
  if (code < 0 || code >= kHashCodeLimit) Fatal("invalid hash entry code");
  if (id < 0 || id > kMaxHashEntryId) Fatal("invalid hash entry ID");
  if (entryCount_ >= kMaxHashEntries) Fatal("zu viele Hash-Einträge");
  key = key.substr(0, std::min<std::size_t>(key.size(), 255));
  replacement = replacement.substr(0, std::min<std::size_t>(replacement.size(), 255));
  const bool hasReplacement = !(code != 0 && replacement.empty());
  if (id != 0 && hasReplacement) Fatal("prename replacement");

  THashEntry* entry =
      NewEntry(THashEntry::BytesFor(key.size(), hasReplacement, replacement.size()));
  entry->id_ = id;
  entry->code_ = static_cast<std::uint8_t>(code);
  entry->hasReplacement_ = hasReplacement ? 1 : 0;
  std::uint8_t* text = entry->Text();
  text[0] = static_cast<std::uint8_t>(key.size());
  std::memcpy(text + 1, key.data(), key.size());
  if (hasReplacement) {
    std::uint8_t* r = text + 1 + key.size();
    r[0] = static_cast<std::uint8_t>(replacement.size());
    std::memcpy(r + 1, replacement.data(), replacement.size());
  }
  AppendEntry(entry);
  ++entryCount_;
  if (id != 0) ++idCount_;
}

THashEntry** THash::NewBuckets(std::int32_t count) {
  const std::int64_t bytes =
      CheckedMul<std::int64_t>(count, static_cast<std::int64_t>(sizeof(THashEntry*)));
  auto** buckets = static_cast<THashEntry**>(AllocOwned(bytes));
  std::fill(buckets, buckets + count, nullptr);
  return buckets;
}

void THash::Finish() {
  if (finished_) Fatal("hash already finished");
  const std::int32_t n = entryCount_;
  bucketCount_ = std::min<std::int32_t>(65535, (n + n / 10) | 1);
  buckets_ = NewBuckets(bucketCount_);

  // Put every entry at the head of its bucket's chain; a key already there is dropped.
  THashEntry* previous = nullptr;
  for (THashEntry* entry = first_; entry != nullptr;) {
    THashEntry* following = entry->next_;
    THashEntry*& head = buckets_[BucketOf(entry->Key(), static_cast<std::uint32_t>(bucketCount_))];
    bool duplicate = false;
    for (const THashEntry* e = head; e != nullptr && !duplicate; e = e->chain_) {
      duplicate = e->Key() == entry->Key();
    }
    if (duplicate) {
      if (previous != nullptr) {
        previous->next_ = following;
      } else {
        first_ = following;
      }
      if (last_ == entry) last_ = previous;
      --entryCount_;
      if (entry->id_ != 0) --idCount_;
    } else {
      entry->chain_ = head;
      head = entry;
      previous = entry;
    }
    entry = following;
  }
  if (idCount_ > 1) BuildPrefixLinks();
  finished_ = true;
}

void THash::BuildPrefixLinks() {
  std::vector<THashEntry*> ordered;
  ordered.reserve(static_cast<std::size_t>(idCount_));
  for (THashEntry* e = first_; e != nullptr; e = e->next_) {
    if (e->id_ != 0) ordered.push_back(e);
  }
  std::stable_sort(ordered.begin(), ordered.end(), KeyLess);
  // A stack of open prefixes: every entry on it is a prefix of the one above it.
  std::vector<THashEntry*> open;
  for (THashEntry* e : ordered) {
    while (!open.empty() && !IsPrefixOf(open.back()->Key(), e->Key())) open.pop_back();
    e->prefix_ = open.empty() ? nullptr : open.back();
    open.push_back(e);
  }
}

THashFound THash::Lookup(std::string_view key) const {
  if (!finished_) Fatal("hash not finished");
  THashFound result;
  if (key.size() > 255) return result;
  const THashEntry* e = buckets_[BucketOf(key, static_cast<std::uint32_t>(bucketCount_))];
  while (e != nullptr && e->Key() != key) e = e->chain_;
  if (e == nullptr) return result;
  result.found = true;
  result.text = e->HasReplacement() ? e->Replacement() : e->Key();
  result.code = e->code_;
  result.id = e->id_;
  result.number = e->number_;
  result.entry = e;
  return result;
}

}  // namespace vld
