#include "matching/compare.h"

// The counting operator new at the end of this file hands out malloc'ed memory.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <numeric>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/runtime/heap.h"
#include "matching/match_derive.h"
#include "platform/test_support.h"

namespace vld {

void PrintTo(const TTokenCounts& c, std::ostream* os) { *os << "(" << c.a << ", " << c.b << ")"; }

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::FatalTextOf;

// Allocations through operator new while gCounting is set (see the replacement at the end).
std::atomic<bool> gCounting{false};
std::atomic<int> gAllocations{0};

// Match records for the tests, written by hand in the match key format of key building:
//
//   bytes 0..3   stand-in for the input record and its class key (never read by the comparison)
//   bytes 4..    one u16 per component of the component list, little-endian: the distance from
//                the record's first byte to the component's count byte
//   then the match key, the components in list order:
//     empty        0
//     Normal       n (the number of tokens), then per token: with "Vornamen benutzen" its
//                  identifier in 3 bytes (little-endian), then the token as a short string
//                  (length byte, characters); an abbreviation keeps its trailing "." (H. is the
//                  two characters 'H' and '.')
//     Text         1, then the value as a short string (Postfach the same)
//     Hausnummer   1, 6, then from, to and the digit set of `from` (u16 each, little-endian)
// The record ends with its match key, as key building sends it on (its used length).
constexpr int kHeader = 4;

class Key {
 public:
  explicit Key(int components) : components_(components) {
    bytes_.assign(static_cast<std::size_t>(kHeader + 2 * components), 0xEE);
  }
  Key& Empty() {
    Begin();
    bytes_.push_back(0);
    return *this;
  }
  Key& Tokens(std::vector<std::string> tokens) {
    Begin();
    bytes_.push_back(static_cast<std::uint8_t>(tokens.size()));
    for (const std::string& t : tokens) ShortString(t);
    return *this;
  }
  // A Normal component with "Vornamen benutzen": (identifier, token) pairs.
  Key& Names(std::vector<std::pair<std::uint32_t, std::string>> tokens) {
    Begin();
    bytes_.push_back(static_cast<std::uint8_t>(tokens.size()));
    for (const auto& [id, t] : tokens) {
      for (int i = 0; i < 3; ++i) bytes_.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
      ShortString(t);
    }
    return *this;
  }
  Key& Text(const std::string& value) {
    Begin();
    bytes_.push_back(1);
    ShortString(value);
    return *this;
  }
  Key& House(int from, int to) {
    Begin();
    int digits = 0;
    for (int n = from; n > 0; n /= 10) digits |= 1 << (n % 10);
    bytes_.insert(bytes_.end(), {1, 6});
    for (int v : {from, to, digits}) {
      bytes_.push_back(static_cast<std::uint8_t>(v));
      bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return *this;
  }
  // A component written byte by byte (damaged keys).
  Key& Raw(std::vector<int> bytes) {
    Begin();
    for (int b : bytes) bytes_.push_back(static_cast<std::uint8_t>(b));
    return *this;
  }
  Bytes Done() const {
    EXPECT_EQ(written_, components_) << "every component of the list needs a value";
    return bytes_;
  }

 private:
  void Begin() {
    const std::size_t at = static_cast<std::size_t>(kHeader + 2 * written_);
    bytes_[at] = static_cast<std::uint8_t>(bytes_.size());
    bytes_[at + 1] = static_cast<std::uint8_t>(bytes_.size() >> 8);
    ++written_;
  }
  void ShortString(const std::string& s) {
    bytes_.push_back(static_cast<std::uint8_t>(s.size()));
    bytes_.insert(bytes_.end(), s.begin(), s.end());
  }

  int components_;
  int written_ = 0;
  Bytes bytes_;
};

// Identifier map of the tests: identifier -> group, and pairs of related identifiers.
class FakeIdentifierMap : public TIdentifierMap {
 public:
  std::int32_t Group(std::uint32_t id) const override {
    const auto it = groups.find(id);
    return it == groups.end() ? 0 : it->second;
  }
  bool Related(std::uint32_t a, std::uint32_t b) const override {
    return related.count({a, b}) != 0 || related.count({b, a}) != 0;
  }
  std::map<std::uint32_t, std::int32_t> groups;
  std::set<std::pair<std::uint32_t, std::uint32_t>> related;
};

TComponentEntry NormalC(int base, int relative = 0, int absolute = 0) {
  TComponentEntry c;
  c.kind = ComponentKind::kNormal;
  c.base = static_cast<std::uint16_t>(base);
  c.relative = static_cast<std::uint16_t>(relative);
  c.absolute = static_cast<std::uint16_t>(absolute);
  c.upperLimit = 0;  // unbounded
  c.wordHurdle = 1;
  return c;
}
TComponentEntry TextC(int points, ComponentKind kind = ComponentKind::kText) {
  TComponentEntry c;
  c.kind = kind;
  c.base = static_cast<std::uint16_t>(points);
  return c;
}
TComponentEntry HouseC(int delta, int schwach, int stark, int quer) {
  TComponentEntry c;
  c.kind = ComponentKind::kHausnummer;
  c.wordHurdle = static_cast<std::uint16_t>(delta);
  c.base = static_cast<std::uint16_t>(schwach);
  c.relative = static_cast<std::uint16_t>(stark);
  c.absolute = static_cast<std::uint16_t>(quer);
  return c;
}
TComponentEntry WithBonus(TComponentEntry c, int priority, int bonus0, int bonus1, int bonus2 = 0) {
  c.bonusPriority = static_cast<std::int16_t>(priority);
  c.bonus0 = static_cast<std::uint16_t>(bonus0);
  c.bonus1 = static_cast<std::uint16_t>(bonus1);
  c.bonus2 = static_cast<std::uint16_t>(bonus2);
  return c;
}
TComponentEntry Replicating(TComponentEntry c) {
  c.replicate = true;
  return c;
}

struct Outcome {
  int verdict = -99;
  int score = -99;
  bool operator==(const Outcome&) const = default;
};
void PrintTo(const Outcome& o, std::ostream* os) {
  *os << "verdict " << o.verdict << ", score " << o.score;
}

struct Options {
  int threshold = 100;
  int firstError = 4;
  int furtherError = 3;
  int minimumPoints = 0;
  bool optimise = false;
};

// The record as a buffer of exactly its size, so that the sanitizer build sees every read
// beyond it.
class ExactBuffer {
 public:
  explicit ExactBuffer(const Bytes& b, std::size_t size)
      : data_(new std::uint8_t[std::max<std::size_t>(size, 1)]), size_(size) {
    std::copy_n(b.begin(), size, data_.get());
  }
  explicit ExactBuffer(const Bytes& b) : ExactBuffer(b, b.size()) {}
  std::span<const std::uint8_t> Span() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_;
};

class CompareTest : public ::testing::Test {
 protected:
  CompareTest() { std::iota(table_.begin(), table_.end(), 0); }
  ~CompareTest() override { Release(); }

