// Loading a parameter set into the engine: a match task does not run on the parameter tree.
// LoadMatchParameters copies the current parameter set (the tree of the match schema) into a
// checking set, runs the parameter check on it (which loads the tables of the task into the
// target space), and hands back a compact TParameter copy in the target space.
//
// This module is the one place where the parameter tree meets the engine. It is a library of
// its own (veldrona_param_load) so that the parameter tree library (veldrona_params) stays free
// of the engine: the editor and the command-line tools use the tree without it.
//
// Call order on the task's worker thread (the interface does not change the tree meanwhile):
//   TLoadedParameters p = LoadMatchParameters(taskSpace, root, RunStart::kNew, messages, journal);
//   if (p.errors > 0) -> the task ends with its parameter-error outcome;
//   else run from p.set (input files: InputFileTable(*p.set)) and p.tables.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/runtime/origin.h"
#include "matching/match_params.h"
#include "matching/match_setup.h"
#include "matching/param_check.h"
#include "params/param_values_composed.h"

namespace vld {

inline constexpr const char* kParameterErrorsHeader = "Fehler in den Parametern:";

// Loads `root` (a value of the match schema's "Root") into `target`:
//   1. a checking set is filled from the tree (TransferParameterTree);
//   2. the check runs with `start`; its messages go to `messages`, before the first error the
//      line "Fehler in den Parametern:" (as an error text); `journal` is asked to open the
//      task's journal;
//   3. the checked set is copied into `target` and the checking set freed.
// The result's set and tables live in `target` (also when the check found errors: the counts
// tell). A value that does not fit its 16-bit field (possible only for a value read from a
// file) raises the range error ERuntimeError "Fehler bei Bereichsprüfung"; an unreadable
// "Datum-Text" raises EUserError "'%s' ist kein gültiges Datum".
TLoadedParameters LoadMatchParameters(TMemorySpace& target, const TParamTVRecord& root,
                                      RunStart start, const ParameterMessageSink& messages,
                                      const JournalSink& journal);

// Step 1 alone: fills an empty checking set from the tree. Names are stored as given (with the
// output file names' first "*" replaced by "Name" where they are not per-input patterns); the
// check resolves them. Raises as above.
void TransferParameterTree(const TParamTVRecord& root, TParameterCheck& set);

// Reads a date as the platform writes it: "d.m.yyyy", "d.m.yy" (years within 50 years of today)
// or "d.m." (this year); blanks around it are ignored. Returns yyyymmdd, or nullopt when the
// text is no valid date.
std::optional<std::int32_t> ParseDateText(std::string_view text);
// yyyymmdd as "dd.mm.yyyy".
std::string FormatDate(std::int32_t date);

}  // namespace vld
