#include "engine/files/hash.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/runtime/layers.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::FatalTextOf;

// A dictionary in the standard heap, freed at the end of the test.
struct Dictionary {
  Dictionary() : hash(CreateIn<THash>(StandardHeap())) {}
  ~Dictionary() { Free(hash); }
  THash* operator->() { return hash; }
  THash* hash;
};

TEST(HashTest, HashValuesFollowTheKeyLayouts) {
  struct Case {
    std::string key;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"", 0x0},
      {"A", 0x41},                      // the byte
      {"AB", 0x4241},                   // u16
      {"ABC", 0x43424103},              // length byte, then three bytes
      {"ABCD", 0x44434241},             // u32
      {"ABCDE", 0x44471241},            // u32 xor (E shl 12)
      {"ABCDEF", 0x44472611},           // u32 xor (u16 "EF" shl 4)
      {"ABCDEFG", 0x73625534},          // (length and "ABC" shl 4) xor u32 "DEFG"
      {"ABCDEFGH", 0xd4cdcecb},         // u32 "ABCD" xor u32 "EFGH" * 2
      {"ABCDEFGHIJ", 0xd4cdcecb},       // bytes behind the eighth do not count
      {std::string(7, '\xff'), 0xf8f},  // the shift drops high bits
      {"\x81"
       "BERALL",
       0x18645122},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(HashKey(c.key), c.value);
  }
  // The bucket folds the high half onto the low half: 0x4447 ^ 0x1241 = 0x5606.
  EXPECT_EQ(BucketOf("ABCDE", 65535), 0x5606u);
  EXPECT_EQ(BucketOf("ABCDE", 11), 0x5606u % 11);
}

TEST(HashTest, LookupGivesReplacementOrKeyWithCodeAndIdentifier) {
  Dictionary d;
  d->AddEntry("HERR", "", 0, 12);
  d->AddEntry("STR", "STRASSE", 0, 0);
  d->AddEntry("HANS", "", 4194305, 1);
  d->AddEntry("UND", "", 0, 0);
  d->Finish();
  struct Case {
    const char* key;
    bool found;
    const char* text;
    int code;
    int id;
  };
  const Case cases[] = {
      {"HERR", true, "HERR", 12, 0},      {"STR", true, "STRASSE", 0, 0},
      {"HANS", true, "HANS", 1, 4194305}, {"UND", true, "", 0, 0},
      {"HER", false, "", 0, 0},           {"", false, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    const THashFound found = d->Lookup(c.key);
    EXPECT_EQ(found.found, c.found);
    EXPECT_EQ(found.text, c.text);
    EXPECT_EQ(found.code, c.code);
    EXPECT_EQ(found.id, c.id);
    EXPECT_EQ(found.entry != nullptr, c.found);
  }
}

TEST(HashTest, AnEmptyReplacementIsKeptOnlyForCodeZero) {
  Dictionary d;
  d->AddEntry("WEG", "", 0, 0);  // removes the word
  d->AddEntry("DR", "", 0, 20);  // keeps the word, gives it the class
  d->AddEntry("GMBH", "", 0, 25);
  d->Finish();
  EXPECT_TRUE(d->Lookup("WEG").entry->HasReplacement());
  EXPECT_EQ(d->Lookup("WEG").text, "");
  EXPECT_FALSE(d->Lookup("DR").entry->HasReplacement());
  EXPECT_EQ(d->Lookup("DR").text, "DR");
}

TEST(HashTest, AddingTheSameKeyTwiceKeepsTheFirstEntry) {
  Dictionary d;
  d->AddEntry("MEIER", "MAIER", 0, 0);
  d->AddEntry("ANNA", "", 5, 1);
  d->AddEntry("MEIER", "MAYER", 0, 3);
  d->AddEntry("ANNA", "", 6, 2);
  d->AddEntry("OTTO", "", 7, 1);
  EXPECT_EQ(d->EntryCount(), 5);
  d->Finish();
  EXPECT_EQ(d->EntryCount(), 3);
  EXPECT_EQ(d->IdCount(), 2);
  EXPECT_EQ(d->Lookup("MEIER").text, "MAIER");
  EXPECT_EQ(d->Lookup("ANNA").id, 5);
  std::vector<std::string> order;
  for (const THashEntry* e = d->FirstEntry(); e != nullptr; e = e->Next()) {
    order.emplace_back(e->Key());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"MEIER", "ANNA", "OTTO"}));
}

TEST(HashTest, BucketCountIsAboutATenthMoreThanTheEntriesAndOdd) {
  for (const auto& [entries, buckets] :
       std::map<int, int>{{0, 1}, {1, 1}, {10, 11}, {20, 23}, {1000, 1101}}) {
    SCOPED_TRACE(entries);
    Dictionary d;
    for (int i = 0; i < entries; ++i) d->AddEntry("K" + std::to_string(i), "", 0, 0);
    d->Finish();
    EXPECT_EQ(d->BucketCount(), buckets);
    for (int i = 0; i < entries; ++i) EXPECT_TRUE(d->Lookup("K" + std::to_string(i)).found);
  }
}

