#include "matching/match_document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/files/keystream.h"
#include "engine/runtime/file.h"
#include "platform/le_codec.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;

// The plain payload of a protocol file, unscrambled with the seed of its header.
std::string Payload(const std::string& bytes) {
  const auto seed =
      le::GetU32(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), 44), 36);
  std::string plain = bytes.substr(44);
  Keystream(seed ^ TSafeFile::kSeedMask)
      .Apply(std::span(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size()));
  return plain;
}
// The file with `plain` as its payload, scrambled with the seed of its header.
std::string WithPayload(const std::string& bytes, std::string plain) {
  const auto seed =
      le::GetU32(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), 44), 36);
  Keystream(seed ^ TSafeFile::kSeedMask)
      .Apply(std::span(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size()));
  return bytes.substr(0, 44) + plain;
}
void PutI32(std::string& bytes, std::size_t offset, std::int32_t value) {
  le::PutI32(std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()), offset, value);
}

TMatchDocFileEntry Row(std::uint8_t type, std::int32_t records, std::int32_t duplicates,
                       std::string ident, std::string name) {
  TMatchDocFileEntry row;
  row.type = type;
  row.withPriorities = type == 0;
  row.priority = 4 * type + 2;
  row.ident = std::move(ident);
  row.name = std::move(name);
  row.records = records;
  row.intra = 1;
  row.duplicates = duplicates;
  row.blocks = 2;
  row.netShare = records - duplicates;
  row.multiHeads = type == 0 ? 1 : 0;
  return row;
}

// Two files, one additional column, one rating field, triangular matrix.
TMatchDocument SmallDocument() {
  TMatchDocument d;
  d.multiDuplicates = true;
  d.fileMarking = 2;
  d.maxNameLength = 30;
  d.typeSymbols = {'G', 'M', 'S', 'K'};
  d.prioSymbol = '+';
  d.matrixType = 0;
  d.totalRecords = 70;
  d.totalBlocks = 4;
  d.headText = "Kopf";
  d.jobText = "Lauf";
  d.netShareText = "90,00";
  d.infoLines = {"~Mitte", "M\xfcller"};
  d.columnMap = {-11, -12, -13, -2, -6, 1};
  d.rows = {Row(0, 50, 5, "K01", "a.txt"), Row(2, 20, 3, "S02", "b.txt"), Row(0, 50, 5, "", "")};
  TMatchDocAddColEntry note;
  note.cells = {"Bemerkung", "", "eins", "zwei", "", "S1"};
  note.sumWithout = true;
  note.alignment = 1;
  d.addColumns = {note};
  d.ratingData = {3, 4};
  d.matrix = {{}, {7}};
  return d;
}

void ExpectSameContent(const TMatchDocument& a, const TMatchDocument& b) {
  EXPECT_EQ(a.multiDuplicates, b.multiDuplicates);
  EXPECT_EQ(a.suppressPureBlocks, b.suppressPureBlocks);
  EXPECT_EQ(a.fileMarking, b.fileMarking);
  EXPECT_EQ(a.maxNameLength, b.maxNameLength);
  EXPECT_EQ(a.typeSymbols, b.typeSymbols);
  EXPECT_EQ(a.prioSymbol, b.prioSymbol);
  EXPECT_EQ(a.matrixType, b.matrixType);
  EXPECT_EQ(a.oldVersion, b.oldVersion);
  EXPECT_EQ(a.selectedRow, b.selectedRow);
  EXPECT_EQ(a.totalRecords, b.totalRecords);
  EXPECT_EQ(a.totalBlocks, b.totalBlocks);
  EXPECT_EQ(a.headText, b.headText);
  EXPECT_EQ(a.jobText, b.jobText);
  EXPECT_EQ(a.netShareText, b.netShareText);
  EXPECT_EQ(a.infoLines, b.infoLines);
  EXPECT_EQ(a.columnMap, b.columnMap);
  EXPECT_EQ(a.rows, b.rows);
  EXPECT_EQ(a.addColumns, b.addColumns);
  EXPECT_EQ(a.ratingData, b.ratingData);
  EXPECT_EQ(a.matrix, b.matrix);
}

