// Dark lists ("Schwarze Listen"): the word tables of a task's slots.
//
// While match keys are built, every token of a slot is looked up in the slot's dark list: the
// list can drop a token (noise words), replace it by another spelling, or give it a class and an
// identifier (first names, so that variants of one name compare equal). Firma slots have a second
// list, the "AKZ-Schwarze Liste", mapping the AKZ field to a criterion "1", "2" or "3".
//
// List file (text, one entry a line; code page 437, or UTF-8 lines, which are converted):
//   ; comment                     a line starting with ';' is ignored; text from ';' on too
//   >package.pak                  entries of a package file in the list's folder
//   word                          removes the word
//   word=replacement              replaces it (an empty replacement removes it)
//   word,class                    keeps it with the class (1..8 first names: an identifier)
//   word,class#identifier         a first name with its own identifier (1..4194303)
//   word=replacement,class        the replacement with the class
// Words and replacements are normalised with the phonetic table (a replacement "@", the P.O.
// box keyword of Straße slots, stays as it is); a word of at most one character after
// normalisation is ignored.
//
// Package file ("Schwarze-Liste-Paketdatei"):
//   OFFSET  SIZE  FIELD
//        0    32  "Veldrona DarkFile (C) Korvist  " and the byte 26
//       32     4  version 1
//       36     4  number of entries (not negative)
//       40     4  reserved
//       44     …  payload: the entries as short strings (parsed like list lines), enciphered
//                 with the product's package cipher
//
// Per task: one dictionary per distinct list file; slots naming the same file share it; slots
// without a list share one empty dictionary. All dictionaries are then numbered into one
// identifier map (the identifier written into match keys is the entry's number in that map).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/files/hash.h"
#include "engine/files/hash_map.h"
#include "engine/runtime/origin.h"
#include "matching/identifier_map.h"

namespace vld {

inline constexpr std::string_view kDarkFileMagic("Veldrona DarkFile (C) Korvist  \x1a", 32);

// Normalises a text (code page 437) with the phonetic table.
using Normalise = std::function<std::string(std::string_view)>;

// Where the lists come from and how they are read.
struct DarkListSettings {
  Normalise normalise;
  // The phonetic table's file: recorded as a source of every cache, so that a cache built with
  // another table is not used.
  std::string phoneticTable;
  bool useCache = false;  // "Schwarze Liste Cache"
};

// Enciphers or deciphers a package payload (the cipher is its own inverse).
std::string PackageCipher(std::string_view payload);

// Writes a package file holding `entries` (list lines, code page 437).
void WritePackage(const std::string& fileName, const std::vector<std::string>& entries);

class TDarkLists : public TOrigin, public TIdentifierMap {
 public:
  void Init() override;

  // Loads the list `listFile` (or its cache `cacheFile` when caching is on and the cache is
  // valid) and returns the index of its dictionary; a file loaded before returns its index.
  // An empty name gives the shared empty dictionary. Problems come back as German messages
  // (without the context prefix) in `error`; the index is then -1.
  std::int32_t Load(const std::string& listFile, const std::string& cacheFile,
                    const DarkListSettings& settings, std::string& error);
  // Numbers the identifier entries of all dictionaries into the identifier map.
  void BuildIdentifierMap();

  const THash& Dictionary(std::int32_t index) const;
  std::int32_t DictionaryCount() const { return static_cast<std::int32_t>(hashes_.size()); }

  // TIdentifierMap: numbers are those of the identifier map.
  std::int32_t Group(std::uint32_t number) const override;
  bool Related(std::uint32_t a, std::uint32_t b) const override;

 private:
  THash* Parse(const std::string& listFile, const DarkListSettings& settings, std::string& error);

  std::vector<THash*> hashes_;
  std::map<std::string, std::int32_t> byFile_;
  THashMap* map_ = nullptr;
};

}  // namespace vld
