#include "engine/pipeline/select.h"
#include "engine/files/global.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/runtime/hooks.h"
#include "engine/runtime/process_manager.h"
#include "platform/fatal.h"

namespace vld {
namespace {

// Keys of the filler records: position 1, length 4, in both key modes.
const TFileLayout& SentinelLayout() {
  static const TFileLayout layout = [] {
    TFileLayout l;
    l.classRecordLength = l.outSortRecordLength = 4;
    l.classKeyPosition = l.outSortKeyPosition = 1;
    l.classKeyLength = l.outSortKeyLength = 4;
    return l;
  }();
  return layout;
}

inline std::uint64_t LoadPrefix(const std::uint8_t* key, std::size_t length) {
  std::uint64_t v = 0;
  if (length >= 8) {
    std::memcpy(&v, key, 8);
    return __builtin_bswap64(v);
  }
  for (std::size_t i = 0; i < length; ++i) v |= static_cast<std::uint64_t>(key[i]) << (56 - 8 * i);
  return v;
}

// -1, 0, 1 over the shorter of the two keys, using the cached prefixes first.
inline int CompareKeys(std::uint64_t pa, const std::uint8_t* a, std::size_t la, std::uint64_t pb,
                       const std::uint8_t* b, std::size_t lb) {
  const std::size_t n = la < lb ? la : lb;
  if (n >= 8) {
    if (pa != pb) return pa < pb ? -1 : 1;
    const int c = std::memcmp(a + 8, b + 8, n - 8);
    return (c > 0) - (c < 0);
  }
  if (n == 0) return 0;
  const int shift = static_cast<int>(64 - 8 * n);
  pa >>= shift;
  pb >>= shift;
  return pa == pb ? 0 : (pa < pb ? -1 : 1);
}

}  // namespace

bool KeyLess(const std::uint8_t* a, std::size_t la, const std::uint8_t* b, std::size_t lb) {
  return CompareKeys(LoadPrefix(a, la), a, la, LoadPrefix(b, lb), b, lb) < 0;
}

// ---- TSelect --------------------------------------------------------------------------------

void TSelect::Register(TProcessManager* manager, std::int32_t recordSize, TQueue* runQueue,
                       std::int64_t leafCount, KeyMode keyMode, std::int32_t maxKeyLength) {
  vld::Register(*this, manager);
  runQueue_ = runQueue;
  leafCount_ = leafCount;
  keyMode_ = keyMode;
  maxKeyLength_ = maxKeyLength;
  ActivateOutput(1, kModeSend, recordSize);
}

void TSelect::Setup(TProcessManager* manager, std::int32_t recordSize, TQueue* runQueue,
                    std::int64_t leafCount, KeyMode keyMode, std::int32_t maxKeyLength) {
  Register(manager, recordSize, runQueue, leafCount, keyMode, maxKeyLength);
  checkOrder_ = true;
  ActivateInput(1, recordSize, 1u << 1, BindCall<&TSelect::OnCall>(this),
                BindSend<&TSelect::OnSend>(this));
}

void TSelect::SetKey(Leaf& leaf) {
  const TFileLayout& layout = LayoutOf(leaf.tag);
  leaf.key = leaf.record + layout.KeyPosition(keyMode_) - 1;
  leaf.keyLength = layout.KeyLength(keyMode_);
  leaf.prefix = LoadPrefix(leaf.key, leaf.keyLength);
}

inline bool TSelect::Less(std::uint32_t ia, std::uint32_t ib) const {
  const Leaf& a = leaves_[ia];
  const Leaf& b = leaves_[ib];
  if (a.run != b.run) return a.run < b.run;
  const int c = CompareKeys(a.prefix, a.key, a.keyLength, b.prefix, b.key, b.keyLength);
  if (c != 0) return c < 0;
  return a.order < b.order;
}

void TSelect::Open(TMemorySpace& space) {
  if (leafCount_ < 1 || leafCount_ > 0x7fffffff) Fatal("invalid leaf count at sort");
  recordBytes_ = EffectiveRecordSize(OutputGate(1));
  const std::int64_t k = leafCount_;
  leaves_ = static_cast<Leaf*>(space.Alloc(CheckedMul<std::int64_t>(k, sizeof(Leaf))));
  losers_ = static_cast<std::uint32_t*>(space.Alloc(CheckedMul<std::int64_t>(k, sizeof(std::uint32_t))));
  auto* records = static_cast<std::uint8_t*>(space.Alloc(CheckedMul(k, recordBytes_)));
  // Fillers from the start: run 0, keys counting down from 2147483646.
  std::int32_t counter = 2147483646;
  for (std::int64_t i = 0; i < k; ++i) {
    Leaf& leaf = leaves_[i];
    leaf.record = records + i * recordBytes_;
    std::memcpy(leaf.record, &counter, 4);
    --counter;
    leaf.tag = &SentinelLayout();
    leaf.run = 0;
    leaf.order = static_cast<std::uint64_t>(i + 1);
    SetKey(leaf);
  }
  // Play the first tournament bottom-up.
  std::vector<std::uint32_t> winners(static_cast<std::size_t>(k));
  const auto winnerOf = [&](std::int64_t node) {
    return node >= k ? static_cast<std::uint32_t>(node - k) : winners[node];
  };
  for (std::int64_t node = k - 1; node >= 1; --node) {
    const std::uint32_t left = winnerOf(2 * node), right = winnerOf(2 * node + 1);
    if (Less(right, left)) {
      winners[node] = right;
      losers_[node] = left;
    } else {
      winners[node] = left;
      losers_[node] = right;
    }
  }
  winner_ = winnerOf(1 < k ? 1 : k);  // k = 1: the only leaf
  fillerCounter_ = 0;
  currentRun_ = 1;
  emitted_ = 0;
  arrivals_ = 0;
  lastKeyLength_ = 0;
  if (checkOrder_) lastKey_ = static_cast<std::uint8_t*>(space.Alloc(std::max(maxKeyLength_, 1)));
}

void TSelect::Adjust(std::uint32_t run, const void* tag, std::uint8_t* record,
                     std::uint64_t order) {
  Leaf& leaf = leaves_[winner_];
  leaf.run = run;
  leaf.order = order;
  leaf.tag = tag;
  leaf.record = record;
  SetKey(leaf);
  std::uint32_t candidate = winner_;
  for (std::uint64_t node = (winner_ + static_cast<std::uint64_t>(leafCount_)) >> 1; node >= 1;
       node >>= 1) {
    const std::uint32_t loser = losers_[node];
    if (Less(loser, candidate)) {
      losers_[node] = candidate;
      candidate = loser;
    }
  }
  winner_ = candidate;
}

std::uint8_t* TSelect::EmitWinner() {
  Leaf& w = leaves_[winner_];
  if (w.run == 0) return w.record;
  if (w.run != currentRun_) {
    ++currentRun_;
    runQueue_->Push(emitted_);
  }
  if (checkOrder_) {
    lastKeyLength_ = std::min<std::int32_t>(w.keyLength, std::max(maxKeyLength_, 1));
    std::memcpy(lastKey_, w.key, static_cast<std::size_t>(lastKeyLength_));
  }
  ++emitted_;
  return OutputGate(1).Send(LayoutOf(w.tag).RecordLength(keyMode_), w.tag, w.record);
}

void TSelect::AdjustEndSentinel(std::uint8_t* buffer) {
  std::memcpy(buffer, &fillerCounter_, 4);
  ++fillerCounter_;
  Adjust(kEndRun, &SentinelLayout(), buffer, winner_ + 1);
}

void TSelect::Insert(const void* tag, std::uint8_t* record) {
  std::uint32_t run = currentRun_;
  if (checkOrder_ && lastKeyLength_ > 0) {
    const TFileLayout& layout = LayoutOf(tag);
    const std::uint8_t* key = record + layout.KeyPosition(keyMode_) - 1;
    if (KeyLess(key, layout.KeyLength(keyMode_), lastKey_,
                static_cast<std::size_t>(lastKeyLength_))) {
      ++run;  // late: waits for the next run
    }
  }
  Adjust(run, tag, record, ++arrivals_);
}

std::uint8_t* TSelect::OnSend(std::int32_t, const void* tag, std::uint8_t* record) {
  std::uint8_t* free = EmitWinner();
  Insert(tag, record);  // the incoming buffer now belongs to the tree
  return free;
}

void TSelect::OnCall(std::int32_t size, const void* tag, std::uint8_t* record) {
  // The caller keeps its buffer: the tree holds a copy in a buffer of its own.
  std::uint8_t* free = EmitWinner();
  std::memcpy(free, record, static_cast<std::size_t>(std::min<std::int64_t>(size, recordBytes_)));
  Insert(tag, free);
}

void TSelect::Close() {
  while (leaves_ != nullptr && Winner().run != kEndRun) AdjustEndSentinel(EmitWinner());
  runQueue_->Push(emitted_);
}

// ---- TMerge ---------------------------------------------------------------------------------

void TMerge::Init() { file_ = CreateOwned<TFile>(*this, 0); }

void TMerge::Setup(TProcessManager* manager, std::int32_t recordSize, TQueue* outputQueue,
                   TQueue* inputQueue, std::int64_t runs, KeyMode keyMode,
                   std::int32_t maxKeyLength, const std::string& counterName,
                   const std::string& fileName, std::int32_t fileNumberPosition,
                   std::span<const TFileLayout* const> descriptors, std::int64_t ioBuffer) {
  CheckRunsMergeable(runs);
  Register(manager, recordSize, outputQueue, runs, keyMode, maxKeyLength);
  checkOrder_ = false;
  inputQueue_ = inputQueue;
  runs_ = runs;
  counterName_ = counterName;
  file_->Assign(fileName);
  markOffset_ = fileNumberPosition - 1;
  descriptors_ = descriptors;
  ioBuffer_ = ioBuffer;
}

void TMerge::Progress(void* object, std::int64_t records) {
  AddCounter(static_cast<TMerge*>(object)->counterHandle_, records);
}

void TMerge::Open(TMemorySpace& space) {
  file_->Open(OpenKind::kRead);
  const auto recordSize = CheckedCast<std::uint16_t>(OutputGate(1).declaredSize);
  readers_ = static_cast<TInFilePort**>(
      space.Alloc(CheckedMul<std::int64_t>(std::max<std::int64_t>(runs_, 1), sizeof(TInFilePort*))));
  total_ = 0;
  for (std::int64_t i = 0; i < runs_; ++i) {
    std::int64_t start, length;
    inputQueue_->Pop(start, length);
    readers_[i] = CreateIn<TInFilePort>(space);
    readers_[i]->PrepareRange(*file_, start, recordSize, length);
    readers_[i]->Open(space, ioBuffer_, {&TMerge::Progress, this});
    total_ += length;
  }
  counterHandle_ = OpenCounter(counterName_, total_);
  TSelect::Open(space);
}

bool TMerge::Step() {
  if (Winner().run == kEndRun) return false;
  // Leaf i is fed by the reader of run i; its number also keeps equal keys in run order.
  const std::uint32_t leaf = WinnerIndex();
  std::uint8_t* p = EmitWinner();
  if (readers_[leaf]->Read(p)) {
    std::uint16_t number;
    std::memcpy(&number, p + markOffset_, 2);
    if (number < 1 || number > descriptors_.size()) Trap("TMerge.Signal");
    Adjust(currentRun_, descriptors_[number - 1], p, leaf + 1);
  } else {
    AdjustEndSentinel(p);
  }
  return true;
}

void TMerge::Close() {
  TSelect::Close();
  for (std::int64_t i = runs_ - 1; i >= 0; --i) {
    readers_[i]->Close();
    Free(readers_[i]);
  }
  file_->Close();
  CloseCounter(counterHandle_);
}

}  // namespace vld