TEST(HashTest, MisuseIsFatal) {
  struct Case {
    const char* name;
    std::string key;
    std::string replacement;
    std::int32_t id;
    int code;
    const char* fatal;
  };
  const Case cases[] = {
      {"code 100", "A", "", 0, 100, "invalid hash entry code"},
      {"code 99", "A", "", 0, 99, ""},
      {"negative code", "A", "", 0, -1, "invalid hash entry code"},
      {"identifier too large", "A", "", 16777216, 1, "invalid hash entry ID"},
      {"largest identifier", "A", "", 16777215, 1, ""},
      {"negative identifier", "A", "", -1, 1, "invalid hash entry ID"},
      {"identifier with replacement", "A", "B", 3, 1, "prename replacement"},
      {"identifier with code 0", "A", "", 3, 0, "prename replacement"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dictionary d;
    EXPECT_EQ(FatalTextOf([&] { d->AddEntry(c.key, c.replacement, c.id, c.code); }), c.fatal);
  }
  Dictionary d;
  EXPECT_EQ(FatalTextOf([&] { d->Lookup("A"); }), "hash not finished");
  d->Finish();
  EXPECT_EQ(FatalTextOf([&] { d->AddEntry("A", "", 0, 0); }), "hash already finished");
  EXPECT_EQ(FatalTextOf([&] { d->Finish(); }), "hash already finished");
}

TEST(HashTest, AcceptsThe32768thEntryAndRefusesThe32769th) {
  Dictionary d;
  for (int i = 0; i < 32768; ++i) d->AddEntry(std::to_string(i), "", 0, 0);
  EXPECT_EQ(FatalTextOf([&] { d->AddEntry("mehr", "", 0, 0); }), "zu viele Hash-Einträge");
  d->Finish();
  EXPECT_EQ(d->EntryCount(), 32768);
  EXPECT_TRUE(d->Lookup("32767").found);
  EXPECT_FALSE(d->Lookup("mehr").found);
}

std::string PrefixOf(const THash& hash, const std::string& key) {
  const THashEntry* p = hash.Lookup(key).entry->Prefix();
  return p == nullptr ? "-" : "'" + std::string(p->Key()) + "'";
}

TEST(HashTest, PrefixLinksNameTheLongestPrefixAmongIdentifierEntries) {
  Dictionary d;
  d->AddEntry("ABD", "", 3, 1);
  d->AddEntry("AB", "", 1, 1);
  d->AddEntry("A", "", 0, 1);  // no identifier: never a prefix, has none
  d->AddEntry("ABC", "", 2, 1);
  d->AddEntry("ABCDE", "", 4, 1);
  d->AddEntry("", "", 5, 1);
  d->AddEntry("B", "", 6, 1);
  d->Finish();
  EXPECT_EQ(PrefixOf(*d.hash, "ABC"), "'AB'");
  EXPECT_EQ(PrefixOf(*d.hash, "ABD"), "'AB'");
  EXPECT_EQ(PrefixOf(*d.hash, "ABCDE"), "'ABC'");
  EXPECT_EQ(PrefixOf(*d.hash, "AB"), "''");
  EXPECT_EQ(PrefixOf(*d.hash, "B"), "''");
  EXPECT_EQ(PrefixOf(*d.hash, ""), "-");
  EXPECT_EQ(PrefixOf(*d.hash, "A"), "-");
}

TEST(HashTest, PrefixLinksAgreeWithABruteForceSearch) {
  std::mt19937 random(11);
  Dictionary d;
  std::map<std::string, int> keys;  // key -> identifier (0: none)
  for (int i = 0; i < 600; ++i) {
    std::string key;
    const int length = static_cast<int>(random() % 6);
    for (int k = 0; k < length; ++k) key += static_cast<char>('A' + random() % 3);
    const int id = random() % 4 == 0 ? 0 : i + 1;
    if (keys.emplace(key, id).second) d->AddEntry(key, "", id, 1);
  }
  d->Finish();
  for (const auto& [key, id] : keys) {
    SCOPED_TRACE(key);
    std::string expected = "-";
    if (id != 0) {
      for (const auto& [other, otherId] : keys) {
        if (otherId != 0 && other.size() < key.size() && key.starts_with(other) &&
            (expected == "-" || other.size() + 2 > expected.size())) {
          expected = "'" + other + "'";
        }
      }
    }
    EXPECT_EQ(PrefixOf(*d.hash, key), expected);
  }
}

TEST(HashTest, EntriesLiveInTheDictionarysLayer) {
  TMemoryLayer* arena = CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 20);
  TMemoryLayer* run = PushLayer(*arena);
  THash* hash = CreateIn<THash>(*run);
  const std::int64_t before = run->FreeBytes();
  for (int i = 0; i < 2000; ++i) hash->AddEntry("WORT" + std::to_string(i), "ERSATZ", 0, 0);
  hash->Finish();
  EXPECT_LT(run->FreeBytes(), before - 2000 * 20);
  EXPECT_EQ(hash->Lookup("WORT1999").text, "ERSATZ");
  Free(run);  // the dictionary and its entries go with the layer
  Free(arena);
}

}  // namespace
}  // namespace vld
