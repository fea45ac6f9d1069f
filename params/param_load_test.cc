#include "params/param_load.h"

#include <gtest/gtest.h>

#include "matching/match_derive.h"
#include "matching/param_names.h"
#include "params/match_set_fixture.h"
#include "platform/errors.h"

namespace vld {
namespace {

using testing::MatchSetFixture;
using testing::Record;

class ParamLoadTest : public MatchSetFixture {
 protected:
  // The set filled from the tree without the check.
  TParameterCheck* Transfer() {
    Free(transferred_);
    transferred_ = CreateIn<TParameterCheck>(StandardHeap());
    TransferParameterTree(*root_, *transferred_);
    return transferred_;
  }
  std::string Given(const TParameterStore& set, int code) const {
    return std::string(set.Text(set.File(code).given));
  }
  ~ParamLoadTest() override { Free(transferred_); }

  TParameterCheck* transferred_ = nullptr;
};

// ---- The whole load --------------------------------------------------------------------------

TEST_F(ParamLoadTest, DefaultSetInATemporaryFolderLoadsWithoutMessages) {
  const TLoadedParameters& p = Load();
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  ASSERT_EQ(p.errors, 0);
  EXPECT_EQ(p.hints, 0);
  ASSERT_NE(p.set, nullptr);
  ASSERT_NE(p.tables, nullptr);
  const TParameter& set = *p.set;
  const TParameterFields& f = set.Fields();
  EXPECT_EQ(journals_, std::vector<std::string>{Out("vld.log")});
  // Names resolved against the base paths; directories end with '/'.
  EXPECT_EQ(set.FileName(kCodeInputPath), Folder() + "/in/");
  EXPECT_EQ(set.FileName(kCodeSingle), Out("vld.out"));
  EXPECT_EQ(set.FileName(kCodeTemp2), Out("vld2.tmp"));
  EXPECT_EQ(set.FileName(kCodePhoneticTable), Tables("PHONETIC.MAP"));
  EXPECT_EQ(set.FileName(kCodePlz), Tables("GERMANY5.PLZ"));
  EXPECT_EQ(set.FileName(kCodeDarkCache), "");  // a pattern, filled per dark list
  // The input file, measured and laid out.
  ASSERT_EQ(set.InputFiles().size(), 1u);
  const TInputFileEntry& in = set.InputFiles()[0];
  EXPECT_EQ(set.FileName(in.file), In("kunden.txt"));
  EXPECT_EQ(set.Text(in.name), "kunden.txt");
  EXPECT_EQ(in.number, 1);
  EXPECT_EQ(in.recordCount, 3);
  EXPECT_EQ(in.priority, 10 * 4 + 2);  // Grunddatei
  EXPECT_EQ(f.effectiveRecordLength, 60);
  EXPECT_EQ(in.fileNumberPosition, 61);
  EXPECT_EQ(in.classKeyPosition, 63);
  EXPECT_EQ(in.classKeyLength, 5);
  EXPECT_EQ(in.classRecordLength, 67);
  EXPECT_EQ(in.blueRecordLength, 67);
  EXPECT_EQ(in.flagPosition, 68);
  EXPECT_EQ(in.componentOffsetsPosition, 69);
  EXPECT_EQ(in.matchKeyPosition, 69 + 2 * 3);
  EXPECT_EQ(in.matchKeyLength, f.matchKeyLength);
  EXPECT_EQ(in.outputRecordLength, 62);
  EXPECT_EQ(in.splitSlot, -1);
  EXPECT_EQ(f.totalRecords, 3);
  EXPECT_EQ(f.componentCount, 3);
  // Slot 1: 25 bytes of text, reserve 41 - 25 + 2; slot 2: 30 + (50 - 30 + 4).
  EXPECT_EQ(f.matchKeyLength, 43 + 54);
  // The tables of the task.
  EXPECT_TRUE(p.tables->phonetic.has_value());
  EXPECT_TRUE(p.tables->simple.has_value());
  ASSERT_TRUE(p.tables->plz.has_value());
  EXPECT_EQ(p.tables->plz->Digits(), 5);
  EXPECT_EQ(set.Slots()[0].darkListIndex, 0);  // the shared empty list
  // The table for the task's sources and sinks.
  const std::vector<TInputFile> table = InputFileTable(set);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].name, In("kunden.txt"));
  EXPECT_EQ(table[0].layout, &in);
}

