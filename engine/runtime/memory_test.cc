#include <gtest/gtest.h>

#include <vector>

#include "engine/runtime/heap.h"
#include "engine/runtime/hooks.h"
#include "engine/runtime/layers.h"
#include "engine/runtime/memory_control.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::FatalTextOf;

// A layer with its own arena in the standard heap, freed at the end of the test.
struct Arena {
  explicit Arena(std::int64_t size) : layer(CreateWithArena<TMemoryLayer>(StandardHeap(), size)) {}
  ~Arena() { Free(layer); }
  TMemoryLayer* layer;
};

class Counted : public TOrigin {
 public:
  explicit Counted(int* destroyed) : destroyed_(destroyed) {}
  ~Counted() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

TEST(MemoryTest, EmptyAndNegativeSizesAllocateNothingAnywhere) {
  Arena arena(1024);
  CreateCoLayer(*arena.layer);
  TMemoryHeap* heap = CreateIn<TMemoryHeap>(StandardHeap());
  heap->SetLimit(1000);
  std::vector<TMemorySpace*> spaces = {arena.layer, arena.layer->CoLayer(), heap, &StandardHeap()};
  for (TMemorySpace* space : spaces) {
    const std::int64_t before = space->FreeBytes();
    EXPECT_EQ(space->Alloc(0), nullptr);
    EXPECT_EQ(space->Alloc(-5), nullptr);
    EXPECT_EQ(space->FreeBytes(), before);
  }
  Free(heap);
}

TEST(MemoryTest, AllocationOfExactlyFreeBytesSucceedsAndOneMoreExhausts) {
  Arena arena(100);
  EXPECT_NE(arena.layer->Alloc(100), nullptr);
  EXPECT_EQ(arena.layer->FreeBytes(), 0);
  EXPECT_EQ(FatalTextOf([&] { arena.layer->Alloc(1); }), "Speicherraum erschöpft");
  arena.layer->SetExhaustMessage("Sortierspeicher erschöpft");
  EXPECT_EQ(FatalTextOf([&] { arena.layer->Alloc(1); }), "Sortierspeicher erschöpft");
}

TEST(MemoryTest, AllocationsAreAlignedForEveryObject) {
  Arena arena(1000);
  for (int size : {1, 3, 17, 40}) {
    auto address = reinterpret_cast<std::uintptr_t>(arena.layer->Alloc(size));
    EXPECT_EQ(address % kAllocAlignment, 0u) << size;
  }
}

TEST(MemoryTest, PoppingAPushedLayerRestoresFreeExactlyAndDestroysItsObjects) {
  Arena arena(4096);
  arena.layer->Alloc(100);
  const std::int64_t before = arena.layer->FreeBytes();
  int destroyed = 0;
  TMemoryLayer* phase = PushLayer(*arena.layer);
  EXPECT_FALSE(arena.layer->IsActive());
  EXPECT_EQ(FatalTextOf([&] { arena.layer->Alloc(8); }), "layer inactive");
  CreateIn<Counted>(*phase, &destroyed);
  TMemoryLayer* run = PushLayer(*phase);
  CreateIn<Counted>(*run, &destroyed);
  run->Alloc(500);
  EXPECT_EQ(FatalTextOf([&] { Free(phase); }), "layer inactive");
  Free(run);
  EXPECT_EQ(destroyed, 1);
  phase->Alloc(300);
  Free(phase);
  EXPECT_EQ(destroyed, 2);
  EXPECT_TRUE(arena.layer->IsActive());
  EXPECT_EQ(arena.layer->FreeBytes(), before);
}

TEST(MemoryTest, FreeingAnOuterLayerWhileUnwindingPopsTheLayersAboveItFirst) {
  Arena arena(4096);
  const std::int64_t before = arena.layer->FreeBytes();
  int destroyed = 0;
  TMemoryLayer* task = PushLayer(*arena.layer);
  TMemoryLayer* phase = PushLayer(*task);
  CreateIn<Counted>(*PushLayer(*phase), &destroyed);
  {
    ErrorUnwindScope unwinding;
    Free(task);
  }
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(arena.layer->FreeBytes(), before);
}

TEST(MemoryTest, CoLayersShareOneFreeAreaUntilTheEndsMeet) {
  Arena arena(1024);
  CreateCoLayer(*arena.layer);
  TMemoryLayer* back = arena.layer->CoLayer();
  ASSERT_NE(back, nullptr);
  const std::int64_t shared = arena.layer->FreeBytes();
  EXPECT_EQ(back->FreeBytes(), shared);
  auto* low = static_cast<std::uint8_t*>(arena.layer->Alloc(256));
  auto* high = static_cast<std::uint8_t*>(back->Alloc(256));
  EXPECT_EQ(arena.layer->FreeBytes(), shared - 512);
  EXPECT_EQ(back->FreeBytes(), shared - 512);
  EXPECT_GE(high, low + 256);
  back->Alloc(shared - 512);
  EXPECT_EQ(arena.layer->FreeBytes(), 0);
  EXPECT_EQ(FatalTextOf([&] { arena.layer->Alloc(1); }), "Speicherraum erschöpft");
  EXPECT_EQ(FatalTextOf([&] { CreateCoLayer(*arena.layer); }), "Speicherraum erschöpft");
}

TEST(MemoryTest, SecondCoLayerIsRefused) {
  Arena arena(4096);
  CreateCoLayer(*arena.layer);
  EXPECT_EQ(FatalTextOf([&] { CreateCoLayer(*arena.layer); }), "co-layer already existing");
}

TEST(MemoryTest, PushedBackLayerGivesBackToTheSharedArea) {
  Arena arena(4096);
  CreateCoLayer(*arena.layer);
  TMemoryLayer* back = arena.layer->CoLayer();
  const std::int64_t before = arena.layer->FreeBytes();
  TMemoryLayer* pushed = PushLayer(*back);
  pushed->Alloc(1000);
  arena.layer->Alloc(100);
  Free(pushed);
  EXPECT_EQ(back->FreeBytes(), before - 112);
  EXPECT_EQ(arena.layer->FreeBytes(), before - 112);
}

TEST(MemoryTest, PlaceInBlockGivesALayerOnlyWhenTheRemainderCanHoldOne) {
  struct Holder : TOrigin {};
  const std::int64_t object = InstanceSize<Holder>();
  std::vector<std::uint8_t> block(4096);
  struct Case {
    std::int64_t remainder;
    bool ownLayer;
  } cases[] = {{LayerInstanceSize(), false}, {LayerInstanceSize() + 1, true}, {0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.remainder);
    Holder* h = PlaceInBlock<Holder>(block.data(), object + c.remainder, 0);
    EXPECT_EQ(h->Space() == &NilSpace(), !c.ownLayer);
    if (c.ownLayer) {
      EXPECT_EQ(h->Space()->FreeBytes(), c.remainder - LayerInstanceSize());
    }
    Free(h);
  }
  EXPECT_EQ(FatalTextOf([&] { PlaceInBlock<Holder>(block.data(), object + 9, 10); }),
            "block too small for object");
}

TEST(MemoryTest, NilSpaceYieldsNothing) {
  EXPECT_EQ(FatalTextOf([] { NilSpace().Alloc(1); }), "nilspace yields nothing");
}

TEST(MemoryTest, EmptyShortStringIsNeverAllocated) {
  Arena arena(256);
  const std::int64_t before = arena.layer->FreeBytes();
  EXPECT_EQ(arena.layer->NewStr(""), EmptyShortString());
  EXPECT_EQ(arena.layer->FreeBytes(), before);
  const std::uint8_t* s = arena.layer->NewStr("Müller");
  EXPECT_EQ(ShortStringView(s), "Müller");
}

TEST(MemoryTest, HeapBudgetIsTakenAndGivenBack) {
  TMemoryHeap* heap = CreateIn<TMemoryHeap>(StandardHeap());
  heap->SetLimit(1000);
  void* a = heap->Alloc(600);
  EXPECT_EQ(heap->FreeBytes(), 400);
  EXPECT_EQ(FatalTextOf([&] { heap->Alloc(401); }), "Heap-Raum erschöpft");
  heap->Release(a);
  EXPECT_EQ(heap->FreeBytes(), 1000);
  heap->Alloc(10);  // left for the heap to free with itself
  Free(heap);
}

TEST(MemoryTest, OwnedObjectsAreFreedWithTheirOwnerNewestFirst) {
  int destroyed = 0;
  auto* owner = CreateIn<Counted>(StandardHeap(), &destroyed);
  CreateOwned<Counted>(*owner, 0, &destroyed);
  CreateOwned<Counted>(*owner, 16, &destroyed);
  void* bytes = owner->AllocOwned(100);
  EXPECT_NE(bytes, nullptr);
  Free(owner);
  EXPECT_EQ(destroyed, 3);
  EXPECT_EQ(StandardHeap().ObjectCount(), 0);
}

TEST(MemoryTest, UnusedSupplementaryLayerIsMisuse) {
  auto* block = CreateIn<TSupplementaryLayer>(StandardHeap());
  EXPECT_EQ(FatalTextOf([&] { Free(block); }), "unused supplementary layer");
  ErrorUnwindScope unwinding;
  Free(block);
}

// ---- Task memory with tiny budgets ----------------------------------------------------------

class TaskMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = MemorySettings();
    MemorySettings() = {/*lowerLimit=*/1024, /*upperLimit=*/4096, /*supplementStep=*/1024,
                        /*questionThreshold=*/0};
  }
  void TearDown() override { MemorySettings() = saved_; }

  TaskHooks Hooks(bool answer) {
    TaskHooks hooks;
    hooks.question = [this, answer](std::int64_t, std::int64_t) {
      ++questions_;
      return answer;
    };
    return hooks;
  }

  TMemorySettings saved_;
  int questions_ = 0;
};

