#include "matching/compact_header.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/runtime/heap.h"
#include "matching/compact_test_util.h"
#include "matching/key_building.h"
#include "matching/match_params.h"

namespace vld {
namespace {

using testing::CompactFileImage;
using testing::CompactFileSpec;

CompactFileSpec SampleLayout() {
  CompactFileSpec s;
  s.components = {{1, 2, true, 3, 3}, {1, 4, false, 4, 3}, {3, 4, false, 0, 3}};
  return s;
}

TCompactHeaderResult Decode(const std::vector<std::uint8_t>& image) {
  const std::size_t n =
      std::min<std::size_t>(image.size(), static_cast<std::size_t>(kCompactMaxContentSize));
  return DecodeCompactHeader(std::span(image.data(), n), static_cast<std::int64_t>(image.size()));
}

TEST(CompactHeaderTest, DecodesWhatTheWriterWrote) {
  const CompactFileSpec compact = SampleLayout();
  const std::vector<std::uint8_t> image = CompactFileImage(compact);
  const TCompactHeaderResult r = Decode(image);
  ASSERT_EQ(r.fault, CompactHeaderFault::kNone);
  const TCompactHeader& h = r.header;
  EXPECT_EQ(h.recordLength, compact.RecordLength());
  EXPECT_EQ(h.headerSlots * h.recordLength, h.headerSize);
  EXPECT_EQ(h.headerSlots, 2);  // 82 + 7 + 36 content bytes in slots of 65 bytes
  EXPECT_TRUE(h.withPriority);
  EXPECT_EQ(h.infoLength, 10);
  EXPECT_EQ(h.classKeyLength, 5);
  EXPECT_EQ(h.matchKeyLength, 40);
  EXPECT_EQ(h.components, 3);
  EXPECT_EQ(h.plausibleInterval, 100);
  EXPECT_EQ(h.plzPosition, 1);
  EXPECT_EQ(h.plzLength, 5);
  EXPECT_EQ(h.ident, "COMPACT");
  ASSERT_EQ(h.descriptors.size(), 3u);
  EXPECT_TRUE(h.descriptors[0].prefix);
  EXPECT_EQ(h.descriptors[1].wordHurdle, 4u);
  EXPECT_EQ(h.descriptors[2].kind, 3);
  EXPECT_EQ(h.descriptors[2].blockHurdle, 3u);
  EXPECT_EQ(CompactRecordCount(h, static_cast<std::int64_t>(image.size())), 2);
}

// The layout read from a header is the one the compact record builder writes.
TEST(CompactHeaderTest, LayoutIsTheBuildersLayout) {
  for (const bool priority : {true, false}) {
    SCOPED_TRACE(priority);
    CompactFileSpec compact = SampleLayout();
    compact.withPriority = priority;
    const TCompactHeaderResult r = Decode(CompactFileImage(compact));
    ASSERT_EQ(r.fault, CompactHeaderFault::kNone);
    TFileLayout layout;
    r.header.FillLayout(layout);

    auto* set = CreateIn<TParameterCheck>(StandardHeap());
    TParameterFields& f = set->Fields();
    f.compactWithPriorities = priority;
    f.darkInfoLength = 10;
    f.classKeyLength = 5;
    f.componentCount = 3;
    f.matchKeyLength = 40;
    const TCompactLayout built = TCompactLayout::Of(*set);
    Free(set);

    EXPECT_EQ(layout.blueRecordLength, built.length);
    EXPECT_EQ(layout.classRecordLength, built.length);
    EXPECT_EQ(layout.compactWithPriority, priority);
    EXPECT_EQ(layout.priorityPosition, priority ? built.priorityOffset + 1 : 0);
    EXPECT_EQ(layout.infoPosition, built.infoOffset + 1);
    EXPECT_EQ(layout.infoLength, built.infoLength);
    EXPECT_EQ(layout.classKeyPosition, built.classKeyOffset + 1);
    EXPECT_EQ(layout.classKeyLength, 5);
    EXPECT_EQ(layout.componentOffsetsPosition, built.offsetsOffset + 1);
    EXPECT_EQ(layout.matchKeyPosition, built.matchKeyOffset + 1);
    EXPECT_EQ(layout.matchKeyLength, 40);
    EXPECT_EQ(layout.fileNumberPosition, 0);
    EXPECT_EQ(layout.flagPosition, 0);
    EXPECT_EQ(layout.outputRecordLength, 0);
  }
}

TEST(CompactHeaderTest, DamagedHeadersAreFaults) {
  using Image = std::vector<std::uint8_t>;
  struct Case {
    const char* what;
    std::function<void(Image&)> damage;
    CompactHeaderFault fault;
  } const cases[] = {
      {"shorter than the fixed part", [](Image& b) { b.resize(80); },
       CompactHeaderFault::kNoHeader},
      {"magic", [](Image& b) { b[3] ^= 0x20; }, CompactHeaderFault::kNoMagic},
      {"magic terminator", [](Image& b) { b[31] = '!'; }, CompactHeaderFault::kNoMagic},
      {"version", [](Image& b) { le::PutI32(b, 32, 3); }, CompactHeaderFault::kWrongVersion},
      {"record length 0", [](Image& b) { le::PutI32(b, 36, 0); },
       CompactHeaderFault::kInconsistent},
      {"record length negative", [](Image& b) { le::PutI32(b, 36, -65); },
       CompactHeaderFault::kInconsistent},
      {"header not whole slots", [](Image& b) { le::PutI32(b, 40, 133); },
       CompactHeaderFault::kInconsistent},
      {"header beyond the file",
       [](Image& b) {
         le::PutI32(b, 44, 1000);
         le::PutI32(b, 40, 65000);
       },
       CompactHeaderFault::kInconsistent},
      {"huge header", [](Image& b) { le::PutI32(b, 44, 0x7FFFFFFF); },
       CompactHeaderFault::kInconsistent},
      {"priority flag 2", [](Image& b) { b[48] = 2; }, CompactHeaderFault::kInconsistent},
      {"parts do not add up", [](Image& b) { le::PutI32(b, 49, 11); },
       CompactHeaderFault::kInconsistent},
      {"negative info", [](Image& b) { le::PutI32(b, 49, -1); }, CompactHeaderFault::kInconsistent},
      {"negative components", [](Image& b) { le::PutI32(b, 61, -1); },
       CompactHeaderFault::kInconsistent},
      {"too many components", [](Image& b) { le::PutI32(b, 61, 0x40000000); },
       CompactHeaderFault::kInconsistent},
      {"ident beyond the header", [](Image& b) { b[81] = 255; }, CompactHeaderFault::kInconsistent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image image = CompactFileImage(SampleLayout());
    c.damage(image);
    EXPECT_EQ(Decode(image).fault, c.fault);
  }
  Image version = CompactFileImage(SampleLayout());
  le::PutI32(version, 32, 1);
  EXPECT_EQ(Decode(version).version, 1);
}

TEST(CompactHeaderTest, FileCutAtEveryPositionIsAFaultUntilTheHeaderIsWhole) {
  const std::vector<std::uint8_t> image = CompactFileImage(SampleLayout());
  const TCompactHeaderResult whole = Decode(image);
  ASSERT_EQ(whole.fault, CompactHeaderFault::kNone);
  const std::int64_t headerSize = whole.header.headerSize;
  for (std::size_t cut = 0; cut <= image.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::vector<std::uint8_t> part(image.begin(), image.begin() + static_cast<long>(cut));
    const TCompactHeaderResult r = Decode(part);
    if (static_cast<std::int64_t>(cut) < kCompactFixedHeaderSize) {
      EXPECT_EQ(r.fault, CompactHeaderFault::kNoHeader);
    } else if (static_cast<std::int64_t>(cut) < headerSize) {
      EXPECT_EQ(r.fault, CompactHeaderFault::kInconsistent);
    } else {
      ASSERT_EQ(r.fault, CompactHeaderFault::kNone);
      EXPECT_EQ(CompactRecordCount(r.header, static_cast<std::int64_t>(cut)),
                (static_cast<std::int64_t>(cut) - headerSize) / whole.header.recordLength);
    }
  }
}

TEST(CompactHeaderTest, FlippedBytesNeverGiveALayoutOutsideTheRecord) {
  const std::vector<std::uint8_t> image = CompactFileImage(SampleLayout());
  for (std::size_t at = 0; at < 200; ++at) {
    for (const std::uint8_t mask : {0x01, 0x80, 0xFF}) {
      SCOPED_TRACE(at);
      std::vector<std::uint8_t> damaged = image;
      damaged[at] ^= mask;
      const TCompactHeaderResult r = Decode(damaged);
      if (r.fault != CompactHeaderFault::kNone) continue;
      TFileLayout layout;
      r.header.FillLayout(layout);
      EXPECT_EQ(layout.matchKeyPosition + layout.matchKeyLength - 1, r.header.recordLength);
      EXPECT_LE(r.header.headerSize, static_cast<std::int64_t>(damaged.size()));
      EXPECT_EQ(r.header.descriptors.size(), static_cast<std::size_t>(r.header.components));
    }
  }
}

}  // namespace
}  // namespace vld
