#include "params/param_types_composed.h"

#include <algorithm>
#include <limits>

#include "params/param_adapt.h"
#include "params/param_stream.h"
#include "params/param_text.h"
#include "params/param_tree_error.h"
#include "params/param_values_composed.h"
#include "platform/fatal.h"

namespace vld {

// ---- TParamTTComposed

TParamTTComposed::~TParamTTComposed() = default;

void TParamTTComposed::CheckSubtype(const TParamTreeType* component) const {
  if (component == nullptr) RaiseParamTree("empty subtype of %s", TypeName().c_str());
  if (component->RefersTo(*this)) {
    RaiseParamTree("cyclic type: %s already refers to %s", component->TypeName().c_str(),
                   TypeName().c_str());
  }
}

void TParamTTComposed::RegisterSelf(TParamTypeIDServer& server) const {
  type_id_ = server.Register(*this);
}

bool TParamTTComposed::ReadOwnID(IParamReader& reader, const TParamReadServer& registry) {
  // Descriptions are stored in id order, so the id must be the next position of the registry.
  std::int32_t id = 0;
  if (!reader.ReadInt(id) || id != registry.Count() + 1) return false;
  type_id_ = id;
  return true;
}

void TParamTTComposed::NoteComponentDepth(const TParamTreeType& component) {
  depth_ = std::max(depth_, component.NestingDepth() + 1);
  if (depth_ > kMaxStoredTypeDepth)
    RaiseParamTree("type nesting too deep in %s", TypeName().c_str());
}

// A stored component comes from the registry of already read types, which cannot refer to the
// shell being filled, so only emptiness is checked (a cycle check could take exponential time on
// a hostile table of shared types).
TypeRef TParamTTComposed::StoredComponent(const TParamReadServer& registry, std::int32_t id) {
  TypeRef component = registry.TypeByID(id);
  if (!component) RaiseParamTree("empty subtype of %s", TypeName().c_str());
  NoteComponentDepth(*component);
  return component;
}

// ---- record

TParamTTRecord::TParamTTRecord(std::string name, std::uint8_t level,
                               std::vector<std::string> member_names,
                               std::vector<TypeRef> member_types, std::vector<ParamConst> defaults)
    : name_(std::move(name)) {
  SetLevel(level);
  depth_ = 1;
  if (member_types.size() != member_names.size()) {
    RaiseParamTree("numbers of types and names do not match in record type %s", name_.c_str());
  }
  if (defaults.size() > member_types.size()) {
    RaiseParamTree("too many default values in record type %s", name_.c_str());
  }
  for (std::size_t i = 0; i < member_types.size(); ++i) {
    CheckSubtype(member_types[i].get());
    std::string member(TrimBlanks(member_names[i]));
    if (member.empty()) RaiseParamTree("empty member name in record type %s", name_.c_str());
    if (IndexOfName(names_, member) >= 0) {
      RaiseParamTree("duplicate member name %s in record type %s", member.c_str(), name_.c_str());
    }
    names_.push_back(std::move(member));
    types_.push_back(member_types[i]);
    NoteComponentDepth(*member_types[i]);
  }
  for (std::size_t i = 0; i < types_.size(); ++i) {
    std::unique_ptr<TParamTreeValue> value = i < defaults.size()
                                                 ? types_[i]->ValueFromConst(std::move(defaults[i]))
                                                 : types_[i]->NewValue();
    value->Commit(true);
    defaults_.push_back(std::move(value));
  }
}

TParamTypeRef<TParamTTRecord> TParamTTRecord::CreateEmpty() {
  auto shell = TParamTypeRef<TParamTTRecord>::Adopt(new TParamTTRecord());
  shell->has_info_ = false;
  shell->depth_ = 1;
  return shell;
}

TParamTTRecord::~TParamTTRecord() = default;

std::unique_ptr<TParamTreeValue> TParamTTRecord::NewValue() const {
  return std::make_unique<TParamTVRecord>(TParamTypeRef<const TParamTTRecord>(this), false);
}

std::unique_ptr<TParamTreeValue> TParamTTRecord::NewEmptyValue() const {
  return std::make_unique<TParamTVRecord>(TParamTypeRef<const TParamTTRecord>(this), true);
}

std::unique_ptr<TParamTreeValue> TParamTTRecord::ValueFromConst(ParamConst constant) const {
  return TParamTreeType::ValueFromConst(std::move(constant));
}

void TParamTTRecord::AssignTypeID(TParamTypeIDServer& server) const {
  if (type_id_ > 0) return;
  for (const TypeRef& type : types_) type->AssignTypeID(server);
  RegisterSelf(server);
}

void TParamTTRecord::ResetTypeID() const {
  type_id_ = 0;
  for (const TypeRef& type : types_) type->ResetTypeID();
}

void TParamTTRecord::WriteTypeInfo(IParamWriter& writer) const {
  writer.WriteInt(StreamCode());
  writer.WriteInt(type_id_);
  writer.WriteString(name_);
  writer.WriteInt(MemberCount());
  for (std::size_t i = 0; i < types_.size(); ++i) {
    writer.WriteString(names_[i]);
    writer.WriteInt(types_[i]->TypeID());
  }
}

bool TParamTTRecord::ReadTypeInfo(IParamReader& reader, TParamReadServer& registry) {
  if (has_info_) RaiseParamTree("recordtype already contains type info");
  has_info_ = true;
  std::int32_t count = 0;
  if (!ReadOwnID(reader, registry) || !reader.ReadString(name_) || !reader.ReadInt(count)) {
    return false;
  }
  if (!reader.CanHold(count, 8)) return false;
  for (std::int32_t i = 0; i < count; ++i) {
    std::string member;
    std::int32_t id = 0;
    if (!reader.ReadString(member) || !reader.ReadInt(id)) return false;
    TypeRef type = StoredComponent(registry, id);
    names_.push_back(std::move(member));
    types_.push_back(std::move(type));
  }
  return registry.Register(TypeRef(this));
}

bool TParamTTRecord::IsCompatible(const TParamTreeType& stored) const {
  return dynamic_cast<const TParamTTRecord*>(&stored) != nullptr;
}

std::unique_ptr<TParamTreeAdaptInfo> TParamTTRecord::CreateAdaptInfo(
    const TParamTreeType& stored, TParamTreeAIServer& owner) const {
  const auto* record = dynamic_cast<const TParamTTRecord*>(&stored);
  if (record == nullptr) return nullptr;
  auto info = std::make_unique<TParamTreeAIEnum>(stored, record->names_, names_);
  if (!owner.Lazy()) {
    for (std::int32_t i = 0; i < record->MemberCount(); ++i) {
      const int j = info->MapIndex(i);
      if (j >= 0) owner.Find(MemberType(j), record->MemberType(i), false);
    }
  }
  return info;
}

bool TParamTTRecord::RefersTo(const TParamTreeType& type) const {
  return std::any_of(types_.begin(), types_.end(),
                     [&](const TypeRef& t) { return t.get() == &type || t->RefersTo(type); });
}

void TParamTTRecord::CheckIndex(std::int64_t i) const {
  if (i < 0 || i >= MemberCount()) {
    RaiseParamTree("member index %d out of bounds in type %s", static_cast<int>(i), name_.c_str());
  }
}

const std::string& TParamTTRecord::MemberName(std::int64_t i) const {
  CheckIndex(i);
  return names_[static_cast<std::size_t>(i)];
}

const TParamTreeType& TParamTTRecord::MemberType(std::int64_t i) const {
  CheckIndex(i);
  return *types_[static_cast<std::size_t>(i)];
}

const TParamTreeValue& TParamTTRecord::MemberDefault(std::int64_t i) const {
  CheckIndex(i);
  return *defaults_[static_cast<std::size_t>(i)];
}

int TParamTTRecord::MemberIndex(std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == name) return static_cast<int>(i);
  }
  return IndexOfName(names_, name);
}

