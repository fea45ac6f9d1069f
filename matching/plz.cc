#include "matching/plz.h"

#include <algorithm>
#include <cstring>

#include "matching/table_file.h"
#include "platform/checked.h"
#include "platform/errors.h"
#include "platform/fatal.h"
#include "platform/le_codec.h"

namespace vld {
namespace {

constexpr char kMagic[] = "Veldrona-PLZ";
constexpr std::size_t kMagicSize = 12;
constexpr std::int32_t kVersion = 1;
constexpr std::size_t kBitsOffset = 16;
constexpr std::size_t kDigitsOffset = 17;
constexpr std::size_t kRoom = 4;  // behind the data part, for the 32-bit read of the last entry

std::int64_t DataSizeFor(int bits, int digits) {
  return static_cast<std::int64_t>(PowerOfTen(digits)) * bits / 8;
}

}  // namespace

std::int32_t PowerOfTen(int digits) {
  CheckRange(digits, 0, 9);
  std::int32_t p = 1;
  for (int i = 0; i < digits; ++i) p *= 10;
  return p;
}

std::optional<int> BitsForOffsets(std::span<const std::int32_t> offsets) {
  for (int bits = 1; bits <= 24; ++bits) {
    const std::int32_t low = -(std::int32_t{1} << (bits - 1));
    const std::int32_t high = (std::int32_t{1} << (bits - 1)) - 1;
    if (std::all_of(offsets.begin(), offsets.end(),
                    [&](std::int32_t o) { return o >= low && o <= high; })) {
      return bits;
    }
  }
  return std::nullopt;
}

std::vector<std::uint8_t> PlzMappingContents::Encode() const {
  CheckRange(bits, 1, 24);
  CheckRange(digits, 3, 5);
  if (offsets.size() != static_cast<std::size_t>(PowerOfTen(digits))) RaiseRangeError();
  std::vector<std::uint8_t> image(TPlzMapping::kHeaderSize, 0);
  std::memcpy(image.data(), kMagic, kMagicSize);
  le::PutI32(image, kMagicSize, kVersion);
  le::PutU8(image, kBitsOffset, static_cast<std::uint8_t>(bits));
  le::PutU8(image, kDigitsOffset, static_cast<std::uint8_t>(digits));
  image.resize(TPlzMapping::kHeaderSize + static_cast<std::size_t>(DataSizeFor(bits, digits)), 0);
  const std::int32_t low = -(std::int32_t{1} << (bits - 1));
  const std::int32_t high = (std::int32_t{1} << (bits - 1)) - 1;
  const std::uint32_t mask = (std::uint32_t{1} << bits) - 1;
  std::size_t bit = 0;
  for (std::int32_t offset : offsets) {
    CheckRange(offset, low, high);
    const std::uint32_t field = static_cast<std::uint32_t>(offset) & mask;
    for (int j = 0; j < bits; ++j, ++bit) {
      if (field & (std::uint32_t{1} << j)) {
        image[TPlzMapping::kHeaderSize + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
      }
    }
  }
  return image;
}

std::optional<TPlzMapping> TPlzMapping::Load(const std::string& file) {
  if (!TableFileExists(file)) return std::nullopt;
  TPlzMapping m;
  m.file_ = file;
  auto header = ReadTableFile(file, 0, kHeaderSize);
  const auto size = TableFileSize(file);
  if (header && size) {
    m.header_ = std::move(*header);
    m.data_size_ = static_cast<std::int64_t>(*size) - static_cast<std::int64_t>(kHeaderSize);
  }
  return m;
}

TPlzMapping TPlzMapping::FromImage(std::vector<std::uint8_t> image) {
  TPlzMapping m;
  m.header_.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(image.size(), kHeaderSize)));
  m.data_size_ = static_cast<std::int64_t>(image.size()) - static_cast<std::int64_t>(kHeaderSize);
  m.image_ = std::move(image);
  return m;
}

bool TPlzMapping::IsMapping() const {
  return data_size_ >= 0 && header_.size() == kHeaderSize &&
         std::memcmp(header_.data(), kMagic, kMagicSize) == 0;
}

bool TPlzMapping::VersionOk() const {
  return IsMapping() && le::GetI32(header_, kMagicSize) == kVersion;
}

bool TPlzMapping::SizeOk() const {
  if (!IsMapping()) return false;
  const int bits = header_[kBitsOffset];
  const int digits = header_[kDigitsOffset];
  return bits >= 1 && bits <= 24 && digits >= 3 && digits <= 5 &&
         data_size_ == DataSizeFor(bits, digits);
}

