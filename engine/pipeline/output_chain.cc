#include "engine/pipeline/output_chain.h"
#include "engine/files/global.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "engine/files/string_utils.h"
#include "engine/runtime/hooks.h"
#include "platform/fatal.h"
#include "platform/le_codec.h"
#include "platform/paths.h"

namespace vld {

std::int64_t CompactHeaderContentSize(std::int64_t identLength, std::int64_t components) {
  return 81 + (1 + identLength) + 12 * components;
}

std::vector<std::uint8_t> MakeCompactHeader(std::int32_t compactRecordLength,
                                            std::int64_t contentBytes) {
  if (compactRecordLength <= 0) Fatal("invalid compact record length");
  const std::int64_t slots = (contentBytes + compactRecordLength - 1) / compactRecordLength;
  std::vector<std::uint8_t> header(static_cast<std::size_t>(slots * compactRecordLength), 0);
  std::memcpy(header.data(), kCompactMagic.data(), kCompactMagic.size());
  le::PutI32(header, 32, kCompactVersion);
  le::PutI32(header, 36, compactRecordLength);
  le::PutI32(header, 40, CheckedCast<std::int32_t>(slots * compactRecordLength));
  le::PutI32(header, 44, CheckedCast<std::int32_t>(slots));
  return header;
}

// ---- TMultiProducer -------------------------------------------------------------------------

void TMultiProducer::Setup(TProcessManager* manager, std::int32_t inputRecordLength,
                           std::int64_t recordCount, const std::string& counterName,
                           TInputFileTable files, std::int64_t bufferSize) {
  if (files.empty()) Fatal("no input files");
  recordSize_ = inputRecordLength;
  sendSize_ = inputRecordLength + 1;
  files_ = files;
  TProducer::Setup(manager, sendSize_, recordCount, counterName, files[0].name, files[0].layout,
                   bufferSize);
  Select(0);
}

void TMultiProducer::Select(std::size_t index) {
  fileIndex_ = index;
  tag_ = files_[index].layout;
  fileNumber_ = files_[index].layout->number;
  markOffset_ = files_[index].layout->fileNumberPosition - 1;
}

bool TMultiProducer::Step() {
  while (!port_->Read(buffer_)) {
    // Go on with the next record file; compact dark files are read by their own producers.
    std::size_t next = fileIndex_ + 1;
    while (next < files_.size() && files_[next].layout->type == InputFileType::kKompaktsperr) {
      ++next;
    }
    if (next >= files_.size()) return false;
    Select(next);
    port_->Reopen(files_[next].name);
  }
  buffer_[markOffset_] = static_cast<std::uint8_t>(fileNumber_);
  buffer_[markOffset_ + 1] = static_cast<std::uint8_t>(fileNumber_ >> 8);
  buffer_ = OutputGate(1).Send(sendSize_, tag_, buffer_);
  return true;
}

// ---- TBlueProducer --------------------------------------------------------------------------

void TBlueProducer::Setup(TProcessManager* manager, std::int32_t recordSize,
                          std::int64_t recordCount, const std::string& counterName,
                          const std::string& fileName, TInputFileTable files,
                          std::int32_t fileNumberPosition, std::int64_t bufferSize) {
  TProducer::Setup(manager, recordSize, recordCount, counterName, fileName, nullptr, bufferSize);
  files_ = files;
  markOffset_ = fileNumberPosition - 1;
  expected_ = recordCount;
  recordNumber_ = 0;
  fileName_ = fileName;
}

bool TBlueProducer::Step() {
  if (!port_->Read(buffer_)) return false;
  ++recordNumber_;
  const std::uint16_t a =
      static_cast<std::uint16_t>(buffer_[markOffset_] | (buffer_[markOffset_ + 1] << 8));
  if (a == 0 || a > files_.size()) TrapReport(a);
  const TFileLayout* layout = files_[a - 1].layout;
  buffer_ = OutputGate(1).Send(layout->classRecordLength, layout, buffer_);
  return true;
}

namespace {
// Dumps a record as quoted literals of at most 100 bytes each; "# " before the first piece.
void DumpRecord(const std::uint8_t* record, std::int32_t size) {
  const std::string bytes(reinterpret_cast<const char*>(record),
                          static_cast<std::size_t>(std::max(size, 0)));
  std::size_t at = 0;
  do {
    Report(MessageKind::kInformation,
           (at == 0 ? "# " : "  ") + QuoteLiteral(std::string_view(bytes).substr(at, 100)));
    at += 100;
  } while (at < bytes.size());
}
}  // namespace

void TBlueProducer::TrapReport(std::uint16_t number) {
  (void)number;
  const std::int32_t size = port_->RecordSize();
  Report(MessageKind::kInformation, "\rBlueTrap! >>>");
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char when[32];
  std::strftime(when, sizeof when, "%d.%m.%Y - %H:%M", &local);
  Report(MessageKind::kInformation, when);
  Report(MessageKind::kInformation, "Computer=" + QuoteLiteral(ComputerName()) +
                                        ", User=" + QuoteLiteral(UserName()));
  Report(MessageKind::kInformation, "File=" + QuoteLiteral(fileName_));
  Report(MessageKind::kInformation,
         Format("Files=%zu, Records=%lld, RecNr=%lld, Mark=%d", files_.size(),
                static_cast<long long>(expected_), static_cast<long long>(recordNumber_),
                markOffset_ + 1));
  const DiagnosticTriple& pass = Diagnostics();
  const std::int64_t b = size > 0 ? pass.bufferSize / size : 0;
  if (b <= 0 || recordNumber_ <= 0) {
    Report(MessageKind::kInformation,
           Format("Pass=%lld, Degree=%lld, BufSize=%lld", static_cast<long long>(pass.pass),
                  static_cast<long long>(pass.degree), static_cast<long long>(pass.bufferSize)));
  } else {
    const std::int64_t r = recordNumber_ - 1;
    Report(MessageKind::kInformation,
           Format("Pass=%lld, Degree=%lld, BufSize=%lld, BlockNr=%lld, RecNr=%lld, Offset=%lld",
                  static_cast<long long>(pass.pass), static_cast<long long>(pass.degree),
                  static_cast<long long>(pass.bufferSize), static_cast<long long>(r / b + 1),
                  static_cast<long long>(r % b + 1), static_cast<long long>((r % b) * size)));
  }
  DumpRecord(buffer_, size);
  std::vector<std::uint8_t> next(static_cast<std::size_t>(std::max(size, 1)));
  if (port_->Read(next.data())) DumpRecord(next.data(), size);
  Trap("TBlueProducer.Signal");
}

// ---- TMultiConsumer -------------------------------------------------------------------------

void TMultiConsumer::Setup(TProcessManager* manager, std::int32_t recordSize,
                           const std::string& counterName, TInputFileTable files, int slot,
                           std::int64_t bufferSize) {
  Register(*this, manager);
  ActivateInput(1, recordSize, 0, BindCall<&TMultiConsumer::OnCall>(this), {});
  counterName_ = counterName;
  files_ = files;
  slot_ = slot;
  bufferSize_ = bufferSize;
}

void TMultiConsumer::Progress(void* object, std::int64_t records) {
  AddCounter(static_cast<TMultiConsumer*>(object)->counterHandle_, records);
}

void TMultiConsumer::Open(TMemorySpace& space) {
  writers_ = static_cast<TOutFilePort**>(
      space.Alloc(CheckedMul<std::int64_t>(std::max<std::size_t>(files_.size(), 1), sizeof(TOutFilePort*))));
  for (std::size_t i = 0; i < files_.size(); ++i) {
    writers_[i] = nullptr;
    const std::string& name = files_[i].outputs[static_cast<std::size_t>(slot_)];
    if (name.empty()) continue;
    auto* port = CreateIn<TOutFilePort>(space);
    port->PrepareWriter(files_[i].layout->outputRecordLength, name);
    port->Open(space, bufferSize_, {&TMultiConsumer::Progress, this});
    writers_[i] = port;
  }
  counterHandle_ = OpenCounter(counterName_, 0);
}

void TMultiConsumer::OnCall(std::int32_t, const void* tag, std::uint8_t* record) {
  const std::uint16_t number = LayoutOf(tag).number;
  if (number >= 1 && number <= files_.size() && writers_[number - 1] != nullptr) {
    writers_[number - 1]->Write(record);
  }
}

void TMultiConsumer::Close() {
  for (std::size_t i = files_.size(); i-- > 0;) {
    if (writers_[i] != nullptr) writers_[i]->Close();
  }
  CloseCounter(counterHandle_);
}

// ---- TAddCrLf -------------------------------------------------------------------------------

void TAddCrLf::Setup(TProcessManager* manager, std::int32_t inputSize, std::int32_t outputSize) {
  Register(*this, manager);
  if (outputSize < 2) Fatal("invalid record size at output gate");
  ActivateInput(1, inputSize, 1u << 1, {}, BindSend<&TAddCrLf::OnSend>(this));
  ActivateOutput(1, kModeSend, outputSize);
  outSize_ = outputSize;
}

std::uint8_t* TAddCrLf::OnSend(std::int32_t, const void* tag, std::uint8_t* record) {
  record[outSize_ - 2] = 13;
  record[outSize_ - 1] = 10;
  return OutputGate(1).Send(outSize_, tag, record);
}

// ---- Compact dark files ---------------------------------------------------------------------

void TCompactConsumer::Setup(TProcessManager* manager, std::int32_t compactRecordLength,
                             std::vector<std::uint8_t> header, const std::string& counterName,
                             const std::string& fileName, std::int64_t bufferSize) {
  TConsumer::Setup(manager, compactRecordLength, counterName, fileName, bufferSize);
  header_ = std::move(header);
}

void TCompactConsumer::Open(TMemorySpace& space) {
  TConsumer::Open(space);
  const std::size_t slot = port_->RecordSize();
  for (std::size_t at = 0; at + slot <= header_.size(); at += slot) port_->Write(header_.data() + at);
}

void TCompactProducer::Setup(TProcessManager* manager, std::int64_t bufferSize,
                             std::int64_t recordCount, const std::string& counterName,
                             const std::string& fileName, std::int64_t headerSlots,
                             const TFileLayout* descriptor) {
  maxLength_ = descriptor->blueRecordLength;
  TProducer::Setup(manager, maxLength_, recordCount + headerSlots, counterName, fileName,
                   descriptor, bufferSize);
  headerSlots_ = headerSlots;
}

void TCompactProducer::Open(TMemorySpace& space) {
  TProducer::Open(space);
  for (std::int64_t i = 0; i < headerSlots_; ++i) {
    if (!port_->Read(buffer_)) break;
  }
}

bool TCompactProducer::Step() {
  if (!port_->Read(buffer_)) return false;
  const std::int32_t used = buffer_[0] | (buffer_[1] << 8);
  if (used < 4 || used > maxLength_) Trap("TCompactProducer.Signal");
  buffer_ = OutputGate(1).Send(used, tag_, buffer_);
  return true;
}

}  // namespace vld
