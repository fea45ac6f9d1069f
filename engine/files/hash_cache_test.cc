#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/files/hash.h"
#include "engine/files/keystream.h"
#include "engine/files/xan_file.h"
#include "platform/le_codec.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;
using testing::FatalTextOf;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr std::uint32_t kSeed = 0x1234abcd;
const std::string kMagic("Veldrona BlackBox (C) Korvist  \x1a", 32);

// A cache file in plain parts, as the test expects it to be stored.
struct CacheImage {
  std::int32_t version = 1;
  std::optional<std::int32_t> sourceCount;  // default: sources.size()
  std::int32_t entries = 0;
  std::int32_t idEntries = 0;
  std::int32_t buckets = 1;
  std::uint32_t seed = kSeed;
  std::int32_t reserved = 0;
  std::vector<THashSource> sources;
  std::string block;                 // the entry block, plain
  std::vector<std::uint32_t> heads;  // the bucket table, plain

  std::string Bytes() const {
    le::Writer out;
    out.Bytes(kMagic);
    out.I32(version);
    out.I32(SourceCount());
    out.I32(entries);
    out.I32(idEntries);
    out.I32(buckets);
    out.U32(seed ^ 0x4c28e6a3u);
    out.I32(reserved);
    for (const THashSource& s : sources) {
      out.I64(s.lastWriteTime);
      out.I64(s.size);
      out.U8(static_cast<std::uint8_t>(s.name.size()));
      out.Bytes(s.name);
    }
    le::Writer payload;
    payload.Bytes(block);
    for (std::uint32_t head : heads) payload.U32(head);
    std::string scrambled = payload.Take();
    auto* data = reinterpret_cast<std::uint8_t*>(scrambled.data());
    Keystream(seed).Apply(data, data, scrambled.size());
    out.Bytes(scrambled);
    return out.Take();
  }

  // Reads a well-formed cache file back into its parts.
  static CacheImage Decode(const std::string& bytes) {
    CacheImage image;
    le::Reader in(bytes);
    EXPECT_EQ(in.Bytes(32), kMagic);
    image.version = in.I32();
    image.sourceCount = in.I32();
    image.entries = in.I32();
    image.idEntries = in.I32();
    image.buckets = in.I32();
    image.seed = in.U32() ^ 0x4c28e6a3u;
    image.reserved = in.I32();
    for (int i = 0; i < *image.sourceCount; ++i) {
      THashSource s;
      s.lastWriteTime = in.I64();
      s.size = in.I64();
      s.name = std::string(in.Bytes(in.U8()));
      image.sources.push_back(s);
    }
    std::string payload(in.Bytes(in.Left()));
    auto* data = reinterpret_cast<std::uint8_t*>(payload.data());
    Keystream(image.seed).Apply(data, data, payload.size());
    const std::size_t tableBytes = 4 * static_cast<std::size_t>(image.buckets);
    image.block = payload.substr(0, payload.size() - tableBytes);
    le::Reader table(std::string_view(payload).substr(image.block.size()));
    for (int b = 0; b < image.buckets; ++b) image.heads.push_back(table.U32());
    return image;
  }

  std::int32_t SourceCount() const {
    return sourceCount.value_or(static_cast<std::int32_t>(sources.size()));
  }

  // Everything but the seed.
  bool SameContent(const CacheImage& o) const {
    auto sourcesEqual = [](const THashSource& a, const THashSource& b) {
      return a.name == b.name && a.lastWriteTime == b.lastWriteTime && a.size == b.size;
    };
    return version == o.version && SourceCount() == o.SourceCount() && entries == o.entries &&
           idEntries == o.idEntries && buckets == o.buckets && reserved == o.reserved &&
           std::equal(sources.begin(), sources.end(), o.sources.begin(), o.sources.end(),
                      sourcesEqual) &&
           block == o.block && heads == o.heads;
  }
};

std::string PlainEntry(std::uint32_t chain, std::uint32_t prefix, std::int32_t id,
                       std::uint8_t code, const std::string& key,
                       std::optional<std::string> replacement = std::nullopt) {
  le::Writer e;
  e.U32(chain);
  e.U32(prefix);
  e.U32(static_cast<std::uint32_t>(19 + key.size() + (replacement ? 1 + replacement->size() : 0)));
  e.I32(id);
  e.U8(code);
  e.U8(replacement ? 1 : 0);
  e.U8(static_cast<std::uint8_t>(key.size()));
  e.Bytes(key);
  if (replacement) {
    e.U8(static_cast<std::uint8_t>(replacement->size()));
    e.Bytes(*replacement);
  }
  return e.Take();
}

