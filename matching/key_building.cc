#include "matching/key_building.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/files/global.h"
#include "engine/pipeline/file_layout.h"
#include "platform/codepage.h"
#include "platform/fatal.h"

namespace vld {

// ---- TKeyProcess ----------------------------------------------------------------------------

void TKeyProcess::SetupGates(TProcessManager* manager, std::int32_t inputSize,
                             std::int32_t outputSize) {
  Register(*this, manager);
  ActivateInput(1, inputSize, 1u << 1, BindCall<&TKeyProcess::OnCall>(this),
                BindSend<&TKeyProcess::OnSend>(this));
  ActivateOutput(1, kModeSend, outputSize);
}

void TKeyProcess::Open(TMemorySpace& space) {
  ownSize_ = EffectiveRecordSize(OutputGate(1));
  own_ = static_cast<std::uint8_t*>(space.Alloc(std::max(ownSize_, 1)));
}

std::uint8_t* TKeyProcess::OnSend(std::int32_t size, const void* tag, std::uint8_t* record) {
  const std::int32_t out = Transform(tag, record, size);
  return OutputGate(1).Send(out, tag, record);
}

void TKeyProcess::OnCall(std::int32_t size, const void* tag, std::uint8_t* record) {
  std::memcpy(own_, record, static_cast<std::size_t>(std::min(size, ownSize_)));
  const std::int32_t out = Transform(tag, own_, size);
  own_ = OutputGate(1).Send(out, tag, own_);
}

namespace {

// Decimal value of the digits of a postal-code part: leading blanks and zero bytes skipped,
// reading stops at the first non-digit, more than 9 digits read as 0.
std::int32_t ReadCode(const std::uint8_t* p, std::int32_t length) {
  return static_cast<std::int32_t>(
      ParseUnsigned(std::string_view(reinterpret_cast<const char*>(p), length), 9));
}

void WriteCode(std::uint8_t* p, std::int32_t length, std::int32_t value) {
  for (std::int32_t i = length - 1; i >= 0; --i) {
    p[i] = static_cast<std::uint8_t>('0' + value % 10);
    value /= 10;
  }
}

}  // namespace

// ---- TBuildSortKey --------------------------------------------------------------------------

void TBuildSortKey::Setup(TProcessManager* manager, const TParameterStore& set,
                          const TKeyTables& tables, std::int32_t inputSize) {
  set_ = &set;
  tables_ = &tables;
  SetupGates(manager, inputSize, set.Fields().classRecordLength);
}

std::int32_t TBuildSortKey::Transform(const void* tag, std::uint8_t* record, std::int32_t) {
  const TFileLayout& layout = LayoutOf(tag);
  const TParameterFields& f = set_->Fields();
  std::uint8_t* key = record + layout.classKeyPosition - 1;
  std::uint8_t* at = key;
  for (const TFieldEntry& field : set_->FieldVector(2)) {
    std::memcpy(at, record + field.position - 1, field.length);
    at += field.length;
  }
  UpperCase437InPlace(std::span(key, layout.classKeyLength));
  if (f.plzPart.length > 0 && tables_->plzMap) {
    std::uint8_t* part = key + f.plzPart.position - 1;
    WriteCode(part, f.plzPart.length, tables_->plzMap(ReadCode(part, f.plzPart.length)));
  }
  return layout.classRecordLength;
}

// ---- TBuildSortOutKey -----------------------------------------------------------------------

void TBuildSortOutKey::Setup(TProcessManager* manager, const TParameterStore& set,
                             std::int32_t inputSize) {
  set_ = &set;
  SetupGates(manager, inputSize, set.Fields().outSortRecordLength);
}

std::int32_t TBuildSortOutKey::Transform(const void* tag, std::uint8_t* record, std::int32_t) {
  const TFileLayout& layout = LayoutOf(tag);
  std::uint8_t* number = record + layout.outFileNumberPosition - 1;
  number[0] = static_cast<std::uint8_t>(layout.number);
  number[1] = static_cast<std::uint8_t>(layout.number >> 8);
  std::uint8_t* key = record + layout.outSortKeyPosition - 1;
  std::uint8_t* at = key;
  for (const TFieldEntry& field : set_->FieldVector(3)) {
    std::memmove(at, record + field.position - 1, field.length);
    at += field.length;
  }
  UpperCase437InPlace(std::span(key, layout.outSortKeyLength));
  return layout.outSortRecordLength;
}

// ---- TBuildMatchKey -------------------------------------------------------------------------

namespace {
constexpr std::size_t kGathered = 2048;  // records whose keys are built together
}  // namespace

void TBuildMatchKey::Setup(TProcessManager* manager, const TParameterStore& set,
                           const TKeyTables& tables, std::int32_t inputSize) {
  set_ = &set;
  tables_ = &tables;
  builder_ = std::make_unique<TMatchKeyBuilder>(set, tables);
  SetupGates(manager, inputSize, set.Fields().matchRecordLength);
}

void TBuildMatchKey::Open(TMemorySpace& space) {
  TKeyProcess::Open(space);
  count_ = 0;
  if (!parallel) return;
  recordSize_ = std::max(EffectiveRecordSize(OutputGate(1)), 1);
  gathered_.assign(kGathered, Gathered{});
  for (Gathered& g : gathered_) g.record = static_cast<std::uint8_t*>(space.Alloc(recordSize_));
  secondBuilder_ = std::make_unique<TMatchKeyBuilder>(*set_, *tables_);
  helper_ = std::make_unique<THelperThread>();
}

std::int32_t TBuildMatchKey::Transform(const void* tag, std::uint8_t* record, std::int32_t) {
  return builder_->Build(LayoutOf(tag), record);
}

std::uint8_t* TBuildMatchKey::OnSend(std::int32_t size, const void* tag, std::uint8_t* record) {
  if (!parallel) return TKeyProcess::OnSend(size, tag, record);
  Gather(size, tag, record);
  return record;  // copied: the sender keeps its buffer
}

void TBuildMatchKey::OnCall(std::int32_t size, const void* tag, std::uint8_t* record) {
  if (!parallel) return TKeyProcess::OnCall(size, tag, record);
  Gather(size, tag, record);
}

void TBuildMatchKey::Gather(std::int32_t size, const void* tag, const std::uint8_t* record) {
  Gathered& g = gathered_[count_++];
  std::memcpy(g.record, record, static_cast<std::size_t>(std::min(size, recordSize_)));
  g.tag = tag;
  g.size = size;
  if (count_ == gathered_.size()) SendGathered();
}

void TBuildMatchKey::BuildGathered(TMatchKeyBuilder& builder, std::size_t from, std::size_t to) {
  ScopedFatalHook hook(ThrowingFatalHook);
  for (std::size_t i = from; i < to; ++i) {
    Gathered& g = gathered_[i];
    try {
      g.size = builder.Build(LayoutOf(g.tag), g.record);
    } catch (...) {
      g.failure = std::current_exception();
    }
  }
}

void TBuildMatchKey::SendGathered() {
  const std::size_t count = count_;
  count_ = 0;
  if (count == 0) return;
  const std::size_t half = count / 2;
  helper_->Start([this, half, count] { BuildGathered(*secondBuilder_, half, count); });
  BuildGathered(*builder_, 0, half);
  helper_->Wait();
  for (std::size_t i = 0; i < count; ++i) {
    Gathered& g = gathered_[i];
    if (g.failure) {
      std::exception_ptr failure = std::exchange(g.failure, nullptr);
      for (std::size_t k = i + 1; k < count; ++k) gathered_[k].failure = nullptr;
      RaiseHere(std::move(failure));
    }
    g.record = OutputGate(1).Send(g.size, g.tag, g.record);
  }
}

void TBuildMatchKey::Close() {
  if (parallel) SendGathered();
}

// ---- TBuildCompactRecord --------------------------------------------------------------------

TCompactLayout TCompactLayout::Of(const TParameterStore& set) {
  const TParameterFields& f = set.Fields();
  TCompactLayout c;
  c.withPriority = f.compactWithPriorities;
  std::int32_t at = 2;
  if (c.withPriority) {
    c.priorityOffset = at;
    at += 2;
  }
  c.infoOffset = at;
  c.infoLength = f.darkInfoLength;
  at += c.infoLength;
  c.classKeyOffset = at;
  at += f.classKeyLength;
  c.offsetsOffset = at;
  at += 2 * f.componentCount;
  c.matchKeyOffset = at;
  at += f.matchKeyLength;
  c.length = at;
  return c;
}

void TBuildCompactRecord::Setup(TProcessManager* manager, const TParameterStore& set,
                                std::int32_t inputSize) {
  set_ = &set;
  layout_ = TCompactLayout::Of(set);
  SetupGates(manager, inputSize, layout_.length);
}

void TBuildCompactRecord::Open(TMemorySpace& space) {
  TKeyProcess::Open(space);
  out_ = static_cast<std::uint8_t*>(space.Alloc(EffectiveRecordSize(OutputGate(1))));
}

std::int32_t TBuildCompactRecord::Transform(const void* tag, std::uint8_t* record,
                                            std::int32_t size) {
  const TFileLayout& layout = LayoutOf(tag);
  const TParameterFields& f = set_->Fields();
  std::memset(out_, ' ', static_cast<std::size_t>(layout_.length));
  if (layout_.withPriority) {
    std::int64_t own = 0;
    if (f.priorityField.position > 0 && f.priorityField.length > 0) {
      own = ParseUnsigned(std::string_view(reinterpret_cast<const char*>(record) +
                                               f.priorityField.position - 1,
                                           f.priorityField.length),
                          3);
    }
    const auto* entry = static_cast<const TInputFileEntry*>(&layout);
    const auto priority = static_cast<std::uint16_t>(entry->priority / 4 + own);
    out_[layout_.priorityOffset] = static_cast<std::uint8_t>(priority);
    out_[layout_.priorityOffset + 1] = static_cast<std::uint8_t>(priority >> 8);
  }
  std::uint8_t* info = out_ + layout_.infoOffset;
  for (const TFieldEntry& field : set_->FieldVector(8)) {
    if (field.position > 0) std::memcpy(info, record + field.position - 1, field.length);
    info += field.length;
  }
  std::memcpy(out_ + layout_.classKeyOffset, record + layout.classKeyPosition - 1,
              layout.classKeyLength);
  // The used part of the match key, and the component offsets rebased onto the compact record.
  const std::int32_t usedKey = size - (layout.matchKeyPosition - 1);
  const std::int32_t rebase = layout_.matchKeyOffset - (layout.matchKeyPosition - 1);
  const std::uint8_t* offsets = record + layout.componentOffsetsPosition - 1;
  for (std::int32_t j = 0; j < f.componentCount; ++j) {
    const std::int32_t o = (offsets[2 * j] | (offsets[2 * j + 1] << 8)) + rebase;
    out_[layout_.offsetsOffset + 2 * j] = static_cast<std::uint8_t>(o);
    out_[layout_.offsetsOffset + 2 * j + 1] = static_cast<std::uint8_t>(o >> 8);
  }
  std::memcpy(out_ + layout_.matchKeyOffset, record + layout.matchKeyPosition - 1,
              static_cast<std::size_t>(std::max(usedKey, 0)));
  const std::int32_t used = layout_.matchKeyOffset + std::max(usedKey, 0);
  out_[0] = static_cast<std::uint8_t>(used);
  out_[1] = static_cast<std::uint8_t>(used >> 8);
  return used;
}

std::uint8_t* TBuildCompactRecord::OnSend(std::int32_t size, const void* tag,
                                          std::uint8_t* record) {
  const std::int32_t used = Transform(tag, record, size);
  out_ = OutputGate(1).Send(used, tag, out_);
  return record;
}

void TBuildCompactRecord::OnCall(std::int32_t size, const void* tag, std::uint8_t* record) {
  OnSend(size, tag, record);
}

}  // namespace vld