class MatchDocumentTest : public ::testing::Test {
 protected:
  std::string Store(const TMatchDocument& document, const std::string& name) {
    TMatchDocument copy = document;
    copy.Save(dir_.File(name));
    return testing::ReadFile(dir_.File(name));
  }
  std::string LoadError(const std::string& name, TMatchDocument& into) {
    return ErrorTextOf<EUserError>([&] { into.Load(dir_.File(name)); });
  }
  std::string Damaged(const std::string& name) {
    return "Die Datei \"" + dir_.File(name) + "\" ist beschädigt.";
  }
  testing::TempDir dir_;
};

TEST_F(MatchDocumentTest, FileIsLaidOutByteForByte) {
  const std::string bytes = Store(SmallDocument(), "p.mpr");
  EXPECT_EQ(bytes.substr(0, 32), std::string("Veldrona Document (C) Korvist  \x1a"));
  EXPECT_EQ(bytes.substr(32, 4), std::string("\x05\x00\x00\x00", 4));
  EXPECT_EQ(bytes.substr(40, 4), std::string(4, '\0'));

  le::Writer w;
  const auto text = [&w](std::string_view t) {
    w.I32(static_cast<std::int32_t>(t.size()));
    w.Bytes(t);
  };
  // Header record: mark 2, flags, naming, name length, symbols, counts, totals.
  w.U8(0), w.U8(2), w.U8(1), w.U8(0), w.U8(2), w.I32(30);
  w.Bytes("GMSK+");
  w.I32(6), w.I32(2), w.I32(2), w.I32(1), w.I32(1), w.I32(70), w.I32(0);
  w.U8(0), w.Zeros(7), w.I32(4);
  ASSERT_EQ(w.size(), 54u);
  text(""), text("Kopf"), text("Lauf"), text("90,00"), text("~Mitte"), text("M\xfcller");
  for (std::int32_t code : {-11, -12, -13, -2, -6, 1}) w.I32(code);
  w.U8(1), w.U8(1), w.U8(0), w.I32(0);
  for (const char* t : {"Bemerkung", "", "eins", "zwei", "", "S1"}) text(t);
  const struct {
    std::uint8_t type, priorities;
    std::int32_t priority, records, intra, duplicates, net, multi, blocks;
    const char* ident;
    const char* name;
  } rows[] = {{0, 1, 2, 50, 1, 5, 45, 1, 2, "K01", "a.txt"},
              {2, 0, 10, 20, 1, 3, 17, 0, 2, "S02", "b.txt"},
              {0, 1, 2, 50, 1, 5, 45, 1, 2, "", ""}};
  for (const auto& r : rows) {
    w.U8(r.type), w.U8(r.priorities);
    for (std::int32_t v :
         {r.priority, r.records, r.intra, r.duplicates, r.net, r.multi, r.blocks}) {
      w.I32(v);
    }
    text(r.ident), text(r.name);
  }
  w.I32(3), w.I32(4);  // rating data
  w.I32(7);            // matrix row 2 (row 1 of a triangle is empty)
  EXPECT_EQ(Payload(bytes), w.bytes());
}

TEST_F(MatchDocumentTest, StoreLoadStoreKeepsEveryField) {
  for (std::uint8_t matrixType : {0, 1}) {
    SCOPED_TRACE(matrixType);
    TMatchDocument original = SmallDocument();
    original.matrixType = matrixType;
    if (matrixType == 1) original.matrix = {{1, 2}, {3, 4}};
    const std::string first = Store(original, "a.mpr");
    TMatchDocument loaded;
    loaded.Load(dir_.File("a.mpr"));
    ExpectSameContent(loaded, original);
    EXPECT_EQ(loaded.FileName(), dir_.File("a.mpr"));
    const std::string second = Store(loaded, "b.mpr");
    EXPECT_EQ(Payload(second), Payload(first));
    EXPECT_EQ(second.substr(0, 36), first.substr(0, 36));
    EXPECT_NE(second.substr(36, 4), first.substr(36, 4));  // fresh seed per file
  }
}

