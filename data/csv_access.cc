#include "data/csv_access.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "data/code_pages.h"
#include "platform/checked.h"
#include "platform/fatal.h"

namespace vld {

TCSVAccess::~TCSVAccess() { Close(); }

void TCSVAccess::SetFileName(const std::string& fileName) {
  if (Active()) {
    throw EDataAccess("Änderung des Dateinamens im initialisierten Zustand nicht möglich!");
  }
  fileName_ = fileName;
}

void TCSVAccess::SetSeparator(char separator) {
  if (Active()) {
    throw EDataAccess("Änderung des Trennzeichens im initialisierten Zustand nicht möglich!");
  }
  separator_ = separator;
}

void TCSVAccess::SetQuote(char quote) {
  if (Active()) {
    throw EDataAccess("Änderung des Begrenzungszeichens im initialisierten Zustand nicht möglich!");
  }
  quote_ = quote;
}

void TCSVAccess::SetHeader(bool header) {
  CheckNotActive();
  header_ = header;
}

void TCSVAccess::SetStrictFieldCount(bool strict) {
  CheckNotActive();
  strict_ = strict;
}

std::string TCSVAccess::Description() {
  return "Kommata-getrennte Datei - " + fileName_ + "\r\n" +
         "Codepage: " + std::string(CodePageName(codePage)) + " Quote: " + std::string(1, quote_) +
         " Trenner:" + (separator_ != 0 ? std::string(1, separator_) : std::string("(keiner)"));
}

std::int64_t TCSVAccess::RecordCount() {
  CheckActive();
  return recordCount_;
}

bool TCSVAccess::NextRecord(TCsvRecordReader& reader, std::string& record, std::int64_t& line) {
  if (!reader.Next(record, line)) return false;
  CheckSourceText(fileName_, record, line, codePage, /*allowZeroBytes=*/false);
  return true;
}

void TCSVAccess::SplitChecked(const std::string& record, std::int64_t line,
                              std::vector<std::string>& values) const {
  SplitCsvRecord(record, separator_, quote_, values);
  const std::size_t described = descs_.size();
  bool extra = false;
  if (strict_) {
    for (std::size_t i = described; i < values.size(); ++i) extra |= !values[i].empty();
  }
  if (values.size() < described || extra) {
    throw EDataAccess(
        Format("%s ist keine gültige CSV-Datei: Zeile %lld hat %zu Felder, erwartet "
               "werden %zu.",
               fileName_.c_str(), static_cast<long long>(line), values.size(), described));
  }
}

// ---- Reading ahead --------------------------------------------------------------------------

namespace {
constexpr std::size_t kReadAhead = 1024;  // records of one batch
}  // namespace

void TCSVAccess::FillAhead(Ahead& batch) {
  ScopedFatalHook hook(ThrowingFatalHook);
  batch.end = false;
  batch.failure = nullptr;
  batch.inSplit = false;
  std::size_t count = 0;
  for (; count < kReadAhead; ++count) {
    try {
      if (!NextRecord(*reader_, batch.records[count], batch.lines[count])) {
        batch.end = true;
        break;
      }
    } catch (...) {
      batch.failure = std::current_exception();
      break;
    }
    try {
      SplitChecked(batch.records[count], batch.lines[count], batch.values[count]);
    } catch (...) {
      batch.failure = std::current_exception();
      batch.inSplit = true;
      ++count;
      break;
    }
  }
  batch.count = count;
}

void TCSVAccess::StartAhead() {
  Ahead& batch = ahead_[current_ ^ 1];
  helperBusy_ = true;
  helper_->Start([this, &batch] { FillAhead(batch); });
}

void TCSVAccess::StopAhead() {
  if (helperBusy_) helper_->Wait();
  helperBusy_ = false;
  readingAhead_ = false;
}

void TCSVAccess::Initialize(const TFieldDescs& descs) {
  CheckNotActive();
  if (!FileExistsNotDirectory(fileName_)) {
    throw EDataAccess(Format("Die Datei %s existiert nicht.", fileName_.c_str()));
  }
  source_.Open(fileName_);
  if (source_.HasByteOrderMark()) codePage = CodePage::kUtf8;
  descs_ = descs;
  for (TFieldDesc& d : descs_) d.position = d.length = 0;
  values_.assign(descs_.size(), std::string());
  try {
    Analyze();
  } catch (...) {
    source_.Close();
    reader_.reset();
    throw;
  }
  SetActive(true);
}

void TCSVAccess::Analyze() {
  if (!source_.IsOpen()) Fatal("CSV analysis without an open file");
  source_.Rewind();
  TCsvRecordReader reader(source_, separator_, quote_);
  std::vector<std::int32_t> width(descs_.size(), 0);
  std::int64_t count = 0, line = 0;
  std::string record;
  bool headerSeen = !header_;
  while (NextRecord(reader, record, line)) {
    if (!headerSeen) {
      headerSeen = true;
      continue;
    }
    SplitChecked(record, line, values_);
    count = CheckedAdd<std::int64_t>(count, 1);
    for (std::size_t k = 0; k < width.size(); ++k) {
      if (width[k] >= kMaxFieldWidth) continue;
      const std::size_t w = RecordTextLength(values_[k], codePage);
      width[k] =
          std::max(width[k], static_cast<std::int32_t>(std::min<std::size_t>(w, kMaxFieldWidth)));
    }
  }
  if (count == 0) {
    throw EDataAccess(
        header_ && headerSeen
            ? Format("Die Datei \"%s\" enthält nur die Kopfzeile und keine "
                     "Datensätze.",
                     fileName_.c_str())
            : Format("Die Datei \"%s\" enthält keine Datensätze.", fileName_.c_str()));
  }
  std::int32_t position = 1;
  for (std::size_t k = 0; k < descs_.size(); ++k) {
    descs_[k].position = position;
    descs_[k].length = std::max(width[k], 1);
    position = CheckedAdd(position, descs_[k].length);
  }
  recordCount_ = count;
}

void TCSVAccess::Close() {
  StopAhead();
  if (!Active()) return;
  reader_.reset();
  source_.Close();
  hasNext_ = false;
  SetActive(false);
}

void TCSVAccess::First() {
  CheckActive();
  StopAhead();
  source_.Rewind();
  reader_ = std::make_unique<TCsvRecordReader>(source_, separator_, quote_);
  hasNext_ = false;
  nextFailure_ = nullptr;
  line_ = 0;
  if (header_) {
    std::string headerRecord;
    std::int64_t headerLine = 0;
    NextRecord(*reader_, headerRecord, headerLine);
  }
  if (std::thread::hardware_concurrency() > 1) {
    if (!helper_) helper_ = std::make_unique<THelperThread>();
    for (Ahead& batch : ahead_) {
      batch.records.resize(kReadAhead);
      batch.values.resize(kReadAhead);
      batch.lines.resize(kReadAhead);
      batch.count = 0;
      batch.end = false;
      batch.failure = nullptr;
    }
    readingAhead_ = true;
    current_ = 0;
    taken_ = 0;
    StartAhead();
  }
}

bool TCSVAccess::Peek() {
  if (hasNext_) return true;
  if (!readingAhead_) {
    if (!reader_) Fatal("CSV read before First");
    hasNext_ = NextRecord(*reader_, next_, nextLine_);
    nextSplit_ = false;
    return hasNext_;
  }
  Ahead* batch = &ahead_[current_];
  if (taken_ == batch->count && batch->failure == nullptr && !batch->end) {
    // Take the batch the helper has read, and let it read the next.
    helper_->Wait();
    helperBusy_ = false;
    current_ ^= 1;
    taken_ = 0;
    batch = &ahead_[current_];
    if (batch->failure == nullptr && !batch->end) StartAhead();
  }
  if (taken_ == batch->count) {
    if (batch->failure == nullptr) return false;
    readingAhead_ = false;  // the reader stands behind the record that failed
    RaiseHere(std::exchange(batch->failure, nullptr));
  }
  const std::size_t k = taken_++;
  next_.swap(batch->records[k]);
  nextLine_ = batch->lines[k];
  nextValues_.swap(batch->values[k]);
  nextSplit_ = true;
  if (taken_ == batch->count && batch->inSplit) {
    nextFailure_ = std::exchange(batch->failure, nullptr);
    batch->inSplit = false;
    readingAhead_ = false;  // the reader stands behind this record
  }
  hasNext_ = true;
  return true;
}

bool TCSVAccess::Eof() {
  CheckActive();
  return !Peek();
}

void TCSVAccess::ReadRecord() {
  CheckActive();
  if (!Peek()) {
    throw EDataAccess(Format("Die Datei %s hat keine weiteren Datensätze.", fileName_.c_str()));
  }
  record_.swap(next_);
  line_ = nextLine_;
  hasNext_ = false;
  if (!nextSplit_) {
    SplitChecked(record_, line_, values_);
    return;
  }
  if (nextFailure_ != nullptr) RaiseHere(std::exchange(nextFailure_, nullptr));
  values_.swap(nextValues_);
}

void TCSVAccess::Fetch() { ReadRecord(); }

std::string TCSVAccess::GetField(std::int32_t index) {
  CheckActive();
  CheckIndex(index);
  return values_[static_cast<std::size_t>(index)];
}

std::string_view TCSVAccess::FieldText(std::int32_t index) {
  CheckActive();
  CheckIndex(index);
  return values_[static_cast<std::size_t>(index)];
}

std::int32_t TCSVAccess::CountFields() {
  if (Active() || !FileExistsNotDirectory(fileName_)) return -1;
  try {
    return static_cast<std::int32_t>(ColumnNames().size());
  } catch (const std::exception&) {
    return -1;
  }
}

std::vector<std::string> TCSVAccess::ColumnNames() {
  CheckNotActive();
  TTextSourceReader source;
  source.Open(fileName_);
  if (source.HasByteOrderMark()) codePage = CodePage::kUtf8;
  TCsvRecordReader reader(source, separator_, quote_);
  std::string record;
  std::int64_t line = 0;
  if (!reader.Next(record, line)) {
    throw EDataAccess(Format("Die Datei \"%s\" ist leer.", fileName_.c_str()));
  }
  CheckSourceText(fileName_, record, line, codePage, /*allowZeroBytes=*/false);
  std::vector<std::string> names;
  SplitCsvRecord(record, separator_, quote_, names);
  return names;
}

}  // namespace vld
