#include "data/plain_text_access.h"

#include <cstring>
#include <vector>

#include "platform/fatal.h"

namespace vld {

TPlainTextAccess::~TPlainTextAccess() { Close(); }

void TPlainTextAccess::SetFileName(const std::string& fileName) {
  if (Active()) {
    throw EDataAccess("Änderung des Dateinamens im initialisierten Zustand nicht möglich!");
  }
  fileName_ = fileName;
}

void TPlainTextAccess::SetRecordLength(std::int32_t length) {
  if (Active()) {
    throw EDataAccess("Änderung der Satzlänge im initialisierten Zustand nicht möglich!");
  }
  recordLength_ = length;
}

std::string TPlainTextAccess::Description() {
  return Format("Datei mit festem Satzaufbau - %s\r\nCodepage: %s    Satzlänge : %d",
                fileName_.c_str(), std::string(CodePageName(codePage)).c_str(), recordLength_);
}

std::int64_t TPlainTextAccess::RecordCount() {
  if (recordLength_ <= 0) return 0;
  TXanFile file(fileName_);
  file.Open(kXanRead | kXanShareRead);
  const std::int64_t size = file.Size();
  file.Close();
  return size / recordLength_;
}

void TPlainTextAccess::Initialize(const TFieldDescs& descs) {
  CheckNotActive();
  if (!FileExistsNotDirectory(fileName_)) {
    throw EDataAccess(Format("Die Datei %s existiert nicht.", fileName_.c_str()));
  }
  reader_.Open(fileName_);
  if (reader_.HasByteOrderMark()) codePage = CodePage::kUtf8;
  descs_ = descs;
  hasNext_ = false;
  SetActive(true);
}

void TPlainTextAccess::Close() {
  if (!Active()) return;
  reader_.Close();
  SetActive(false);
}

void TPlainTextAccess::First() {
  CheckActive();
  reader_.Rewind();
  hasNext_ = false;
  line_number_ = 0;
}

bool TPlainTextAccess::PeekRecord() {
  while (!hasNext_) {
    if (!reader_.ReadLine(next_, terminator_)) return false;
    hasNext_ = !next_.empty();
  }
  return true;
}

bool TPlainTextAccess::Eof() {
  CheckActive();
  return !PeekRecord();
}

void TPlainTextAccess::ReadRecord() {
  CheckActive();
  if (!PeekRecord()) {
    throw EDataAccess(Format("Die Datei %s hat keine weiteren Datensätze.", fileName_.c_str()));
  }
  record_.swap(next_);
  hasNext_ = false;
  line_number_ = reader_.LineNumber();
  CheckSourceText(fileName_, record_, line_number_, codePage, /*allowZeroBytes=*/true);
}

void TPlainTextAccess::Fetch() { ReadRecord(); }

std::string TPlainTextAccess::GetField(std::int32_t index) {
  CheckActive();
  CheckIndex(index);
  const TFieldDesc& d = descs_[static_cast<std::size_t>(index)];
  if (d.position < 1 || d.length <= 0) return "";
  const auto first = static_cast<std::size_t>(d.position - 1);
  const auto count = static_cast<std::size_t>(d.length);
  if (codePage != CodePage::kUtf8) {
    if (first >= record_.size()) return "";
    return record_.substr(first, count);
  }
  // Characters, not bytes: walk the lead bytes.
  std::size_t begin = record_.size(), end = record_.size(), character = 0;
  for (std::size_t i = 0; i < record_.size(); ++i) {
    if ((static_cast<std::uint8_t>(record_[i]) & 0xC0) == 0x80) continue;
    if (character == first) begin = i;
    if (character == first + count) {
      end = i;
      break;
    }
    ++character;
  }
  if (begin >= end) return "";
  return record_.substr(begin, end - begin);
}

void TPlainTextAccess::DetectRecordLength() {
  constexpr std::int64_t kBlock = 4096;
  TXanFile file(fileName_);
  file.Open(kXanRead | kXanShareRead);
  std::vector<char> block(kBlock);
  file.ReadBytes(block.data(), kBlock);  // a shorter file raises the read error
  file.Close();
  recordLength_ = 0;
  for (std::int64_t i = 0; i + 1 < kBlock; ++i) {
    if (block[i] == '\r' && block[i + 1] == '\n') {
      recordLength_ = static_cast<std::int32_t>(i + 2);
      break;
    }
  }
}

}  // namespace vld
