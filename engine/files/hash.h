// THash: the engine's word dictionary.
//
// A hash table of short keys (code page 437, upper-cased by the caller), each with a category
// code 0..99, an optional identifier 1..16777215 and an optional replacement text. The dark
// lists build one per list file and key building and the scanner look words up in it. Building
// a dictionary from its list files is slow, so a finished dictionary is saved as a cache file
// (the "BlackBox") together with the name, last-write time and size of every source file, and
// is loaded from there as long as no source has changed (hash_cache.cc).
//
// Call order: CreateIn<THash>(space); AddSource for every file read, AddEntry for every word;
// Finish; then Lookup. Or: CreateIn<THash>(space); LoadCache (true: ready for Lookup).
// A finished dictionary takes no further entries. THashMap (hash_map.h) numbers the entries
// with an identifier across dictionaries.
//
// Memory: entries live in the dictionary's own space (carved from blocks taken with
// AllocOwned); they are plain bytes without destructors and go with the dictionary or its
// layer. Built and used on one thread; no locking.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/runtime/origin.h"

namespace vld {

class TXanFile;

inline constexpr std::int32_t kMaxHashEntryId = 16777215;
inline constexpr std::int32_t kMaxHashEntries = 32768;
inline constexpr int kHashCodeLimit = 100;

// One dictionary entry. The key and the replacement follow the fixed fields as short strings.
class THashEntry {
 public:
  std::string_view Key() const;
  bool HasReplacement() const { return hasReplacement_ != 0; }
  // Empty when the entry has none.
  std::string_view Replacement() const;
  std::int32_t Id() const { return id_; }
  std::uint8_t Code() const { return code_; }
  // Number in the identifier map (THashMap::NumberEntries); 0 when not numbered.
  std::int32_t Number() const { return number_; }
  // The entry whose key is the longest proper prefix of this key among the entries with an
  // identifier; empty for entries without identifier or without such a prefix.
  const THashEntry* Prefix() const { return prefix_; }
  // Next entry in insertion order.
  const THashEntry* Next() const { return next_; }
  const THashEntry* Chain() const { return chain_; }

 private:
  friend class THash;
  friend class THashMap;
  static std::int64_t BytesFor(std::size_t keyLength, bool hasReplacement,
                               std::size_t replacementLength);
  const std::uint8_t* Text() const { return reinterpret_cast<const std::uint8_t*>(this + 1); }
  std::uint8_t* Text() { return reinterpret_cast<std::uint8_t*>(this + 1); }

  THashEntry* chain_ = nullptr;
  THashEntry* prefix_ = nullptr;
  THashEntry* next_ = nullptr;
  std::int32_t id_ = 0;
  std::int32_t number_ = 0;
  std::uint8_t code_ = 0;
  std::uint8_t hasReplacement_ = 0;
};

// A file the dictionary was built from.
struct THashSource {
  std::string name;
  std::int64_t lastWriteTime = 0;
  std::int64_t size = 0;
};

struct THashFound {
  bool found = false;
  // The replacement when the entry has one, else the key.
  std::string_view text;
  std::uint8_t code = 0;
  std::int32_t id = 0;
  std::int32_t number = 0;
  const THashEntry* entry = nullptr;
};

// The hash value of a key, and its bucket among `bucketCount` buckets.
std::uint32_t HashKey(std::string_view key);
std::uint32_t BucketOf(std::string_view key, std::uint32_t bucketCount);

class THash : public TOrigin {
 public:
  // Records name, last-write time and size of an open file.
  void AddSource(TXanFile& file);
  // Records any file by its name (for example the phonetic table the words were normalised
  // with). Raises EXanFileError "Die Datei \"<name>\" kann nicht geöffnet werden: Datei nicht
  // gefunden." when it is missing.
  void AddSource(const std::string& fileName);

  // REQUIRES: not finished. Fatal "invalid hash entry code" (code >= 100), "invalid hash entry
  // ID" (id outside 0..16777215), "zu viele Hash-Einträge" (already 32768 entries), "prename
  // replacement" (an identifier with a replacement). The replacement is stored unless the code
  // is not 0 and the replacement is empty. Key and replacement are cut at 255 bytes.
  void AddEntry(std::string_view key, std::string_view replacement, std::int32_t id, int code);

  // Builds the buckets and the prefix links. A key added again is dropped (the first one
  // stays). Afterwards the dictionary takes no more entries.
  void Finish();

  // REQUIRES: finished.
  THashFound Lookup(std::string_view key) const;

  // Writes the cache file (creating its directory when the parent directory exists) with a
  // fresh keystream seed. False, and nothing written, when a source name is longer than 255
  // bytes and so cannot be recorded. REQUIRES: finished. File errors raise EXanFileError.
  bool SaveCache(const std::string& fileName);
  // The same with a given seed (the bytes of the file then depend only on the content).
  bool SaveCacheWithSeed(const std::string& fileName, std::uint32_t seed);

  // Loads a cache file into this empty dictionary; true when it was valid and is loaded. A
  // missing or damaged file, a changed, renamed or missing source, or a cache that does not
  // record every name of `requiredSources` among its sources is ignored (false) and leaves the
  // dictionary empty. REQUIRES: empty (fatal "hash not empty").
  bool LoadCache(const std::string& fileName, std::span<const std::string> requiredSources = {});

  bool IsFinished() const { return finished_; }
  std::int32_t EntryCount() const { return entryCount_; }
  std::int32_t IdCount() const { return idCount_; }
  std::int32_t BucketCount() const { return bucketCount_; }
  const std::vector<THashSource>& Sources() const { return sources_; }
  // First entry in insertion order (file order after LoadCache).
  const THashEntry* FirstEntry() const { return first_; }

 private:
  friend class THashMap;
  THashEntry* NewEntry(std::int64_t bytes);
  void AppendEntry(THashEntry* entry);
  void BuildPrefixLinks();
  THashEntry** NewBuckets(std::int32_t count);
  bool WriteCache(const std::string& fileName, std::uint32_t seed);
  THashEntry* MutableFirst() { return first_; }

  bool finished_ = false;
  std::int32_t entryCount_ = 0;
  std::int32_t idCount_ = 0;
  std::vector<THashSource> sources_;
  std::int32_t bucketCount_ = 0;
  THashEntry* first_ = nullptr;
  THashEntry* last_ = nullptr;
  THashEntry** buckets_ = nullptr;
  // The block entries are carved from.
  std::uint8_t* block_ = nullptr;
  std::int64_t blockLeft_ = 0;
};

}  // namespace vld