  void Release() {
    Free(compare_);
    Free(set_);
    compare_ = nullptr;
    set_ = nullptr;
  }

  // A set with one Normal slot per component (a Normal slot takes one component of any kind),
  // checked as the task driver would: component list, component values, ceiling and order.
  void Configure(std::vector<TComponentEntry> components, Options o = {}) {
    Release();
    set_ = CreateIn<TParameterCheck>(StandardHeap());
    std::vector<TSlotEntry> slots;
    const std::vector<TFieldEntry> fields = {{1, 10}};
    for (const TComponentEntry& c : components) {
      TSlotEntry slot;
      slot.kind = SlotKind::kNormal;
      slot.fields = set_->AddVector<TFieldEntry>(fields);
      slot.components = set_->AddVector<TComponentEntry>(std::vector<TComponentEntry>{c});
      slots.push_back(slot);
    }
    TParameterFields& f = set_->Fields();
    f.vectors[4] = set_->AddVector<TSlotEntry>(slots);
    f.threshold = static_cast<std::uint16_t>(o.threshold);
    f.firstCharError = static_cast<std::uint16_t>(o.firstError);
    f.furtherCharError = static_cast<std::uint16_t>(o.furtherError);
    f.minimumPoints = static_cast<std::uint8_t>(o.minimumPoints);
    f.compareOptimisation = o.optimise;
    ASSERT_TRUE(BuildComponentList(*set_));
    DeriveComponents(*set_);
    compare_ = CreateIn<TCompare>(StandardHeap());
    compare_->Init(*set_, map_, table_);
    components_ = static_cast<int>(components.size());
    layout_.componentOffsetsPosition = static_cast<std::uint16_t>(kHeader + 1);
    layout_.matchKeyPosition = static_cast<std::uint16_t>(kHeader + 1 + 2 * components_);
    layout_.matchKeyLength = 2000;
  }

  Key NewKey() const { return Key(components_); }

  Outcome Compare(const Bytes& a, const Bytes& b) {
    const ExactBuffer ea(a), eb(b);
    Outcome o;
    o.verdict = compare_->Similar(layout_, layout_, o.score, eb.Span(), ea.Span());
    return o;
  }
  TTokenCounts Tokens(int component, const Bytes& a, const Bytes& b) {
    const ExactBuffer ea(a), eb(b);
    return compare_->MatchTokens(component, layout_, layout_, eb.Span(), ea.Span());
  }

