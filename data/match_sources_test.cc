#include "data/match_sources.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/code_pages.h"
#include "data/csv_format.h"
#include "data/data_test_util.h"
#include "data/odbc_test_env.h"
#include "data/result_csv.h"
#include "params/param_path.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;
using testing::OdbcTestEnvironment;
using testing::ReadFile;
using testing::TempDir;

// What one conversion gave: the engine input files, the adapted parameter set and a result CSV.
struct Outcome {
  std::string matchFile1, matchFile2, params, resultCsv;
  std::int64_t records = 0;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

class MatchSourcesTest : public ::testing::Test {
 protected:
  // Writes a sample into the data source folder of the ODBC test environment ("kunden.*").
  TSampleGenerator MakeSample(TSampleKind kind, std::int64_t count) {
    TSampleOptions options;
    options.kind = kind;
    options.count = count;
    options.seed = 7;
    TSampleGenerator generator(testing::SampleWordLists(), options);
    TSampleFiles files;
    files.folder = OdbcTestEnvironment::Get().Folder();
    files.baseName = "kunden";
    files.sqlite = true;
    WriteSampleFiles(generator, files);
    return generator;
  }
  std::string Sample(const std::string& suffix) {
    return OdbcTestEnvironment::Get().Folder() + "/kunden" + suffix;
  }
  std::string Out() { return dir_.File("aus"); }

  // Converts with a shipped set; every block of three records is one duplicate group.
  Outcome Convert(const TMatchSources& sources, const std::string& setName = "Privatadressen") {
    TParamSet set = testing::ShippedParamSet(setName);
    TConvertOptions options;
    options.outputFolder = Out();
    options.tablesFolder = "/opt/veldrona/Tables";
    const TConvertedSources converted = PrepareMatchSources(sources, options, set);
    std::vector<TResultRecord> records(static_cast<std::size_t>(converted.RecordCount()));
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (i % 5 < 3) {
        records[i].block = static_cast<std::int64_t>(i / 5 + 1);
        records[i].group = static_cast<std::int64_t>(i / 5 + 1);
        records[i].role = i % 5 == 0 ? TResultRole::kHead : TResultRole::kDuplicate;
      }
    }
    WriteResultCsv(dir_.File("ergebnis.csv"), converted, records);
    Outcome out;
    out.matchFile1 = ReadFile(converted.MatchFile(1));
    if (converted.SourceCount() == 2) out.matchFile2 = ReadFile(converted.MatchFile(2));
    out.params = ParamSetBytes(set);
    out.resultCsv = ReadFile(dir_.File("ergebnis.csv"));
    out.records = converted.RecordCount();
    journal_ = converted.Journal();
    set_ = std::move(set);
    return out;
  }
  std::string Text(std::string_view path) {
    const TParamPathTarget target = ResolveParamPath(*set_.root, path);
    if (target.discriminant_of != nullptr) return target.discriminant_of->DiscriminantName();
    return target.value->AsText(1);
  }
  static TSourceSpec Csv(const std::string& file) {
    TSourceSpec s;
    s.file = file;
    return s;
  }

  TempDir dir_;
  TParamSet set_;
  std::vector<std::string> journal_;
};

TMatchSources One(const TSourceSpec& given) {
  TMatchSources sources;
  sources.first = given;
  return sources;
}

TSourceSpec Odbc(const std::string& connection) {
  TSourceSpec s;
  s.kind = TSourceKind::kOdbc;
  s.connection = connection;
  s.sql = "SELECT * FROM adressen";
  return s;
}

