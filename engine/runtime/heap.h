// Budgeted heaps.
//
// TMemoryHeap hands out blocks from the general allocator while counting them against a budget
// (`free`); Release gives the budget back. The task's heap (memory_control.h) carries the main
// layer and every supplementary block. TStdMemoryHeap is the process-wide standard heap: no
// budget accounting, objects created without a space come from it.
#pragma once

#include <cstdint>

#include "engine/runtime/origin.h"

namespace vld {

class TMemoryHeap : public TMemorySpace {
 public:
  ~TMemoryHeap() override;
  void Init() override;
  bool IsHeap() const override { return true; }
  bool IsActive() const override { return true; }
  // Fatal "Heap-Raum erschöpft" when `size` exceeds the remaining budget.
  void* Alloc(std::int64_t size) override;
  void Release(void* address) override;
  // The remaining budget becomes max(0, bytes).
  virtual void SetLimit(std::int64_t bytes);

 private:
  struct Block;
  Block* blocks_ = nullptr;  // outstanding blocks, freed with the heap
};

class TStdMemoryHeap : public TMemoryHeap {
 public:
  void Init() override;
  void* Alloc(std::int64_t size) override;
  void Release(void* address) override;
};

}  // namespace vld
