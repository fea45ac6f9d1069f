#include "engine/runtime/layers.h"

#include <algorithm>
#include <cstdlib>

#include "platform/fatal.h"

namespace vld {

// ---- TMemoryLayer ---------------------------------------------------------------------------

TMemoryLayer::~TMemoryLayer() {
  if (below_ != nullptr) {
    // Give back everything allocated in this layer, this layer object included.
    TMemoryLayer& below = *below_;
    below.free_ = std::llabs(position_ - below.position_) + free_;
    TMemoryLayer* co = CoLayer();
    below.partner_ = co;
    if (co != nullptr) {
      co->partner_ = &below;
      co->free_ = below.free_;
    }
  } else if (TMemoryLayer* co = CoLayer()) {
    if (co->partner_ == this) co->partner_ = nullptr;
  }
}

std::int64_t TMemoryLayer::Available() const {
  if (!IsActive()) Fatal("layer inactive");
  std::int64_t r = CoLayer() ? 0 : free_;
  TMemoryLayer* c;
  if (supplement_ != nullptr) {
    r -= supplement_->borrowed_;
    c = supplement_->chainStart_ ? supplement_->chainStart_->partner_ : nullptr;
  } else {
    c = CoLayer();
  }
  if (c == nullptr) return r;
  if (TSupplementaryLayer* s = c->AsSupplementary()) {
    r += c->free_;
    c = s->supplemented_;
  }
  r += c->free_;
  if (c->supplement_ != nullptr) r -= c->supplement_->borrowed_;
  return r;
}

void* TMemoryLayer::Alloc(std::int64_t size) {
  if (size <= 0) return nullptr;
  if (free_ < size) return Exhausted(size);
  const std::int64_t take = std::min(AlignUp(size), free_);
  std::uint8_t* result = position_;
  position_ += take;
  free_ -= take;
  if (TMemoryLayer* co = CoLayer()) co->free_ -= take;
  return result;
}

void* TMemoryLayer::Exhausted(std::int64_t size) {
  if (!IsActive()) Fatal("layer inactive");
  if (Supplement(size) == nullptr) Fatal(ExhaustMessage());
  if (free_ < size) Fatal("supplementary layer too small");
  return Alloc(size);
}

TMemoryLayer* TMemoryLayer::NewSameKind(TMemorySpace& space) {
  return CreateIn<TMemoryLayer>(space);
}

TMemoryLayer* TMemoryLayer::NewOppositeKind(TMemorySpace& space) {
  return CreateIn<TMemoryBackLayer>(space);
}

TSupplementaryLayer* TMemoryLayer::Supplement(std::int64_t size) {
  if (TSupplementaryLayer* s = RequestSupplement(*this, size)) return s;
  // Nobody below answered: ask on the side of the co-layer.
  TMemoryLayer* co;
  if (supplement_ != nullptr) {
    co = supplement_->chainStart_ ? supplement_->chainStart_->partner_ : nullptr;
  } else {
    co = CoLayer();
  }
  if (co == nullptr) return nullptr;
  if (TSupplementaryLayer* s = co->AsSupplementary()) co = s->supplemented_;
  return co->RequestSupplement(*this, size);
}

TSupplementaryLayer* TMemoryLayer::RequestSupplement(TMemoryLayer& requester,
                                                     std::int64_t size) {
  return below_ ? below_->RequestSupplement(requester, size) : nullptr;
}

void TMemoryLayer::SetArea(std::uint8_t* start, std::int64_t size) {
  position_ = start;
  free_ = std::max<std::int64_t>(0, size);
}

void TMemoryLayer::TakeOver(TMemoryLayer& layer) {
  exhaustMessage_ = layer.exhaustMessage_;
  position_ = layer.position_;
  free_ = layer.free_;
  below_ = &layer;
  TMemoryLayer* co = layer.CoLayer();
  partner_ = co;
  if (co != nullptr) co->partner_ = this;
  layer.partner_ = &layer;  // covered: inactive
  layer.free_ = 0;
}

void TMemoryLayer::AttachAsCoLayer(TMemoryLayer& layer) {
  if (layer.CoLayer() != nullptr ||
      (layer.supplement_ != nullptr && layer.supplement_->chainStart_ != nullptr)) {
    Fatal("co-layer already existing");
  }
  exhaustMessage_ = layer.exhaustMessage_;
  position_ = layer.position_;
  free_ = layer.free_;
  below_ = nullptr;
  partner_ = &layer;
  layer.partner_ = this;
  position_ = IsBackLayer() ? layer.position_ + layer.free_ : layer.position_ - layer.free_;
}

void TMemoryLayer::BeforeFree() {
  if (!IsActive()) Fatal("layer inactive");
}

// ---- TMemoryBackLayer -----------------------------------------------------------------------

void* TMemoryBackLayer::Alloc(std::int64_t size) {
  if (size <= 0) return nullptr;
  if (free_ < size) return Exhausted(size);
  const std::int64_t take = std::min(AlignUp(size), free_);
  position_ -= take;
  free_ -= take;
  if (TMemoryLayer* co = CoLayer()) co->free_ -= take;
  return position_;
}

TMemoryLayer* TMemoryBackLayer::NewSameKind(TMemorySpace& space) {
  return CreateIn<TMemoryBackLayer>(space);
}

TMemoryLayer* TMemoryBackLayer::NewOppositeKind(TMemorySpace& space) {
  return CreateIn<TMemoryLayer>(space);
}

void TMemoryBackLayer::SetArea(std::uint8_t* start, std::int64_t size) {
  free_ = std::max<std::int64_t>(0, size);
  position_ = start + free_;
}

// ---- TSupplementaryLayer --------------------------------------------------------------------

void TSupplementaryLayer::AttachTo(TMemoryLayer& layer, std::uint8_t* start, std::int64_t size) {
  supplemented_ = &layer;
  layer.Own(this);
  TMemoryLayer* co = layer.CoLayer();
  // Keep the layer's state; toward the co-layer this block stands in for the layer.
  exhaustMessage_ = layer.exhaustMessage_;
  position_ = layer.position_;
  free_ = layer.free_;
  supplement_ = layer.supplement_;
  partner_ = co;
  borrowed_ = size - (co ? 0 : layer.free_) + (layer.supplement_ ? layer.supplement_->borrowed_ : 0);
  chainStart_ = co ? this : (layer.supplement_ ? layer.supplement_->chainStart_ : nullptr);
  if (co != nullptr) co->partner_ = this;
  layer.supplement_ = this;
  layer.partner_ = nullptr;
  layer.SetArea(start, size);
}

void TSupplementaryLayer::BeforeFree() {
  if (supplemented_ == nullptr) Fatal("unused supplementary layer");
}

TSupplementaryLayer::~TSupplementaryLayer() {
  if (supplemented_ == nullptr) return;
  TMemoryLayer& layer = *supplemented_;
  layer.position_ = position_;
  layer.free_ = free_;
  layer.supplement_ = supplement_;
  layer.partner_ = partner_;
  if (partner_ != nullptr && partner_ != this) partner_->partner_ = &layer;
  // Nothing of the base class's pop logic applies to a supplement.
  partner_ = nullptr;
  below_ = nullptr;
}

// ---- TSupplementingMemoryLayer --------------------------------------------------------------

TSupplementaryLayer* TSupplementingMemoryLayer::RequestSupplement(TMemoryLayer& requester,
                                                                  std::int64_t size) {
  if (!onSupplement) return nullptr;
  const Grant grant = onSupplement(requester, size);
  if (grant.space == nullptr || grant.size <= 0) return nullptr;
  auto* block = CreateWithRawExtra<TSupplementaryLayer>(*grant.space, grant.size);
  block->AttachTo(requester, TOrigin::ExtraOf(block), grant.size);
  return block;
}

// ---- Nil space, push, co-layer, placing -----------------------------------------------------

TMemoryLayer& NilSpace() {
  static TMemoryLayer* nil = [] {
    static TMemoryLayer layer;
    layer.SetArea(nullptr, 0);
    layer.SetExhaustMessage("nilspace yields nothing");
    return &layer;
  }();
  return *nil;
}

TMemoryLayer* PushLayer(TMemoryLayer& layer) {
  std::uint8_t* const mark = layer.position_;
  TMemoryLayer* pushed = layer.NewSameKind(layer);
  pushed->TakeOver(layer);
  layer.position_ = mark;
  return pushed;
}

void CreateCoLayer(TMemoryLayer& layer) {
  TMemoryLayer* co = layer.NewOppositeKind(layer);
  co->AttachAsCoLayer(layer);
}

std::int64_t LayerInstanceSize() { return InstanceSize<TMemoryLayer>(); }

void FatalBlockTooSmall() { Fatal("block too small for object"); }

void PlaceLayerBehind(TOrigin* object, std::uint8_t* start, std::int64_t size) {
  if (size <= LayerInstanceSize()) {
    object->space_ = &NilSpace();
    return;
  }
  auto* layer = ::new (start) TMemoryLayer();
  layer->space_ = &NilSpace();
  layer->SetArea(start + LayerInstanceSize(), size - LayerInstanceSize());
  layer->Init();
  object->space_ = layer;
  object->placedLayer_ = layer;
}

}  // namespace vld
