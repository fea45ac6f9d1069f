#include "params/match_schema_types.h"

#include <cstring>
#include <limits>

#include "params/param_text.h"
#include "params/param_tree_error.h"
#include "platform/fatal.h"

namespace vld {

namespace {

// The base letters in the order of the bases, with the closing zero byte of the original table.
constexpr char kBaseLetters[9] = {'-', '*', '!', 'x', 'y', 'e', 'a', 't', '\0'};
constexpr int kFileLimit = 8;

bool IsAbsoluteBytes(std::string_view b) {
  if (!b.empty() && b[0] == '/') return true;
  if (b.size() < 3) return false;
  const char d = b[0];
  if (((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z')) && b[1] == ':' && b[2] == '\\') {
    return true;
  }
  if (b[0] != '\\' || b[1] != '\\') return false;
  const std::size_t p = b.find('\\', 2);
  return p != std::string_view::npos && p >= 3 && p + 1 < b.size() &&
         static_cast<unsigned char>(b[p + 1]) > ' ';
}

}  // namespace

bool IsAbsoluteParamPath(std::string_view utf8) { return IsAbsoluteBytes(Utf8ToFileText(utf8)); }

bool IsValidParamPathSyntax(std::string_view utf8, int limit, bool is_directory) {
  const std::string b = Utf8ToFileText(utf8);
  if (b.empty()) return true;
  if (b[0] == '~' && b.size() >= 3 && b[2] == '~') {
    char letter = b[1];
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    const void* found = std::memchr(kBaseLetters, letter, sizeof kBaseLetters);
    if (found == nullptr) return false;
    const int position = static_cast<int>(static_cast<const char*>(found) - kBaseLetters) + 1;
    return position >= 4 && position <= limit && b.find(':', 3) == std::string::npos;
  }
  if (b[0] == '~') return IsAbsoluteBytes(std::string_view(b).substr(1));
  if (is_directory) return IsAbsoluteBytes(b);
  return b.find(':') == std::string::npos;
}

bool TParamTTFile::IsValidText(std::string_view utf8) const {
  return TParamTTString::IsValidText(utf8) && IsValidParamPathSyntax(utf8, kFileLimit, false);
}

bool TParamTTDir::IsValidText(std::string_view utf8) const {
  return TParamTTString::IsValidText(utf8) && IsValidParamPathSyntax(utf8, -PathBase(), true);
}

// ---- file list

std::unique_ptr<TParamTreeValue> TParamTTFileList::NewValue() const {
  return std::make_unique<TParamTVFileList>(TParamTypeRef<const TParamTTFileList>(this), false);
}

std::unique_ptr<TParamTreeValue> TParamTTFileList::NewEmptyValue() const {
  return std::make_unique<TParamTVFileList>(TParamTypeRef<const TParamTTFileList>(this), true);
}

std::string TParamTVFileList::ElemNameOf(std::int64_t, const TParamTreeValue& member) const {
  const auto* file = dynamic_cast<const TParamTVString*>(&member);
  if (file == nullptr) return "";
  std::string_view name = file->Text();
  if (name.size() >= 3 && name[0] == '~' && name[2] == '~') {
    name.remove_prefix(3);
  } else if (!name.empty() && name[0] == '~') {
    name.remove_prefix(1);
  }
  const std::size_t cut = name.find_last_of("\\/:");
  if (cut != std::string_view::npos) name.remove_prefix(cut + 1);
  if (CharCount(name) > 25) return FirstChars(name, 23) + "..";
  return std::string(name);
}

// ---- column list

namespace {

struct ColumnTitles {
  const char* first;
  const char* second;
};

// Indexed by the "Spalte" of a system column; the fifteenth pair is not reachable from the list.
constexpr ColumnTitles kSystemColumnTitles[15] = {
    {"", "Nr."},
    {"", "Datei"},
    {"", "Dateiname"},
    {"", "Prio"},
    {"", "Art"},
    {"Sätze", "Brutto"},
    {"Sätze", "Netto"},
    {"Dubletten", "absolut"},
    {"Dubletten", "Treffer"},
    {"Intra-", "Dubletten"},
    {"Dubletten", "in %"},
    {"Sätze", "%-Netto"},
    {"Sätze", "Single"},
    {"Sätze", "Multi"},
    {"Sätze", "Lieferung"},
};

const TParamTVUnion* ColumnEntry(const TParamTVList& list, std::int64_t i) {
  if (i < 0 || i >= list.Count()) return nullptr;
  return dynamic_cast<const TParamTVUnion*>(&list.Item(i));
}

const TParamTVRecord* ColumnRecord(const TParamTVUnion* entry) {
  return entry ? dynamic_cast<const TParamTVRecord*>(entry->Variant()) : nullptr;
}

}  // namespace

std::unique_ptr<TParamTreeValue> TParamTTColumnList::NewValue() const {
  return std::make_unique<TParamTVColumnList>(TParamTypeRef<const TParamTTColumnList>(this), false);
}

std::unique_ptr<TParamTreeValue> TParamTTColumnList::NewEmptyValue() const {
  return std::make_unique<TParamTVColumnList>(TParamTypeRef<const TParamTTColumnList>(this), true);
}

std::string TParamTVColumnList::ElementCaption(std::int64_t i) const {
  const TParamTVUnion* entry = ColumnEntry(*this, i);
  const TParamTVRecord* record = ColumnRecord(entry);
  std::string first, second;
  if (record != nullptr && entry->Discriminant() == 0) {
    const auto* column = dynamic_cast<const TParamTVEnum*>(record->Member("Spalte"));
    if (column != nullptr && column->Index() >= 0 && column->Index() < 15) {
      first = kSystemColumnTitles[column->Index()].first;
      second = kSystemColumnTitles[column->Index()].second;
    }
  } else if (record != nullptr) {
    const auto* title1 = dynamic_cast<const TParamTVString*>(record->Member("Titel 1"));
    const auto* title2 = dynamic_cast<const TParamTVString*>(record->Member("Titel 2"));
    if (title1 != nullptr) first = TrimBlanks(title1->Text());
    if (title2 != nullptr) second = TrimBlanks(title2->Text());
  }
  std::string caption;
  if (first.empty()) {
    caption = second;
  } else if (second.empty()) {
    caption = first;
  } else if (first.back() == '-') {
    caption = first + second;
  } else {
    caption = first + " " + second;
  }
  return caption.empty() ? TParamTVList::ElementCaption(i) : caption;
}

bool TParamTVColumnList::IsElemNameMember(std::int64_t i, const TParamTreeValue& value) const {
  const TParamTVUnion* entry = ColumnEntry(*this, i);
  if (entry == nullptr) return false;
  if (entry == &value) return true;
  const TParamTVRecord* record = ColumnRecord(entry);
  if (record == nullptr) return false;
  if (entry->Discriminant() == 0) return record->Member("Spalte") == &value;
  return record->Member("Titel 1") == &value || record->Member("Titel 2") == &value;
}

// ---- converter

void TConverter::Convert(TParamTreeValue& value) const {
  auto* record = dynamic_cast<TParamTVRecord*>(&value);
  if (record == nullptr) Fatal("bonus converter on a value that is no record");
  auto* flag = dynamic_cast<TParamTVBoolean*>(&record->Item(bool_));
  auto* other = dynamic_cast<TParamTVInteger*>(&record->Item(other_));
  auto* target = dynamic_cast<TParamTVInteger*>(&record->Item(target_));
  auto* source = dynamic_cast<TParamTVInteger*>(&record->Item(source_));
  if (!flag || !other || !target || !source) Fatal("bonus converter on a record of another layout");
  if (source->Current() <= 0) return;
  const std::int64_t sum = std::int64_t{target->Current()} + source->Current();
  if (sum > std::numeric_limits<std::int32_t>::max()) {
    RaiseParamTree("bonus conversion overflows in %s", record->ParamType().TypeName().c_str());
  }
  target->SetCurrent(static_cast<std::int32_t>(sum));
  source->SetCurrent(0);
  flag->SetBoolean(other->Current() == 0);
}

}  // namespace vld
