#include "engine/runtime/memory_control.h"

#include <algorithm>

#include "engine/runtime/hooks.h"

namespace vld {

TMemorySettings& MemorySettings() {
  static TMemorySettings settings;
  return settings;
}

TaskMemorySlots& TaskMemory() {
  static TaskMemorySlots slots;
  return slots;
}

void TMemoryControl::Init() {
  heap_ = CreateIn<TMemoryHeap>(StandardHeap());
  heap_->SetLimit(kTaskHeapBudget);
  mainLayer_ = CreateWithArena<TSupplementingMemoryLayer>(*heap_, MemorySettings().upperLimit);
  mainLayer_->onSupplement = [this](TMemoryLayer& requester, std::int64_t size) {
    return SupplementPolicy(requester, size);
  };
  CreateCoLayer(*mainLayer_);
  backLayer_ = mainLayer_->CoLayer();
  TaskMemory() = {mainLayer_, &PushLayer, backLayer_, &PushLayer};
}

void TMemoryControl::FreeContents() {
  TaskMemory() = {};
  // The back layer lives in the main layer's arena and goes with it; the heap takes everything
  // else, supplementary blocks included.
  if (backLayer_ != nullptr) Free(backLayer_);
  Free(mainLayer_);
  Free(heap_);
  backLayer_ = nullptr;
  mainLayer_ = nullptr;
  heap_ = nullptr;
  TOrigin::FreeContents();
}

TSupplementingMemoryLayer::Grant TMemoryControl::SupplementPolicy(TMemoryLayer&,
                                                                  std::int64_t size) {
  const TMemorySettings& settings = MemorySettings();
  // A block large enough for the allocation that ran out, never smaller than one step.
  const std::int64_t granted = std::max(settings.supplementStep, AlignUp(size));
  const std::int64_t needed = CheckedAdd(granted, InstanceSize<TSupplementaryLayer>());
  if (!HasQuestionHook() || heap_->FreeBytes() < needed) return {};
  const std::int64_t used = kTaskHeapBudget - heap_->FreeBytes();
  if (CheckedAdd(used, needed) > settings.questionThreshold && !AskQuestion(used, needed)) {
    return {};
  }
  return {heap_, granted};
}

}  // namespace vld