// The same sample read as CSV (UTF-8 and Windows-1252), as fixed-width text (with a text field
// list or a field-list file) and through ODBC from a SQLite table gives the same engine input
// files, the same parameter set and the same result CSV, byte for byte.
TEST_F(MatchSourcesTest, EveryFormOfTheSampleGivesTheSameEngineInput) {
  constexpr std::int64_t kCount = 600;
  const TSampleGenerator sample = MakeSample(TSampleKind::kPersons, kCount);
  TSourceSpec fixedText;
  fixedText.kind = TSourceKind::kFixed;
  fixedText.file = Sample(".txt");
  fixedText.fieldList = Sample("_felder.txt");
  fixedText.codePage = CodePage::k437;
  TSourceSpec fixedBinary = fixedText;
  fixedBinary.fieldList = Sample(".fls");
  const std::pair<const char*, TSourceSpec> forms[] = {
      {"CSV UTF-8", Csv(Sample(".csv"))},
      {"CSV Windows-1252", Csv(Sample("_1252.csv"))},
      {"fixed width, text field list", fixedText},
      {"fixed width, field-list file", fixedBinary},
      {"ODBC by data source name", Odbc(testing::kTestDsn)},
      {"ODBC by connection string",
       Odbc(std::string("Driver=") + testing::kOdbcDriver + ";Database=" + Sample(".db"))},
  };
  const Outcome first = Convert(One(forms[0].second));
  for (const auto& [what, given] : forms) {
    SCOPED_TRACE(what);
    const Outcome other = Convert(One(given));
    // Compared as booleans: the files are long.
    EXPECT_TRUE(other.matchFile1 == first.matchFile1);
    EXPECT_TRUE(other.params == first.params);
    EXPECT_TRUE(other.resultCsv == first.resultCsv);
  }

  // The engine file against the sample itself: one record per row, in row order, each with
  // its last name at its layout position and its record number at the end.
  ASSERT_EQ(first.records, kCount);
  Convert(One(forms[0].second));
  const std::int32_t length = std::stoi(Text("Satzaufbau.Datensatzlänge"));
  ASSERT_EQ(first.matchFile1.size(), static_cast<std::size_t>(kCount * length));
  // The "Name" slot holds first and last name, in this order.
  const std::int32_t lastName = std::stoi(Text("Kriterien.Slots [1].Felder [2].Position"));
  const std::int32_t lastNameLength = std::stoi(Text("Kriterien.Slots [1].Felder [2].Länge"));
  for (std::int64_t i = 0; i < kCount; ++i) {
    const std::string record = first.matchFile1.substr(static_cast<std::size_t>(i * length),
                                                       static_cast<std::size_t>(length));
    std::string expected = RecordText(sample.Record(i).values[4], CodePage::kUtf8);
    expected.resize(static_cast<std::size_t>(lastNameLength), ' ');
    ASSERT_EQ(record.substr(static_cast<std::size_t>(lastName - 1), expected.size()), expected)
        << i;
    char number[32];
    std::snprintf(number, sizeof number, "%010lld\r\n", static_cast<long long>(i + 1));
    ASSERT_EQ(record.substr(record.size() - 12), number) << i;
  }

  // The result CSV: every row of the UTF-8 sample exactly as it stands, after the five columns.
  const std::string csv = ReadFile(Sample(".csv"));
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < csv.size();) {
    const std::size_t end = csv.find('\n', start);
    lines.push_back(csv.substr(start, end - start));
    start = end + 1;
  }
  std::string expected = "\xEF\xBB\xBFQuelle;Zeile;Block;Gruppe;Rolle;" + lines[0] + "\r\n";
  for (std::int64_t i = 0; i < kCount; ++i) {
    const bool grouped = i % 5 < 3;
    const std::string block = grouped ? std::to_string(i / 5 + 1) : "";
    const std::string role = !grouped ? "Single" : i % 5 == 0 ? "Kopf" : "Dublette";
    expected += "1;" + std::to_string(i + 1) + ";" + block + ";" + block + ";" + role + ";" +
                lines[static_cast<std::size_t>(i + 1)] + "\r\n";
  }
  EXPECT_EQ(first.resultCsv, expected);
}

