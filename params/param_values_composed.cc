#include "params/param_values_composed.h"

#include "params/param_adapt.h"
#include "params/param_stream.h"
#include "params/param_text.h"
#include "params/param_tree_error.h"
#include "platform/fatal.h"

namespace vld {

namespace {

constexpr std::size_t kSummaryLimit = 60;
// Smallest stored value: the 9-byte header.
constexpr std::size_t kMinValueSize = 9;

using ValueList = std::vector<std::unique_ptr<TParamTreeValue>>;

ValueList CloneAll(const ValueList& values) {
  ValueList out;
  out.reserve(values.size());
  for (const auto& value : values) out.push_back(value->Clone());
  return out;
}

bool ReadValueList(IParamReader& reader, const TParamTreeType& schema_elem,
                   const TParamTreeType& stored_elem, TParamTreeAIServer& owner, ValueList& out) {
  std::int32_t count = 0;
  if (!reader.ReadInt(count) || !reader.CanHold(count, kMinValueSize)) return false;
  for (std::int32_t i = 0; i < count; ++i) {
    std::unique_ptr<TParamTreeValue> value = ReadNewValue(schema_elem, reader, stored_elem, owner);
    if (!value) return false;
    out.push_back(std::move(value));
  }
  return true;
}

void WriteValueList(IParamWriter& writer, const ValueList& values) {
  writer.WriteInt(static_cast<std::int32_t>(values.size()));
  for (const auto& value : values) value->Write(writer);
}

std::string CaptionNumber(std::int64_t i) { return Format("#%d", static_cast<int>(i + 1)); }

}  // namespace

// ---- composed and collection

std::string TParamTVComposed::AsText(int level) const {
  const std::string summary = Summary(level);
  return summary.empty() ? ">>>" : ">>> " + summary;
}

TParamTreeValue& TParamTVCollection::Item(std::int64_t i) const {
  if (i < 0 || i >= Count()) {
    RaiseParamTree("element index %d out of bounds in collection of type %s", static_cast<int>(i),
                   ParamType().TypeName().c_str());
  }
  return *elements_[static_cast<std::size_t>(i)];
}

std::string TParamTVCollection::Summary(int level) const {
  std::vector<const TParamTreeValue*> taken;
  for (const auto& element : elements_) {
    if (element->ParamType().Level() >= level) taken.push_back(element.get());
  }
  std::string summary;
  std::size_t length = 0;
  for (std::size_t k = 0; k < taken.size(); ++k) {
    const std::string text = taken[k]->AsShortText(level);
    const std::size_t text_length = CharCount(text);
    if (k + 1 < taken.size()) {
      if (length + text_length + 4 >= kSummaryLimit) {
        summary.append("...");
        break;
      }
      summary.append(text).append(", ");
      length += text_length + 2;
    } else if (length + text_length < kSummaryLimit) {
      summary.append(text);
    } else {
      summary.append("...");
    }
  }
  return summary;
}

bool TParamTVCollection::IsValidDeep() const {
  if (!IsValid()) return false;
  for (const auto& element : elements_) {
    if (!element->IsValidDeep()) return false;
  }
  return true;
}

bool TParamTVCollection::Equals(const TParamTreeValue& other) const {
  if (!SameClass(other)) return false;
  const auto& o = static_cast<const TParamTVCollection&>(other);
  if (o.Count() != Count()) return false;
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    if (!elements_[i]->Equals(*o.elements_[i])) return false;
  }
  return true;
}

// ---- record

TParamTVRecord::TParamTVRecord(TParamTypeRef<const TParamTTRecord> type, bool empty)
    : type_(std::move(type)) {
  if (empty) return;
  for (std::int32_t i = 0; i < type_->MemberCount(); ++i) {
    elements_.push_back(type_->MemberDefault(i).Clone());
  }
}

int TParamTVRecord::State() const {
  if (IsNew()) return kStateNew;
  for (const auto& element : elements_) {
    if (element->State() != kStateUnchanged) return kStateChanged;
  }
  return kStateUnchanged;
}