TEST_F(ParamLoadTest, NewSetReportsTheRecordLengthFirst) {
  root_.reset(static_cast<TParamTVRecord*>(schema_->NewValue().release()));
  Load();
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_[0], "Fehler in den Parametern:");
  EXPECT_EQ(messages_[1], "! Datensatzlänge: 0 ist nicht im Wertebereich von 4 bis 8192.");
  EXPECT_GT(loaded_.errors, 1);
  EXPECT_TRUE(journals_.empty());  // no output folder yet: the journal cannot be opened
}

TEST_F(ParamLoadTest, SplitOutputGivesEachInputItsOwnFiles) {
  Set("Schaltwerk.Ausgabe auftrennen", "Ja");
  Set("Schaltwerk.Dubletten auftrennen", "Ja");
  Set("Eingabedateien [2].Name", "stamm.dat");
  Set("Eingabedateien [2].Typ", "Master-Datei");
  Set("Eingabedateien [3].Name", "sperr.txt");
  Set("Eingabedateien [3].Typ", "Sperrdatei");
  testing::WriteFile(In("stamm.dat"), Record("10115", "Meier", "Weg 2"));
  testing::WriteFile(In("sperr.txt"), Record("10115", "Kunz", "Weg 3"));
  const TLoadedParameters& p = Load();
  ASSERT_EQ(Messages(), std::vector<std::string>{});
  const TParameter& set = *p.set;
  EXPECT_EQ(set.FileName(kCodeSingle), "");  // patterns, no files
  EXPECT_EQ(std::string(set.Text(set.File(kCodeSingle).given)), "*.out");
  const auto inputs = set.InputFiles();
  ASSERT_EQ(inputs.size(), 3u);
  EXPECT_EQ(set.FileName(inputs[0].outputs[0]), Out("kunden.out"));
  EXPECT_EQ(set.FileName(inputs[0].outputs[1]), Out("kunden.mlt"));
  EXPECT_EQ(set.FileName(inputs[0].outputs[2]), Out("kunden.dup"));
  EXPECT_EQ(set.FileName(inputs[1].outputs[0]), Out("stamm.out"));
  EXPECT_EQ(set.FileName(inputs[2].outputs[0]), "");  // a Sperrdatei has no outputs
  EXPECT_EQ(inputs[0].outputs[0].code, kCodeOwnSingle + 1);
  EXPECT_EQ(inputs[0].splitSlot, 0);
  EXPECT_EQ(inputs[1].splitSlot, 1);
  EXPECT_EQ(inputs[2].splitSlot, -1);
  EXPECT_EQ(inputs[1].priority, 10 * 4 + 0);
  EXPECT_EQ(inputs[2].priority, 10 * 4 + 1);
  EXPECT_EQ(set.Fields().fileTypeCounts, (std::array<std::int32_t, 4>{1, 1, 1, 0}));
}

TEST_F(ParamLoadTest, DarkListsAreLoadedOnceAndCached) {
  testing::WriteFile(Tables("namen.lst"), "; Vornamen\nHANS,1\nDR\n");
  Set("Kriterien.Slots [1].Schwarze Liste", "namen.lst");
  Set("Kriterien.Slots [2].Schwarze Liste", "~T~namen.lst");
  const TLoadedParameters& p = Load();
  ASSERT_EQ(Messages(), std::vector<std::string>{});
  const auto slots = p.set->Slots();
  EXPECT_EQ(slots[0].darkList.code, kCodeSlotDarkList + 1);
  EXPECT_EQ(slots[1].darkList.code, kCodeSlotDarkList + 1);  // shares slot 1's list
  EXPECT_EQ(p.set->FileName(slots[0].darkCache), Tables("Cache/namen.blx"));
  EXPECT_EQ(p.set->FileName(slots[1].darkCache), "");
  EXPECT_GT(slots[0].darkListIndex, 0);
  EXPECT_EQ(slots[1].darkListIndex, slots[0].darkListIndex);
  EXPECT_EQ(p.tables->darkLists->DictionaryCount(), 2);  // the empty one and namen.lst
  EXPECT_TRUE(std::filesystem::exists(Tables("Cache/namen.blx")));
}

