#include "data/code_pages.h"

#include <gtest/gtest.h>

#include <string>

namespace vld {
namespace {

std::string Byte(int b) { return std::string(1, static_cast<char>(b)); }

std::string Utf8(char32_t c) {
  std::string s;
  AppendUtf8(s, c);
  return s;
}

constexpr CodePage kPages[] = {CodePage::k437, CodePage::k850, CodePage::k1252};

TEST(TranslateCodePageTest, MapsEveryCharacterTheTargetHoldsToItself) {
  for (CodePage source : kPages) {
    for (CodePage target : kPages) {
      if (source == target) continue;
      for (int b = 128; b < 256; ++b) {
        const char32_t c = ByteToUnicode(source, static_cast<std::uint8_t>(b));
        const std::string out = TranslateCodePage(Byte(b), target, source);
        ASSERT_EQ(out.size(), 1u);
        const char32_t mapped = ByteToUnicode(target, static_cast<std::uint8_t>(out[0]));
        bool targetHolds = false;
        for (int t = 128; t < 256; ++t) {
          targetHolds |= ByteToUnicode(target, static_cast<std::uint8_t>(t)) == c;
        }
        SCOPED_TRACE(testing::Message() << static_cast<int>(source) << "->"
                                        << static_cast<int>(target) << " byte " << b);
        if (targetHolds) {
          EXPECT_EQ(mapped, c);
        } else if (out[0] == ' ') {
          SUCCEED();
        } else {
          // Only the named replacements differ from a blank; they are plain letters or the
          // glyph bytes (¶ 20, § 21, • 7, ⌐/® 169).
          const auto o = static_cast<std::uint8_t>(out[0]);
          EXPECT_TRUE((o >= 'A' && o <= 'Z') || (o >= 'a' && o <= 'z') || o == '*' || o == 20 ||
                      o == 21 || o == 7 || o == 169)
              << static_cast<int>(o);
        }
      }
    }
  }
}

TEST(TranslateCodePageTest, ControlBytesAndTheNamedReplacements) {
  struct Case {
    CodePage target, source;
    int in, out;
  };
  const Case cases[] = {
      {CodePage::k437, CodePage::k1252, 0xE4, 132},  // ä
      {CodePage::k437, CodePage::k1252, 0xC0, 'A'},  // À
      {CodePage::k437, CodePage::k1252, 0x8C, 'O'},  // Œ
      {CodePage::k437, CodePage::k1252, 0x95, 7},    // •
      {CodePage::k437, CodePage::k1252, 0xA7, 21},   // §
      {CodePage::k437, CodePage::k1252, 0xB6, 20},   // ¶
      {CodePage::k437, CodePage::k1252, 0x80, ' '},  // € is not in 437
      {CodePage::k437, CodePage::k850, 0xA9, 169},   // ® -> ⌐
      {CodePage::k437, CodePage::k850, 0x9B, 'o'},   // ø
      {CodePage::k850, CodePage::k437, 169, 169},    // ⌐ stays
      {CodePage::k850, CodePage::k437, 20, 244},     // ¶
      {CodePage::k850, CodePage::k437, 21, 245},     // §
      {CodePage::k1252, CodePage::k437, 20, 182},    // ¶
      {CodePage::k1252, CodePage::k437, 21, 167},    // §
      {CodePage::k1252, CodePage::k437, 0xC9, ' '},  // box drawing
      {CodePage::k1252, CodePage::k850, 0xD5, 'i'},  // ı
      {CodePage::k850, CodePage::k1252, 0x9C, 'o'},  // œ
      {CodePage::k1252, CodePage::k437, 0, ' '},    {CodePage::k1252, CodePage::k437, 9, 9},
      {CodePage::k1252, CodePage::k437, 10, 10},    {CodePage::k1252, CodePage::k437, 11, ' '},
      {CodePage::k1252, CodePage::k437, 12, 12},    {CodePage::k1252, CodePage::k437, 13, 13},
      {CodePage::k1252, CodePage::k437, 127, ' '},  {CodePage::k850, CodePage::k437, 'x', 'x'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(TranslateCodePage(Byte(c.in), c.target, c.source), Byte(c.out));
  }
}

TEST(TranslateCodePageTest, SamePageCopiesUnchanged) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  for (CodePage cp : kPages) EXPECT_EQ(TranslateCodePage(all, cp, cp), all);
}

TEST(RecordTextTest, Utf8AndWindows1252GiveTheSameRecordBytes) {
  for (int b = 0; b < 256; ++b) {
    const char32_t c = ByteToUnicode(CodePage::k1252, static_cast<std::uint8_t>(b));
    SCOPED_TRACE(b);
    EXPECT_EQ(RecordText(Utf8(c), CodePage::kUtf8), RecordText(Byte(b), CodePage::k1252));
  }
}

TEST(RecordTextTest, ControlCharactersBecomeBlanksAndPlainFormsStandIn) {
  struct Case {
    std::string in;
    CodePage cp;
    std::string out;
  };
  const Case cases[] = {
      {"M\xC3\xBCller", CodePage::kUtf8, "M\x81ller"},
      {"a\tb\r\nc", CodePage::kUtf8, "a b  c"},
      {std::string("x\0y", 3), CodePage::k1252, "x y"},
      {"\xE2\x82\xAC 5", CodePage::kUtf8, "EUR 5"},   // €
      {"\x80 5", CodePage::k1252, "EUR 5"},           // € in 1252
      {"Erd\xC5\x91s", CodePage::kUtf8, "Erdos"},     // ő
      {"\xF0\x9F\x98\x80!", CodePage::kUtf8, " !"},   // no plain form
      {"Gr\xFC\xDF", CodePage::kUtf8, "Gr\x81\xE1"},  // invalid UTF-8 read as 1252
      {"\x14\x15", CodePage::k437, "\x14\x15"},       // ¶ § of code page 437 stay
      {std::string("\x01\x00", 2), CodePage::k437, "  "},
      {"\xC0ngstr\xF6m", CodePage::k1252, "Angstr\x94m"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(RecordText(c.in, c.cp), c.out);
    EXPECT_EQ(RecordTextLength(c.in, c.cp), c.out.size());
  }
}

TEST(RecordTextTest, LongTextsAreTheirBytesOneByOne) {
  // Runs of bytes that stand for themselves are copied at once: the same as byte by byte.
  std::string text;
  std::uint32_t x = 7;
  for (int i = 0; i < 4000; ++i) {
    x = x * 1103515245u + 12345u;
    const auto b = static_cast<char>((x >> 16) % 4 == 0 ? (x >> 8) & 0xFF : 'a' + (x >> 8) % 26);
    text.push_back(b);
  }
  for (CodePage cp : {CodePage::k437, CodePage::k850, CodePage::k1252}) {
    std::string oneByOne;
    for (char b : text) oneByOne += RecordText(std::string(1, b), cp);
    EXPECT_EQ(RecordText(text, cp), oneByOne);
    std::string appended = "vorher|";
    AppendRecordText(appended, text, cp);
    EXPECT_EQ(appended, "vorher|" + oneByOne);
  }
}

}  // namespace
}  // namespace vld
