#include "data/csv_access.h"

#include <gtest/gtest.h>

#include "platform/fatal.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;
using testing::TempDir;
using Rows = std::vector<std::vector<std::string>>;

class CsvAccessTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) {
    const std::string name = dir_.File("daten.csv");
    testing::WriteFile(name, bytes);
    return name;
  }
  // Opens `bytes` with `count` described fields and reads every record.
  Rows ReadAll(const std::string& bytes, std::size_t count, char separator = ',',
               bool header = false, bool strict = false, CodePage cp = CodePage::k1252) {
    TCSVAccess csv;
    csv.SetFileName(Write(bytes));
    csv.SetSeparator(separator);
    csv.SetQuote('"');
    csv.SetHeader(header);
    csv.SetStrictFieldCount(strict);
    csv.codePage = cp;
    csv.Initialize(TFieldDescs(count, TFieldDesc{"f", 0, 0, -1}));
    Rows rows;
    csv.First();
    while (!csv.Eof()) {
      csv.Fetch();
      std::vector<std::string> row;
      for (std::int32_t i = 0; i < csv.FieldCount(); ++i) row.push_back(csv.GetField(i));
      rows.push_back(row);
      csv.Skip();
    }
    return rows;
  }
  TempDir dir_;
};

TEST_F(CsvAccessTest, QuotedValuesAndTheirWidths) {
  TCSVAccess csv;
  csv.SetFileName(Write("a,\"b,c\",d\r\n\"\",\"x\"\"y\",zz\r\n"));
  csv.SetSeparator(',');
  csv.SetQuote('"');
  csv.Initialize(TFieldDescs(3));
  EXPECT_EQ(csv.RecordCount(), 2);
  const std::int32_t positions[] = {1, 2, 5}, lengths[] = {1, 3, 2};
  for (std::int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(csv.GetFieldDesc(i).position, positions[i]);
    EXPECT_EQ(csv.GetFieldDesc(i).length, lengths[i]);
  }
  csv.First();
  csv.Fetch();
  EXPECT_EQ(csv.GetField(0), "a");
  EXPECT_EQ(csv.GetField(1), "b,c");
  EXPECT_EQ(csv.GetField(2), "d");
  csv.Skip();
  csv.Fetch();
  EXPECT_EQ(csv.GetField(0), "");
  EXPECT_EQ(csv.GetField(1), "x\"y");
  csv.Skip();
  EXPECT_TRUE(csv.Eof());
  // Reading again from the start gives the same.
  csv.First();
  csv.Fetch();
  EXPECT_EQ(csv.GetField(1), "b,c");
}

TEST_F(CsvAccessTest, MoreValuesThanDescribedAreIgnoredFewerAreAnError) {
  EXPECT_EQ(ReadAll("a,b,c\n", 2), (Rows{{"a", "b"}}));
  const std::string name = dir_.File("daten.csv");
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { ReadAll("a,b\nc\n", 2); }),
            name + " ist keine gültige CSV-Datei: Zeile 2 hat 1 Felder, erwartet werden 2.");
}

TEST_F(CsvAccessTest, OneColumnFileHasOneValuePerLine) {
  // A line without separator is one value: a list of names is a valid one-column file.
  TCSVAccess csv;
  csv.SetFileName(Write("Meier\nM\xFCller, Hans\n"));
  csv.SetSeparator(';');
  csv.SetQuote('"');
  EXPECT_EQ(csv.CountFields(), 1);
  EXPECT_EQ(ReadAll("Meier\nM\xFCller, Hans\n", 1, ';'), (Rows{{"Meier"}, {"M\xFCller, Hans"}}));
}

TEST_F(CsvAccessTest, CountFieldsIsMinusOneWhenItCannotCount) {
  TCSVAccess csv;
  csv.SetFileName(dir_.File("fehlt.csv"));
  csv.SetSeparator(',');
  csv.SetQuote('"');
  EXPECT_EQ(csv.CountFields(), -1);
  csv.SetFileName(Write("a,b,\"c\n\"\n"));
  EXPECT_EQ(csv.CountFields(), 3);
  csv.Initialize(TFieldDescs(1));
  EXPECT_EQ(csv.CountFields(), -1);
}

