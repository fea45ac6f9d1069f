#include "matching/match_params.h"

#include <cstring>
#include <ctime>

#include "engine/runtime/heap.h"
#include "platform/checked.h"
#include "platform/fatal.h"

namespace vld {

// Texts in the block: a u32 length, then the bytes.
std::string_view TParameterStore::Text(std::uint32_t offset) const {
  if (offset == 0 || block_ == nullptr) return {};
  std::uint32_t length;
  std::memcpy(&length, block_ + offset, 4);
  return std::string_view(reinterpret_cast<const char*>(block_ + offset + 4), length);
}

std::string_view TParameterStore::TextNumber(int i) const {
  return Text(fields_.texts[CheckIndex(i - 1, fields_.texts.size())]);
}

std::string_view TParameterStore::FileName(int code) const { return Text(File(code).name); }

const TFileRef& TParameterStore::File(int code) const {
  return fields_.files[CheckIndex(code, fields_.files.size())];
}

const TComponentEntry& TParameterStore::Component(std::int32_t j) const {
  CheckIndex(j, static_cast<std::size_t>(fields_.componentCount));
  std::uint32_t offset;
  std::memcpy(&offset, block_ + fields_.componentList + 4 * static_cast<std::uint32_t>(j), 4);
  return At<TComponentEntry>(offset);
}

TComponentEntry& TParameterStore::Component(std::int32_t j) {
  return const_cast<TComponentEntry&>(static_cast<const TParameterStore*>(this)->Component(j));
}

std::span<const std::uint16_t> TParameterStore::ComparisonOrder() const {
  if (fields_.comparisonOrder == 0) return {};
  return {reinterpret_cast<const std::uint16_t*>(block_ + fields_.comparisonOrder),
          static_cast<std::size_t>(fields_.componentCount)};
}

TParameter* TParameter::Copy(TMemorySpace& space, const TParameterStore* source) {
  if (source == nullptr) return CreateIn<TParameter>(space);
  const std::int64_t used = source->UsedSize();
  auto* copy = CreateWithExtra<TParameter>(space, used);
  copy->fields_ = source->Fields();
  copy->block_ = TOrigin::ExtraOf(copy);
  copy->blockSize_ = used;
  if (used > 0) std::memcpy(copy->block_, source->block_, static_cast<std::size_t>(used));
  return copy;
}

void TParameterCheck::Init() {
  block_ = static_cast<std::uint8_t*>(AllocOwned(kBlockSize));
  std::memset(block_, 0, kBlockSize);
  blockSize_ = kBlockSize;
  used_ = 8;
  // The creation date: today (yyyymmdd, local time).
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  fields_.creationDate = (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

std::uint32_t TParameterCheck::Add(const void* bytes, std::size_t size) {
  const std::int64_t start = AlignUp(used_);
  if (exhausted_ || start + static_cast<std::int64_t>(size) > blockSize_) {
    exhausted_ = true;
    return 0;
  }
  if (size > 0) std::memcpy(block_ + start, bytes, size);
  used_ = start + static_cast<std::int64_t>(size);
  return static_cast<std::uint32_t>(start);
}

std::uint32_t TParameterCheck::AddText(std::string_view text) {
  if (text.empty()) return 0;
  const std::int64_t start = AlignUp(used_);
  if (exhausted_ || start + 4 + static_cast<std::int64_t>(text.size()) > blockSize_) {
    exhausted_ = true;
    return 0;
  }
  const auto length = static_cast<std::uint32_t>(text.size());
  std::memcpy(block_ + start, &length, 4);
  std::memcpy(block_ + start + 4, text.data(), text.size());
  used_ = start + 4 + static_cast<std::int64_t>(text.size());
  return static_cast<std::uint32_t>(start);
}

void TParameterCheck::SetFile(int code, std::string_view fullName, std::uint16_t state) {
  TFileRef& ref = fields_.files[CheckIndex(code, fields_.files.size())];
  ref.code = code;
  ref.name = AddText(fullName);
  ref.given = ref.name;
  ref.state = fullName.empty() && state == 0 ? std::uint16_t{kNameEmpty} : state;
}

void TParameterCheck::SetGivenFile(int code, std::string_view given) {
  fields_.files[CheckIndex(code, fields_.files.size())] = GivenFile(code, given);
}

TFileRef TParameterCheck::GivenFile(std::int32_t code, std::string_view given) {
  TFileRef ref;
  ref.code = code;
  ref.given = AddText(given);
  return ref;
}

void TParameterCheck::Resolve(TFileRef& ref, std::string_view fullName, std::uint16_t state) {
  ref.name = state == kNameOk ? AddText(fullName) : 0;
  ref.state = state == kNameOk && ref.name == 0 ? std::uint16_t{kNameEmpty} : state;
}

std::vector<TInputFile> InputFileTable(const TParameterStore& set, InputFileSelection which) {
  std::vector<TInputFile> table;
  for (const TInputFileEntry& entry : set.InputFiles()) {
    if (which == InputFileSelection::kRecordFiles && entry.type == InputFileType::kKompaktsperr) {
      continue;
    }
    TInputFile file;
    file.layout = &entry;
    file.name = std::string(set.FileName(entry.file));
    for (std::size_t k = 0; k < 3; ++k)
      file.outputs[k] = std::string(set.FileName(entry.outputs[k]));
    table.push_back(std::move(file));
  }
  return table;
}

}  // namespace vld
