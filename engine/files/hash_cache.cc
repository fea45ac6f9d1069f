// The dictionary cache file ("BlackBox") of THash.
//
// All integers little-endian.
//   OFFSET  SIZE       FIELD
//        0    32       "Veldrona BlackBox (C) Korvist  " followed by the byte 26
//       32     4       version, 1
//       36     4       number of source records
//       40     4       number of entries
//       44     4       number of entries with an identifier
//       48     4       bucket count, 1..65535
//       52     4       keystream seed XOR 0x4c28e6a3
//       56     4       reserved, 0
//       60     17+n    per source: last-write time (8), size (8), name as short string (1 + n);
//                      not scrambled
//        .     ...     entry block: all entries back to back, scrambled with the keystream
//        .     4*b     bucket table: per bucket the offset of its first entry, 0 when empty;
//                      scrambled, continuing the same keystream
//
// Entry in the entry block (offsets are 1-based positions in the entry block, 0 means none):
//        0     4       offset of the next entry in the same bucket
//        4     4       offset of the prefix entry
//        8     4       size of this entry: 19 + key length, plus 1 + replacement length
//       12     4       identifier
//       16     1       code
//       17     1       replacement flag
//       18     1+k     key as short string, then the replacement as short string when flagged
//
// Loading distrusts every byte: counts are checked against the bytes that are left before
// anything is allocated, every entry must have exactly its stated size and lie inside the
// block, every offset must name the start of an entry, every entry must sit once in the chain
// of the bucket its key hashes to, and a prefix link must lead to an entry with an identifier
// whose key is a proper prefix. A file failing any check is ignored.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "engine/files/hash.h"
#include "engine/files/keystream.h"
#include "engine/files/xan_file.h"
#include "engine/runtime/short_string.h"
#include "platform/fatal.h"
#include "platform/le_codec.h"
#include "platform/paths.h"

