#include "params/param_listing.h"

#include <set>

#include "params/param_text.h"
#include "platform/fatal.h"

namespace vld {

namespace {

class TreeLister {
 public:
  explicit TreeLister(int level) : level_(level) {}

  void Members(const TParamTVRecord& record, int depth, const std::string& path) {
    for (std::int32_t i = 0; i < record.Count(); ++i) {
      const std::string& name = record.RecordType().MemberName(i);
      Value(record.Item(i), depth, name, Join(path, name));
    }
  }

  std::vector<TParamListingLine> Take() { return std::move(lines_); }

 private:
  static std::string Join(const std::string& path, const std::string& name) {
    return path.empty() ? name : path + "." + name;
  }

  TParamListingLine& Line(const TParamTreeValue& value, int depth, std::string label,
                          std::string path) {
    TParamListingLine& line = lines_.emplace_back();
    line.depth = depth;
    line.label = std::move(label);
    line.path = std::move(path);
    line.state = value.State();
    line.object = &value;
    return line;
  }

  void Value(const TParamTreeValue& value, int depth, const std::string& label,
             const std::string& path) {
    if (value.ParamType().Level() < level_) return;
    TParamListingLine& line = Line(value, depth, label, path);
    if (const auto* memo = dynamic_cast<const TParamTVMemo*>(&value)) {
      line.has_value = true;
      line.value = memo->Text();
    } else if (dynamic_cast<const TParamTVElementary*>(&value) != nullptr) {
      line.has_value = true;
      line.value = value.AsText(level_);
    } else if (const auto* record = dynamic_cast<const TParamTVRecord*>(&value)) {
      Members(*record, depth + 1, path);
    } else if (const auto* list = dynamic_cast<const TParamTVList*>(&value)) {
      for (std::int32_t i = 0; i < list->Count(); ++i) {
        Value(list->Item(i), depth + 1, Format("[%d]  %s", i + 1, list->ElementCaption(i).c_str()),
              Format("%s [%d]", path.c_str(), i + 1));
      }
    } else if (const auto* u = dynamic_cast<const TParamTVUnion*>(&value)) {
      Union(*u, depth + 1, path);
    }
  }

  void Union(const TParamTVUnion& u, int depth, const std::string& path) {
    const std::string& caption = u.UnionType().DiscriminantCaption();
    TParamListingLine& line = Line(u, depth, caption, Join(path, caption));
    line.has_value = true;
    line.value = u.DiscriminantName();
    line.state = u.IsNew()                                       ? kStateNew
                 : u.Discriminant() == u.ReferenceDiscriminant() ? kStateUnchanged
                                                                 : kStateChanged;
    const TParamTreeValue* variant = u.Variant();
    if (variant == nullptr) return;
    if (const auto* record = dynamic_cast<const TParamTVRecord*>(variant)) {
      Members(*record, depth, path);
    } else {
      Value(*variant, depth, u.DiscriminantName(), Join(path, u.DiscriminantName()));
    }
  }

  int level_;
  std::vector<TParamListingLine> lines_;
};

class SchemaLister {
 public:
  void Type(const TParamTreeType& type, int depth, const std::string& label,
            const TParamTreeValue* default_value) {
    std::string text = label + ": " + type.TypeName();
    if (const auto* enumeration = dynamic_cast<const TParamTTEnum*>(&type)) {
      text += " [";
      for (std::int32_t i = 0; i < enumeration->Count(); ++i) {
        text += (i > 0 ? ", " : "") + enumeration->ElementName(i);
      }
      text += "]";
    }
    const bool elementary = dynamic_cast<const TParamTTElementary*>(&type) != nullptr;
    if (elementary && default_value != nullptr) {
      text += ", Vorgabe " + default_value->AsText(1);
    }
    const auto* list = dynamic_cast<const TParamTTList*>(&type);
    if (list != nullptr) text += Format(", Vorgabe %d Elemente", list->DefaultCount());
    text += Format(" (Stufe %d)", type.Level());
    const bool composed = !elementary;
    if (composed && !seen_.insert(&type).second) {
      lines_.push_back({depth, text + ", wie oben"});
      return;
    }
    lines_.push_back({depth, text});
    if (const auto* record = dynamic_cast<const TParamTTRecord*>(&type)) {
      for (std::int32_t i = 0; i < record->MemberCount(); ++i) {
        Type(record->MemberType(i), depth + 1, record->MemberName(i), &record->MemberDefault(i));
      }
    } else if (list != nullptr) {
      Type(list->ElemType(), depth + 1, "Element", nullptr);
    } else if (const auto* u = dynamic_cast<const TParamTTUnion*>(&type)) {
      const TParamTTEnum& discriminant = u->Discriminant();
      Type(discriminant, depth + 1, u->DiscriminantCaption(), nullptr);
      lines_.back().text += ", Vorgabe " + discriminant.ElementName(u->DefaultDiscriminant());
      for (std::int32_t i = 0; i < u->VariantCount(); ++i) {
        const TParamTreeType* variant = u->VariantType(i);
        const std::string name = "Variante " + discriminant.ElementName(i);
        if (variant == nullptr) {
          lines_.push_back({depth + 1, name + ": (leer)"});
        } else {
          Type(*variant, depth + 1, name, nullptr);
        }
      }
    }
  }

  std::vector<TSchemaListingLine> Take() { return std::move(lines_); }

 private:
  std::set<const TParamTreeType*> seen_;
  std::vector<TSchemaListingLine> lines_;
};

}  // namespace

std::vector<TParamListingLine> ListParamTree(const TParamTVRecord& root, int level) {
  TreeLister lister(level);
  lister.Members(root, 0, "");
  return lister.Take();
}

std::vector<TSchemaListingLine> ListSchema(const TParamTTRecord& root) {
  SchemaLister lister;
  lister.Type(root, 0, root.Name(), nullptr);
  return lister.Take();
}

}  // namespace vld
