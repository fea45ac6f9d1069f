// The sort plan and the run queue of the external sort.
//
// The plan is computed once per task from the working memory, the record count and the sort
// record length. It fixes the tree size (`capacity`, records per sorted run), the number of runs
// the queues can hold and the port buffer sizes. Figures count the real bytes a tree entry takes
// on this machine (record buffer, leaf, loser slot), so a plan never overruns its memory.
//
// A run queue records the cumulative record count at the end of each run; run i spans from entry
// i-1 (or 0) to entry i.
#pragma once

#include <cstdint>

#include "engine/runtime/origin.h"

namespace vld {

// Most runs one merge pass takes (one range reader each) and most runs a queue holds.
inline constexpr std::int64_t kMaxMergeRuns = 1024;
inline constexpr std::int64_t kMaxQueueRuns = 4096;

struct TSortPlan {
  std::int64_t memory = 0;
  std::int64_t ioBuffer = 0;
  std::int64_t capacity = 0;
  std::int64_t recordCount = 0;
  std::int64_t maxRuns = 0;
  std::int64_t entrySize = 0;
};

// Bytes of one tree entry besides its record.
std::int64_t TreeEntryOverhead();

// Raises EUserError "Der Arbeitsspeicher reicht nicht zum Sortieren: ..." when the working
// memory cannot hold a tree of at least two records.
TSortPlan ComputeSortPlan(std::int64_t workingMemory, std::int64_t recordCount,
                          std::int32_t sortRecordLength);

// I/O buffer of each of the k+1 ports of a merge of k runs.
std::int64_t MergeBuffer(const TSortPlan& plan, std::int64_t runs);

// Raises EUserError when `runs` sorted runs are more than one merge pass can take.
void CheckRunsMergeable(std::int64_t runs);

class TQueue : public TOrigin {
 public:
  // Room for min(4096, n) runs; cleared.
  void Prepare(std::int64_t n);
  void Clear() { pushed_ = popped_ = 0; lastEnd_ = 0; }
  // Fatal "queue overflow at sort" when full.
  void Push(std::int64_t cumulativeCount);
  // Fatal "queue underflow at sort" when no run is left.
  void Pop(std::int64_t& start, std::int64_t& length);
  std::int64_t Runs() const { return pushed_ - popped_; }
  std::int64_t Size() const { return size_; }

 private:
  std::int64_t* items_ = nullptr;
  std::int64_t size_ = 0;
  std::int64_t pushed_ = 0;
  std::int64_t popped_ = 0;
  std::int64_t lastEnd_ = 0;
};

}  // namespace vld
