#include "matching/param_names.h"

#include <gtest/gtest.h>

namespace vld {
namespace {

// Eingabepfad, Ausgabepfad and Tabellenpfad set; Universalpfad 1 empty; Universalpfad 2 faulty.
TBasePaths Bases() {
  TBasePaths b;
  b.full[kCodeInputPath] = "/daten/ein/";
  b.full[kCodeOutputPath] = "/daten/aus/";
  b.full[kCodeTablePath] = "/tabellen/";
  b.state[kCodeInputPath] = b.state[kCodeOutputPath] = b.state[kCodeTablePath] = kNameOk;
  b.state[kCodeUniversal1] = kNameEmpty;
  b.state[kCodeUniversal2] = kNameNotAbsolute;
  return b;
}

TEST(ParamNamesTest, ResolvesNamesAgainstTheirBasePaths) {
  struct Case {
    const char* given;
    int base;
    std::uint16_t state;
    const char* full;
  } const cases[] = {
      {"kunden.txt", kCodeInputPath, kNameOk, "/daten/ein/kunden.txt"},
      {"Kunden.TXT", kCodeInputPath, kNameOk, "/daten/ein/Kunden.TXT"},  // case kept
      {"sub\\kunden.txt", kCodeInputPath, kNameOk, "/daten/ein/sub/kunden.txt"},
      {"./sub//kunden.txt", kCodeInputPath, kNameOk, "/daten/ein/sub/kunden.txt"},
      {"~A~vld.out", kCodeInputPath, kNameOk, "/daten/aus/vld.out"},
      {"~a~vld.out", kCodeInputPath, kNameOk, "/daten/aus/vld.out"},
      {"~t~Cache\\x.blx", kCodeOutputPath, kNameOk, "/tabellen/Cache/x.blx"},
      {"~E~k.txt", kCodeTablePath, kNameOk, "/daten/ein/k.txt"},
      {"~/abs/k.txt", kCodeInputPath, kNameOk, "/abs/k.txt"},
      {"/abs/./k.txt", kCodeInputPath, kNameOk, "/abs/k.txt"},
      {"a..b.txt", kCodeInputPath, kNameOk, "/daten/ein/a..b.txt"},
      {"", kCodeInputPath, kNameEmpty, ""},
      {"~Q~k.txt", kCodeInputPath, kNameBadBase, ""},
      {"~q~k.txt", kCodeInputPath, kNameBadBase, ""},
      {"~relativ.txt", kCodeInputPath, kNameNotAbsolute, ""},
      {"relativ.txt", 0, kNameNotAbsolute, ""},
      {"../k.txt", kCodeInputPath, kNameDoubleDot, ""},
      {"~A~sub/../k.txt", kCodeInputPath, kNameDoubleDot, ""},
      {"..\\k.txt", kCodeInputPath, kNameDoubleDot, ""},
      {"~X~k.txt", kCodeInputPath, kNameBaseUndefined, ""},
      {"~Y~k.txt", kCodeInputPath, kNameBaseFaulty, ""},
  };
  const TBasePaths bases = Bases();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    const TResolvedName r = ResolveFileName(c.given, c.base, bases);
    EXPECT_EQ(r.state, c.state);
    EXPECT_EQ(r.full, c.full);
  }
}

TEST(ParamNamesTest, BasePathsNameOnlyTheBasesBeforeThem) {
  TBasePaths bases = Bases();
  bases.full[kCodeUniversal1] = "/x/";
  bases.state[kCodeUniversal1] = kNameOk;
  struct Case {
    const char* given;
    std::int32_t code;
    std::uint16_t state;
    const char* full;
  } const cases[] = {
      {"/daten/ein", kCodeInputPath, kNameOk, "/daten/ein/"},
      {"/daten/ein/", kCodeInputPath, kNameOk, "/daten/ein/"},
      {"\\daten\\aus\\", kCodeOutputPath, kNameOk, "/daten/aus/"},
      {"/", kCodeTablePath, kNameOk, "/"},
      {"~x~ein", kCodeInputPath, kNameOk, "/x/ein/"},
      {"~e~tab", kCodeTablePath, kNameOk, "/daten/ein/tab/"},
      {"~t~ein", kCodeInputPath, kNameBadBase, ""},  // t comes after e
      {"~x~y", kCodeUniversal1, kNameBadBase, ""},   // not even itself
      {"~e~a", kCodeUniversal2, kNameBadBase, ""},
      {"relativ", kCodeOutputPath, kNameNotAbsolute, ""},
      {"~Y~aus", kCodeOutputPath, kNameBaseFaulty, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    const TResolvedName r = ResolveBasePath(c.given, c.code, bases);
    EXPECT_EQ(r.state, c.state);
    EXPECT_EQ(r.full, c.full);
  }
}

TEST(ParamNamesTest, EveryCodeHasItsDefaultBase) {
  EXPECT_EQ(DefaultBaseOf(kCodeInputPath), 0);
  EXPECT_EQ(DefaultBaseOf(kCodeUniversal2), 0);
  EXPECT_EQ(DefaultBaseOf(kCodeSingle), kCodeOutputPath);
  EXPECT_EQ(DefaultBaseOf(kCodeJournal), kCodeOutputPath);
  EXPECT_EQ(DefaultBaseOf(kCodeTemp4), kCodeOutputPath);
  EXPECT_EQ(DefaultBaseOf(kCodeDarkCache), kCodeTablePath);
  EXPECT_EQ(DefaultBaseOf(kCodeFileList), kCodeInputPath);
  EXPECT_EQ(DefaultBaseOf(kCodePlz), kCodeTablePath);
  EXPECT_EQ(DefaultBaseOf(kCodePhoneticTable), kCodeTablePath);
  EXPECT_EQ(DefaultBaseOf(kCodeSlotDarkList + 3), kCodeTablePath);
  EXPECT_EQ(DefaultBaseOf(kCodeSlotAkzCache + 32), kCodeTablePath);
  EXPECT_EQ(DefaultBaseOf(kCodeInputFile + 500), kCodeInputPath);
  EXPECT_EQ(DefaultBaseOf(kCodeOwnSingle + 1), kCodeOutputPath);
  EXPECT_EQ(DefaultBaseOf(kCodeOwnDuplicates + 500), kCodeOutputPath);
}

TEST(ParamNamesTest, CodesHaveTheirNames) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "anonymer Pfad"},
      {1, "Eingabepfad"},
      {4, "Universalpfad 1"},
      {6, "Ausgabedatei (Single)"},
      {12, "Journaldatei"},
      {13, "Kompaktdatei"},
      {16, "Temporärdatei 2"},
      {19, "Dateiliste"},
      {20, "PLZ-Abbildung"},
      {21, "NormDatei (einfach)"},
      {22, "NormDatei (phonetisch)"},
      {1002, "Slot [2].Schwarze Liste"},
      {2003, "Slot [3].AKZ-Schwarze Liste"},
      {3001, "Slot [1].Schwarze Liste, Cache-Datei"},
      {4032, "Slot [32].AKZ-Schwarze Liste, Cache-Datei"},
      {5007, "Eingabedatei 7"},
      {6001, "Ausgabedatei (Single) 1"},
      {7500, "Ausgabedatei (Multi) 500"},
      {8012, "Dublettendatei 12"},
  };
  for (const auto& [code, name] : cases) {
    SCOPED_TRACE(code);
    EXPECT_EQ(FileCodeName(code), name);
  }
}

