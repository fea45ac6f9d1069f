// The record layout of one input file, as the pipeline processes read it from a record's tag.
//
// Every record between input and matching carries as its tag the descriptor of the input file it
// comes from. The sort, merge, zip and output processes need only the layout part of that
// descriptor; the match parameter set's input-file entry begins with it. Tags are always a
// `const TFileLayout*` converted to `const void*`.
//
// Positions are 1-based byte positions inside the temporary records; a position and its length
// describe a field.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace vld {

enum class InputFileType : std::uint8_t {
  kGrund = 0,         // "Grunddatei"
  kMaster = 1,        // "Masterdatei"
  kSperr = 2,         // "Sperrdatei"
  kKompaktsperr = 3,  // "Kompaktsperrdatei"
};

// The key a sort or merge orders by: the class key (key mode 1) or the output sort key (0).
enum class KeyMode : std::uint8_t { kOutputSortKey = 0, kClassKey = 1 };

struct TFileLayout {
  std::uint16_t number = 0;  // 1-based order in the input file list
  InputFileType type = InputFileType::kGrund;
  std::int64_t recordCount = 0;
  // Length of the records read back from the merged class-key file (compact record length for
  // a compact dark file) and of the per-file outputs.
  std::uint16_t blueRecordLength = 0;
  std::uint16_t outputRecordLength = 0;
  // Temporary record for class keys (key mode 1).
  std::uint16_t classRecordLength = 0;
  std::uint16_t fileNumberPosition = 0;
  std::uint16_t classKeyPosition = 0;
  std::uint16_t classKeyLength = 0;
  std::uint16_t matchKeyPosition = 0;
  std::uint16_t matchKeyLength = 0;
  std::uint16_t componentOffsetsPosition = 0;
  std::uint16_t flagPosition = 0;
  // Output sort record (key mode 0).
  std::uint16_t outSortRecordLength = 0;
  std::uint16_t outFileNumberPosition = 0;
  std::uint16_t outSortKeyPosition = 0;
  std::uint16_t outSortKeyLength = 0;
  // Compact dark files.
  bool compactWithPriority = false;
  std::uint16_t priorityPosition = 0;
  std::uint16_t infoPosition = 0;
  std::uint16_t infoLength = 0;

  std::uint16_t KeyPosition(KeyMode mode) const {
    return mode == KeyMode::kClassKey ? classKeyPosition : outSortKeyPosition;
  }
  std::uint16_t KeyLength(KeyMode mode) const {
    return mode == KeyMode::kClassKey ? classKeyLength : outSortKeyLength;
  }
  std::uint16_t RecordLength(KeyMode mode) const {
    return mode == KeyMode::kClassKey ? classRecordLength : outSortRecordLength;
  }
};

// An input file as the task's sources and sinks see it: its layout (the records' tag), its full
// name and the full names of its own outputs (0 singles, 1 multiples, 2 duplicates; empty when
// the file has none).
struct TInputFile {
  const TFileLayout* layout = nullptr;
  std::string name;
  std::array<std::string, 3> outputs;
};
using TInputFileTable = std::span<const TInputFile>;

inline const TFileLayout& LayoutOf(const void* tag) { return *static_cast<const TFileLayout*>(tag); }

}  // namespace vld
