#include "matching/match_params.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/runtime/heap.h"
#include "engine/runtime/layers.h"
#include "matching/match_derive.h"

namespace vld {
namespace {

// Accepts every value.
bool AnyRange(std::string_view, std::int64_t, std::int64_t, std::int64_t) { return true; }

class MatchParamsTest : public ::testing::Test {
 protected:
  MatchParamsTest() : set_(CreateIn<TParameterCheck>(StandardHeap())) {}
  ~MatchParamsTest() override { Free(set_); }

  TSlotEntry Slot(SlotKind kind, std::vector<TFieldEntry> fields,
                  std::vector<TComponentEntry> components) {
    TSlotEntry slot;
    slot.kind = kind;
    slot.fields = set_->AddVector<TFieldEntry>(fields);
    slot.components = set_->AddVector<TComponentEntry>(components);
    return slot;
  }
  static TComponentEntry Normal(std::uint16_t base, std::uint16_t relative,
                                std::uint16_t absolute) {
    TComponentEntry c;
    c.kind = ComponentKind::kNormal;
    c.base = base;
    c.relative = relative;
    c.absolute = absolute;
    return c;
  }
  void SetSlots(std::vector<TSlotEntry> slots) {
    set_->Fields().vectors[4] = set_->AddVector<TSlotEntry>(slots);
  }

  TParameterCheck* set_;
};

TEST_F(MatchParamsTest, SlotSizesFollowTheirFieldsAndComponents) {
  const TSlotEntry three =
      Slot(SlotKind::kNormal, {{1, 10}, {11, 10}, {21, 10}}, {Normal(1, 1, 1)});
  const SlotSize s = ComputeSlotSize(*set_, three);
  EXPECT_EQ(s.textSize, 32);
  EXPECT_EQ(s.reserve, 22);
  EXPECT_EQ(s.keyBytes, 54);
  const TSlotEntry tiny = Slot(SlotKind::kText, {{1, 1}}, {TComponentEntry{}});
  EXPECT_EQ(ComputeSlotSize(*set_, tiny).keyBytes, 6);
}

TEST_F(MatchParamsTest, FirstNameIdentifiersGetRoomInTheMatchKey) {
  TComponentEntry first = Normal(1, 1, 1);
  first.useFirstNames = true;
  // Twenty one-letter names fill 39 characters: 20 tokens of 1 + 3 + 1 bytes each.
  const TSlotEntry names = Slot(SlotKind::kNormal, {{1, 39}}, {first});
  const SlotSize s = ComputeSlotSize(*set_, names);
  EXPECT_GE(s.keyBytes, 1 + 20 * (3 + 1 + 1));
}

TEST_F(MatchParamsTest, ComponentValuesAreDerived) {
  TComponentEntry unbounded = Normal(10, 20, 3);
  unbounded.upperLimit = 0;
  unbounded.bonusPriority = 15;
  TComponentEntry top = unbounded;
  top.bonusPriority = 1;
  TComponentEntry notHashed = Normal(1, 0, 0);
  notHashed.tokenHurdle = 256;
  TComponentEntry hashed = Normal(1, 0, 0);
  hashed.tokenHurdle = 0;
  TComponentEntry house;
  house.kind = ComponentKind::kHausnummer;
  house.base = 30;
  house.relative = 50;
  house.absolute = 40;
  SetSlots(
      {Slot(SlotKind::kNormal, {{1, 5}}, {unbounded}), Slot(SlotKind::kNormal, {{1, 5}}, {top}),
       Slot(SlotKind::kNormal, {{1, 5}}, {notHashed}), Slot(SlotKind::kNormal, {{1, 5}}, {hashed}),
       Slot(SlotKind::kStrasse, {{1, 5}}, {house})});
  set_->Fields().tokenHurdle = 7;
  ASSERT_TRUE(BuildComponentList(*set_));
  DeriveComponents(*set_);
  EXPECT_EQ(set_->Component(0).upperLimit, 65535);
  EXPECT_EQ(set_->Component(0).maxScore, 10 + 20 + 90);
  EXPECT_EQ(set_->Component(0).bonusMask, 1);
  EXPECT_EQ(set_->Component(1).bonusMask, 16384);
  EXPECT_EQ(set_->Component(2).tokenHurdle, 256);
  EXPECT_EQ(set_->Component(3).tokenHurdle, 7);
  EXPECT_EQ(set_->Component(4).maxScore, 50);
  EXPECT_TRUE(set_->Fields().bonusLogic);
  // Without the comparison optimisation: no ceiling, no reordering.
  EXPECT_EQ(set_->Fields().scoreCeiling, 2147483647);
  const auto order = set_->ComparisonOrder();
  EXPECT_EQ(std::vector<std::uint16_t>(order.begin(), order.end()),
            (std::vector<std::uint16_t>{1, 2, 3, 4, 5}));
}

TEST_F(MatchParamsTest, ComparisonOptimisationOrdersByDecreasingMaximum) {
  SetSlots({Slot(SlotKind::kNormal, {{1, 5}}, {Normal(10, 0, 0)}),
            Slot(SlotKind::kNormal, {{1, 5}}, {Normal(30, 0, 0)}),
            Slot(SlotKind::kNormal, {{1, 5}}, {Normal(20, 0, 0)}),
            Slot(SlotKind::kNormal, {{1, 5}}, {Normal(30, 0, 0)})});
  set_->Fields().compareOptimisation = true;
  ASSERT_TRUE(BuildComponentList(*set_));
  DeriveComponents(*set_);
  EXPECT_EQ(set_->Fields().scoreCeiling, 90);
  const auto order = set_->ComparisonOrder();
  std::vector<int> scores;
  for (std::uint16_t i : order) scores.push_back(set_->Component(i - 1).maxScore);
  EXPECT_EQ(scores, (std::vector<int>{30, 30, 20, 10}));
}

TEST_F(MatchParamsTest, RecordLayoutsFollowEachOther) {
  TParameterFields& f = set_->Fields();
  f.recordLength = 100;
  f.crlf = true;
  f.truncate = -2;
  DeriveRecordLengths(f);
  EXPECT_EQ(f.effectiveRecordLength, 98);
  EXPECT_EQ(f.truncatedLength, 96);
  const std::vector<TFieldEntry> classKey = {{1, 5}, {10, 3}};
  f.vectors[2] = set_->AddVector<TFieldEntry>(classKey);
  SetSlots({Slot(SlotKind::kNormal, {{1, 30}}, {Normal(1, 1, 1)}),
            Slot(SlotKind::kStrasse, {{31, 20}}, {Normal(1, 1, 1), TComponentEntry{}})});
  ASSERT_TRUE(BuildComponentList(*set_));
  ASSERT_TRUE(DeriveMatchRecord(*set_, AnyRange));
  EXPECT_EQ(f.fileNumberPosition, 99);
  EXPECT_EQ(f.classKeyPosition, 101);
  EXPECT_EQ(f.classRecordLength, 98 + 2 + 8);
  EXPECT_EQ(f.flagPosition, 109);
  EXPECT_EQ(f.componentOffsetsPosition, 110);
  EXPECT_EQ(f.matchKeyPosition, 110 + 2 * 3);
  EXPECT_EQ(f.matchRecordLength, f.matchKeyPosition - 1 + f.matchKeyLength);
  EXPECT_EQ(f.outputRecordLength, 96 + 2);
}

TEST_F(MatchParamsTest, RangeProblemsAreReportedByName) {
  set_->Fields().vectors[2] = set_->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{1, 3}});
  std::string reported;
  const bool ok = DeriveMatchRecord(
      *set_, [&](std::string_view name, std::int64_t v, std::int64_t lo, std::int64_t hi) {
        if (v >= lo && v <= hi) return true;
        reported = std::string(name) + "=" + std::to_string(v);
        return false;
      });
  EXPECT_FALSE(ok);
  EXPECT_EQ(reported, "Klassenschlüssel-Länge=3");
}

