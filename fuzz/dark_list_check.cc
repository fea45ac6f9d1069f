#include "fuzz/dark_list_check.h"

#include <tuple>
#include <vector>

#include "engine/files/hash.h"
#include "engine/runtime/heap.h"
#include "fuzz/fuzz_support.h"
#include "matching/dark_lists.h"
#include "platform/codepage.h"

namespace vld::fuzz {
namespace {

using EntryImage = std::tuple<std::string, bool, std::string, std::int32_t, int, std::string>;

// The entries in insertion order: key, replacement flag and text, identifier, code, prefix key.
std::vector<EntryImage> Entries(const THash& hash) {
  std::vector<EntryImage> out;
  for (const THashEntry* e = hash.FirstEntry(); e != nullptr; e = e->Next()) {
    out.emplace_back(std::string(e->Key()), e->HasReplacement(), std::string(e->Replacement()),
                     e->Id(), e->Code(), e->Prefix() ? std::string(e->Prefix()->Key()) : "");
    const THashFound found = hash.Lookup(e->Key());
    Require(found.found && found.entry == e, "Ein Eintrag wird unter seinem Wort nicht gefunden.");
  }
  Require(out.size() == static_cast<std::size_t>(hash.EntryCount()),
          "Die Zahl der Einträge stimmt nicht.");
  return out;
}

// Owns dark lists made on the standard heap.
struct Lists {
  Lists() : lists(CreateIn<TDarkLists>(StandardHeap())) {}
  ~Lists() { Free(lists); }
  TDarkLists* lists;
};

}  // namespace

void CheckDarkListLoad(const std::string& list) {
  const std::string cache = ScratchFile("liste.bbx");
  std::remove(cache.c_str());
  DarkListSettings settings;
  settings.normalise = [](std::string_view text) { return UpperCase437(text); };
  settings.useCache = true;

  Lists first;
  std::string error;
  std::int32_t index = -1;
  Outcome([&] { index = first.lists->Load(list, cache, settings, error); }, 0);
  Echo(index < 0 ? error
                 : "geladen: " + std::to_string(first.lists->Dictionary(index).EntryCount()) +
                       " Einträge");
  if (index < 0) {
    Require(!error.empty(), "Eine Liste wurde ohne Meldung abgelehnt.");
    RequireNamesFile(error, ScratchFolder());
    return;
  }
  Require(error.empty(), "Eine geladene Liste hat eine Meldung.");
  const THash& parsed = first.lists->Dictionary(index);
  const std::vector<EntryImage> entries = Entries(parsed);
  Outcome([&] { first.lists->BuildIdentifierMap(); }, 0);
  std::vector<std::int32_t> numbers;
  for (const THashEntry* e = parsed.FirstEntry(); e != nullptr; e = e->Next()) {
    numbers.push_back(e->Number());
    if (e->Number() != 0) {
      Require(first.lists->Group(static_cast<std::uint32_t>(e->Number())) == e->Id(),
              "Die Gruppe eines Vornamens ist nicht sein Identifikator.");
    }
    if (e->Prefix() != nullptr && e->Number() != 0 && e->Prefix()->Number() != 0) {
      Require(first.lists->Related(static_cast<std::uint32_t>(e->Number()),
                                   static_cast<std::uint32_t>(e->Prefix()->Number())),
              "Ein Eintrag ist mit seinem Präfix nicht verwandt.");
    }
  }

  // The cache the first load wrote gives the same dictionary.
  Lists second;
  std::int32_t again = -1;
  Outcome([&] { again = second.lists->Load(list, cache, settings, error); }, 0);
  Require(again >= 0 && error.empty(), "Die Liste lädt beim zweiten Mal nicht.");
  Require(Entries(second.lists->Dictionary(again)) == entries,
          "Der Cache gibt ein anderes Wörterbuch.");
  auto* cached = CreateIn<THash>(StandardHeap());
  bool loaded = false;
  Outcome([&] { loaded = cached->LoadCache(cache, std::vector<std::string>{list}); }, 0);
  const bool same = loaded && Entries(*cached) == entries;
  Free(cached);
  Require(same, "Der geschriebene Cache lässt sich nicht laden.");
  Outcome([&] { second.lists->BuildIdentifierMap(); }, 0);
  std::vector<std::int32_t> cachedNumbers;
  for (const THashEntry* e = second.lists->Dictionary(again).FirstEntry(); e != nullptr;
       e = e->Next()) {
    cachedNumbers.push_back(e->Number());
  }
  Require(cachedNumbers == numbers, "Der Cache gibt andere Nummern.");
}

}  // namespace vld::fuzz