TEST_F(ParamLoadTest, FileListReplacesTheInputFiles) {
  testing::WriteFile(In("stamm.dat"), Record("10115", "Meier", "Weg 2"));
  testing::WriteFile(In("liste.txt"),
                     "G 3 \"kunden.txt\"\r\n{ Stammdaten }\r\nM 7 \"stamm.dat\"\r\n");
  Set("Eingabedateien.Ort der Eingabeliste", "Listendatei");
  Set("Eingabedateien.Listendatei", "liste.txt");
  const TLoadedParameters& p = Load();
  ASSERT_EQ(Messages(), std::vector<std::string>{});
  const auto inputs = p.set->InputFiles();
  ASSERT_EQ(inputs.size(), 2u);
  EXPECT_EQ(p.set->FileName(inputs[1].file), In("stamm.dat"));
  EXPECT_EQ(inputs[1].type, InputFileType::kMaster);
  EXPECT_EQ(inputs[1].priority, 7 * 4);
  EXPECT_EQ(inputs[1].file.code, kCodeInputFile + 2);
  EXPECT_EQ(p.set->FileName(kCodeFileList), In("liste.txt"));
}

TEST_F(ParamLoadTest, CopyOutlivesTheCheckingSetAndHoldsNoAddresses) {
  const TLoadedParameters& p = Load();
  ASSERT_EQ(p.errors, 0);
  // A second copy at another address reads the same.
  TMemoryLayer* other = CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 20);
  TParameter* copy = TParameter::Copy(*other, p.set);
  EXPECT_EQ(copy->FileName(kCodeStatistics), Out("vld.dat"));
  EXPECT_EQ(copy->FileName(copy->InputFiles()[0].file), In("kunden.txt"));
  EXPECT_EQ(copy->Component(2).kind, ComponentKind::kHausnummer);
  Free(other);
}

// ---- The transfer ----------------------------------------------------------------------------

TEST_F(ParamLoadTest, OutputNamesTakeTheNameUnlessTheyArePatterns) {
  EXPECT_EQ(Given(*Transfer(), kCodeSingle), "vld.out");
  EXPECT_EQ(Given(*transferred_, kCodeDarkCache), "Cache\\*.blx");
  EXPECT_EQ(Given(*transferred_, kCodeTemp3), "vld3.tmp");
  Set("Schaltwerk.Ausgabe auftrennen", "Ja");
  EXPECT_EQ(Given(*Transfer(), kCodeSingle), "*.out");
  EXPECT_EQ(Given(*transferred_, kCodeMulti), "*.mlt");
  EXPECT_EQ(Given(*transferred_, kCodeDuplicates), "vld.dup");
  EXPECT_EQ(Given(*transferred_, kCodeDarkCache), "Cache\\*.blx");
}

TEST_F(ParamLoadTest, ListFileGivesNoInputElements) {
  Set("Eingabedateien.Ort der Eingabeliste", "Listendatei");
  Set("Eingabedateien.Listendatei", "liste.txt");
  const TParameterCheck& set = *Transfer();
  EXPECT_EQ(set.Fields().vectors[1].count, 0);
  EXPECT_EQ(Given(set, kCodeFileList), "liste.txt");
}