TEST_F(CsvAccessTest, SettersRefuseWhileInitialisedAndTheObjectStaysInitialised) {
  TCSVAccess csv;
  csv.SetFileName(Write("a,b\n"));
  csv.SetSeparator(',');
  csv.SetQuote('"');
  csv.Initialize(TFieldDescs(2));
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { csv.SetSeparator(';'); }),
            "Änderung des Trennzeichens im initialisierten Zustand nicht möglich!");
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { csv.SetQuote('\''); }),
            "Änderung des Begrenzungszeichens im initialisierten Zustand nicht möglich!");
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { csv.SetFileName("x"); }),
            "Änderung des Dateinamens im initialisierten Zustand nicht möglich!");
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { csv.Initialize(TFieldDescs(2)); }),
            "Die Datenmenge ist bereits initialisiert.");
  EXPECT_TRUE(csv.Active());
  EXPECT_EQ(csv.Separator(), ',');
  csv.First();
  csv.Fetch();
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { csv.GetField(-1); }),
            "Index -1 liegt ausserhalb der zulässigen Grenzen.");
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { csv.GetField(2); }),
            "Index 2 liegt ausserhalb der zulässigen Grenzen.");
  csv.Close();
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { csv.First(); }), "Datenmenge noch nicht initialisiert.");
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { csv.FieldCount(); }),
            "Datenmenge noch nicht initialisiert.");
}

TEST_F(CsvAccessTest, RecordsReadAheadComeInOrderOverManyBatches) {
  std::string bytes;
  Rows expected;
  for (int i = 1; i <= 5000; ++i) {
    const std::string n = std::to_string(i);
    bytes += n + ",Name " + n + ",\"Stra\337e, " + n + "\"\r\n";
    expected.push_back({n, "Name " + n, "Stra\337e, " + n});
  }
  EXPECT_TRUE(ReadAll(bytes, 3) == expected);
  // Starting again while the next records are being read gives them all once more.
  TCSVAccess csv;
  csv.SetFileName(Write(bytes));
  csv.SetSeparator(',');
  csv.SetQuote('"');
  csv.Initialize(TFieldDescs(3));
  for (int round = 0; round < 2; ++round) {
    csv.First();
    for (int i = 1; i <= 1500; ++i) {
      ASSERT_FALSE(csv.Eof());
      csv.Fetch();
      ASSERT_EQ(csv.GetField(0), std::to_string(i));
      ASSERT_EQ(csv.CurrentLine(), i);
      csv.Skip();
    }
  }
  csv.Close();  // while records are still being read ahead
}

TEST_F(CsvAccessTest, RecordSpoiledAfterTheWidthPassFailsAtItsTurn) {
  // The file changes (keeping its length) between the pass that measures it and the one that
  // reads it: the records before the bad one are delivered, then its error comes, naming its
  // line.
  struct Case {
    int bad;
    std::string badLine;
    CodePage codePage;
    std::string message;
  } cases[] = {
      {2500, "2500xx\n", CodePage::k1252,
       " ist keine gültige CSV-Datei: Zeile 2500 hat 1 Felder, erwartet werden 2."},
      {3500, "3500,\xFF\n", CodePage::kUtf8, " ist in Zeile 3500 nicht gültig in UTF-8 kodiert."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bad);
    std::string good, spoiled;
    for (int i = 1; i <= 5000; ++i) {
      const std::string line = std::to_string(i) + ",x\n";
      good += line;
      spoiled += i == c.bad ? c.badLine : line;
    }
    TCSVAccess csv;
    const std::string name = Write(good);
    csv.SetFileName(name);
    csv.SetSeparator(',');
    csv.SetQuote('"');
    csv.codePage = c.codePage;
    csv.Initialize(TFieldDescs(2));
    testing::WriteFile(name, spoiled);
    int delivered = 0;
    const std::string error = ErrorTextOf<EDataAccess>([&] {
      csv.First();
      while (!csv.Eof()) {
        csv.Fetch();
        ASSERT_EQ(csv.GetField(0), std::to_string(delivered + 1));
        ++delivered;
        csv.Skip();
      }
    });
    EXPECT_EQ(delivered, c.bad - 1);
    const std::string quoted = c.codePage == CodePage::kUtf8 ? "Die Datei \"" + name + "\"" : name;
    EXPECT_EQ(error, quoted + c.message);
  }
}

TEST_F(CsvAccessTest, MissingFileAndDescription) {
  TCSVAccess csv;
  csv.SetFileName(dir_.File("fehlt.csv"));
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { csv.Initialize(TFieldDescs(1)); }),
            "Die Datei " + dir_.File("fehlt.csv") + " existiert nicht.");
  EXPECT_FALSE(csv.Active());
  csv.SetSeparator(';');
  csv.SetQuote('"');
  csv.codePage = CodePage::k1252;
  EXPECT_EQ(csv.Description(), "Kommata-getrennte Datei - " + dir_.File("fehlt.csv") +
                                   "\r\nCodepage: Windows (1252) Quote: \" Trenner:;");
}