TEST_F(MatchSourcesTest, TwoSourcesShareOneLayout) {
  MakeSample(TSampleKind::kPersons, 50);
  TMatchSources sources = One(Csv(Sample(".csv")));
  sources.second = Odbc(testing::kTestDsn);
  sources.secondIsDark = true;
  const Outcome out = Convert(sources);
  ASSERT_EQ(out.records, 100);
  // Source 2 is the same sample: its records differ only in their record numbers.
  const std::size_t length = out.matchFile1.size() / 50;
  ASSERT_EQ(out.matchFile2.size(), out.matchFile1.size());
  for (std::size_t i = 0; i < 50; ++i) {
    const std::string a = out.matchFile1.substr(i * length, length);
    const std::string b = out.matchFile2.substr(i * length, length);
    EXPECT_EQ(a.substr(0, length - 12), b.substr(0, length - 12));
    EXPECT_EQ(std::stoll(b.substr(length - 12, 10)), static_cast<long long>(i + 51));
  }
  EXPECT_EQ(Text("Eingabedateien [1].Name"), "Matchfile1.txt");
  EXPECT_EQ(Text("Eingabedateien [2].Name"), "Matchfile2.txt");
  EXPECT_EQ(Text("Eingabedateien [2].Typ"), "Sperrdatei");
  EXPECT_EQ(Text("Pfade.Eingabepfad"), Out() + "/");
  EXPECT_EQ(Text("Pfade.Tabellenpfad"), "/opt/veldrona/Tables/");
  EXPECT_EQ(journal_.front(), "Eingabedateien werden in gemeinsames Satzformat geschrieben...");
  EXPECT_EQ(journal_[2], "Eingabedatei 2: veldrona_test, 50 Datensätze");
  EXPECT_EQ(journal_.back(), "Fertig.");
  EXPECT_NE(out.resultCsv.find("\r\n2;50;"), std::string::npos);
}

TEST_F(MatchSourcesTest, CompanySampleFillsTheCompanySlot) {
  MakeSample(TSampleKind::kCompanies, 40);
  Convert(One(Csv(Sample(".csv"))), "Firmenadressen");
  EXPECT_EQ(Text("Kriterien.Slots [1].Namensfelder [1].Feldname"), "Firma");
  EXPECT_EQ(Text("Kriterien.Slots [1].AP Felder [1].Feldname"), "Vorname");
  EXPECT_EQ(Text("Kriterien.Slots [1].AP Felder [2].Feldname"), "Nachname");
  EXPECT_EQ(Text("Kriterien.Slots [2].Felder [1].Feldname"),
            "Stra\xC3\x9F"
            "e");
  EXPECT_EQ(Text("Satzaufbau.Klassenschlüssel [1].Feldname"), "PLZ");
}

