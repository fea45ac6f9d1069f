#include "data/field_types.h"

#include <array>

#include "params/param_text.h"

namespace vld {
namespace {

constexpr std::array<TFieldType, 10> kTypeTable = {{
    {kTypeName, "Name"},
    {kTypeFirstName, "Vorname"},
    {kTypeLastName, "Nachname"},
    {kTypeCompany, "Firma"},
    {kTypeStreet, "Strasse"},
    {kTypeStreetBox, "Strasse/Postfach"},
    {kTypeCity, "Ort"},
    {kTypePostalCode, "Postleitzahl"},
    {kTypeIdent, "Ident"},
    {kTypeIgnore, "(Ignorieren)"},
}};

// "ß" spelled as "ss", so that "Straße" and "Strasse" name the same type.
std::string WithoutSharpS(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8.substr(i, 2) == "\xC3\x9F") {
      out += "ss";
      ++i;
    } else {
      out.push_back(utf8[i]);
    }
  }
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  return SameTextIgnoringCase(WithoutSharpS(TrimBlanks(a)), WithoutSharpS(b));
}

}  // namespace

std::span<const TFieldType> FieldTypeTable() { return kTypeTable; }

std::string FieldTypeName(std::int32_t typ) {
  for (const TFieldType& t : kTypeTable) {
    if (t.typ == typ) return t.name;
  }
  return "";
}

std::optional<std::int32_t> ParseFieldType(std::string_view text) {
  const std::string_view trimmed = TrimBlanks(text);
  for (const TFieldType& t : kTypeTable) {
    if (SameName(trimmed, t.name)) return t.typ;
  }
  for (const TFieldType& t : kTypeTable) {
    if (trimmed == std::to_string(t.typ)) return t.typ;
  }
  return std::nullopt;
}

std::int32_t FieldTypeForHeader(std::string_view header) {
  for (const TFieldType& t : kTypeTable) {
    if (t.typ != kTypeIgnore && SameName(header, t.name)) return t.typ;
  }
  if (SameName(header, "PLZ")) return kTypePostalCode;
  if (SameName(header, "Hausnummer")) return kTypeStreet;
  return kTypeIgnore;
}

std::string FieldTypeNameList() {
  std::string out;
  for (const TFieldType& t : kTypeTable) {
    if (t.typ == kTypeIgnore) continue;
    if (!out.empty()) out += ", ";
    out += t.name;
  }
  return out;
}

}  // namespace vld