TEST_F(MatchDocumentTest, ClearedDocumentStoresAndLoads) {
  TMatchDocument empty;
  empty.Save(dir_.File("e.mpr"));
  TMatchDocument loaded = SmallDocument();
  loaded.Load(dir_.File("e.mpr"));
  EXPECT_EQ(loaded.FileCount(), 0);
  ExpectSameContent(loaded, TMatchDocument());
}

TEST_F(MatchDocumentTest, RejectsAFormatMarkOtherThanOneOrTwo) {
  const std::string bytes = Store(SmallDocument(), "p.mpr");
  for (const std::uint8_t mark : {0, 1, 3, 255}) {
    SCOPED_TRACE(mark);
    std::string plain = Payload(bytes);
    plain[1] = static_cast<char>(mark);
    testing::WriteFile(dir_.File("m.mpr"), WithPayload(bytes, plain));
    TMatchDocument d;
    const std::string error = LoadError("m.mpr", d);
    if (mark == 1) {
      EXPECT_EQ(error, "");
    } else {
      EXPECT_EQ(error,
                "Statistik-Protokoll \"" + dir_.File("m.mpr") + "\": ungültiger Sicherheitscode");
    }
  }
}

TEST_F(MatchDocumentTest, AcceptsVersionsOneToFive) {
  const std::string bytes = Store(SmallDocument(), "p.mpr");
  for (const std::int32_t version : {0, 1, 4, 5, 6}) {
    SCOPED_TRACE(version);
    std::string changed = bytes;
    PutI32(changed, 32, version);
    testing::WriteFile(dir_.File("v.mpr"), changed);
    TMatchDocument d;
    const std::string error = LoadError("v.mpr", d);
    if (version >= 1 && version <= 5) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(d.oldVersion, version < 5);
    } else {
      EXPECT_EQ(error, "Statistik-Protokoll \"" + dir_.File("v.mpr") + "\": ungültige Version");
    }
  }
}

TEST_F(MatchDocumentTest, OlderDocumentsGetTheTrefferColumnCodesAndShowDarkDuplicates) {
  TMatchDocument old = SmallDocument();
  // Codes as an older version wrote them: "in %" was -5, "Multi" -9, "Nr." -10, "Art" -14.
  old.columnMap = {-10, -12, -1, -2, -3, -4, -5, -9, -14};
  std::string bytes = Store(old, "p.mpr");
  PutI32(bytes, 32, 4);
  testing::WriteFile(dir_.File("old.mpr"), bytes);
  TMatchDocument d;
  d.Load(dir_.File("old.mpr"));
  EXPECT_TRUE(d.oldVersion);
  EXPECT_EQ(d.columnMap, (std::vector<std::int32_t>{-11, -13, -1, -2, -3, -4, -6, -10, -15}));
  // The Sperr row (row 3) shows its duplicates although the matrix is the compatibility matrix.
  EXPECT_EQ(d.GetCell(cell::kAbsolut, 3), "3");
  TMatchDocument current = SmallDocument();
  EXPECT_EQ(current.GetCell(cell::kAbsolut, 3), "");
}

TEST_F(MatchDocumentTest, OlderDocumentsKeepColumnCodesThatNameNoColumn) {
  // Found by fuzzing: the code -2147483648 in an older document was moved down by one and
  // overflowed.
  TMatchDocument old = SmallDocument();
  old.columnMap = {-2147483647 - 1, -15, -100, -14};
  std::string bytes = Store(old, "p.mpr");
  PutI32(bytes, 32, 4);
  testing::WriteFile(dir_.File("old.mpr"), bytes);
  TMatchDocument d;
  d.Load(dir_.File("old.mpr"));
  EXPECT_EQ(d.columnMap, (std::vector<std::int32_t>{-2147483647 - 1, -15, -100, -15}));
  EXPECT_EQ(d.GetCell(-2147483647 - 1, 2), "???");
}

TEST_F(MatchDocumentTest, DocumentCutAtEveryPositionIsRejectedWithAGermanMessage) {
  const std::string bytes = Store(SmallDocument(), "p.mpr");
  TMatchDocument d = SmallDocument();
  d.Load(dir_.File("p.mpr"));
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    SCOPED_TRACE(size);
    testing::WriteFile(dir_.File("cut.mpr"), bytes.substr(0, size));
    const std::string error = LoadError("cut.mpr", d);
    if (size < 44) {
      EXPECT_EQ(error, "\"" + dir_.File("cut.mpr") + "\" ist kein Statistik-Protokoll");
    } else {
      EXPECT_EQ(error, Damaged("cut.mpr"));
    }
    // A failed load leaves the document as it was.
    EXPECT_EQ(d.FileName(), dir_.File("p.mpr"));
    EXPECT_EQ(d.FileCount(), 2);
  }
}

