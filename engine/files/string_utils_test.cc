#include "engine/files/string_utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace vld {
namespace {

TEST(StringCacheTest, GrowsByDoublingUpTo64ThenByAQuarterButAtLeast64) {
  TStringCache cache;
  cache.SetCapacity(16);
  cache.AppendText(std::string(16, 'a'));
  EXPECT_EQ(cache.Capacity(), 16u);
  cache.AppendChar('b');
  EXPECT_EQ(cache.Capacity(), 32u);  // doubled
  cache.SetCapacity(400);
  cache.AppendText(std::string(400 - cache.Length(), 'c'));
  cache.AppendChar('d');
  EXPECT_EQ(cache.Capacity(), 500u);  // 400 + 400 / 4
  cache.SetCapacity(65);
  EXPECT_EQ(cache.Capacity(), 401u);  // never below the length
  cache.AppendChar('e');
  EXPECT_EQ(cache.Capacity(), 401u + 100u);
  TStringCache small;
  small.SetCapacity(100);
  small.AppendText(std::string(100, 'x'));
  small.AppendChar('y');
  EXPECT_EQ(small.Capacity(), 164u);  // max(64, 25) added
  small.AppendText(std::string(1000, 'z'));
  EXPECT_EQ(small.Capacity(), 1101u);  // the needed size wins
  EXPECT_EQ(small.Text(), std::string(100, 'x') + "y" + std::string(1000, 'z'));
}

TEST(FindCharTest, AllEightModesAgainstAPlainLoop) {
  const std::string text = "aabab";
  for (int m = 0; m < 8; ++m) {
    for (char c : {'a', 'b', 'z'}) {
      for (int from = -1; from <= 7; ++from) {
        for (int to = -1; to <= 7; ++to) {
          SCOPED_TRACE(testing::Message()
                       << "mode " << m << " char " << c << " from " << from << " to " << to);
          const int n = static_cast<int>(text.size());
          const int lo = std::clamp(from, 1, n + 1);
          const int hi = std::clamp(to, 0, n);
          const bool other = m >= 4, backward = (m / 2) % 2 == 1, stop = m % 2 == 1;
          int expected = 0;
          bool found = false;
          if (!backward) {
            int pos = lo;
            for (; pos <= hi; ++pos) {
              if ((text[pos - 1] == c) != other) break;
            }
            found = pos <= hi;
            expected = found ? pos : (stop ? pos : 0);
          } else {
            int pos = hi;
            for (; pos >= lo; --pos) {
              if ((text[pos - 1] == c) != other) break;
            }
            found = pos >= lo;
            expected = found ? pos : (stop ? pos : 0);
          }
          EXPECT_EQ(FindChar(static_cast<FindCharMode>(m), c, text, from, to),
                    static_cast<std::size_t>(expected));
        }
      }
    }
  }
}

TEST(FindCharTest, NotFoundGivesZeroOrOnePastTheEnd) {
  EXPECT_EQ(FindChar(FindCharMode::kForwardOrStop, 'x', "abc"), 4u);
  EXPECT_EQ(FindChar(FindCharMode::kForward, 'x', "abc"), 0u);
  EXPECT_EQ(FindChar(FindCharMode::kBackwardOrStop, 'x', "abc"), 0u);
  EXPECT_EQ(FindChar(FindCharMode::kBackward, 'b', "abcb"), 4u);
  EXPECT_EQ(FindChar(FindCharMode::kForwardOther, ' ', "  x "), 3u);
  EXPECT_EQ(FindChar(FindCharMode::kBackwardOther, ' ', "  x "), 3u);
  EXPECT_EQ(FindCharFrom(FindCharMode::kForward, 'a', "abca", 2), 4u);
  EXPECT_EQ(FindCharUpTo(FindCharMode::kForwardOrStop, 'a', "bbba", 3), 4u);
}

TEST(FindCharTest, AnEndBeyondTheTextIsClampedToIt) {
  const std::string text = "ab";
  // The search must not read past the text even when told to.
  EXPECT_EQ(FindChar(FindCharMode::kForwardOrStop, 'x', text, 1, 1000), 3u);
  EXPECT_EQ(FindChar(FindCharMode::kBackward, 'a', text, 1, 1000), 1u);
  EXPECT_EQ(FindCharUpTo(FindCharMode::kForwardOther, 'a', text, 50), 2u);
}

TEST(RepeatTextTest, RepeatsOrGivesEmpty) {
  EXPECT_EQ(RepeatText(3, "ab"), "ababab");
  EXPECT_EQ(RepeatText(0, "ab"), "");
  EXPECT_EQ(RepeatText(-5, "ab"), "");
}

TEST(LiteralTest, QuotesAndUnquotesLiterals) {
  struct Case {
    std::string text, literal;
  } cases[] = {
      {"", "''"},
      {std::string("a\tb"), "'a'#9'b'"},
      {"it's", "'it''s'"},
      {std::string("\r\n"), "#13#10"},
      {std::string("x\x01"), "'x'#1"},
      {"Gr\xc3\xbc\xc3\x9f"
       "e",
       "'Gr\xc3\xbc\xc3\x9f"
       "e'"},  // UTF-8 stays inside the run
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.literal);
    EXPECT_EQ(QuoteLiteral(c.text), c.literal);
    EXPECT_EQ(UnquoteLiteral(c.literal), c.text);
  }
}

TEST(LiteralTest, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(UnquoteLiteral(QuoteLiteral(all)), all);
}

TEST(LiteralTest, RejectsMalformedLiterals) {
  for (const char* bad : {"'abc", "#", "#x", "#256", "#99999999999999999999999", "a", "'a' ",
                          "'a'#", "''''x", "#-1"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(UnquoteLiteral(bad).has_value());
  }
  EXPECT_FALSE(UnquoteLiteral(std::string("'a\tb'")).has_value());  // control char in a run
  EXPECT_EQ(UnquoteLiteral("#255"), std::string("\xff"));
  EXPECT_EQ(UnquoteLiteral("#0065'b'"), std::string("Ab"));
  EXPECT_EQ(UnquoteLiteral(""), std::string());
}

TEST(LiteralTest, NeedsQuotingOnlyForApostropheOrHash) {
  EXPECT_TRUE(NeedsQuoting("a'b"));
  EXPECT_TRUE(NeedsQuoting("#9"));
  EXPECT_FALSE(NeedsQuoting("a b\tc"));
}

}  // namespace
}  // namespace vld