TEST_F(TaskMemoryTest, EveryLayerGrowsWhenTheUserAgreesAndGivesEverythingBack) {
  ScopedTaskHooks hooks(Hooks(true));
  auto* control = CreateIn<TMemoryControl>(StandardHeap());
  ASSERT_EQ(TaskMemory().mainLayer, &control->MainLayer());
  const std::int64_t heapBefore = control->Heap().FreeBytes();
  const std::int64_t available = control->MainLayer().Available();

  TMemoryLayer* task = TaskMemory().pushMain(*TaskMemory().mainLayer);
  TMemoryLayer* run = PushLayer(*task);
  TMemoryLayer* backRun = TaskMemory().pushBack(*TaskMemory().backLayer);
  std::vector<std::uint8_t*> blocks;
  for (int i = 0; i < 40; ++i) {
    auto* a = static_cast<std::uint8_t*>(run->Alloc(300));
    auto* b = static_cast<std::uint8_t*>(backRun->Alloc(200));
    std::memset(a, 0xAA, 300);
    std::memset(b, 0xBB, 200);
    blocks.push_back(a);
  }
  EXPECT_GT(questions_, 0);
  EXPECT_LT(run->Available(), 0) << "memory was borrowed";
  for (std::uint8_t* a : blocks) EXPECT_EQ(a[299], 0xAA);
  Free(backRun);
  Free(run);
  Free(task);
  EXPECT_EQ(control->MainLayer().Available(), available);
  EXPECT_EQ(control->Heap().FreeBytes(), heapBefore);
  Free(control);
  EXPECT_EQ(TaskMemory().mainLayer, nullptr);
}

