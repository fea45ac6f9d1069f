#include "matching/norm.h"

#include <algorithm>
#include <cstring>

#include "matching/table_file.h"
#include "platform/errors.h"
#include "platform/fatal.h"
#include "platform/le_codec.h"

namespace vld {
namespace {

constexpr char kMagic[] = "Veldrona-Map";
constexpr std::int32_t kVersion = 2;
constexpr unsigned kStartState = 1;   // start and end of the text; writes nothing
constexpr unsigned kEndClass = 1;     // the class read after the last byte
constexpr unsigned kReplacement = 2;  // the symbol written after a retraction
constexpr unsigned kLastRow = 200;    // T2 values above are retractions

}  // namespace

std::vector<std::uint8_t> NormTableContents::Encode() const {
  le::Writer out;
  out.Bytes(std::string_view(kMagic, TNormalizer::kMagicSize));
  out.I32(version);
  for (std::uint8_t c : classes) out.U8(c);
  for (std::uint8_t o : outputs) out.U8(o);
  for (std::uint8_t c : compare) out.U8(c);
  for (std::int8_t t : t1) out.U8(static_cast<std::uint8_t>(t));
  for (const auto& row : t2) {
    for (std::uint8_t v : row) out.U8(v);
  }
  const std::string& bytes = out.bytes();
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

TNormalizer::TNormalizer(std::vector<std::uint8_t> image) : image_(std::move(image)) {
  shape_ok_ = ShapeOk();
}

std::optional<TNormalizer> TNormalizer::Load(const std::string& file) {
  if (!TableFileExists(file)) return std::nullopt;
  auto bytes = ReadTableFile(file, 0, kMaxImageSize + 1);
  return TNormalizer(bytes ? std::move(*bytes) : std::vector<std::uint8_t>());
}

bool TNormalizer::HasMagic() const {
  return image_.size() >= kMinImageSize && std::memcmp(image_.data(), kMagic, kMagicSize) == 0;
}

bool TNormalizer::IsTable() const { return HasMagic() && (!VersionOk() || shape_ok_); }

bool TNormalizer::VersionOk() const {
  return HasMagic() && le::GetI32(image_, kMagicSize) == kVersion;
}

// Every entry must lie inside the table, so that Normalize can index without checks.
bool TNormalizer::ShapeOk() const {
  if (!HasMagic() || image_.size() > kMaxImageSize) return false;
  if ((image_.size() - kT2Offset) % kRowSize != 0) return false;
  const std::size_t last_row = (image_.size() - kT2Offset) / kRowSize - 1;  // r
  for (std::size_t b = 0; b < 256; ++b) {
    if (image_[kClassOffset + b] >= NormTableContents::kClasses) return false;
  }
  for (std::size_t e = 0; e < 64 * 64; ++e) {
    const int t = static_cast<std::int8_t>(image_[kT1Offset + e]);
    if (t < -63 || t > 63) return false;
  }
  for (std::size_t e = kT2Offset; e < image_.size(); ++e) {
    const unsigned v = image_[e];
    if (v > last_row && v <= kLastRow) return false;
  }
  // After a retraction the sequence automaton goes on in row T2[0][2]; that must be a row.
  return image_[kT2Offset + kReplacement] <= last_row;
}

void TNormalizer::RequireChecked(const char* operation) const {
  if (!IsTable() || !VersionOk()) Fatal(Format("%s: normalisation table not checked", operation));
}

std::size_t TNormalizer::Normalize(std::span<std::uint8_t> text) const {
  RequireChecked("TNormalizer.Normalize");
  const std::uint8_t* const k = image_.data() + kClassOffset;
  const std::uint8_t* const o = image_.data() + kOutputOffset;
  const std::uint8_t* const t1 = image_.data() + kT1Offset;
  const std::uint8_t* const t2 = image_.data() + kT2Offset;
  const std::size_t length = text.size();

  unsigned s = kStartState;
  unsigned a = 0;
  std::size_t w = 0;
  // Invariant: before the byte at position i is read, at most i - 1 characters have been
  // written (none for i = 0), so every write lands before the read position and inside text.
  for (std::size_t i = 0; i <= length; ++i) {
    const unsigned c = i < length ? k[text[i]] : kEndClass;
    const int t = static_cast<std::int8_t>(t1[64 * s + c]);
    if (t > 0) {
      s = static_cast<unsigned>(t);
      continue;
    }
    const unsigned n = t < 0 ? static_cast<unsigned>(-t) : c;
    if (s != kStartState) {
      a = t2[64 * a + s];
      unsigned written = s;
      if (a > kLastRow) {
        w -= std::min<std::size_t>(w, a - kLastRow);  // never before the start of the text
        a = t2[kReplacement];
        written = kReplacement;
      }
      text[w++] = o[written];
    }
    s = n;
  }
  a = t2[64 * a + kEndClass];
  if (a > kLastRow) w -= std::min<std::size_t>(w, a - kLastRow);
  return w;
}

std::string TNormalizer::Normalized(std::string_view text) const {
  std::vector<std::uint8_t> buffer(text.begin(), text.end());
  const std::size_t n = Normalize(buffer);
  return std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

std::span<const std::uint8_t, 256> TNormalizer::CompareTable() const {
  RequireChecked("TNormalizer.CompareTable");
  return std::span<const std::uint8_t, 256>(image_.data() + kCompareOffset, 256);
}

NormTableContents TNormalizer::Contents() const {
  RequireChecked("TNormalizer.Contents");
  NormTableContents c;
  c.version = le::GetI32(image_, kMagicSize);
  std::copy_n(image_.begin() + kClassOffset, 256, c.classes.begin());
  std::copy_n(image_.begin() + kOutputOffset, 64, c.outputs.begin());
  std::copy_n(image_.begin() + kCompareOffset, 256, c.compare.begin());
  for (std::size_t e = 0; e < c.t1.size(); ++e) {
    c.t1[e] = static_cast<std::int8_t>(image_[kT1Offset + e]);
  }
  c.t2.assign((image_.size() - kT2Offset) / kRowSize, {});
  for (std::size_t row = 0; row < c.t2.size(); ++row) {
    std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(kT2Offset + kRowSize * row), 64,
                c.t2[row].begin());
  }
  return c;
}

namespace {

// The load checks in their order; fills `table` when it is loaded.
std::optional<std::string> LoadChecked(const std::string& full_name, std::string_view given_name,
                                       std::optional<TNormalizer>& table) {
  table = TNormalizer::Load(full_name);
  if (!table) return FormatFileMessage(kTableFileMissingText, full_name);
  if (!table->IsTable()) return FormatFileMessage(kNotANormTableText, given_name);
  if (!table->VersionOk()) return FormatFileMessage(kNormTableVersionText, given_name);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckNormalizerFile(const std::string& full_name,
                                               std::string_view given_name) {
  std::optional<TNormalizer> table;
  return LoadChecked(full_name, given_name, table);
}

std::optional<std::string> TryLoadNormalizer(const std::string& full_name,
                                             std::string_view given_name,
                                             std::optional<TNormalizer>& table) {
  auto error = LoadChecked(full_name, given_name, table);
  if (error) table.reset();
  return error;
}

TNormalizer LoadNormalizer(const std::string& full_name, std::string_view given_name) {
  std::optional<TNormalizer> table;
  if (auto error = LoadChecked(full_name, given_name, table)) throw EUserError(*error);
  return std::move(*table);
}

}  // namespace vld
