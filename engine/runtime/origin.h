// Engine objects and the memory spaces they live in.
//
// Every object of the matching engine descends from TOrigin and is created in a memory space:
// a budgeted heap or a stack-like layer (layers.h). A match task allocates almost everything
// (process objects, record buffers, hash tables, sort queues) from layers that are released in
// one stroke when a pipeline run or a phase ends.
//
// Creation: CreateIn<T>(space, args...) allocates the object (plus optional zero-filled extra
// bytes right behind it) from the space, constructs it, records the space and calls Init().
// Release: Free(object) destroys what the object owns (newest first), then the object, and
// gives its bytes back to its space (a no-op for layers). A space keeps a list of the objects
// created in it; when a space goes, every object still in it is freed first, newest first, so
// that files and other resources held by objects of a layer are closed when the layer is popped.
//
// Sizes are signed 64-bit byte counts; size arithmetic goes through the checked helpers.
// Allocations are rounded up to 16 bytes so that every object is aligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/checked.h"

namespace vld {

class TMemorySpace;

inline constexpr std::int64_t kAllocAlignment = 16;
constexpr std::int64_t AlignUp(std::int64_t size) {
  return (size + kAllocAlignment - 1) & ~(kAllocAlignment - 1);
}
// Bytes an instance of T takes in a space before its extra bytes.
template <typename T>
constexpr std::int64_t InstanceSize() {
  return AlignUp(static_cast<std::int64_t>(sizeof(T)));
}

class TOrigin {
 public:
  TOrigin() = default;
  TOrigin(const TOrigin&) = delete;
  TOrigin& operator=(const TOrigin&) = delete;
  // Frees the objects this one still owns (newest first).
  virtual ~TOrigin();

  // Called once right after the object has been placed in memory and its space set.
  virtual void Init() {}

  TMemorySpace* Space() const { return space_; }

  // `size` bytes that live as long as this object; empty for size <= 0. From a heap the bytes
  // come from an owned helper object; from a layer straight from the layer.
  void* AllocOwned(std::int64_t size);

  // Copies `text` (at most 255 bytes) as a short string into memory of this object.
  const std::uint8_t* NewStr(std::string_view text);

  // Puts `child` at the head of this object's owned list; it is freed with this object.
  void Own(TOrigin* child);

  // The extra bytes behind an object created with extra bytes.
  template <typename T>
  static std::uint8_t* ExtraOf(T* object) {
    return reinterpret_cast<std::uint8_t*>(object) + InstanceSize<T>();
  }

 protected:
  // Called first by Free(); may raise the fatal error for misuse on the normal path (a covered
  // layer, a file still open). Not called while unwinding after an error.
  virtual void BeforeFree() {}
  // Hook for spaces: frees the objects created in the space before the owned list goes.
  virtual void FreeContents() {}

 private:
  friend class TMemorySpace;
  friend void Free(TOrigin* object);
  template <typename T, typename... Args>
  friend T* CreateWithRawExtra(TMemorySpace& space, std::int64_t extra, Args&&... args);
  template <typename T, typename... Args>
  friend T* PlaceInBlock(void* block, std::int64_t blockSize, std::int64_t extra, Args&&... args);
  friend class TMemoryLayer;
  friend void PlaceLayerBehind(TOrigin* object, std::uint8_t* start, std::int64_t size);
  friend class TStdMemoryHeap;

  void FreeOwned();

  TMemorySpace* space_ = nullptr;
  TOrigin* owned_ = nullptr;
  TOrigin* nextOwned_ = nullptr;
  TOrigin* owner_ = nullptr;
  // Links of the list of objects created in `space_`.
  TOrigin* prevInSpace_ = nullptr;
  TOrigin* nextInSpace_ = nullptr;
  // Set when the object was placed in a block with a layer behind it (PlaceInBlock).
  TMemorySpace* placedLayer_ = nullptr;
  bool createdInSpace_ = false;
};

class TMemorySpace : public TOrigin {
 public:
  ~TMemorySpace() override;