  std::array<std::uint8_t, 256> table_{};
  FakeIdentifierMap map_;
  TParameterCheck* set_ = nullptr;
  TCompare* compare_ = nullptr;
  TFileLayout layout_;
  int components_ = 0;
};

// The verdict of the mirrored pair (A and B swapped).
int Mirrored(int verdict) {
  static const std::map<int, int> kMirror = {{0, 0}, {5, 5}, {2, 8},  {8, 2},  {3, 9}, {9, 3},
                                             {6, 6}, {1, 1}, {4, 10}, {10, 4}, {7, 7}};
  const auto it = kMirror.find(verdict);
  return it == kMirror.end() ? -1 : it->second;
}

// ---- Points and verdicts --------------------------------------------------------------------

TEST_F(CompareTest, EmptyComponentsAddBonusAndMoveTheBalance) {
  struct Case {
    int priority;
    bool aHas, bHas;
    Outcome expected;
  };
  // "Bonus 0" 7 when both are empty, "Bonus 1" 3 when one side is; the bonus mask of priority 3
  // moves the balance towards the side that has the value.
  const Case cases[] = {
      {0, false, false, {5, 107}}, {0, true, false, {5, 103}}, {0, false, true, {5, 103}},
      {3, false, false, {5, 107}}, {3, true, false, {8, 103}}, {3, false, true, {2, 103}},
      {3, true, true, {5, 150}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "priority " << c.priority << " A " << c.aHas << " B " << c.bHas);
    Configure({TextC(100), WithBonus(NormalC(50), c.priority, 7, 3)});
    auto side = [&](bool has) {
      Key k = NewKey();
      k.Text("BERLIN");
      return (has ? k.Tokens({"MEIER"}) : k.Empty()).Done();
    };
    EXPECT_EQ(Compare(side(c.aHas), side(c.bHas)), c.expected);
  }
}

TEST_F(CompareTest, BonusBalanceWeighsThePriorityMasks) {
  // Masks: priority 1 = 16384, 2 = 8192, 3 = 4096.
  Configure({TextC(100), WithBonus(NormalC(10), 1, 0, 0), WithBonus(NormalC(10), 2, 0, 0),
             WithBonus(NormalC(10), 3, 0, 0)});
  auto key = [&](bool p1, bool p2, bool p3, const std::string& token) {
    Key k = NewKey();
    k.Text("BERLIN");
    for (bool has : {p1, p2, p3}) has ? k.Tokens({token}) : k.Empty();
    return k.Done();
  };
  // A's priority 1 outweighs B's priorities 2 and 3 together.
  EXPECT_EQ(Compare(key(true, false, false, "X"), key(false, true, true, "X")), (Outcome{8, 100}));
  EXPECT_EQ(Compare(key(false, true, true, "X"), key(true, false, false, "X")), (Outcome{2, 100}));
  // Both sides hold values: no balance, whether the values agree or not.
  EXPECT_EQ(Compare(key(true, true, false, "X"), key(true, true, false, "X")), (Outcome{5, 120}));
  EXPECT_EQ(Compare(key(false, true, false, "MEIER"), key(false, true, false, "SCHULZ")),
            (Outcome{5, 100}));
}

TEST_F(CompareTest, HouseNumbersScoreSchwachQuerOrStark) {
  struct Case {
    int fromA, toA, fromB, toB;
    int points;  // 0: not similar
  };
  // "Delta" 5, "Schwach" 10, "Stark" 20, "Quer" 5.
  const Case cases[] = {
      {12, 12, 14, 14, 10},  // apart, same parity
      {12, 12, 21, 21, 5},   // far apart, equal digit sets
      {21, 21, 12, 12, 5},   // the same the other way round
      {12, 12, 13, 13, 10},  // within "Delta", other parity
      {12, 12, 12, 12, 20},  // the same number
      {12, 14, 14, 14, 20},  // overlapping ranges, "from" of equal parity
      {12, 16, 13, 13, 10},  // overlapping ranges, "from" of different parity
      {12, 12, 17, 17, 10},  // exactly "Delta" apart: not far
      {12, 12, 18, 18, 0},   // far apart, digit sets {1,2} and {1,8}
      {12, 12, 31, 31, 0},   // far apart, digit sets {1,2} and {1,3}
  };
  Configure({HouseC(5, 10, 20, 5)}, {.threshold = 1});
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.fromA << ".." << c.toA << " / " << c.fromB << ".." << c.toB);
    const Outcome expected = c.points == 0 ? Outcome{0, -1} : Outcome{5, c.points};
    EXPECT_EQ(Compare(NewKey().House(c.fromA, c.toA).Done(), NewKey().House(c.fromB, c.toB).Done()),
              expected);
  }
}

TEST_F(CompareTest, TextAndPostfachCompareTheirBytesExactly) {
  Configure({TextC(30), TextC(70, ComponentKind::kPostfach)}, {.threshold = 1});
  auto key = [&](const std::string& text, const std::string& box) {
    return NewKey().Text(text).Text(box).Done();
  };
  EXPECT_EQ(Compare(key("10115", "4711"), key("10115", "4711")), (Outcome{5, 100}));
  EXPECT_EQ(Compare(key("10115", "4711"), key("10115", "47110")), (Outcome{5, 30}));
  EXPECT_EQ(Compare(key("10115", "4711"), key("10117", "4711")), (Outcome{5, 70}));
  EXPECT_EQ(Compare(key("", "4711"), key("", "4711")), (Outcome{5, 100}));
}

TEST_F(CompareTest, NormalPointsFollowTheMatchedTokens) {
  struct Case {
    std::vector<std::string> a, b;
    int upperLimit;
    int points;  // 0: not similar
  };
  // "Basis" 10, "Relativ" 100, "Absolut" 7.
  const Case cases[] = {
      // mA = mB = 1: 7 * 1 + max(100 * 1 / 3, 100 * 1 / 2) + 10
      {{"MEIER", "HANS", "PETER"}, {"MEIER", "FRITZ"}, 0, 67},
      {{"MEIER", "HANS", "PETER"}, {"MEIER", "FRITZ"}, 60, 60},
      // Both tokens found in the other order: 7 * 2 + 100 + 10
      {{"MEIER", "HANS"}, {"HANS", "MEIER"}, 0, 124},
      {{"FRITZ"}, {"MEIER"}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.a.front() << " / " << c.b.front() << " limit " << c.upperLimit);
    TComponentEntry normal = NormalC(10, 100, 7);
    normal.upperLimit = static_cast<std::uint16_t>(c.upperLimit);
    Configure({normal}, {.threshold = 1});
    const Outcome expected = c.points == 0 ? Outcome{0, -1} : Outcome{5, c.points};
    EXPECT_EQ(Compare(NewKey().Tokens(c.a).Done(), NewKey().Tokens(c.b).Done()), expected);
  }
}