TEST_F(MatchSourcesTest, FieldAssignmentsByNameOrCode) {
  testing::WriteFile(dir_.File("k.csv"),
                     "Kunde;Strasse;Nr;Postleitzahl;Stadt;Notiz\n"
                     "Meier;Hauptstr.;12a;53111;Bonn;x\n");
  TMatchSources sources = One(Csv(dir_.File("k.csv")));
  // Street and house number share a type; types by name or code, columns ignoring case.
  sources.fieldAssignments = {"Kunde=Nachname", "Strasse=Strasse", "Nr=3000",
                              "Postleitzahl=postleitzahl", "stadt=ort"};
  EXPECT_EQ(ErrorTextOf<EUserError>([&] { Convert(sources); }),
            "Die Parameterdatei sieht mindestens ein Feld vom Typ Vorname vor. Bitte geben Sie "
            "mindestens ein solches Feld in den Feldlisten an.");
  sources.fieldAssignments.push_back("Notiz=Vorname");
  const Outcome out = Convert(sources);
  EXPECT_EQ(out.matchFile1, "MeierHauptstr.12a53111Bonnx0000000001\r\n");
  EXPECT_EQ(Text("Kriterien.Slots [1].Felder [1].Feldname"), "Kunde");
  EXPECT_EQ(Text("Kriterien.Slots [2].Felder [1].Feldname"), "Notiz");
  EXPECT_EQ(Text("Kriterien.Slots [3].Felder [1].Feldname"), "Strasse");
  EXPECT_EQ(Text("Kriterien.Slots [3].Felder [2].Feldname"), "Nr");
  EXPECT_EQ(Text("Satzaufbau.Ortsfeld.Position"), "23");

  const std::pair<std::vector<std::string>, std::string> errors[] = {
      {{"Postleitzahl=PLZ"},  // "PLZ" names a column by its header, it is no type name
       "Unbekannter Feldtyp \"PLZ\" für die Spalte \"Postleitzahl\". Möglich sind: Name, "
       "Vorname, Nachname, Firma, Strasse, Strasse/Postfach, Ort, Postleitzahl, Ident."},
      {{"Telefon=Name"},
       "Die Spalte \"Telefon\" gibt es in keiner Datenquelle. Vorhanden sind: Kunde, Strasse, Nr, "
       "Postleitzahl, Stadt, Notiz."},
      {{"Kunde"}, "Die Feldzuordnung \"Kunde\" hat nicht die Form SPALTE=TYP."},
  };
  for (const auto& [assignments, error] : errors) {
    SCOPED_TRACE(error);
    sources.fieldAssignments = assignments;
    EXPECT_EQ(ErrorTextOf<EUserError>([&] { Convert(sources); }), error);
  }
  // Without assignments the header names decide; here none names a type.
  testing::WriteFile(dir_.File("k.csv"), "Kunde;Strasze;Nr;Stadt\nx;y;1;3\n");
  sources.fieldAssignments.clear();
  EXPECT_EQ(ErrorTextOf<EUserError>([&] { Convert(sources); }),
            "Keiner Spalte der Datenquelle 1 ist ein Feldtyp zugeordnet (Spalten: Kunde, Strasze, "
            "Nr, Stadt). Bitte ordnen Sie Spalten einen Feldtyp zu: Name, Vorname, Nachname, "
            "Firma, Strasse, Strasse/Postfach, Ort, Postleitzahl, Ident.");
}

TEST_F(MatchSourcesTest, HeaderNamesGiveTheTypes) {
  testing::WriteFile(dir_.File("k.csv"),
                     "VORNAME,nachname,Stra\xDF"
                     "e,Hausnummer,PLZ,Ort,Telefon\n"
                     "Hans,M\xFCller,Hauptstr.,1,53111,Bonn,0228\n");
  const Outcome out = Convert(One(Csv(dir_.File("k.csv"))));
  EXPECT_EQ(out.matchFile1, "HansM\x81llerHauptstr.153111Bonn0000000001\r\n");
  EXPECT_EQ(Text("Kriterien.Slots [3].Felder [2].Feldname"), "Hausnummer");
  EXPECT_NE(out.resultCsv.find(";Telefon\r\n"), std::string::npos);
  EXPECT_NE(out.resultCsv.find(";Bonn;0228\r\n"), std::string::npos);
}

TEST_F(MatchSourcesTest, OneColumnAndHeaderlessFiles) {
  // No separator in the first rows: every line is one value, even one holding a ';' later.
  testing::WriteFile(dir_.File("k.csv"), "Name\nMeier\nM\xC3\xBCller; Hans\n");
  TMatchSources sources = One(Csv(dir_.File("k.csv")));
  sources.fieldAssignments = {"Name=Nachname"};
  TParamSet set = testing::NewParamSet();
  AssignParamPath(set, "Kriterien.Slots [1].Art des Slots=Name");
  TConvertOptions options;
  options.outputFolder = Out();
  TConvertedSources converted = PrepareMatchSources(sources, options, set);
  EXPECT_EQ(converted.RecordCount(), 2);
  EXPECT_EQ(ReadFile(converted.MatchFile(1)),
            "Meier       0000000001\r\nM\x81ller; Hans0000000002\r\n");

  sources.first.header = false;
  sources.fieldAssignments = {"Feld 1=Name"};
  converted = PrepareMatchSources(sources, options, set);
  EXPECT_EQ(converted.RecordCount(), 3);
  EXPECT_EQ(converted.ColumnNames(1), std::vector<std::string>{"Feld 1"});
  EXPECT_EQ(converted.OriginOf(2).row, 3);
}

