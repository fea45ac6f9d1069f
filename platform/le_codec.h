// Little-endian field codec for every binary format of the product.
//
// Formats are written and read field by field at documented offsets; no struct is ever copied
// to or from a file. The readers take a span and an offset and raise the range error when the
// field does not lie inside the span, so a reader that checked its lengths first cannot read
// past its data even when it is wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "platform/checked.h"

namespace vld::le {

inline void CheckField(std::size_t size, std::size_t offset, std::size_t width) {
  if (offset > size || width > size - offset) RaiseRangeError();
}

inline std::uint8_t GetU8(std::span<const std::uint8_t> b, std::size_t off) {
  CheckField(b.size(), off, 1);
  return b[off];
}
inline std::uint16_t GetU16(std::span<const std::uint8_t> b, std::size_t off) {
  CheckField(b.size(), off, 2);
  return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}
inline std::uint32_t GetU32(std::span<const std::uint8_t> b, std::size_t off) {
  CheckField(b.size(), off, 4);
  return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
         (static_cast<std::uint32_t>(b[off + 2]) << 16) |
         (static_cast<std::uint32_t>(b[off + 3]) << 24);
}
inline std::uint64_t GetU64(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::uint64_t>(GetU32(b, off)) |
         (static_cast<std::uint64_t>(GetU32(b, off + 4)) << 32);
}
inline std::int16_t GetI16(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::int16_t>(GetU16(b, off));
}
inline std::int32_t GetI32(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::int32_t>(GetU32(b, off));
}
inline std::int64_t GetI64(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::int64_t>(GetU64(b, off));
}

inline void PutU8(std::span<std::uint8_t> b, std::size_t off, std::uint8_t v) {
  CheckField(b.size(), off, 1);
  b[off] = v;
}
inline void PutU16(std::span<std::uint8_t> b, std::size_t off, std::uint16_t v) {
  CheckField(b.size(), off, 2);
  b[off] = static_cast<std::uint8_t>(v);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::span<std::uint8_t> b, std::size_t off, std::uint32_t v) {
  CheckField(b.size(), off, 4);
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutU64(std::span<std::uint8_t> b, std::size_t off, std::uint64_t v) {
  CheckField(b.size(), off, 8);
  for (int i = 0; i < 8; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutI16(std::span<std::uint8_t> b, std::size_t off, std::int16_t v) {
  PutU16(b, off, static_cast<std::uint16_t>(v));
}
inline void PutI32(std::span<std::uint8_t> b, std::size_t off, std::int32_t v) {
  PutU32(b, off, static_cast<std::uint32_t>(v));
}
inline void PutI64(std::span<std::uint8_t> b, std::size_t off, std::int64_t v) {
  PutU64(b, off, static_cast<std::uint64_t>(v));
}

// Appending writer for building a binary file in memory, field by field.
class Writer {
 public:
  void U8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) U8(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void U64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) U8(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void I16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void I64(std::int64_t v) { U64(static_cast<std::uint64_t>(v)); }
  void Bytes(std::string_view bytes) { out_.append(bytes); }
  void Zeros(std::size_t n) { out_.append(n, '\0'); }
  std::size_t size() const { return out_.size(); }
  const std::string& bytes() const { return out_; }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

// Sequential reader over untrusted bytes. Every read checks what is left first and raises
// the range error past the end; callers that want a German message check Left() before.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  explicit Reader(std::string_view bytes)
      : bytes_(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()) {}

  std::size_t Left() const { return bytes_.size() - pos_; }
  std::size_t Position() const { return pos_; }
  bool AtEnd() const { return pos_ == bytes_.size(); }

  std::uint8_t U8() { return Advance(1, GetU8(bytes_, pos_)); }
  std::uint16_t U16() { return Advance(2, GetU16(bytes_, pos_)); }
  std::uint32_t U32() { return Advance(4, GetU32(bytes_, pos_)); }
  std::uint64_t U64() { return Advance(8, GetU64(bytes_, pos_)); }
  std::int16_t I16() { return Advance(2, GetI16(bytes_, pos_)); }
  std::int32_t I32() { return Advance(4, GetI32(bytes_, pos_)); }
  std::int64_t I64() { return Advance(8, GetI64(bytes_, pos_)); }
  std::string_view Bytes(std::size_t n) {
    CheckField(bytes_.size(), pos_, n);
    std::string_view v(reinterpret_cast<const char*>(bytes_.data() + pos_), n);
    pos_ += n;
    return v;
  }
  void Skip(std::size_t n) {
    CheckField(bytes_.size(), pos_, n);
    pos_ += n;
  }

 private:
  template <typename T>
  T Advance(std::size_t n, T v) {
    pos_ += n;
    return v;
  }
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

}  // namespace vld::le
