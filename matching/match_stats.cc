#include "matching/match_stats.h"

#include <algorithm>
#include <memory>

#include "platform/checked.h"
#include "platform/codepage.h"
#include "platform/fatal.h"
#include "platform/paths.h"

namespace vld {
namespace {

constexpr std::int32_t kMaxFiles = 500;
constexpr std::uint8_t kHeadRole = 1;
constexpr std::uint8_t kDuplicateRole = 2;
constexpr std::uint8_t kListed = 4;
constexpr std::uint8_t kKompatibilitaet = 0;
constexpr std::uint8_t kElimination = 1;

template <typename T>
std::span<T> OwnedArray(TOrigin& owner, std::int64_t count) {
  if (count <= 0) return {};
  T* items = static_cast<T*>(
      owner.AllocOwned(CheckedMul<std::int64_t>(count, static_cast<std::int64_t>(sizeof(T)))));
  std::uninitialized_value_construct_n(items, static_cast<std::size_t>(count));
  return {items, static_cast<std::size_t>(count)};
}

// Text pieces of the plain-text statistics; everything is code page 437.
std::string Oem(std::string_view utf8) { return FromUtf8(utf8, CodePage::k437); }

std::string Right(std::string_view text, std::int64_t width) {
  const auto pad = width - static_cast<std::int64_t>(text.size());
  return pad > 0 ? std::string(static_cast<std::size_t>(pad), ' ') + std::string(text)
                 : std::string(text);
}
std::string Right(std::int64_t value, std::int64_t width) {
  return Right(std::to_string(value), width);
}
std::string Left(std::string_view text, std::int64_t width) {
  std::string out(text);
  if (static_cast<std::int64_t>(out.size()) < width)
    out.resize(static_cast<std::size_t>(width), ' ');
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

// The memo split at CR LF, CR or LF; a final line end adds no empty line.
std::vector<std::string> SplitLines(std::string_view memo) {
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

std::int64_t Digits(std::int64_t value) {
  std::int64_t digits = 1;
  for (value = value < 0 ? -value : value; value >= 10; value /= 10) ++digits;
  return digits;
}

// Names of the file types for the legend (UTF-8).
constexpr std::array<const char*, 4> kTypeNames = {"Grunddatei", "Master-Datei", "Sperrdatei",
                                                   "Kompaktsperrdatei"};
constexpr std::array<const char*, 3> kMatrixTitles = {"Matrix", "Eliminationsmatrix",
                                                      "Überschneidungsmatrix"};

}  // namespace

void TMatchStatistics::Setup(const TParameterStore& set) {
  set_ = &set;
  const auto inputs = set.InputFiles();
  if (inputs.empty() || inputs.size() > static_cast<std::size_t>(kMaxFiles)) {
    Fatal("TMatchStatistics.Setup");
  }
  files_ = static_cast<std::int32_t>(inputs.size());
  const std::uint8_t type = set.Fields().matrixType;
  triangular_ = type != kElimination;
  const std::int64_t n = files_;
  state_ = OwnedArray<FileState>(*this, n);
  matrix_ = OwnedArray<std::int32_t>(*this, triangular_ ? n * (n - 1) / 2 : n * n);
  ratings_ =
      OwnedArray<std::int32_t>(*this, std::max<std::int64_t>(0, set.Fields().vectors[9].count) + 1);
  fileList_ = OwnedArray<std::int32_t>(*this, n);
  touched_ = OwnedArray<std::int32_t>(*this, n);
}

bool TMatchStatistics::IsDark(std::int32_t file) const {
  const InputFileType type = set_->InputFiles()[CheckIndex(file - 1, files_)].type;
  return type == InputFileType::kSperr || type == InputFileType::kKompaktsperr;
}

TMatchStatistics::FileState& TMatchStatistics::State(std::int32_t file) {
  return state_[CheckIndex(file - 1, state_.size())];
}
const TMatchStatistics::FileState& TMatchStatistics::State(std::int32_t file) const {
  return state_[CheckIndex(file - 1, state_.size())];
}

std::int32_t& TMatchStatistics::Cell(std::int32_t r, std::int32_t s) {
  if (!triangular_) {
    return matrix_[CheckIndex(std::int64_t{r - 1} * files_ + (s - 1), matrix_.size())];
  }
  if (s < 1 || s >= r) RaiseRangeError();
  return matrix_[CheckIndex(std::int64_t{r - 1} * (r - 2) / 2 + (s - 1), matrix_.size())];
}

void TMatchStatistics::CountPair(std::int32_t a, std::int32_t b) {
  if (a == b) return;  // the diagonal of a triangle is the intra count
  std::int32_t& cell = Cell(std::max(a, b), std::min(a, b));
  cell = CheckedAdd(cell, 1);
}

void TMatchStatistics::Appear(std::int32_t file) {
  FileState& s = State(file);
  if (s.roles & kListed) return;
  if (s.roles == 0) touched_[CheckIndex(touchedCount_++, touched_.size())] = file;
  s.roles |= kListed;
  fileList_[CheckIndex(listed_++, fileList_.size())] = file;
}

void TMatchStatistics::BeginBlock() {
  for (std::int32_t i = 0; i < touchedCount_; ++i) State(touched_[i]).roles = 0;
  touchedCount_ = 0;
  listed_ = 0;
  blockHasHead_ = false;
}

void TMatchStatistics::AddHead(std::int32_t file, bool multiHead) {
  Appear(file);
  FileState& s = State(file);
  blockHasHead_ = true;
  if ((s.roles & (kHeadRole | kDuplicateRole)) == kDuplicateRole) s.intra = CheckedAdd(s.intra, 1);
  s.roles |= kHeadRole;
  if (multiHead) s.multiHeads = CheckedAdd(s.multiHeads, 1);
}

void TMatchStatistics::AddDuplicate(std::int32_t file, bool counted) {
  FileState& s = State(file);
  if (IsDark(file) && set_->Fields().matrixType == kKompatibilitaet) {
    if (!counted) return;
    if (s.roles == 0) touched_[CheckIndex(touchedCount_++, touched_.size())] = file;
    if (s.roles & (kHeadRole | kDuplicateRole)) s.intra = CheckedAdd(s.intra, 1);
    s.roles = static_cast<std::uint8_t>((s.roles & kListed) | kDuplicateRole);
    return;
  }
  Appear(file);
  if (!counted) {
    s.roles |= kHeadRole | kDuplicateRole;
    return;
  }
  if (s.roles & (kHeadRole | kDuplicateRole)) s.intra = CheckedAdd(s.intra, 1);
  s.roles |= kDuplicateRole;
  s.duplicates = CheckedAdd(s.duplicates, 1);
  if (!triangular_) {
    std::int32_t& cell = Cell(fileList_[0], file);
    cell = CheckedAdd(cell, 1);
  }
}

void TMatchStatistics::WithdrawMultiHead(std::int32_t file) {
  FileState& s = State(file);
  s.multiHeads = CheckedSub(s.multiHeads, 1);
}

void TMatchStatistics::EndBlock(std::int32_t representativeFile) {
  if (listed_ == 0) return;
  FileState& s = State(representativeFile);
  s.blocks = CheckedAdd(s.blocks, 1);
  const std::uint8_t type = set_->Fields().matrixType;
  if (type == kKompatibilitaet) {
    if (!blockHasHead_) CountPair(representativeFile, fileList_[0]);
    for (std::int32_t k = 1; k < listed_; ++k) {
      if (!(State(fileList_[k]).roles & kDuplicateRole)) continue;
      for (std::int32_t j = 0; j < k; ++j) CountPair(fileList_[k], fileList_[j]);
    }
  } else if (type != kElimination) {
    for (std::int32_t k = 1; k < listed_; ++k) {
      for (std::int32_t j = 0; j < k; ++j) CountPair(fileList_[k], fileList_[j]);
    }
  }
}

void TMatchStatistics::AddReratedHead() { ratings_[0] = CheckedAdd(ratings_[0], 1); }

void TMatchStatistics::AddRatingChange(std::int32_t field) {
  std::int32_t& count = ratings_[CheckIndex(field, ratings_.size())];
  if (field < 1) RaiseRangeError();
  count = CheckedAdd(count, 1);
}

TMatchStatistics::FileCounts TMatchStatistics::Counts(std::int32_t file) const {
  const FileState& s = State(file);
  FileCounts c;
  c.records = set_->InputFiles()[static_cast<std::size_t>(file - 1)].recordCount;
  c.duplicates = s.duplicates;
  c.intra = s.intra;
  c.blocks = s.blocks;
  c.multiHeads = s.multiHeads;
  c.netShare = s.netShare;
  return c;
}

std::int32_t TMatchStatistics::MatrixCell(std::int32_t r, std::int32_t s) const {
  return const_cast<TMatchStatistics*>(this)->Cell(r, s);
}

std::int32_t TMatchStatistics::RatingCount(std::int32_t i) const {
  return ratings_[CheckIndex(i, ratings_.size())];
}

void TMatchStatistics::Finish() {
  const auto inputs = set_->InputFiles();
  totalRecords_ = totalBlocks_ = 0;
  records_ = duplicates_ = intra_ = blocks_ = multiHeads_ = 0;
  for (std::int32_t f = 1; f <= files_; ++f) {
    const TInputFileEntry& entry = inputs[static_cast<std::size_t>(f - 1)];
    const FileState& s = State(f);
    totalRecords_ = CheckedAdd(totalRecords_, entry.recordCount);
    totalBlocks_ = CheckedAdd<std::int64_t>(totalBlocks_, s.blocks);
    if (IsDark(f)) continue;
    records_ = CheckedAdd(records_, entry.recordCount);
    duplicates_ = CheckedAdd<std::int64_t>(duplicates_, s.duplicates);
    intra_ = CheckedAdd<std::int64_t>(intra_, s.intra);
    blocks_ = CheckedAdd<std::int64_t>(blocks_, s.blocks);
    multiHeads_ = CheckedAdd<std::int64_t>(multiHeads_, s.multiHeads);
  }
  const std::int64_t pure = records_ - intra_;
  if (pure < 1) Fatal("Pure < 1");
  const std::int64_t net = records_ - duplicates_;

  // Apportioned net records: each Grund or Master file gets the integer part of its exact
  // share of the net records; the units still missing go one by one to the largest remainders.
  std::int64_t given = 0;
  for (std::int32_t f = 1; f <= files_; ++f) {
    FileState& s = State(f);
    s.netShare = 0;
    s.remainder = 0;
    if (IsDark(f)) continue;
    const std::int64_t exact = CheckedMul<std::int64_t>(
        inputs[static_cast<std::size_t>(f - 1)].recordCount - s.intra, net);
    s.netShare = CheckedCast<std::int32_t>(exact / pure);
    s.remainder = exact % pure;
    given += s.netShare;
  }
  for (std::int64_t missing = net - given; missing > 0; --missing) {
    std::int32_t best = 0;
    for (std::int32_t f = 1; f <= files_; ++f) {
      if (IsDark(f) || State(f).remainder <= 0) continue;
      if (best == 0 || State(f).remainder > State(best).remainder) best = f;
    }
    if (best == 0) break;
    State(best).netShare = CheckedAdd(State(best).netShare, 1);
    State(best).remainder = 0;
  }
  netShareText_ = PercentText(net, records_);
  finished_ = true;
}

std::vector<std::string> TMatchStatistics::TextLines() const {
  if (!finished_) Fatal("TMatchStatistics.TextLines: not finished");
  const TParameterFields& f = set_->Fields();
  const auto inputs = set_->InputFiles();
  std::vector<std::string> out;

  // Names, widths.
  std::vector<std::string> names, idents;
  std::int64_t widest = 9;
  for (const TInputFileEntry& entry : inputs) {
    std::string full(set_->FileName(entry.file));
    if (full.empty()) full = set_->Text(entry.name);
    names.push_back(Oem(ShortName(full)));
    idents.emplace_back(set_->Text(entry.ident));
    widest = std::max<std::int64_t>(widest, static_cast<std::int64_t>(names.back().size()));
  }
  const std::int64_t maxName = f.maxNameLength;
  const std::int64_t identWidth = std::max<std::int64_t>(5, f.identField.length);
  const std::int64_t nameWidth = std::min(widest, maxName);
  for (std::string& name : names) {
    if (static_cast<std::int64_t>(name.size()) > maxName) {
      name =
          name.substr(0, static_cast<std::size_t>(std::max<std::int64_t>(0, maxName - 2))) + "..";
    }
  }
  const std::int64_t naming = f.fileMarking == 0   ? nameWidth
                              : f.fileMarking == 1 ? identWidth
                                                   : identWidth + 1 + nameWidth;
  const std::int64_t left = std::max<std::int64_t>(23, naming + 15);
  const std::int64_t numberWidth = std::max<std::int64_t>(5, Digits(totalRecords_)) + 1;
  const std::int64_t columnWidth = std::max<std::int64_t>(10, numberWidth);
  const std::int64_t valueColumns = f.multiDuplicates ? 10 : 8;
  const std::int64_t lineWidth = valueColumns * columnWidth + left;

  // The row pattern of the file naming, for the header and every file.
  const auto pattern = [&](std::string_view number, std::string_view ident, std::string_view name,
                           std::string_view prio, std::string_view prioSymbol,
                           std::string_view type) {
    std::string row = Right(number, 3) + " ";
    if (f.fileMarking != 0) row += Left(ident, identWidth) + " ";
    if (f.fileMarking != 1) row += Left(name, nameWidth) + " ";
    row += Right(prio, 5) + std::string(prioSymbol) + " " + Right(type, 3);
    return Left(row, left);
  };
  const auto namingText = [&](std::size_t i) {
    if (f.fileMarking == 0) return names[i];
    if (f.fileMarking == 1) return idents[i];
    return Left(idents[i], identWidth) + " " + names[i];
  };
  const auto symbol = [](char c) { return CharToOem(std::string(1, c)); };

  // 1. Head.
  const std::string_view head = set_->TextNumber(3);
  if (!head.empty()) out.push_back(Centre(CharToOem(head), lineWidth, false));
  for (const std::string& line : SplitLines(set_->TextNumber(6))) {
    if (!line.empty() && line[0] == '~') {
      out.push_back(Centre(CharToOem(line.substr(1)), lineWidth, false));
    } else {
      out.push_back(CharToOem(line));
    }
  }
  out.emplace_back();
  out.push_back(CharToOem(FillPattern(set_->TextNumber(1), set_->TextNumber(2))));
  out.emplace_back();
  out.push_back("Netto-Anteil: " + netShareText_ + " %");
  out.emplace_back();

  // 2. File table.
  static constexpr std::array<std::int32_t, 10> kColumns = {
      cell::kLieferung, cell::kBrutto,       cell::kIntra, cell::kAbsolut, cell::kTreffer,
      cell::kProzent,   cell::kProzentNetto, cell::kNetto, cell::kSingle,  cell::kMulti};
  TMatchDocument titles;
  std::string header1(static_cast<std::size_t>(left), ' ');
  std::string header2 = CharToOem(pattern("Nr.", "Datei", "Dateiname", "Prio", " ", "Art"));
  for (std::int64_t c = 0; c < valueColumns; ++c) {
    header1 += Right(CharToOem(titles.GetCell(kColumns[c], 0)), columnWidth);
    header2 += Right(CharToOem(titles.GetCell(kColumns[c], 1)), columnWidth);
  }
  out.push_back(header1);
  out.push_back(header2);
  const std::string rule(static_cast<std::size_t>(lineWidth), '-');
  out.push_back(rule);
  const std::uint8_t typeMask = f.suppressPureBlocks ? 1 : 3;
  const bool withPriorities = f.priorityField.position != 0 && f.priorityField.length != 0;
  for (std::int32_t i = 1; i <= files_; ++i) {
    const TInputFileEntry& entry = inputs[static_cast<std::size_t>(i - 1)];
    const FileState& s = State(i);
    const auto type = static_cast<std::uint8_t>(entry.type);
    const bool dark = IsDark(i);
    const bool priorities =
        entry.type == InputFileType::kKompaktsperr ? entry.compactWithPriority : withPriorities;
    std::string line =
        pattern(std::to_string(i), idents[static_cast<std::size_t>(i - 1)],
                names[static_cast<std::size_t>(i - 1)], std::to_string(entry.priority / 4),
                priorities ? symbol(f.symbols[12]) : " ", symbol(f.symbols[type]));
    const std::int64_t records = entry.recordCount;
    line += Right("", columnWidth);
    line += Right(records, columnWidth);
    line += (typeMask >> type) & 1 ? Right(s.intra, columnWidth) : Right("", columnWidth);
    line += dark && f.matrixType == kKompatibilitaet ? Right("", columnWidth)
                                                     : Right(s.duplicates, columnWidth);
    line += Right(s.blocks, columnWidth);
    if (!dark) {
      line += Right(PercentText(s.duplicates, records), columnWidth);
      line += Right(s.netShare, columnWidth);
      line += Right(records - s.duplicates, columnWidth);
      if (f.multiDuplicates) {
        line += Right(records - s.duplicates - s.multiHeads, columnWidth);
        line += Right(s.multiHeads, columnWidth);
      }
    }
    out.push_back(line);
  }
  out.push_back(rule);
  std::int64_t netShares = 0;
  for (std::int32_t i = 1; i <= files_; ++i) netShares += State(i).netShare;
  std::string sum = Left("Summe ohne Sperrdateien", left) + Right("", columnWidth) +
                    Right(records_, columnWidth) + Right(intra_, columnWidth) +
                    Right(duplicates_, columnWidth) + Right(blocks_, columnWidth) +
                    Right(PercentText(duplicates_, records_), columnWidth) +
                    Right(netShares, columnWidth) + Right(records_ - duplicates_, columnWidth);
  if (f.multiDuplicates) {
    sum +=
        Right(records_ - duplicates_ - multiHeads_, columnWidth) + Right(multiHeads_, columnWidth);
  }
  out.push_back(sum);
  out.push_back(Left("Summe mit  Sperrdateien", left + columnWidth) +
                Right(totalRecords_, columnWidth) + Right(totalBlocks_, 3 * columnWidth));

  // 3. Legend.
  const std::array<char, 4> types = {f.symbols[0], f.symbols[1], f.symbols[2], f.symbols[3]};
  const char prio = f.symbols[12];
  if (std::any_of(types.begin(), types.end(), [](char c) { return c != ' '; }) || prio != ' ') {
    out.emplace_back();
    if (prio != ' ') out.push_back(symbol(prio) + Oem(" = datensatzeigene Priorität kommt hinzu"));
    for (std::size_t t = 0; t < types.size(); ++t) {
      if (types[t] == ' ' ||
          std::find(types.begin(), types.begin() + t, types[t]) != types.begin() + t) {
        continue;
      }
      out.push_back(symbol(types[t]) + " = " + Oem(kTypeNames[t]));
    }
  }

  // Pairs of lines that wrap at "Spalten": an empty line, then both lines.
  const std::int64_t columns = f.columns;
  const auto flush = [&out](std::string& first, std::string& second, std::string_view restart) {
    out.emplace_back();
    out.push_back(first);
    out.push_back(second);
    first = restart;
    second = restart;
  };

  // 4. Ratings.
  if (ratings_.size() > 1) {
    out.emplace_back();
    out.push_back(Oem("Ersetzungen in Datensätzen"));
    std::string labels, counts;
    for (std::size_t k = 0; k < ratings_.size(); ++k) {
      if (!labels.empty() && static_cast<std::int64_t>(labels.size()) + numberWidth > columns) {
        flush(labels, counts, "");
      }
      labels += Right(k == 0 ? Oem("Sätze") : "F" + std::to_string(k), numberWidth);
      counts += Right(ratings_[k], numberWidth);
    }
    flush(labels, counts, "");
  }

  // 5. Page break.
  out.emplace_back("\f");

  // 6. Matrix.
  out.emplace_back();
  out.push_back(Oem(kMatrixTitles[std::min<std::size_t>(f.matrixType, 2)]));
  out.emplace_back();
  const std::int64_t labelWidth = std::max<std::int64_t>(3, naming) + 1;
  const std::string blankLabel(static_cast<std::size_t>(labelWidth), ' ');
  for (std::int32_t i = 1; i <= files_; ++i) {
    std::string first = Centre(std::to_string(i), labelWidth, true);
    std::string second = Centre(namingText(static_cast<std::size_t>(i - 1)), labelWidth, true);
    bool any = false;
    for (std::int32_t k = 1; k <= files_; ++k) {
      if (any && static_cast<std::int64_t>(first.size()) + numberWidth > columns) {
        flush(first, second, blankLabel);
        any = false;
      }
      const InputFileType ti = inputs[static_cast<std::size_t>(i - 1)].type;
      const InputFileType tk = inputs[static_cast<std::size_t>(k - 1)].type;
      const bool blank =
          f.suppressPureBlocks && ((ti == InputFileType::kMaster && tk == InputFileType::kMaster) ||
                                   (IsDark(i) && IsDark(k)));
      std::string value;
      if (!blank) {
        if (!triangular_) {
          value = std::to_string(MatrixCell(i, k));
        } else if (i == k) {
          value = std::to_string(State(i).intra);
        } else {
          value = std::to_string(MatrixCell(std::max(i, k), std::min(i, k)));
        }
      }
      first += Right(k, numberWidth);
      second += Right(value, numberWidth);
      any = true;
    }
    flush(first, second, blankLabel);
  }
  return out;
}

void TMatchStatistics::BuildDocument(TMatchDocument& document) const {
  if (!finished_) Fatal("TMatchStatistics.BuildDocument: not finished");
  const TParameterFields& f = set_->Fields();
  const auto inputs = set_->InputFiles();
  document.Clear();
  TMatchDocument& d = document;
  d.multiDuplicates = f.multiDuplicates;
  d.suppressPureBlocks = f.suppressPureBlocks;
  d.fileMarking = f.fileMarking;
  d.maxNameLength = CheckedCast<std::int32_t>(f.maxNameLength);
  for (std::size_t t = 0; t < 4; ++t) d.typeSymbols[t] = f.symbols[t];
  d.prioSymbol = f.symbols[12];
  d.matrixType = f.matrixType;
  d.totalRecords = CheckedCast<std::int32_t>(totalRecords_);
  d.totalBlocks = CheckedCast<std::int32_t>(totalBlocks_);
  d.headText = set_->TextNumber(3);
  d.jobText = FillPattern(set_->TextNumber(1), set_->TextNumber(2));
  d.netShareText = netShareText_;
  d.infoLines = SplitLines(set_->TextNumber(6));

  // Rows: texts of the document are Windows-1252; file names are UTF-8 paths, identifications
  // record bytes (437).
  const bool withPriorities = f.priorityField.position != 0 && f.priorityField.length != 0;
  d.rows.clear();
  for (std::int32_t i = 1; i <= files_; ++i) {
    const TInputFileEntry& entry = inputs[static_cast<std::size_t>(i - 1)];
    const FileState& s = State(i);
    TMatchDocFileEntry row;
    row.type = static_cast<std::uint8_t>(entry.type);
    row.withPriorities =
        entry.type == InputFileType::kKompaktsperr ? entry.compactWithPriority : withPriorities;
    row.priority = entry.priority;
    std::string full(set_->FileName(entry.file));
    if (full.empty()) full = set_->Text(entry.name);
    row.name = FromUtf8(ShortName(full), CodePage::k1252);
    row.ident = FromUtf8(ToUtf8(set_->Text(entry.ident), CodePage::k437), CodePage::k1252);
    row.records = CheckedCast<std::int32_t>(entry.recordCount);
    row.intra = s.intra;
    row.duplicates = s.duplicates;
    row.blocks = s.blocks;
    row.netShare = s.netShare;
    row.multiHeads = s.multiHeads;
    d.rows.push_back(std::move(row));
  }
  TMatchDocFileEntry totals;
  totals.records = CheckedCast<std::int32_t>(records_);
  totals.intra = CheckedCast<std::int32_t>(intra_);
  totals.duplicates = CheckedCast<std::int32_t>(duplicates_);
  totals.blocks = CheckedCast<std::int32_t>(blocks_);
  std::int64_t netShares = 0;
  for (std::int32_t i = 1; i <= files_; ++i) netShares += State(i).netShare;
  totals.netShare = CheckedCast<std::int32_t>(netShares);
  totals.multiHeads = CheckedCast<std::int32_t>(multiHeads_);
  d.rows.push_back(std::move(totals));

  // Columns: shown system columns by their cell codes, additional columns shown by number.
  const std::int64_t n = files_;
  for (const TColumnEntry& column : set_->Entries<TColumnEntry>(f.vectors[10])) {
    if (column.kind == 0) {
      const std::int32_t code = SystemColumnCode(column.systemKind);
      if (code == 0) continue;
      bool shown = column.displayMode == 0 || column.displayMode == 3;
      if (column.displayMode == 2) {
        shown = (code == cell::kIdent && f.fileMarking != 0) ||
                (code == cell::kName && f.fileMarking != 1) ||
                ((code == cell::kSingle || code == cell::kMulti) && f.multiDuplicates);
      }
      if (shown) d.columnMap.push_back(code);
      continue;
    }
    if (column.displayMode != 0) continue;
    TMatchDocAddColEntry entry;
    entry.alignment = column.alignment;
    entry.sumWithout = column.compute == 1 || column.compute == 3;
    entry.sumWith = column.compute == 2 || column.compute == 3;
    const std::int32_t valueCode = SystemColumnCode(column.value);
    const auto preset = [&](std::uint32_t text, std::int64_t row) {
      return FillPattern(
          set_->Text(text),
          valueCode == 0 ? std::string() : d.GetCell(valueCode, static_cast<std::int32_t>(row)));
    };
    entry.cells.emplace_back(set_->Text(column.title1));
    entry.cells.emplace_back(set_->Text(column.title2));
    for (std::int64_t row = 2; row < n + 2; ++row)
      entry.cells.push_back(preset(column.preset, row));
    entry.cells.push_back(entry.sumWithout ? std::string() : preset(column.presetS0, n + 2));
    entry.cells.push_back(entry.sumWith ? std::string() : preset(column.presetS1, n + 3));
    d.addColumns.push_back(std::move(entry));
    d.columnMap.push_back(static_cast<std::int32_t>(d.addColumns.size()));
  }

  d.ratingData.assign(ratings_.begin(), ratings_.end());
  if (n > 1) {
    d.matrix.resize(static_cast<std::size_t>(n));
    for (std::int32_t r = 1; r <= files_; ++r) {
      std::vector<std::int32_t>& values = d.matrix[static_cast<std::size_t>(r - 1)];
      const std::int32_t count = triangular_ ? r - 1 : files_;
      for (std::int32_t s = 1; s <= count; ++s) values.push_back(MatrixCell(r, s));
    }
  }
}

}  // namespace vld
