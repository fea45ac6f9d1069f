#include "engine/pipeline/sort_plan.h"

#include <algorithm>

#include "engine/pipeline/select.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {

std::int64_t TreeEntryOverhead() { return TSelect::kEntryOverhead; }

namespace {
std::int64_t QueueBytes(std::int64_t maxRuns) {
  return static_cast<std::int64_t>(sizeof(std::int64_t)) * std::min(kMaxQueueRuns, maxRuns);
}
}  // namespace

TSortPlan ComputeSortPlan(std::int64_t workingMemory, std::int64_t recordCount,
                          std::int32_t sortRecordLength) {
  TSortPlan plan;
  plan.recordCount = recordCount;
  plan.memory = workingMemory - workingMemory / 20;
  plan.entrySize = AlignUp(sortRecordLength) + TreeEntryOverhead();
  plan.ioBuffer = std::max<std::int64_t>(4096, std::min<std::int64_t>(65536, plan.memory / 16));
  const std::int64_t fits = (plan.memory - 2 * plan.ioBuffer) / plan.entrySize;
  if (fits < 2) {
    throw EUserError(Format(
        "Der Arbeitsspeicher reicht nicht zum Sortieren: %lld B genügen nicht für zwei "
        "Datensätze zu %d B. Bitte erhöhen Sie die untere Speichergrenze.",
        static_cast<long long>(workingMemory), sortRecordLength));
  }
  plan.capacity = std::max<std::int64_t>(1, std::min(fits, recordCount));
  plan.maxRuns = recordCount / plan.capacity + 10;
  plan.ioBuffer = std::max<std::int64_t>(
      4096, std::min<std::int64_t>(
                65536, (plan.memory - QueueBytes(plan.maxRuns) - plan.capacity * plan.entrySize) / 2));
  return plan;
}

std::int64_t MergeBuffer(const TSortPlan& plan, std::int64_t runs) {
  return std::max<std::int64_t>(4096, (plan.memory - QueueBytes(plan.maxRuns)) / (runs + 1));
}

void CheckRunsMergeable(std::int64_t runs) {
  if (runs > kMaxMergeRuns) {
    throw EUserError(Format(
        "Die Sortierung ergab %lld Teilfolgen, ein Mischdurchgang nimmt höchstens %lld. Bitte "
        "erhöhen Sie die untere Speichergrenze.",
        static_cast<long long>(runs), static_cast<long long>(kMaxMergeRuns)));
  }
}

void TQueue::Prepare(std::int64_t n) {
  size_ = std::max<std::int64_t>(0, std::min(kMaxQueueRuns, n));
  items_ = static_cast<std::int64_t*>(AllocOwned(size_ * static_cast<std::int64_t>(sizeof(std::int64_t))));
  Clear();
}

void TQueue::Push(std::int64_t cumulativeCount) {
  if (pushed_ >= size_) Fatal("queue overflow at sort");
  items_[pushed_++] = cumulativeCount;
}

void TQueue::Pop(std::int64_t& start, std::int64_t& length) {
  if (popped_ >= pushed_) Fatal("queue underflow at sort");
  start = lastEnd_;
  lastEnd_ = items_[popped_++];
  length = lastEnd_ - start;
}

}  // namespace vld