// Hostile input: every case ends with the values or with a German message naming the file and
// the line, never a crash.
TEST_F(CsvAccessTest, HostileFiles) {
  const std::string name = dir_.File("daten.csv");
  const std::string megabyte(1 << 20, 'x');
  std::string wide = "k0", wideRow = "v0";
  for (int i = 1; i < 10000; ++i) {
    wide += ";k" + std::to_string(i);
    wideRow += ";v" + std::to_string(i);
  }
  struct Case {
    const char* what;
    std::string bytes;
    std::size_t fields;
    Rows rows;
    std::string error;
    CodePage cp = CodePage::k1252;
  };
  const Case cases[] = {
      {"separator in quotes", "a;b\n\"x;y\";z\n", 2, {{"x;y", "z"}}, ""},
      {"quotes in quotes", "a;b\n\"er sagt \"\"ja\"\"\";z\n", 2, {{"er sagt \"ja\"", "z"}}, ""},
      {"line break in quotes",
       "a;b\n\"Zeile 1\nZeile 2\";z\r\nu;v\n",
       2,
       {{"Zeile 1\nZeile 2", "z"}, {"u", "v"}},
       ""},
      {"CR LF in quotes", "a;b\r\n\"1\r\n\r\n2\";z\r\n", 2, {{"1\r\n\r\n2", "z"}}, ""},
      {"no final line break", "a;b\nx;y", 2, {{"x", "y"}}, ""},
      {"carriage returns only", "a;b\rx;y\ru;v", 2, {{"x", "y"}, {"u", "v"}}, ""},
      {"empty lines", "a;b\n\n\nx;y\n\n", 2, {{"x", "y"}}, ""},
      {"byte-order mark",
       "\xEF\xBB\xBF"
       "a;b\nx;\xC3\xBC\n",
       2,
       {{"x", "\xC3\xBC"}},
       ""},
      {"stray quote inside a value", "a;b\n12\" Zoll;y\n", 2, {{"12\" Zoll", "y"}}, ""},
      {"text after a closing quote", "a;b\n\"ab\"c;y\n", 2, {{"abc", "y"}}, ""},
      {"empty trailing values", "a;b\nx;y;;\n", 2, {{"x", "y"}}, ""},
      {"line of one megabyte", "a;b\n" + megabyte + ";y\n", 2, {{megabyte, "y"}}, ""},
      {"ten thousand columns", wide + "\n" + wideRow + "\n", 10000, {}, ""},
      {"zero byte",
       std::string("a;b\nx\0;y\n", 9),
       2,
       {},
       "Die Datei \"" + name + "\" enthält in Zeile 2 ein Nullbyte; sie ist keine Textdatei."},
      {"invalid UTF-8 after a byte-order mark",
       "\xEF\xBB\xBF"
       "a;b\nx;\xFC\n",
       2,
       {},
       "Die Datei \"" + name + "\" ist in Zeile 2 nicht gültig in UTF-8 kodiert."},
      {"invalid UTF-8 read as UTF-8",
       "a;b\nx;y\nx;\xC3\n",
       2,
       {},
       "Die Datei \"" + name + "\" ist in Zeile 3 nicht gültig in UTF-8 kodiert.",
       CodePage::kUtf8},
      {"UTF-16",
       std::string("\xFF\xFE"
                   "a\0;\0b\0",
                   8),
       2,
       {},
       "Die Datei \"" + name +
           "\" ist in UTF-16 gespeichert. Bitte speichern Sie sie als UTF-8 "
           "oder Windows-1252."},
      {"line longer than 16 MB",
       "a;b\n" + std::string((16 << 20) + 1, 'x') + "\n",
       2,
       {},
       "Die Datei \"" + name +
           "\" hat in Zeile 2 mehr als 16777216 Zeichen; sie ist wohl keine "
           "Textdatei."},
      {"quote never closed",
       "a;b\n\"x;y\nu;v\n",
       2,
       {},
       name + " ist keine gültige CSV-Datei: das Anführungszeichen des Datensatzes in Zeile 2 "
              "wird nicht geschlossen."},
      {"too few values",
       "a;b;c\nx;y;z\nx;y\n",
       3,
       {},
       name + " ist keine gültige CSV-Datei: Zeile 3 hat 2 Felder, erwartet werden 3."},
      {"too many values",
       "a;b\n\"x\ny\";y;z\n",
       2,
       {},
       name + " ist keine gültige CSV-Datei: Zeile 2 hat 3 Felder, erwartet werden 2."},
      {"empty file", "", 2, {}, "Die Datei \"" + name + "\" enthält keine Datensätze."},
      {"header only",
       "a;b\r\n",
       2,
       {},
       "Die Datei \"" + name + "\" enthält nur die Kopfzeile und keine Datensätze."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rows rows;
    const std::string error = ErrorTextOf<EDataAccess>(
        [&] { rows = ReadAll(c.bytes, c.fields, ';', /*header=*/true, /*strict=*/true, c.cp); });
    EXPECT_EQ(error, c.error);
    if (!c.error.empty()) continue;
    if (c.fields == 10000) {
      ASSERT_EQ(rows.size(), 1u);
      ASSERT_EQ(rows[0].size(), 10000u);
      EXPECT_EQ(rows[0][9999], "v9999");
    } else {
      EXPECT_EQ(rows, c.rows);
    }
  }
}

TEST_F(CsvAccessTest, WidthsCountEngineCharactersAndStopAtTheWidestField) {
  TCSVAccess csv;
  csv.SetFileName(
      Write("\xEF\xBB\xBF"
            "a;b\n\xC3\xBC\xC3\xBC;\xE2\x82\xAC\n;" +
            std::string(300, 'y') + "\n"));
  csv.SetSeparator(';');
  csv.SetQuote('"');
  csv.SetHeader(true);
  csv.Initialize(TFieldDescs(2));
  EXPECT_EQ(csv.codePage, CodePage::kUtf8);
  EXPECT_EQ(csv.GetFieldDesc(0).length, 2);               // two characters, four bytes
  EXPECT_EQ(csv.GetFieldDesc(1).length, kMaxFieldWidth);  // "EUR", then 300 characters
  EXPECT_EQ(csv.RecordCount(), 2);
}

TEST_F(CsvAccessTest, ColumnNamesComeFromTheFirstRecord) {
  TCSVAccess csv;
  csv.SetFileName(
      Write("\xEF\xBB\xBF\"Stra\xC3\x9F"
            "e\";PLZ;\"Ort\nTeil\"\nx;y;z\n"));
  csv.SetSeparator(';');
  csv.SetQuote('"');
  EXPECT_EQ(csv.ColumnNames(), (std::vector<std::string>{"Stra\xC3\x9F"
                                                         "e",
                                                         "PLZ", "Ort\nTeil"}));
  EXPECT_EQ(csv.codePage, CodePage::kUtf8);
  csv.SetFileName(Write(""));
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { csv.ColumnNames(); }),
            "Die Datei \"" + dir_.File("daten.csv") + "\" ist leer.");
}