bool TPlzMapping::LoadData() {
  if (!VersionOk() || !SizeOk()) Fatal("TPlzMapping.LoadData: mapping not checked");
  const std::size_t size = static_cast<std::size_t>(data_size_);
  if (file_.empty()) {
    data_.assign(image_.begin() + kHeaderSize, image_.end());
  } else {
    auto bytes = ReadTableFile(file_, kHeaderSize, size);
    if (!bytes || bytes->size() != size) return false;
    data_ = std::move(*bytes);
  }
  data_.resize(size + kRoom, 0);
  const int bits = Bits();
  mask_ = static_cast<std::int32_t>((std::uint32_t{1} << bits) - 1);
  sign_ = std::int32_t{1} << (bits - 1);
  wrap_ = std::int32_t{1} << bits;
  largest_ = PowerOfTen(Digits()) - 1;
  loaded_ = true;
  return true;
}

int TPlzMapping::Digits() const {
  return header_.size() > kDigitsOffset ? header_[kDigitsOffset] : 0;
}
int TPlzMapping::Bits() const { return header_.size() > kBitsOffset ? header_[kBitsOffset] : 0; }

void TPlzMapping::RequireData(const char* operation) const {
  if (!loaded_) Fatal(Format("%s: mapping data not loaded", operation));
}

std::int32_t TPlzMapping::Map(std::int32_t code) const {
  RequireData("TPlzMapping.Map");
  CheckRange(code, 0, largest_);
  const std::size_t bit = static_cast<std::size_t>(code) * static_cast<std::size_t>(Bits());
  const std::uint32_t word = le::GetU32(data_, bit / 8);
  const std::int32_t e = static_cast<std::int32_t>(word >> (bit % 8)) & mask_;
  if (e >= sign_) return std::max(0, code + e - wrap_);
  return std::min(largest_, code + e);
}

void TPlzMapping::MapPart(std::span<std::uint8_t> part) const {
  RequireData("TPlzMapping.MapPart");
  if (part.size() != static_cast<std::size_t>(Digits())) Fatal("TPlzMapping.MapPart: length");
  std::size_t i = 0;
  while (i < part.size() && (part[i] == ' ' || part[i] == 0)) ++i;
  std::int32_t value = 0;
  int count = 0;
  for (; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i, ++count) {
    value = value * 10 + (part[i] - '0');
  }
  if (count > 9) value = 0;
  std::int32_t rep = Map(value);
  for (std::size_t j = part.size(); j-- > 0;) {
    part[j] = static_cast<std::uint8_t>('0' + rep % 10);
    rep /= 10;
  }
}

PlzMappingContents TPlzMapping::Contents() const {
  RequireData("TPlzMapping.Contents");
  PlzMappingContents c;
  c.bits = Bits();
  c.digits = Digits();
  c.offsets.resize(static_cast<std::size_t>(largest_) + 1);
  for (std::size_t k = 0; k < c.offsets.size(); ++k) {
    const std::size_t bit = k * static_cast<std::size_t>(c.bits);
    const std::int32_t e =
        static_cast<std::int32_t>(le::GetU32(data_, bit / 8) >> (bit % 8)) & mask_;
    c.offsets[k] = e >= sign_ ? e - wrap_ : e;
  }
  return c;
}

namespace {

std::optional<std::string> LoadChecked(const std::string& full_name, std::string_view given_name,
                                       int expected_digits, std::optional<TPlzMapping>& mapping) {
  mapping = TPlzMapping::Load(full_name);
  if (!mapping) return FormatFileMessage(kTableFileMissingText, full_name);
  if (!mapping->IsMapping()) return FormatFileMessage(kNotAPlzMappingText, given_name);
  if (!mapping->VersionOk()) return FormatFileMessage(kPlzVersionText, given_name);
  if (!mapping->SizeOk()) return FormatFileMessage(kPlzSizeText, given_name);
  if (expected_digits != 0 && mapping->Digits() != expected_digits) {
    return FormatFileMessage(kPlzDigitsText, given_name);
  }
  if (!mapping->LoadData()) return FormatFileMessage(kPlzSizeText, given_name);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckPlzFile(const std::string& full_name, std::string_view given_name,
                                        int expected_digits) {
  std::optional<TPlzMapping> mapping;
  return LoadChecked(full_name, given_name, expected_digits, mapping);
}

std::optional<std::string> TryLoadPlzMapping(const std::string& full_name,
                                             std::string_view given_name, int expected_digits,
                                             std::optional<TPlzMapping>& mapping) {
  auto error = LoadChecked(full_name, given_name, expected_digits, mapping);
  if (error) mapping.reset();
  return error;
}

TPlzMapping LoadPlzMapping(const std::string& full_name, std::string_view given_name,
                           int expected_digits) {
  std::optional<TPlzMapping> mapping;
  if (auto error = LoadChecked(full_name, given_name, expected_digits, mapping)) {
    throw EUserError(*error);
  }
  return std::move(*mapping);
}

}  // namespace vld
