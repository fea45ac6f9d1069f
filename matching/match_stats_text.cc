#include "matching/match_stats_text.h"

#include <algorithm>
#include <array>

#include "platform/codepage.h"
#include "platform/paths.h"

namespace vld {
namespace {

std::string Oem(std::string_view utf8) { return FromUtf8(utf8, CodePage::k437); }
std::string OemSymbol(char c) { return CharToOem(std::string(1, c)); }

std::string Right(std::string_view text, std::int64_t width) {
  const auto pad = width - static_cast<std::int64_t>(text.size());
  return pad > 0 ? std::string(static_cast<std::size_t>(pad), ' ') + std::string(text)
                 : std::string(text);
}
std::string Left(std::string_view text, std::int64_t width) {
  std::string out(text);
  if (static_cast<std::int64_t>(out.size()) < width) {
    out.resize(static_cast<std::size_t>(width), ' ');
  }
  return out;
}
// `text` centred in `width` characters; with `fill` also padded on the right.
std::string Centre(std::string_view text, std::int64_t width, bool fill) {
  const auto free = width - static_cast<std::int64_t>(text.size());
  if (free <= 0) return std::string(text);
  std::string out(static_cast<std::size_t>(free / 2), ' ');
  out += text;
  return fill ? Left(out, width) : out;
}

std::int64_t Digits(std::int64_t value) {
  std::int64_t digits = 1;
  for (value = value < 0 ? -value : value; value >= 10; value /= 10) ++digits;
  return digits;
}

constexpr std::uint8_t kKompatibilitaet = 0;
constexpr std::uint8_t kElimination = 1;
constexpr std::array<const char*, 4> kTypeNames = {"Grunddatei", "Master-Datei", "Sperrdatei",
                                                   "Kompaktsperrdatei"};
constexpr std::array<const char*, 3> kMatrixTitles = {"Matrix", "Eliminationsmatrix",
                                                      "Überschneidungsmatrix"};
// The value columns of the file table, by their protocol cell codes.
constexpr std::array<std::int32_t, 10> kValueColumns = {
    cell::kLieferung, cell::kBrutto,       cell::kIntra, cell::kAbsolut, cell::kTreffer,
    cell::kProzent,   cell::kProzentNetto, cell::kNetto, cell::kSingle,  cell::kMulti};

}  // namespace

std::vector<std::string> SplitMemo(std::string_view memo) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < memo.size(); ++i) {
    const char c = memo[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < memo.size() && memo[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string InputFileName(const TParameterStore& set, const TInputFileEntry& entry) {
  std::string full(set.FileName(entry.file));
  if (full.empty()) full = set.Text(entry.name);
  return ShortName(full);
}

TStatisticsText::TStatisticsText(const TMatchStatistics& statistics, const TParameterStore& set)
    : statistics_(statistics), set_(set), fields_(set.Fields()) {
  std::int64_t widest = 9;
  for (const TInputFileEntry& entry : set_.InputFiles()) {
    names_.push_back(Oem(InputFileName(set_, entry)));
    idents_.emplace_back(set_.Text(entry.ident));
    widest = std::max<std::int64_t>(widest, static_cast<std::int64_t>(names_.back().size()));
  }
  const std::int64_t maxName = fields_.maxNameLength;
  for (std::string& name : names_) {
    if (static_cast<std::int64_t>(name.size()) > maxName) {
      name.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, maxName - 2)));
      name += "..";
    }
  }
  identWidth_ = std::max<std::int64_t>(5, fields_.identField.length);
  nameWidth_ = std::min(widest, maxName);
  namingWidth_ = fields_.fileMarking == 0   ? nameWidth_
                 : fields_.fileMarking == 1 ? identWidth_
                                            : identWidth_ + 1 + nameWidth_;
  leftWidth_ = std::max<std::int64_t>(23, namingWidth_ + 15);
  numberWidth_ = std::max<std::int64_t>(5, Digits(statistics_.RunTotals().allRecords)) + 1;
  columnWidth_ = std::max<std::int64_t>(10, numberWidth_);
  valueColumns_ = fields_.multiDuplicates ? 10 : 8;
  lineWidth_ = valueColumns_ * columnWidth_ + leftWidth_;
}

std::vector<std::string> TStatisticsText::Lines() {
  out_.clear();
  Head();
  FileTable();
  Legend();
  Ratings();
  out_.emplace_back("\f");
  Matrix();
  return std::move(out_);
}

