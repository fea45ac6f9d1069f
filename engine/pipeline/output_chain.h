// The task's own sources and sinks of the match pipelines.
//
// - TMultiProducer reads all input files as one stream and stamps each record with the number
//   of its input file (a 16-bit little-endian word at the file's file-number position).
// - TBlueProducer reads the merged class-key file back, checks each record's file number and,
//   when one is wrong, writes the trap report into the journal and ends the task.
// - TMultiConsumer writes one output file per input file (singles, multiples or duplicates).
// - TAddCrLf appends a line end to output records.
// - TCompactConsumer and TCompactProducer write and read compact dark files.
//
// Compact dark file ("Kompaktsperrdatei"): record slots of one fixed size; the first slots hold
// the header, each following slot one compact record whose first two bytes hold its used length.
//   OFFSET  SIZE  FIELD
//        0    32  "Korvist'99 Veldrona CompactFile" and one zero byte
//       32     4  format version 2
//       36     4  compact record length (size of one record slot)
//       40     4  header size in bytes (header slots x record length)
//       44     4  number of record slots the header occupies
//       48     1  records carry a priority (0/1)
//       49     4  info length
//       53     4  class key length
//       57     4  match key length
//       61     4  number of components (signed)
//       65     8  zero
//       73     4  "Plausibles Intervall"
//       77     2  "PLZ-Unterfeld" position
//       79     2  "PLZ-Unterfeld" length
//       81   1+n  "Ident der Kompaktsperrdatei" as a short string
//     82+n  12 each  component descriptors: kind, slot kind, prefix, 0, word hurdle (u32),
//                    block hurdle (u32)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pipeline/file_layout.h"
#include "engine/runtime/producers.h"

namespace vld {

inline constexpr std::string_view kCompactMagic("Korvist'99 Veldrona CompactFile\0", 32);
inline constexpr std::int32_t kCompactVersion = 2;

// Bytes of a header's content: 81 + (1 + ident length) + 12 x components.
std::int64_t CompactHeaderContentSize(std::int64_t identLength, std::int64_t components);

// The header image: whole record slots, zero-filled, offsets 0..47 filled in. The caller fills
// offsets 48 onwards.
std::vector<std::uint8_t> MakeCompactHeader(std::int32_t compactRecordLength,
                                            std::int64_t contentBytes);

class TMultiProducer : public TProducer {
 public:
  void Setup(TProcessManager* manager, std::int32_t inputRecordLength, std::int64_t recordCount,
             const std::string& counterName, TInputFileTable files, std::int64_t bufferSize);
  bool Step() override;

 private:
  void Select(std::size_t index);

  TInputFileTable files_;
  std::size_t fileIndex_ = 0;  // 0-based
  std::uint16_t fileNumber_ = 0;
  std::int32_t markOffset_ = 0;
  std::int32_t sendSize_ = 0;
};

class TBlueProducer : public TProducer {
 public:
  void Setup(TProcessManager* manager, std::int32_t recordSize, std::int64_t recordCount,
             const std::string& counterName, const std::string& fileName, TInputFileTable files,
             std::int32_t fileNumberPosition, std::int64_t bufferSize);
  bool Step() override;

 private:
  [[noreturn]] void TrapReport(std::uint16_t number);

  TInputFileTable files_;
  std::int32_t markOffset_ = 0;
  std::int64_t expected_ = 0;
  std::int64_t recordNumber_ = 0;
  std::string fileName_;
};

class TMultiConsumer : public TProcess {
 public:
  // `slot`: 0 singles, 1 multiples, 2 duplicates.
  void Setup(TProcessManager* manager, std::int32_t recordSize, const std::string& counterName,
             TInputFileTable files, int slot, std::int64_t bufferSize);
  void Open(TMemorySpace& space) override;
  void OnCall(std::int32_t size, const void* tag, std::uint8_t* record);
  void Close() override;

 private:
  static void Progress(void* object, std::int64_t records);

  TInputFileTable files_;
  int slot_ = 0;
  std::int64_t bufferSize_ = 0;
  std::string counterName_;
  std::int64_t counterHandle_ = 0;
  TOutFilePort** writers_ = nullptr;  // by file number - 1; empty where the file has none
};

class TAddCrLf : public TProcess {
 public:
  void Setup(TProcessManager* manager, std::int32_t inputSize, std::int32_t outputSize);
  std::uint8_t* OnSend(std::int32_t size, const void* tag, std::uint8_t* record);

 private:
  std::int32_t outSize_ = 0;
};

class TCompactConsumer : public TConsumer {
 public:
  void Setup(TProcessManager* manager, std::int32_t compactRecordLength,
             std::vector<std::uint8_t> header, const std::string& counterName,
             const std::string& fileName, std::int64_t bufferSize);
  void Open(TMemorySpace& space) override;

 private:
  std::vector<std::uint8_t> header_;
};

class TCompactProducer : public TProducer {
 public:
  void Setup(TProcessManager* manager, std::int64_t bufferSize, std::int64_t recordCount,
             const std::string& counterName, const std::string& fileName,
             std::int64_t headerSlots, const TFileLayout* descriptor);
  void Open(TMemorySpace& space) override;
  bool Step() override;

 private:
  std::int32_t maxLength_ = 0;
  std::int64_t headerSlots_ = 0;
};

}  // namespace vld
