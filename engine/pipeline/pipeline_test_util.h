// Test pieces for pipelines: a source that sends records from memory and a collector.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "engine/pipeline/file_layout.h"
#include "engine/runtime/process.h"

namespace vld::testing {

// Sends `records` (all of one length) with the tag of `layout`, by send or by call.
class VectorSource : public TGenerator {
 public:
  void Setup(TProcessManager* manager, std::vector<std::string> records, const TFileLayout* layout,
             std::uint8_t mode = kModeSend) {
    Register(*this, manager);
    records_ = std::move(records);
    layout_ = layout;
    mode_ = mode;
    size_ = records_.empty() ? layout->classRecordLength
                             : static_cast<std::int32_t>(records_.front().size());
    ActivateOutput(1, mode, size_);
  }
  void Open(TMemorySpace& space) override {
    buffer_ = static_cast<std::uint8_t*>(space.Alloc(EffectiveRecordSize(OutputGate(1))));
    next_ = 0;
  }
  bool Step() override {
    if (next_ == records_.size()) return false;
    std::memcpy(buffer_, records_[next_].data(), records_[next_].size());
    ++next_;
    if (mode_ & kModeSend) {
      buffer_ = OutputGate(1).Send(size_, layout_, buffer_);
    } else {
      OutputGate(1).Call(size_, layout_, buffer_);
      // A caller may reuse its buffer at once: scribble over it.
      std::memset(buffer_, '#', static_cast<std::size_t>(size_));
    }
    return true;
  }

 private:
  std::vector<std::string> records_;
  const TFileLayout* layout_ = nullptr;
  std::uint8_t mode_ = kModeSend;
  std::int32_t size_ = 0;
  std::size_t next_ = 0;
  std::uint8_t* buffer_ = nullptr;
};

// Copies every record it is called with.
class Collector : public TProcess {
 public:
  void Setup(TProcessManager* manager, std::int32_t size) {
    Register(*this, manager);
    ActivateInput(1, size, 0, BindCall<&Collector::OnCall>(this), {});
  }
  void OnCall(std::int32_t size, const void* tag, std::uint8_t* record) {
    records.emplace_back(reinterpret_cast<const char*>(record), static_cast<std::size_t>(size));
    tags.push_back(tag);
  }
  std::vector<std::string> records;
  std::vector<const void*> tags;
};

}  // namespace vld::testing
