// The CSV record format of the input sources.
//
// A record is one line, or several where a quoted value holds line breaks. Values are separated
// by the separator character. A value is quoted when it begins with the quote character: inside,
// a doubled quote stands for one quote, a single quote closes the value, and anything after the
// closing quote up to the next separator is taken as it stands. A quote anywhere else is an
// ordinary character, so a stray quote inside a value never swallows separators or lines. A
// record without any separator is one value (a one-column file); every record has at least one
// value. Examples with separator ',' and quote '"':
//   a,"b,c",d  ->  a | b,c | d          ""  ->  (empty)          "x""y"  ->  x"y
//   12" Zoll,a ->  12" Zoll | a         "ab"c,d  ->  abc | d
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/text_source.h"

namespace vld {

// Follows the quoting of a record over its lines.
class TCsvQuoteState {
 public:
  TCsvQuoteState(char separator, char quote) : separator_(separator), quote_(quote) {}
  void Feed(std::string_view text);
  // A quoted value is open: the record continues after the line break.
  bool Open() const { return state_ == State::kQuoted; }
  void Reset() { state_ = State::kFieldStart; }

 private:
  enum class State { kFieldStart, kUnquoted, kQuoted, kQuoteInQuoted };
  char separator_, quote_;
  State state_ = State::kFieldStart;
};

// The values of one complete record.
void SplitCsvRecord(std::string_view record, char separator, char quote,
                    std::vector<std::string>& values);

// Reads records from a text source: lines without any character between records are skipped;
// a record continues over line breaks (kept in the record as read) while a quoted value is
// open. A quoted value still open at the end of the file raises the German message naming the
// file and the line where the record began.
class TCsvRecordReader {
 public:
  TCsvRecordReader(TTextSourceReader& source, char separator, char quote)
      : source_(source), state_(separator, quote) {}
  // False at the end of the file. `line` receives the line number where the record begins.
  bool Next(std::string& record, std::int64_t& line);

 private:
  TTextSourceReader& source_;
  TCsvQuoteState state_;
  std::string line_, terminator_;
};

// Writes `value` as one CSV value: quoted (with doubled quotes) when it holds the separator,
// the quote, a line break or begins with a blank, else as it stands.
void AppendCsvValue(std::string& out, std::string_view value, char separator, char quote);

// The separator of a CSV file, guessed from its first records: of ';', ',', tab and '|', the
// character that occurs outside quoted values in the first record and the same number of
// times in most of the following ones (more occurrences win a tie, then the order above).
// Empty when none occurs in the first record (a one-column file).
std::optional<char> DetectCsvSeparator(const std::string& fileName, char quote);

}  // namespace vld
