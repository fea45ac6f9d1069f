#include "matching/match_stats.h"

#include <algorithm>
#include <memory>

#include "matching/match_stats_text.h"
#include "platform/checked.h"
#include "platform/codepage.h"
#include "platform/fatal.h"

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
  return TStatisticsText(*this, *set_).Lines();
}

TMatchStatistics::Totals TMatchStatistics::RunTotals() const {
  Totals t;
  t.records = records_;
  t.duplicates = duplicates_;
  t.intra = intra_;
  t.blocks = blocks_;
  t.multiHeads = multiHeads_;
  for (std::int32_t i = 1; i <= files_; ++i) t.netShares += State(i).netShare;
  t.allRecords = totalRecords_;
  t.allBlocks = totalBlocks_;
  return t;
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
  d.infoLines = SplitMemo(set_->TextNumber(6));

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
    row.name = FromUtf8(InputFileName(*set_, entry), CodePage::k1252);
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
  totals.netShare = CheckedCast<std::int32_t>(RunTotals().netShares);
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
