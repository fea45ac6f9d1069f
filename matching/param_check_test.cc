// The parameter check, driven through the loader from a parameter tree adapted to a temporary
// folder (params/match_set_fixture.h): each stage's typical problems with their exact messages.
#include "matching/param_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "matching/compact_test_util.h"
#include "matching/param_names.h"
#include "params/match_set_fixture.h"

namespace vld {
namespace {

using testing::MatchSetFixture;
using testing::Record;

// "<tmp>" stands for the fixture's folder.
std::string Expand(std::string text, const std::string& folder) {
  for (std::size_t at; (at = text.find("<tmp>")) != std::string::npos;) {
    text.replace(at, 5, folder);
  }
  return text;
}

struct MessageCase {
  const char* id;
  std::vector<std::pair<std::string, std::string>> edits;  // path, value
  std::vector<std::string> messages;                       // all messages of the load
  std::function<void(MatchSetFixture&)> setup = nullptr;
};

// Test names and failure output show the case's name.
void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.id; }

const std::string kTypes =
    "Dateityp erwartet (G=Grunddatei, M=Masterdatei, S=Sperrdatei, K=Kompaktsperrdatei";

const MessageCase kCases[] = {
    // A
    {"BlockExhaustedReportsOnlyTheMemory",
     {{"Listendarstellung.Statistik-Info", std::string(1100000, 'x')},
      {"Justierung.Token-Hürde", "9"}},
     {"! Die Parameter benötigen insgesamt zu viel Speicher."}},
    // B
    {"EmptyJournalStopsInStageB",
     {{"Ausgabedateien.Journal", ""}, {"Justierung.Token-Hürde", "9"}},
     {"! Journaldatei: Der Name darf nicht leer sein."}},
    {"JournalWithBadBase",
     {{"Ausgabedateien.Journal", "~Q~j.log"}},
     {"! Journaldatei, \"~Q~j.log\": Ungültige Umleitung des Basispfades."}},
    {"JournalThatCannotBeOpened",
     {},
     {"! Journal \"<tmp>/out/vld.log\" kann nicht angelegt werden."},
     [](MatchSetFixture& t) { t.journalOpens_ = false; }},
    // C: values
    {"TokenHurdleOutOfRange",
     {{"Justierung.Token-Hürde", "9"}},
     {"! Token-Hürde: 9 ist nicht im Wertebereich von 1 bis 7."}},
    {"TruncationTo",
     {{"Satzaufbau.Satz abschneiden", "70"}},
     {"! Abschneiden (auf #): 70 ist nicht im Wertebereich von 4 bis 62."}},
    {"TruncationBy",
     {{"Satzaufbau.Satz abschneiden", "-60"}},
     {"! Abschneiden (um -#): -60 ist nicht im Wertebereich von -56 bis 0."}},
    {"SortReserve",
     {{"Wartung.Speicherreserve beim Sortieren", "70000000"}},
     {"! Speicherreserve Sortieren: 70000000 ist nicht im Wertebereich von 0 bis 67108864."}},
    {"CityFieldOutsideTheRecord",
     {{"Satzaufbau.Ortsfeld.Position", "58"}, {"Satzaufbau.Ortsfeld.Länge", "5"}},
     {"! Ortsfeld: Das Feld liegt nicht ganz im Datensatz."}},
    {"IdentFieldPositionZero",
     {{"Satzaufbau.Ident.Position", "0"}},
     {"! Dateikennung.Feldposition: 0 ist nicht im Wertebereich von 1 bis 60."}},
    {"CenturyWindow",
     {{"Satzaufbau.Bewertungssteuerung.Jahrhundert-Fenster", "100"}},
     {"! Jahrhundert-Fenster: 100 ist nicht im Wertebereich von -1 bis 99."}},
    {"PostalCodePartLength",
     {{"Satzaufbau.PLZ-Unterfeld.Länge", "2"}},
     {"! PLZ-Teilfeld.Teilfeld-Länge: 2 ist nicht im Wertebereich von 3 bis 5."}},
    {"MissingSymbol",
     {{"Listendarstellung.Symbole.Dublette", ""}},
     {"! Symbols: Je ein Zeichen für:\r[Grunddatei, Masterdatei, Sperrdatei, Kompaktsperrdatei,\r"
      " Kopfdublette, Dublette, Folgesatz, Kopfsatz,\r Normalsatz, Original, Replikat, neu "
      "bewerteter Satz, Dateiprio]"}},
    {"NameLength",
     {{"Listendarstellung.Max. Namenslänge", "8"}},
     {"! maximale Namenslänge: 8 ist nicht im Wertebereich von 9 bis 80."}},
    // C: directories and names
    {"InputPathNotFound",
     {{"Pfade.Eingabepfad", "<tmp>/fehlt"}},
     {"! Eingabepfad: \"<tmp>/fehlt\" nicht gefunden."}},
    {"InputPathIsAFile",
     {{"Pfade.Eingabepfad", "<tmp>/in/kunden.txt"}},
     {"! Eingabepfad: \"<tmp>/in/kunden.txt\" ist kein Verzeichnis."}},
    {"InputPathEmpty",
     {{"Pfade.Eingabepfad", ""}},
     {"! Eingabepfad: Der Name darf nicht leer sein.",
      "! Eingabedateien [1].Name, \"kunden.txt\": Der Basispfad ist (noch) nicht definiert."}},
    {"InputPathRelative",
     {{"Pfade.Eingabepfad", "daten"}},
     {"! Eingabepfad: \"daten\" ist kein gültiger absoluter Name."}},
    {"UniversalPathUndefined",
     {{"Ausgabedateien.Dublettenliste", "~X~vld.lst"}},
     {"! Dublettenliste, \"~X~vld.lst\": Der Basispfad ist (noch) nicht definiert."}},
    {"TemporaryFileWithBadBase",
     {{"Ausgabedateien.Temporärdatei 1", "~Q~x.tmp"}},
     {"! Temporärdatei 1, \"~Q~x.tmp\": Ungültige Umleitung des Basispfades."}},
    {"DoubleDot",
     {{"Ausgabedateien.Dublettenliste", "../x.lst"}},
     {"! Dublettenliste, \"../x.lst\": '..' ist in Namen unzulässig."}},
    {"StatisticsMayBeEmpty", {{"Ausgabedateien.Statistik", ""}}, {}},
    {"TemporaryFileRequired",
     {{"Ausgabedateien.Temporärdatei 3", ""}},
     {"! Temporärdatei 3: Der Name darf nicht leer sein."}},
    {"InputNameNotAbsolute",
     {{"Eingabedateien [1].Name", "~relativ.txt"}},
     {"! Eingabedateien [1].Name: \"~relativ.txt\" ist kein gültiger absoluter Name."}},
    {"InputPriority",
     {{"Eingabedateien [1].Priorität", "1000"}},
     {"! Eingabedateien [1].Priorität: 1000 ist nicht im Wertebereich von 0 bis 999."}},
    {"FileListWithWrongType",
     {{"Eingabedateien.Ort der Eingabeliste", "Listendatei"},
      {"Eingabedateien.Listendatei", "liste.txt"}},
     {"! Fehler bei >>> X <<<in Zeile 2 der Dateiliste liste.txt:\r" + kTypes},
     [](MatchSetFixture& t) {
       testing::WriteFile(t.In("liste.txt"), "G 1 \"kunden.txt\"\nX 1 \"a\"\n");
     }},
    {"FileListMissing",
     {{"Eingabedateien.Ort der Eingabeliste", "Listendatei"},
      {"Eingabedateien.Listendatei", "liste.txt"}},
     {"! Die Datei \"<tmp>/in/liste.txt\" gibt es nicht."}},
    // C: vectors
    {"ClassKeyFieldLength",
     {{"Satzaufbau.Klassenschlüssel [1].Länge", "0"}},
     {"! Klassenschlüssel [1].Feldlänge: 0 ist nicht im Wertebereich von 1 bis 255."}},
    {"ClassKeyOutsideTheRecord",
     {{"Satzaufbau.Klassenschlüssel [1].Position", "58"}},
     {"! Klassenschlüssel [1]: Das Feld liegt nicht ganz im Datensatz."}},
    {"SortKeyMissing",
     {{"Schaltwerk.Ausgabe sortieren", "Ja"}},
     {"! Sortierschlüssel Ausgabe: Die Anzahl der Elemente (0) liegt nicht im Bereich von 1 bis "
      "32."}},
    {"SortKeyOutsideTheTruncatedRecord",
     {{"Schaltwerk.Ausgabe sortieren", "Ja"},
      {"Satzaufbau.Satz abschneiden", "-10"},
      {"Satzaufbau.Sortierschlüssel Ausgabe [1].Position", "45"},
      {"Satzaufbau.Sortierschlüssel Ausgabe [1].Länge", "10"}},
     {"! Sortierschlüssel Ausgabe [1]: Das Feld liegt nicht ganz im (abgeschnittenen) "
      "Datensatz."}},
    {"ListFieldOfBlanksIsFine",
     {{"Satzaufbau.Listenfelder [2].Position", "0"}, {"Satzaufbau.Listenfelder [2].Länge", "4"}},
     {}},
    {"ListFieldWithoutLength",
     {{"Satzaufbau.Listenfelder [2].Position", "1"}},
     {"! Listenfelder [2].Feldlänge: 0 ist nicht im Wertebereich von 1 bis 255."}},
    {"WordHurdle",
     {{"Kriterien.Slots [1].Komponente.Wort-Hürde", "0"}},
     {"! Slots [1].Komponenten [1].Wort-Hürde: 0 ist nicht im Wertebereich von 1 bis 255."}},
    {"HouseNumberDelta",
     {{"Kriterien.Slots [2].Hausnummer.Delta", "10000"}},
     {"! Slots [2].Komponenten [2].Delta: 10000 ist nicht im Wertebereich von 0 bis 9999."}},
    {"SlotFieldLength",
     {{"Kriterien.Slots [1].Felder [1].Länge", "0"}},
     {"! Slots [1].Felder [1].Feldlänge: 0 ist nicht im Wertebereich von 1 bis 255."}},
    {"StreetSlotWithTwoNormalComponents",
     {{"Kriterien.Slots [2].Hausnummer.Art der Komponente", "Normal"}},
     {"! Slots [2]: eine Normal- und eine Hausnummern-Komponente erwartet"}},
    {"NameSlotWithATextComponent",
     {{"Kriterien.Slots [3].Art des Slots", "Name"},
      {"Kriterien.Slots [3].Felder [1].Position", "6"},
      {"Kriterien.Slots [3].Felder [1].Länge", "25"},
      {"Kriterien.Slots [3].Vorname.Art der Komponente", "Text"}},
     {"! Slots [3]: zwei Normal-Komponenten erwartet"}},
    {"DarkListWithBadBase",
     {{"Kriterien.Slots [1].Schwarze Liste", "~Q~x.lst"}},
     {"! Slots [1].Schwarze Liste, \"~Q~x.lst\": Ungültige Umleitung des Basispfades."}},
    {"ReplicateWithBonusPriority",
     {{"Kriterien.Slots [1].Komponente.Replizieren", "Ja"},
      {"Kriterien.Slots [1].Komponente.Bonus-Priorität", "2"}},
     {"! Slots [1].Komponenten [1]: Replizieren und Bonus-Priorität schließen sich gegenseitig "
      "aus."}},
    {"BonusTwoIgnoredIsAWarning",
     {{"Schaltwerk.Mindestpunkte", "Ja, Bonus 2 bei APs"},
      {"Kriterien.Slots [1].Komponente.Bonus 2 (mindestens)", "5"}},
     {"? Slots [1].Komponenten [1].Bonus 2: Wert wird ignoriert (Mindestpunkte sind auf APs "
      "beschränkt)"}},
    {"RequiredColumnShown",
     {{"Listendarstellung.Spaltenliste [1].Darstellung", "zeigen"}},
     {"! Protokollspalten [1].Darstellung: Die Spalte Nr ist eine Pflichtspalte."}},
    {"HitColumnByDefault",
     {{"Listendarstellung.Spaltenliste [9].Darstellung", "gemäß Vorgabe"}},
     {"! Protokollspalten [9].Darstellung: Mögliche Werte für die Spalte Treffer: [zeigen, "
      "verbergen]."}},
    {"IdentColumnRequired",
     {{"Listendarstellung.Spaltenliste [2].Darstellung", "Pflichtspalte"}},
     {"! Protokollspalten [2].Darstellung: Mögliche Werte für die Spalte Ident: [zeigen, "
      "verbergen, gemäß Vorgabe]."}},
    {"AdditionalColumnWithoutTitles",
     {{"Listendarstellung.Spaltenliste [15].Spaltenart", "Zusatzspalte"}},
     {"! Protokollspalten [15]: Es dürfen nicht beide Titel zugleich leer sein."}},
    {"AdditionalColumnPresetWithoutPlaceholder",
     {{"Listendarstellung.Spaltenliste [15].Spaltenart", "Zusatzspalte"},
      {"Listendarstellung.Spaltenliste [15].Titel 1", "Bonus"},
      {"Listendarstellung.Spaltenliste [15].Spalte", "Brutto"},
      {"Listendarstellung.Spaltenliste [15].Vorbelegung", "fest"}},
     {"? Protokollspalten [15].Vorbelegung: Der Spaltenwert wird ignoriert (Vorbelegung leer "
      "lassen oder Platzhalter \"%s\" benutzen)."}},
    // E
    {"OutputCollidesWithStatistics",
     {{"Ausgabedateien.Ausgabe Single", "*.dat"}},
     {"! Ausgabedatei (Single) \"<tmp>/out/vld.dat\" hat eine Namenskollision mit:",
      "  Statistik"}},
    {"InputCollidesWithTheDuplicateList",
     {{"Eingabedateien [1].Name", "~A~vld.lst"}},
     {"! Dublettenliste \"<tmp>/out/vld.lst\" hat eine Namenskollision mit:", "  Eingabedatei 1"},
     [](MatchSetFixture& t) { std::filesystem::copy_file(t.In("kunden.txt"), t.Out("vld.lst")); }},
    {"NoGrundOrMasterFile",
     {{"Eingabedateien [1].Typ", "Sperrdatei"}},
     {"! Es muß mindestens eine Grund- oder Masterdatei angegeben werden."}},
    {"QualitySum",
     {{"Kriterien.Slots [1].Komponente.Qualität", "250"}},
     {"! Summe aller Qualitätswerte: 270 ist nicht im Wertebereich von 0 bis 255."}},
    {"BonusPriorityThreeTimesIsOneError",
     {{"Kriterien.Slots [1].Komponente.Bonus-Priorität", "3"},
      {"Kriterien.Slots [2].Straße.Bonus-Priorität", "3"},
      {"Kriterien.Slots [2].Hausnummer.Bonus-Priorität", "3"}},
     {"! Die Bonus-Priorität 3 ist mehrfach angegeben."}},
    {"RatingFieldsOverlap",
     {{"Satzaufbau.Bewertungsfelder [1].Position", "1"},
      {"Satzaufbau.Bewertungsfelder [1].Länge", "5"},
      {"Satzaufbau.Bewertungsfelder [2].Position", "3"},
      {"Satzaufbau.Bewertungsfelder [2].Länge", "5"}},
     {"! Das 1. Bewertungsfeld (1, 5) überschneidet sich mit dem 2. Bewertungsfeld (3, 5)."}},
    {"RatingFieldsWithBonusLogic",
     {{"Satzaufbau.Bewertungsfelder [1].Länge", "5"},
      {"Kriterien.Slots [1].Komponente.Bonus-Priorität", "1"}},
     {"! Bewertungsfelder und Ansprechpartner-Logik können nicht zusammen verwendet werden."}},
    {"SelectionWithoutReferenceField",
     {{"Satzaufbau.Bewertungsfelder [1].Länge", "5"},
      {"Satzaufbau.Bewertungsfelder [1].Regel", "Auswahl"},
      {"Satzaufbau.Bewertungssteuerung.Auswahlregel", "neuestes Datum"}},
     {"! Das Referenzfeld muß angegeben werden, wenn eine entsprechende Auswahlregel in den "
      "Bewertungen verwendet wird."}},
    {"SystemColumnTwice",
     {{"Listendarstellung.Spaltenliste [14].Spalte", "Nr"},
      {"Listendarstellung.Spaltenliste [14].Darstellung", "Pflichtspalte"}},
     {"! Spaltenliste: Die Systemspalte Nr ist mehrfach vorhanden (Einträge 1 und 14)."}},
    {"RequiredColumnMissing",
     {},
     {"! Spaltenliste: Folgende Pflichtspalten fehlen: Intra"},
     [](MatchSetFixture& t) { t.Delete("Listendarstellung.Spaltenliste", 7); }},
    {"NeitherIdentNorName",
     {{"Listendarstellung.Spaltenliste [3].Darstellung", "verbergen"}},
     {"! Spaltenliste: Mindestens eine der Spalten Ident und Name muß angezeigt werden."}},
    // F
    {"InputFileMissing",
     {{"Eingabedateien [1].Name", "fehlt.txt"}},
     {"! Eingabedateien [1]: \"<tmp>/in/fehlt.txt\" kann nicht geöffnet werden."}},
    {"InputFileWithoutARecord",
     {},
     {"! Eingabedateien [1]: \"<tmp>/in/kunden.txt\" enthält keinen (ganzen) Datensatz."},
     [](MatchSetFixture& t) { testing::WriteFile(t.In("kunden.txt"), "kurz"); }},
    {"FirstRecordWithoutCrLf",
     {},
     {"! Eingabedateien [1]: Der erste Datensatz von \"<tmp>/in/kunden.txt\" endet nicht mit "
      "CRLF."},
     [](MatchSetFixture& t) { testing::WriteFile(t.In("kunden.txt"), std::string(3 * 62, 'x')); }},
    {"OneRecordOnly",
     {},
     {"! Insgesamt sind weniger als zwei Sätze zu verarbeiten."},
     [](MatchSetFixture& t) {
       testing::WriteFile(t.In("kunden.txt"), Record("10115", "Müller", "Hauptstraße 1"));
     }},
    {"OutputNotCreatable",
     {{"Ausgabedateien.Dublettenliste", "fehlt/x.lst"}},
     {"! Dublettenliste: \"<tmp>/out/fehlt/x.lst\" kann nicht angelegt werden."}},
    {"PostalCodePartOutsideTheClassKey",
     {{"Satzaufbau.PLZ-Unterfeld.Position", "3"}},
     {"! PLZ-Teilfeld: Das Teilfeld liegt nicht ganz im Sortierschlüssel (5 Zeichen)."}},
    // 8192 extra bytes and the two slots: 43 (name) + 54 (street).
    {"MatchKeyTooLong",
     {{"Wartung.Match-Schlüssel Extra", "8192"}},
     {"! Matchschlüssel-Länge: 8289 ist nicht im Wertebereich von 1 bis 8192."}},
    // G
    {"PhoneticTableDamaged",
     {},
     {"! Die Datei \"PHONETIC.MAP\" ist keine Veldrona-Normtabelle."},
     [](MatchSetFixture& t) { testing::WriteFile(t.Tables("PHONETIC.MAP"), "kaputt"); }},
    {"PostalCodeMappingMissing",
     {{"Satzaufbau.PLZ-Unterfeld.Länge", "3"}},
     {"! Die Datei \"<tmp>/tables/GERMANY3.PLZ\" gibt es nicht."}},
    {"PostalCodeMappingWithOtherDigits",
     {},
     {"! Die Veldrona-PLZ-Abbildung \"GERMANY5.PLZ\" hat nicht die richtige Stelligkeit."},
     [](MatchSetFixture& t) {
       std::filesystem::copy_file(t.Tables("GERMANY4.PLZ"), t.Tables("GERMANY5.PLZ"),
                                  std::filesystem::copy_options::overwrite_existing);
     }},
    {"DarkListMissing",
     {{"Kriterien.Slots [1].Schwarze Liste", "fehlt.lst"}},
     {"! Schwarze Liste: \"<tmp>/tables/fehlt.lst\" kann nicht gelesen werden."}},
    {"DarkListPackageDamaged",
     {{"Kriterien.Slots [1].Schwarze Liste", "namen.lst"}},
     {"! Schwarze Liste, Paketeintrag: \"<tmp>/tables/paket.pak\" ist keine "
      "Schwarze-Liste-Paketdatei."},
     [](MatchSetFixture& t) {
       testing::WriteFile(t.Tables("namen.lst"), "HANS,1\n>paket.pak\n");
       testing::WriteFile(t.Tables("paket.pak"), "kein Paket");
     }},
};

class ParamCheckMessagesTest : public MatchSetFixture,
                               public ::testing::WithParamInterface<MessageCase> {};

TEST_P(ParamCheckMessagesTest, ReportsExactlyItsMessages) {
  const MessageCase& c = GetParam();
  for (const auto& [path, value] : c.edits) Set(path, Expand(value, Folder()));
  if (c.setup) c.setup(*this);
  const TLoadedParameters& p = Load();
  std::vector<std::string> expected;
  std::int32_t errors = 0, warnings = 0;
  for (const std::string& m : c.messages) {
    expected.push_back(Expand(m, Folder()));
    errors += m.rfind("! ", 0) == 0;
    warnings += m.rfind("? ", 0) == 0;
  }
  EXPECT_EQ(Messages(), expected);
  EXPECT_EQ(p.errors, errors);
  EXPECT_EQ(p.hints, warnings);
  // The header line comes once, before the first error.
  const auto header = std::count(messages_.begin(), messages_.end(), kParameterErrorsHeader);
  EXPECT_EQ(header, errors > 0 ? 1 : 0);
  if (errors > 0 && warnings == 0) {
    EXPECT_EQ(messages_.front(), kParameterErrorsHeader);
  }
}

INSTANTIATE_TEST_SUITE_P(Stages, ParamCheckMessagesTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MessageCase>& param) {
                           return std::string(param.param.id);
                         });

