#include "params/param_path.h"

#include <algorithm>
#include <optional>

#include "params/param_text.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {

namespace {

constexpr std::string_view kComponentsAlias = "Komponenten";
constexpr std::string_view kComponentTypeName = "Komponente";

// A name that can follow the current value.
struct Candidate {
  std::string name;
  TParamTreeValue* value = nullptr;
  TParamTVUnion* discriminant_of = nullptr;
  const TParamTVRecord* alias_record = nullptr;  // "Komponenten" of this record
};

void AddRecordMembers(TParamTVRecord& record, std::vector<Candidate>& out) {
  bool has_component = false;
  for (std::int32_t i = 0; i < record.Count(); ++i) {
    out.push_back({record.RecordType().MemberName(i), &record.Item(i), nullptr, nullptr});
    has_component |= record.Item(i).ParamType().TypeName() == kComponentTypeName;
  }
  if (has_component) out.push_back({std::string(kComponentsAlias), nullptr, nullptr, &record});
}

std::vector<Candidate> CandidatesOf(TParamTreeValue& value) {
  std::vector<Candidate> out;
  if (auto* record = dynamic_cast<TParamTVRecord*>(&value)) {
    AddRecordMembers(*record, out);
  } else if (auto* u = dynamic_cast<TParamTVUnion*>(&value)) {
    out.push_back({u->UnionType().DiscriminantCaption(), u, u, nullptr});
    if (auto* variant_record = dynamic_cast<TParamTVRecord*>(u->Variant())) {
      AddRecordMembers(*variant_record, out);
    } else if (u->Variant() != nullptr) {
      out.push_back({u->DiscriminantName(), u->Variant(), nullptr, nullptr});
    }
  }
  return out;
}

bool IsNameEnd(std::string_view rest) {
  if (rest.empty() || rest[0] == '.' || rest[0] == '[') return true;
  const std::size_t p = rest.find_first_not_of(' ');
  return p != std::string_view::npos && rest[p] == '[';
}

// The candidate whose name starts `rest` (exactly first, then ignoring case), longest first.
const Candidate* MatchName(const std::vector<Candidate>& candidates, std::string_view rest) {
  for (bool ignore_case : {false, true}) {
    const Candidate* best = nullptr;
    for (const Candidate& c : candidates) {
      if (c.name.size() > rest.size()) continue;
      const std::string_view head = rest.substr(0, c.name.size());
      const bool same = ignore_case ? SameTextIgnoringCase(head, c.name) : head == c.name;
      if (same && IsNameEnd(rest.substr(c.name.size())) &&
          (best == nullptr || c.name.size() > best->name.size())) {
        best = &c;
      }
    }
    if (best != nullptr) return best;
  }
  return nullptr;
}

// Parses " [n]" at the start of `rest`; advances it. nullopt when there is no index.
std::optional<std::int64_t> ParseIndex(std::string_view& rest, bool& malformed) {
  std::string_view r = rest;
  while (!r.empty() && r[0] == ' ') r.remove_prefix(1);
  if (r.empty() || r[0] != '[') return std::nullopt;
  r.remove_prefix(1);
  while (!r.empty() && r[0] == ' ') r.remove_prefix(1);
  std::int64_t n = 0;
  std::size_t digits = 0;
  while (!r.empty() && r[0] >= '0' && r[0] <= '9' && n < 1000000) {
    n = n * 10 + (r[0] - '0');
    r.remove_prefix(1);
    ++digits;
  }
  while (!r.empty() && r[0] == ' ') r.remove_prefix(1);
  if (digits == 0 || r.empty() || r[0] != ']') {
    malformed = true;
    return std::nullopt;
  }
  r.remove_prefix(1);
  rest = r;
  return n;
}

[[noreturn]] void NoSuchParameter(std::string_view path) {
  throw EUserError(Format("Den Parameter \"%s\" gibt es nicht.", std::string(path).c_str()));
}

}  // namespace

TParamPathTarget ResolveParamPath(TParamTVRecord& root, std::string_view path,
                                  const TParamPathOptions& options) {
  TParamPathTarget target;
  TParamTreeValue* current = &root;
  std::string_view rest = TrimBlanks(path);
  if (rest.substr(0, 5) == "Root.") rest.remove_prefix(5);
  if (rest.empty()) NoSuchParameter(path);
  for (;;) {
    if (target.discriminant_of != nullptr) NoSuchParameter(path);  // nothing below a discriminant
    const std::vector<Candidate> candidates = CandidatesOf(*current);
    const Candidate* match = MatchName(candidates, rest);
    if (match == nullptr) NoSuchParameter(path);
    rest.remove_prefix(match->name.size());
    bool malformed = false;
    const std::optional<std::int64_t> index = ParseIndex(rest, malformed);
    if (malformed) NoSuchParameter(path);
    if (!target.path.empty()) target.path += ".";
    if (match->alias_record != nullptr) {
      // "Komponenten [k]": the k-th component member of the slot.
      if (!index) NoSuchParameter(path);
      std::int64_t k = 0;
      const TParamTVRecord& record = *match->alias_record;
      current = nullptr;
      for (std::int32_t i = 0; i < record.Count() && current == nullptr; ++i) {
        if (record.Item(i).ParamType().TypeName() == kComponentTypeName && ++k == *index) {
          current = &record.Item(i);
          target.path += record.RecordType().MemberName(i);
        }
      }
      if (current == nullptr) NoSuchParameter(path);
    } else {
      current = match->value;
      target.discriminant_of = match->discriminant_of;
      target.path += match->name;
      if (index) {
        TParamTVList* list = dynamic_cast<TParamTVList*>(current);
        if (auto* u = dynamic_cast<TParamTVUnion*>(current); u != nullptr && list == nullptr) {
          list = dynamic_cast<TParamTVList*>(u->Variant());
        }
        if (list == nullptr || target.discriminant_of != nullptr) NoSuchParameter(path);
        target.min_level = std::min<int>(target.min_level, current->ParamType().Level());
        const std::int64_t count = list->Count();
        const std::string list_path = target.path;
        target.path += Format(" [%d]", static_cast<int>(*index));
        if (options.allow_append && *index == count + 1) {
          const TParamTTList& type = list->ListType();
          if (type.StructLevel() < options.edit_level ||
              type.ElemType().Level() < options.edit_level) {
            throw EUserError(
                Format("%s: Die Liste kann in diesem Parametersatz nicht verändert werden.",
                       list_path.c_str()));
          }
          if (count >= type.MaxCount()) {
            throw EUserError(Format("%s: Die Liste hat bereits die Höchstzahl von %d Elementen.",
                                    list_path.c_str(), type.MaxCount()));
          }
          list->Insert(count, type.ElemType().NewValue());
          target.appended = true;
        } else if (*index < 1 || *index > count) {
          throw EUserError(Format("%s: Das Element %d gibt es nicht (die Liste hat %d Elemente).",
                                  list_path.c_str(), static_cast<int>(*index),
                                  static_cast<int>(count)));
        }
        current = &list->Item(*index - 1);
      }
    }
    if (target.discriminant_of != nullptr) {
      target.min_level = std::min<int>(target.min_level,
                                       target.discriminant_of->UnionType().Discriminant().Level());
    }
    target.min_level = std::min<int>(target.min_level, current->ParamType().Level());
    if (rest.empty()) break;
    if (rest[0] != '.') NoSuchParameter(path);
    rest.remove_prefix(1);
  }
  target.value = current;
  return target;
}

}  // namespace vld