void SetModifyTime(const std::string& name, std::int64_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
}

class HashCacheTest : public ::testing::Test {
 protected:
  HashCacheTest() {
    list_ = dir_.File("vornamen.txt");
    table_ = dir_.File("PHONETIC.MAP");
    cache_ = dir_.File("vornamen.blx");
    WriteFile(list_, "A=X\r\nB,1\r\nBD,2\r\n");
    WriteFile(table_, std::string(400, 't'));
    SetModifyTime(list_, 1500000000);
    SetModifyTime(table_, 1400000000);
  }
  ~HashCacheTest() override {
    for (THash* hash : hashes_) Free(hash);
  }

  THash* NewHash() {
    hashes_.push_back(CreateIn<THash>(StandardHeap()));
    return hashes_.back();
  }

  // Three entries in three buckets: "A" (65 % 3 = 2) and "BD" (0x4442 % 3 = 2) share a
  // bucket, "B" (66 % 3 = 0) has one of its own.
  THash* SmallDictionary() {
    THash* hash = NewHash();
    TXanBufferedFile list(list_);
    list.Open(kXanRead);
    hash->AddSource(list);
    hash->AddSource(table_);
    hash->AddEntry("A", "X", 0, 0);
    hash->AddEntry("B", "", 7, 1);
    hash->AddEntry("BD", "", 9, 2);
    hash->Finish();
    return hash;
  }

  // The file SmallDictionary() must give, in its parts.
  CacheImage SmallImage() const {
    CacheImage image;
    image.entries = 3;
    image.idEntries = 2;
    image.buckets = 3;
    image.sources = {{list_, 15000000000000000 + 116444736000000000, 16},
                     {table_, 14000000000000000 + 116444736000000000, 400}};
    // Offsets: "A" at 1 (22 bytes), "B" at 23 (20 bytes), "BD" at 43 (21 bytes).
    image.block = PlainEntry(0, 0, 0, 0, "A", "X") + PlainEntry(0, 0, 7, 1, "B") +
                  PlainEntry(1, 23, 9, 2, "BD");
    image.heads = {23, 0, 43};
    return image;
  }

  bool Loads(const std::string& bytes) {
    WriteFile(cache_, bytes);
    THash* hash = NewHash();
    const bool loaded = hash->LoadCache(cache_);
    if (!loaded) {
      EXPECT_EQ(hash->EntryCount(), 0);
      EXPECT_FALSE(hash->IsFinished());
    } else {
      ExpectConsistent(*hash);
    }
    return loaded;
  }

  // Every entry is found under its key and every prefix chain ends.
  static void ExpectConsistent(const THash& hash) {
    int n = 0;
    for (const THashEntry* e = hash.FirstEntry(); e != nullptr; e = e->Next(), ++n) {
      EXPECT_TRUE(hash.Lookup(e->Key()).found);
      int depth = 0;
      for (const THashEntry* p = e->Prefix(); p != nullptr; p = p->Prefix()) {
        ASSERT_LT(++depth, 256);
      }
    }
    EXPECT_EQ(n, hash.EntryCount());
  }

  TempDir dir_;
  std::string list_, table_, cache_;
  std::vector<THash*> hashes_;
};

TEST_F(HashCacheTest, StoresTheDocumentedLayoutByteForByte) {
  ASSERT_TRUE(SmallDictionary()->SaveCacheWithSeed(cache_, kSeed));
  EXPECT_EQ(ReadFile(cache_), SmallImage().Bytes());
}

TEST_F(HashCacheTest, LoadedDictionaryAnswersLikeTheBuiltOne) {
  ASSERT_TRUE(SmallDictionary()->SaveCache(cache_));
  THash* loaded = NewHash();
  ASSERT_TRUE(loaded->LoadCache(cache_));
  EXPECT_TRUE(loaded->IsFinished());
  EXPECT_EQ(loaded->EntryCount(), 3);
  EXPECT_EQ(loaded->IdCount(), 2);
  EXPECT_EQ(loaded->BucketCount(), 3);
  ASSERT_EQ(loaded->Sources().size(), 2u);
  EXPECT_EQ(loaded->Sources()[1].name, table_);
  EXPECT_EQ(loaded->Lookup("A").text, "X");
  EXPECT_EQ(loaded->Lookup("B").id, 7);
  EXPECT_EQ(loaded->Lookup("BD").code, 2);
  EXPECT_EQ(loaded->Lookup("BD").entry->Prefix(), loaded->Lookup("B").entry);
  EXPECT_FALSE(loaded->Lookup("C").found);
}