TEST_F(ParamLoadTest, ComponentMembersLandInTheirPlaces) {
  Set("Kriterien.Slots [2].Hausnummer.Delta", "50");
  Set("Kriterien.Slots [2].Hausnummer.Stark", "7");
  Set("Kriterien.Slots [2].Hausnummer.Schwach", "8");
  Set("Kriterien.Slots [2].Hausnummer.Quer", "9");
  Set("Kriterien.Slots [1].Komponente.Hashing", "Nein");
  Set("Kriterien.Slots [1].Komponente.Prefix", "Ja");
  Set("Kriterien.Slots [1].Komponente.Obergrenze", "500");
  const TParameterCheck& set = *Transfer();
  const auto slots = set.Slots();
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_EQ(slots[0].kind, SlotKind::kNormal);
  EXPECT_EQ(slots[1].kind, SlotKind::kStrasse);
  const auto normal = set.Entries<TComponentEntry>(slots[0].components);
  EXPECT_EQ(normal[0].tokenHurdle, 256);  // not hashed: never
  EXPECT_TRUE(normal[0].prefix);
  EXPECT_EQ(normal[0].upperLimit, 500);
  EXPECT_EQ(normal[0].wordHurdle, 3);
  const auto street = set.Entries<TComponentEntry>(slots[1].components);
  ASSERT_EQ(street.size(), 2u);
  EXPECT_EQ(street[0].tokenHurdle, 0);  // hashed with the set's token hurdle
  const TComponentEntry& house = street[1];
  EXPECT_EQ(house.kind, ComponentKind::kHausnummer);
  EXPECT_EQ(house.wordHurdle, 50);
  EXPECT_EQ(house.relative, 7);
  EXPECT_EQ(house.base, 8);
  EXPECT_EQ(house.absolute, 9);
  EXPECT_EQ(house.upperLimit, 65535);
  EXPECT_EQ(house.tokenHurdle, 256);  // Hausnummer: "Hashing" Nein by default
}

TEST_F(ParamLoadTest, CheckGivesHashedNormalComponentsTheTokenHurdle) {
  Set("Justierung.Token-Hürde", "6");
  Set("Kriterien.Slots [2].Straße.Hashing", "Nein");
  const TLoadedParameters& p = Load();
  ASSERT_EQ(p.errors, 0);
  EXPECT_EQ(p.set->Component(0).tokenHurdle, 6);
  EXPECT_EQ(p.set->Component(1).tokenHurdle, 256);
}

TEST_F(ParamLoadTest, FirmaSlotTakesItsMembers) {
  Set("Kriterien.Slots [3].Art des Slots", "Firma");
  Set("Kriterien.Slots [3].AKZ-Schwarze Liste", "akz.lst");
  Set("Kriterien.Slots [3].AKZ-Feld.Position", "40");
  Set("Kriterien.Slots [3].AKZ-Feld.Länge", "3");
  Set("Kriterien.Slots [3].Namensfelder [1].Länge", "20");
  Set("Kriterien.Slots [3].AP Felder [1].Länge", "10");
  Set("Kriterien.Slots [3].AP Feldnummer", "1");
  Set("Kriterien.Slots [3].AKZ-Kriterium.Art der Komponente", "Text");
  const TParameterCheck& set = *Transfer();
  const TSlotEntry& firma = set.Slots()[2];
  EXPECT_EQ(firma.kind, SlotKind::kFirma);
  EXPECT_EQ(std::string(set.Text(firma.akzDarkList.given)), "akz.lst");
  EXPECT_EQ(firma.akzDarkList.code, kCodeSlotAkzList + 3);
  EXPECT_EQ(firma.akzField.position, 40);
  EXPECT_EQ(firma.akzField.length, 3);
  EXPECT_EQ(set.Entries<TFieldEntry>(firma.fields)[0].length, 20);
  EXPECT_EQ(set.Entries<TFieldEntry>(firma.apFields)[0].length, 10);
  EXPECT_EQ(firma.apFieldNumber, 1);
  const auto components = set.Entries<TComponentEntry>(firma.components);
  ASSERT_EQ(components.size(), 4u);
  EXPECT_EQ(components[3].kind, ComponentKind::kText);
}

TEST_F(ParamLoadTest, CompactorSwitchesTheCompactFileOn) {
  EXPECT_FALSE(Transfer()->Fields().makeCompactFile);
  Set("Kompaktor.Kompaktsperrdatei erzeugen", "Ja");
  Set("Kompaktor.Name der Kompaktsperrdatei", "sperren.kmp");
  Set("Kompaktor.Ident der Kompaktsperrdatei", "KÖLN");
  Set("Kompaktor.Listenfelder der Kompaktsperrsätze [1].Länge", "12");
  const TParameterCheck& set = *Transfer();
  const TParameterFields& f = set.Fields();
  EXPECT_TRUE(f.makeCompactFile);
  EXPECT_TRUE(f.compactWithPriorities);
  EXPECT_EQ(set.TextNumber(5), "sperren.kmp");
  EXPECT_EQ(set.Text(f.compactIdent), "K\x99LN");  // code page 437
  ASSERT_EQ(set.FieldVector(8).size(), 1u);
  EXPECT_EQ(set.FieldVector(8)[0].length, 12);
}