TEST_F(CompareTest, VerdictCodesFollowBonusReplicationAndMinimumPoints) {
  // Components: the city (Text, 60), the last name (Normal, 40), a contact first name with
  // bonus priority 1 ("Bonus 1" 10, minimum points 40 through "Mindestpunkte" 3) and two
  // replicating components without points when one side is empty.
  Configure({TextC(60), NormalC(40), WithBonus(NormalC(40), 1, 0, 10, 40), Replicating(NormalC(10)),
             Replicating(NormalC(10))},
            {.threshold = 100, .minimumPoints = 3});
  struct Side {
    std::string city, name, contact;
    bool r1, r2;
  };
  auto key = [&](const Side& s) {
    Key k = NewKey();
    k.Text(s.city);
    s.name.empty() ? k.Empty() : k.Tokens({s.name});
    s.contact.empty() ? k.Empty() : k.Tokens({s.contact});
    s.r1 ? k.Tokens({"R"}) : k.Empty();
    s.r2 ? k.Tokens({"R"}) : k.Empty();
    return k.Done();
  };
  struct Case {
    const char* what;
    Side a, b;
    Outcome expected;
  };
  const Case cases[] = {
      {"different city", {"BONN", "MEIER", "", 0, 0}, {"KOELN", "MEIER", "", 0, 0}, {0, -1}},
      {"similar", {"BONN", "MEIER", "", 0, 0}, {"BONN", "MEIER", "", 0, 0}, {5, 100}},
      {"A has the bonus", {"BONN", "MEIER", "HANS", 0, 0}, {"BONN", "MEIER", "", 0, 0}, {8, 110}},
      {"B has the bonus", {"BONN", "MEIER", "", 0, 0}, {"BONN", "MEIER", "HANS", 0, 0}, {2, 110}},
      {"only B replicates", {"BONN", "MEIER", "", 0, 0}, {"BONN", "MEIER", "", 1, 0}, {3, 100}},
      {"only A replicates", {"BONN", "MEIER", "", 1, 0}, {"BONN", "MEIER", "", 0, 0}, {9, 100}},
      {"both replicate", {"BONN", "MEIER", "", 1, 0}, {"BONN", "MEIER", "", 0, 1}, {6, 100}},
      // The last names differ; the contacts differ too, but their minimum points lift the
      // total (60 + 0 + 40) to the threshold while the points without them stay at 60.
      {"minimum points",
       {"BONN", "MEIER", "HANS", 0, 0},
       {"BONN", "SCHULZ", "KARL", 0, 0},
       {1, 100}},
      {"minimum points, B replicates",
       {"BONN", "MEIER", "HANS", 0, 0},
       {"BONN", "SCHULZ", "KARL", 1, 0},
       {4, 100}},
      {"minimum points, A replicates",
       {"BONN", "MEIER", "HANS", 1, 0},
       {"BONN", "SCHULZ", "KARL", 0, 0},
       {10, 100}},
      {"minimum points, both replicate",
       {"BONN", "MEIER", "HANS", 1, 0},
       {"BONN", "SCHULZ", "KARL", 0, 1},
       {7, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Compare(key(c.a), key(c.b)), c.expected);
    EXPECT_EQ(Compare(key(c.b), key(c.a)),
              (Outcome{Mirrored(c.expected.verdict), c.expected.score}));
  }
}

TEST_F(CompareTest, ThresholdAboveTheScoreCeilingEndsAfterTheFirstComponent) {
  // Two components of 40 points: the ceiling is 80, the threshold 100. The second component of
  // B is damaged (31 tokens); it is never read because the first component already ends the
  // comparison.
  Configure({NormalC(40), NormalC(40)}, {.threshold = 100, .optimise = true});
  ASSERT_EQ(set_->Fields().scoreCeiling, 80);
  const Bytes a = NewKey().Tokens({"MEIER"}).Tokens({"HANS"}).Done();
  const Bytes b = NewKey().Tokens({"MEIER"}).Raw({31}).Done();
  EXPECT_EQ(FatalTextOf([&] { EXPECT_EQ(Compare(a, b), (Outcome{0, -1})); }), "");
  // With a threshold the two components can reach, the second one is read.
  Configure({NormalC(40), NormalC(40)}, {.threshold = 80, .optimise = true});
  EXPECT_EQ(FatalTextOf([&] { Compare(a, b); }), "TCompare.Similar Normal B");
}

TEST_F(CompareTest, HopelessPairsStopInComparisonOrder) {
  // The ceiling is 100 + 10; a failing first component in comparison order (the 100 points)
  // ends at once, so the damaged second component does not matter.
  Configure({NormalC(10), NormalC(100)}, {.threshold = 100, .optimise = true});
  const Bytes a = NewKey().Raw({31}).Tokens({"MEIER"}).Done();
  const Bytes b = NewKey().Tokens({"X"}).Tokens({"SCHULZ"}).Done();
  EXPECT_EQ(FatalTextOf([&] { EXPECT_EQ(Compare(a, b), (Outcome{0, -1})); }), "");
  // In list order (no optimisation) the damaged component comes first.
  Configure({NormalC(10), NormalC(100)}, {.threshold = 100});
  EXPECT_EQ(FatalTextOf([&] { Compare(a, b); }), "TCompare.Similar Normal A");
}

// ---- Token comparison -----------------------------------------------------------------------

TEST_F(CompareTest, SpellingVariantsWithinTheErrorBudget) {
  struct Case {
    std::string a, b;
    int firstError, furtherError;
    TTokenCounts expected;
  };
  const Case cases[] = {
      {"MEIER", "MAIER", 4, 3, {1, 1}},      // one substitution costs 4 of 5
      {"MEIER", "MAIER", 5, 3, {1, 1}},      //
      {"MEIER", "MAIER", 6, 3, {0, 0}},      // 5 < 6
      {"MEIER", "MEIRE", 4, 3, {1, 1}},      // transposition
      {"MEIER", "MEIIER", 4, 3, {1, 1}},     // an extra character in B
      {"MEIIER", "MEIER", 4, 3, {1, 1}},     // an extra character in A
      {"SCHMIDT", "SCHNIDD", 4, 3, {1, 1}},  // two errors: 7 - 4 - 3 = 0
      {"SCHMIDT", "SCHNIDD", 4, 4, {0, 0}},  // 7 - 4 < 4
      {"MEIER", "MAIRR", 4, 3, {0, 0}},      // the second error finds only 1 left
      {"AB", "AC", 4, 3, {0, 0}},            // too short for any error
      {"SCHMIDT", "SCHMID", 4, 3, {1, 1}},   // the last character missing in B
      {"SCHMID", "SCHMIDT", 4, 3, {1, 1}},   // the last character missing in A
      {"MEIER", "MEIER", 255, 255, {1, 1}},  // no error needed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " / " + c.b + " e " + std::to_string(c.firstError) + "/" +
                 std::to_string(c.furtherError));
    Configure({NormalC(10)},
              {.threshold = 1, .firstError = c.firstError, .furtherError = c.furtherError});
    EXPECT_EQ(Tokens(0, NewKey().Tokens({c.a}).Done(), NewKey().Tokens({c.b}).Done()), c.expected);
  }
}

