#include "data/source_rows.h"

#include <cstdio>

#include "data/field_types.h"
#include "params/param_text.h"
#include "platform/checked.h"
#include "platform/fatal.h"
#include "platform/le_codec.h"

namespace vld {

TSourceRowStore::TSourceRowStore(std::string fileName) : fileName_(std::move(fileName)) {
  file_ = std::make_unique<TXanBufferedFile>(fileName_);
  file_->SetBufferSize(1 << 20);
  file_->Open(kXanCreate | kXanAlways | kXanWrite | kXanSequential);
}

TSourceRowStore::~TSourceRowStore() {
  if (file_ && file_->IsOpen()) {  // not finished: the rows are incomplete
    file_->Close();
    std::remove(fileName_.c_str());
  }
}

void TSourceRowStore::AddRow(int /*which*/, TDataAccess& source) {
  const std::int32_t count = source.FieldCount();
  const bool fixedWidth = source.AccessKind() == kAccessKindPlainText;
  le::Writer w;
  w.U32(static_cast<std::uint32_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    std::string value = source.GetField(i);
    if (fixedWidth) value = std::string(TrimRightBlanks(value));
    if (source.codePage != CodePage::kUtf8) value = ToUtf8(value, source.codePage);
    w.U32(CheckedCast<std::uint32_t>(value.size()));
    w.Bytes(value);
  }
  file_->WriteText(w.bytes());
  ++rows_;
}

void TSourceRowStore::Finish() {
  if (file_->IsOpen()) file_->Close();
}

TSourceRowReader::TSourceRowReader(const std::string& fileName) : file_(fileName) {
  file_.SetBufferSize(1 << 20);
  file_.Open(kXanRead | kXanShareRead | kXanSequential);
  left_ = file_.Size();
}

void TSourceRowReader::Read(void* bytes, std::int64_t count) {
  if (count > left_) {
    throw EUserError(Format("Die Zwischendatei \"%s\" ist beschädigt.", file_.FileName().c_str()));
  }
  file_.ReadBytes(bytes, count);
  left_ -= count;
}

bool TSourceRowReader::Next(std::vector<std::string>& values) {
  values.clear();
  if (left_ == 0) return false;
  std::uint8_t word[4];
  Read(word, 4);
  const std::uint32_t count = le::GetU32(word, 0);
  if (count > left_ / 4) Read(word, left_ + 1);  // cannot hold that many values
  values.resize(count);
  for (std::string& value : values) {
    Read(word, 4);
    const std::uint32_t length = le::GetU32(word, 0);
    if (length > left_) Read(word, left_ + 1);
    value.resize(length);
    Read(value.data(), length);
  }
  return true;
}

}  // namespace vld