// ---- Runs and files --------------------------------------------------------------------------

class ParamCheckTest : public MatchSetFixture {
 protected:
  // Adds a compact dark file as input 2, matching the fixture's set unless `compact` says else.
  void AddCompactFile(const testing::CompactFileSpec& compact) {
    testing::WriteFile(In("sperr.kmp"), testing::AsBytes(testing::CompactFileImage(compact)));
    Set("Eingabedateien [2].Typ", "Kompaktsperrdatei");
    Set("Eingabedateien [2].Name", "sperr.kmp");
  }
  // The compact file the fixture's set writes: class key 5, components of the Normal slot
  // (Normal) and the Straße slot (Normal, Hausnummer), "Sperr-Hürde" 3.
  static testing::CompactFileSpec MatchingSpec() {
    testing::CompactFileSpec s;
    s.components = {{1, 2, false, 3, 3}, {1, 4, false, 3, 3}, {3, 4, false, 0, 3}};
    s.matchKeyLength = 97;
    return s;
  }
};

TEST_F(ParamCheckTest, CompactFileIsLaidOutFromItsHeader) {
  AddCompactFile(MatchingSpec());
  const TLoadedParameters& p = Load();
  ASSERT_EQ(Messages(), std::vector<std::string>{});
  const TInputFileEntry& k = p.set->InputFiles()[1];
  const std::int32_t length = MatchingSpec().RecordLength();
  EXPECT_EQ(k.type, InputFileType::kKompaktsperr);
  EXPECT_EQ(k.recordCount, 2);
  EXPECT_EQ(k.blueRecordLength, length);
  EXPECT_EQ(k.headerSlots, 2);
  EXPECT_TRUE(k.compactWithPriority);
  EXPECT_EQ(k.priorityPosition, 3);
  EXPECT_EQ(k.infoPosition, 5);
  EXPECT_EQ(k.infoLength, 10);
  EXPECT_EQ(k.classKeyPosition, 15);
  EXPECT_EQ(k.matchKeyPosition + k.matchKeyLength - 1, length);
  EXPECT_EQ(k.fileNumberPosition, 0);
  EXPECT_EQ(p.set->Text(k.ident), "COMPACT");
  EXPECT_EQ(k.priority, 10 * 4 + 1);
  EXPECT_EQ(p.set->Fields().maxCompactInfoLength, 10);
  EXPECT_EQ(p.set->Fields().fileTypeCounts, (std::array<std::int32_t, 4>{1, 0, 0, 1}));
  // The multi-file reader gets the record files only; the blue reader all by number.
  EXPECT_EQ(InputFileTable(*p.set, InputFileSelection::kRecordFiles).size(), 1u);
  EXPECT_EQ(InputFileTable(*p.set).size(), 2u);
}