TEST_F(HashCacheTest, SavingALoadedCacheAgainGivesTheSameBytes) {
  THash* built = NewHash();
  built->AddSource(list_);
  for (int i = 0; i < 3000; ++i) {
    const std::string key = "W" + std::to_string(i * 7919 % 100000);
    if (i % 3 == 0) {
      built->AddEntry(key, "", i + 1, 1 + i % 8);
    } else {
      built->AddEntry(key, i % 3 == 1 ? "R" + std::to_string(i) : "", 0, i % 5);
    }
  }
  built->Finish();
  ASSERT_TRUE(built->SaveCacheWithSeed(cache_, kSeed));
  const std::string first = ReadFile(cache_);
  THash* loaded = NewHash();
  ASSERT_TRUE(loaded->LoadCache(cache_));
  const std::string second = dir_.File("zweite.blx");
  ASSERT_TRUE(loaded->SaveCacheWithSeed(second, kSeed));
  EXPECT_EQ(ReadFile(second), first);
}

TEST_F(HashCacheTest, FreshSeedsScrambleDifferentlyButHoldTheSameContent) {
  THash* hash = SmallDictionary();
  ASSERT_TRUE(hash->SaveCache(cache_));
  const std::string other = dir_.File("andere.blx");
  ASSERT_TRUE(hash->SaveCache(other));
  const CacheImage a = CacheImage::Decode(ReadFile(cache_));
  const CacheImage b = CacheImage::Decode(ReadFile(other));
  EXPECT_NE(ReadFile(cache_), ReadFile(other));
  EXPECT_NE(a.seed, b.seed);
  EXPECT_TRUE(a.SameContent(b));
  EXPECT_TRUE(a.SameContent(SmallImage()));
}

TEST_F(HashCacheTest, AnEmptyDictionaryRoundTrips) {
  THash* empty = NewHash();
  empty->Finish();
  ASSERT_TRUE(empty->SaveCacheWithSeed(cache_, kSeed));
  EXPECT_EQ(ReadFile(cache_).size(), 64u);  // header and one empty bucket
  THash* loaded = NewHash();
  ASSERT_TRUE(loaded->LoadCache(cache_));
  EXPECT_EQ(loaded->EntryCount(), 0);
  EXPECT_FALSE(loaded->Lookup("A").found);
}

TEST_F(HashCacheTest, The32768EntriesOfAFullDictionaryRoundTripA32769thCountIsRefused) {
  THash* full = NewHash();
  for (int i = 0; i < 32768; ++i) full->AddEntry(std::to_string(i), "", 0, 0);
  full->Finish();
  ASSERT_TRUE(full->SaveCacheWithSeed(cache_, kSeed));
  THash* loaded = NewHash();
  ASSERT_TRUE(loaded->LoadCache(cache_));
  EXPECT_EQ(loaded->EntryCount(), 32768);
  EXPECT_TRUE(loaded->Lookup("32767").found);

  // The same file claiming one entry more (and holding one more) is refused.
  CacheImage image = CacheImage::Decode(ReadFile(cache_));
  image.entries = 32769;
  image.block += PlainEntry(0, 0, 0, 0, "Z");
  EXPECT_FALSE(Loads(image.Bytes()));
}

TEST_F(HashCacheTest, EveryCutOfAValidCacheIsIgnored) {
  ASSERT_TRUE(SmallDictionary()->SaveCacheWithSeed(cache_, kSeed));
  const std::string bytes = ReadFile(cache_);
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    EXPECT_FALSE(Loads(bytes.substr(0, length)));
  }
  EXPECT_TRUE(Loads(bytes));
}

TEST_F(HashCacheTest, AFlippedHeaderByteMakesTheCacheIgnored) {
  ASSERT_TRUE(SmallDictionary()->SaveCacheWithSeed(cache_, kSeed));
  const std::string bytes = ReadFile(cache_);
  for (std::size_t at = 0; at < 60; ++at) {
    for (const unsigned char mask : {0x01, 0x80}) {
      SCOPED_TRACE(at);
      SCOPED_TRACE(mask);
      std::string damaged = bytes;
      damaged[at] = static_cast<char>(damaged[at] ^ mask);
      EXPECT_FALSE(Loads(damaged));
    }
  }
}

