// Reading the header of a compact dark file ("Kompaktsperrdatei") used as an input file.
//
// The header (format in engine/pipeline/output_chain.h) occupies the first record slots of the
// file; each following slot holds one compact record:
//   OFFSET  SIZE  FIELD
//        0     2  used length of the record
//        2     2  priority word (only when the records carry priorities)
//      2/4  info  the info area ("Sperrsatzfelder")
//         class   the class key
//          2 x n  the component offsets (rebased onto the compact record)
//         match   the match key
// The decoder distrusts every byte: every length is checked against the file's size and the
// record parts must add up to the record length before any of it is used, so a damaged header
// is a fault to report, never a crash or a huge allocation.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/pipeline/file_layout.h"

namespace vld {

// Bytes before the ident: a file shorter than this holds no header.
inline constexpr std::int64_t kCompactFixedHeaderSize = 81;
// The most bytes a header's content can take (ident of 255 characters, 1024 components).
inline constexpr std::int64_t kCompactMaxContentSize = 82 + 255 + 12 * 1024;

struct TCompactComponentDescriptor {
  std::uint8_t kind = 0;      // component kind 0..3
  std::uint8_t slotKind = 0;  // kind of its slot
  bool prefix = false;        // prefix recognition (Normal components)
  std::uint32_t wordHurdle = 0;
  std::uint32_t blockHurdle = 0;  // the set's "Sperr-Hürde" for slot kinds 2 and above
};

struct TCompactHeader {
  std::int32_t recordLength = 0;  // compact record length (size of one record slot)
  std::int32_t headerSize = 0;    // bytes, a whole number of slots
  std::int32_t headerSlots = 0;
  bool withPriority = false;
  std::int32_t infoLength = 0;
  std::int32_t classKeyLength = 0;
  std::int32_t matchKeyLength = 0;
  std::int32_t components = 0;
  std::int32_t plausibleInterval = 0;
  std::uint16_t plzPosition = 0;
  std::uint16_t plzLength = 0;
  std::string ident;  // "Ident der Kompaktsperrdatei", code page 437
  std::vector<TCompactComponentDescriptor> descriptors;

  // The layout of the file's compact records: blueRecordLength and classRecordLength are the
  // record length; class key, component offsets, match key, info and priority word at their
  // 1-based positions; no file-number word, no flag byte, no output.
  void FillLayout(TFileLayout& layout) const;
};

enum class CompactHeaderFault : std::uint8_t {
  kNone,
  kNoHeader,      // shorter than the fixed part
  kNoMagic,       // not a compact dark file
  kWrongVersion,  // version other than kCompactVersion
  kInconsistent,  // the sizes do not fit each other or the file
};

struct TCompactHeaderResult {
  CompactHeaderFault fault = CompactHeaderFault::kNone;
  std::int32_t version = 0;  // as read (for kWrongVersion)
  TCompactHeader header;     // complete when fault is kNone
};

// Decodes the header of a file of `fileSize` bytes from `bytes`, its first
// min(fileSize, kCompactMaxContentSize) bytes (fewer bytes count as a cut file).
TCompactHeaderResult DecodeCompactHeader(std::span<const std::uint8_t> bytes,
                                         std::int64_t fileSize);

// Number of whole compact records behind the header (a partial last record is ignored).
// REQUIRES: a header decoded from a file of `fileSize` bytes.
std::int64_t CompactRecordCount(const TCompactHeader& header, std::int64_t fileSize);

}  // namespace vld
