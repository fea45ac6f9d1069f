// The statistics protocol document ("Statistik-Protokoll", ".mpr") and its file.
//
// A match fills a TMatchDocument through TMatchStatistics::BuildDocument and stores it; the
// protocol viewer loads it, shows its file table, matrix and ratings, lets the user edit the
// additional columns ("Zusatzspalten"), stores it again and makes single protocols, one per
// input file (SingleProtocol for the first, NextSingleProtocol for each further one).
//
// Table rows. Cells of the file table are addressed by the rows of the viewer's grid, the same
// rows an additional column holds texts for:
//   row 0        title 1              row 1      title 2
//   rows 2..n+1  the n input files    row n+2    "Summe ohne Sperrdateien"
//   row n+3      "Summe mit Sperrdateien"
// The document keeps n + 1 file rows (`rows`): one per input file and, last, the totals row of
// the Grund and Master files (shown in the "ohne" row); the "mit" row shows only the total
// records and total blocks of all files from the header.
//
// Texts are kept as Windows-1252 bytes, as in the protocol files of every version; the viewer
// converts them where it shows them.
//
// Protocol file: a safe file (engine/files/safe_file.h), magic "Veldrona Document (C) Korvist  "
// followed by the byte 26, versions 1..5 (current 5), kind name "Statistik-Protokoll". Payload
// in this order (integers little-endian, texts as safe-file texts):
//   1. header record, 54 bytes:
//        OFFSET SIZE FIELD                        OFFSET SIZE FIELD
//             0    1 0                                22    4 number of input files n
//             1    1 format mark (2; 1 accepted)      26    4 rating field count
//             2    1 "Multi-Dubletten"                30    4 additional column count
//             3    1 "reine Blöcke unterdrücken"      34    4 total records
//             4    1 "Dateikennzeichnung"             38    4 selected row
//             5    4 "Max. Namenslänge"               42    1 "Matrixtyp"
//             9    4 symbols G, M, S, K               43    7 zero
//            13    1 "Dateiprio" symbol               50    4 total blocks
//            14    4 column count
//            18    4 info line count
//   2. the texts reserved (written empty), head, job line, net share; then the info lines;
//   3. the column map, one i32 per column;
//   4. per additional column a 7-byte record (alignment, sum without dark files, sum with dark
//      files, i32 0) and n + 4 texts;
//   5. n + 1 rows: a 30-byte record (type, priorities flag, i32 effective priority, i32
//      records, intra, duplicates, apportioned net records, multi heads, blocks), then the
//      identification and the file name;
//   6. the rating data (rating count + 1 i32), only when the rating count is at least 1;
//   7. the matrix, only when n > 1: rows n down to 1 (triangular types: down to 2), row r with
//      n values (elimination matrix) or r - 1 values.
// Documents below version 5 have no "Treffer" column: their column codes below -4 are moved
// down by one when read, and the duplicates of dark rows are shown whatever the matrix type.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/files/safe_file.h"

namespace vld {

// Cell codes of the system columns of the file table.
namespace cell {
inline constexpr std::int32_t kLieferung = -1;
inline constexpr std::int32_t kBrutto = -2;
inline constexpr std::int32_t kIntra = -3;
inline constexpr std::int32_t kAbsolut = -4;
inline constexpr std::int32_t kTreffer = -5;
inline constexpr std::int32_t kProzent = -6;
inline constexpr std::int32_t kProzentNetto = -7;
inline constexpr std::int32_t kNetto = -8;
inline constexpr std::int32_t kSingle = -9;
inline constexpr std::int32_t kMulti = -10;
inline constexpr std::int32_t kNr = -11;
inline constexpr std::int32_t kIdent = -12;
inline constexpr std::int32_t kName = -13;
inline constexpr std::int32_t kPrio = -14;
inline constexpr std::int32_t kArt = -15;
}  // namespace cell

// The cell code of a system column kind of "Protokollspalten" (1 "Nr" .. 14 "Multi"); 0 for
// "(keine)" or an unknown kind.
std::int32_t SystemColumnCode(std::uint8_t kind);

// "part / whole × 100" with two decimals and the decimal comma ("12,50"); "100" from 99.95
// on; "0,00" when `whole` is not positive.
std::string PercentText(std::int64_t part, std::int64_t whole);

// `pattern` with its first "%s" replaced by `value` and "%%" by "%"; any other "%" stays.
std::string FillPattern(std::string_view pattern, std::string_view value);

// The protocol file kind on the safe file.
class TMatchDocFile : public TSafeFile {
 public:
  static constexpr std::int32_t kCurrentVersion = 5;
  bool IsValidVersion(std::int32_t version) const override {
    return version >= 1 && version <= kCurrentVersion;
  }
  std::int32_t CurrentVersion() const override { return kCurrentVersion; }
  std::string_view Magic() const override;
  std::string KindName() const override { return "Statistik-Protokoll"; }
};

// One row of the file table: an input file, or (last) the totals of the Grund and Master files.
struct TMatchDocFileEntry {
  std::uint8_t type = 0;        // 0 Grunddatei, 1 Masterdatei, 2 Sperrdatei, 3 Kompaktsperrdatei
  bool withPriorities = false;  // the file's records carry priorities
  std::int32_t priority = 0;    // effective priority (file priority × 4 + type rank)
  std::string ident;            // identification ("Datei")
  std::string name;             // file name without path ("Dateiname")
  std::int32_t records = 0;
  std::int32_t intra = 0;
  std::int32_t duplicates = 0;
  std::int32_t blocks = 0;
  std::int32_t netShare = 0;  // apportioned net records ("%-Netto")
  std::int32_t multiHeads = 0;

