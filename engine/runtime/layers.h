// Memory layers: stack-like arenas with mark-and-release discipline.
//
// A layer allocates by bumping a position through one contiguous block (TMemoryLayer upwards,
// TMemoryBackLayer downwards). PushLayer creates a new layer on top of an existing one; the
// lower layer is inactive while covered, and freeing the pushed layer gives back everything
// allocated in it at once. A co-layer (CreateCoLayer) allocates from the other end of the same
// free area. An exhausted layer asks down its chain for a supplementary block; the task's
// TSupplementingMemoryLayer decides (memory_control.h) and may ask the user first.
//
// Call order of a task: CreateWithArena (main layer), CreateCoLayer (back layer), then per
// phase and per pipeline run PushLayer ... Free(pushed) in reverse order of pushing.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/runtime/origin.h"

namespace vld {

class TSupplementaryLayer;

class TMemoryLayer : public TMemorySpace {
 public:
  TMemoryLayer() = default;
  ~TMemoryLayer() override;

  bool IsHeap() const override { return false; }
  bool IsActive() const override { return partner_ != this; }
  std::int64_t Available() const override;
  void* Exhausted(std::int64_t size) override;
  void* Alloc(std::int64_t size) override;
  void Release(void*) override {}

  // A new layer of the same kind, created in `space` with an arena of `arena` bytes behind it
  // (arena 0: no arena of its own).
  virtual TMemoryLayer* NewSameKind(TMemorySpace& space);
  virtual TMemoryLayer* NewOppositeKind(TMemorySpace& space);
  // Tries to get a supplementary block for an allocation of `size` bytes.
  virtual TSupplementaryLayer* Supplement(std::int64_t size);
  // Forwards to the layer below; answered by TSupplementingMemoryLayer.
  virtual TSupplementaryLayer* RequestSupplement(TMemoryLayer& requester, std::int64_t size);
  virtual void SetArea(std::uint8_t* start, std::int64_t size);
  virtual void TakeOver(TMemoryLayer& layer);
  virtual void AttachAsCoLayer(TMemoryLayer& layer);
  virtual bool IsBackLayer() const { return false; }
  virtual TSupplementaryLayer* AsSupplementary() { return nullptr; }
  virtual const TSupplementaryLayer* AsSupplementary() const { return nullptr; }

  // The co-layer sharing this layer's free area, or empty.
  TMemoryLayer* CoLayer() const { return partner_ != this ? partner_ : nullptr; }
  TMemoryLayer* Below() const { return below_; }
  TSupplementaryLayer* CurrentSupplement() const { return supplement_; }
  std::uint8_t* Position() const { return position_; }

 protected:
  void BeforeFree() override;

  friend class TSupplementaryLayer;
  friend class TSupplementingMemoryLayer;
  friend class TMemoryBackLayer;
  friend TMemoryLayer* PushLayer(TMemoryLayer& layer);
  friend void CreateCoLayer(TMemoryLayer& layer);

  std::uint8_t* position_ = nullptr;
  TMemoryLayer* below_ = nullptr;
  TMemoryLayer* partner_ = nullptr;
  TSupplementaryLayer* supplement_ = nullptr;
};

class TMemoryBackLayer : public TMemoryLayer {
 public:
  void* Alloc(std::int64_t size) override;
  TMemoryLayer* NewSameKind(TMemorySpace& space) override;
  TMemoryLayer* NewOppositeKind(TMemorySpace& space) override;
  void SetArea(std::uint8_t* start, std::int64_t size) override;
  bool IsBackLayer() const override { return true; }
};

// A block added to an exhausted layer. While attached it keeps the supplemented layer's previous
// position, free bytes, supplement and co-layer (in its own fields) and gives them back when it
// is freed.
class TSupplementaryLayer : public TMemoryLayer {
 public:
  ~TSupplementaryLayer() override;
  TSupplementaryLayer* AsSupplementary() override { return this; }
  const TSupplementaryLayer* AsSupplementary() const override { return this; }
  TMemoryLayer* Supplemented() const { return supplemented_; }
  std::int64_t Borrowed() const { return borrowed_; }
  TSupplementaryLayer* ChainStart() const { return chainStart_; }

  // Attaches this block (its arena: start, size) to `layer`.
  void AttachTo(TMemoryLayer& layer, std::uint8_t* start, std::int64_t size);

 protected:
  void BeforeFree() override;

 private:
  friend class TMemoryLayer;
  TMemoryLayer* supplemented_ = nullptr;
  TSupplementaryLayer* chainStart_ = nullptr;
  std::int64_t borrowed_ = 0;
};

// A layer that answers requests for supplements through a callback.
class TSupplementingMemoryLayer : public TMemoryLayer {
 public:
  // Returns the space and size of a granted supplement for an allocation of `size` bytes by
  // `requester`, or size 0 when refused.
  struct Grant {
    TMemorySpace* space = nullptr;
    std::int64_t size = 0;
  };
  std::function<Grant(TMemoryLayer& requester, std::int64_t size)> onSupplement;

  TSupplementaryLayer* RequestSupplement(TMemoryLayer& requester, std::int64_t size) override;
};

// The nil space: a layer of size 0 whose allocations end with "nilspace yields nothing".
TMemoryLayer& NilSpace();

// Creates a layer of class L in `space` with an arena of `size` bytes right behind it.
template <typename L>
L* CreateWithArena(TMemorySpace& space, std::int64_t size) {
  L* layer = CreateWithRawExtra<L>(space, size);
  layer->SetArea(TOrigin::ExtraOf(layer), size);
  return layer;
}

// Pushes a new layer of the same kind onto `layer` and returns it; `layer` is inactive until
// the new layer is freed.
TMemoryLayer* PushLayer(TMemoryLayer& layer);

// Gives `layer` a co-layer of the opposite kind over the same free area.
void CreateCoLayer(TMemoryLayer& layer);

// Bytes a layer object takes in a block; a remainder of at most this many bytes is too small to
// be managed by a layer of its own.
std::int64_t LayerInstanceSize();

// Builds an object of class T at the start of `block`. When more than LayerInstanceSize() bytes
// remain behind it, a layer placed there manages them and becomes the object's space; otherwise
// the object's space is the nil space. A block smaller than the object plus `extra` is the fatal
// error "block too small for object".
template <typename T, typename... Args>
T* PlaceInBlock(void* block, std::int64_t blockSize, std::int64_t extra, Args&&... args);

void PlaceLayerBehind(TOrigin* object, std::uint8_t* start, std::int64_t size);
[[noreturn]] void FatalBlockTooSmall();

template <typename T, typename... Args>
T* PlaceInBlock(void* block, std::int64_t blockSize, std::int64_t extra, Args&&... args) {
  const std::int64_t needed = CheckedAdd(InstanceSize<T>(), extra > 0 ? extra : 0);
  if (blockSize < needed) FatalBlockTooSmall();
  auto* bytes = static_cast<std::uint8_t*>(block);
  if (extra > 0) std::memset(bytes + InstanceSize<T>(), 0, static_cast<std::size_t>(extra));
  T* object = ::new (block) T(std::forward<Args>(args)...);
  PlaceLayerBehind(object, bytes + AlignUp(needed), blockSize - AlignUp(needed));
  object->Init();
  return object;
}

}  // namespace vld
