#include "matching/match_stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/runtime/heap.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::FatalTextOf;

std::string S(std::size_t n) { return std::string(n, ' '); }

struct InputFile {
  InputFileType type;
  std::uint16_t priority;  // effective priority
  std::int64_t records;
  std::string path;
  std::string ident;
};

// A checked set with the input files and settings the statistics read.
class StatsTest : public ::testing::Test {
 protected:
  StatsTest() : set_(CreateIn<TParameterCheck>(StandardHeap())) {
    TParameterFields& f = set_->Fields();
    const std::string symbols = "GMSK+- =%:*+";
    for (std::size_t i = 0; i < 13; ++i) f.symbols[i] = i < symbols.size() ? symbols[i] : ' ';
    f.symbols[12] = '+';
    f.maxNameLength = 30;
    f.columns = 80;
  }
  ~StatsTest() override {
    Free(stats_);
    Free(set_);
  }

  void Files(const std::vector<InputFile>& inputs) {
    std::vector<TInputFileEntry> entries;
    std::uint16_t number = 0;
    for (const InputFile& input : inputs) {
      TInputFileEntry e;
      e.number = ++number;
      e.type = input.type;
      e.priority = input.priority;
      e.recordCount = input.records;
      e.file.name = set_->AddText(input.path);
      e.ident = set_->AddText(input.ident);
      entries.push_back(e);
    }
    set_->Fields().vectors[1] = set_->AddVector<TInputFileEntry>(entries);
  }
  void Text(int i, std::string_view text) { set_->Fields().texts[i - 1] = set_->AddText(text); }
  void RatingFields(int count) {
    set_->Fields().vectors[9] =
        set_->AddVector<TRatingFieldEntry>(std::vector<TRatingFieldEntry>(count));
  }
  void Columns(const std::vector<TColumnEntry>& columns) {
    set_->Fields().vectors[10] = set_->AddVector<TColumnEntry>(columns);
  }
  TMatchStatistics& Stats() {
    if (stats_ == nullptr) {
      stats_ = CreateIn<TMatchStatistics>(StandardHeap());
      stats_->Setup(*set_);
    }
    return *stats_;
  }
  // One block: `heads` and `duplicates` as (file, flag) pairs in walk order.
  struct Record {
    bool head;
    std::int32_t file;
    bool flag;  // head: multi head; duplicate: counted
  };
  void Block(std::int32_t representative, const std::vector<Record>& records) {
    Stats().BeginBlock();
    for (const Record& r : records) {
      if (r.head) {
        Stats().AddHead(r.file, r.flag);
      } else {
        Stats().AddDuplicate(r.file, r.flag);
      }
    }
    Stats().EndBlock(representative);
  }
  static Record Head(std::int32_t file, bool multi = false) { return {true, file, multi}; }
  static Record Dup(std::int32_t file, bool counted = true) { return {false, file, counted}; }

  // The run worked by hand below: a Grund, a Master and a Sperr file, "Multi-Dubletten",
  // "Kompatibilitätsmatrix", four rating fields, "Spalten" 25.
  void HandWorkedRun() {
    Files({{InputFileType::kGrund, 6, 100, "/daten/kunden_2024.txt", "K01"},
           {InputFileType::kMaster, 0, 50, "/daten/stamm.txt",
            "M\x81"
            "2"},
           {InputFileType::kSperr, 9, 20, "/daten/sperre.txt", "S03"}});
    TParameterFields& f = set_->Fields();
    f.multiDuplicates = true;
    f.matrixType = 0;
    f.fileMarking = 0;
    f.maxNameLength = 12;
    f.columns = 25;
    f.identField = {1, 3};
    RatingFields(4);
    Text(1, "Lauf vom %s");
    Text(2, "01.02.2024");
    Text(3,
         "Dublettenpr\xfc"
         "fung");
    Text(6, "~Kunde M\xfcller\r\nStand: Januar\r");
    // A: Master head (multi), Grund duplicate.
    Block(2, {Head(2, true), Dup(1)});
    // B: Grund head, a second Grund record, a dark duplicate.
    Block(1, {Head(1), Dup(1), Dup(3)});
    // C: no head: the dark record and a Master duplicate.
    Block(3, {Dup(3), Dup(2)});
    // D: Grund head (multi), Master duplicate, a Grund replica whose original was counted.
    Block(1, {Head(1, true), Dup(2), Dup(1, false)});
    // E: Master head with two Master duplicates.
    Block(2, {Head(2), Dup(2), Dup(2)});
    Stats().AddReratedHead();
    Stats().AddReratedHead();
    for (int i = 0; i < 3; ++i) Stats().AddRatingChange(1);
    Stats().AddRatingChange(2);
    for (int i = 0; i < 5; ++i) Stats().AddRatingChange(4);
    Stats().Finish();
  }

