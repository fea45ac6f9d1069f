#include "tools/tables/retraction_table.h"

#include <gtest/gtest.h>

#include <random>

namespace vld::tables {
namespace {

SequenceRows Build(const std::vector<RetractionPattern>& patterns) {
  auto built = BuildRetractionTable(patterns);
  EXPECT_TRUE(std::holds_alternative<SequenceRows>(built));
  return std::get<SequenceRows>(built);
}

TEST(RetractionTableTest, OnePatternNeedsTwoRows) {
  const SequenceRows rows = Build({{{5, 6}, false, 1}});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][5], 1);    // 5 seen
  EXPECT_EQ(rows[1][5], 1);    // 5 again: still "5 seen"
  EXPECT_EQ(rows[1][6], 201);  // 5 then 6: take one character back
  EXPECT_EQ(rows[1][7], 0);
  EXPECT_EQ(rows[0][2], 0);  // the replacement starts afresh
}

TEST(RetractionTableTest, NoPatternIsOneRowOfZeros) {
  const SequenceRows rows = Build({});
  ASSERT_EQ(rows.size(), 1u);
  for (std::uint8_t v : rows[0]) EXPECT_EQ(v, 0);
}

// What the normalizer does with T2, as a list of retraction depths (0 = none) per symbol and
// one more for the end of the text.
std::vector<int> Drive(const SequenceRows& rows, const std::vector<int>& symbols) {
  std::vector<int> depths;
  int a = 0;
  for (int s : symbols) {
    a = rows[static_cast<std::size_t>(a)][static_cast<std::size_t>(s)];
    depths.push_back(a > 200 ? a - 200 : 0);
    if (a > 200) a = rows[0][2];
  }
  a = rows[static_cast<std::size_t>(a)][1];
  depths.push_back(a > 200 ? a - 200 : 0);
  return depths;
}

// The same by brute force: the longest pattern the symbols written since the last
// retraction end with; after a retraction only the replacement symbol 2 counts.
std::vector<int> Naive(const std::vector<RetractionPattern>& patterns,
                       const std::vector<int>& symbols) {
  std::vector<int> depths, history;
  auto ends_with = [](const std::vector<int>& h, const std::vector<int>& p) {
    return h.size() >= p.size() && std::equal(p.rbegin(), p.rend(), h.rbegin());
  };
  for (int s : symbols) {
    history.push_back(s);
    int best = -1;
    for (const RetractionPattern& p : patterns) {
      if (!p.at_end && ends_with(history, p.symbols) &&
          (best < 0 ||
           p.symbols.size() > patterns[static_cast<std::size_t>(best)].symbols.size())) {
        best = static_cast<int>(&p - patterns.data());
      }
    }
    depths.push_back(best < 0 ? 0 : RetractionDepth(patterns[static_cast<std::size_t>(best)]));
    if (best >= 0) history = {2};
  }
  int end = 0;
  for (const RetractionPattern& p : patterns) {
    if (p.at_end && ends_with(history, p.symbols)) end = std::max(end, RetractionDepth(p));
  }
  depths.push_back(end);
  return depths;
}

TEST(RetractionTableTest, AgreesWithBruteForceOnRandomPatterns) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> symbol(2, 5), length(1, 4), coin(0, 3);
  int built = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<RetractionPattern> patterns;
    for (int k = 0; k < 3; ++k) {
      RetractionPattern p;
      p.at_end = coin(rng) == 0;
      const int n = length(rng) + (p.at_end ? 0 : 1);
      for (int i = 0; i < n; ++i) p.symbols.push_back(symbol(rng));
      p.line = k + 1;
      patterns.push_back(p);
    }
    auto result = BuildRetractionTable(patterns);
    if (!std::holds_alternative<SequenceRows>(result)) continue;  // equal or dead patterns
    ++built;
    const SequenceRows& rows = std::get<SequenceRows>(result);
    for (int text = 0; text < 30; ++text) {
      std::vector<int> symbols(static_cast<std::size_t>(length(rng) * 3));
      for (int& s : symbols) s = symbol(rng);
      ASSERT_EQ(Drive(rows, symbols), Naive(patterns, symbols));
    }
  }
  EXPECT_GT(built, 100);
}

TEST(RetractionTableTest, RefusesEqualAndDeadPatterns) {
  struct Case {
    std::vector<RetractionPattern> patterns;
    RetractionProblem problem;
  } cases[] = {
      {{{{3, 4}, false, 7}, {{3, 4}, false, 9}}, {9, "Die Rücknahme steht schon in Zeile 7."}},
      {{{{3, 4}, false, 7}, {{5, 3, 4, 6}, false, 9}},
       {9, "Die Rücknahme greift nie, weil die Rücknahme aus Zeile 7 vorher greift."}},
  };
  for (const Case& c : cases) {
    auto result = BuildRetractionTable(c.patterns);
    ASSERT_TRUE(std::holds_alternative<RetractionProblem>(result));
    EXPECT_EQ(std::get<RetractionProblem>(result).line, c.problem.line);
    EXPECT_EQ(std::get<RetractionProblem>(result).text, c.problem.text);
  }
}

}  // namespace
}  // namespace vld::tables