TEST_F(CompareTest, AbbreviationMatchesTheWholeWord) {
  Configure({NormalC(10)}, {.threshold = 1});
  struct Case {
    std::vector<std::string> a, b;
    TTokenCounts expected;
  };
  const Case cases[] = {
      {{"H."}, {"HANS"}, {1, 1}},
      {{"HANS"}, {"H."}, {1, 1}},
      {{"H.", "MEIER"}, {"HANS", "MEIER"}, {2, 2}},
      {{"MEIER", "H."}, {"HANS", "MEIER"}, {2, 2}},
      {{"H."}, {"PETER"}, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a.front() + " / " + c.b.front());
    EXPECT_EQ(Tokens(0, NewKey().Tokens(c.a).Done(), NewKey().Tokens(c.b).Done()), c.expected);
  }
}

TEST_F(CompareTest, PrefixCountsAWordThatBeginsTheOther) {
  TComponentEntry prefix = NormalC(10, 20);
  prefix.prefix = true;
  Configure({prefix}, {.threshold = 1});
  const Bytes hans = NewKey().Tokens({"HANS"}).Done();
  const Bytes hanspeter = NewKey().Tokens({"HANSPETER"}).Done();
  EXPECT_EQ(Tokens(0, hans, hanspeter), (TTokenCounts{1, 0}));
  EXPECT_EQ(Tokens(0, hanspeter, hans), (TTokenCounts{0, 1}));
  EXPECT_EQ(Compare(hans, hanspeter), (Outcome{5, 30}));

  Configure({NormalC(10, 20)}, {.threshold = 1});
  EXPECT_EQ(Tokens(0, hans, hanspeter), (TTokenCounts{0, 0}));
  EXPECT_EQ(Compare(hans, hanspeter), (Outcome{0, -1}));
}

TEST_F(CompareTest, TokensRunAcrossBoundariesAsOneText) {
  Configure({NormalC(10)}, {.threshold = 1, .firstError = 255, .furtherError = 255});
  EXPECT_EQ(
      Tokens(0, NewKey().Tokens({"HANS", "PETER"}).Done(), NewKey().Tokens({"HANSPETER"}).Done()),
      (TTokenCounts{2, 1}));
  EXPECT_EQ(
      Tokens(0, NewKey().Tokens({"HANSPETER"}).Done(), NewKey().Tokens({"HANS", "PETER"}).Done()),
      (TTokenCounts{1, 2}));
}

TEST_F(CompareTest, CrossingReadsTheFirstCharacterThroughTheBoundaryTable) {
  // Without errors allowed, HANS BETER meets HANSPETER only when the boundary table maps the
  // B that begins the second token to P.
  const Bytes a = Key(1).Tokens({"HANS", "BETER"}).Done();
  const Bytes b = Key(1).Tokens({"HANSPETER"}).Done();
  Configure({NormalC(10)}, {.threshold = 1, .firstError = 255, .furtherError = 255});
  EXPECT_EQ(Tokens(0, a, b), (TTokenCounts{0, 0}));
  table_['B'] = 'P';
  Configure({NormalC(10)}, {.threshold = 1, .firstError = 255, .furtherError = 255});
  EXPECT_EQ(Tokens(0, a, b), (TTokenCounts{2, 1}));
}