TEST_F(ParamCheckTest, EmptyCompactFileIsAccepted) {
  testing::CompactFileSpec compact = MatchingSpec();
  compact.records = 0;
  AddCompactFile(compact);
  const TLoadedParameters& p = Load();
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(p.set->InputFiles()[1].recordCount, 0);
  EXPECT_EQ(p.set->Fields().totalRecords, 3);
}

TEST_F(ParamCheckTest, CompactFileWithOtherPostalCodePartIsOnlyAWarning) {
  testing::CompactFileSpec compact = MatchingSpec();
  compact.plzLength = 0;
  compact.plausibleInterval = 50;
  AddCompactFile(compact);
  const TLoadedParameters& p = Load();
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{
                "? Eingabedateien [2].Params: Das Postleitzahlen-Teilfeld (1,0) stimmt nicht "
                "überein (<> (1,5))",
                "? Eingabedateien [2].Params: Die Größe des Plausibilitätsintervalls (50) stimmt "
                "nicht überein (<>100)"}));
  EXPECT_EQ(p.errors, 0);
  EXPECT_EQ(p.hints, 2);
}

TEST_F(ParamCheckTest, CompactFileOfAnotherSetIsRefused) {
  struct Case {
    const char* what;
    std::function<void(testing::CompactFileSpec&)> change;
    std::vector<std::string> messages;
  } const cases[] = {
      {"class key",
       [](auto& s) {
         s.classKeyLength = 6;
         s.matchKeyLength = 96;
       },
       {"! Eingabedateien [2].Params: Die Größe des Klassenschlüssels (6) paßt nicht (<>5)"}},
      {"components",
       [](auto& s) {
         s.components.pop_back();
         s.matchKeyLength = 99;
       },
       {"! Eingabedateien [2].Params: Die Anzahl der Komponenten (2) paßt nicht (<>3)"}},
      {"kind",
       [](auto& s) { s.components[1].kind = 0; },
       {"! Eingabedateien [2].Params.Komponenten [2]: Die Art der Komponente (Text) paßt nicht "
        "(<>Normal)"}},
      {"prefix",
       [](auto& s) { s.components[0].prefix = true; },
       {"! Eingabedateien [2].Params.Komponenten [1]: Die Komponente hat Prefix-Erkennung"}},
      {"word hurdle",
       [](auto& s) { s.components[0].wordHurdle = 4; },
       {"? Eingabedateien [2].Params.Komponenten [1]: Die Wort-Hürde (4) stimmt nicht überein "
        "(<>3)"}},
      {"no blocking",
       [](auto& s) { s.components[2].blockHurdle = 0; },
       {"? Eingabedateien [2].Params.Komponenten [3]: In dieser Komponente wird nicht dynamisch "
        "gesperrt"}},
      {"block hurdle",
       [](auto& s) { s.components[2].blockHurdle = 5; },
       {"? Eingabedateien [2].Params.Komponenten [3]: Die Sperr-Hürde (5) stimmt nicht überein "
        "(<>3)"}},
  };
  Set("Eingabedateien [2].Typ", "Kompaktsperrdatei");
  Set("Eingabedateien [2].Name", "sperr.kmp");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::CompactFileSpec compact = MatchingSpec();
    c.change(compact);
    testing::WriteFile(In("sperr.kmp"), testing::AsBytes(testing::CompactFileImage(compact)));
    Load();
    EXPECT_EQ(Messages(), c.messages);
  }
}

