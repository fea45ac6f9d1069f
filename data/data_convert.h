// The data converter: merges the field lists of one or two initialised sources into one common
// record layout and writes each source as an engine input file ("Matchfile1.txt",
// "Matchfile2.txt") in code page 437.
//
// Execute(src1, src2) runs, in this order:
//   Classify   a field map per source: -2 for a typed field (type 1000 or above), -1 ignored;
//   Pair       equal types pair up in order of appearance: the first "Name" field of source 1
//              with the first of source 2, and so on (the map then holds the partner's index);
//   BuildLayout one output field per used source-1 field (as wide as the wider of a pair), then
//              one per unpaired source-2 field; positions follow each other from 1;
//   WriteFile  per source: every record becomes one line of all layout fields, each value in
//              code page 437 (data/code_pages.h, RecordText), padded with blanks, then CR LF.
// Every record of both files therefore has the same layout; record length = output record
// length + 2.
//
// A value longer than its output field is cut to the field's width, never written whole (that
// would shift the rest of its record and break the fixed layout of the file); the cut values
// are counted per field and reported as journal lines ("Eingabedatei 1, Feld \"Name\": 3 Werte
// gekürzt"). A field is at most kMaxFieldWidth wide, the whole record at most
// kMaxLayoutRecordLength.
//
// For the command line the converter can append a record number after the layout fields
// (SetRecordNumberWidth): the 1-based number of the record over both files, right-aligned with
// leading zeros, so that every record of the engine's outputs can be traced back to its source
// row. It belongs to no field type and so takes no part in matching.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/data_access.h"
#include "data/field_table.h"

namespace vld {

// Field map entries besides a partner's index.
inline constexpr std::int32_t kFieldIgnored = -1;
inline constexpr std::int32_t kFieldUnpaired = -2;
// The source has no such field (TExtFieldDesc source indexes).
inline constexpr std::int32_t kNoSourceField = -2;

// The longest record the layout may give: the list fields that cover a record are at most 32
// entries of at most 255 characters.
inline constexpr std::int32_t kMaxLayoutRecordLength = 32 * 255;

using TIntArray = std::vector<std::int32_t>;

struct TExtFieldDesc {
  std::string name;
  std::int32_t position = 0;  // 1-based column in the output record
  std::int32_t length = 0;
  std::int32_t typ = -1;
  std::int32_t source1Index = kNoSourceField;
  std::int32_t source2Index = kNoSourceField;
  friend bool operator==(const TExtFieldDesc&, const TExtFieldDesc&) = default;
};
using TExtFieldDescs = std::vector<TExtFieldDesc>;

// Receives every record a WriteFile reads, while the source is positioned on it.
class TSourceRowSink {
 public:
  virtual ~TSourceRowSink() = default;
  // `which`: 0 for source 1, 1 for source 2.
  virtual void AddRow(int which, TDataAccess& source) = 0;
};

class TDataConverter {
 public:
  TDataConverter() = default;
  TDataConverter(const TDataConverter&) = delete;
  TDataConverter& operator=(const TDataConverter&) = delete;
  virtual ~TDataConverter() = default;

  // Sources are initialised; `src2` may be absent.
  virtual void Classify(TDataAccess& src1, TDataAccess* src2);
  virtual void Pair(TDataAccess& src1, TDataAccess* src2);
  // Raises EUserError when the record would be longer than kMaxLayoutRecordLength.
  virtual void BuildLayout(TDataAccess& src1, TDataAccess* src2);
  // `which` 0 writes `src` to OutputFile1, 1 to OutputFile2; an absent source writes nothing.
  virtual void WriteFile(TDataAccess* src, int which);
  virtual std::int32_t LayoutCount() const { return static_cast<std::int32_t>(layout_.size()); }
  // Raises "Index ausserhalb der Grenzen." outside 0 .. LayoutCount() - 1.
  virtual TExtFieldDesc GetLayoutField(std::int32_t index) const;
  virtual void Execute(TDataAccess& src1, TDataAccess* src2);
  // Empties `table` and appends one row per layout field: ID = index from 0, Felder = Name,
  // Position, Laenge = Length, Typ.
  void FillTable(TFieldTable& table) const;

  const TExtFieldDescs& Layout() const { return layout_; }
  const TIntArray& FieldMap(int which) const { return which == 0 ? map1_ : map2_; }
  // Sum of the layout widths and the record number, without the line break.
  std::int32_t OutputRecordLength() const { return recordLength_; }

  std::string OutputFile1, OutputFile2;
  static constexpr CodePage TargetCodePage = CodePage::k437;

  // REQUIRES: before BuildLayout. 0 (the default) writes no record number.
  void SetRecordNumberWidth(std::int32_t width) { recordNumberWidth_ = width; }
  std::int32_t RecordNumberWidth() const { return recordNumberWidth_; }
  // 1-based position of the record number, 0 when there is none.
  std::int32_t RecordNumberPosition() const { return recordNumberPosition_; }
  // Not owned; may be null.
  void SetRowSink(TSourceRowSink* sink) { sink_ = sink; }
  // Records written per file (0 or 1).
  std::int64_t WrittenRecords(int which) const { return written_[which == 0 ? 0 : 1]; }
  // The journal lines of the cut values, one per field and file.
  const std::vector<std::string>& Journal() const { return journal_; }

 private:
  TIntArray map1_, map2_;
  TExtFieldDescs layout_;
  std::int32_t recordLength_ = 0;
  std::int32_t recordNumberWidth_ = 0, recordNumberPosition_ = 0;
  TSourceRowSink* sink_ = nullptr;
  std::int64_t written_[2] = {0, 0};
  std::vector<std::string> journal_;
};

}  // namespace vld
