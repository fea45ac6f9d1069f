#include "params/param_stream.h"

#include <cstring>

#include "params/param_text.h"
#include "platform/checked.h"
#include "platform/le_codec.h"

namespace vld {

void IParamWriter::WriteInt(std::int32_t value) {
  std::uint8_t bytes[4];
  le::PutI32(bytes, 0, value);
  WriteBuffer(bytes, sizeof bytes);
}

void IParamWriter::WriteByte(std::uint8_t value) { WriteBuffer(&value, 1); }

void IParamWriter::WriteString(std::string_view utf8) {
  const std::string bytes = Utf8ToFileText(utf8);
  WriteInt(CheckedCast<std::int32_t>(bytes.size()));
  if (!bytes.empty()) WriteBuffer(bytes.data(), bytes.size());
}

bool IParamReader::ReadInt(std::int32_t& value) {
  std::uint8_t bytes[4];
  if (!ReadBuffer(bytes, sizeof bytes)) return false;
  value = le::GetI32(bytes, 0);
  return true;
}

bool IParamReader::ReadByte(std::uint8_t& value) { return ReadBuffer(&value, 1); }

bool IParamReader::ReadString(std::string& utf8) {
  std::int32_t length = 0;
  if (!ReadInt(length)) return false;
  utf8.clear();
  if (length <= 0) return true;
  if (static_cast<std::uint64_t>(length) > Remaining()) return false;
  std::string bytes(static_cast<std::size_t>(length), '\0');
  if (!ReadBuffer(bytes.data(), bytes.size())) return false;
  utf8 = FileTextToUtf8(bytes);
  return true;
}

bool IParamReader::CanHold(std::int32_t count, std::size_t min_size) const {
  if (count < 0) return false;
  return static_cast<std::uint64_t>(count) <= Remaining() / min_size;
}

void TParamBytesWriter::WriteBuffer(const void* bytes, std::size_t size) {
  bytes_.append(static_cast<const char*>(bytes), size);
}

bool TParamBytesReader::ReadBuffer(void* bytes, std::size_t size) {
  if (size > Remaining()) return false;
  if (size > 0) std::memcpy(bytes, bytes_.data() + pos_, size);
  pos_ += size;
  return true;
}

}  // namespace vld