// A damaged header is a message naming the file, whatever byte the file ends at.
TEST_F(ParamCheckTest, CompactFileCutAtEveryPositionIsAMessageNeverACrash) {
  Set("Satzaufbau.PLZ-Unterfeld.Länge", "0");
  testing::CompactFileSpec compact = MatchingSpec();
  compact.plzLength = 0;
  const std::vector<std::uint8_t> image = testing::CompactFileImage(compact);
  const std::int64_t headerSize = 2 * compact.RecordLength();
  Set("Eingabedateien [2].Typ", "Kompaktsperrdatei");
  Set("Eingabedateien [2].Name", "sperr.kmp");
  const std::string name = In("sperr.kmp");
  for (std::size_t cut = 0; cut <= image.size(); ++cut) {
    SCOPED_TRACE(cut);
    testing::WriteFile(name, std::string(image.begin(), image.begin() + static_cast<long>(cut)));
    const TLoadedParameters& p = Load();
    if (static_cast<std::int64_t>(cut) >= headerSize) {
      EXPECT_EQ(p.errors, 0);
      EXPECT_EQ(p.set->InputFiles()[1].recordCount,
                (static_cast<std::int64_t>(cut) - headerSize) / compact.RecordLength());
      continue;
    }
    const std::string expected =
        cut < 81 ? "! Eingabedateien [2]: \"" + name + "\" enthält keinen Kompaktsperrdatei-Header"
                 : "! Eingabedateien [2]: Kompaktsperrdatei \"" + name +
                       "\" hat einen inkonsistenten Header";
    EXPECT_EQ(Messages(), std::vector<std::string>{expected});
  }
}