TEST(ParamNamesTest, NameStatesHaveTheirMessages) {
  struct Case {
    std::uint16_t state;
    bool required;
    std::optional<std::string> message;
  } const cases[] = {
      {kNameOk, true, std::nullopt},
      {kNameEmpty, false, std::nullopt},
      {kNameEmpty, true, "Journaldatei: Der Name darf nicht leer sein."},
      {kNameBadBase, false, "Journaldatei, \"~Q~x\": Ungültige Umleitung des Basispfades."},
      {kNameNotAbsolute, false, "Journaldatei: \"~Q~x\" ist kein gültiger absoluter Name."},
      {kNameDoubleDot, false, "Journaldatei, \"~Q~x\": '..' ist in Namen unzulässig."},
      {kNameBaseFaulty, true, std::nullopt},
      {kNameBaseUndefined, false,
       "Journaldatei, \"~Q~x\": Der Basispfad ist (noch) nicht definiert."},
      {9006, false, "unexpected file code: 9006"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(NameStateMessage("Journaldatei", "~Q~x", c.state, c.required), c.message);
  }
}

TEST(ParamNamesTest, StarTakesTheBareNameOfTheFile) {
  EXPECT_EQ(ReplaceStar("*.out", "/a/b/kunden.txt"), "kunden.out");
  EXPECT_EQ(ReplaceStar("Cache\\*.blx", "/t/namen.lst"), "Cache\\namen.blx");
  EXPECT_EQ(ReplaceStar("*_*.x", "/a/f.tar.gz"), "f.tar_*.x");
  EXPECT_EQ(ReplaceStar("*.x", "/a/ohne"), "ohne.x");
  EXPECT_EQ(ReplaceStar("fest.out", "/a/b/kunden.txt"), "fest.out");
}

TEST(ParamNamesTest, CollisionsAreGroupsOfEqualNames) {
  TNameRegistry registry;
  registry.Add("/d/ein/", true, kCodeInputPath);
  registry.Add("/d/ein/", true, kCodeOutputPath);  // two bases in one folder: fine
  registry.Add("/d/ein/kunden.txt", false, kCodeInputFile + 1);
  registry.Add("/d/ein/vld.out", false, kCodeSingle);
  registry.Add("/d/ein/vld.out", false, kCodeMulti);
  registry.Add("/d/ein/vld.lst", false, kCodeDuplicateList);
  registry.Add("/d/ein/vld.out", false, kCodeStatistics);
  registry.Add("/d/ein/vld.lst/x.dat", false, kCodeProtocol);          // a file used as a folder
  registry.Add("/d/ein/" + std::string(256, 'x'), false, kCodeTemp1);  // no file of this system
  registry.Add("/d/ein/" + std::string(256, 'x'), false, kCodeTemp2);
  const auto collisions = registry.Collisions();
  ASSERT_EQ(collisions.size(), 2u);
  EXPECT_EQ(collisions[0].code, kCodeSingle);
  EXPECT_EQ(collisions[0].fullName, "/d/ein/vld.out");
  EXPECT_EQ(collisions[0].others, (std::vector<std::int32_t>{kCodeMulti, kCodeStatistics}));
  EXPECT_EQ(collisions[1].code, kCodeDuplicateList);
  EXPECT_EQ(collisions[1].fullName, "/d/ein/vld.lst");
  EXPECT_EQ(collisions[1].others, (std::vector<std::int32_t>{0}));
}

}  // namespace
}  // namespace vld
