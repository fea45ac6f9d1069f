#include "matching/compact_header.h"

#include <algorithm>

#include "engine/pipeline/output_chain.h"
#include "platform/le_codec.h"

namespace vld {

void TCompactHeader::FillLayout(TFileLayout& layout) const {
  std::int32_t at = 2;  // the used length
  layout.compactWithPriority = withPriority;
  layout.priorityPosition = 0;
  if (withPriority) {
    layout.priorityPosition = static_cast<std::uint16_t>(at + 1);
    at += 2;
  }
  layout.infoPosition = static_cast<std::uint16_t>(at + 1);
  layout.infoLength = static_cast<std::uint16_t>(infoLength);
  at += infoLength;
  layout.classKeyPosition = static_cast<std::uint16_t>(at + 1);
  layout.classKeyLength = static_cast<std::uint16_t>(classKeyLength);
  at += classKeyLength;
  layout.componentOffsetsPosition = static_cast<std::uint16_t>(at + 1);
  at += 2 * components;
  layout.matchKeyPosition = static_cast<std::uint16_t>(at + 1);
  layout.matchKeyLength = static_cast<std::uint16_t>(matchKeyLength);
  layout.blueRecordLength = static_cast<std::uint16_t>(recordLength);
  layout.classRecordLength = static_cast<std::uint16_t>(recordLength);
  layout.outputRecordLength = 0;
  layout.fileNumberPosition = 0;
  layout.flagPosition = 0;
  layout.outSortRecordLength = 0;
  layout.outFileNumberPosition = 0;
  layout.outSortKeyPosition = 0;
  layout.outSortKeyLength = 0;
}

TCompactHeaderResult DecodeCompactHeader(std::span<const std::uint8_t> bytes,
                                         std::int64_t fileSize) {
  TCompactHeaderResult result;
  const auto available = static_cast<std::int64_t>(bytes.size());
  if (fileSize < kCompactFixedHeaderSize || available < kCompactFixedHeaderSize) {
    result.fault = CompactHeaderFault::kNoHeader;
    return result;
  }
  if (!std::equal(kCompactMagic.begin(), kCompactMagic.end(), bytes.begin(),
                  [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; })) {
    result.fault = CompactHeaderFault::kNoMagic;
    return result;
  }
  result.version = le::GetI32(bytes, 32);
  if (result.version != kCompactVersion) {
    result.fault = CompactHeaderFault::kWrongVersion;
    return result;
  }
  TCompactHeader& h = result.header;
  h.recordLength = le::GetI32(bytes, 36);
  h.headerSize = le::GetI32(bytes, 40);
  h.headerSlots = le::GetI32(bytes, 44);
  const std::uint8_t priority = le::GetU8(bytes, 48);
  h.withPriority = priority == 1;
  h.infoLength = le::GetI32(bytes, 49);
  h.classKeyLength = le::GetI32(bytes, 53);
  h.matchKeyLength = le::GetI32(bytes, 57);
  h.components = le::GetI32(bytes, 61);
  h.plausibleInterval = le::GetI32(bytes, 73);
  h.plzPosition = le::GetU16(bytes, 77);
  h.plzLength = le::GetU16(bytes, 79);

  result.fault = CompactHeaderFault::kInconsistent;
  // Every part on its own, so that the sums below cannot overflow.
  if (h.recordLength < 1 || h.recordLength > 65535 || h.headerSlots < 1 || priority > 1 ||
      h.infoLength < 0 || h.infoLength > 8186 || h.classKeyLength < 1 || h.classKeyLength > 8192 ||
      h.matchKeyLength < 1 || h.matchKeyLength > 8192 || h.components < 0 || h.components > 1024) {
    return result;
  }
  // The header is a whole number of record slots and lies inside the file.
  if (static_cast<std::int64_t>(h.headerSlots) * h.recordLength != h.headerSize ||
      h.headerSize > fileSize) {
    return result;
  }
  // The record parts add up to the record length.
  const std::int64_t parts = 2 + (h.withPriority ? 2 : 0) + std::int64_t{h.infoLength} +
                             h.classKeyLength + 2 * std::int64_t{h.components} + h.matchKeyLength;
  if (parts != h.recordLength) return result;
  // The content (ident and descriptors) lies inside the header and inside the bytes given.
  if (available < kCompactFixedHeaderSize + 1) return result;
  const std::int64_t identLength = le::GetU8(bytes, 81);
  const std::int64_t content = 82 + identLength + 12 * std::int64_t{h.components};
  if (content > h.headerSize || content > available) return result;
  h.ident.assign(reinterpret_cast<const char*>(bytes.data()) + 82,
                 static_cast<std::size_t>(identLength));
  h.descriptors.reserve(static_cast<std::size_t>(h.components));
  for (std::int64_t j = 0; j < h.components; ++j) {
    const auto at = static_cast<std::size_t>(82 + identLength + 12 * j);
    TCompactComponentDescriptor d;
    d.kind = le::GetU8(bytes, at);
    d.slotKind = le::GetU8(bytes, at + 1);
    d.prefix = le::GetU8(bytes, at + 2) != 0;
    d.wordHurdle = le::GetU32(bytes, at + 4);
    d.blockHurdle = le::GetU32(bytes, at + 8);
    h.descriptors.push_back(d);
  }
  result.fault = CompactHeaderFault::kNone;
  return result;
}

std::int64_t CompactRecordCount(const TCompactHeader& header, std::int64_t fileSize) {
  if (header.recordLength <= 0 || fileSize < header.headerSize) return 0;
  return (fileSize - header.headerSize) / header.recordLength;
}

}  // namespace vld