bool TParamTTRecord::SkipContent(IParamReader& reader) const {
  std::int32_t count = 0;
  if (!reader.ReadInt(count) || count != MemberCount()) return false;
  for (const TypeRef& type : types_) {
    if (!type->SkipValue(reader)) return false;
  }
  return true;
}

// ---- list

TParamTTList::TParamTTList(std::uint8_t level, std::int32_t min_count, std::int32_t max_count,
                           std::uint8_t struct_level, std::int32_t elem_index, TypeRef elem_type,
                           std::vector<ParamConst> defaults)
    : TParamTTList(ElemNameKind::kElemName, level, min_count, max_count, struct_level, elem_index,
                   std::move(elem_type), std::move(defaults)) {}

TParamTTList::TParamTTList(ElemNameKind kind, std::uint8_t level, std::int32_t min_count,
                           std::int32_t max_count, std::uint8_t struct_level,
                           std::int32_t elem_index, TypeRef elem_type,
                           std::vector<ParamConst> defaults)
    : elem_name_kind_(kind),
      min_count_(min_count),
      max_count_(max_count),
      elem_index_(elem_index),
      struct_level_(struct_level) {
  SetLevel(level);
  depth_ = 1;
  if (min_count > max_count) {
    RaiseParamTree("MinElemCount %d bigger than MaxElemCount %d", min_count, max_count);
  }
  if (min_count < 0) RaiseParamTree("MinElemCount < 0");
  CheckSubtype(elem_type.get());
  elem_type_ = std::move(elem_type);
  if (static_cast<std::int64_t>(defaults.size()) > max_count) {
    RaiseParamTree("too many default values in list type %s", TypeName().c_str());
  }
  if (elem_index >= 0) {
    if (dynamic_cast<const TParamTTRecord*>(elem_type_.get()) != nullptr) {
      CheckElemIndexRecord(elem_type_.get());
    } else if (const auto* u = dynamic_cast<const TParamTTUnion*>(elem_type_.get())) {
      for (std::int32_t i = 0; i < u->VariantCount(); ++i) {
        const TParamTreeType* variant = u->VariantType(i);
        if (dynamic_cast<const TParamTTRecord*>(variant) == nullptr) {
          RaiseParamTree(
              "elem index on union requires record variants (list type %s, variant %s)",
              TypeName().c_str(),
              variant ? variant->TypeName().c_str() : u->Discriminant().ElementName(i).c_str());
        }
        CheckElemIndexRecord(variant);
      }
    } else {
      RaiseParamTree("elem index requires record or union element type (list type %s)",
                     TypeName().c_str());
    }
  }
  NoteComponentDepth(*elem_type_);
  for (ParamConst& constant : defaults) {
    auto value = elem_type_->ValueFromConst(std::move(constant));
    value->Commit(true);
    defaults_.push_back(std::move(value));
  }
}