TEST_F(CompareTest, FirstNameIdentifiersDecideBeforeTheCharacters) {
  map_.groups = {{1, 10}, {2, 10}, {3, 11}, {4, 12}};
  map_.related = {{1, 4}};
  TComponentEntry names = NormalC(10);
  names.useFirstNames = true;
  Configure({names}, {.threshold = 1});
  struct Case {
    const char* what;
    std::vector<std::pair<std::uint32_t, std::string>> a, b;
    TTokenCounts expected;
  };
  const Case cases[] = {
      {"one group, no character compared", {{1, "HANS"}}, {{2, "JOHANNES"}}, {1, 1}},
      {"other groups, not related", {{1, "HANS"}}, {{3, "HANS"}}, {0, 0}},
      // Related identifiers: the walk must cross two boundaries before the tokens count, so a
      // walk that fails after the first boundary matches nothing.
      {"related, both boundaries",
       {{1, "HANS"}, {0, "PETER"}},
       {{4, "HANS"}, {0, "PETER"}},
       {2, 2}},
      {"related, one boundary", {{1, "HANS"}, {0, "MEIER"}}, {{4, "HANS"}, {0, "SCHULZ"}}, {0, 0}},
      {"without identifier on one side",
       {{1, "HANS"}, {0, "MEIER"}},
       {{0, "HANS"}, {0, "SCHULZ"}},
       {1, 1}},
      // Identifiers the map does not know say nothing; the characters decide.
      {"unknown identifiers", {{98, "MEIER"}}, {{99, "MAIER"}}, {1, 1}},
      {"unknown identifiers, other word", {{98, "MEIER"}}, {{99, "SCHULZ"}}, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Tokens(0, NewKey().Names(c.a).Done(), NewKey().Names(c.b).Done()), c.expected);
    EXPECT_EQ(Tokens(0, NewKey().Names(c.b).Done(), NewKey().Names(c.a).Done()),
              (TTokenCounts{c.expected.b, c.expected.a}));
  }
}

TEST_F(CompareTest, ComparisonAllocatesNothing) {
  Configure({NormalC(40, 20), HouseC(5, 10, 20, 5)}, {.threshold = 50});
  const ExactBuffer a(NewKey().Tokens({"HAUPT", "STR"}).House(12, 12).Done());
  const ExactBuffer b(NewKey().Tokens({"HAUPT", "STRASSE"}).House(12, 14).Done());
  std::int32_t score = 0;
  const std::int64_t heapBytes = StandardHeap().FreeBytes();
  gAllocations = 0;
  gCounting = true;
  int verdict = 0;
  for (int i = 0; i < 10; ++i)
    verdict = compare_->Similar(layout_, layout_, score, b.Span(), a.Span());
  gCounting = false;
  EXPECT_EQ(verdict, 5);
  EXPECT_EQ(gAllocations, 0);
  EXPECT_EQ(StandardHeap().FreeBytes(), heapBytes);
}

// ---- Mirrored comparisons -------------------------------------------------------------------

// The key of a record as readable text for failure messages, by the kinds of its components:
// 'N' Normal, 'I' Normal with identifiers (written "#id:"), 'T' Text, 'H' Hausnummer.
std::string Describe(const Bytes& record, std::string_view kinds) {
  std::string out;
  for (std::size_t j = 0; j < kinds.size(); ++j) {
    std::size_t p = record[kHeader + 2 * j] | (record[kHeader + 2 * j + 1] << 8);
    if (j > 0) out += " | ";
    const int n = record[p++];
    if (n == 0) continue;
    if (kinds[j] == 'H') {
      out += std::to_string(record[p + 1] | (record[p + 2] << 8)) + ".." +
             std::to_string(record[p + 3] | (record[p + 4] << 8));
      continue;
    }
    for (int k = 0; k < n; ++k) {
      if (kinds[j] == 'I') {
        out += "#" + std::to_string(record[p] | (record[p + 1] << 8) | (record[p + 2] << 16)) + ":";
        p += 3;
      }
      const int length = record[p++];
      out.append(reinterpret_cast<const char*>(&record[p]), static_cast<std::size_t>(length));
      p += static_cast<std::size_t>(length);
      if (k + 1 < n) out += " ";
    }
  }
  return out;
}

// Random keys of German names and streets with typical spelling errors.
class RandomKeys {
 public:
  explicit RandomKeys(std::uint32_t seed) : rng_(seed) {}