TEST_F(ParamCheckTest, CompactFileWithWrongMagicOrVersion) {
  std::vector<std::uint8_t> image = testing::CompactFileImage(MatchingSpec());
  Set("Eingabedateien [2].Typ", "Kompaktsperrdatei");
  Set("Eingabedateien [2].Name", "sperr.kmp");
  image[32] = 3;
  testing::WriteFile(In("sperr.kmp"), testing::AsBytes(image));
  Load();
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "! Eingabedateien [2]: Kompaktsperrdatei \"" + In("sperr.kmp") +
                            "\" hat eine falsche Versionsnummer: 3 (erwartet: 2)"});
  image[0] = 'k';
  testing::WriteFile(In("sperr.kmp"), testing::AsBytes(image));
  Load();
  EXPECT_EQ(Messages(), std::vector<std::string>{"! Eingabedateien [2]: \"" + In("sperr.kmp") +
                                                 "\" ist keine Kompaktsperrdatei"});
}

TEST_F(ParamCheckTest, MakingACompactFileRefusesCompactInputs) {
  AddCompactFile(MatchingSpec());
  Set("Kompaktor.Kompaktsperrdatei erzeugen", "Ja");
  Set("Kompaktor.Name der Kompaktsperrdatei", "neu.kmp");
  Load();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"! Beim Erzeugen einer Kompaktsperrdatei kann keine "
                                     "Kompaktsperrdatei als Eingabe angegeben werden."});
}