TEST_F(MatchSourcesTest, ASetThatCannotTakeTheLayoutStaysUnchangedAndNothingIsWritten) {
  testing::WriteFile(dir_.File("k.csv"),
                     "Stra\xC3\x9F"
                     "e;PLZ;Ort\nHauptstr. 1;53111;Bonn\n");
  TParamSet set = testing::ShippedParamSet("Firmenadressen");
  const std::string before = ParamSetBytes(set);
  TConvertOptions options;
  options.outputFolder = Out();
  EXPECT_EQ(ErrorTextOf<EUserError>(
                [&] { PrepareMatchSources(One(Csv(dir_.File("k.csv"))), options, set); }),
            "Die Parameterdatei sieht mindestens ein Feld vom Typ Firma vor. Bitte geben Sie "
            "mindestens ein solches Feld in den Feldlisten an.");
  EXPECT_EQ(ParamSetBytes(set), before);
  EXPECT_FALSE(std::filesystem::exists(Out() + "/Matchfile1.txt"));
  EXPECT_FALSE(std::filesystem::exists(Out() + "/Quellzeilen.tmp"));
}

TEST_F(MatchSourcesTest, SourceProblemsAreGermanMessages) {
  testing::WriteFile(dir_.File("null.csv"), std::string("Name;Ort\nMeier;Bo\0nn\n", 21));
  TSourceSpec fixed;
  fixed.kind = TSourceKind::kFixed;
  fixed.file = dir_.File("null.csv");
  const std::pair<TSourceSpec, std::string> cases[] = {
      {Csv(dir_.File("fehlt.csv")), "Die Datei " + dir_.File("fehlt.csv") + " existiert nicht."},
      {Csv(dir_.File("null.csv")), "Die Datei \"" + dir_.File("null.csv") +
                                       "\" enthält in Zeile 2 ein Nullbyte; sie ist keine "
                                       "Textdatei."},
      {fixed, "Für die Datei " + dir_.File("null.csv") +
                  " mit festen Feldpositionen fehlt die Feldliste."},
      {Odbc(""), "Bitte geben Sie eine ODBC-Datenquelle an."},
  };
  for (const auto& [given, error] : cases) {
    SCOPED_TRACE(error);
    TParamSet set = testing::ShippedParamSet("Privatadressen");
    TConvertOptions options;
    options.outputFolder = Out();
    EXPECT_EQ(ErrorTextOf<EUserError>([&] {
                TMatchSources sources = One(given);
                sources.fieldAssignments = {"Name=Nachname"};
                PrepareMatchSources(sources, options, set);
              }),
              error);
  }
}

TEST_F(MatchSourcesTest, AFieldListKeepsItsTypesAndAssignmentsAddToThem) {
  testing::WriteFile(dir_.File("f.txt"), "Meier     Bonn \r\nMaier     Bonn \r\n");
  testing::WriteFile(dir_.File("f_felder.txt"), "Name;1;10;Nachname\nOrt;11;5\n");
  TSourceSpec fixed;
  fixed.kind = TSourceKind::kFixed;
  fixed.file = dir_.File("f.txt");
  fixed.fieldList = dir_.File("f_felder.txt");
  TParamSet set = testing::NewParamSet();
  AssignParamPath(set, "Kriterien.Slots [1].Art des Slots=Name");
  TConvertOptions options;
  options.outputFolder = Out();
  TMatchSources sources = One(fixed);
  TConvertedSources converted = PrepareMatchSources(sources, options, set);
  ASSERT_EQ(converted.Layout().size(), 1u);  // "Ort" has no type in the list
  EXPECT_EQ(converted.Layout()[0].typ, 1002);
  sources.fieldAssignments = {"Ort=Ort"};
  converted = PrepareMatchSources(sources, options, set);
  ASSERT_EQ(converted.Layout().size(), 2u);
  EXPECT_EQ(converted.Layout()[1], (TExtFieldDesc{"Ort", 11, 5, 4000, 1, -2}));
  EXPECT_EQ(ReadFile(converted.MatchFile(1)),
            "Meier     Bonn 0000000001\r\nMaier     Bonn 0000000002\r\n");
}

