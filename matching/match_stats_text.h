// The plain-text statistics ("Statistik") of a finished match run, line by line.
//
// Layout, in this order: the head (text 3 centred, the info lines, the job line, the net share),
// the file table (two header lines, one row per input file, the sums without and with the dark
// files), the legend of the file-type symbols, the rating counts, a form feed, and the matrix.
// Widths: number column 3; identification max(5, "Ident" field length); name min(widest file
// name but at least 9, "Max. Namenslänge"), longer names cut to that length - 2 followed by
// ".."; priority 5; type 3; the left part max(23, naming width + 15); the number width
// max(5, digits of the total record count) + 1; value columns max(10, number width) wide, 8 of
// them or 10 with "Multi-Dubletten". The rating and matrix lines wrap at "Spalten".
//
// Every line is code page 437: literal texts are converted from the source, texts of the
// parameter set from Windows-1252, file names from the system's UTF-8; identifications are
// record bytes already.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "matching/match_params.h"
#include "matching/match_stats.h"

namespace vld {

// The memo split at CR LF, CR or LF; a final line end adds no empty line.
std::vector<std::string> SplitMemo(std::string_view memo);

// The name of an input file without its folder (UTF-8).
std::string InputFileName(const TParameterStore& set, const TInputFileEntry& entry);

class TStatisticsText {
 public:
  // REQUIRES: `statistics` is finished.
  TStatisticsText(const TMatchStatistics& statistics, const TParameterStore& set);
  std::vector<std::string> Lines();

 private:
  void Head();
  void FileTable();
  void Legend();
  void Ratings();
  void Matrix();
  // The naming part of a file-table row, padded to the left part.
  std::string RowStart(std::string_view number, std::string_view ident, std::string_view name,
                       std::string_view prio, std::string_view prioSymbol,
                       std::string_view type) const;
  // The file as named in the matrix.
  std::string NamingText(std::int32_t file) const;
  std::string Value(std::int64_t value) const;
  // An empty line, then both lines of a wrapping pair; both restart as `restart`.
  void FlushPair(std::string& first, std::string& second, std::string_view restart);
  const TInputFileEntry& Entry(std::int32_t file) const;
  bool IsDark(std::int32_t file) const;

  const TMatchStatistics& statistics_;
  const TParameterStore& set_;
  const TParameterFields& fields_;
  std::vector<std::string> names_, idents_;  // code page 437
  std::int64_t identWidth_ = 0, nameWidth_ = 0, namingWidth_ = 0, leftWidth_ = 0;
  std::int64_t numberWidth_ = 0, columnWidth_ = 0, valueColumns_ = 0, lineWidth_ = 0;
  std::vector<std::string> out_;
};

}  // namespace vld