TEST_F(ParamCheckTest, MakingACompactFileNeedsItsName) {
  Set("Kompaktor.Kompaktsperrdatei erzeugen", "Ja");
  Load();
  EXPECT_EQ(Messages(), std::vector<std::string>{"! Kompaktdatei: Der Name darf nicht leer sein."});
  Set("Kompaktor.Name der Kompaktsperrdatei", "neu.kmp");
  const TLoadedParameters& p = Load();
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(p.set->FileName(kCodeCompact), Out("neu.kmp"));
  EXPECT_FALSE(std::filesystem::exists(Out("neu.kmp")));  // created and deleted again
}

TEST_F(ParamCheckTest, PartialLastRecordIsIgnored) {
  Set("Satzaufbau.Datensatzlänge", "100");
  Set("Satzaufbau.PLZ-Unterfeld.Länge", "0");
  std::string records;
  for (int i = 0; i < 2; ++i) records += std::string(98, 'a' + i) + "\r\n";
  testing::WriteFile(In("kunden.txt"), records + std::string(50, 'z'));
  const TLoadedParameters& p = Load();
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(p.set->InputFiles()[0].recordCount, 2);
}

// Sparse files of 2^31 records and more: only their size is looked at.
TEST_F(ParamCheckTest, TooManyRecordsAreRefused) {
  std::error_code error;
  std::filesystem::resize_file(In("kunden.txt"), 62LL * 2147483647, error);
  if (error) GTEST_SKIP() << "no sparse file of that size here: " << error.message();
  Load();
  EXPECT_EQ(Messages(), std::vector<std::string>{"! Eingabedateien [1]: \"" + In("kunden.txt") +
                                                 "\" enthält zu viele Datensätze."});
  std::filesystem::resize_file(In("kunden.txt"), 62LL * 1200000000);
  testing::WriteFile(In("mehr.txt"), "");
  std::filesystem::resize_file(In("mehr.txt"), 62LL * 1200000000);
  Set("Eingabedateien [2].Name", "mehr.txt");
  Set("Eingabedateien [3].Name", "fehlt.txt");  // not looked at any more
  Load();
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"! Eingabedateien [2]: Der erste Datensatz von \"" +
                                          In("mehr.txt") + "\" endet nicht mit CRLF.",
                                      "! Insgesamt zu viele Datensätze in den Eingabedateien."}));
}