TEST_F(MatchSourcesTest, RefusesToWriteOverItsOwnSource) {
  std::filesystem::create_directories(Out());
  testing::WriteFile(Out() + "/Matchfile1.txt", "Name\nMeier\n");
  TMatchSources sources = One(Csv(Out() + "/Matchfile1.txt"));
  sources.fieldAssignments = {"Name=Nachname"};
  TParamSet set = testing::ShippedParamSet("Privatadressen");
  TConvertOptions options;
  options.outputFolder = Out();
  EXPECT_EQ(ErrorTextOf<EUserError>([&] { PrepareMatchSources(sources, options, set); }),
            "Die Eingabedatei " + Out() +
                "/Matchfile1.txt läge im Ausgabeordner unter dem Namen "
                "Matchfile1.txt und würde überschrieben. Bitte wählen Sie einen anderen "
                "Ausgabeordner.");
  EXPECT_EQ(ReadFile(Out() + "/Matchfile1.txt"), "Name\nMeier\n");
}

TEST(ResultCsvTest, SourcesWithDifferentColumnsShareTheColumnsOfOneName) {
  TempDir dir;
  testing::WriteFile(dir.File("a.csv"), "Name;Ort;Name\nMeier;\"Bonn; Beuel\";Hans\n");
  testing::WriteFile(dir.File("b.csv"),
                     "Ort;Name;Telefon\n\"K\xC3\xB6ln\";\"Ma\"\"ier\";\"1\n2\"\n");
  TSourceSpec a, b;
  a.file = dir.File("a.csv");
  b.file = dir.File("b.csv");
  TMatchSources sources = One(a);
  sources.second = b;
  sources.fieldAssignments = {"Name=Name"};
  TParamSet set = testing::NewParamSet();
  AssignParamPath(set, "Kriterien.Slots [1].Art des Slots=Name");
  TConvertOptions options;
  options.outputFolder = dir.File("aus");
  const TConvertedSources converted = PrepareMatchSources(sources, options, set);
  const TResultRecord records[] = {{7, 3, TResultRole::kHead}, {7, 3, TResultRole::kDuplicate}};
  WriteResultCsv(dir.File("ergebnis.csv"), converted, records);
  EXPECT_EQ(ReadFile(dir.File("ergebnis.csv")),
            "\xEF\xBB\xBFQuelle;Zeile;Block;Gruppe;Rolle;Name;Ort;Name;Telefon\r\n"
            "1;1;7;3;Kopf;Meier;\"Bonn; Beuel\";Hans;\r\n"
            "2;1;7;3;Dublette;\"Ma\"\"ier\";K\xC3\xB6ln;;\"1\n2\"\r\n");
  EXPECT_EQ(testing::FatalTextOf(
                [&] { WriteResultCsv(dir.File("x.csv"), converted, std::span(records).first(1)); }),
            "result records do not match the input records");
}

TEST(MatchSourcesParseTest, CodePagesAndSeparators) {
  EXPECT_EQ(ParseCodePage("437"), CodePage::k437);
  EXPECT_EQ(ParseCodePage("CP850"), CodePage::k850);
  EXPECT_EQ(ParseCodePage("Windows-1252"), CodePage::k1252);
  EXPECT_EQ(ParseCodePage("UTF-8"), CodePage::kUtf8);
  EXPECT_EQ(ParseCodePage("latin1"), std::nullopt);
  EXPECT_EQ(ParseSeparator(";"), ';');
  EXPECT_EQ(ParseSeparator("tab"), '\t');
  EXPECT_EQ(ParseSeparator("\\t"), '\t');
  EXPECT_EQ(ParseSeparator(";;"), std::nullopt);
  EXPECT_EQ(ParseSeparator(""), std::nullopt);
}

const OdbcTestEnvironment& kEnvironment = OdbcTestEnvironment::Get();

}  // namespace
}  // namespace vld