TEST_F(MatchDocumentTest, DamagedCountsAndCodesAreRejectedBeforeAnythingIsSized) {
  const std::string bytes = Store(SmallDocument(), "p.mpr");
  // Payload offsets: texts from 54, column map from 103, the additional column from 127 (its
  // record and six texts), the rows from 177.
  const std::size_t rowsAt = 177;
  {
    const std::string plain = Payload(bytes);
    const auto* at = reinterpret_cast<const std::uint8_t*>(plain.data());
    ASSERT_EQ(le::GetI32(std::span(at, plain.size()), 103 + 20), 1);     // the additional column
    ASSERT_EQ(le::GetI32(std::span(at, plain.size()), rowsAt + 6), 50);  // records of file 1
  }
  const struct {
    const char* what;
    std::size_t offset;
    std::int32_t value;
    bool byte;
  } cases[] = {
      {"column count huge", 14, 0x7fffffff, false},
      {"column count negative", 14, -1, false},
      {"info line count huge", 18, 0x7fffffff, false},
      {"info line count negative", 18, -5, false},
      {"file count huge", 22, 0x7fffffff, false},
      {"file count negative", 22, -1, false},
      {"file count beyond the rows", 22, 40, false},
      {"rating count huge", 26, 0x7fffffff, false},
      {"rating count negative", 26, -2, false},
      {"additional column count huge", 30, 0x7fffffff, false},
      {"additional column count negative", 30, -1, false},
      {"naming kind unknown", 4, 3, true},
      {"matrix type unknown", 42, 3, true},
      {"additional column number beyond the table", 103 + 20, 2, false},
      {"file type unknown", rowsAt, 4, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string plain = Payload(bytes);
    if (c.byte) {
      plain[c.offset] = static_cast<char>(c.value);
    } else {
      PutI32(plain, c.offset, c.value);
    }
    testing::WriteFile(dir_.File("d.mpr"), WithPayload(bytes, plain));
    TMatchDocument d;
    EXPECT_EQ(LoadError("d.mpr", d), Damaged("d.mpr"));
  }
}

TEST_F(MatchDocumentTest, FailedStoreLeavesTheStoredProtocol) {
  const std::string before = Store(SmallDocument(), "p.mpr");
  TMatchDocument other = SmallDocument();
  other.headText = "anders";
  const FileFaults saved = FileFaultInjection();
  FileFaultInjection() = {};
  FileFaultInjection().failWriteAt = 2;  // the payload, after the header
  const std::string error = ErrorTextOf<EInOutError>([&] { other.Save(dir_.File("p.mpr")); });
  FileFaultInjection() = saved;
  EXPECT_EQ(error, "Fehler beim Schreiben der Datei \"" + dir_.File("p.mpr") +
                       "\": Ein-/Ausgabefehler des Datenträgers.");
  EXPECT_EQ(testing::ReadFile(dir_.File("p.mpr")), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_EQ(other.FileName(), "");
}

TEST_F(MatchDocumentTest, SingleProtocolsPerFile) {
  TMatchDocument whole = SmallDocument();
  whole.rows.insert(whole.rows.begin() + 1, Row(1, 30, 2, "M03", "c.txt"));
  whole.addColumns[0].cells = {"Bemerkung", "", "eins", "drei", "zwei", "", "S1"};
  whole.matrix = {{}, {7}, {8, 9}};
  ASSERT_TRUE(whole.Consistent());

  TMatchDocument single;
  whole.SingleProtocol(single, 2);
  EXPECT_EQ(single.FileCount(), 1);
  EXPECT_EQ(single.SingleNumber(), 2);
  EXPECT_EQ(single.rows, (std::vector<TMatchDocFileEntry>{whole.rows[1], whole.rows[3]}));
  EXPECT_EQ(single.addColumns[0].cells,
            (std::vector<std::string>{"Bemerkung", "", "drei", "", "S1"}));
  EXPECT_TRUE(single.addColumns[0].sumWithout);
  EXPECT_EQ(single.columnMap, whole.columnMap);
  EXPECT_EQ(single.infoLines, whole.infoLines);
  EXPECT_EQ(single.ratingData, (std::vector<std::int32_t>{0}));
  EXPECT_TRUE(single.matrix.empty());
  EXPECT_EQ(single.totalRecords, 70);
  EXPECT_EQ(single.GetCell(cell::kNr, 2), "2");
  EXPECT_EQ(single.GetCell(cell::kBrutto, 4), "70");

  single.Save(dir_.File("s.mpr"));
  TMatchDocument loaded;
  loaded.Load(dir_.File("s.mpr"));
  ExpectSameContent(loaded, single);

  whole.NextSingleProtocol(single, 3);
  EXPECT_EQ(single.SingleNumber(), 3);
  EXPECT_EQ(single.rows[0], whole.rows[2]);
  EXPECT_EQ(single.addColumns[0].cells[2], "zwei");
  EXPECT_EQ(single.rows[1], whole.rows[3]);

  // Outside the files: SingleProtocol only clears, NextSingleProtocol changes nothing.
  whole.NextSingleProtocol(single, 4);
  EXPECT_EQ(single.SingleNumber(), 3);
  whole.SingleProtocol(single, 4);
  EXPECT_EQ(single.FileCount(), 0);
  TMatchDocument other = SmallDocument();
  whole.NextSingleProtocol(other, 1);
  EXPECT_EQ(other.SingleNumber(), 0);
}

TEST_F(MatchDocumentTest, StoringInconsistentTablesIsFatal) {
  TMatchDocument d = SmallDocument();
  d.addColumns[0].cells.pop_back();
  EXPECT_EQ(testing::FatalTextOf([&] { d.Save(dir_.File("x.mpr")); }),
            "TMatchDocument.Save: inconsistent tables");
  d = SmallDocument();
  d.matrix = {{}, {}};
  EXPECT_FALSE(d.Consistent());
  d = SmallDocument();
  d.columnMap.push_back(2);
  EXPECT_FALSE(d.Consistent());
  EXPECT_FALSE(std::filesystem::exists(dir_.File("x.mpr")));
}

TEST(MatchDocumentCellTest, PercentTextsUseTheDecimalComma) {
  const struct {
    std::int64_t part, whole;
    const char* text;
  } cases[] = {
      {135, 150, "90,00"}, {1, 8, "12,50"}, {2, 3, "66,67"},     {1, 32, "3,13"},
      {0, 7, "0,00"},      {0, 0, "0,00"},  {1999, 2000, "100"}, {19989, 20000, "99,95"},
      {5, 5, "100"},       {1, 3, "33,33"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.part) + "/" + std::to_string(c.whole));
    EXPECT_EQ(PercentText(c.part, c.whole), c.text);
  }
}

TEST(MatchDocumentCellTest, PatternsTakeOneValue) {
  EXPECT_EQ(FillPattern("Lauf %s vom %s", "A"), "Lauf A vom %s");
  EXPECT_EQ(FillPattern("100%% %d %", "x"), "100% %d %");
  EXPECT_EQ(FillPattern("ohne", "x"), "ohne");
}

TEST(MatchDocumentCellTest, TypeMaskHidesMasterIntraWithPureBlocksSuppressed) {
  TMatchDocument d = SmallDocument();
  d.rows[1] = Row(1, 20, 3, "M02", "b.txt");
  EXPECT_EQ(d.GetCell(cell::kIntra, 3), "1");
  d.suppressPureBlocks = true;
  EXPECT_EQ(d.GetCell(cell::kIntra, 3), "");
  EXPECT_EQ(d.GetCell(cell::kIntra, 2), "1");
  EXPECT_EQ(d.GetCell(cell::kPrio, 2), "0+");
  EXPECT_EQ(d.GetCell(cell::kPrio, 3), "1 ");
  EXPECT_EQ(d.GetCell(cell::kBrutto, 7), "");
}

}  // namespace
}  // namespace vld