void TParamTVRecord::Commit(bool is_new) {
  is_new_ = is_new;
  for (auto& element : elements_) element->Commit(is_new);
}

void TParamTVRecord::Revert(bool is_new) {
  is_new_ = is_new;
  for (auto& element : elements_) element->Revert(is_new);
}

TParamTreeValue* TParamTVRecord::Member(std::string_view name) const {
  const int index = type_->MemberIndex(name);
  if (index < 0 || index >= Count()) return nullptr;
  return elements_[static_cast<std::size_t>(index)].get();
}

bool TParamTVRecord::ReadContent(IParamReader& reader, const TParamTreeType& stored,
                                 TParamTreeAIServer& owner) {
  if (!elements_.empty()) RaiseParamTree("record already contains data");
  const auto& stored_record = static_cast<const TParamTTRecord&>(stored);
  elements_.resize(static_cast<std::size_t>(type_->MemberCount()));
  std::int32_t count = 0;
  if (!reader.ReadInt(count) || count != stored_record.MemberCount()) return false;
  const TParamTreeAIEnum& map = owner.FindEnum(*type_, stored);
  for (std::int32_t i = 0; i < count; ++i) {
    const int j = map.MapIndex(i);
    if (j < 0) {
      if (!stored_record.MemberType(i).SkipValue(reader)) return false;
      continue;
    }
    auto value = ReadNewValue(type_->MemberType(j), reader, stored_record.MemberType(i), owner);
    if (!value) return false;
    elements_[static_cast<std::size_t>(j)] = std::move(value);
  }
  for (std::size_t j = 0; j < elements_.size(); ++j) {
    if (!elements_[j]) elements_[j] = type_->MemberDefault(static_cast<std::int64_t>(j)).Clone();
  }
  return true;
}

void TParamTVRecord::WriteContent(IParamWriter& writer) const { WriteValueList(writer, elements_); }

void TParamTVRecord::CopyFrom(const TParamTreeValue& other) {
  const auto& o = static_cast<const TParamTVRecord&>(other);
  is_new_ = o.is_new_;
  elements_ = CloneAll(o.elements_);
}

// ---- list

TParamTVList::TParamTVList(TParamTypeRef<const TParamTTList> type, bool empty)
    : type_(std::move(type)) {
  if (empty) return;
  for (std::int32_t i = 0; i < type_->DefaultCount(); ++i) {
    Insert(Count(), type_->DefaultElement(i).Clone());
  }
}

bool TParamTVList::IsValid() const {
  return Count() >= type_->MinCount() && Count() <= type_->MaxCount();
}

int TParamTVList::State() const {
  if (IsNew()) return kStateNew;
  if (reference_.size() != elements_.size()) return kStateChanged;
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    if (!elements_[i]->Equals(*reference_[i])) return kStateChanged;
  }
  return kStateUnchanged;
}

void TParamTVList::Commit(bool is_new) {
  is_new_ = is_new;
  for (auto& element : elements_) element->Commit(is_new);
  reference_ = CloneAll(elements_);
}

void TParamTVList::Revert(bool is_new) {
  elements_ = CloneAll(reference_);
  for (auto& element : elements_) element->Revert(is_new);
}

void TParamTVList::Insert(std::int64_t i, std::unique_ptr<TParamTreeValue> value) {
  if (i < 0 || i > Count()) RaiseParamTree("Invalid index %d.", static_cast<int>(i));
  if (value == nullptr || &value->ParamType() != &type_->ElemType()) {
    RaiseParamTree("Value of invalid parameter type.");
  }
  elements_.insert(elements_.begin() + i, std::move(value));
}

void TParamTVList::Delete(std::int64_t i) {
  if (i < 0 || i >= Count()) RaiseParamTree("Invalid index %d.", static_cast<int>(i));
  elements_.erase(elements_.begin() + i);
}

void TParamTVList::Move(std::int64_t from, std::int64_t to) {
  if (from < 0 || from >= Count() || to < 0 || to >= Count()) RaiseParamTree("Invalid index");
  std::unique_ptr<TParamTreeValue> value = std::move(elements_[static_cast<std::size_t>(from)]);
  elements_.erase(elements_.begin() + from);
  elements_.insert(elements_.begin() + to, std::move(value));
}

