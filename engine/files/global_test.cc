#include "engine/files/global.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/test_support.h"

namespace vld {
namespace {

using testing::FatalTextOf;

TEST(GlobalTest, TrapRaisesTheFatalErrorWithItsText) {
  EXPECT_EQ(FatalTextOf([] { Trap("TMerge.Signal"); }), "Trap: TMerge.Signal");
}

TEST(GlobalTest, IntegerObjectHoldsItsValue) {
  TInteger* number = CreateIn<TInteger>(StandardHeap(), 4000000000u);
  EXPECT_EQ(number->value, 4000000000u);
  Free(number);
}

TEST(GlobalTest, EscapeAmpersandsDoublesEveryAmpersand) {
  EXPECT_EQ(EscapeAmpersands("Müller & Söhne"), "Müller && Söhne");
  EXPECT_EQ(EscapeAmpersands("&&"), "&&&&");
  EXPECT_EQ(EscapeAmpersands(""), "");
}

TEST(GlobalTest, ParseUnsigned) {
  struct Case {
    std::string text;
    int maxDigits;
    std::int64_t value;
  };
  const Case cases[] = {
      {"  0012x", 9, 12},
      {std::string("\0\0 5", 4), 9, 5},
      {"123456789", 9, 123456789},
      {"1234567890", 9, 0},
      {"12 3", 9, 12},
      {"", 9, 0},
      {"   ", 9, 0},
      {"abc", 9, 0},
      {" -5", 9, 0},
      {"7", 0, 0},
      {"999999999999999999", 18, 999999999999999999},
      {"99999", 25, 99999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseUnsigned(c.text, c.maxDigits), c.value);
  }
}

TEST(GlobalTest, PutNumber) {
  struct Case {
    std::string text;
    int position;
    int width;
    std::int64_t value;
    std::string result;
  };
  const Case cases[] = {
      {"Anzahl:       !", 8, 6, 42, "Anzahl:    42 !"},
      {"xxxxxx", 1, 3, 7, "  7xxx"},
      {"xxxxxx", 2, 3, 1234, "x***xx"},
      {"xxxxxx", 2, 3, -12, "x-12xx"},
      {"ab", 2, 4, 5, "a   5"},
      {"ab", 1, 25, 1, std::string(19, ' ') + "1"},
      {"ab", 0, 3, 1, "ab"},
      {"ab", 1, 0, 1, "ab"},
      {std::string(254, '.'), 254, 3, 987, std::string(253, '.') + "**"},  // cut at 255
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    PutNumber(text, c.position, c.width, c.value);
    EXPECT_EQ(text, c.result);
  }
}

TEST(GlobalTest, ParseDate) {
  struct Case {
    const char* text;
    int referenceYear;
    int window;
    std::int32_t date;
  };
  const Case cases[] = {
      {"31.2.1999", 2003, 10, 0},
      {"29.2.2000", 2003, 10, 20000229},
      {"29.2.1900", 2003, 10, 0},
      {"29.2.2004", 2003, 10, 20040229},
      {"1.1.05", 2003, 10, 20050101},
      {"1.1.95", 2003, 10, 19950101},
      {"1.1.93", 2003, 10, 19930101},
      {"1.1.92", 2003, 10, 20920101},
      {"1.1.05", 2003, 0, 20050101},
      {"1.1.99", 2003, 0, 20990101},
      {"1.1.99", 2003, -10, 0},  // a negative window has bit 15 set
      {"1.1.05", 2003, 0x8000, 0},
      {"1.1.1905", 2003, 0x8000, 19050101},
      {"0005.01.1999", 2003, 10, 19990105},
      {"1.1.0005", 2003, 10, 0},
      {"2005-12-31", 2003, 10, 20051231},
      {"05-1-2", 2003, 10, 20050102},
      {" 24 . 12 . 2003 ", 2003, 10, 20031224},
      {"24.12-2003", 2003, 10, 0},
      {"2003-12.24", 2003, 10, 0},
      {"24/12/2003", 2003, 10, 0},
      {"24.12.2003x", 2003, 10, 0},
      {"24.12.20031", 2003, 10, 0},
      {"24.12.", 2003, 10, 0},
      {"24..2003", 2003, 10, 0},
      {"", 2003, 10, 0},
      {"31.12.1799", 2003, 10, 0},
      {"1.1.1800", 2003, 10, 18000101},
      {"31.12.2999", 2003, 10, 29991231},
      {"1.1.3000", 2003, 10, 0},
      {"1.13.2000", 2003, 10, 0},
      {"0.1.2000", 2003, 10, 0},
      {"31.4.2000", 2003, 10, 0},
      {"30.4.2000", 2003, 10, 20000430},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SCOPED_TRACE(c.window);
    EXPECT_EQ(ParseDate(c.text, c.referenceYear, c.window), c.date);
  }
}

}  // namespace
}  // namespace vld