  std::string Word() {
    static const char* const kWords[] = {
        "MEIER",   "MAIER",     "SCHMIDT", "SCHMID",    "MUELLER", "MULLER", "HANS",
        "PETER",   "HANSPETER", "KARL",    "KARLHEINZ", "HEINZ",   "HAUPT",  "BAHNHOF",
        "STRASSE", "STR",       "WEG",     "AM",        "SCHULZ",  "BERG",   "BERGER"};
    std::string w = kWords[Pick(std::size(kWords))];
    switch (Pick(10)) {
      case 0:  // substitution
        w[Pick(w.size())] = Letter();
        break;
      case 1:  // deletion
        if (w.size() > 2) w.erase(Pick(w.size()), 1);
        break;
      case 2:  // insertion
        w.insert(w.begin() + static_cast<std::ptrdiff_t>(Pick(w.size() + 1)), Letter());
        break;
      case 3: {  // transposition
        const std::size_t i = Pick(w.size() - 1);
        std::swap(w[i], w[i + 1]);
        break;
      }
      case 4:  // abbreviation
        w = w.substr(0, 1 + Pick(2)) + ".";
        break;
      default:
        break;
    }
    return w;
  }
  std::vector<std::string> Words() {
    std::vector<std::string> words(Pick(7));
    for (std::string& w : words) w = Word();
    return words;
  }
  std::vector<std::pair<std::uint32_t, std::string>> Names() {
    static const std::pair<std::uint32_t, const char*> kNames[] = {
        {1, "HANS"}, {2, "JOHANNES"},  {3, "PETER"}, {4, "HANSPETER"},
        {5, "KARL"}, {6, "KARLHEINZ"}, {0, "MEIER"}, {77, "HANS"}};
    std::vector<std::pair<std::uint32_t, std::string>> names(Pick(3));
    for (auto& n : names) {
      const auto& [id, text] = kNames[Pick(std::size(kNames))];
      n = {id, Pick(4) == 0 ? Word() : std::string(text)};
    }
    return names;
  }
  std::size_t Pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }
  char Letter() { return "AEINRST"[Pick(7)]; }

 private:
  std::mt19937 rng_;
};

TEST_F(CompareTest, MirroredArgumentsGiveMirroredVerdictsAndEqualScores) {
  map_.groups = {{1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}};
  map_.related = {{1, 4}, {5, 6}};
  TComponentEntry names = WithBonus(NormalC(10, 20), 2, 0, 5, 15);
  names.useFirstNames = true;
  TComponentEntry prefix = Replicating(WithBonus(NormalC(10, 10), 0, 3, 0));
  prefix.prefix = true;
  TComponentEntry capped = WithBonus(NormalC(0, 0, 5), 1, 0, 8);
  capped.upperLimit = 12;
  const std::vector<TComponentEntry> components = {
      NormalC(20, 40, 2), names, prefix, HouseC(3, 5, 15, 4), Replicating(TextC(25)), capped};
  const Options settings[] = {{.threshold = 40, .minimumPoints = 3},
                              {.threshold = 70, .minimumPoints = 3, .optimise = true},
                              {.threshold = 30, .firstError = 3, .furtherError = 2}};
  RandomKeys random(20240607);
  std::map<int, int> verdicts;
  int pairs = 0;
  for (const Options& options : settings) {
    Configure(components, options);
    for (int pair = 0; pair < 300; ++pair) {
      Bytes keys[2];
      for (Bytes& key : keys) {
        Key k = NewKey();
        k.Tokens(random.Words()).Names(random.Names()).Tokens(random.Words());
        const int house = 1 + static_cast<int>(random.Pick(25));
        random.Pick(5) == 0 ? k.Empty()
                            : k.House(house, house + 2 * static_cast<int>(random.Pick(2)));
        random.Pick(4) == 0 ? k.Empty() : k.Text(random.Pick(2) ? "10115" : "10117");
        std::vector<std::string> words = random.Words();
        words.empty() ? k.Empty() : k.Tokens(words);
        key = k.Done();
      }
      SCOPED_TRACE(::testing::Message()
                   << "threshold " << options.threshold << " pair " << pair << ": A "
                   << Describe(keys[0], "NINHTN") << " / B " << Describe(keys[1], "NINHTN"));
      const Outcome ab = Compare(keys[0], keys[1]);
      const Outcome ba = Compare(keys[1], keys[0]);
      EXPECT_EQ(ba, (Outcome{Mirrored(ab.verdict), ab.score}));
      for (int component : {0, 1, 2, 5}) {
        const TTokenCounts x = Tokens(component, keys[0], keys[1]);
        const TTokenCounts y = Tokens(component, keys[1], keys[0]);
        EXPECT_EQ(y, (TTokenCounts{x.b, x.a})) << "component " << component;
      }
      ++verdicts[ab.verdict];
      ++pairs;
    }
  }
  // The keys exercise every verdict code, and both outcomes often.
  EXPECT_EQ(verdicts.size(), 11u);
  EXPECT_GT(verdicts[0], pairs / 10);
  EXPECT_GT(pairs - verdicts[0], pairs / 10);
}

// ---- Damaged keys ---------------------------------------------------------------------------

const std::set<std::string> kDamageTexts = {
    "TCompare.Similar Normal A", "TCompare.Similar Normal B",  "TCompare.Similar POBox A",
    "TCompare.Similar POBox B",  "TCompare.Similar HouseNo A", "TCompare.Similar HouseNo B"};

class DamagedKeyTest : public CompareTest {
 protected:
  void SetUp() override {
    TComponentEntry names = NormalC(10);
    names.useFirstNames = true;
    map_.groups = {{1, 1}, {2, 2}};
    Configure({NormalC(10, 10), TextC(10), HouseC(5, 10, 20, 5), names}, {.threshold = 1});
    good_ = NewKey()
                .Tokens({"MEIER", "H."})
                .Text("10115")
                .House(12, 14)
                .Names({{1, "HANS"}, {0, "PETER"}})
                .Done();
  }
  Bytes good_;
};

