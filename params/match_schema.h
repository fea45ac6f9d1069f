// The match parameter schema: the type tree of one match parameter set, with every record,
// list, union and leaf, its name as stored in parameter files, its limits, default and
// visibility level. Every parameter file is read into this schema, and the member names are the
// names by which files written under older schemas are matched, so they are reproduced exactly.
//
// The tree is built once by the program (the parameter editor keeps it for the whole process);
// a new parameter set is NewValue() of the root record "Root".
#pragma once

#include "params/param_types_composed.h"

namespace vld {

// Builds the record type "Root" with everything below it.
TParamTypeRef<const TParamTTRecord> BuildMatchParamSchema();

}  // namespace vld
