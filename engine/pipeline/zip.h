// The zip: merges two key-ordered record streams into one key-ordered stream.
//
// The matching phase joins the match-key stream of the ordinary input files with the streams of
// compact dark files through a tree of zips. A zip is itself the generator of the run: it pulls
// records from the generators behind its two inputs by stepping them directly, holds one record
// of each side and always passes on the one with the smaller class key (side 1 on equal keys).
// When one side is exhausted, the zip takes itself out of the pipeline: it wires the remaining
// source straight to its own target, hands the role of the driving generator to the remaining
// source's generator and frees itself.
#pragma once

#include <cstdint>

#include "engine/runtime/process.h"

namespace vld {

class TZipProcess : public TGenerator {
 public:
  void Setup(TProcessManager* manager, std::int32_t recordSize1, std::int32_t recordSize2);
  void GatesChanged(TProcessGate& gate, TProcessGate* other) override;
  // Fatal "Trap: TZipGate.Open: not connected" / "Trap: TZipGate.Open: no input".
  void Open(TMemorySpace& space) override;
  bool Step() override;

  // 0 both sides live, 1 only side 1 left, 2 only side 2 left.
  int State() const { return state_; }

 private:
  struct Side {
    TInputGate* gate = nullptr;
    TProcess* driver = nullptr;
    std::int32_t heldSize = 0;
    const void* heldTag = nullptr;
    std::uint8_t* held = nullptr;
  };
  std::uint8_t* OnSend1(std::int32_t size, const void* tag, std::uint8_t* record);
  std::uint8_t* OnSend2(std::int32_t size, const void* tag, std::uint8_t* record);
  void OnCall1(std::int32_t size, const void* tag, std::uint8_t* record);
  void OnCall2(std::int32_t size, const void* tag, std::uint8_t* record);
  std::uint8_t* Hold(Side& side, std::int32_t size, const void* tag, std::uint8_t* record);
  void HoldCopy(Side& side, std::int32_t size, const void* tag, const std::uint8_t* record);
  bool StepDriver(Side& side);

  Side sides_[2];
  int state_ = 0;
};

}  // namespace vld
