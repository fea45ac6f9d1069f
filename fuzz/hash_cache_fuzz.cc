// Fuzz target: dictionary cache files ("BlackBox") of the word dictionaries.
//
// The input is the plain form of a cache file (fuzz/fuzz_formats.h): header and source records as
// stored, then the entry block and the bucket table in the clear; the target scrambles them as
// the writer does. LoadCache distrusts every byte: it either loads the dictionary or ignores the
// file (false, dictionary empty), never an exception or a fatal error. A loaded dictionary must
// find every entry under its key, number its identifier entries, and write back the very bytes
// it was read from (same seed, same order).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/files/hash.h"
#include "engine/files/hash_map.h"
#include "engine/runtime/heap.h"
#include "fuzz/fuzz_formats.h"
#include "fuzz/fuzz_support.h"
#include "platform/le_codec.h"

namespace vld::fuzz {
namespace {

std::string ReadWhole(const std::string& path) {
  std::string bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}

void CheckLoaded(THash& hash, const std::string& stored) {
  Require(hash.IsFinished(), "geladenes Wörterbuch nicht abgeschlossen");
  std::int32_t count = 0, ids = 0;
  for (const THashEntry* e = hash.FirstEntry(); e != nullptr; e = e->Next()) {
    ++count;
    if (e->Id() != 0) ++ids;
    Require(hash.Lookup(e->Key()).found, "Ein Eintrag wird unter seinem Wort nicht gefunden.");
    for (const THashEntry* p = e->Prefix(); p != nullptr; p = p->Prefix()) {
      Require(p->Key().size() < e->Key().size() && e->Key().substr(0, p->Key().size()) == p->Key(),
              "Ein Präfix-Verweis führt auf kein Präfix.");
    }
  }
  Require(count == hash.EntryCount() && ids == hash.IdCount(),
          "Die Zahl der Einträge stimmt nicht.");

  auto* map = CreateIn<THashMap>(StandardHeap());
  Outcome(
      [&] {
        map->PrepareMap(hash.IdCount());
        map->NumberEntries(hash);
        for (const THashEntry* e = hash.FirstEntry(); e != nullptr; e = e->Next()) {
          if (e->Number() == 0) continue;
          Require(map->EntryByNumber(e->Number()) == e,
                  "Eine Nummer führt auf einen anderen Eintrag.");
          if (e->Prefix() != nullptr) THashMap::PrefixRelation(e, e->Prefix());
        }
      },
      0);
  Free(map);

  const std::string copy = ScratchFile("Kopie.bbx");
  const std::uint32_t seed =
      le::GetU32(std::span(reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size()),
                 52) ^
      0x4c28e6a3u;
  bool saved = false;
  Outcome([&] { saved = hash.SaveCacheWithSeed(copy, seed); }, 0);
  Require(saved && ReadWhole(copy) == stored, "Der wieder geschriebene Cache ist anders.");
}

}  // namespace
}  // namespace vld::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vld::fuzz::InstallFuzzHooks();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vld;
  using namespace vld::fuzz;
  const std::string path = ScratchFile("Cache.bbx");
  const std::string stored =
      HashCachePlainSwap(std::string_view(reinterpret_cast<const char*>(data), size));
  WriteScratchFile(path, stored);
  auto* hash = CreateIn<THash>(StandardHeap());
  bool loaded = false;
  Outcome([&] { loaded = hash->LoadCache(path); }, 0);
  Echo(loaded ? "geladen: " + std::to_string(hash->EntryCount()) + " Einträge" : "verworfen");
  if (loaded) {
    CheckLoaded(*hash, stored);
  } else {
    Require(hash->EntryCount() == 0 && hash->FirstEntry() == nullptr && !hash->IsFinished(),
            "Ein verworfener Cache hat Einträge hinterlassen.");
  }
  Free(hash);
  return 0;
}