const TInputFileEntry& TStatisticsText::Entry(std::int32_t file) const {
  return set_.InputFiles()[CheckIndex(file - 1, set_.InputFiles().size())];
}

bool TStatisticsText::IsDark(std::int32_t file) const {
  const InputFileType type = Entry(file).type;
  return type == InputFileType::kSperr || type == InputFileType::kKompaktsperr;
}

std::string TStatisticsText::Value(std::int64_t value) const {
  return Right(std::to_string(value), columnWidth_);
}

std::string TStatisticsText::RowStart(std::string_view number, std::string_view ident,
                                      std::string_view name, std::string_view prio,
                                      std::string_view prioSymbol, std::string_view type) const {
  std::string row = Right(number, 3) + " ";
  if (fields_.fileMarking != 0) row += Left(ident, identWidth_) + " ";
  if (fields_.fileMarking != 1) row += Left(name, nameWidth_) + " ";
  row += Right(prio, 5) + std::string(prioSymbol) + " " + Right(type, 3);
  return Left(row, leftWidth_);
}

std::string TStatisticsText::NamingText(std::int32_t file) const {
  const auto i = static_cast<std::size_t>(file - 1);
  if (fields_.fileMarking == 0) return names_[i];
  if (fields_.fileMarking == 1) return idents_[i];
  return Left(idents_[i], identWidth_) + " " + names_[i];
}

void TStatisticsText::FlushPair(std::string& first, std::string& second, std::string_view restart) {
  out_.emplace_back();
  out_.push_back(first);
  out_.push_back(second);
  first = restart;
  second = restart;
}

void TStatisticsText::Head() {
  const std::string_view head = set_.TextNumber(3);
  if (!head.empty()) out_.push_back(Centre(CharToOem(head), lineWidth_, false));
  for (const std::string& line : SplitMemo(set_.TextNumber(6))) {
    if (!line.empty() && line[0] == '~') {
      out_.push_back(Centre(CharToOem(line.substr(1)), lineWidth_, false));
    } else {
      out_.push_back(CharToOem(line));
    }
  }
  out_.emplace_back();
  out_.push_back(CharToOem(FillPattern(set_.TextNumber(1), set_.TextNumber(2))));
  out_.emplace_back();
  out_.push_back("Netto-Anteil: " + statistics_.NetShareText() + " %");
  out_.emplace_back();
}

void TStatisticsText::FileTable() {
  const TMatchDocument titles;  // the column titles of the protocol
  std::string header1(static_cast<std::size_t>(leftWidth_), ' ');
  std::string header2 = RowStart("Nr.", "Datei", "Dateiname", "Prio", " ", "Art");
  for (std::int64_t c = 0; c < valueColumns_; ++c) {
    const auto code = kValueColumns[static_cast<std::size_t>(c)];
    header1 += Right(CharToOem(titles.GetCell(code, 0)), columnWidth_);
    header2 += Right(CharToOem(titles.GetCell(code, 1)), columnWidth_);
  }
  out_.push_back(header1);
  out_.push_back(header2);
  const std::string rule(static_cast<std::size_t>(lineWidth_), '-');
  out_.push_back(rule);

  const std::string blank(static_cast<std::size_t>(columnWidth_), ' ');
  const std::uint8_t typeMask = fields_.suppressPureBlocks ? 1 : 3;
  const bool withPriorities =
      fields_.priorityField.position != 0 && fields_.priorityField.length != 0;
  for (std::int32_t i = 1; i <= statistics_.FileCount(); ++i) {
    const TInputFileEntry& entry = Entry(i);
    const TMatchStatistics::FileCounts c = statistics_.Counts(i);
    const auto type = static_cast<std::uint8_t>(entry.type);
    const bool dark = IsDark(i);
    const bool priorities =
        entry.type == InputFileType::kKompaktsperr ? entry.compactWithPriority : withPriorities;
    std::string line = RowStart(
        std::to_string(i), idents_[static_cast<std::size_t>(i - 1)],
        names_[static_cast<std::size_t>(i - 1)], std::to_string(entry.priority / 4),
        priorities ? OemSymbol(fields_.symbols[12]) : " ", OemSymbol(fields_.symbols[type]));
    line += blank + Value(c.records);
    line += (typeMask >> type) & 1 ? Value(c.intra) : blank;
    line += dark && fields_.matrixType == kKompatibilitaet ? blank : Value(c.duplicates);
    line += Value(c.blocks);
    if (!dark) {  // dark rows stop after "Treffer"
      line += Right(PercentText(c.duplicates, c.records), columnWidth_);
      line += Value(c.netShare) + Value(c.records - c.duplicates);
      if (fields_.multiDuplicates) {
        line += Value(c.records - c.duplicates - c.multiHeads) + Value(c.multiHeads);
      }
    }
    out_.push_back(line);
  }
  out_.push_back(rule);

  const TMatchStatistics::Totals t = statistics_.RunTotals();
  std::string sum = Left("Summe ohne Sperrdateien", leftWidth_) + blank + Value(t.records) +
                    Value(t.intra) + Value(t.duplicates) + Value(t.blocks) +
                    Right(PercentText(t.duplicates, t.records), columnWidth_) + Value(t.netShares) +
                    Value(t.records - t.duplicates);
  if (fields_.multiDuplicates) {
    sum += Value(t.records - t.duplicates - t.multiHeads) + Value(t.multiHeads);
  }
  out_.push_back(sum);
  out_.push_back(Left("Summe mit  Sperrdateien", leftWidth_ + columnWidth_) + Value(t.allRecords) +
                 Right(std::to_string(t.allBlocks), 3 * columnWidth_));
}

