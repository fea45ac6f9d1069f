// The normalizer: rewrites a text in place into its canonical form, so that spelling variants
// of names, streets, places and company words produce the same match key.
//
// All knowledge lies in a normalisation table ("PHONETIC.MAP" for Normal, Name, Straße and
// Firma slots, the city field and the dark lists; "SIMPLE.MAP" for Text slots); the program
// only runs it. A table is a transducer over code page 437 bytes:
//   - K maps each byte to a class (class 1 is the end of the text);
//   - T1[s][c] is the recognising automaton. Its states 1..63 double as pending symbols: a
//     state stands for the longest spelling recognised so far and O[s] is its canonical
//     character. t > 0 takes the byte into the pending symbol (state t, nothing written);
//     t < 0 writes the pending symbol and continues in state -t; t = 0 writes it and continues
//     in state c. State 1 is the start and end of the text and writes nothing.
//   - T2[a][s] is a second automaton over the written symbols. A value 201..255 takes the
//     last (value - 200) characters back and writes the replacement symbol 2 instead of the
//     current one; the automaton then goes on in row T2[0][2]. Column 1 is read once at the
//     end of the text (a retraction there writes nothing).
// The file also carries the 256-byte character table of the record comparison.
//
// Table file (offsets from the start; the whole file is the image):
//   OFFSET  SIZE      FIELD
//        0    12      magic "Veldrona-Map" (no length byte, no terminator)
//       12     4      version, i32 little-endian, 2
//       16   256      K: class of each byte value, < 64
//      272    64      O: output character of each state
//      336   256      character table of the record comparison
//      592  4096      T1[s][c] at 592 + 64*s + c, signed bytes, |t| <= 63
//     4688  64*(r+1)  T2[a][s] at 4688 + 64*a + s, rows 0..r, r <= 200; values <= r or
//                     201..255; T2[0][2] <= r
// A file is a table only when it is exactly 4688 + 64*(r+1) bytes long for some r <= 200 and
// every entry lies inside the table.
//
// Call order: Load (or construct from an image), IsTable, VersionOk; then Normalize and
// CompareTable. CheckNormalizerFile / LoadNormalizer do the whole load check and give the
// German message of the first failing test.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vld {

inline constexpr const char* kNotANormTableText =
    "Die Datei \"%s\" ist keine Veldrona-Normtabelle.";
inline constexpr const char* kNormTableVersionText =
    "Die Veldrona-Normtabelle \"%s\" hat eine falsche Versionsnummer.";

// The parts of a normalisation table, decoded. Used to build table files (the table compiler,
// tests) and to look into a loaded table.
struct NormTableContents {
  static constexpr int kStates = 64;
  static constexpr int kClasses = 64;
  static constexpr int kMaxRows = 201;

  std::int32_t version = 2;
  std::array<std::uint8_t, 256> classes{};           // K
  std::array<std::uint8_t, kStates> outputs{};       // O
  std::array<std::uint8_t, 256> compare{};           // character table of the record comparison
  std::array<std::int8_t, kStates * kClasses> t1{};  // T1[s][c] at kClasses * s + c
  std::vector<std::array<std::uint8_t, kStates>> t2 =
      std::vector<std::array<std::uint8_t, kStates>>(1);  // rows 0..r

  std::int8_t& T1(int state, int cls) {
    return t1[static_cast<std::size_t>(kClasses * state + cls)];
  }

  // The file image, field by field. Writes whatever the parts hold; the loader decides
  // whether it is a table.
  std::vector<std::uint8_t> Encode() const;

  bool operator==(const NormTableContents&) const = default;
};

class TNormalizer {
 public:
  static constexpr std::size_t kMagicSize = 12;
  static constexpr std::size_t kClassOffset = 16;
  static constexpr std::size_t kOutputOffset = 272;
  static constexpr std::size_t kCompareOffset = 336;
  static constexpr std::size_t kT1Offset = 592;
  static constexpr std::size_t kT2Offset = 4688;
  static constexpr std::size_t kRowSize = 64;
  static constexpr std::size_t kMinImageSize = kT2Offset + kRowSize;        // 4,752: one T2 row
  static constexpr std::size_t kMaxImageSize = kT2Offset + 201 * kRowSize;  // 17,552

  // Takes the image as read from a file (any bytes).
  explicit TNormalizer(std::vector<std::uint8_t> image);

  // Reads the file (at most kMaxImageSize + 1 bytes: anything longer is no table anyway).
  // nullopt when the file does not exist; an unreadable file gives an empty image.
  static std::optional<TNormalizer> Load(const std::string& file);

  // True when the image begins with the magic, holds at least one T2 row and, when it is of
  // version 2, has exactly the shape above with every entry inside the table.
  bool IsTable() const;
  // True when the version is 2.
  bool VersionOk() const;

  // Rewrites `text` in place; the result occupies the first (returned) bytes. Never writes
  // past the text: at most one character is written per byte read, and the first byte read
  // never writes. REQUIRES IsTable() && VersionOk() (else a fatal error).
  std::size_t Normalize(std::span<std::uint8_t> text) const;
  // Convenience for tools and tests: the normalised copy of `text`.
  std::string Normalized(std::string_view text) const;

  // The 256-byte character table of the record comparison. REQUIRES IsTable() && VersionOk().
  std::span<const std::uint8_t, 256> CompareTable() const;

  // The decoded parts. REQUIRES IsTable() && VersionOk().
  NormTableContents Contents() const;

  std::span<const std::uint8_t> Image() const { return image_; }

 private:
  bool HasMagic() const;
  bool ShapeOk() const;
  void RequireChecked(const char* operation) const;

  std::vector<std::uint8_t> image_;
  bool shape_ok_ = false;
};

// Runs the load checks of a normalisation table and returns the German message of the first
// one that fails, or nullopt when the table can be used. `full_name` is the file's full name
// (opened, and named when the file is missing); `given_name` is the name as given, used in the
// other messages.
std::optional<std::string> CheckNormalizerFile(const std::string& full_name,
                                               std::string_view given_name);

// Loads a table into `table` when it passes every check (nullopt returned); otherwise `table`
// stays empty and the German message of the first failing check is returned.
std::optional<std::string> TryLoadNormalizer(const std::string& full_name,
                                             std::string_view given_name,
                                             std::optional<TNormalizer>& table);

// Loads a table that passes every check; throws EUserError with the message otherwise.
TNormalizer LoadNormalizer(const std::string& full_name, std::string_view given_name);

}  // namespace vld
