// Rating engines: enriching the heads of a block from its other records.
//
// After the duplicates of a block are known, each head can take values from the block's other
// records: for each rating field ("Bewertungsfelder") a rule combines the values of the block's
// records and writes the result into the head record before it is output. Rules: "Maximum",
// "Minimum", "Summe", "Verkettung", "Menge", "Auswahl". A head whose rating fields changed is a
// re-rated record ("neu bewerteter Satz").
//
// Call order per block: TRatingSet::StartBlock, then RateHead for every head that is not a
// replica, with the block's other records (its ring walked from the head, without dark records
// and replicas). Results are computed once per field and block and reused for further heads.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/runtime/origin.h"
#include "matching/match_params.h"

namespace vld {

// A record of the block as the engines see it.
struct RatedRecord {
  const std::uint8_t* bytes = nullptr;  // the input record
  std::uint32_t priorityKey = 0;        // bits 8..23: the priority p
};

// The result of one field for one block.
struct RatingResult {
  bool noValue = true;
  const std::uint8_t* value = nullptr;  // field bytes to copy into a head (numeric, selection)
  std::int32_t length = 0;              // -1: no change (a list that would overflow its field)
  std::int64_t number = 0;
  std::string text;                     // list rules: the joined items
};

class TRatingEngine : public TOrigin {
 public:
  virtual void Setup(const TParameterStore&) {}
  virtual void ResetGroup() {}
  // True when the head's field value is empty (only blanks and zero bytes).
  virtual bool IsEmpty(const TRatingFieldEntry& field, const std::uint8_t* head);
  // Begins a block with the head's value; false when this block's result is already known.
  virtual bool Start(const TRatingFieldEntry& field, std::uint8_t* head,
                     const RatedRecord& headRecord) = 0;
  virtual void Add(const RatedRecord& record) = 0;
  // Delivers the result; true when the head's field was rewritten in place.
  virtual bool Result(RatingResult& out) = 0;
  // True when `result` must be copied into the field of `head`.
  virtual bool Differs(const RatingResult& result, const std::uint8_t* head) const = 0;

 protected:
  const TRatingFieldEntry* field_ = nullptr;
  std::uint8_t* head_ = nullptr;
  std::string_view FieldOf(const std::uint8_t* record) const;
};

// The six engines, one per rule, and the results of the current block.
class TRatingSet : public TOrigin {
 public:
  void Init() override;
  void Setup(const TParameterStore& set);
  void StartBlock();
  // Rates one head; returns true when any field changed and adds 1 to changes[i] for each field
  // i that changed.
  bool RateHead(std::uint8_t* head, std::uint32_t headPriorityKey,
                std::span<const RatedRecord> others, std::vector<std::int64_t>& changes);
  std::size_t FieldCount() const { return fields_.size(); }

 private:
  std::array<TRatingEngine*, 6> engines_{};
  std::span<const TRatingFieldEntry> fields_;
  bool overwrite_ = false;  // "Modus" "überschreiben"
  std::vector<bool> known_;
  std::vector<RatingResult> results_;
};

}  // namespace vld