void TParamTTList::CheckElemIndexRecord(const TParamTreeType* type) const {
  const auto* record = static_cast<const TParamTTRecord*>(type);
  if (elem_index_ >= record->MemberCount()) {
    RaiseParamTree("elem index out of record (list type %s, record %s)", TypeName().c_str(),
                   record->Name().c_str());
  }
  if (!IsElemNameType(record->MemberType(elem_index_))) {
    RaiseParamTree(
        "elem index must refer to a %s member (list type %s, record %s)",
        elem_name_kind_ == ElemNameKind::kElemName ? "TParamTTElemName" : "TParamTTFileName",
        TypeName().c_str(), record->Name().c_str());
  }
}

bool TParamTTList::IsElemNameType(const TParamTreeType& type) const {
  if (elem_name_kind_ == ElemNameKind::kFileName) {
    return dynamic_cast<const TParamTTFileName*>(&type) != nullptr;
  }
  return dynamic_cast<const TParamTTElemName*>(&type) != nullptr;
}

TParamTypeRef<TParamTTList> TParamTTList::CreateEmpty() {
  auto shell = TParamTypeRef<TParamTTList>::Adopt(new TParamTTList());
  shell->depth_ = 1;
  return shell;
}

TParamTTList::~TParamTTList() = default;

std::unique_ptr<TParamTreeValue> TParamTTList::NewValue() const {
  return std::make_unique<TParamTVList>(TParamTypeRef<const TParamTTList>(this), false);
}

std::unique_ptr<TParamTreeValue> TParamTTList::NewEmptyValue() const {
  return std::make_unique<TParamTVList>(TParamTypeRef<const TParamTTList>(this), true);
}

std::string TParamTTList::TypeName() const {
  return Format("List (%d,%d) of %s", min_count_, max_count_,
                elem_type_ ? elem_type_->TypeName().c_str() : "?");
}

std::unique_ptr<TParamTreeValue> TParamTTList::ValueFromConst(ParamConst constant) const {
  return TParamTreeType::ValueFromConst(std::move(constant));
}

void TParamTTList::AssignTypeID(TParamTypeIDServer& server) const {
  if (type_id_ > 0) return;
  elem_type_->AssignTypeID(server);
  RegisterSelf(server);
}

void TParamTTList::ResetTypeID() const {
  type_id_ = 0;
  elem_type_->ResetTypeID();
}