namespace vld {
namespace {

constexpr std::string_view kCacheMagic("Veldrona BlackBox (C) Korvist  \x1a", 32);
constexpr std::int32_t kCacheVersion = 1;
constexpr std::uint32_t kSeedMask = 0x4c28e6a3u;
constexpr std::int64_t kHeaderSize = 60;
constexpr std::int64_t kSourceFixedSize = 17;
constexpr std::int64_t kEntryFixedSize = 18;
constexpr std::int64_t kMinEntrySize = kEntryFixedSize + 1;
constexpr std::int64_t kMaxEntrySize = kEntryFixedSize + 1 + 255 + 1 + 255;
constexpr std::int64_t kMaxBuckets = 65535;

std::uint32_t CacheSizeOf(const THashEntry& e) {
  std::uint32_t size = static_cast<std::uint32_t>(kMinEntrySize + e.Key().size());
  if (e.HasReplacement()) size += static_cast<std::uint32_t>(1 + e.Replacement().size());
  return size;
}

void WriteScrambled(TXanFile& file, Keystream& stream, std::string bytes) {
  auto* data = reinterpret_cast<std::uint8_t*>(bytes.data());
  stream.Apply(data, data, bytes.size());
  file.WriteBytes(data, static_cast<std::int64_t>(bytes.size()));
}

// Creates the cache file's directory when its parent exists.
void PrepareDirectory(const std::string& fileName) {
  std::string directory = ParentPath(fileName);
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  if (directory.empty() || DirectoryExists(directory)) return;
  if (DirectoryExists(ParentPath(directory))) ::mkdir(directory.c_str(), 0777);
}

// One entry of a cache file that passed the checks of its own bytes.
struct CachedEntry {
  std::uint32_t start;  // 0-based position in the entry block
  std::uint32_t chain;
  std::uint32_t prefix;
  std::int32_t id;
  std::uint8_t code;
  bool hasReplacement;
  std::string_view key;
  std::string_view replacement;
};

// Index of the entry starting at 1-based `offset`, or -1.
std::int64_t EntryAt(const std::vector<CachedEntry>& entries, std::uint32_t offset) {
  if (offset == 0) return -1;
  const auto it =
      std::lower_bound(entries.begin(), entries.end(), offset - 1,
                       [](const CachedEntry& e, std::uint32_t start) { return e.start < start; });
  if (it == entries.end() || it->start != offset - 1) return -1;
  return it - entries.begin();
}

// Reads the entries of a plain entry block; false when the block is damaged.
bool ParseEntries(std::span<const std::uint8_t> block, std::int64_t count, std::int64_t idCount,
                  std::vector<CachedEntry>& entries) {
  entries.reserve(static_cast<std::size_t>(count));
  std::size_t pos = 0;
  std::int64_t ids = 0;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::size_t left = block.size() - pos;
    if (left < kMinEntrySize) return false;
    const std::span<const std::uint8_t> at = block.subspan(pos);
    const std::uint32_t size = le::GetU32(at, 8);
    if (size < kMinEntrySize || size > left) return false;
    CachedEntry e;
    e.start = static_cast<std::uint32_t>(pos);
    e.chain = le::GetU32(at, 0);
    e.prefix = le::GetU32(at, 4);
    e.id = le::GetI32(at, 12);
    e.code = at[16];
    const std::uint8_t flag = at[17];
    if (flag > 1 || e.code >= kHashCodeLimit || e.id < 0 || e.id > kMaxHashEntryId) return false;
    e.hasReplacement = flag == 1;
    const std::size_t keyLength = at[18];
    std::size_t expected = kMinEntrySize + keyLength;
    if (expected > size) return false;
    e.key = std::string_view(reinterpret_cast<const char*>(at.data() + 19), keyLength);
    if (e.hasReplacement) {
      if (expected + 1 > size) return false;
      const std::size_t replacementLength = at[expected];
      e.replacement = std::string_view(reinterpret_cast<const char*>(at.data() + expected + 1),
                                       replacementLength);
      expected += 1 + replacementLength;
    }
    if (expected != size) return false;
    if (e.id != 0) {
      if (e.hasReplacement) return false;
      ++ids;
    }
    entries.push_back(e);
    pos += size;
  }
  return pos == block.size() && ids == idCount;
}

// Checks the bucket table, the chains and the prefix links against the entries.
bool CheckLinks(const std::vector<CachedEntry>& entries, const std::vector<std::uint32_t>& heads) {
  std::vector<bool> seen(entries.size(), false);
  std::size_t reached = 0;
  for (std::size_t b = 0; b < heads.size(); ++b) {
    for (std::uint32_t offset = heads[b]; offset != 0;) {
      const std::int64_t i = EntryAt(entries, offset);
      if (i < 0 || seen[static_cast<std::size_t>(i)]) return false;  // no entry, or a cycle
      const CachedEntry& e = entries[static_cast<std::size_t>(i)];
      if (BucketOf(e.key, static_cast<std::uint32_t>(heads.size())) != b) return false;
      seen[static_cast<std::size_t>(i)] = true;
      ++reached;
      offset = e.chain;
    }
  }
  if (reached != entries.size()) return false;
  for (const CachedEntry& e : entries) {
    if (e.prefix == 0) continue;
    const std::int64_t i = EntryAt(entries, e.prefix);
    if (i < 0 || e.id == 0) return false;
    const CachedEntry& p = entries[static_cast<std::size_t>(i)];
    // Strictly shorter keys make every prefix chain end.
    if (p.id == 0 || p.key.size() >= e.key.size() || e.key.compare(0, p.key.size(), p.key) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool THash::SaveCache(const std::string& fileName) {
  return SaveCacheWithSeed(fileName, Keystream::FreshSeed());
}

bool THash::SaveCacheWithSeed(const std::string& fileName, std::uint32_t seed) {
  if (!finished_) Fatal("hash not finished");
  for (const THashSource& source : sources_) {
    if (source.name.size() > 255) return false;
  }
  return WriteCache(fileName, seed);
}

bool THash::WriteCache(const std::string& fileName, std::uint32_t seed) {
  PrepareDirectory(fileName);
  TXanBufferedFile file(fileName);
  file.Open(kXanCreate | kXanAlways | kXanWrite | kXanSequential);

  le::Writer head;
  head.Bytes(kCacheMagic);
  head.I32(kCacheVersion);
  head.I32(static_cast<std::int32_t>(sources_.size()));
  head.I32(entryCount_);
  head.I32(idCount_);
  head.I32(bucketCount_);
  head.U32(seed ^ kSeedMask);
  head.I32(0);
  for (const THashSource& source : sources_) {
    head.I64(source.lastWriteTime);
    head.I64(source.size);
    head.U8(static_cast<std::uint8_t>(source.name.size()));
    head.Bytes(source.name);
  }
  file.WriteText(head.bytes());

  // 1-based offsets of the entries in the entry block.
  std::unordered_map<const THashEntry*, std::uint32_t> offsets;
  std::uint32_t next = 1;
  for (const THashEntry* e = first_; e != nullptr; e = e->next_) {
    offsets[e] = next;
    next += CacheSizeOf(*e);
  }
  const auto offsetOf = [&](const THashEntry* e) { return e ? offsets.at(e) : 0u; };

  Keystream stream(seed);
  for (const THashEntry* e = first_; e != nullptr; e = e->next_) {
    le::Writer entry;
    entry.U32(offsetOf(e->chain_));
    entry.U32(offsetOf(e->prefix_));
    entry.U32(CacheSizeOf(*e));
    entry.I32(e->id_);
    entry.U8(e->code_);
    entry.U8(e->hasReplacement_);
    entry.U8(static_cast<std::uint8_t>(e->Key().size()));
    entry.Bytes(e->Key());
    if (e->HasReplacement()) {
      entry.U8(static_cast<std::uint8_t>(e->Replacement().size()));
      entry.Bytes(e->Replacement());
    }
    WriteScrambled(file, stream, entry.Take());
  }
  le::Writer table;
  for (std::int32_t b = 0; b < bucketCount_; ++b) table.U32(offsetOf(buckets_[b]));
  WriteScrambled(file, stream, table.Take());
  file.Close();
  return true;
}

bool THash::LoadCache(const std::string& fileName, std::span<const std::string> requiredSources) {
  if (entryCount_ != 0 || !sources_.empty() || finished_) Fatal("hash not empty");
  if (!FileExistsNotDirectory(fileName)) return false;
  std::vector<THashSource> sources;
  std::vector<std::uint8_t> rest;
  std::int64_t entryCount = 0, idCount = 0, bucketCount = 0;
  std::uint32_t seed = 0;
  try {
    TXanBufferedFile file(fileName);
    file.Open(kXanRead | kXanShareRead | kXanSequential);
    std::int64_t left = file.Size();
    if (left < kHeaderSize) return false;
    const std::string header = file.ReadText(kHeaderSize);
    left -= kHeaderSize;
    le::Reader in(header);
    if (in.Bytes(kCacheMagic.size()) != kCacheMagic) return false;
    if (in.I32() != kCacheVersion) return false;
    const std::int64_t sourceCount = in.I32();
    entryCount = in.I32();
    idCount = in.I32();
    bucketCount = in.I32();
    seed = in.U32() ^ kSeedMask;
    if (in.I32() != 0) return false;
    if (sourceCount < 0 || entryCount < 0 || entryCount > kMaxHashEntries || idCount < 0 ||
        idCount > entryCount || bucketCount < 1 || bucketCount > kMaxBuckets) {
      return false;
    }
    if (sourceCount > left / kSourceFixedSize) return false;
    for (std::int64_t i = 0; i < sourceCount; ++i) {
      if (left < kSourceFixedSize) return false;
      const std::string fixed = file.ReadText(kSourceFixedSize);
      left -= kSourceFixedSize;
      le::Reader record(fixed);
      THashSource source;
      source.lastWriteTime = record.I64();
      source.size = record.I64();
      const std::int64_t nameLength = record.U8();
      if (left < nameLength) return false;
      source.name = file.ReadText(nameLength);
      left -= nameLength;
      sources.push_back(std::move(source));
    }
    const std::int64_t tableBytes = 4 * bucketCount;
    if (left < tableBytes) return false;
    const std::int64_t blockBytes = left - tableBytes;
    if (blockBytes < entryCount * kMinEntrySize || blockBytes > entryCount * kMaxEntrySize) {
      return false;
    }
    // The sources must be unchanged before the rest is worth reading.
    for (const THashSource& source : sources) {
      const std::optional<TFileStamp> stamp = FileStampOf(source.name);
      if (!stamp || stamp->lastWriteTime != source.lastWriteTime || stamp->size != source.size) {
        return false;
      }
    }
    for (const std::string& required : requiredSources) {
      if (std::none_of(sources.begin(), sources.end(),
                       [&](const THashSource& s) { return s.name == required; })) {
        return false;
      }
    }
    // At most 32768 largest entries and 65535 buckets: about 17 MB.
    rest.resize(static_cast<std::size_t>(left));
    file.ReadBytes(rest.data(), left);
    file.Close();
  } catch (const EXanFileError&) {
    return false;  // a cache that cannot be read is rebuilt like a damaged one
  }
  Keystream(seed).Apply(rest);

  const std::size_t blockBytes = rest.size() - static_cast<std::size_t>(4 * bucketCount);
  const std::span<const std::uint8_t> block(rest.data(), blockBytes);
  std::vector<CachedEntry> entries;
  if (!ParseEntries(block, entryCount, idCount, entries)) return false;
  std::vector<std::uint32_t> heads(static_cast<std::size_t>(bucketCount));
  for (std::size_t b = 0; b < heads.size(); ++b) {
    heads[b] = le::GetU32(std::span<const std::uint8_t>(rest), blockBytes + 4 * b);
  }
  if (!CheckLinks(entries, heads)) return false;

  // Everything checked: build the dictionary.
  std::vector<THashEntry*> built;
  built.reserve(entries.size());
  for (const CachedEntry& c : entries) {
    THashEntry* e =
        NewEntry(THashEntry::BytesFor(c.key.size(), c.hasReplacement, c.replacement.size()));
    e->id_ = c.id;
    e->code_ = c.code;
    e->hasReplacement_ = c.hasReplacement ? 1 : 0;
    std::uint8_t* text = e->Text();
    text[0] = static_cast<std::uint8_t>(c.key.size());
    std::memcpy(text + 1, c.key.data(), c.key.size());
    if (c.hasReplacement) {
      std::uint8_t* r = text + 1 + c.key.size();
      r[0] = static_cast<std::uint8_t>(c.replacement.size());
      std::memcpy(r + 1, c.replacement.data(), c.replacement.size());
    }
    AppendEntry(e);
    built.push_back(e);
  }
  const auto entryFor = [&](std::uint32_t offset) -> THashEntry* {
    const std::int64_t i = EntryAt(entries, offset);
    return i < 0 ? nullptr : built[static_cast<std::size_t>(i)];
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    built[i]->chain_ = entryFor(entries[i].chain);
    built[i]->prefix_ = entryFor(entries[i].prefix);
  }
  bucketCount_ = static_cast<std::int32_t>(bucketCount);
  buckets_ = NewBuckets(bucketCount_);
  for (std::size_t b = 0; b < heads.size(); ++b) buckets_[b] = entryFor(heads[b]);
  entryCount_ = static_cast<std::int32_t>(entryCount);
  idCount_ = static_cast<std::int32_t>(idCount);
  sources_ = std::move(sources);
  finished_ = true;
  return true;
}

}  // namespace vld
