#include "matching/rating.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/runtime/heap.h"

namespace vld {
namespace {

// Records are texts; rating fields and the reference field are positions in them.
class RatingTest : public ::testing::Test {
 protected:
  RatingTest() : set_(CreateIn<TParameterCheck>(StandardHeap())) {}
  ~RatingTest() override {
    Free(rating_);
    Free(set_);
  }
  void Fields(std::vector<TRatingFieldEntry> fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].rule == RatingRule::kSumme) {
        std::int64_t limit = 1;
        for (int d = 0; d < std::min<int>(9, fields[i].field.length); ++d) limit *= 10;
        fields[i].limit = static_cast<std::int32_t>(limit - 1);
      }
      if (fields[i].rule == RatingRule::kAuswahl && set_->Fields().selectionField < 0) {
        set_->Fields().selectionField = static_cast<std::int16_t>(i);
      }
    }
    set_->Fields().vectors[9] = set_->AddVector<TRatingFieldEntry>(fields);
    rating_ = CreateIn<TRatingSet>(StandardHeap());
    rating_->Setup(*set_);
  }
  // Rates `head` against `others` as one block; returns the head afterwards.
  std::string Rate(std::string head, std::vector<std::string> others,
                   std::vector<std::uint32_t> priorities = {}) {
    std::vector<RatedRecord> records;
    for (std::size_t i = 0; i < others.size(); ++i) {
      records.push_back({reinterpret_cast<const std::uint8_t*>(others[i].data()),
                         i < priorities.size() ? priorities[i] : 0});
    }
    changes_.assign(rating_->FieldCount(), 0);
    rating_->StartBlock();
    rating_->RateHead(reinterpret_cast<std::uint8_t*>(head.data()), 0x100, records, changes_);
    return head;
  }
  static TRatingFieldEntry Field(std::uint16_t position, std::uint16_t length, RatingRule rule) {
    TRatingFieldEntry f;
    f.field = {position, length};
    f.rule = rule;
    return f;
  }

  TParameterCheck* set_;
  TRatingSet* rating_ = nullptr;
  std::vector<std::int64_t> changes_;
};

TEST_F(RatingTest, NumericRules) {
  set_->Fields().ratingMode = 1;  // overwrite
  Fields({Field(1, 2, RatingRule::kSumme), Field(4, 3, RatingRule::kMaximum),
          Field(8, 3, RatingRule::kMinimum)});
  EXPECT_EQ(Rate("70 005 000", {"50 012 007", "   003   0"}), "99 012 007");
  EXPECT_EQ(changes_, (std::vector<std::int64_t>{1, 1, 1}));
  // Minimum ignores zero; a head without number takes the smallest.
  EXPECT_EQ(Rate("10 100 009", {"00 050 000", "00 200 004"}), "10 200 004");
}

TEST_F(RatingTest, EnrichModeOnlyFillsEmptyFields) {
  Fields({Field(1, 3, RatingRule::kMaximum)});
  EXPECT_EQ(Rate("005", {"099"}), "005");
  EXPECT_EQ(Rate("   ", {"099", "012"}), "099");
}

TEST_F(RatingTest, ListRules) {
  set_->Fields().ratingMode = 1;
  set_->Fields().concatenator = ',';
  Fields({Field(1, 8, RatingRule::kVerkettung), Field(10, 8, RatingRule::kMenge)});
  EXPECT_EQ(Rate("A,B      A,B     ", {"C        B,C     "}), "A,B,C    A,B,C   ");
  // Too long for the field: the head stays as it is.
  EXPECT_EQ(Rate("A,B      A        ", {"CCC,DDD  A        "}), "A,B      A        ");
}

TEST_F(RatingTest, SelectionByNewestDateWithCenturyWindow) {
  set_->Fields().ratingMode = 1;
  set_->Fields().selectionRule = 2;  // "neuestes Datum"
  set_->Fields().referenceField = {1, 10};
  set_->Fields().centuryWindow = 30;
  set_->Fields().creationDate = 20031115;
  Fields({Field(12, 3, RatingRule::kAuswahl)});
  EXPECT_EQ(Rate("31.12.2003 AAA", {"01.01.2004 BBB", "15.06.2004 CCC"}), "31.12.2003 CCC");
  EXPECT_EQ(Rate("1.1.80     AAA", {"1.1.05     BBB"}), "1.1.80     BBB");
  // "ältestes Datum": a record without date never wins.
  set_->Fields().selectionRule = 1;
  rating_->Setup(*set_);
  EXPECT_EQ(Rate("31.12.2003 AAA", {"          BBB", "01.01.1999 CCC"}), "31.12.2003 CCC");
}

TEST_F(RatingTest, SelectionByPriorityFirst) {
  set_->Fields().ratingMode = 1;
  set_->Fields().selectionPriority = 1;
  Fields({Field(1, 3, RatingRule::kAuswahl)});
  // The head has p = 1; a record with p = 0 is better, one with p = 2 is not.
  EXPECT_EQ(Rate("AAA", {"BBB", "CCC"}, {0x200, 0x000}), "CCC");
}

}  // namespace
}  // namespace vld
