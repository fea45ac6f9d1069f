#include "engine/runtime/short_string.h"

#include <gtest/gtest.h>

#include "engine/runtime/statistics.h"
#include "platform/test_support.h"

namespace vld {
namespace {

TEST(ShortStringTest, PaddingAndCentring) {
  EXPECT_EQ(PadRight("Müller", 4), "M\xc3\xbcl");
  EXPECT_EQ(PadRight("ab", 4), "ab  ");
  EXPECT_EQ(PadLeft("7", 3), "  7");
  EXPECT_EQ(Centre("ab", 7), "  ab   ");
  EXPECT_EQ(Fill("-", 300).size(), 255u);
  EXPECT_EQ(Fill("ab", 3), "ababab");
  EXPECT_EQ(Fill("x", -3), "");
}

TEST(ShortStringTest, OverwriteCutsAtTheCurrentLengthAndCharAtGivesBlankOutside) {
  std::string s = "abcdef";
  Overwrite(s, 5, "XYZ");
  EXPECT_EQ(s, "abcdXY");
  EXPECT_EQ(CharAt("abc", 0), ' ');
  EXPECT_EQ(CharAt("abc", 4), ' ');
  EXPECT_EQ(CharAt("abc", 3), 'c');
  EXPECT_EQ(DecimalDigits(-120), 4);
}

TEST(ShortStringTest, BufferLessComparesUnsignedBytes) {
  const std::uint8_t a[] = {1, 0x80}, b[] = {1, 0x7F};
  EXPECT_TRUE(BufferLess(b, a, 2));
  EXPECT_FALSE(BufferLess(a, b, 2));
  EXPECT_FALSE(BufferLess(a, a, 2));
  EXPECT_TRUE(BuffersEqual(a, a, 2));
}

TEST(ShortStringTest, RenameAndDeleteRaiseGermanErrors) {
  testing::TempDir dir;
  const std::string missing = dir.File("fehlt.txt");
  EXPECT_EQ(testing::ErrorTextOf<EInOutError>([&] { DeleteOrRaise(missing); }),
            "kann Datei \"" + missing + "\" nicht löschen");
  EXPECT_EQ(testing::ErrorTextOf<EInOutError>([&] { RenameOrRaise(missing, dir.File("b")); }),
            "kann Datei \"" + missing + "\" nicht nach \"" + dir.File("b") + "\" umbenennen");
  EXPECT_TRUE(DirectoryExists(dir.path().string()));
}

TEST(StatisticsTest, MeanAndDeviationOfKnownValues) {
  TStatistics s;
  EXPECT_EQ(s.Mean(), 0);
  EXPECT_EQ(s.Deviation(), 0);
  for (int v : {2, 4, 4, 4, 5, 5, 7, 9}) s.Add(v);
  EXPECT_DOUBLE_EQ(static_cast<double>(s.Mean()), 5.0);
  EXPECT_DOUBLE_EQ(static_cast<double>(s.Deviation()), 2.0);
  EXPECT_EQ(s.maximum, 9);
  EXPECT_EQ(s.minimum, 2);
}

}  // namespace
}  // namespace vld
