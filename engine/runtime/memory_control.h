// The memory budget of one match task.
//
// TMemoryControl exists while a match task runs. It creates a budgeted heap, the main layer (an
// arena of the upper memory limit taken from that heap) and its back layer, and publishes both
// in the task memory slots, from which phases and pipeline runs push their layers. When a layer
// runs out, the control's supplement policy grants a further block from the heap: without asking
// up to the question threshold, beyond it only when the user agrees through the question hook.
#pragma once

#include <cstdint>

#include "engine/runtime/heap.h"
#include "engine/runtime/layers.h"

namespace vld {

// The engine's memory settings (process-wide; the front end copies the user's values into them
// before every task).
struct TMemorySettings {
  std::int64_t lowerLimit = 1048576;      // "Untere Speichergrenze": the task's working buffer
  std::int64_t upperLimit = 4194304;      // "Obere Speichergrenze": size of the main arena
  std::int64_t supplementStep = 1048576;  // "Nachforderungseinheit"
  std::int64_t questionThreshold = 0;     // "Erste Rückfrage ab"
};
TMemorySettings& MemorySettings();

// The budget of a task's heap.
inline constexpr std::int64_t kTaskHeapBudget = 2097152000;

// The task memory slots: empty outside a match task.
struct TaskMemorySlots {
  TMemoryLayer* mainLayer = nullptr;
  TMemoryLayer* (*pushMain)(TMemoryLayer&) = nullptr;
  TMemoryLayer* backLayer = nullptr;
  TMemoryLayer* (*pushBack)(TMemoryLayer&) = nullptr;
};
TaskMemorySlots& TaskMemory();

class TMemoryControl : public TOrigin {
 public:
  // REQUIRES: no other TMemoryControl exists (one task at a time).
  void Init() override;

  TMemoryHeap& Heap() { return *heap_; }
  TSupplementingMemoryLayer& MainLayer() { return *mainLayer_; }
  TMemoryLayer& BackLayer() { return *backLayer_; }

 protected:
  // Clears the slots and frees back layer, main layer and heap in this order.
  void FreeContents() override;

 private:
  TSupplementingMemoryLayer::Grant SupplementPolicy(TMemoryLayer& requester, std::int64_t size);

  TMemoryHeap* heap_ = nullptr;
  TSupplementingMemoryLayer* mainLayer_ = nullptr;
  TMemoryLayer* backLayer_ = nullptr;
};

}  // namespace vld
