// The type and value classes that only the match parameter schema uses: file and directory
// types with the path syntax of parameter sets, the input file list, the protocol column list,
// and the converter that migrates the old replicating bonus.
//
// Path syntax. A path value is empty, absolute, relative to the default base of its field, or
// relative to a named base: "~" letter "~" rest, the letters being x (Aux1-Pfad), y (Aux2-Pfad),
// e (Eingabepfad), a (Ausgabepfad), t (Tabellenpfad) in this order. A file field may name any of
// them; a directory field (Pfade) only the bases listed before its own. "~" followed by an
// absolute path marks an absolute file name. An absolute path is a drive path (C:\...), a
// network path (\\server\share...) or, on this platform, a path beginning with "/".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "params/param_types_composed.h"
#include "params/param_values_composed.h"

namespace vld {

// True for a drive path, a network path or a rooted path (see above).
bool IsAbsoluteParamPath(std::string_view utf8);
// The path syntax with the highest base position `limit` (1-based in "-*!xyeat": files 8,
// directories -PathBase).
bool IsValidParamPathSyntax(std::string_view utf8, int limit, bool is_directory);

// A file name; PathBase is the 0-based position of its default base in "-*!xyeat" (5 e, 6 a,
// 7 t).
class TParamTTFile : public TParamTTFileName {
 public:
  TParamTTFile(std::string default_text, std::int32_t path_base)
      : TParamTTFileName(std::move(default_text), path_base) {}
  const char* ClassName() const override { return "TParamTTFile"; }
  std::string TypeName() const override { return "File"; }
  bool IsValidText(std::string_view utf8) const override;
};

// A base directory; PathBase -k owns the base at position k.
class TParamTTDir : public TParamTTDirectory {
 public:
  TParamTTDir(std::string default_text, std::int32_t path_base)
      : TParamTTDirectory(std::move(default_text), path_base) {}
  const char* ClassName() const override { return "TParamTTDir"; }
  std::string TypeName() const override { return "Dir"; }
  bool IsValidText(std::string_view utf8) const override;
};

// The input file list: its elements are named by their file name.
class TParamTTFileList : public TParamTTList {
 public:
  TParamTTFileList(std::uint8_t level, std::int32_t min_count, std::int32_t max_count,
                   std::uint8_t struct_level, std::int32_t elem_index, TypeRef elem_type)
      : TParamTTList(ElemNameKind::kFileName, level, min_count, max_count, struct_level, elem_index,
                     std::move(elem_type), {}) {}
  const char* ClassName() const override { return "TParamTTFileList"; }
  std::string TypeName() const override { return "FileList"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::unique_ptr<TParamTreeValue> NewEmptyValue() const override;
};

class TParamTVFileList : public TParamTVList {
 public:
  TParamTVFileList(TParamTypeRef<const TParamTTFileList> type, bool empty)
      : TParamTVList(std::move(type), empty) {}
  const char* ClassName() const override { return "TParamTVFileList"; }
  // The file name without its base prefix and folder, cut to 23 characters and ".." when
  // longer than 25.
  std::string ElemNameOf(std::int64_t i, const TParamTreeValue& member) const override;
};

// The protocol column list ("Spaltenliste"): elements are named by their column titles.
class TParamTTColumnList : public TParamTTList {
 public:
  TParamTTColumnList(std::uint8_t level, std::int32_t min_count, std::int32_t max_count,
                     std::uint8_t struct_level, TypeRef elem_type, std::vector<ParamConst> defaults)
      : TParamTTList(level, min_count, max_count, struct_level, -1, std::move(elem_type),
                     std::move(defaults)) {}
  const char* ClassName() const override { return "TParamTTColumnList"; }
  std::string TypeName() const override { return "ColumnList"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::unique_ptr<TParamTreeValue> NewEmptyValue() const override;
};

class TParamTVColumnList : public TParamTVList {
 public:
  TParamTVColumnList(TParamTypeRef<const TParamTTColumnList> type, bool empty)
      : TParamTVList(std::move(type), empty) {}
  const char* ClassName() const override { return "TParamTVColumnList"; }
  // The two column titles joined ("Sätze Brutto", "Intra-Dubletten"), else "#%d".
  std::string ElementCaption(std::int64_t i) const override;
  // The entry itself, a system column's "Spalte", an additional column's titles.
  bool IsElemNameMember(std::int64_t i, const TParamTreeValue& value) const override;
};

// Migrates "Bonus 2 (replizierend)" of a component record read from a file: a positive source
// is added to the target, the source becomes 0, and the Bool member becomes Ja when the other
// member is 0, else Nein. Member indices are given per component record.
class TConverter : public TParamValueConverter {
 public:
  TConverter(int bool_index, int other_index, int target_index, int source_index)
      : bool_(bool_index), other_(other_index), target_(target_index), source_(source_index) {}
  // Raises EParamTree when the sum does not fit into 32 bits (only a damaged file holds such
  // values).
  void Convert(TParamTreeValue& value) const override;

 private:
  int bool_, other_, target_, source_;
};

}  // namespace vld
