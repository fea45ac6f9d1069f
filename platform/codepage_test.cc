#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace vld {
namespace {

TEST(CodePageTest, EveryByteOfEverySingleBytePageSurvivesTheRoundTripThroughUtf8) {
  for (CodePage cp : {CodePage::k437, CodePage::k850, CodePage::k1252}) {
    SCOPED_TRACE(static_cast<int>(cp));
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(FromUtf8(ToUtf8(all, cp), cp), all);
  }
}

TEST(CodePageTest, GermanLettersLandOnTheirCp437Bytes) {
  EXPECT_EQ(ToCp437("Müller Straße Ä Ö Ü ä ö", CodePage::kUtf8),
            "M\x81ller Stra\xe1" "e \x8e \x99 \x9a \x84 \x94");
  EXPECT_EQ(ToCp437("M\xfcller", CodePage::k1252), "M\x81ller");
  EXPECT_EQ(ToUtf8("Gr\x94\xe1" "e", CodePage::k437), "Größe");
  EXPECT_EQ(ToUtf8("\x80", CodePage::k1252), "€");
}

TEST(CodePageTest, CharactersOutsideCp437BecomeTheirPlainForm) {
  struct Case {
    const char* utf8;
    const char* cp437;
  } cases[] = {
      {"10 €", "10 EUR"},   {"Erdős", "Erdos"},      {"„Haus“", "\"Haus\""},
      {"Łódź", "L\xa2" "dz"},     {"Ørsted", "Orsted"},    {"a–b", "a-b"},
      {"Œuvre", "OEuvre"},  {"☃", "?"},              {"Čapek", "Capek"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(ToCp437(c.utf8, CodePage::kUtf8), c.cp437);
  }
}

TEST(CodePageTest, InvalidUtf8IsReadAsWindows1252InsteadOfLost) {
  EXPECT_FALSE(IsValidUtf8("M\xfcller"));
  EXPECT_EQ(ToCp437("M\xfcller", CodePage::kUtf8), "M\x81ller");
  EXPECT_EQ(ToUtf8("a\xff", CodePage::kUtf8), "a\xef\xbf\xbd");
}

TEST(CodePageTest, Utf8ValidatorRejectsOverlongsSurrogatesAndCutSequences) {
  EXPECT_TRUE(IsValidUtf8("äöü €𝄞"));
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xe2\x82"));          // cut at the end
  EXPECT_FALSE(IsValidUtf8("\xf4\x90\x80\x80"));  // above U+10FFFF
}

TEST(CodePageTest, Utf8ValidatorFindsAFaultAtEveryPlaceInLongAsciiRuns) {
  // Oracle: character by character decoding, which knows nothing of the ASCII runs.
  const auto decodedWhole = [](std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
      if (!DecodeUtf8(text, pos)) return false;
    }
    return true;
  };
  const char* pieces[] = {"\xc3\xbc", "\xe2\x82\xac", "\xfc", "\xc3", "\xe2\x82", "\xc0\xaf", "\x80"};
  for (const char* piece : pieces) {
    for (std::size_t at = 0; at <= 20; ++at) {
      for (std::size_t after : {0, 1, 7, 8, 9}) {
        const std::string text = std::string(at, 'a') + piece + std::string(after, 'b');
        SCOPED_TRACE(testing::Message() << "piece " << piece << " at " << at << " +" << after);
        EXPECT_EQ(IsValidUtf8(text), decodedWhole(text));
      }
    }
  }
  EXPECT_TRUE(IsValidUtf8(std::string(1000, 'x')));
  EXPECT_TRUE(IsValidUtf8(""));
}

TEST(CodePageTest, UpperCaseTableFoldsAccentsOnlyWhereTheEngineDoes) {
  EXPECT_EQ(UpperCase437(std::string_view("m\x81ller \x84 \x94 \x82\x8a \xa4 \xe1 123")),
            "M\x9aLLER \x8e \x99 EE \xa5 \xe1 123");
  EXPECT_EQ(UpperCase437(static_cast<std::uint8_t>(0x98)), 'Y');
  for (int b = 0xB0; b < 256; ++b) {
    if (b == 0xE1) continue;
    EXPECT_EQ(UpperCase437(static_cast<std::uint8_t>(b)), b) << b;
  }
}

}  // namespace
}  // namespace vld
