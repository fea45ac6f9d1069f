// The parameter set as lines of labelled values, in the order and with the labels the editor's
// tree and the print listing use: a record member is labelled with its member name, a list
// element with "[n]  " and the list's element caption, a union with its discriminant caption
// (valued with the discriminant name) followed by the members of a record variant, or one line
// labelled with the discriminant name for another variant. Values whose type's level is below
// the display level are left out with everything below them.
//
// The schema listing describes the types the same way: member names, type names, defaults and
// levels.
#pragma once

#include <string>
#include <vector>

#include "params/param_values_composed.h"

namespace vld {

struct TParamListingLine {
  int depth = 0;  // members of the root at 0
  std::string label;
  bool has_value = false;  // elementary values and union discriminants
  std::string value;       // AsText at the display level; memos: the full text
  int state = kStateNew;   // the value's State (for a discriminant line: the union's)
  std::string path;        // dotted, indexed path: Kriterien.Slots [2].Art des Slots
  const TParamTreeValue* object = nullptr;  // the value (for a discriminant line: the union)
};

// REQUIRES: 1 <= level <= 4.
std::vector<TParamListingLine> ListParamTree(const TParamTVRecord& root, int level);

struct TSchemaListingLine {
  int depth = 0;
  std::string text;
};

// The schema below `root`. A composed type met again is named without its contents.
std::vector<TSchemaListingLine> ListSchema(const TParamTTRecord& root);

}  // namespace vld