TEST_F(MatchParamsTest, CopyWorksAtAnyAddressAndFreesTheSource) {
  set_->Fields().texts[0] = set_->AddText("Kundenabgleich");
  set_->SetFile(6, "/ausgabe/single.txt");
  SetSlots({Slot(SlotKind::kNormal, {{1, 30}}, {Normal(5, 0, 0)})});
  ASSERT_TRUE(BuildComponentList(*set_));
  TMemoryLayer* task = CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 20);
  TParameter* copy = TParameter::Copy(*task, set_);
  Free(set_);
  set_ = CreateIn<TParameterCheck>(StandardHeap());
  EXPECT_EQ(copy->TextNumber(1), "Kundenabgleich");
  EXPECT_EQ(copy->FileName(6), "/ausgabe/single.txt");
  EXPECT_EQ(copy->FileName(7), "");
  ASSERT_EQ(copy->Slots().size(), 1u);
  EXPECT_EQ(copy->Component(0).base, 5);
  EXPECT_EQ(copy->Entries<TFieldEntry>(copy->Slots()[0].fields)[0].length, 30);
  TParameter* empty = TParameter::Copy(*task, nullptr);
  EXPECT_TRUE(empty->Slots().empty());
  EXPECT_EQ(empty->TextNumber(3), "");
  Free(task);
}

TEST_F(MatchParamsTest, FullBlockMarksTheSetExhausted) {
  const std::string big(TParameterCheck::kBlockSize / 3, 'x');
  EXPECT_NE(set_->AddText(big), 0u);
  EXPECT_NE(set_->AddText(big), 0u);
  EXPECT_EQ(set_->AddText(big), 0u);
  EXPECT_TRUE(set_->Exhausted());
  EXPECT_EQ(set_->AddText("klein"), 0u);
}

}  // namespace
}  // namespace vld
