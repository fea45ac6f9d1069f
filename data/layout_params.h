// Writing the converter's common record layout into the loaded parameter set, so that the
// engine reads its input files ("Matchfile1.txt", "Matchfile2.txt") with the right fields.
//
// On the current parameter set (element names of the match parameter schema):
//  1. the field lists of every slot in "Kriterien"/"Slots" are emptied ("Felder"; for "Firma"
//     "Namensfelder" and "AP Felder", and the "Länge" of its "AKZ-Feld" becomes 0);
//  2. "Satzaufbau": "Ident" and "Ortsfeld" get "Länge" 0, "Klassenschlüssel" and "Listenfelder"
//     are emptied; "Datensatzlänge" := record length + 2;
//  3. list fields "#1", "#256", ... of at most 255 characters cover the whole record;
//  4. each slot takes the layout fields of its kind, in layout order:
//       "Ident"         types 5000-5999; the first also becomes the class key
//       "Name"          types 1000-1999
//       "Straße"        type 3000
//       "Str/Postfach"  types 3000-3999; each also sets "Ortsfeld" (the last one wins)
//       "Firma"         types 1000-1999 to "AP Felder", 2000-2999 to "Namensfelder"
//       "Text", "Normal" the fields whose type name (or, failing that, whose field name) is the
//                       slot's name: a slot "Nachname" takes the "Nachname" fields
//     A slot that finds no field raises "Die Parameterdatei sieht mindestens ein Feld vom Typ %s
//     vor. Bitte geben Sie mindestens ein solches Feld in den Feldlisten an.";
//  5. the first field of type 4000 becomes "Ortsfeld";
//  6. when no "Ident" slot gave a class key, the first postal-code field (type 5000, else
//     5001) becomes the class key, so that records are compared within their postal code.
// A field enters a list once (by position); entry names are the layout names made valid for a
// parameter set (1 to 20 Windows-1252 characters) and unique within the layout. A list that
// would exceed its maximum of entries raises a German message naming it.
#pragma once

#include <cstdint>

#include "data/field_table.h"
#include "params/param_values_composed.h"

namespace vld {

// `layout` is the converter's output layout (TDataConverter::FillTable); `recordLength` the
// output record length without the line break.
void WriteLayoutToParams(TParamTVRecord& root, const TFieldTable& layout,
                         std::int32_t recordLength);

// The name of a layout field as a parameter set can hold it: characters Windows-1252 lacks and
// control characters become blanks, blanks at both ends are dropped, at most 20 characters
// remain; an empty result becomes "#" and the position.
std::string ParamFieldName(std::string_view name, std::int32_t position);

}  // namespace vld