void TStatisticsText::Legend() {
  const std::array<char, 4> types = {fields_.symbols[0], fields_.symbols[1], fields_.symbols[2],
                                     fields_.symbols[3]};
  const char prio = fields_.symbols[12];
  const bool anyType = std::any_of(types.begin(), types.end(), [](char c) { return c != ' '; });
  if (!anyType && prio == ' ') return;
  out_.emplace_back();
  if (prio != ' ')
    out_.push_back(OemSymbol(prio) + Oem(" = datensatzeigene Priorität kommt hinzu"));
  for (std::size_t t = 0; t < types.size(); ++t) {
    const auto earlier = types.begin() + static_cast<std::ptrdiff_t>(t);
    if (types[t] == ' ' || std::find(types.begin(), earlier, types[t]) != earlier) continue;
    out_.push_back(OemSymbol(types[t]) + " = " + Oem(kTypeNames[t]));
  }
}

void TStatisticsText::Ratings() {
  const std::int32_t fields = statistics_.RatingFieldCount();
  if (fields < 1) return;
  out_.emplace_back();
  out_.push_back(Oem("Ersetzungen in Datensätzen"));
  std::string labels, counts;
  for (std::int32_t k = 0; k <= fields; ++k) {
    if (!labels.empty() &&
        static_cast<std::int64_t>(labels.size()) + numberWidth_ > fields_.columns) {
      FlushPair(labels, counts, "");
    }
    labels += Right(k == 0 ? Oem("Sätze") : "F" + std::to_string(k), numberWidth_);
    counts += Right(std::to_string(statistics_.RatingCount(k)), numberWidth_);
  }
  FlushPair(labels, counts, "");
}

void TStatisticsText::Matrix() {
  out_.emplace_back();
  out_.push_back(Oem(kMatrixTitles[std::min<std::size_t>(fields_.matrixType, 2)]));
  out_.emplace_back();
  const std::int32_t n = statistics_.FileCount();
  const std::int64_t labelWidth = std::max<std::int64_t>(3, namingWidth_) + 1;
  const std::string blankLabel(static_cast<std::size_t>(labelWidth), ' ');
  for (std::int32_t i = 1; i <= n; ++i) {
    std::string first = Centre(std::to_string(i), labelWidth, true);
    std::string second = Centre(NamingText(i), labelWidth, true);
    bool any = false;
    for (std::int32_t k = 1; k <= n; ++k) {
      if (any && static_cast<std::int64_t>(first.size()) + numberWidth_ > fields_.columns) {
        FlushPair(first, second, blankLabel);
        any = false;
      }
      const bool bothMaster =
          Entry(i).type == InputFileType::kMaster && Entry(k).type == InputFileType::kMaster;
      const bool blank = fields_.suppressPureBlocks && (bothMaster || (IsDark(i) && IsDark(k)));
      std::string value;
      if (!blank) {
        if (fields_.matrixType == kElimination) {
          value = std::to_string(statistics_.MatrixCell(i, k));
        } else if (i == k) {
          value = std::to_string(statistics_.Counts(i).intra);
        } else {
          value = std::to_string(statistics_.MatrixCell(std::max(i, k), std::min(i, k)));
        }
      }
      first += Right(std::to_string(k), numberWidth_);
      second += Right(value, numberWidth_);
      any = true;
    }
    FlushPair(first, second, blankLabel);
  }
}

}  // namespace vld
