// The match task: one run from the input files to the outputs, the duplicate list, the statistics
// and the protocol document, as a fixed sequence of pipeline phases over temporary files.
//
//   Selection   all input files -> class keys -> sorted runs          (temporary file 1)
//   Merge       the runs merged in one pass                           (temporary file 2)
//   Matching    match keys -> classes -> comparison -> outputs, list, statistics
//   Merge Output the sorted single and multiple runs into the outputs ("Ausgabe sortieren")
// A special mode only builds a compact dark file (Selection, then Merge and Compact); the stepwise
// mode stops after sorting and resumes with matching on the next start.
//
// The body runs on the task's worker thread (task_thread.h): everything it reports goes through
// the task hooks. It allocates from the task memory (TMemoryControl) and releases every layer it
// pushed on every path; after an error the worker releases the memory control itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/pipeline/sort_plan.h"
#include "engine/pipeline/task_thread.h"
#include "engine/runtime/memory_control.h"
#include "matching/match_document.h"
#include "matching/match_setup.h"

namespace vld {

inline constexpr const char* kProductBanner = "Veldrona Pro 3.6";

struct TMatchTaskOptions {
  std::string runTitle;   // the parameter set's name as the user knows it
  bool stepwise = false;  // "Stufenweise": stop after sorting, resume next time
  TMatchDocument* document = nullptr;  // filled by matching; may be empty
  // Loads and checks the parameter set into `target`. `restart`: a completed merge may be
  // resumed (stepwise); the check then opens the second temporary file instead of testing it.
  std::function<TLoadedParameters(TMemorySpace& target, bool restart,
                                  const ParameterMessageSink& messages,
                                  const JournalSink& journal)>
      load;
  // Called on the worker when matching has written every output, before the outputs take
  // their final names, with the duplicate list's name as it is then; may raise, which fails
  // the task like any other error. May be empty.
  std::function<void(const std::string& listFile)> beforeCommit;
};

class TMatchTask {
 public:
  explicit TMatchTask(TMatchTaskOptions options);
  ~TMatchTask();
  TMatchTask(const TMatchTask&) = delete;
  TMatchTask& operator=(const TMatchTask&) = delete;

  // The task body; run it on a TTaskThread (with Release as its release callback).
  TaskResult Run();
  // Frees the task memory after an error (quietly: the worker unwinds).
  void Release();

 private:
  TaskResult RunPhases(const TParameter& set, TMatchTables& tables, TMemoryLayer& task);

  TMatchTaskOptions options_;
  TMemoryControl* memory_ = nullptr;
};

}  // namespace vld
