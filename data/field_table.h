// Field lists: the rows the wizard's field grid edits for each source (its tables mtbFields1 and
// mtbFields2), the converter's output layout (mtbFields), and the field-list files (".fls")
// in which a user keeps a list.
//
// Field-list file, little-endian:
//   OFFSET  SIZE  FIELD
//        0    32  magic "Veldrona Feldliste (C) Korvist  ", compared byte for byte
//       32     4  format version, 1
//       36     4  number of rows n
//       40        n rows, each:
//                   4  ID (signed)
//                   4  Position (signed)
//                   4  Laenge (signed)
//                   4  Typ (signed)
//                   2  byte count b of the name, at most 200
//                   b  Felder, the field name in UTF-8 (at most 50 characters)
//   The file ends right after the last row.
// Loading distrusts the file: the row count is checked against the bytes left before anything
// is allocated, and a file that is not such a list is a German message naming it.
//
// Besides, a field list can be written as text for the command line: one field a line,
// "Feld;Position;Länge;Typ" (Typ optional: a type name or code; a first line whose Position is
// not a number is a header).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/data_access.h"

namespace vld {

inline constexpr std::string_view kFieldListMagic{"Veldrona Feldliste (C) Korvist  ", 32};
inline constexpr std::uint32_t kFieldListVersion = 1;
inline constexpr std::size_t kFieldNameChars = 50;

struct TFieldRow {
  std::int32_t id = 0;
  std::string felder;  // the field name, at most kFieldNameChars characters
  std::int32_t position = 0;
  std::int32_t laenge = 0;
  std::int32_t typ = -1;
  friend bool operator==(const TFieldRow&, const TFieldRow&) = default;
};

class TFieldTable {
 public:
  void Clear() { rows_.clear(); }
  // Appends a row; a longer name is cut to kFieldNameChars characters.
  void Append(TFieldRow row);
  // Appends a row with the next ID (one above the largest, from 0).
  void Append(std::string felder, std::int32_t position, std::int32_t laenge, std::int32_t typ);
  // Deletes row `index`; REQUIRES a valid index.
  void Delete(std::size_t index);
  const std::vector<TFieldRow>& Rows() const { return rows_; }
  std::size_t Count() const { return rows_.size(); }

  // One description per row in table order: Name = Felder, Position, Length = Laenge, Typ.
  TFieldDescs ToFieldDescs() const;

  // The field-list file image of the rows, and writing it.
  std::string ToBytes() const;
  void SaveToFile(const std::string& fileName) const;
  // Empties the table, then loads the rows of a field-list file image; `fileName` names it in
  // messages. On an error the table stays empty.
  void LoadFromBytes(std::string_view bytes, const std::string& fileName);
  void LoadFromFile(const std::string& fileName);
  // A field-list file or, when it does not begin with the magic, the text form.
  void LoadFromAnyFile(const std::string& fileName);
  // The text form ("Feld;Position;Länge;Typ" lines); `fileName` names it in messages.
  void LoadFromText(std::string_view text, const std::string& fileName);

 private:
  std::vector<TFieldRow> rows_;
};

}  // namespace vld
