// The postal-code mapping: moves every postal code of a fixed number of digits onto a
// representative code, so that records whose postal codes differ but belong together land in
// the same class. Key building applies it to the postal-code part ("PLZ-Unterfeld") of the
// class key.
//
// A mapping is the file "GERMANY%d.PLZ", named after its digit count:
//   OFFSET  SIZE         FIELD
//        0    12         magic "Veldrona-PLZ" (no length byte, no terminator)
//       12     4         version, i32 little-endian, 1
//       16     1         bits per entry b, 1..24
//       17     1         digit count n ("Stelligkeit"), 3..5
//       18    46         reserved (zeros)
//       64    10^n*b/8   one b-bit entry per code 0 .. 10^n - 1, packed without gaps, least
//                        significant bit first
// An entry is a signed offset in b-bit two's complement: the representative of code k is
// k + offset, clamped to 0 .. 10^n - 1.
//
// Call order: Load (reads the header and notes the data size), IsMapping, VersionOk, SizeOk,
// (the digit count against the "PLZ-Teilfeld" length), LoadData; then Digits, Map, MapPart.
// CheckPlzFile / LoadPlzMapping run all of it and give the German message of the first
// failing test; the data part is read only when every check before it passed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vld {

inline constexpr const char* kNotAPlzMappingText =
    "Die Datei \"%s\" ist keine Veldrona-PLZ-Abbildung.";
inline constexpr const char* kPlzVersionText =
    "Die Veldrona-PLZ-Abbildung \"%s\" hat eine falsche Versionsnummer.";
inline constexpr const char* kPlzSizeText =
    "Die Veldrona-PLZ-Abbildung \"%s\" hat eine unpassende Größe.";
inline constexpr const char* kPlzDigitsText =
    "Die Veldrona-PLZ-Abbildung \"%s\" hat nicht die richtige Stelligkeit.";

// A mapping, decoded: one offset per code. Used to build mapping files and to look into one.
struct PlzMappingContents {
  int bits = 8;
  int digits = 5;
  std::vector<std::int32_t> offsets;  // 10^digits entries

  // The file image. REQUIRES 1 <= bits <= 24, 3 <= digits <= 5, offsets.size() == 10^digits
  // and every offset inside -2^(bits-1) .. 2^(bits-1) - 1 (range error otherwise).
  std::vector<std::uint8_t> Encode() const;

  bool operator==(const PlzMappingContents&) const = default;
};

// The smallest number of bits (1..24) whose two's complement holds every offset, or nullopt
// when 24 bits are not enough.
std::optional<int> BitsForOffsets(std::span<const std::int32_t> offsets);

// 10^digits for 0 <= digits <= 9.
std::int32_t PowerOfTen(int digits);

class TPlzMapping {
 public:
  static constexpr std::size_t kHeaderSize = 64;

  // Reads the first 64 bytes of `file` (fewer when it is shorter) and notes the data size
  // (file size - 64, negative for a shorter file). nullopt when the file does not exist.
  static std::optional<TPlzMapping> Load(const std::string& file);
  // The same from a whole file image in memory; the data part is taken from it by LoadData.
  static TPlzMapping FromImage(std::vector<std::uint8_t> image);

  // True when the data size is not negative and the header begins with the magic.
  bool IsMapping() const;
  // True when the version is 1.
  bool VersionOk() const;
  // True when 1 <= b <= 24, 3 <= n <= 5 and the data size equals 10^n * b / 8.
  bool SizeOk() const;

  // Reads the data part (with 4 bytes of room behind it, so that a 32-bit read at the last
  // entry stays inside). REQUIRES IsMapping(), VersionOk(), SizeOk(). Returns false when the
  // file no longer holds the data part.
  bool LoadData();

  int Digits() const;
  int Bits() const;

  // The representative of `code`. REQUIRES the data is loaded (fatal error otherwise) and
  // 0 <= code < 10^n (range error otherwise).
  std::int32_t Map(std::int32_t code) const;

  // Maps the postal-code part of a class key in place: its digits are read as a decimal number
  // (leading blanks and NUL bytes skipped, reading stops at the first non-digit, more than 9
  // digits read as 0), mapped, and written back right-aligned with leading zeros.
  // REQUIRES part.size() == Digits().
  void MapPart(std::span<std::uint8_t> part) const;

  // The decoded mapping. REQUIRES the data is loaded.
  PlzMappingContents Contents() const;

 private:
  TPlzMapping() = default;
  void RequireData(const char* operation) const;

  std::string file_;                  // empty when built from an image
  std::vector<std::uint8_t> image_;   // the whole image when built from one
  std::vector<std::uint8_t> header_;  // up to 64 bytes as read
  std::int64_t data_size_ = -1;
  std::vector<std::uint8_t> data_;  // data part + 4 bytes of room, once loaded
  bool loaded_ = false;
  std::int32_t mask_ = 0, sign_ = 0, wrap_ = 0, largest_ = 0;
};

// Runs the load checks of a postal-code mapping and returns the German message of the first
// one that fails, or nullopt when the mapping can be used. `full_name` is opened and named
// when the file is missing; `given_name` is named otherwise. `expected_digits` is the
// "PLZ-Teilfeld" length the mapping must have (0: any).
std::optional<std::string> CheckPlzFile(const std::string& full_name, std::string_view given_name,
                                        int expected_digits);

// Loads a mapping into `mapping` when it passes every check (nullopt returned); otherwise
// `mapping` stays empty and the German message of the first failing check is returned.
std::optional<std::string> TryLoadPlzMapping(const std::string& full_name,
                                             std::string_view given_name, int expected_digits,
                                             std::optional<TPlzMapping>& mapping);

// Loads a mapping that passes every check; throws EUserError with the message otherwise.
TPlzMapping LoadPlzMapping(const std::string& full_name, std::string_view given_name,
                           int expected_digits);

}  // namespace vld
