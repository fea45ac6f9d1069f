#include "engine/files/hash_map.h"

#include <algorithm>

#include "engine/files/global.h"
#include "platform/checked.h"
#include "platform/fatal.h"

namespace vld {

void THashMap::PrepareMap(std::int32_t n) {
  if (n > kMaxHashMapCapacity) Fatal("hash map too large");
  capacity_ = std::max<std::int32_t>(0, n);
  used_ = 0;
  entries_ = nullptr;
  if (capacity_ == 0) return;
  const std::int64_t bytes =
      CheckedMul<std::int64_t>(capacity_, static_cast<std::int64_t>(sizeof(THashEntry*)));
  entries_ = static_cast<const THashEntry**>(AllocOwned(bytes));
  std::fill(entries_, entries_ + capacity_, nullptr);
}

void THashMap::NumberEntries(THash& hash) {
  if (!hash.IsFinished()) Fatal("hash not finished");
  if (hash.IdCount() > capacity_ - used_) Fatal("out of hash map entries");
  for (THashEntry* e = hash.MutableFirst(); e != nullptr; e = e->next_) {
    if (e->id_ == 0) {
      e->number_ = 0;
      continue;
    }
    entries_[used_] = e;
    e->number_ = ++used_;
  }
}

const THashEntry* THashMap::EntryByNumber(std::int32_t number) const {
  if (number < 1 || number > capacity_) Trap("hash index");
  return entries_[number - 1];
}

int THashMap::PrefixRelation(const THashEntry* a, const THashEntry* b) {
  if (a == nullptr || b == nullptr) return 0;
  const bool aShorter = a->Key().size() < b->Key().size();
  const THashEntry* shorter = aShorter ? a : b;
  for (const THashEntry* p = (aShorter ? b : a)->Prefix(); p != nullptr; p = p->Prefix()) {
    if (p == shorter) return aShorter ? 2 : 1;
  }
  return 0;
}

}  // namespace vld