const TParamTreeValue& TParamTVList::ReferenceItem(std::int64_t i) const {
  if (i < 0 || i >= ReferenceCount()) {
    RaiseParamTree("element index %d out of bounds in collection of type %s", static_cast<int>(i),
                   ParamType().TypeName().c_str());
  }
  return *reference_[static_cast<std::size_t>(i)];
}

const TParamTVRecord* TParamTVList::NamingRecord(std::int64_t i) const {
  if (type_->ElemIndex() < 0 || i < 0 || i >= Count()) return nullptr;
  const TParamTreeValue* element = elements_[static_cast<std::size_t>(i)].get();
  if (const auto* u = dynamic_cast<const TParamTVUnion*>(element)) element = u->Variant();
  const auto* record = dynamic_cast<const TParamTVRecord*>(element);
  if (record == nullptr || record->Count() <= type_->ElemIndex()) return nullptr;
  return record;
}

std::string TParamTVList::ElementCaption(std::int64_t i) const {
  const TParamTVRecord* record = NamingRecord(i);
  if (record == nullptr) return CaptionNumber(i);
  const std::string text = ElemNameOf(i, record->Item(type_->ElemIndex()));
  if (text.empty() || text[0] == '#') return CaptionNumber(i);
  return text;
}

std::string TParamTVList::ElemNameOf(std::int64_t, const TParamTreeValue& member) const {
  if (const auto* name = dynamic_cast<const TParamTVString*>(&member)) return name->Text();
  return "";
}

bool TParamTVList::IsElemNameMember(std::int64_t i, const TParamTreeValue& value) const {
  const TParamTVRecord* record = NamingRecord(i);
  return record != nullptr && &record->Item(type_->ElemIndex()) == &value;
}

bool TParamTVList::ReadContent(IParamReader& reader, const TParamTreeType& stored,
                               TParamTreeAIServer& owner) {
  if (!elements_.empty() || !reference_.empty()) RaiseParamTree("list already contains data");
  const auto& stored_list = static_cast<const TParamTTList&>(stored);
  return ReadValueList(reader, type_->ElemType(), stored_list.ElemType(), owner, elements_) &&
         ReadValueList(reader, type_->ElemType(), stored_list.ElemType(), owner, reference_);
}

void TParamTVList::WriteContent(IParamWriter& writer) const {
  WriteValueList(writer, elements_);
  WriteValueList(writer, reference_);
}

void TParamTVList::CopyFrom(const TParamTreeValue& other) {
  const auto& o = static_cast<const TParamTVList&>(other);
  is_new_ = o.is_new_;
  elements_ = CloneAll(o.elements_);
  reference_ = CloneAll(o.reference_);
}

// ---- union

TParamTVUnion::TParamTVUnion(TParamTypeRef<const TParamTTUnion> type, bool empty)
    : type_(std::move(type)), current_(type_->DefaultDiscriminant()), reference_(current_) {
  if (empty || type_->DefaultVariant() == nullptr) return;
  variant_ = type_->DefaultVariant()->Clone();
  reference_variant_ = variant_->Clone();
}

std::string TParamTVUnion::Summary(int level) const {
  if (!variant_) return DiscriminantName() + " =>";
  return DiscriminantName() + " => " + variant_->AsShortText(level);
}

bool TParamTVUnion::IsValidDeep() const {
  return IsValid() && (!variant_ || variant_->IsValidDeep());
}

int TParamTVUnion::State() const {
  if (IsNew()) return kStateNew;
  const bool same = current_ == reference_ &&
                    (!variant_ || (reference_variant_ && variant_->Equals(*reference_variant_)));
  return same ? kStateUnchanged : kStateChanged;
}

bool TParamTVUnion::Equals(const TParamTreeValue& other) const {
  if (!SameClass(other)) return false;
  const auto& o = static_cast<const TParamTVUnion&>(other);
  if (o.current_ != current_) return false;
  if (!variant_ || !o.variant_) return !variant_ && !o.variant_;
  return variant_->Equals(*o.variant_);
}

