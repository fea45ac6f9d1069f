// Stage F of the parameter check: the input files measured, the outputs creatable, the record
// layouts and the derived values.
#include <cstdio>
#include <vector>

#include "engine/files/xan_file.h"
#include "engine/pipeline/output_chain.h"
#include "matching/match_derive.h"
#include "matching/param_checker.h"

namespace vld {
namespace {

constexpr std::int64_t kTooManyRecords = 2147483647;

// Rank of a file type in the effective priority: Master 0, Sperr and Kompaktsperr 1, Grund 2.
std::uint16_t TypeRank(InputFileType type) {
  switch (type) {
    case InputFileType::kMaster:
      return 0;
    case InputFileType::kSperr:
    case InputFileType::kKompaktsperr:
      return 1;
    case InputFileType::kGrund:
      return 2;
  }
  return 2;
}

}  // namespace

void TParameterChecker::StageF() {
  // 1.
  const std::int32_t before = messages_.Errors();
  MeasureInputFiles();
  const bool measured = messages_.Errors() == before;
  // 2.
  CheckOutputsCreatable();
  // 3.
  if (measured && f_.totalRecords < 2) {
    messages_.Error("Insgesamt sind weniger als zwei Sätze zu verarbeiten.");
  }
  // 4., 5.
  if (DeriveLayouts()) CheckPlzPart(f_.classKeyLength, true);
  // 6.
  DeriveDynamicBlocking(set_);
  DeriveComponents(set_);
}

// ---- 1. Input files ------------------------------------------------------------------------

void TParameterChecker::MeasureInputFiles() {
  auto inputs = set_.InputFiles();
  headers_.assign(inputs.size(), std::nullopt);
  f_.fileTypeCounts = {};
  f_.maxCompactInfoLength = 0;
  std::int64_t total = 0;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    TInputFileEntry& entry = inputs[i];
    entry.recordCount = 0;
    {
      TCheckContext context(messages_, "Eingabedateien", entry.number);
      if (entry.type == InputFileType::kKompaktsperr) {
        MeasureCompactFile(entry, i);
      } else {
        MeasureRecordFile(entry);
      }
    }
    total += entry.recordCount;
    if (total > kTooManyRecords) {
      messages_.Error("Insgesamt zu viele Datensätze in den Eingabedateien.");
      break;
    }
  }
  f_.totalRecords = total;
  for (TInputFileEntry& entry : inputs) {
    ++f_.fileTypeCounts[static_cast<std::size_t>(entry.type) & 3];
    entry.priority = static_cast<std::uint16_t>(entry.priority * 4 + TypeRank(entry.type));
  }
}

void TParameterChecker::MeasureRecordFile(TInputFileEntry& entry) {
  const std::string name = Full(entry.file);
  const std::int64_t length = f_.recordLength;
  std::vector<std::uint8_t> first(static_cast<std::size_t>(length));
  std::int64_t records = 0;
  try {
    TXanFile file(name);
    file.Open(kXanRead);
    records = length > 0 ? file.Size() / length : 0;
    if (records > 0) file.ReadBytes(first.data(), length);
    file.Close();
  } catch (const EXanFileError&) {
    messages_.ElementError(Format("\"%s\" kann nicht geöffnet werden.", name.c_str()));
    return;
  }
  if (records == 0) {
    messages_.ElementError(Format("\"%s\" enthält keinen (ganzen) Datensatz.", name.c_str()));
    return;
  }
  if (records >= kTooManyRecords) {
    messages_.ElementError(Format("\"%s\" enthält zu viele Datensätze.", name.c_str()));
    return;
  }
  entry.recordCount = records;
  const TFieldEntry ident = f_.identField;
  if (ident.length != 0 && ident.position != 0 && ident.position + ident.length - 1 <= length) {
    entry.ident = set_.AddText(std::string_view(
        reinterpret_cast<const char*>(first.data()) + ident.position - 1, ident.length));
  }
  if (f_.crlf) {
    const std::size_t end = f_.effectiveRecordLength;
    if (end + 2 > first.size() || first[end] != '\r' || first[end + 1] != '\n') {
      messages_.ElementError(
          Format("Der erste Datensatz von \"%s\" endet nicht mit CRLF.", name.c_str()));
    }
  }
}