// A flipped byte in the scrambled part may still leave a consistent dictionary (an identifier
// that changed): whatever loads must answer for every entry, and nothing may crash.
TEST_F(HashCacheTest, AFlippedByteAnywhereNeverCrashes) {
  ASSERT_TRUE(SmallDictionary()->SaveCacheWithSeed(cache_, kSeed));
  const std::string bytes = ReadFile(cache_);
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (const unsigned char mask : {0x01, 0x10, 0xff}) {
      SCOPED_TRACE(at);
      std::string damaged = bytes;
      damaged[at] = static_cast<char>(damaged[at] ^ mask);
      Loads(damaged);  // checks that whatever loads is consistent
    }
  }
}

TEST_F(HashCacheTest, HugeOrNegativeCountsAreIgnoredWithoutAllocating) {
  struct Case {
    const char* name;
    void (*damage)(CacheImage&);
  };
  const Case cases[] = {
      {"sources huge", [](CacheImage& i) { i.sourceCount = 0x7fffffff; }},
      {"sources negative", [](CacheImage& i) { i.sourceCount = -1; }},
      {"sources one more", [](CacheImage& i) { i.sourceCount = 3; }},
      {"entries huge", [](CacheImage& i) { i.entries = 0x7fffffff; }},
      {"entries negative", [](CacheImage& i) { i.entries = -3; }},
      {"entries one less", [](CacheImage& i) { i.entries = 2; }},
      {"entries one more", [](CacheImage& i) { i.entries = 4; }},
      {"identifier entries above entries", [](CacheImage& i) { i.idEntries = 4; }},
      {"identifier entries wrong", [](CacheImage& i) { i.idEntries = 1; }},
      {"identifier entries negative", [](CacheImage& i) { i.idEntries = -1; }},
      {"no buckets", [](CacheImage& i) { i.buckets = 0; }},
      {"buckets huge", [](CacheImage& i) { i.buckets = 0x7fffffff; }},
      {"buckets beyond 16 bits", [](CacheImage& i) { i.buckets = 65536; }},
      {"version 2", [](CacheImage& i) { i.version = 2; }},
      {"reserved set", [](CacheImage& i) { i.reserved = 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CacheImage image = SmallImage();
    c.damage(image);
    EXPECT_FALSE(Loads(image.Bytes()));
  }
  EXPECT_TRUE(Loads(SmallImage().Bytes()));
}

TEST_F(HashCacheTest, DamagedEntriesAndLinksAreIgnored) {
  struct Case {
    const char* name;
    void (*damage)(CacheImage&);
  };
  const Case cases[] = {
      {"chain points at itself", [](CacheImage& i) { i.block.replace(42, 4, "\x2b\0\0\0", 4); }},
      {"chain into the middle of an entry",
       [](CacheImage& i) { i.block.replace(42, 4, "\x02\0\0\0", 4); }},
      {"chain beyond the block", [](CacheImage& i) { i.block.replace(42, 4, "\xff\0\0\0", 4); }},
      {"bucket head into an entry", [](CacheImage& i) { i.heads[0] = 24; }},
      {"bucket head beyond the block", [](CacheImage& i) { i.heads[2] = 1000; }},
      {"entry in the wrong bucket", [](CacheImage& i) { std::swap(i.heads[0], i.heads[1]); }},
      {"cycle through two entries", [](CacheImage& i) { i.block.replace(0, 4, "\x2b\0\0\0", 4); }},
      {"entry not reached", [](CacheImage& i) { i.heads[0] = 0; }},
      {"prefix at itself", [](CacheImage& i) { i.block.replace(46, 4, "\x2b\0\0\0", 4); }},
      {"prefix to an entry without identifier",
       [](CacheImage& i) { i.block.replace(46, 4, "\x01\0\0\0", 4); }},
      {"prefix of an entry without identifier",
       [](CacheImage& i) { i.block.replace(4, 4, "\x17\0\0\0", 4); }},
      {"size one more", [](CacheImage& i) { i.block[8] = 23; }},
      {"size one less", [](CacheImage& i) { i.block[8] = 21; }},
      {"size huge", [](CacheImage& i) { i.block.replace(8, 4, "\0\0\0\x7f", 4); }},
      {"key longer than the entry", [](CacheImage& i) { i.block[18] = 9; }},
      {"replacement longer than the entry", [](CacheImage& i) { i.block[20] = 2; }},
      {"replacement flag 2", [](CacheImage& i) { i.block[17] = 2; }},
      {"code 100", [](CacheImage& i) { i.block[16] = 100; }},
      {"identifier too large", [](CacheImage& i) { i.block.replace(34, 4, "\0\0\0\x01", 4); }},
      {"identifier with replacement",
       [](CacheImage& i) {
         i.block[12] = 5;
         i.idEntries = 3;
       }},
      {"a byte behind the last entry", [](CacheImage& i) { i.block += '\0'; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CacheImage image = SmallImage();
    c.damage(image);
    EXPECT_FALSE(Loads(image.Bytes()));
  }
}

TEST_F(HashCacheTest, AChangedSourceInvalidatesTheCache) {
  struct Case {
    const char* name;
    void (*change)(const std::string& list);
  };
  const Case cases[] = {
      {"unchanged", [](const std::string&) {}},
      {"newer time", [](const std::string& list) { SetModifyTime(list, 1500000001); }},
      {"other size, same time",
       [](const std::string& list) {
         WriteFile(list, "A=X\r\nB,1\r\nBD,3\r\nC\r\n");
         SetModifyTime(list, 1500000000);
       }},
      {"renamed", [](const std::string& list) { std::filesystem::rename(list, list + ".alt"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(list_, "A=X\r\nB,1\r\nBD,2\r\n");
    SetModifyTime(list_, 1500000000);
    ASSERT_TRUE(SmallDictionary()->SaveCache(cache_));
    c.change(list_);
    EXPECT_EQ(NewHash()->LoadCache(cache_), std::string(c.name) == "unchanged");
  }
}

TEST_F(HashCacheTest, AChangedPhoneticTableInvalidatesTheCache) {
  ASSERT_TRUE(SmallDictionary()->SaveCache(cache_));
  SetModifyTime(table_, 1400000001);
  EXPECT_FALSE(NewHash()->LoadCache(cache_));
}

TEST_F(HashCacheTest, ACacheWithoutARequiredSourceIsIgnored) {
  ASSERT_TRUE(SmallDictionary()->SaveCache(cache_));
  const std::string other = dir_.File("SIMPLE.MAP");
  WriteFile(other, "s");
  EXPECT_FALSE(NewHash()->LoadCache(cache_, std::vector<std::string>{other}));
  EXPECT_TRUE(NewHash()->LoadCache(cache_, std::vector<std::string>{table_, list_}));
}

TEST_F(HashCacheTest, AddingAMissingSourceByNameFails) {
  const std::string missing = dir_.File("fehlt.map");
  EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { NewHash()->AddSource(missing); }),
            "Die Datei \"" + missing + "\" kann nicht geöffnet werden: Datei nicht gefunden.");
}

TEST_F(HashCacheTest, ASourceNameLongerThan255BytesIsNotCached) {
  THash* hash = NewHash();
  const std::filesystem::path deep = dir_.path() / std::string(120, 'v') / std::string(120, 'w');
  std::filesystem::create_directories(deep);
  const std::string longName = (deep / "liste.txt").string();
  ASSERT_GT(longName.size(), 255u);
  WriteFile(longName, "x");
  hash->AddSource(longName);
  hash->Finish();
  EXPECT_FALSE(hash->SaveCache(cache_));
  EXPECT_FALSE(FileExistsNotDirectory(cache_));
}

TEST_F(HashCacheTest, SavingCreatesTheCacheFolderOnlyBelowAnExistingFolder) {
  THash* hash = SmallDictionary();
  const std::string inNewFolder = dir_.File("Cache/vornamen.blx");
  ASSERT_TRUE(hash->SaveCache(inNewFolder));
  EXPECT_TRUE(NewHash()->LoadCache(inNewFolder));
  const std::string twoDeep = dir_.File("a/b/vornamen.blx");
  EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { hash->SaveCache(twoDeep); }),
            "Die Datei \"" + twoDeep + "\" kann nicht geöffnet werden: Datei nicht gefunden.");
}

TEST_F(HashCacheTest, MissingCacheIsIgnoredAndLoadingIntoAFilledDictionaryIsFatal) {
  EXPECT_FALSE(NewHash()->LoadCache(dir_.File("fehlt.blx")));
  EXPECT_FALSE(NewHash()->LoadCache(dir_.path().string()));
  THash* filled = NewHash();
  filled->AddEntry("A", "", 0, 0);
  EXPECT_EQ(FatalTextOf([&] { filled->LoadCache(cache_); }), "hash not empty");
  THash* unfinished = NewHash();
  EXPECT_EQ(FatalTextOf([&] { unfinished->SaveCache(cache_); }), "hash not finished");
}

}  // namespace
}  // namespace vld