void TParamTVUnion::Commit(bool is_new) {
  is_new_ = is_new;
  reference_ = current_;
  reference_variant_.reset();
  if (variant_) {
    variant_->Commit(is_new);
    reference_variant_ = variant_->Clone();
  }
}

void TParamTVUnion::Revert(bool is_new) {
  current_ = reference_;
  variant_ = reference_variant_ ? reference_variant_->Clone() : nullptr;
  if (variant_) variant_->Revert(is_new);
}

void TParamTVUnion::SetDiscriminant(std::int64_t d) {
  if (d == current_) return;
  if (d < 0 || d >= type_->Discriminant().Count()) {
    RaiseParamTree("Invalid Discriminant %d.", static_cast<int>(d));
  }
  const TParamTreeType* variant = type_->VariantType(d);
  if (variant != type_->VariantType(current_)) {
    variant_ = variant ? variant->NewValue() : nullptr;
  }
  current_ = static_cast<std::int32_t>(d);
}

const std::string& TParamTVUnion::DiscriminantName() const {
  return type_->Discriminant().ElementName(current_);
}

bool TParamTVUnion::ReadContent(IParamReader& reader, const TParamTreeType& stored,
                                TParamTreeAIServer& owner) {
  if (variant_ || reference_variant_) RaiseParamTree("union already contains data");
  const auto& stored_union = static_cast<const TParamTTUnion&>(stored);
  std::int32_t stored_current = 0, stored_reference = 0;
  if (!reader.ReadInt(stored_current) || !reader.ReadInt(stored_reference)) return false;
  const TParamTreeAIEnum& map = owner.FindEnum(*type_, stored);
  const auto read_side = [&](std::int32_t stored_d, std::int32_t& d,
                             std::unique_ptr<TParamTreeValue>& variant) {
    const int mapped = map.MapIndex(stored_d);  // raises for a discriminant out of range
    d = mapped < 0 ? type_->DefaultDiscriminant() : mapped;
    const TParamTreeType* s = stored_union.VariantType(stored_d);
    const TParamTreeType* v = type_->VariantType(d);
    if (v == nullptr || mapped < 0) {
      if (s != nullptr && !s->SkipValue(reader)) return false;
      if (v != nullptr) variant = v->NewValue();
      return true;
    }
    if (s == nullptr) {
      variant = v->NewValue();
      return true;
    }
    variant = ReadNewValue(*v, reader, *s, owner);
    return variant != nullptr;
  };
  return read_side(stored_current, current_, variant_) &&
         read_side(stored_reference, reference_, reference_variant_);
}

void TParamTVUnion::WriteContent(IParamWriter& writer) const {
  writer.WriteInt(current_);
  writer.WriteInt(reference_);
  if (variant_) variant_->Write(writer);
  if (reference_variant_) reference_variant_->Write(writer);
}

void TParamTVUnion::CopyFrom(const TParamTreeValue& other) {
  const auto& o = static_cast<const TParamTVUnion&>(other);
  is_new_ = o.is_new_;
  current_ = o.current_;
  reference_ = o.reference_;
  variant_ = o.variant_ ? o.variant_->Clone() : nullptr;
  reference_variant_ = o.reference_variant_ ? o.reference_variant_->Clone() : nullptr;
}

// ---- discriminant alias

TParamTVDiscriminantAlias::TParamTVDiscriminantAlias()
    : TParamTVEnum(NewType<TParamTTEnum>("alias", 0, std::vector<std::string>{})) {}

void TParamTVDiscriminantAlias::Attach(TParamTVUnion& u) {
  union_ = &u;
  SetEnumType(TParamTypeRef<const TParamTTEnum>(&u.UnionType().Discriminant()));
  AssignFromUnion(u);
}

bool TParamTVDiscriminantAlias::SetAsText(std::string_view utf8) {
  const std::int32_t before = Index();
  if (!TParamTVEnum::SetAsText(utf8)) return false;
  if (Index() != before && union_ != nullptr) {
    union_->SetDiscriminant(Index());
    if (handler_) handler_(*union_);
  }
  return true;
}

}  // namespace vld