  bool IsDark() const { return type >= 2; }
  bool operator==(const TMatchDocFileEntry&) const = default;
};

// An additional column: its texts for every table row (n + 4: title 1, title 2, the files,
// the "ohne" and the "mit" row), its sum flags and its alignment.
struct TMatchDocAddColEntry {
  std::vector<std::string> cells;
  bool sumWithout = false;     // sum without dark files ("Summe ohne Sperrdateien")
  bool sumWith = false;        // sum with dark files ("Summe mit Sperrdateien")
  std::uint8_t alignment = 0;  // 0 "rechtsbündig", 1 "linksbündig"
  bool operator==(const TMatchDocAddColEntry&) const = default;
};

class TMatchDocument {
 public:
  // An empty document: no input files, a zero totals row, rating data {0}, no file name.
  void Clear();
  // Replaces the document by the protocol file `fileName`; on any error the document is left
  // as it was and the error (a German message naming the file) propagates.
  void Load(const std::string& fileName);
  // Stores the document under `fileName` (written beside it first and moved into place, so a
  // failed store leaves an existing protocol intact); the document then carries that name.
  // REQUIRES: the tables agree (rows, additional column texts, matrix; see Consistent()).
  void Save(const std::string& fileName);

  // The text of system column `code` in table row `row` (see the table rows above); "???"
  // for an unknown code.
  std::string GetCell(std::int32_t code, std::int32_t row) const;

  // `target` becomes the single protocol of file `n` (1-based); it is only cleared when n is
  // not a file of this document.
  void SingleProtocol(TMatchDocument& target, std::int32_t n) const;
  // Turns the single protocol `target` (made by SingleProtocol) into that of file `n`.
  void NextSingleProtocol(TMatchDocument& target, std::int32_t n) const;

  std::int32_t FileCount() const { return static_cast<std::int32_t>(rows.size()) - 1; }
  // Rows of the file table: the totals row of the Grund and Master files.
  const TMatchDocFileEntry& TotalsRow() const { return rows.back(); }
  // The single-protocol number: > 0 only for a single protocol.
  std::int32_t SingleNumber() const { return selectedRow; }
  // Intra-file types shown: 1 Grund only (with "reine Blöcke unterdrücken"), 3 Grund and Master.
  std::uint8_t TypeMask() const { return suppressPureBlocks ? 1 : 3; }
  // Every matrix type but the elimination matrix keeps a lower triangle.
  bool Triangular() const { return matrixType != 1; }
  const std::string& FileName() const { return fileName_; }
  // True when rows, additional columns, rating data and matrix fit together.
  bool Consistent() const;

  // ---- Contents ----
  bool multiDuplicates = false;     // "Multi-Dubletten"
  bool suppressPureBlocks = false;  // "reine Blöcke unterdrücken"
  std::uint8_t fileMarking = 0;     // "Dateikennzeichnung": 0 Dateiname, 1 Ident, 2 both
  std::int32_t maxNameLength = 0;   // "Max. Namenslänge"
  std::array<char, 4> typeSymbols{' ', ' ', ' ', ' '};  // G, M, S, K
  char prioSymbol = ' ';                                // "Dateiprio"
  std::uint8_t matrixType = 0;  // 0 Kompatibilitäts-, 1 Eliminations-, 2 Überschneidungsmatrix
  bool oldVersion = false;      // read from a file of a version below 5
  std::int32_t selectedRow = 0;
  std::int32_t totalRecords = 0;  // all files
  std::int32_t totalBlocks = 0;   // all files

  // The reserved first text of the file is written empty and ignored when read.
  std::string headText;      // "Kopf der Statistik"
  std::string jobText;       // the job line
  std::string netShareText;  // "Netto-Anteil" value
  std::vector<std::string> infoLines;
  // One code per shown column: a system column's cell code, or the 1-based number of an
  // additional column.
  std::vector<std::int32_t> columnMap;
  std::vector<TMatchDocFileEntry> rows = std::vector<TMatchDocFileEntry>(1);  // n + 1
  std::vector<TMatchDocAddColEntry> addColumns;
  // Re-rated heads, then the changes of each rating field: rating count + 1 values.
  std::vector<std::int32_t> ratingData = {0};
  // Row r (1-based) at index r - 1: n values (elimination matrix) or r - 1 values (the other
  // types; row 1 empty). Empty when n < 2.
  std::vector<std::vector<std::int32_t>> matrix;

 private:
  void Read(TMatchDocFile& file);
  void Write(TMatchDocFile& file) const;

  std::string fileName_;
};

}  // namespace vld
