// Addressing one value of a parameter set by its dotted, indexed path, as the listing prints it
// and as parameter-check messages name parameters:
//   Kriterien.Slots [2].Komponente.Wort-Hürde     Eingabedateien [1].Name
//   Kriterien.Slots[2].Art des Slots              Eingabedateien.Ort der Eingabeliste
// Names are record member names (matched exactly, else ignoring case; a name may itself hold
// dots or blanks, the longest matching name wins). A union passes through: its discriminant is
// named by its caption, the members of a record variant directly, another variant by its
// discriminant name. An index "[n]" (1-based, a blank before "[" allowed) selects a list element;
// on a union it selects an element of its list variant. Inside a slot, "Komponenten [k]" names
// the k-th component member, as the parameter check numbers them.
#pragma once

#include <string>
#include <string_view>

#include "params/param_values_composed.h"

namespace vld {

struct TParamPathTarget {
  TParamTreeValue* value = nullptr;          // the addressed value (the union for a discriminant)
  TParamTVUnion* discriminant_of = nullptr;  // set when the path names a union's discriminant
  std::string path;                          // canonical form: "Slots [2].Komponente.Basis"
  int min_level = 4;      // lowest type level on the way (what the editor must show to reach it)
  bool appended = false;  // a new list element was appended to reach it
};

struct TParamPathOptions {
  // An index one past the end appends a new element (NewValue of the element type), when the
  // list is not full and its structure may be changed at `edit_level`.
  bool allow_append = false;
  int edit_level = 1;
};

// Raises EUserError with a German message when the path names nothing:
//   "Den Parameter \"%s\" gibt es nicht."
//   "%s: Das Element %d gibt es nicht (die Liste hat %d Elemente)."
//   "%s: Die Liste hat bereits die Höchstzahl von %d Elementen."
//   "%s: Die Liste kann in diesem Parametersatz nicht verändert werden."
TParamPathTarget ResolveParamPath(TParamTVRecord& root, std::string_view path,
                                  const TParamPathOptions& options = {});

}  // namespace vld
