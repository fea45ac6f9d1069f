#include "engine/runtime/origin.h"

#include <exception>

#include "engine/runtime/heap.h"
#include "platform/fatal.h"

namespace vld {
namespace {

const std::uint8_t kEmptyShortString[1] = {0};
thread_local int t_unwindDepth = 0;

// A helper that only carries extra bytes for AllocOwned from a heap.
class TOwnedBytes final : public TOrigin {};

}  // namespace

const std::uint8_t* EmptyShortString() { return kEmptyShortString; }

std::string_view ShortStringView(const std::uint8_t* text) {
  if (text == nullptr) return {};
  return std::string_view(reinterpret_cast<const char*>(text + 1), text[0]);
}

bool UnwindingAfterError() { return t_unwindDepth > 0 || std::uncaught_exceptions() > 0; }
ErrorUnwindScope::ErrorUnwindScope() { ++t_unwindDepth; }
ErrorUnwindScope::~ErrorUnwindScope() { --t_unwindDepth; }

// ---- TOrigin --------------------------------------------------------------------------------

TOrigin::~TOrigin() { FreeOwned(); }

void TOrigin::FreeOwned() {
  while (owned_ != nullptr) {
    TOrigin* child = owned_;
    owned_ = child->nextOwned_;
    child->owner_ = nullptr;
    child->nextOwned_ = nullptr;
    Free(child);
  }
}

void TOrigin::Own(TOrigin* child) {
  child->nextOwned_ = owned_;
  child->owner_ = this;
  owned_ = child;
}

void* TOrigin::AllocOwned(std::int64_t size) {
  if (size <= 0) return nullptr;
  TMemorySpace& space = space_ ? *space_ : StandardHeap();
  if (space.IsHeap()) {
    TOwnedBytes* helper = CreateOwned<TOwnedBytes>(*this, size);
    return ExtraOf(helper);
  }
  return space.Alloc(size);
}

const std::uint8_t* TOrigin::NewStr(std::string_view text) {
  if (text.empty()) return EmptyShortString();
  if (text.size() > 255) text = text.substr(0, 255);
  auto* out = static_cast<std::uint8_t*>(AllocOwned(static_cast<std::int64_t>(text.size()) + 1));
  out[0] = static_cast<std::uint8_t>(text.size());
  std::memcpy(out + 1, text.data(), text.size());
  return out;
}

void Free(TOrigin* object) {
  if (object == nullptr) return;
  if (object->owner_ != nullptr) {
    // Unlink from the owner's list; the owner no longer frees it.
    TOrigin** link = &object->owner_->owned_;
    while (*link != nullptr && *link != object) link = &(*link)->nextOwned_;
    if (*link == object) *link = object->nextOwned_;
    object->owner_ = nullptr;
  }
  if (!UnwindingAfterError()) object->BeforeFree();
  object->FreeContents();
  object->FreeOwned();
  TMemorySpace* space = object->space_;
  TMemorySpace* placedLayer = object->placedLayer_;
  const bool created = object->createdInSpace_;
  if (created) space->Unregister(object);
  object->~TOrigin();
  if (placedLayer != nullptr) Free(placedLayer);
  if (created) {
    space->Release(object);
  } else if (space == nullptr) {
    // Made by the general allocator with new.
    ::operator delete(object);
  }
  // Placed objects (PlaceInBlock) live in their caller's block; nothing more to give back.
}

// ---- TMemorySpace ---------------------------------------------------------------------------

TMemorySpace::~TMemorySpace() = default;

const char* TMemorySpace::ExhaustMessage() const {
  return exhaustMessage_ ? exhaustMessage_ : "Speicherraum erschöpft";
}

void* TMemorySpace::Exhausted(std::int64_t) { Fatal(ExhaustMessage()); }

const std::uint8_t* TMemorySpace::NewStr(std::string_view text) {
  if (text.empty()) return EmptyShortString();
  if (text.size() > 255) text = text.substr(0, 255);
  auto* out = static_cast<std::uint8_t*>(Alloc(static_cast<std::int64_t>(text.size()) + 1));
  out[0] = static_cast<std::uint8_t>(text.size());
  std::memcpy(out + 1, text.data(), text.size());
  return out;
}

void TMemorySpace::DisposeStr(const std::uint8_t* text) {
  if (text == nullptr || text == EmptyShortString() || text[0] == 0) return;
  Release(const_cast<std::uint8_t*>(text));
}

void TMemorySpace::Register(TOrigin* object) {
  object->prevInSpace_ = nullptr;
  object->nextInSpace_ = newestObject_;
  if (newestObject_ != nullptr) newestObject_->prevInSpace_ = object;
  newestObject_ = object;
}

void TMemorySpace::Unregister(TOrigin* object) {
  if (object->prevInSpace_ != nullptr) {
    object->prevInSpace_->nextInSpace_ = object->nextInSpace_;
  } else if (newestObject_ == object) {
    newestObject_ = object->nextInSpace_;
  }
  if (object->nextInSpace_ != nullptr) object->nextInSpace_->prevInSpace_ = object->prevInSpace_;
  object->prevInSpace_ = object->nextInSpace_ = nullptr;
}

std::int64_t TMemorySpace::ObjectCount() const {
  std::int64_t n = 0;
  for (TOrigin* o = newestObject_; o != nullptr; o = o->nextInSpace_) ++n;
  return n;
}

void TMemorySpace::FreeContents() {
  while (newestObject_ != nullptr) Free(newestObject_);
}

}  // namespace vld
