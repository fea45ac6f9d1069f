// Committing a text typed into an editor cell (or given on the command line) to an elementary
// value, with the editor's rules: the text is trimmed (a memo only on the right); for quoted
// strings and characters a text holding an apostrophe or '#' is read back from its literal form
// ('a'#9'b'); then the value's SetAsText decides.
#pragma once

#include <string_view>

#include "params/param_values.h"

namespace vld {

enum class CellResult { kAccepted, kInvalidValue, kMalformedLiteral };

inline constexpr const char* kInvalidValueText = "Unzulässiger Wert.";
inline constexpr const char* kMalformedLiteralText = "Ungültige Zeichenketten-Darstellung.";

// On kAccepted the value's current content changed (or stayed equal); otherwise it is unchanged.
CellResult CommitCellText(TParamTVElementary& value, std::string_view utf8);

// The editor's message for a result that was not accepted ("" for kAccepted).
const char* CellResultText(CellResult result);

}  // namespace vld
