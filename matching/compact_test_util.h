// Test helper: the bytes of a compact dark file, built with the product's own header writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/pipeline/output_chain.h"
#include "matching/compact_header.h"
#include "platform/le_codec.h"

namespace vld::testing {

struct CompactFileSpec {
  bool withPriority = true;
  std::int32_t infoLength = 10;
  std::int32_t classKeyLength = 5;
  std::int32_t matchKeyLength = 40;
  std::vector<TCompactComponentDescriptor> components;
  std::string ident = "COMPACT";
  std::uint16_t plzPosition = 1, plzLength = 5;
  std::int32_t plausibleInterval = 100;
  std::int32_t records = 2;

  std::int32_t RecordLength() const {
    return 2 + (withPriority ? 2 : 0) + infoLength + classKeyLength +
           2 * static_cast<std::int32_t>(components.size()) + matchKeyLength;
  }
};

inline std::vector<std::uint8_t> CompactFileImage(const CompactFileSpec& s) {
  const std::int32_t length = s.RecordLength();
  const auto n = static_cast<std::int32_t>(s.components.size());
  std::vector<std::uint8_t> image = MakeCompactHeader(
      length, CompactHeaderContentSize(static_cast<std::int64_t>(s.ident.size()), n));
  image[48] = s.withPriority ? 1 : 0;
  le::PutI32(image, 49, s.infoLength);
  le::PutI32(image, 53, s.classKeyLength);
  le::PutI32(image, 57, s.matchKeyLength);
  le::PutI32(image, 61, n);
  le::PutI32(image, 73, s.plausibleInterval);
  le::PutU16(image, 77, s.plzPosition);
  le::PutU16(image, 79, s.plzLength);
  image[81] = static_cast<std::uint8_t>(s.ident.size());
  std::copy(s.ident.begin(), s.ident.end(), image.begin() + 82);
  std::size_t at = 82 + s.ident.size();
  for (const TCompactComponentDescriptor& d : s.components) {
    image[at] = d.kind;
    image[at + 1] = d.slotKind;
    image[at + 2] = d.prefix ? 1 : 0;
    le::PutU32(image, at + 4, d.wordHurdle);
    le::PutU32(image, at + 8, d.blockHurdle);
    at += 12;
  }
  for (std::int32_t r = 0; r < s.records; ++r) {
    std::vector<std::uint8_t> record(static_cast<std::size_t>(length), 'x');
    le::PutU16(record, 0, static_cast<std::uint16_t>(length));
    image.insert(image.end(), record.begin(), record.end());
  }
  return image;
}

inline std::string AsBytes(const std::vector<std::uint8_t>& image) {
  return std::string(image.begin(), image.end());
}

}  // namespace vld::testing
