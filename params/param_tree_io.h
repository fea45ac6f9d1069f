// Storing a parameter tree in the parameter file format (after the file header, see
// params/param_file.h):
//   type count n (int32); n type descriptions in type-id order 1..n; the root value.
// A description starts with its stream code: enumeration 12 (boolean 16), record 13, list 14,
// union 15. Ids are assigned in post-order, so a description refers only to predefined ids
// (-1 integer, -2 string family, -3 character, -4 memo, 0 an empty union variant) and smaller
// ids, and the root value's type is the one with id n.
//
// Reading builds the stored types from the table and reads the root value into the schema,
// matching records, enumerations and unions by names (params/param_adapt.h).
#pragma once

#include <memory>

#include "params/param_stream.h"
#include "params/param_types.h"
#include "params/param_values.h"

namespace vld {

// Writes the type table of `root`'s type and then `root`.
void WriteParamTree(const TParamTreeValue& root, IParamWriter& writer);

// Reads a tree stored under its own type table into `schema`. nullptr when the stream is short
// or inconsistent with its table (the file is damaged). Raises EParamTree for an unknown stream
// code ("invalid streaming code read %d"), an invalid type id, or a stored type that cannot be
// read into the schema type at its position. `lazy`: build name mappings only when needed.
std::unique_ptr<TParamTreeValue> ReadParamTree(const TParamTreeType& schema, IParamReader& reader,
                                               bool lazy);

}  // namespace vld