  TParameterCheck* set_;
  TMatchStatistics* stats_ = nullptr;
};

TEST_F(StatsTest, HandWorkedRunCountsEveryRole) {
  HandWorkedRun();
  // Grund: duplicates in A and B (D's replica is not counted), intra in B, blocks B and D,
  // multi head in D. Master: duplicates C, D and twice E, intra twice in E, blocks A and E,
  // multi head in A. Sperr: no duplicates under the compatibility matrix, block C.
  const struct {
    std::int32_t file, duplicates, intra, blocks, multi, net;
  } expected[] = {{1, 2, 1, 2, 1, 97}, {2, 4, 2, 2, 1, 47}, {3, 0, 0, 1, 0, 0}};
  for (const auto& e : expected) {
    SCOPED_TRACE(e.file);
    const auto c = Stats().Counts(e.file);
    EXPECT_EQ(c.duplicates, e.duplicates);
    EXPECT_EQ(c.intra, e.intra);
    EXPECT_EQ(c.blocks, e.blocks);
    EXPECT_EQ(c.multiHeads, e.multi);
    EXPECT_EQ(c.netShare, e.net);
  }
  // Pairs: (2,1) from A and D; (3,2) from the headless block C.
  EXPECT_EQ(Stats().MatrixCell(2, 1), 2);
  EXPECT_EQ(Stats().MatrixCell(3, 1), 0);
  EXPECT_EQ(Stats().MatrixCell(3, 2), 1);
  EXPECT_EQ(Stats().NetShareText(), "96,00");
}

TEST_F(StatsTest, PlainTextOfHandWorkedRun) {
  HandWorkedRun();
  // Widths: name 12 ("Max. Namenslänge"), left part 27, number width 6, value columns 10 of
  // 10 characters, line width 127. Code page 437: ü = 0x81, ä = 0x84.
  const std::vector<std::string> expected = {
      S(55) +
          "Dublettenpr\x81"
          "fung",
      S(57) + "Kunde M\x81ller",
      "Stand: Januar",
      "",
      "Lauf vom 01.02.2024",
      "",
      "Netto-Anteil: 96,00 %",
      "",
      S(27) +
          "     S\x84tze     S\x84tze    Intra- Dubletten Dubletten Dubletten     S\x84tze"
          "     S\x84tze     S\x84tze     S\x84tze",
      "Nr. Dateiname     Prio  Art Lieferung    Brutto Dubletten   absolut   Treffer      in %"
      "   %-Netto     Netto    Single     Multi",
      std::string(127, '-'),
      "  1 kunden_202..     1    G" + S(10) +
          "       100         1         2         2      2,00"
          "        97        98        97         1",
      "  2 stamm.txt        0    M" + S(10) +
          "        50         2         4         2      8,00"
          "        47        46        45         1",
      "  3 sperre.txt       2    S" + S(10) + "        20" + S(20) + "         1",
      std::string(127, '-'),
      "Summe ohne Sperrdateien" + S(4) + S(10) +
          "       150         3         6         4"
          "      4,00       144       144       142         2",
      "Summe mit  Sperrdateien" + S(14) + "       170" + S(29) + "5",
      "",
      "+ = datensatzeigene Priorit\x84t kommt hinzu",
      "G = Grunddatei",
      "M = Master-Datei",
      "S = Sperrdatei",
      "K = Kompaktsperrdatei",
      "",
      "Ersetzungen in Datens\x84tzen",
      "",
      " S\x84tze    F1    F2    F3",
      "     2     3     1     0",
      "",
      "    F4",
      "     5",
      "\f",
      "",
      "Matrix",
      "",
      // File 1: label width 13; two cells fit into 25 characters, the third wraps.
      "",
      "      1           1     2",
      "kunden_202..      1     2",
      "",
      S(13) + "     3",
      S(13) + "     0",
      "",
      "      2           1     2",
      "  stamm.txt       2     2",
      "",
      S(13) + "     3",
      S(13) + "     1",
      "",
      "      3           1     2",
      " sperre.txt       0     1",
      "",
      S(13) + "     3",
      S(13) + "     0",
  };
  const std::vector<std::string> lines = Stats().TextLines();
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lines[i], expected[i]);
  }
}

