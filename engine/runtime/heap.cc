#include "engine/runtime/heap.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

#include "platform/fatal.h"

namespace vld {

// Prefix of every block of a budgeted heap: its size and the links of the outstanding blocks.
struct TMemoryHeap::Block {
  std::int64_t size;
  Block* prev;
  Block* next;
  std::int64_t padding;
};


namespace {
constexpr std::align_val_t kAlign{static_cast<std::size_t>(kAllocAlignment)};
constexpr std::int64_t kLargestBlock = std::numeric_limits<std::int64_t>::max() / 2;

// A task's arena is hundreds of megabytes that the sort tree touches page by page; in pages of
// 2 MB the first touch costs a fraction of the faults. Only a hint: where the system does not
// offer large pages, nothing changes.
constexpr std::uintptr_t kLargePage = 2 << 20;
void AdviseLargePages(void* address, std::int64_t size) {
  if (size < 8 * static_cast<std::int64_t>(kLargePage)) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(address);
  const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
  const std::uintptr_t last = (begin + static_cast<std::uintptr_t>(size)) & ~(kLargePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}
}  // namespace

TMemoryHeap::~TMemoryHeap() {
  // Objects were freed by FreeContents; what is left are raw blocks nobody gave back.
  while (blocks_ != nullptr) {
    Block* b = blocks_;
    blocks_ = b->next;
    ::operator delete(b, kAlign);
  }
}

void TMemoryHeap::Init() { SetExhaustMessage("Heap-Raum erschöpft"); }

void TMemoryHeap::SetLimit(std::int64_t bytes) { free_ = bytes > 0 ? bytes : 0; }

void* TMemoryHeap::Alloc(std::int64_t size) {
  if (size <= 0) return nullptr;
  if (size > kLargestBlock) RaiseIntegerOverflow();
  if (free_ < size) return Exhausted(size);
  free_ -= size;
  auto* block = static_cast<Block*>(
      ::operator new(static_cast<std::size_t>(AlignUp(size)) + sizeof(Block), kAlign));
  AdviseLargePages(block + 1, size);
  block->size = size;
  block->prev = nullptr;
  block->next = blocks_;
  if (blocks_ != nullptr) blocks_->prev = block;
  blocks_ = block;
  return block + 1;
}

void TMemoryHeap::Release(void* address) {
  if (address == nullptr) return;
  Block* block = static_cast<Block*>(address) - 1;
  free_ += block->size;
  if (block->prev != nullptr) {
    block->prev->next = block->next;
  } else {
    blocks_ = block->next;
  }
  if (block->next != nullptr) block->next->prev = block->prev;
  ::operator delete(block, kAlign);
}

void TStdMemoryHeap::Init() {
  TMemoryHeap::Init();
  SetLimit(2147483647);
}

void* TStdMemoryHeap::Alloc(std::int64_t size) {
  if (size <= 0) return nullptr;
  if (size > kLargestBlock) RaiseIntegerOverflow();
  return ::operator new(static_cast<std::size_t>(AlignUp(size)), kAlign);
}

void TStdMemoryHeap::Release(void* address) {
  if (address != nullptr) ::operator delete(address, kAlign);
}

TMemorySpace& StandardHeap() {
  static TStdMemoryHeap* heap = [] {
    static TStdMemoryHeap h;
    h.Init();
    return &h;
  }();
  return *heap;
}

}  // namespace vld
