// The field types of the input sources: the type table the field lists choose from, and how a
// column is given its type by name.
//
// Ranges carry meaning: 1000-1999 parts of a person's name, 2000-2999 the company name,
// 3000-3999 street or street/PO box, 4000 the city, 5000-5999 postal code or identifier. A field
// with a type below 1000 (the table offers only -1, "(Ignorieren)") takes no part in matching.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vld {

inline constexpr std::int32_t kTypeIgnore = -1;
inline constexpr std::int32_t kTypeName = 1000;
inline constexpr std::int32_t kTypeFirstName = 1001;
inline constexpr std::int32_t kTypeLastName = 1002;
inline constexpr std::int32_t kTypeCompany = 2000;
inline constexpr std::int32_t kTypeStreet = 3000;
inline constexpr std::int32_t kTypeStreetBox = 3001;
inline constexpr std::int32_t kTypeCity = 4000;
inline constexpr std::int32_t kTypePostalCode = 5000;
inline constexpr std::int32_t kTypeIdent = 5001;

struct TFieldType {
  std::int32_t typ;
  const char* name;
};

// The rows of the type table in their order: 1000 "Name" ... 5001 "Ident", -1 "(Ignorieren)".
std::span<const TFieldType> FieldTypeTable();

// The table's name of `typ`, "" when the table has no such row.
std::string FieldTypeName(std::int32_t typ);

// A type given by a user: a name of the table (case-insensitive; "Straße" for "Strasse") or a
// code of the table written in decimal. Empty when it is neither.
std::optional<std::int32_t> ParseFieldType(std::string_view text);

// The type a column gets by its header name when the user assigned none: the type names,
// "Straße", "PLZ" and "Hausnummer" (as street), compared case-insensitively after trimming
// blanks; -1 for every other name.
std::int32_t FieldTypeForHeader(std::string_view header);

// A typed field takes part in matching (type 1000 or above).
inline bool IsTypedField(std::int32_t typ) { return typ >= 1000; }

// The German list of the type names for messages: "Name, Vorname, ..., Ident".
std::string FieldTypeNameList();

}  // namespace vld
