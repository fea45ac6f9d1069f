#include "data/layout_params.h"

#include <algorithm>
#include <set>

#include "data/field_types.h"
#include "params/param_text.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {
namespace {

constexpr std::size_t kMaxParamFieldName = 20;

TParamTreeValue& MemberOf(const TParamTreeValue& parent, std::string_view name) {
  const auto* record = dynamic_cast<const TParamTVRecord*>(&parent);
  TParamTreeValue* member = record != nullptr ? record->Member(name) : nullptr;
  if (member == nullptr) {
    Fatal(Format("parameter set has no member %.*s", static_cast<int>(name.size()), name.data()));
  }
  return *member;
}

template <typename T>
T& As(TParamTreeValue& value) {
  T* typed = dynamic_cast<T*>(&value);
  if (typed == nullptr) Fatal("parameter of unexpected class");
  return *typed;
}

TParamTVList& ListOf(const TParamTreeValue& parent, std::string_view name) {
  return As<TParamTVList>(MemberOf(parent, name));
}

void SetInt(const TParamTreeValue& record, std::string_view name, std::int32_t value) {
  As<TParamTVInteger>(MemberOf(record, name)).SetCurrent(value);
}

void Empty(TParamTVList& list) {
  while (list.Count() > 0) list.Delete(list.Count() - 1);
}

struct LayoutField {
  std::string name;  // unique, valid in a parameter set
  std::int32_t position, length, typ;
  std::string felder;  // the layout name as it stands
};

// Adds a field entry unless the list already holds the field.
void Add(TParamTVList& list, const LayoutField& f, const std::string& listName) {
  for (std::int32_t i = 0; i < list.Count(); ++i) {
    const TParamTreeValue& entry = list.Item(i);
    if (As<TParamTVInteger>(MemberOf(entry, "Position")).Current() == f.position &&
        As<TParamTVInteger>(MemberOf(entry, "Länge")).Current() == f.length) {
      return;
    }
  }
  if (list.Count() >= list.ListType().MaxCount()) {
    throw EUserError(
        Format("Die Liste \"%s\" des Parametersatzes kann höchstens %d Felder "
               "aufnehmen. Bitte ordnen Sie weniger Spalten diesem Feldtyp zu.",
               listName.c_str(), list.ListType().MaxCount()));
  }
  auto entry = list.ListType().ElemType().NewValue();
  As<TParamTVString>(MemberOf(*entry, "Feldname")).SetText(f.name);
  SetInt(*entry, "Position", f.position);
  SetInt(*entry, "Länge", f.length);
  list.Insert(list.Count(), std::move(entry));
}

std::vector<LayoutField> LayoutFields(const TFieldTable& layout) {
  std::vector<LayoutField> fields;
  std::set<std::string> used;
  for (const TFieldRow& row : layout.Rows()) {
    std::string name = ParamFieldName(row.felder, row.position);
    for (int n = 2; !used.insert(name).second; ++n) {
      const std::string suffix = " " + std::to_string(n);
      name =
          FirstChars(ParamFieldName(row.felder, row.position), kMaxParamFieldName - suffix.size()) +
          suffix;
    }
    fields.push_back(LayoutField{name, row.position, row.laenge, row.typ, row.felder});
  }
  return fields;
}

[[noreturn]] void NoFieldFor(const std::string& kind) {
  throw EUserError(
      Format("Die Parameterdatei sieht mindestens ein Feld vom Typ %s vor. Bitte "
             "geben Sie mindestens ein solches Feld in den Feldlisten an.",
             kind.c_str()));
}

}  // namespace

std::string ParamFieldName(std::string_view name, std::int32_t position) {
  std::string cleaned;
  std::size_t pos = 0;
  while (pos < name.size()) {
    const std::size_t start = pos;
    const auto c = DecodeUtf8(name, pos);
    const std::string_view piece = name.substr(start, pos - start);
    if (!c || *c < 32 || (*c >= 0x7F && *c < 0xA0) || !SingleFileChar(piece)) {
      cleaned.push_back(' ');
    } else {
      cleaned.append(piece);
    }
  }
  std::string result(TrimBlanks(cleaned));
  result = std::string(TrimBlanks(FirstChars(result, kMaxParamFieldName)));
  if (result.empty()) result = "#" + std::to_string(position);
  return result;
}