void TParamTTList::WriteTypeInfo(IParamWriter& writer) const {
  writer.WriteInt(StreamCode());
  writer.WriteInt(type_id_);
  writer.WriteInt(elem_type_->TypeID());
}

bool TParamTTList::ReadTypeInfo(IParamReader& reader, TParamReadServer& registry) {
  if (elem_type_) RaiseParamTree("listtype already contains type info");
  std::int32_t id = 0;
  if (!ReadOwnID(reader, registry) || !reader.ReadInt(id)) return false;
  elem_type_ = StoredComponent(registry, id);
  max_count_ = std::numeric_limits<std::int32_t>::max();
  return registry.Register(TypeRef(this));
}

bool TParamTTList::IsCompatible(const TParamTreeType& stored) const {
  return dynamic_cast<const TParamTTList*>(&stored) != nullptr;
}

std::unique_ptr<TParamTreeAdaptInfo> TParamTTList::CreateAdaptInfo(
    const TParamTreeType& stored, TParamTreeAIServer& owner) const {
  const auto* list = dynamic_cast<const TParamTTList*>(&stored);
  if (list != nullptr && !owner.Lazy()) owner.Find(*elem_type_, list->ElemType(), false);
  return nullptr;
}

bool TParamTTList::RefersTo(const TParamTreeType& type) const {
  return elem_type_.get() == &type || elem_type_->RefersTo(type);
}

const TParamTreeValue& TParamTTList::DefaultElement(std::int64_t i) const {
  if (i < 0 || i >= DefaultCount()) {
    RaiseParamTree("element index %d out of bounds in type %s", static_cast<int>(i),
                   TypeName().c_str());
  }
  return *defaults_[static_cast<std::size_t>(i)];
}

bool TParamTTList::SkipContent(IParamReader& reader) const {
  for (int side = 0; side < 2; ++side) {
    std::int32_t count = 0;
    if (!reader.ReadInt(count) || !reader.CanHold(count, 9)) return false;
    for (std::int32_t i = 0; i < count; ++i) {
      if (!elem_type_->SkipValue(reader)) return false;
    }
  }
  return true;
}

// ---- union

TParamTTUnion::TParamTTUnion(std::string name, std::uint8_t level,
                             TParamTypeRef<const TParamTTEnum> discriminant,
                             std::vector<TypeRef> variants, std::string discriminant_caption,
                             std::int32_t default_discriminant, std::vector<ParamConst> defaults)
    : name_(std::move(name)),
      caption_(std::move(discriminant_caption)),
      default_discriminant_(default_discriminant) {
  SetLevel(level);
  depth_ = 1;
  CheckSubtype(discriminant.get());
  if (static_cast<std::int64_t>(variants.size()) != discriminant->Count()) {
    RaiseParamTree("numbers of types and elements in enumeration do not match in union type %s",
                   name_.c_str());
  }
  NoteComponentDepth(*discriminant);
  for (const TypeRef& variant : variants) {
    if (!variant) continue;
    CheckSubtype(variant.get());
    NoteComponentDepth(*variant);
  }
  discriminant_ = std::move(discriminant);
  variants_ = std::move(variants);
  if (default_discriminant < 0 || default_discriminant >= VariantCount()) {
    RaiseParamTree("invalid default discriminant %d", default_discriminant);
  }
  const TParamTreeType* variant = VariantType(default_discriminant);
  if (defaults.size() > 1 || (defaults.size() == 1 && variant == nullptr)) {
    RaiseParamTree("too many default values in union type %s", name_.c_str());
  }
  if (variant != nullptr) {
    default_variant_ =
        defaults.empty() ? variant->NewValue() : variant->ValueFromConst(std::move(defaults[0]));
    default_variant_->Commit(true);
  }
}

TParamTypeRef<TParamTTUnion> TParamTTUnion::CreateEmpty() {
  auto shell = TParamTypeRef<TParamTTUnion>::Adopt(new TParamTTUnion());
  shell->has_info_ = false;
  shell->depth_ = 1;
  return shell;
}

TParamTTUnion::~TParamTTUnion() = default;

std::unique_ptr<TParamTreeValue> TParamTTUnion::NewValue() const {
  return std::make_unique<TParamTVUnion>(TParamTypeRef<const TParamTTUnion>(this), false);
}

std::unique_ptr<TParamTreeValue> TParamTTUnion::NewEmptyValue() const {
  return std::make_unique<TParamTVUnion>(TParamTypeRef<const TParamTTUnion>(this), true);
}