TEST_F(TaskMemoryTest, NoQuestionUpToTheThreshold) {
  MemorySettings().questionThreshold = 1 << 20;
  ScopedTaskHooks hooks(Hooks(false));
  auto* control = CreateIn<TMemoryControl>(StandardHeap());
  TMemoryLayer* run = PushLayer(control->MainLayer());
  for (int i = 0; i < 20; ++i) run->Alloc(1000);
  EXPECT_EQ(questions_, 0);
  Free(run);
  Free(control);
}

TEST_F(TaskMemoryTest, RefusalEndsWithTheExhaustionText) {
  ScopedTaskHooks hooks(Hooks(false));
  auto* control = CreateIn<TMemoryControl>(StandardHeap());
  TMemoryLayer* run = PushLayer(control->MainLayer());
  EXPECT_EQ(FatalTextOf([&] { run->Alloc(8000); }), "Speicherraum erschöpft");
  EXPECT_EQ(questions_, 1);
  ErrorUnwindScope unwinding;
  Free(control);
}

TEST_F(TaskMemoryTest, AllocationLargerThanOneStepIsGrantedWhole) {
  ScopedTaskHooks hooks(Hooks(true));
  auto* control = CreateIn<TMemoryControl>(StandardHeap());
  TMemoryLayer* run = PushLayer(control->MainLayer());
  auto* big = static_cast<std::uint8_t*>(run->Alloc(100000));
  ASSERT_NE(big, nullptr);
  std::memset(big, 1, 100000);
  Free(run);
  Free(control);
}

TEST_F(TaskMemoryTest, SupplementIsRefusedWhenTheHeapBudgetIsBelowOneStep) {
  MemorySettings().supplementStep = kTaskHeapBudget;  // more than is left after the main arena
  ScopedTaskHooks hooks(Hooks(true));
  auto* control = CreateIn<TMemoryControl>(StandardHeap());
  TMemoryLayer* run = PushLayer(control->MainLayer());
  EXPECT_EQ(FatalTextOf([&] { run->Alloc(8000); }), "Speicherraum erschöpft");
  EXPECT_EQ(questions_, 0);
  ErrorUnwindScope unwinding;
  Free(control);
}

TEST_F(TaskMemoryTest, WithoutQuestionHookNothingIsGranted) {
  auto* control = CreateIn<TMemoryControl>(StandardHeap());
  EXPECT_EQ(FatalTextOf([&] { control->MainLayer().Alloc(5000); }), "Speicherraum erschöpft");
  Free(control);
}

}  // namespace
}  // namespace vld
