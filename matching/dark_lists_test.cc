#include "matching/dark_lists.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/files/xan_file.h"
#include "engine/runtime/heap.h"
#include "platform/codepage.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::WriteFile;

// Stands in for the phonetic table: upper case, blanks kept.
std::string Upper(std::string_view text) { return UpperCase437(text); }

class DarkListsTest : public ::testing::Test {
 protected:
  DarkListsTest() : lists_(CreateIn<TDarkLists>(StandardHeap())) { settings_.normalise = Upper; }
  ~DarkListsTest() override { Free(lists_); }

  const THash& Load(const std::string& text, std::string name = "liste.txt") {
    WriteFile(dir_.File(name), text);
    std::string error;
    const std::int32_t index = lists_->Load(dir_.File(name), "", settings_, error);
    EXPECT_EQ(error, "");
    EXPECT_GE(index, 0);
    return lists_->Dictionary(index);
  }

  testing::TempDir dir_;
  TDarkLists* lists_;
  DarkListSettings settings_;
};

TEST_F(DarkListsTest, LinesBecomeEntriesAsTheyAreWritten) {
  const THash& h = Load(
      "  ; nur ein Kommentar\n"
      "\n"
      "gmbh\n"
      "hans,1\n"
      "johann,1#77\n"
      "str=strasse ; Abkürzung\n"
      "dr,12\n"
      "herr=,11\n"
      "postfach=@\n"
      "x\n"
      "fritz,2#0\n"
      "karl=carl,3\n");
  struct Case {
    const char* word;
    bool found;
    const char* text;
    int code;
  } cases[] = {
      {"GMBH", true, "", 0},       {"HANS", true, "HANS", 1}, {"JOHANN", true, "JOHANN", 1},
      {"STR", true, "STRASSE", 0}, {"DR", true, "DR", 12},    {"HERR", true, "HERR", 11},
      {"POSTFACH", true, "@", 0},  {"X", false, "", 0},       {"KARL", true, "KARL", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    const THashFound f = h.Lookup(c.word);
    EXPECT_EQ(f.found, c.found);
    if (!c.found) continue;
    EXPECT_EQ(f.text, c.text);
    EXPECT_EQ(f.code, c.code);
  }
  EXPECT_EQ(h.Lookup("JOHANN").id, 77);
  EXPECT_EQ(h.Lookup("HANS").id, 4194305);
  EXPECT_EQ(h.Lookup("FRITZ").id, 4194306);  // #0 takes the counter
}

TEST_F(DarkListsTest, ClassAboveNinetyNineIsAMessageNotAFatalError) {
  WriteFile(dir_.File("l.txt"), "gut,3\nschlecht,120\n");
  std::string error;
  EXPECT_EQ(lists_->Load(dir_.File("l.txt"), "", settings_, error), -1);
  EXPECT_EQ(error, "\"" + dir_.File("l.txt") +
                       "\", Zeile 2: Die Klasse 120 ist nicht im Wertebereich von 0 bis 99.");
}

TEST_F(DarkListsTest, MissingListIsAMessage) {
  std::string error;
  EXPECT_EQ(lists_->Load(dir_.File("fehlt.txt"), "", settings_, error), -1);
  EXPECT_EQ(error, "\"" + dir_.File("fehlt.txt") + "\" kann nicht gelesen werden.");
}

TEST_F(DarkListsTest, SameFileIsLoadedOnceAndNoListIsTheEmptyDictionary) {
  WriteFile(dir_.File("a.txt"), "meier,1\n");
  std::string error;
  const std::int32_t first = lists_->Load(dir_.File("a.txt"), "", settings_, error);
  EXPECT_EQ(lists_->Load(dir_.File("a.txt"), "", settings_, error), first);
  EXPECT_EQ(lists_->Load("", "", settings_, error), 0);
  EXPECT_EQ(lists_->Dictionary(0).EntryCount(), 0);
}

TEST_F(DarkListsTest, PackagesAreReadWhereTheListNamesThem) {
  WritePackage(dir_.File("firmen.pak"), {"gmbh", "ag", "co,20"});
  const THash& h = Load("ev\n>firmen.pak\n");
  EXPECT_TRUE(h.Lookup("GMBH").found);
  EXPECT_EQ(h.Lookup("CO").code, 20);
  EXPECT_TRUE(h.Lookup("EV").found);
  const std::string bytes = testing::ReadFile(dir_.File("firmen.pak"));
  EXPECT_EQ(bytes.substr(0, 32), std::string(kDarkFileMagic));
  EXPECT_EQ(bytes.find("gmbh"), std::string::npos) << "the payload is enciphered";
}

TEST_F(DarkListsTest, EveryCutOfAPackageIsAGermanMessage) {
  WritePackage(dir_.File("p.pak"), {"gmbh", "ag"});
  const std::string good = testing::ReadFile(dir_.File("p.pak"));
  WriteFile(dir_.File("l.txt"), ">p.pak\n");
  const std::string notAPackage =
      "\"" + dir_.File("p.pak") + "\" ist keine Schwarze-Liste-Paketdatei.";
  const std::string damaged = "Die Datei \"" + dir_.File("p.pak") + "\" ist beschädigt.";
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    SCOPED_TRACE(cut);
    WriteFile(dir_.File("p.pak"), good.substr(0, cut));
    auto* lists = CreateIn<TDarkLists>(StandardHeap());
    std::string error;
    EXPECT_EQ(lists->Load(dir_.File("l.txt"), "", settings_, error), -1);
    EXPECT_EQ(error, cut < 44 ? notAPackage : damaged);
    Free(lists);
  }
}