TEST_F(ParamLoadTest, TextsAreTakenInTheProtocolCodePage) {
  Set("Listendarstellung.Job-Text", "Köln, den %s");
  const TParameterCheck& set = *Transfer();
  EXPECT_EQ(set.TextNumber(1), "K\xf6ln, den %s");  // Windows-1252
  EXPECT_EQ(set.TextNumber(3), "Veldrona -- Protokoll");
  EXPECT_EQ(set.TextNumber(4), "Sperrsatz aus Datei %%%");
  const TParameterFields& f = set.Fields();
  EXPECT_EQ(std::string(f.symbols.begin(), f.symbols.end()), "GMSK+- = %:*+");
  const auto columns = set.Entries<TColumnEntry>(f.vectors[10]);
  ASSERT_EQ(columns.size(), 14u);
  EXPECT_EQ(columns[0].systemKind, 1);  // "Nr"
  EXPECT_EQ(columns[0].displayMode, 3);
  EXPECT_EQ(columns[6].systemKind, 10);  // "Intra"
}

TEST_F(ParamLoadTest, DateTextReplacesTheCreationDate) {
  const std::int32_t today = Transfer()->Fields().creationDate;
  EXPECT_EQ(transferred_->TextNumber(2), FormatDate(today));
  Set("Listendarstellung.Datum-Text", "24.12.2023");
  EXPECT_EQ(Transfer()->Fields().creationDate, 20231224);
  EXPECT_EQ(transferred_->TextNumber(2), "24.12.2023");
  Set("Listendarstellung.Datum-Text", "1.2.2024");
  EXPECT_EQ(Transfer()->TextNumber(2), "01.02.2024");
  Set("Listendarstellung.Datum-Text", "31.02.2024");
  EXPECT_EQ(testing::ErrorTextOf<EUserError>([&] { Transfer(); }),
            "'31.02.2024' ist kein gültiges Datum");
}

TEST(ParseDateTextTest, ReadsThePlatformDateFormat) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> date;
  } const cases[] = {
      {"24.12.2023", 20231224},     {" 1.2.2024 ", 20240201},     {"29.02.2024", 20240229},
      {"29.02.2023", std::nullopt}, {"0.1.2024", std::nullopt},   {"1.13.2024", std::nullopt},
      {"1..2024", std::nullopt},    {"1.2.2024.", std::nullopt},  {"heute", std::nullopt},
      {"1.2.20245", std::nullopt},  {"123.1.2024", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseDateText(c.text), c.date);
  }
}

TEST_F(ParamLoadTest, ValuesBeyondTheirSixteenBitFieldsRaiseTheRangeError) {
  for (const char* path : {"Satzaufbau.Datensatzlänge", "Satzaufbau.Satz abschneiden",
                           "Justierung.Sperr-Hürde", "Satzaufbau.Ortsfeld.Position"}) {
    SCOPED_TRACE(path);
    Set(path, "70000");
    EXPECT_EQ(testing::ErrorTextOf<ERuntimeError>([&] { Load(); }), "Fehler bei Bereichsprüfung");
    Set(path, "1");
  }
}

TEST_F(ParamLoadTest, TruncationFollowsTheRecordLength) {
  Set("Satzaufbau.Datensatzlänge", "100");
  DeriveRecordLengths(Transfer()->Fields());
  EXPECT_EQ(transferred_->Fields().truncatedLength, 98);  // "Satz abschneiden" 0: whole records
  Set("Satzaufbau.Satz abschneiden", "-2");
  DeriveRecordLengths(Transfer()->Fields());
  EXPECT_EQ(transferred_->Fields().truncatedLength, 96);
  Set("Satzaufbau.Satz abschneiden", "40");
  DeriveRecordLengths(Transfer()->Fields());
  EXPECT_EQ(transferred_->Fields().truncatedLength, 38);
}

}  // namespace
}  // namespace vld