void TParameterChecker::MeasureCompactFile(TInputFileEntry& entry, std::size_t index) {
  const std::string name = Full(entry.file);
  std::vector<std::uint8_t> bytes;
  std::int64_t size = 0;
  try {
    TXanFile file(name);
    file.Open(kXanRead);
    size = file.Size();
    bytes.resize(static_cast<std::size_t>(std::min(size, kCompactMaxContentSize)));
    file.ReadBytes(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    file.Close();
  } catch (const EXanFileError&) {
    messages_.ElementError(Format("\"%s\" kann nicht geöffnet werden.", name.c_str()));
    return;
  }
  TCompactHeaderResult read = DecodeCompactHeader(bytes, size);
  switch (read.fault) {
    case CompactHeaderFault::kNone:
      break;
    case CompactHeaderFault::kNoHeader:
      messages_.ElementError(
          Format("\"%s\" enthält keinen Kompaktsperrdatei-Header", name.c_str()));
      return;
    case CompactHeaderFault::kNoMagic:
      messages_.ElementError(Format("\"%s\" ist keine Kompaktsperrdatei", name.c_str()));
      return;
    case CompactHeaderFault::kWrongVersion:
      messages_.ElementError(
          Format("Kompaktsperrdatei \"%s\" hat eine falsche Versionsnummer: %d (erwartet: %d)",
                 name.c_str(), static_cast<int>(read.version), static_cast<int>(kCompactVersion)));
      return;
    case CompactHeaderFault::kInconsistent:
      messages_.ElementError(
          Format("Kompaktsperrdatei \"%s\" hat einen inkonsistenten Header", name.c_str()));
      return;
  }
  const TCompactHeader& header = read.header;
  const std::int64_t records = CompactRecordCount(header, size);
  if (records >= kTooManyRecords) {
    messages_.ElementError(Format("\"%s\" enthält zu viele Datensätze.", name.c_str()));
    return;
  }
  // An empty compact dark file is accepted: it contributes no records.
  entry.recordCount = records;
  header.FillLayout(entry);
  entry.headerSlots = header.headerSlots;
  entry.ident = set_.AddText(header.ident);
  f_.maxCompactInfoLength = std::max<std::uint16_t>(f_.maxCompactInfoLength,
                                                    static_cast<std::uint16_t>(header.infoLength));
  headers_[index] = std::move(read.header);
}

// ---- 2. Outputs ------------------------------------------------------------------------------

void TParameterChecker::CheckCreatable(const TFileRef& ref) {
  if (ref.state != kNameOk || ref.name == 0) return;
  const std::string name = Full(ref);
  bool ok = false;
  if (FileExistsNotDirectory(name)) {
    // An existing file (an earlier run's output) is left as it is: it must be writable.
    try {
      TXanFile file(name);
      file.Open(kXanWrite);
      file.Close();
      ok = true;
    } catch (const EXanFileError&) {
    }
  } else {
    try {
      TXanFile file(name);
      file.Open(kXanCreate | kXanWrite);
      file.Close();
      ok = std::remove(name.c_str()) == 0;
    } catch (const EXanFileError&) {
    }
  }
  if (!ok) {
    messages_.Error(Format("%s: \"%s\" kann nicht angelegt werden.", FileCodeName(ref.code).c_str(),
                           name.c_str()));
  }
}

void TParameterChecker::CheckOpenable(const TFileRef& ref) {
  if (ref.state != kNameOk || ref.name == 0) return;
  const std::string name = Full(ref);
  try {
    TXanFile file(name);
    file.Open(kXanRead);
    file.Close();
  } catch (const EXanFileError&) {
    messages_.Error(Format("%s: \"%s\" kann nicht geöffnet werden.", FileCodeName(ref.code).c_str(),
                           name.c_str()));
  }
}

void TParameterChecker::CheckOutputsCreatable() {
  const auto file = [&](std::int32_t code) -> const TFileRef& {
    return f_.files[static_cast<std::size_t>(code)];
  };
  if (f_.makeCompactFile) {
    CheckCreatable(file(kCodeCompact));
  } else {
    if (!f_.splitOutput) {
      CheckCreatable(file(kCodeSingle));
      CheckCreatable(file(kCodeMulti));
    }
    if (!f_.splitDuplicates) CheckCreatable(file(kCodeDuplicates));
    // The own outputs of each input file.
    for (const TInputFileEntry& entry : set_.InputFiles()) {
      for (const TFileRef& output : entry.outputs) CheckCreatable(output);
    }
    CheckCreatable(file(kCodeDuplicateList));
    CheckCreatable(file(kCodeStatistics));
  }
  CheckCreatable(file(kCodeTemp1));
  if (start_ == RunStart::kRestart) {
    CheckOpenable(file(kCodeTemp2));
  } else {
    CheckCreatable(file(kCodeTemp2));
  }
  if (f_.sortOutput) {
    CheckCreatable(file(kCodeTemp3));
    CheckCreatable(file(kCodeTemp4));
  }
}

// ---- 4. Layouts ------------------------------------------------------------------------------

bool TParameterChecker::DeriveLayouts() {
  const RangeCheck range = [&](std::string_view name, std::int64_t value, std::int64_t lowest,
                               std::int64_t highest) {
    return messages_.Range(name, value, lowest, highest);
  };
  bool ok = DeriveOutputSortRecord(set_, range);
  ok = DeriveMatchRecord(set_, range) && ok;
  ok = DeriveListAndInfoLengths(set_, range) && ok;
  if (!ok) return false;
  const bool split = f_.splitOutput || f_.splitDuplicates;
  std::int32_t slot = 0;
  for (TInputFileEntry& entry : set_.InputFiles()) {
    entry.splitSlot = -1;
    if (entry.type == InputFileType::kKompaktsperr) continue;  // laid out from its header
    entry.blueRecordLength = f_.classRecordLength;
    entry.outputRecordLength = f_.outputRecordLength;
    entry.classRecordLength = f_.classRecordLength;
    entry.fileNumberPosition = f_.fileNumberPosition;
    entry.classKeyPosition = f_.classKeyPosition;
    entry.classKeyLength = f_.classKeyLength;
    entry.matchKeyPosition = f_.matchKeyPosition;
    entry.matchKeyLength = f_.matchKeyLength;
    entry.componentOffsetsPosition = f_.componentOffsetsPosition;
    entry.flagPosition = f_.flagPosition;
    entry.outSortRecordLength = f_.outSortRecordLength;
    entry.outFileNumberPosition = f_.outFileNumberPosition;
    entry.outSortKeyPosition = f_.outSortKeyPosition;
    entry.outSortKeyLength = f_.outSortKeyLength;
    entry.compactWithPriority = false;
    entry.priorityPosition = entry.infoPosition = entry.infoLength = 0;
    if (split && (entry.type == InputFileType::kGrund || entry.type == InputFileType::kMaster)) {
      entry.splitSlot = slot++;
    }
  }
  return true;
}

}  // namespace vld
