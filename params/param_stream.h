// The writer and reader interfaces through which parameter trees are stored, with byte-buffer
// implementations. Integers are 4 bytes little-endian; a text is its length as int32 followed by
// its Windows-1252 bytes. The tree keeps texts as UTF-8; WriteString and ReadString convert at
// this boundary.
//
// Readers distrust the stream: ReadBuffer and ReadString never read past the bytes left and
// answer false instead, and CanHold lets a caller check a count against what is left before it
// allocates anything for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vld {

class IParamWriter {
 public:
  virtual ~IParamWriter() = default;
  virtual void WriteBuffer(const void* bytes, std::size_t size) = 0;

  void WriteInt(std::int32_t value);
  void WriteByte(std::uint8_t value);
  // The text in Windows-1252: the length as int32, then the bytes.
  void WriteString(std::string_view utf8);
};

class IParamReader {
 public:
  virtual ~IParamReader() = default;
  // Reads exactly `size` bytes; false (and nothing read) when fewer are left.
  virtual bool ReadBuffer(void* bytes, std::size_t size) = 0;
  // Bytes not yet read.
  virtual std::uint64_t Remaining() const = 0;

  bool ReadInt(std::int32_t& value);
  bool ReadByte(std::uint8_t& value);
  // A length of zero or less gives the empty text. A length beyond the bytes left gives false
  // before anything is allocated. The text is converted to UTF-8.
  bool ReadString(std::string& utf8);
  // True when `count` is not negative and `count` items of at least `min_size` bytes each fit
  // into the bytes left.
  bool CanHold(std::int32_t count, std::size_t min_size) const;
};

// Collects the written bytes in memory.
class TParamBytesWriter : public IParamWriter {
 public:
  void WriteBuffer(const void* bytes, std::size_t size) override;
  const std::string& Bytes() const { return bytes_; }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

// Reads from bytes in memory; the bytes must outlive the reader.
class TParamBytesReader : public IParamReader {
 public:
  explicit TParamBytesReader(std::string_view bytes) : bytes_(bytes) {}
  bool ReadBuffer(void* bytes, std::size_t size) override;
  std::uint64_t Remaining() const override { return bytes_.size() - pos_; }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

}  // namespace vld
