#include "params/param_assign.h"

#include <string>

#include "params/param_edit.h"
#include "params/param_path.h"
#include "params/param_values_composed.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {

void AssignParamPath(TParamSet& set, std::string_view assignment) {
  if (assignment.find('=') == std::string_view::npos) {
    throw EUserError("\"" + std::string(assignment) + "\" ist keine Zuweisung PFAD=WERT.");
  }
  const std::size_t eq = assignment.find('=');
  TParamPathOptions options;
  options.allow_append = true;
  options.edit_level = set.edit_level;
  const TParamPathTarget target = ResolveParamPath(*set.root, assignment.substr(0, eq), options);
  if (target.min_level < set.edit_level) {
    throw EUserError(
        Format("%s: Der Parameter kann in diesem Parametersatz nicht bearbeitet "
               "werden.",
               target.path.c_str()));
  }
  const std::string_view text = assignment.substr(eq + 1);
  CellResult result;
  if (target.discriminant_of != nullptr) {
    TParamTVDiscriminantAlias alias;
    alias.Attach(*target.discriminant_of);
    result = CommitCellText(alias, text);
  } else if (auto* elementary = dynamic_cast<TParamTVElementary*>(target.value)) {
    result = CommitCellText(*elementary, text);
  } else {
    throw EUserError(Format("%s: Der Parameter ist kein einzelner Wert.", target.path.c_str()));
  }
  if (result != CellResult::kAccepted) {
    throw EUserError(Format("%s: %s", target.path.c_str(), CellResultText(result)));
  }
}

}  // namespace vld
