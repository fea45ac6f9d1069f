#include "engine/files/hash_map.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/test_support.h"

namespace vld {
namespace {

using testing::FatalTextOf;

class HashMapTest : public ::testing::Test {
 protected:
  HashMapTest()
      : map_(CreateIn<THashMap>(StandardHeap())),
        first_(CreateIn<THash>(StandardHeap())),
        second_(CreateIn<THash>(StandardHeap())) {
    first_->AddEntry("UND", "", 0, 0);
    first_->AddEntry("HANS", "", 100, 1);
    first_->AddEntry("HANSI", "", 100, 1);
    first_->AddEntry("HANSJOERG", "", 4194305, 1);
    first_->AddEntry("", "", 7, 2);
    first_->Finish();
    second_->AddEntry("ANNA", "", 3, 1);
    second_->AddEntry("HERR", "", 0, 12);
    second_->Finish();
  }
  ~HashMapTest() override {
    Free(map_);
    Free(first_);
    Free(second_);
  }
  const THashEntry* In(THash* hash, const std::string& key) { return hash->Lookup(key).entry; }

  THashMap* map_;
  THash* first_;
  THash* second_;
};

TEST_F(HashMapTest, NumbersIdentifierEntriesInInsertionOrderAcrossDictionaries) {
  map_->PrepareMap(first_->IdCount() + second_->IdCount());
  map_->NumberEntries(*first_);
  map_->NumberEntries(*second_);
  EXPECT_EQ(map_->Used(), 5);
  struct Case {
    THash* hash;
    const char* key;
    int number;
  };
  const Case cases[] = {{first_, "UND", 0},       {first_, "HANS", 1}, {first_, "HANSI", 2},
                        {first_, "HANSJOERG", 3}, {first_, "", 4},     {second_, "ANNA", 5},
                        {second_, "HERR", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    const THashFound found = c.hash->Lookup(c.key);
    EXPECT_EQ(found.number, c.number);
    if (c.number != 0) {
      EXPECT_EQ(map_->EntryByNumber(c.number), found.entry);
    }
  }
  // The group of an entry is its identifier.
  EXPECT_EQ(map_->EntryByNumber(1)->Id(), map_->EntryByNumber(2)->Id());
}

TEST_F(HashMapTest, NumbersOutsideTheMapAreATrap) {
  map_->PrepareMap(6);
  map_->NumberEntries(*first_);
  EXPECT_EQ(map_->EntryByNumber(6), nullptr);  // room, not yet given
  for (const int number : {0, -1, 7}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(FatalTextOf([&] { map_->EntryByNumber(number); }), "Trap: hash index");
  }
}

TEST_F(HashMapTest, TooLittleRoomAndTooLargeMapsAreFatal) {
  map_->PrepareMap(4);
  EXPECT_EQ(FatalTextOf([&] { map_->NumberEntries(*first_); }), "");
  EXPECT_EQ(FatalTextOf([&] { map_->NumberEntries(*second_); }), "out of hash map entries");
  EXPECT_EQ(FatalTextOf([&] { map_->PrepareMap(16777216); }), "hash map too large");
  map_->PrepareMap(-5);
  EXPECT_EQ(map_->Capacity(), 0);
  EXPECT_EQ(FatalTextOf([&] { map_->EntryByNumber(1); }), "Trap: hash index");
}

TEST_F(HashMapTest, PrefixRelationFollowsThePrefixLinks) {
  struct Case {
    const char* a;
    const char* b;
    int relation;
  };
  const Case cases[] = {
      {"HANS", "HANSI", 2}, {"HANSI", "HANS", 1}, {"HANS", "HANSJOERG", 2},
      {"", "HANSJOERG", 2}, {"HANSJOERG", "", 1}, {"HANSI", "HANSJOERG", 0},
      {"HANS", "HANS", 0},  {"UND", "HANSI", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(THashMap::PrefixRelation(In(first_, c.a), In(first_, c.b)), c.relation);
  }
}

}  // namespace
}  // namespace vld
