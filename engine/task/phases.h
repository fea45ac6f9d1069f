// The phases of a match task. Each phase is one pipeline run: heading, a phase layer pushed on
// the phase set, a process manager with its processes, the run, the memory report, the layer
// freed, the consumed temporary file deleted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/pipeline/file_layout.h"
#include "engine/pipeline/sort_plan.h"
#include "engine/runtime/layers.h"
#include "matching/match_document.h"
#include "matching/match_setup.h"

namespace vld {

// What every phase of one task shares.
struct TTaskContext {
  const TParameter& set;
  TMatchTables& tables;
  TMatchDocument* document;
  TMemoryLayer& phaseSet;
  std::vector<TInputFile> inputs;        // every input file, by file number
  std::vector<TInputFile> recordInputs;  // the record files (not compact dark files)
  std::vector<const TFileLayout*> descriptors;
  std::int64_t sortedRecords = 0;  // records of the record files (all but compact dark files)
  TSortPlan plan;
  TSortPlan planCopy;
  TQueue* q1 = nullptr;
  TQueue* q2 = nullptr;
  TQueue* q3 = nullptr;

  // Full name of file code 1..22; empty when the file is not wanted. Outputs (codes 6 to 10
  // and 13) are written under a temporary name beside the final one; CommitOutputs gives them
  // their final names when the task succeeds, so an output that looks complete is complete.
  std::string File(int code) const;
  // The temporary name of an output file (registered for CommitOutputs).
  std::string Pending(const std::string& finalName);
  void CommitOutputs();
  std::vector<std::pair<std::string, std::string>> pending;  // final name, temporary name
};

// Suffix of an output file while the task writes it.
inline constexpr const char* kUnfinishedSuffix = ".unfertig";

void RunSelection(TTaskContext& c);
// Merges the runs of Q1 into the second temporary file (or moves a single run there).
void RunMerge(TTaskContext& c);
void RunMergeAndCompact(TTaskContext& c);
void RunMatching(TTaskContext& c);
// Merges the sorted single (multi = false) or multiple records into their outputs.
void RunMergeOutput(TTaskContext& c, bool multi);

}  // namespace vld
