#include "params/param_edit.h"

#include "engine/files/string_utils.h"
#include "params/param_text.h"

namespace vld {

CellResult CommitCellText(TParamTVElementary& value, std::string_view utf8) {
  if (dynamic_cast<TParamTVMemo*>(&value) != nullptr) {
    return value.SetAsText(TrimRightBlanks(utf8)) ? CellResult::kAccepted
                                                  : CellResult::kInvalidValue;
  }
  std::string text(TrimBlanks(utf8));
  const auto* string_value = dynamic_cast<const TParamTVString*>(&value);
  const bool quoted = dynamic_cast<const TParamTVChar*>(&value) != nullptr ||
                      (string_value != nullptr && string_value->StringType().Quoted());
  if (quoted && NeedsQuoting(text)) {
    // The literal's '#' codes are Windows-1252 codes, so it is read in that code page.
    if (!IsFileText(text)) return CellResult::kInvalidValue;
    const std::optional<std::string> unquoted = UnquoteLiteral(Utf8ToFileText(text));
    if (!unquoted) return CellResult::kMalformedLiteral;
    text = FileTextToUtf8(*unquoted);
  }
  return value.SetAsText(text) ? CellResult::kAccepted : CellResult::kInvalidValue;
}

const char* CellResultText(CellResult result) {
  switch (result) {
    case CellResult::kAccepted:
      return "";
    case CellResult::kInvalidValue:
      return kInvalidValueText;
    case CellResult::kMalformedLiteral:
      return kMalformedLiteralText;
  }
  return "";
}

}  // namespace vld
