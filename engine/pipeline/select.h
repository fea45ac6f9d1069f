// Replacement selection and the one-pass merge of the external sort.
//
// TSelect turns a stream of records into sorted runs with a tree of losers over `leafCount`
// leaves and sends them on one after another (its consumer writes them into one temporary file);
// the run ends go to a run queue. TMerge merges all runs of such a file in one pass with the same
// tree, reading each run through its own range reader.
//
// Order: records are compared by run, then by key (the bytes at the key position of the record's
// tag for the key mode, compared as unsigned bytes over the shorter of the two key lengths), then
// by arrival: records with equal keys leave in the order they came in (selection) or in run order
// (merge), so the whole external sort is stable.
//
// Records are never copied inside the tree: buffers are exchanged with the neighbours through the
// send protocol. An upstream that calls instead of sending gets its record copied into a buffer of
// the tree, so a record the tree holds is never overwritten by its sender.
//
// Example (capacity 2, keys arriving 5 3 8 1 9 2): the tree fills with 5 and 3; 8 arrives, 3 is
// sent; 1 arrives, 5 is sent, 1 is late (below 5) and waits for run 2; 9 arrives, 8 is sent; 2
// arrives, 9 is sent (run 1 ends: 3 5 8 9); Close sends 1 2 as run 2.
#pragma once

#include <cstdint>
#include <span>

#include "engine/pipeline/file_layout.h"
#include "engine/pipeline/sort_plan.h"
#include "engine/runtime/file.h"
#include "engine/runtime/port.h"
#include "engine/runtime/process.h"

namespace vld {

// True when key a sorts before key b over the shorter of the two lengths.
bool KeyLess(const std::uint8_t* a, std::size_t la, const std::uint8_t* b, std::size_t lb);

class TSelect : public TGenerator {
 public:
  // A leaf of the tree: the record it holds and what it is compared by.
  struct Leaf {
    std::uint64_t prefix;  // first 8 key bytes, most significant first
    std::uint64_t order;   // arrival (selection) or run number (merge)
    const std::uint8_t* key;
    std::uint8_t* record;
    const void* tag;
    std::uint32_t run;
    std::uint16_t keyLength;
  };
  static constexpr std::int64_t kEntryOverhead =
      static_cast<std::int64_t>(sizeof(Leaf) + sizeof(std::uint32_t));
  static constexpr std::uint32_t kEndRun = 2147483647;

  // Selection: key mode 1 with the class key length and the plan's capacity as leaf count.
  void Setup(TProcessManager* manager, std::int32_t recordSize, TQueue* runQueue,
             std::int64_t leafCount, KeyMode keyMode, std::int32_t maxKeyLength);
  bool IsGenerator() const override { return false; }
  TProcess* DriverOf() override { return TProcess::DriverOf(); }
  bool Step() override { return false; }
  void Open(TMemorySpace& space) override;
  void Close() override;

  std::uint8_t* OnSend(std::int32_t size, const void* tag, std::uint8_t* record);
  void OnCall(std::int32_t size, const void* tag, std::uint8_t* record);

  std::int64_t Emitted() const { return emitted_; }

 protected:
  void Register(TProcessManager* manager, std::int32_t recordSize, TQueue* runQueue,
                std::int64_t leafCount, KeyMode keyMode, std::int32_t maxKeyLength);
  // Gives the winner leaf a new record and replays its way to the top.
  void Adjust(std::uint32_t run, const void* tag, std::uint8_t* record, std::uint64_t order);
  // Puts an incoming record into the winner's leaf, in the next run when it is late.
  void Insert(const void* tag, std::uint8_t* record);
  // Sends the winner on (fillers from the start are not sent) and returns a free buffer.
  std::uint8_t* EmitWinner();
  // Replaces the winner by an end sentinel.
  void AdjustEndSentinel(std::uint8_t* buffer);
  Leaf& Winner() { return leaves_[winner_]; }
  std::uint32_t WinnerIndex() const { return winner_; }

  KeyMode keyMode_ = KeyMode::kClassKey;
  bool checkOrder_ = true;
  std::int32_t maxKeyLength_ = 0;
  std::int64_t leafCount_ = 0;
  TQueue* runQueue_ = nullptr;
  std::int64_t recordBytes_ = 0;
  std::uint32_t currentRun_ = 1;
  std::int64_t emitted_ = 0;
  std::uint64_t arrivals_ = 0;
  std::int32_t fillerCounter_ = 0;

 private:
  bool Less(std::uint32_t a, std::uint32_t b) const;
  void SetKey(Leaf& leaf);

  Leaf* leaves_ = nullptr;
  std::uint32_t* losers_ = nullptr;  // inner nodes 1..leafCount-1
  std::uint32_t winner_ = 0;
  std::uint8_t* lastKey_ = nullptr;
  std::int32_t lastKeyLength_ = 0;
};

class TMerge : public TSelect {
 public:
  // Merges `runs` runs of `fileName` listed in `inputQueue`; the single output run goes to
  // `outputQueue`. Each record's 16-bit input-file number at `fileNumberPosition` (1-based)
  // selects its descriptor in `descriptors`.
  void Setup(TProcessManager* manager, std::int32_t recordSize, TQueue* outputQueue,
             TQueue* inputQueue, std::int64_t runs, KeyMode keyMode, std::int32_t maxKeyLength,
             const std::string& counterName, const std::string& fileName,
             std::int32_t fileNumberPosition, std::span<const TFileLayout* const> descriptors,
             std::int64_t ioBuffer);
  bool IsGenerator() const override { return true; }
  TProcess* DriverOf() override { return this; }
  void Init() override;
  void Open(TMemorySpace& space) override;
  bool Step() override;
  void Close() override;
  std::int64_t Total() const { return total_; }

 private:
  static void Progress(void* object, std::int64_t records);

  TFile* file_ = nullptr;
  TQueue* inputQueue_ = nullptr;
  TInFilePort** readers_ = nullptr;
  std::int64_t runs_ = 0;
  std::int64_t ioBuffer_ = 0;
  std::span<const TFileLayout* const> descriptors_;
  std::int32_t markOffset_ = 0;
  std::string counterName_;
  std::int64_t counterHandle_ = 0;
  std::int64_t total_ = 0;
};

}  // namespace vld