void WriteLayoutToParams(TParamTVRecord& root, const TFieldTable& layout,
                         std::int32_t recordLength) {
  TParamTreeValue& criteria = MemberOf(root, "Kriterien");
  TParamTVList& slots = ListOf(criteria, "Slots");
  TParamTreeValue& format = MemberOf(root, "Satzaufbau");

  // 1. Empty the slots' field lists.
  for (std::int32_t s = 0; s < slots.Count(); ++s) {
    auto& slot = As<TParamTVUnion>(slots.Item(s));
    const std::string kind = slot.DiscriminantName();
    TParamTreeValue& variant = *slot.Variant();
    if (kind == "Firma") {
      SetInt(MemberOf(variant, "AKZ-Feld"), "Länge", 0);
      Empty(ListOf(variant, "Namensfelder"));
      Empty(ListOf(variant, "AP Felder"));
    } else {
      Empty(ListOf(variant, "Felder"));
    }
  }
  // 2. The record format.
  SetInt(MemberOf(format, "Ident"), "Länge", 0);
  TParamTreeValue& cityField = MemberOf(format, "Ortsfeld");
  SetInt(cityField, "Länge", 0);
  TParamTVList& classKey = ListOf(format, "Klassenschlüssel");
  TParamTVList& listFields = ListOf(format, "Listenfelder");
  Empty(classKey);
  Empty(listFields);
  SetInt(format, "Datensatzlänge", recordLength + 2);
  // 3. List fields over the whole record.
  std::int32_t start = 1, rest = recordLength;
  for (;;) {
    const std::int32_t length = std::min(rest, 255);
    const LayoutField piece{"#" + std::to_string(start), start, length, -1, ""};
    Add(listFields, piece, "Listenfelder");
    if (rest <= 255) break;
    start += 255;
    rest -= 255;
  }
  // 4. The slots.
  const std::vector<LayoutField> fields = LayoutFields(layout);
  bool classKeySet = false;
  for (std::int32_t s = 0; s < slots.Count(); ++s) {
    auto& slot = As<TParamTVUnion>(slots.Item(s));
    const std::string kind = slot.DiscriminantName();
    TParamTreeValue& variant = *slot.Variant();
    const std::string slotName = As<TParamTVString>(MemberOf(variant, "Slot-Name")).Text();
    bool any = false;
    if (kind == "Ident") {
      for (const LayoutField& f : fields) {
        if (f.typ < 5000 || f.typ >= 6000) continue;
        if (!classKeySet) {
          Add(classKey, f, "Klassenschlüssel");
          classKeySet = true;
        }
        Add(ListOf(variant, "Felder"), f, "Felder");
        any = true;
      }
    } else if (kind == "Name" || kind == "Straße" || kind == "Str/Postfach") {
      for (const LayoutField& f : fields) {
        const bool take = kind == "Name"     ? f.typ >= 1000 && f.typ < 2000
                          : kind == "Straße" ? f.typ == 3000
                                             : f.typ >= 3000 && f.typ < 4000;
        if (!take) continue;
        Add(ListOf(variant, "Felder"), f, "Felder");
        if (kind == "Str/Postfach") {
          SetInt(cityField, "Position", f.position);
          SetInt(cityField, "Länge", f.length);
        }
        any = true;
      }
    } else if (kind == "Firma") {
      for (const LayoutField& f : fields) {
        if (f.typ >= 1000 && f.typ < 2000) {
          Add(ListOf(variant, "AP Felder"), f, "AP Felder");
        } else if (f.typ >= 2000 && f.typ < 3000) {
          Add(ListOf(variant, "Namensfelder"), f, "Namensfelder");
        } else {
          continue;
        }
        any = true;
      }
    } else {  // "Text", "Normal": the fields of the type named like the slot, else by name
      const std::optional<std::int32_t> slotType = ParseFieldType(slotName);
      // A slot named "Name" stands for the whole person name: first and last names as well.
      const auto ofType = [&](std::int32_t typ) {
        if (!slotType) return false;
        if (*slotType == kTypeName) return typ >= kTypeName && typ < kTypeName + 1000;
        return typ == *slotType;
      };
      std::vector<const LayoutField*> chosen;
      for (const LayoutField& f : fields) {
        if (IsTypedField(f.typ) && ofType(f.typ)) chosen.push_back(&f);
      }
      if (chosen.empty()) {
        for (const LayoutField& f : fields) {
          if (IsTypedField(f.typ) && SameTextIgnoringCase(f.felder, slotName)) chosen.push_back(&f);
        }
      }
      if (chosen.empty()) NoFieldFor(slotName);
      for (const LayoutField* f : chosen) Add(ListOf(variant, "Felder"), *f, "Felder");
      continue;
    }
    if (!any) NoFieldFor(kind);
  }
  // 5. The city field.
  for (const LayoutField& f : fields) {
    if (f.typ != kTypeCity) continue;
    SetInt(cityField, "Position", f.position);
    SetInt(cityField, "Länge", f.length);
    break;
  }
  // 6. A class key from the postal code when no "Ident" slot gave one.
  if (!classKeySet) {
    for (std::int32_t wanted : {kTypePostalCode, kTypeIdent}) {
      const auto it = std::find_if(fields.begin(), fields.end(),
                                   [&](const LayoutField& f) { return f.typ == wanted; });
      if (it != fields.end()) {
        Add(classKey, *it, "Klassenschlüssel");
        break;
      }
    }
  }
}

}  // namespace vld