// A package as WritePackage makes it, with `count` in its header and `payload` enciphered.
std::string PackageBytes(std::int32_t count, std::string_view payload) {
  std::string bytes(kDarkFileMagic);
  const char header[12] = {1,
                           0,
                           0,
                           0,
                           static_cast<char>(count),
                           static_cast<char>(count >> 8),
                           static_cast<char>(count >> 16),
                           static_cast<char>(count >> 24)};
  bytes.append(header, sizeof header);
  return bytes + PackageCipher(payload);
}

TEST_F(DarkListsTest, PackageWhoseEntriesDoNotFillItIsDamaged) {
  // Found by fuzzing: these escaped as the English exception "decrypt failed".
  struct Case {
    const char* what;
    std::int32_t count;
    std::string payload;
  } cases[] = {
      {"bytes behind the last entry", 1, std::string("\x04gmbh\x00", 6)},
      {"fewer entries than counted", 3, "\x04gmbh\x02ag"},
      {"an entry running past the end", 1, "\x09gmbh"},
      {"a huge count", 0x7fffffff, "\x04gmbh"},
  };
  WriteFile(dir_.File("l.txt"), "meier\n>p.pak\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(dir_.File("p.pak"), PackageBytes(c.count, c.payload));
    auto* lists = CreateIn<TDarkLists>(StandardHeap());
    std::string error;
    EXPECT_EQ(lists->Load(dir_.File("l.txt"), "", settings_, error), -1);
    EXPECT_EQ(error, "Die Datei \"" + dir_.File("p.pak") + "\" ist beschädigt.");
    Free(lists);
  }
}

TEST_F(DarkListsTest, PackageThatNamesItselfIsAMessageNotEndlessRecursion) {
  // A package holding the line ">p.pak" used to read itself until the stack ran out.
  WriteFile(dir_.File("l.txt"), ">p.pak\n");
  WritePackage(dir_.File("q.pak"), {"ag", ">p.pak"});
  // The message names the package as the line that closes the circle spells it.
  const struct {
    const char* inner;
    const char* named;
  } cases[] = {{">p.pak", "p.pak"}, {">q.pak", "p.pak"}, {">./p.pak", "./p.pak"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.inner);
    WritePackage(dir_.File("p.pak"), {"gmbh", c.inner});
    std::string error;
    EXPECT_EQ(lists_->Load(dir_.File("l.txt"), "", settings_, error), -1);
    EXPECT_EQ(error, "\"" + dir_.File(c.named) + "\" bindet sich selbst ein.");
  }
  // The same package named twice one after the other is no cycle.
  WritePackage(dir_.File("p.pak"), {"gmbh"});
  const THash& h = Load(">p.pak\n>p.pak\n", "zweimal.txt");
  EXPECT_TRUE(h.Lookup("GMBH").found);
}

TEST_F(DarkListsTest, CacheIsUsedUntilTheListOrThePhoneticTableChanges) {
  WriteFile(dir_.File("table.map"), "Tabelle 1");
  settings_.phoneticTable = dir_.File("table.map");
  settings_.useCache = true;
  WriteFile(dir_.File("l.txt"), "meier,1\n");
  std::string error;
  const std::string cache = dir_.File("Cache/l.blx");
  ASSERT_EQ(::mkdir(dir_.File("Cache").c_str(), 0755), 0);
  EXPECT_GT(lists_->Load(dir_.File("l.txt"), cache, settings_, error), 0);
  ASSERT_TRUE(FileExistsNotDirectory(cache));
  // A cache is taken as it is: a normaliser that would give other words shows whether it was.
  settings_.normalise = [](std::string_view t) { return "X" + UpperCase437(t); };
  auto loadFresh = [&] {
    auto* lists = CreateIn<TDarkLists>(StandardHeap());
    const bool fromCache =
        lists->Dictionary(lists->Load(dir_.File("l.txt"), cache, settings_, error))
            .Lookup("MEIER")
            .found;
    Free(lists);
    return fromCache;
  };
  EXPECT_TRUE(loadFresh());
  WriteFile(dir_.File("table.map"), "Tabelle 2, anders");
  EXPECT_FALSE(loadFresh()) << "the phonetic table changed";
}

TEST_F(DarkListsTest, IdentifierMapGroupsEqualIdentifiersAndKnowsPrefixes) {
  const THash& h = Load("hans,1#5\nhannes,1#5\nhan,1\nhanspeter,1\nkurt,1\n");
  lists_->BuildIdentifierMap();
  const std::uint32_t hans = static_cast<std::uint32_t>(h.Lookup("HANS").number);
  const std::uint32_t hannes = static_cast<std::uint32_t>(h.Lookup("HANNES").number);
  const std::uint32_t hanspeter = static_cast<std::uint32_t>(h.Lookup("HANSPETER").number);
  const std::uint32_t kurt = static_cast<std::uint32_t>(h.Lookup("KURT").number);
  EXPECT_EQ(lists_->Group(hans), lists_->Group(hannes));
  EXPECT_NE(lists_->Group(hans), lists_->Group(kurt));
  EXPECT_TRUE(lists_->Related(hans, hanspeter));
  EXPECT_FALSE(lists_->Related(hans, kurt));
  EXPECT_EQ(lists_->Group(0), 0);
  EXPECT_EQ(lists_->Group(1000000), 0);
}

}  // namespace
}  // namespace vld