TEST_F(StatsTest, IdentAndNameNamingAndPureBlocksInTheText) {
  Files({{InputFileType::kGrund, 2, 10, "/d/a.txt", "K01"},
         {InputFileType::kMaster, 4, 10, "/d/b.txt", "M02"},
         {InputFileType::kMaster, 8, 10, "/d/c.txt", "M03"}});
  TParameterFields& f = set_->Fields();
  f.fileMarking = 2;
  f.identField = {1, 3};
  f.priorityField = {20, 2};
  f.suppressPureBlocks = true;
  f.matrixType = 1;
  Block(1, {Head(1), Dup(2), Dup(3)});
  Stats().Finish();
  const std::vector<std::string> lines = Stats().TextLines();
  // Ident 5 wide, name 9 wide: left part 30. Records carry priorities: the "Dateiprio" symbol.
  const auto has = [&lines](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  // Net records: 28 of 30 records, 9 1/3 each; the first file gets the missing unit.
  EXPECT_TRUE(has("  1 K01   a.txt" + S(9) + "0+   G" + S(10) +
                  "        10         0         0         1      0,00        10        10"));
  // Master rows: no intra count with "reine Blöcke unterdrücken".
  EXPECT_TRUE(has("  2 M02   b.txt" + S(9) + "1+   M" + S(10) + "        10" + S(10) +
                  "         1         0     10,00         9         9"));
  // Elimination matrix, label width 16: cells (first file of the block, file); pairs of two
  // Master files blank.
  EXPECT_TRUE(has("Eliminationsmatrix"));
  EXPECT_TRUE(has(S(7) + "1" + S(8) + "     1     2     3"));
  EXPECT_TRUE(
      has("  K01   a.txt   "
          "     0     1     1"));
  EXPECT_TRUE(
      has("  M02   b.txt   "
          "     0" +
          S(12)));
  EXPECT_EQ(lines[6], "Nr. Datei Dateiname  Prio  Art" + S(1) +
                          "Lieferung    Brutto Dubletten"
                          "   absolut   Treffer      in %   %-Netto     Netto");
}

TEST_F(StatsTest, NarrowColumnsPutOneItemOnEachPairOfLines) {
  Files({{InputFileType::kGrund, 2, 10, "/a", ""}, {InputFileType::kGrund, 2, 10, "/b", ""}});
  set_->Fields().columns = 1;
  set_->Fields().symbols.fill(' ');
  RatingFields(1);
  Block(1, {Head(1), Dup(2)});
  Stats().Finish();
  const std::vector<std::string> lines = Stats().TextLines();
  // Label width 10 (name width 9 + 1), number width 6.
  const std::vector<std::string> tail = {
      // Left part max(23, 9 + 15) = 24.
      "Summe mit  Sperrdateien" + S(11) + "        20" + S(29) + "1",
      "",
      "Ersetzungen in Datens\x84tzen",
      "",
      " S\x84tze",
      "     0",
      "",
      "    F1",
      "     0",
      "\f",
      "",
      "Matrix",
      "",
      "",
      "    1          1",
      "    a          0",
      "",
      S(10) + "     2",
      S(10) + "     1",
      "",
      "    2          1",
      "    b          1",
      "",
      S(10) + "     2",
      S(10) + "     0",
  };
  ASSERT_GE(lines.size(), tail.size());
  const std::vector<std::string> last(lines.end() - static_cast<std::ptrdiff_t>(tail.size()),
                                      lines.end());
  EXPECT_EQ(last, tail);
}

TEST_F(StatsTest, ApportionsNetRecordsByShare) {
  const struct {
    std::vector<std::int64_t> records;
    std::vector<int> duplicates;
    std::vector<std::int32_t> shares;
  } cases[] = {
      // N = 135, P = 150: exactly 90 and 45.
      {{100, 50}, {10, 5}, {90, 45}},
      // Shares 33.3, 33.3 and 33.4 of 100: the missing unit goes to the largest remainder.
      {{333, 333, 334}, {900, 0, 0}, {33, 33, 34}},
      // Equal remainders: the first file gets the unit.
      {{1, 1}, {1, 0}, {1, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.records.size());
    Free(stats_);
    stats_ = nullptr;
    std::vector<InputFile> inputs;
    for (std::int64_t r : c.records) inputs.push_back({InputFileType::kGrund, 2, r, "/x", ""});
    Files(inputs);
    for (std::size_t i = 0; i < c.duplicates.size(); ++i) {
      for (int k = 0; k < c.duplicates[i]; ++k) {
        Block(static_cast<std::int32_t>(i + 1), {Dup(static_cast<std::int32_t>(i + 1))});
      }
    }
    Stats().Finish();
    for (std::size_t i = 0; i < c.shares.size(); ++i) {
      EXPECT_EQ(Stats().Counts(static_cast<std::int32_t>(i + 1)).netShare, c.shares[i]);
    }
  }
}

TEST_F(StatsTest, OverlapMatrixCountsEveryPairOfABlock) {
  Files({{InputFileType::kGrund, 2, 10, "/a", ""},
         {InputFileType::kGrund, 2, 10, "/b", ""},
         {InputFileType::kSperr, 1, 10, "/c", ""}});
  set_->Fields().matrixType = 2;
  Block(3, {Dup(3), Head(1), Dup(2)});
  Stats().Finish();
  // The dark record takes part in every pair; the block counts for the representative's file.
  EXPECT_EQ(Stats().MatrixCell(3, 1), 1);
  EXPECT_EQ(Stats().MatrixCell(3, 2), 1);
  EXPECT_EQ(Stats().MatrixCell(2, 1), 1);
  EXPECT_EQ(Stats().Counts(3).duplicates, 1);
  EXPECT_EQ(Stats().Counts(3).blocks, 1);
}

TEST_F(StatsTest, BlockOfDarkRecordsOnlyIsNotCountedUnderTheCompatibilityMatrix) {
  Files({{InputFileType::kGrund, 2, 10, "/a", ""}, {InputFileType::kSperr, 1, 10, "/b", ""}});
  Block(2, {Dup(2), Dup(2)});
  Stats().Finish();
  EXPECT_EQ(Stats().Counts(2).blocks, 0);
  EXPECT_EQ(Stats().Counts(2).duplicates, 0);
  // The second dark duplicate found its file already with a role.
  EXPECT_EQ(Stats().Counts(2).intra, 1);
}

TEST_F(StatsTest, HeadlessBlockOfOneFileCountsNoPairWithItself) {
  Files({{InputFileType::kGrund, 2, 10, "/a", ""}, {InputFileType::kGrund, 2, 10, "/b", ""}});
  Block(1, {Dup(1), Dup(1)});
  Stats().Finish();
  EXPECT_EQ(Stats().MatrixCell(2, 1), 0);
  EXPECT_EQ(Stats().Counts(1).blocks, 1);
  EXPECT_EQ(Stats().Counts(1).intra, 1);
}

TEST_F(StatsTest, HeadAfterDuplicatesOfItsFileCountsIntraAndMultiHeadsCanBeWithdrawn) {
  Files({{InputFileType::kGrund, 2, 10, "/a", ""}, {InputFileType::kGrund, 2, 10, "/b", ""}});
  Block(1, {Dup(1), Head(1, true), Head(1, true)});
  Stats().WithdrawMultiHead(1);
  Stats().Finish();
  EXPECT_EQ(Stats().Counts(1).intra, 1);
  EXPECT_EQ(Stats().Counts(1).multiHeads, 1);
}

TEST_F(StatsTest, NoPureRecordsIsFatal) {
  // One Grund record that is an intra duplicate (a replica of it heads the block).
  Files({{InputFileType::kGrund, 2, 1, "/a", ""}, {InputFileType::kSperr, 1, 5, "/b", ""}});
  Block(1, {Head(1), Dup(1)});
  ASSERT_EQ(Stats().Counts(1).intra, 1);
  EXPECT_EQ(FatalTextOf([&] { Stats().Finish(); }), "Pure < 1");
}

TEST_F(StatsTest, CounterOutsideTheSetIsARangeError) {
  Files({{InputFileType::kGrund, 2, 10, "/a", ""}});
  RatingFields(1);
  EXPECT_EQ(testing::ErrorTextOf<ERuntimeError>([&] { Stats().AddRatingChange(2); }),
            "Fehler bei Bereichsprüfung");
  EXPECT_EQ(testing::ErrorTextOf<ERuntimeError>([&] { Stats().AddHead(2, false); }),
            "Fehler bei Bereichsprüfung");
}

TEST_F(StatsTest, DocumentOfHandWorkedRun) {
  TColumnEntry nr{0, 3, 1}, ident{0, 2, 2}, name{0, 2, 3}, prio{0, 3, 4}, art{0, 3, 5},
      brutto{0, 3, 6}, intra{0, 3, 10}, absolut{0, 3, 8}, treffer{0, 0, 9}, prozent{0, 1, 11},
      single{0, 2, 13}, multi{0, 2, 14};
  TColumnEntry note;
  note.kind = 1;
  note.displayMode = 0;
  note.title1 = set_->AddText("Bemerkung");
  note.preset = set_->AddText("Nr. %s");
  note.presetS0 = set_->AddText("S0");
  note.presetS1 = set_->AddText("%s S\xe4tze");
  note.compute = 1;  // "Summe ohne Sperrdateien"
  note.alignment = 1;
  note.value = 6;  // "Brutto"
  TColumnEntry hidden = note;
  hidden.displayMode = 1;
  Columns({nr, ident, name, prio, art, brutto, intra, absolut, treffer, prozent, hidden, single,
           multi, note});
  HandWorkedRun();
  TMatchDocument d;
  Stats().BuildDocument(d);
  ASSERT_TRUE(d.Consistent());
  EXPECT_EQ(d.FileCount(), 3);
  EXPECT_EQ(d.headText,
            "Dublettenpr\xfc"
            "fung");
  EXPECT_EQ(d.jobText, "Lauf vom 01.02.2024");
  EXPECT_EQ(d.netShareText, "96,00");
  EXPECT_EQ(d.infoLines, (std::vector<std::string>{"~Kunde M\xfcller", "Stand: Januar"}));
  // Ident hidden "gemäß Vorgabe" under the naming "Dateiname"; "Prozent" hidden.
  EXPECT_EQ(d.columnMap,
            (std::vector<std::int32_t>{-11, -13, -14, -15, -2, -3, -4, -5, -9, -10, 1}));
  EXPECT_EQ(d.totalRecords, 170);
  EXPECT_EQ(d.totalBlocks, 5);
  EXPECT_EQ(d.ratingData, (std::vector<std::int32_t>{2, 3, 1, 0, 5}));
  EXPECT_EQ(d.matrix, (std::vector<std::vector<std::int32_t>>{{}, {2}, {0, 1}}));
  EXPECT_EQ(d.rows[0].name, "kunden_2024.txt");
  EXPECT_EQ(d.rows[2].ident, "S03");
  EXPECT_EQ(d.rows[1].ident,
            "M\xfc"
            "2");  // record bytes (437) stored as Windows-1252
  EXPECT_EQ(d.rows[2].priority, 9);
  EXPECT_EQ(d.TotalsRow().records, 150);
  EXPECT_EQ(d.TotalsRow().netShare, 144);
  ASSERT_EQ(d.addColumns.size(), 1u);
  EXPECT_EQ(d.addColumns[0].cells, (std::vector<std::string>{"Bemerkung", "", "Nr. 100", "Nr. 50",
                                                             "Nr. 20", "", "170 S\xe4tze"}));
  EXPECT_TRUE(d.addColumns[0].sumWithout);
  EXPECT_FALSE(d.addColumns[0].sumWith);
  EXPECT_EQ(d.addColumns[0].alignment, 1);
  // Cells as the viewer shows them.
  const struct {
    std::int32_t code, row;
    const char* text;
  } cells[] = {
      {cell::kNr, 3, "2"},
      {cell::kPrio, 4, "2 "},
      {cell::kArt, 4, "S"},
      {cell::kIntra, 3, "2"},
      {cell::kAbsolut, 4, ""},
      {cell::kProzent, 2, "2,00"},
      {cell::kProzent, 4, ""},
      {cell::kSingle, 2, "97"},
      {cell::kProzentNetto, 3, "47"},
      {cell::kBrutto, 5, "150"},
      {cell::kNetto, 5, "144"},
      {cell::kProzent, 5, "4,00"},
      {cell::kName, 5, ""},
      {cell::kBrutto, 6, "170"},
      {cell::kTreffer, 6, "5"},
      {cell::kNetto, 6, ""},
      {cell::kBrutto, 0, "S\xe4tze"},
      {cell::kIntra, 1, "Dubletten"},
      {cell::kLieferung, 2, ""},
      {-16, 2, "???"},
  };
  for (const auto& c : cells) {
    SCOPED_TRACE(std::to_string(c.code) + "/" + std::to_string(c.row));
    EXPECT_EQ(d.GetCell(c.code, c.row), c.text);
  }
}

}  // namespace
}  // namespace vld
