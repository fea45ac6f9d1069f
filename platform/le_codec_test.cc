#include "platform/le_codec.h"

#include <gtest/gtest.h>

namespace vld {
namespace {

TEST(LeCodecTest, WritesLeastSignificantByteFirst) {
  le::Writer w;
  w.U16(0x1234);
  w.I32(-2);
  w.U64(0x0102030405060708ull);
  EXPECT_EQ(w.bytes(), std::string("\x34\x12\xfe\xff\xff\xff\x08\x07\x06\x05\x04\x03\x02\x01", 14));
  le::Reader r(w.bytes());
  EXPECT_EQ(r.U16(), 0x1234);
  EXPECT_EQ(r.I32(), -2);
  EXPECT_EQ(r.U64(), 0x0102030405060708ull);
  EXPECT_TRUE(r.AtEnd());
}

TEST(LeCodecTest, ReadingPastTheEndRaisesRangeErrorInsteadOfReading) {
  le::Reader r(std::string_view("\x01\x02\x03", 3));
  EXPECT_EQ(r.U16(), 0x0201);
  EXPECT_THROW(r.U16(), ERuntimeError);
  EXPECT_THROW(r.Bytes(2), ERuntimeError);
  EXPECT_EQ(r.Bytes(1), "\x03");
  std::uint8_t buf[4] = {};
  EXPECT_THROW(le::PutU32(std::span<std::uint8_t>(buf, 4), 1, 7), ERuntimeError);
  EXPECT_THROW(le::GetU16(std::span<const std::uint8_t>(buf, 4), SIZE_MAX), ERuntimeError);
}

}  // namespace
}  // namespace vld
