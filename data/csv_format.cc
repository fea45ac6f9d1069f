#include "data/csv_format.h"

#include <array>
#include <map>

#include "data/data_access.h"
#include "platform/fatal.h"

namespace vld {

void TCsvQuoteState::Feed(std::string_view text) {
  for (char c : text) {
    switch (state_) {
      case State::kFieldStart:
        state_ = c == quote_       ? State::kQuoted
                 : c == separator_ ? State::kFieldStart
                                   : State::kUnquoted;
        break;
      case State::kUnquoted:
        if (c == separator_) state_ = State::kFieldStart;
        break;
      case State::kQuoted:
        if (c == quote_) state_ = State::kQuoteInQuoted;
        break;
      case State::kQuoteInQuoted:
        state_ = c == quote_       ? State::kQuoted
                 : c == separator_ ? State::kFieldStart
                                   : State::kUnquoted;
        break;
    }
  }
}

void SplitCsvRecord(std::string_view record, char separator, char quote,
                    std::vector<std::string>& values) {
  // The strings of `values` are reused, so a record of the same shape allocates nothing.
  std::size_t n = 0;
  auto next = [&]() -> std::string& {
    if (n == values.size()) values.emplace_back();
    std::string& value = values[n++];
    value.clear();
    return value;
  };
  if (record.find(quote) == std::string_view::npos) {  // the common case: no quoting at all
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = record.find(separator, start);
      if (end == std::string_view::npos) {
        next().assign(record.substr(start));
        break;
      }
      next().assign(record.substr(start, end - start));
      start = end + 1;
    }
    values.resize(n);
    return;
  }
  enum class State { kFieldStart, kUnquoted, kQuoted, kQuoteInQuoted } state = State::kFieldStart;
  std::string* value = &next();
  for (char c : record) {
    switch (state) {
      case State::kFieldStart:
        if (c == quote) {
          state = State::kQuoted;
        } else if (c == separator) {
          value = &next();
        } else {
          value->push_back(c);
          state = State::kUnquoted;
        }
        break;
      case State::kUnquoted:
        if (c == separator) {
          value = &next();
          state = State::kFieldStart;
        } else {
          value->push_back(c);
        }
        break;
      case State::kQuoted:
        if (c == quote) {
          state = State::kQuoteInQuoted;
        } else {
          value->push_back(c);
        }
        break;
      case State::kQuoteInQuoted:
        if (c == quote) {
          value->push_back(c);
          state = State::kQuoted;
        } else if (c == separator) {
          value = &next();
          state = State::kFieldStart;
        } else {
          value->push_back(c);
          state = State::kUnquoted;
        }
        break;
    }
  }
  values.resize(n);
}

bool TCsvRecordReader::Next(std::string& record, std::int64_t& line) {
  record.clear();
  do {
    if (!source_.ReadLine(line_, terminator_)) return false;
  } while (line_.empty());
  line = source_.LineNumber();
  state_.Reset();
  state_.Feed(line_);
  record = line_;
  while (state_.Open()) {
    const std::string terminator = terminator_;
    if (terminator.empty() || !source_.ReadLine(line_, terminator_)) {
      throw EDataAccess(
          Format("%s ist keine gültige CSV-Datei: das Anführungszeichen des "
                 "Datensatzes in Zeile %lld wird nicht geschlossen.",
                 source_.FileName().c_str(), static_cast<long long>(line)));
    }
    state_.Feed(terminator);
    state_.Feed(line_);
    record += terminator;
    record += line_;
    if (static_cast<std::int64_t>(record.size()) > kMaxSourceLineBytes) {
      throw EDataAccess(
          Format("%s ist keine gültige CSV-Datei: der Datensatz ab Zeile %lld ist "
                 "länger als %lld Zeichen.",
                 source_.FileName().c_str(), static_cast<long long>(line),
                 static_cast<long long>(kMaxSourceLineBytes)));
    }
  }
  return true;
}

void AppendCsvValue(std::string& out, std::string_view value, char separator, char quote) {
  const bool needsQuotes =
      value.find_first_of(std::string{separator, quote, '\r', '\n'}) != std::string_view::npos ||
      (!value.empty() && value.front() == ' ');
  if (!needsQuotes) {
    out.append(value);
    return;
  }
  out.push_back(quote);
  for (char c : value) {
    if (c == quote) out.push_back(quote);
    out.push_back(c);
  }
  out.push_back(quote);
}

std::optional<char> DetectCsvSeparator(const std::string& fileName, char quote) {
  constexpr std::array<char, 4> kCandidates = {';', ',', '\t', '|'};
  constexpr int kSampleRecords = 200;
  TTextSourceReader source;
  source.Open(fileName);
  std::vector<std::array<std::size_t, 4>> counts;
  std::string line, terminator;
  // Counted per physical line outside quoted values; good enough to tell the separator.
  while (static_cast<int>(counts.size()) < kSampleRecords && source.ReadLine(line, terminator)) {
    if (line.empty()) continue;
    std::array<std::size_t, 4> c{};
    for (std::size_t k = 0; k < kCandidates.size(); ++k) {
      std::vector<std::string> values;
      SplitCsvRecord(line, kCandidates[k], quote, values);
      c[k] = values.size() - 1;
    }
    counts.push_back(c);
  }
  source.Close();
  if (counts.empty()) return std::nullopt;
  int best = -1;
  std::size_t bestAgree = 0, bestCount = 0;
  for (std::size_t k = 0; k < kCandidates.size(); ++k) {
    const std::size_t first = counts[0][k];
    if (first == 0) continue;
    std::size_t agree = 0;
    for (const auto& c : counts) agree += c[k] == first ? 1 : 0;
    if (best < 0 || agree > bestAgree || (agree == bestAgree && first > bestCount)) {
      best = static_cast<int>(k);
      bestAgree = agree;
      bestCount = first;
    }
  }
  if (best < 0) return std::nullopt;
  return kCandidates[static_cast<std::size_t>(best)];
}

}  // namespace vld