TEST_F(ParamCheckTest, IdentComesFromTheFirstRecord) {
  Set("Satzaufbau.Ident.Position", "6");
  Set("Satzaufbau.Ident.Länge", "6");
  const TLoadedParameters& p = Load();
  ASSERT_EQ(p.errors, 0);
  EXPECT_EQ(p.set->Text(p.set->InputFiles()[0].ident), FromUtf8("Müller", CodePage::k437));
}

TEST_F(ParamCheckTest, ExistingOutputsAreLeftAsTheyAre) {
  testing::WriteFile(Out("vld.lst"), "Liste des letzten Laufs");
  testing::WriteFile(Out("vld2.tmp"), "Klassenschlüssel");
  ASSERT_EQ(Load().errors, 0);
  EXPECT_EQ(testing::ReadFile(Out("vld.lst")), "Liste des letzten Laufs");
  EXPECT_EQ(testing::ReadFile(Out("vld2.tmp")), "Klassenschlüssel");
  EXPECT_FALSE(std::filesystem::exists(Out("vld.out")));  // created and deleted again
}

TEST_F(ParamCheckTest, RestartNeedsTheMergedClassKeyFile) {
  Load(RunStart::kRestart);
  EXPECT_EQ(Messages(), std::vector<std::string>{"! Temporärdatei 2: \"" + Out("vld2.tmp") +
                                                 "\" kann nicht geöffnet werden."});
  testing::WriteFile(Out("vld2.tmp"), "Klassenschlüssel");
  EXPECT_EQ(Load(RunStart::kRestart).errors, 0);
  EXPECT_EQ(testing::ReadFile(Out("vld2.tmp")), "Klassenschlüssel");
}