TEST_F(DamagedKeyTest, DamagedComponentsEndWithTheTextOfTheirKind) {
  auto with = [&](int component, std::vector<int> raw) {
    Key k = NewKey();
    component == 0 ? k.Raw(raw) : k.Tokens({"MEIER", "H."});
    component == 1 ? k.Raw(raw) : k.Text("10115");
    component == 2 ? k.Raw(raw) : k.House(12, 14);
    component == 3 ? k.Raw(raw) : k.Names({{1, "HANS"}, {0, "PETER"}});
    return k.Done();
  };
  struct Case {
    const char* what;
    Bytes damaged;
    std::string kind;
  };
  const Case cases[] = {
      {"31 tokens", with(0, {31}), "Normal"},
      {"token of length 0", with(0, {1, 0}), "Normal"},
      {"token beyond the key", with(3, {1, 0, 0, 0, 200, 'H'}), "Normal"},
      {"identifier beyond the key", with(3, {2, 1, 0, 0, 1, 'H', 2}), "Normal"},
      {"text count 2", with(1, {2, 1, 'X'}), "POBox"},
      {"text beyond the key", with(1, {1, 250, 'X'}), "POBox"},
      {"house number count 2", with(2, {2, 6, 12, 0, 12, 0, 6, 0}), "HouseNo"},
      {"house number length 5", with(2, {1, 5, 12, 0, 12, 0, 6, 0, 0}), "HouseNo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FatalTextOf([&] { Compare(c.damaged, good_); }), "TCompare.Similar " + c.kind + " A");
    EXPECT_EQ(FatalTextOf([&] { Compare(good_, c.damaged); }), "TCompare.Similar " + c.kind + " B");
  }
}

TEST_F(DamagedKeyTest, OffsetsOutsideTheKeyEndWithTheTextOfTheirKind) {
  struct Case {
    const char* what;
    int component;
    int offset;
    std::string kind;
  };
  const int keyStart = layout_.matchKeyPosition - 1;
  const Case cases[] = {
      {"before the key", 1, keyStart - 1, "POBox"},
      {"at the record's start", 2, 0, "HouseNo"},
      {"at the key's end", 0, static_cast<int>(good_.size()), "Normal"},
      {"far beyond", 3, 65535, "Normal"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes damaged = good_;
    damaged[static_cast<std::size_t>(kHeader + 2 * c.component)] =
        static_cast<std::uint8_t>(c.offset);
    damaged[static_cast<std::size_t>(kHeader + 2 * c.component + 1)] =
        static_cast<std::uint8_t>(c.offset >> 8);
    EXPECT_EQ(FatalTextOf([&] { Compare(damaged, good_); }), "TCompare.Similar " + c.kind + " A");
    EXPECT_EQ(FatalTextOf([&] { Compare(good_, damaged); }), "TCompare.Similar " + c.kind + " B");
  }
}

TEST_F(DamagedKeyTest, TheLayoutsKeyLengthBoundsTheKey) {
  // The record holds the whole key, but its layout says the key is 10 bytes shorter.
  layout_.matchKeyLength =
      static_cast<std::uint16_t>(good_.size() - (layout_.matchKeyPosition - 1) - 10);
  EXPECT_EQ(FatalTextOf([&] { Compare(good_, good_); }), "TCompare.Similar Normal A");
}

TEST_F(DamagedKeyTest, KeysCutAtEveryPositionNeverReadPastTheirEnd) {
  ASSERT_EQ(Compare(good_, good_), (Outcome{5, 60}));
  for (std::size_t cut = 0; cut < good_.size(); ++cut) {
    SCOPED_TRACE(cut);
    const ExactBuffer whole(good_);
    const ExactBuffer part(good_, cut);
    std::int32_t score = 0;
    const std::string ab =
        FatalTextOf([&] { compare_->Similar(layout_, layout_, score, whole.Span(), part.Span()); });
    const std::string ba =
        FatalTextOf([&] { compare_->Similar(layout_, layout_, score, part.Span(), whole.Span()); });
    EXPECT_TRUE(kDamageTexts.count(ab)) << ab;
    EXPECT_EQ(ab.back(), 'A');
    EXPECT_TRUE(kDamageTexts.count(ba)) << ba;
    EXPECT_EQ(ba.back(), 'B');
  }
}

TEST_F(DamagedKeyTest, FlippedBytesGiveAVerdictOrTheFatalText) {
  int fatal = 0;
  int verdicts = 0;
  for (std::size_t at = 0; at < good_.size(); ++at) {
    for (int value : {0, 1, 2, 6, 30, 31, 0x2E, 0x20, 0xFF}) {
      SCOPED_TRACE(::testing::Message() << "byte " << at << " = " << value);
      Bytes damaged = good_;
      damaged[at] = static_cast<std::uint8_t>(value);
      for (bool damagedIsA : {true, false}) {
        Outcome o;
        const std::string text = FatalTextOf(
            [&] { o = damagedIsA ? Compare(damaged, good_) : Compare(good_, damaged); });
        if (text.empty()) {
          EXPECT_NE(Mirrored(o.verdict), -1) << o.verdict;
          ++verdicts;
        } else {
          EXPECT_TRUE(kDamageTexts.count(text)) << text;
          EXPECT_EQ(text.back(), damagedIsA ? 'A' : 'B');
          ++fatal;
        }
      }
    }
  }
  EXPECT_GT(fatal, 0);
  EXPECT_GT(verdicts, 0);
}

}  // namespace
}  // namespace vld

void* operator new(std::size_t size) {
  if (vld::gCounting) ++vld::gAllocations;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