TEST(CsvSplitTest, ValuesOfTheRecordBeforeNeverLeakIntoTheNext) {
  // The value strings are reused from record to record.
  struct Case {
    std::string record;
    std::vector<std::string> values;
  } cases[] = {
      {"eins,zwei,drei,vier", {"eins", "zwei", "drei", "vier"}},
      {"x", {"x"}},
      {",", {"", ""}},
      {"\"a,b\",,\"c\"\"d\"", {"a,b", "", "c\"d"}},
      {"\"\",z", {"", "z"}},
      {"ein sehr langer Wert, der nicht in den kleinen Puffer passt,k",
       {"ein sehr langer Wert", " der nicht in den kleinen Puffer passt", "k"}},
      {"", {""}},
  };
  std::vector<std::string> values;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    SplitCsvRecord(c.record, ',', '"', values);
    EXPECT_EQ(values, c.values);
  }
}

TEST(CsvSeparatorTest, GuessesTheSeparatorFromTheFirstRecords) {
  TempDir dir;
  struct Case {
    const char* what;
    std::string bytes;
    std::optional<char> separator;
  };
  const Case cases[] = {
      {"semicolons", "Name;Ort\nMeier;Bonn\n", ';'},
      {"commas", "Name,Ort,PLZ\nMeier,Bonn,53111\n", ','},
      {"tabs", "Name\tOrt\nMeier\tBonn\n", '\t'},
      {"pipes", "Name|Ort\nMeier|Bonn\n", '|'},
      {"comma inside quotes", "Name;Ort\n\"Meier, Hans\";Bonn\n", ';'},
      {"consistent count wins", "a,b;c\nx,y;z\nx;y\n", ';'},
      {"one column", "Name\nMeier\n", std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::WriteFile(dir.File("x.csv"), c.bytes);
    EXPECT_EQ(DetectCsvSeparator(dir.File("x.csv"), '"'), c.separator);
  }
}

}  // namespace
}  // namespace vld