std::unique_ptr<TParamTreeValue> TParamTTUnion::ValueFromConst(ParamConst constant) const {
  return TParamTreeType::ValueFromConst(std::move(constant));
}

void TParamTTUnion::AssignTypeID(TParamTypeIDServer& server) const {
  if (type_id_ > 0) return;
  discriminant_->AssignTypeID(server);
  for (const TypeRef& variant : variants_) {
    if (variant) variant->AssignTypeID(server);
  }
  RegisterSelf(server);
}

void TParamTTUnion::ResetTypeID() const {
  type_id_ = 0;
  discriminant_->ResetTypeID();
  for (const TypeRef& variant : variants_) {
    if (variant) variant->ResetTypeID();
  }
}

void TParamTTUnion::WriteTypeInfo(IParamWriter& writer) const {
  writer.WriteInt(StreamCode());
  writer.WriteInt(type_id_);
  writer.WriteString(name_);
  writer.WriteInt(discriminant_->TypeID());
  writer.WriteInt(VariantCount());
  for (const TypeRef& variant : variants_) writer.WriteInt(variant ? variant->TypeID() : 0);
}

bool TParamTTUnion::ReadTypeInfo(IParamReader& reader, TParamReadServer& registry) {
  if (has_info_) RaiseParamTree("uniontype already contains type info");
  has_info_ = true;
  std::int32_t discriminant_id = 0, count = 0;
  if (!ReadOwnID(reader, registry) || !reader.ReadString(name_) ||
      !reader.ReadInt(discriminant_id)) {
    return false;
  }
  TypeRef discriminant = StoredComponent(registry, discriminant_id);
  const auto* enumeration = dynamic_cast<const TParamTTEnum*>(discriminant.get());
  if (enumeration == nullptr) return false;
  // Every discriminant needs its variant entry, or a stored discriminant could select none.
  if (!reader.ReadInt(count) || count != enumeration->Count() || !reader.CanHold(count, 4)) {
    return false;
  }
  discriminant_ = TParamTypeRef<const TParamTTEnum>(enumeration);
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t id = 0;
    if (!reader.ReadInt(id)) return false;
    TypeRef variant = registry.TypeByID(id);
    if (variant) NoteComponentDepth(*variant);
    variants_.push_back(std::move(variant));
  }
  return registry.Register(TypeRef(this));
}

bool TParamTTUnion::IsCompatible(const TParamTreeType& stored) const {
  return dynamic_cast<const TParamTTUnion*>(&stored) != nullptr;
}

std::unique_ptr<TParamTreeAdaptInfo> TParamTTUnion::CreateAdaptInfo(
    const TParamTreeType& stored, TParamTreeAIServer& owner) const {
  const auto* u = dynamic_cast<const TParamTTUnion*>(&stored);
  if (u == nullptr) return nullptr;
  auto info = std::make_unique<TParamTreeAIEnum>(stored, u->Discriminant().ElementNames(),
                                                 discriminant_->ElementNames());
  if (!owner.Lazy()) {
    for (std::int32_t i = 0; i < u->VariantCount(); ++i) {
      const int j = info->MapIndex(i);
      if (j < 0) continue;
      const TParamTreeType* mine = VariantType(j);
      const TParamTreeType* theirs = u->VariantType(i);
      if (mine != nullptr && theirs != nullptr) owner.Find(*mine, *theirs, false);
    }
  }
  return info;
}

bool TParamTTUnion::RefersTo(const TParamTreeType& type) const {
  for (const TypeRef& variant : variants_) {
    if (variant && (variant.get() == &type || variant->RefersTo(type))) return true;
  }
  return discriminant_.get() == &type || discriminant_->RefersTo(type);
}

const TParamTreeType* TParamTTUnion::VariantType(std::int64_t i) const {
  if (i < 0 || i >= VariantCount()) {
    RaiseParamTree("Invalid type index in union type %s", name_.c_str());
  }
  return variants_[static_cast<std::size_t>(i)].get();
}

bool TParamTTUnion::SkipContent(IParamReader& reader) const {
  std::int32_t current = 0, reference = 0;
  if (!reader.ReadInt(current) || !reader.ReadInt(reference)) return false;
  for (std::int32_t d : {current, reference}) {
    if (d < 0 || d >= VariantCount()) return false;
    const TParamTreeType* variant = VariantType(d);
    if (variant != nullptr && !variant->SkipValue(reader)) return false;
  }
  return true;
}

}  // namespace vld
