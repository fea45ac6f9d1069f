// The parameter check: validates a match parameter set that was just filled from the parameter
// tree, resolves and tests the task's file names, reads the file list, measures the input
// files, loads the postal-code mapping, the normalisation tables and the dark lists, and
// computes the derived values of the set. Every problem becomes a German message handed to the
// sink ("! " errors, "? " warnings, see param_messages.h); the task starts only when the check
// reports no error. The wizard and the parameter editor run it too (through
// LoadMatchParameters), so its messages are what users see when a parameter set is wrong.
//
// Stages, each run only while no error has been reported; within a stage every problem is
// reported:
//   A  the parameter block was exhausted while the set was filled
//   B  the journal: its name, and the journal sink must open it
//   C  values and names: scalars, single fields, symbols, the base paths, every file name, the
//      file list and the input files, the vectors (key fields, slots with their components,
//      list fields, rating fields, protocol columns)
//   D  per-input output names, dark-list cache names, the component list
//   E  cross checks: name collisions, file types, qualities, bonus priorities, rating fields,
//      columns
//   F  input files measured (compact dark files against their header), outputs creatable, the
//      record layouts and every derived value
//   G  tables: postal-code mapping, phonetic and simple normalisation table, dark lists
//   H  compact dark files used as input compared with the set
//
// Afterwards the set's fields hold the error and warning counts, every file name resolved (a
// directory ends with '/'), each input entry its complete record layout, and `tables` the loaded
// tables. Runs on the task's worker thread (or the interface thread when no task runs).
#pragma once

#include <cstdint>

#include "matching/match_params.h"
#include "matching/match_setup.h"

namespace vld {

// How the run that will use the checked set starts.
//   kNew      a run from the beginning: "Temporärdatei 2" must be creatable.
//   kRestart  a run that goes on from the merged class-key file of an earlier run:
//             "Temporärdatei 2" must exist and is opened instead.
// (The stepwise mode of a run is something else: it pauses between phases and has no bearing
// on the check.)
enum class RunStart : std::uint8_t { kNew, kRestart };

// Checks `set` as described above. The sinks may be empty: then messages go nowhere and the
// journal counts as opened. Nothing is raised to the caller: a damaged dark-list package is a
// message like every other fault of the set.
void CheckParameterSet(TParameterCheck& set, TMatchTables& tables, RunStart start,
                       const ParameterMessageSink& messages, const JournalSink& journal);

}  // namespace vld