TEST_F(ParamCheckTest, FileListOfFiveHundredIsAcceptedAndTheNextRefused) {
  std::string list;
  for (int i = 1; i <= 500; ++i) {
    const std::string name = "k" + std::to_string(i) + ".txt";
    testing::WriteFile(In(name), Record("10115", "Name " + std::to_string(i), "Weg 1"));
    list += "G " + std::to_string(i % 1000) + " \"" + name + "\"\r\n";
  }
  testing::WriteFile(In("liste.txt"), list);
  Set("Eingabedateien.Ort der Eingabeliste", "Listendatei");
  Set("Eingabedateien.Listendatei", "liste.txt");
  const TLoadedParameters& p = Load();
  ASSERT_EQ(Messages(), std::vector<std::string>{});
  ASSERT_EQ(p.set->InputFiles().size(), 500u);
  EXPECT_EQ(p.set->InputFiles()[499].number, 500);
  EXPECT_EQ(p.set->FileName(p.set->InputFiles()[499].file), In("k500.txt"));
  EXPECT_EQ(p.set->Fields().totalRecords, 500);
  testing::WriteFile(In("liste.txt"), list + "S 1 \"k1.txt\"\r\n");
  Load();
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "! Fehler bei >>> S <<<in Zeile 501 der Dateiliste liste.txt:\r"
                            "zu viele Dateien (mehr als 500)"});
}

TEST_F(ParamCheckTest, VectorOfWrongKindsListsTheirNumbers) {
  // The loader builds vectors by type; a vector with elements of a wrong kind can only come
  // from elsewhere. Checked on a set filled from the tree with its slots marked.
  auto* set = CreateIn<TParameterCheck>(StandardHeap());
  TransferParameterTree(*root_, *set);
  std::vector<std::uint8_t> flags(30, 0);
  for (int i : {1, 2, 4, 9, 11, 12, 13, 20, 21, 25}) flags[static_cast<std::size_t>(i - 1)] = 1;
  TVectorRef& slots = set->Fields().vectors[4];
  slots.count = -30;
  slots.wrongKinds = set->Add(flags.data(), flags.size());
  std::vector<std::string> messages;
  auto* tables = CreateIn<TMatchTables>(StandardHeap());
  CheckParameterSet(*set, *tables, RunStart::kNew,
                    [&](bool, const std::string& text) { messages.push_back(text); }, {});
  EXPECT_EQ(messages, std::vector<std::string>{
                          "! Slots: Folgende Elemente haben einen falschen Typ: 1 2 4 9 11 12 "
                          "13 20 21 ..."});
  std::fill(flags.begin(), flags.end(), 1);
  slots.wrongKinds = set->Add(flags.data(), flags.size());
  messages.clear();
  CheckParameterSet(*set, *tables, RunStart::kNew,
                    [&](bool, const std::string& text) { messages.push_back(text); }, {});
  EXPECT_EQ(messages, std::vector<std::string>{"! Slots: Alle Elemente haben einen falschen Typ."});
  Free(tables);
  Free(set);
}

}  // namespace
}  // namespace vld
