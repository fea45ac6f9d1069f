#include "engine/pipeline/zip.h"
#include "engine/files/global.h"

#include <algorithm>
#include <cstring>

#include "engine/pipeline/file_layout.h"
#include "engine/pipeline/select.h"
#include "engine/runtime/process_manager.h"
#include "platform/fatal.h"

namespace vld {

void TZipProcess::Setup(TProcessManager* manager, std::int32_t recordSize1,
                        std::int32_t recordSize2) {
  Register(*this, manager);
  ActivateInput(1, recordSize1, 1u << 1, BindCall<&TZipProcess::OnCall1>(this),
                BindSend<&TZipProcess::OnSend1>(this));
  ActivateInput(2, recordSize2, 1u << 1, BindCall<&TZipProcess::OnCall2>(this),
                BindSend<&TZipProcess::OnSend2>(this));
  ActivateOutput(1, kModeSend, std::max(recordSize1, recordSize2));
  sides_[0].gate = &InputGate(1);
  sides_[1].gate = &InputGate(2);
  state_ = 0;
}

void TZipProcess::GatesChanged(TProcessGate& gate, TProcessGate* other) {
  for (Side& side : sides_) {
    if (&gate == side.gate) side.driver = other ? other->process->DriverOf() : nullptr;
  }
}

void TZipProcess::Open(TMemorySpace& space) {
  for (Side& side : sides_) {
    if (side.gate->source == nullptr) Trap("TZipGate.Open: not connected");
    side.driver = &GeneratorOf(*side.gate->source->process);
    side.held = static_cast<std::uint8_t*>(space.Alloc(EffectiveRecordSize(*side.gate)));
    side.heldTag = nullptr;
    if (!StepDriver(side) || side.heldTag == nullptr) Trap("TZipGate.Open: no input");
  }
}

bool TZipProcess::StepDriver(Side& side) { return static_cast<TGenerator*>(side.driver)->Step(); }

std::uint8_t* TZipProcess::Hold(Side& side, std::int32_t size, const void* tag,
                                std::uint8_t* record) {
  std::uint8_t* previous = side.held;
  side.held = record;
  side.heldSize = size;
  side.heldTag = tag;
  return previous;
}

void TZipProcess::HoldCopy(Side& side, std::int32_t size, const void* tag,
                           const std::uint8_t* record) {
  // The caller keeps its buffer: the zip holds a copy in its own.
  const std::int32_t room = EffectiveRecordSize(*side.gate);
  std::memcpy(side.held, record, static_cast<std::size_t>(std::min(size, room)));
  side.heldSize = size;
  side.heldTag = tag;
}

std::uint8_t* TZipProcess::OnSend1(std::int32_t size, const void* tag, std::uint8_t* record) {
  return Hold(sides_[0], size, tag, record);
}
std::uint8_t* TZipProcess::OnSend2(std::int32_t size, const void* tag, std::uint8_t* record) {
  return Hold(sides_[1], size, tag, record);
}
void TZipProcess::OnCall1(std::int32_t size, const void* tag, std::uint8_t* record) {
  HoldCopy(sides_[0], size, tag, record);
}
void TZipProcess::OnCall2(std::int32_t size, const void* tag, std::uint8_t* record) {
  HoldCopy(sides_[1], size, tag, record);
}

bool TZipProcess::Step() {
  TOutputGate& out = OutputGate(1);
  if (state_ == 0) {
    const TFileLayout& l1 = LayoutOf(sides_[0].heldTag);
    const TFileLayout& l2 = LayoutOf(sides_[1].heldTag);
    const bool second =
        KeyLess(sides_[1].held + l2.classKeyPosition - 1, l2.classKeyLength,
                sides_[0].held + l1.classKeyPosition - 1, l1.classKeyLength);
    Side& taken = sides_[second ? 1 : 0];
    taken.held = out.Send(taken.heldSize, taken.heldTag, taken.held);
    if (StepDriver(taken)) return true;
    // This side is exhausted: release its chain and go on with the other side alone.
    TProcess* exhausted = taken.driver;
    state_ = second ? 1 : 2;
    exhausted->ReleaseChain();
    if (Manager()->Current() == nullptr) Manager()->SetCurrent(this);
    return true;
  }
  Side& remaining = sides_[state_ - 1];
  out.Send(remaining.heldSize, remaining.heldTag, remaining.held);
  TOutputGate* source = remaining.gate->source;
  TInputGate* target = out.target;
  TProcessManager* manager = Manager();
  Connect(*source, *target);
  if (manager->Current() == this) manager->SetCurrent(&GeneratorOf(*source->process));
  Close();
  Free(this);
  return true;
}

}  // namespace vld
