// Changing a value of a parameter set by its dotted, indexed path ("PFAD=WERT"), as the command
// line and the build of the shipped sets do: the value is checked with the editor's rules.
#pragma once

#include <string_view>

#include "params/param_file.h"

namespace vld {

// Applies one assignment "PATH=VALUE" (an index one past the end of a list appends an element).
// Raises EUserError with a German message naming the path when the path names nothing, the
// value is not editable at the set's edit level, or the value is refused.
void AssignParamPath(TParamSet& set, std::string_view assignment);

}  // namespace vld
