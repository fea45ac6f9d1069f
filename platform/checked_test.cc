#include "platform/checked.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace vld {
namespace {

template <typename F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const ERuntimeError& e) {
    return e.what();
  }
  return "";
}

TEST(CheckedTest, OverflowRaisesIntegerOverflow) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(ErrorOf([] { CheckedAdd<std::int32_t>(kMax, 1); }), "Integer-Überlauf");
  EXPECT_EQ(ErrorOf([] { CheckedMul<std::int32_t>(65536, 32768); }), "Integer-Überlauf");
  EXPECT_EQ(ErrorOf([] { CheckedSub<std::uint32_t>(0, 1); }), "Integer-Überlauf");
  EXPECT_EQ(ErrorOf([] { CheckedDiv<std::int32_t>(std::numeric_limits<std::int32_t>::min(), -1); }),
            "Integer-Überlauf");
  EXPECT_EQ(CheckedMul<std::int64_t>(1000000, 200), 200000000);
}

TEST(CheckedTest, DivisionTruncatesAndRejectsZero) {
  EXPECT_EQ(CheckedDiv(-7, 2), -3);
  EXPECT_EQ(ErrorOf([] { CheckedDiv(1, 0); }), "Division durch Null");
  EXPECT_EQ(ErrorOf([] { CheckedMod(1, 0); }), "Division durch Null");
}

TEST(CheckedTest, NarrowingAndIndexOutsideTheirRangeRaiseRangeError) {
  EXPECT_EQ(ErrorOf([] { CheckedCast<std::int32_t>(std::int64_t{1} << 31); }),
            "Fehler bei Bereichsprüfung");
  EXPECT_EQ(ErrorOf([] { CheckedCast<std::uint16_t>(-1); }), "Fehler bei Bereichsprüfung");
  EXPECT_EQ(ErrorOf([] { CheckIndex(3, 3); }), "Fehler bei Bereichsprüfung");
  EXPECT_EQ(ErrorOf([] { CheckIndex(-1, 3); }), "Fehler bei Bereichsprüfung");
  EXPECT_EQ(CheckIndex(2, 3), 2u);
}

}  // namespace
}  // namespace vld