  virtual bool IsHeap() const = 0;
  virtual bool IsActive() const = 0;
  // Bytes still available; negative when memory was borrowed through supplements.
  virtual std::int64_t Available() const { return free_; }
  // Called when an allocation of `size` bytes does not fit. Heaps end with the fatal error;
  // layers try to get a supplementary block and retry.
  virtual void* Exhausted(std::int64_t size);
  // `size` fresh bytes (aligned to 16); empty for size <= 0.
  virtual void* Alloc(std::int64_t size) = 0;
  virtual void Release(void* address) = 0;

  // Copies a short string into length+1 bytes of this space; the empty string is never
  // allocated (a process-wide empty short string is returned).
  const std::uint8_t* NewStr(std::string_view text);
  void DisposeStr(const std::uint8_t* text);

  // Text of the fatal error when the space runs out; the pointer is stored, not copied.
  void SetExhaustMessage(const char* text) { exhaustMessage_ = text; }
  const char* ExhaustMessage() const;

  std::int64_t FreeBytes() const { return free_; }

  // Number of objects created in this space and not yet freed.
  std::int64_t ObjectCount() const;

 protected:
  void FreeContents() override;

  const char* exhaustMessage_ = nullptr;
  std::int64_t free_ = 0;

 private:
  friend class TOrigin;
  friend void Free(TOrigin* object);
  template <typename T, typename... Args>
  friend T* CreateWithRawExtra(TMemorySpace& space, std::int64_t extra, Args&&... args);
  void Register(TOrigin* object);
  void Unregister(TOrigin* object);
  TOrigin* newestObject_ = nullptr;
};

// The process-wide empty short string (length byte 0).
const std::uint8_t* EmptyShortString();
std::string_view ShortStringView(const std::uint8_t* text);

// The standard heap: objects created without a space come from it.
TMemorySpace& StandardHeap();

// Frees an object as described above. Empty is allowed.
void Free(TOrigin* object);

// True while the engine releases memory and files after an error (a fatal error or an
// exception is on its way to the task driver): objects then close quietly instead of reporting
// misuse such as a file destroyed while open.
bool UnwindingAfterError();
class ErrorUnwindScope {
 public:
  ErrorUnwindScope();
  ~ErrorUnwindScope();
  ErrorUnwindScope(const ErrorUnwindScope&) = delete;
  ErrorUnwindScope& operator=(const ErrorUnwindScope&) = delete;
};

// As CreateWithExtra, but the extra bytes are left as they come (an arena of a layer needs no
// zeroing, and zeroing a large arena would touch every page of it at once).
template <typename T, typename... Args>
T* CreateWithRawExtra(TMemorySpace& space, std::int64_t extra, Args&&... args);

template <typename T, typename... Args>
T* CreateWithExtra(TMemorySpace& space, std::int64_t extra, Args&&... args) {
  const std::int64_t extraBytes = extra > 0 ? extra : 0;
  T* object = CreateWithRawExtra<T>(space, extraBytes, std::forward<Args>(args)...);
  if (extraBytes > 0) std::memset(TOrigin::ExtraOf(object), 0, static_cast<std::size_t>(extraBytes));
  return object;
}

template <typename T, typename... Args>
T* CreateWithRawExtra(TMemorySpace& space, std::int64_t extra, Args&&... args) {
  static_assert(std::is_base_of_v<TOrigin, T>);
  static_assert(alignof(T) <= kAllocAlignment);
  const std::int64_t extraBytes = extra > 0 ? extra : 0;
  const std::int64_t size = CheckedAdd(InstanceSize<T>(), extraBytes);
  void* memory = space.Alloc(size);
  T* object = ::new (memory) T(std::forward<Args>(args)...);
  object->space_ = &space;
  object->createdInSpace_ = true;
  space.Register(object);
  object->Init();
  return object;
}

template <typename T, typename... Args>
T* CreateIn(TMemorySpace& space, Args&&... args) {
  return CreateWithExtra<T>(space, 0, std::forward<Args>(args)...);
}

// CreateWithExtra in the owner's space; the new object is put at the head of owner's list.
template <typename T, typename... Args>
T* CreateOwned(TOrigin& owner, std::int64_t extra, Args&&... args) {
  T* object = CreateWithExtra<T>(owner.Space() ? *owner.Space() : StandardHeap(), extra,
                                 std::forward<Args>(args)...);
  owner.Own(object);
  return object;
}

}  // namespace vld
