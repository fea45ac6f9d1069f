// The key-building processes of the match pipelines.
//
// - TBuildSortKey appends the class key (the class key fields, upper-cased, the postal-code part
//   mapped to its representative) behind the record's file number; the record leaves with the
//   length of the temporary record for class keys.
// - TBuildSortOutKey writes the record's file number and the output sort key behind the
//   (truncated) output record.
// - TBuildMatchKey builds the match key (match_key.h) and sends the record with its used length.
// - TBuildCompactRecord turns a match record into a compact record for a compact dark file.
//
// Each takes records by send (transforming them in place and passing the buffer on) or by call
// (copying them into a buffer of its own first, so that a later stage that keeps the buffer never
// holds the caller's), and sends them on.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "engine/runtime/helper_thread.h"
#include "engine/runtime/process.h"
#include "matching/match_key.h"
#include "matching/match_params.h"

namespace vld {

// Common gates of the four processes: input 1 (send and call), output 1 (send).
class TKeyProcess : public TProcess {
 public:
  void Open(TMemorySpace& space) override;

 protected:
  void SetupGates(TProcessManager* manager, std::int32_t inputSize, std::int32_t outputSize);
  // Transforms `record` in place and returns the size to send it with.
  virtual std::int32_t Transform(const void* tag, std::uint8_t* record, std::int32_t size) = 0;

  // Default: in place (a call is first copied into the process's own buffer).
  virtual std::uint8_t* OnSend(std::int32_t size, const void* tag, std::uint8_t* record);
  virtual void OnCall(std::int32_t size, const void* tag, std::uint8_t* record);

 private:
  std::uint8_t* own_ = nullptr;
  std::int32_t ownSize_ = 0;
};

class TBuildSortKey : public TKeyProcess {
 public:
  void Setup(TProcessManager* manager, const TParameterStore& set, const TKeyTables& tables,
             std::int32_t inputSize);

 protected:
  std::int32_t Transform(const void* tag, std::uint8_t* record, std::int32_t size) override;

 private:
  const TParameterStore* set_ = nullptr;
  const TKeyTables* tables_ = nullptr;
};

class TBuildSortOutKey : public TKeyProcess {
 public:
  void Setup(TProcessManager* manager, const TParameterStore& set, std::int32_t inputSize);

 protected:
  std::int32_t Transform(const void* tag, std::uint8_t* record, std::int32_t size) override;

 private:
  const TParameterStore* set_ = nullptr;
};

class TBuildMatchKey : public TKeyProcess {
 public:
  void Setup(TProcessManager* manager, const TParameterStore& set, const TKeyTables& tables,
             std::int32_t inputSize);
  void Open(TMemorySpace& space) override;
  void Close() override;

  // Records are gathered and their keys built on two cores, half each, before they are sent on
  // in the order they came; an error of one record is raised at its turn, after the records
  // before it have gone on. Only for a next process that takes each record as it comes (the
  // matcher), not for a zip, which waits for its other input between records.
  bool parallel = false;

 protected:
  std::int32_t Transform(const void* tag, std::uint8_t* record, std::int32_t size) override;
  std::uint8_t* OnSend(std::int32_t size, const void* tag, std::uint8_t* record) override;
  void OnCall(std::int32_t size, const void* tag, std::uint8_t* record) override;

 private:
  struct Gathered {
    std::uint8_t* record;
    const void* tag;
    std::int32_t size;  // as sent on
    std::exception_ptr failure;
  };
  void Gather(std::int32_t size, const void* tag, const std::uint8_t* record);
  void BuildGathered(TMatchKeyBuilder& builder, std::size_t from, std::size_t to);
  void SendGathered();

  const TParameterStore* set_ = nullptr;
  const TKeyTables* tables_ = nullptr;
  std::unique_ptr<TMatchKeyBuilder> builder_;
  std::unique_ptr<TMatchKeyBuilder> secondBuilder_;  // the helper's
  std::unique_ptr<THelperThread> helper_;
  std::vector<Gathered> gathered_;
  std::size_t count_ = 0;
  std::int32_t recordSize_ = 0;
};

// Layout of a compact record.
struct TCompactLayout {
  bool withPriority = false;
  std::int32_t priorityOffset = 0;  // 0-based offsets inside the compact record
  std::int32_t infoOffset = 0;
  std::int32_t infoLength = 0;
  std::int32_t classKeyOffset = 0;
  std::int32_t offsetsOffset = 0;
  std::int32_t matchKeyOffset = 0;
  std::int32_t length = 0;  // the compact record length
  static TCompactLayout Of(const TParameterStore& set);
};

class TBuildCompactRecord : public TKeyProcess {
 public:
  void Setup(TProcessManager* manager, const TParameterStore& set, std::int32_t inputSize);
  void Open(TMemorySpace& space) override;

 protected:
  std::int32_t Transform(const void* tag, std::uint8_t* record, std::int32_t size) override;

 protected:
  // The compact record is built in a buffer of its own; the sender keeps its record.
  std::uint8_t* OnSend(std::int32_t size, const void* tag, std::uint8_t* record) override;
  void OnCall(std::int32_t size, const void* tag, std::uint8_t* record) override;

 private:
  const TParameterStore* set_ = nullptr;
  TCompactLayout layout_;
  std::uint8_t* out_ = nullptr;
};

}  // namespace vld
