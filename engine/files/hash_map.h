// THashMap: the identifier map of the dark lists.
//
// After all dictionaries of a task are loaded, the map gives every entry that carries an
// identifier a number 1..n, across the dictionaries, so that a match key can name the entry by
// number (THashFound::number) and the record comparison can get it back with EntryByNumber.
// Two entries belong to one group when their identifiers are equal; PrefixRelation tells
// whether one lies on the other's chain of prefix links.
//
// Call order: CreateIn<THashMap>(space); PrepareMap(total identifier entries); NumberEntries for
// every dictionary; then EntryByNumber and PrefixRelation. Worker thread only.
#pragma once

#include <cstdint>

#include "engine/files/hash.h"
#include "engine/runtime/origin.h"

namespace vld {

inline constexpr std::int32_t kMaxHashMapCapacity = 16777215;

class THashMap : public TOrigin {
 public:
  // Room for the numbers 1..n in the map's own space; n <= 0 gives no room. Fatal "hash map too
  // large" for n > 16777215.
  void PrepareMap(std::int32_t n);
  // Numbers the entries of `hash` that carry an identifier, in insertion order, continuing
  // after the entries already numbered; other entries get 0. Fatal "out of hash map entries"
  // when the room is too small. REQUIRES: `hash` finished.
  void NumberEntries(THash& hash);
  // Fatal "Trap: hash index" for numbers outside 1..Capacity(); empty for a number not given.
  const THashEntry* EntryByNumber(std::int32_t number) const;

  // 2 when a has the shorter key and lies on b's chain of prefix links, 1 when b has the
  // shorter key and lies on a's chain, 0 otherwise (equal lengths count as b shorter).
  static int PrefixRelation(const THashEntry* a, const THashEntry* b);

  std::int32_t Capacity() const { return capacity_; }
  std::int32_t Used() const { return used_; }

 private:
  std::int32_t capacity_ = 0;
  std::int32_t used_ = 0;
  const THashEntry** entries_ = nullptr;
};

}  // namespace vld
