// Matching straight from a user's files: what the command line (veldrona-match) calls to do
// what the wizard does when the user starts a match.
//
// PrepareMatchSources opens one or two sources (a CSV file, a fixed-width text file with its
// field list, or an ODBC data source with an SQL statement), gives their columns field types,
// converts them into "Matchfile1.txt" / "Matchfile2.txt" in the output folder and adapts the
// loaded parameter set: input files, input and table paths, record layout, the fields of every
// slot and the class key (the Pro options and data/layout_params.h). It returns what writing
// the result CSV later needs (data/result_csv.h).
//
// Field types: each assignment "COLUMN=TYPE" gives every column of that name (exactly, else
// ignoring case) in either source the type, named as in the type table ("Name", "Vorname",
// "Nachname", "Firma", "Strasse", "Strasse/Postfach", "Ort", "Postleitzahl", "Ident") or by its
// code ("(Ignorieren)" or -1 takes a column out); several columns may share a type (street and
// house number both "Strasse"). The fields of a fixed-width field list keep the types the list
// gives unless assigned anew. Without any assignment, a source without such types has its
// columns typed by their names (the type names, "Straße", "PLZ", "Hausnummer" as street,
// ignoring case); with assignments only the assigned columns are typed. Columns without a type
// take no part in matching but stay in the result.
//
// Code pages of text files: as given, else UTF-8 when the file is valid UTF-8 or has a byte-order
// mark, else Windows-1252. A CSV file's separator: as given, else guessed from its first rows
// (data/csv_format.h); its first row names the columns unless `header` is false.
//
// The engine records carry a record number after the layout fields (data/data_convert.h): the
// 1-based position of the record over Matchfile1 then Matchfile2, which is also the record's
// engine index + 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/data_convert.h"
#include "params/param_file.h"
#include "platform/codepage.h"

namespace vld {

enum class TSourceKind { kCsv, kFixed, kOdbc };

struct TSourceSpec {
  TSourceKind kind = TSourceKind::kCsv;
  std::string file;                  // CSV or fixed-width text file
  std::optional<char> separator;     // CSV; guessed when empty
  char quote = '"';                  // CSV
  bool header = true;                // CSV: the first row names the columns
  std::string fieldList;             // fixed width: field-list file (".fls" or the text form)
  std::optional<CodePage> codePage;  // text files; detected when empty
  std::string connection;            // ODBC: data source name or connection string
  std::string sql;                   // ODBC
};

struct TMatchSources {
  TSourceSpec first;
  std::optional<TSourceSpec> second;
  bool secondIsDark = false;                  // the second source is a dark file ("Sperrdatei")
  std::vector<std::string> fieldAssignments;  // "COLUMN=TYPE"
};

struct TConvertOptions {
  std::string outputFolder;  // created when missing; receives Matchfile1.txt, Matchfile2.txt
  std::string tablesFolder;  // "Tabellenpfad"; empty: the product's Tables folder if found
};

// Where an engine record came from.
struct TRecordOrigin {
  int source = 1;        // 1 or 2
  std::int64_t row = 0;  // data row in its source, from 1
};

// The outcome of PrepareMatchSources. Owns the file of the source rows in the output folder
// and removes it when destroyed.
class TConvertedSources {
 public:
  TConvertedSources() = default;
  TConvertedSources(TConvertedSources&&) noexcept;
  TConvertedSources& operator=(TConvertedSources&&) noexcept;
  ~TConvertedSources();

  std::int64_t RecordCount() const { return count_[0] + count_[1]; }
  std::int64_t SourceRecordCount(int source) const { return count_[source == 1 ? 0 : 1]; }
  int SourceCount() const { return twoSources_ ? 2 : 1; }
  // REQUIRES: 0 <= engineIndex < RecordCount().
  TRecordOrigin OriginOf(std::int64_t engineIndex) const;
  // Column names (UTF-8) of source 1 or 2.
  const std::vector<std::string>& ColumnNames(int source) const;
  // Lines for the journal: what was converted, cut values, "Fertig.".
  const std::vector<std::string>& Journal() const { return journal_; }
  const TExtFieldDescs& Layout() const { return layout_; }
  std::int32_t RecordLength() const { return recordLength_; }  // without CR LF
  std::int32_t RecordNumberPosition() const { return recordNumberPosition_; }
  std::int32_t RecordNumberWidth() const { return recordNumberWidth_; }
  const std::string& MatchFile(int source) const { return matchFile_[source == 1 ? 0 : 1]; }
  // The source rows in input order (data/source_rows.h).
  const std::string& RowsFile() const { return rowsFile_; }

 private:
  friend TConvertedSources PrepareMatchSources(const TMatchSources&, const TConvertOptions&,
                                               TParamSet&);
  bool twoSources_ = false;
  std::int64_t count_[2] = {0, 0};
  std::vector<std::string> columns_[2];
  std::vector<std::string> journal_;
  TExtFieldDescs layout_;
  std::int32_t recordLength_ = 0, recordNumberPosition_ = 0, recordNumberWidth_ = 0;
  std::string matchFile_[2];
  std::string rowsFile_;
};

// Raises EUserError (or EDataAccess) with the German message for every problem of the sources
// or the assignments. `set` is the loaded parameter set; it is changed only when everything
// else succeeded.
TConvertedSources PrepareMatchSources(const TMatchSources& sources, const TConvertOptions& options,
                                      TParamSet& set);

// Helpers for the command line.
// "437", "850", "1252" (also "cp1252", "windows-1252"), "utf8"/"utf-8", ignoring case.
std::optional<CodePage> ParseCodePage(std::string_view text);
// One character, or "tab" / "\t" for the tab.
std::optional<char> ParseSeparator(std::string_view text);

// File names the conversion writes into the output folder.
inline constexpr const char* kMatchFile1 = "Matchfile1.txt";
inline constexpr const char* kMatchFile2 = "Matchfile2.txt";
inline constexpr const char* kSourceRowsFile = "Quellzeilen.tmp";
// Width of the record number after the layout fields.
inline constexpr std::int32_t kRecordNumberWidth = 10;

}  // namespace vld
