#include "params/param_types.h"

#include <limits>

#include "params/param_adapt.h"
#include "params/param_stream.h"
#include "params/param_text.h"
#include "params/param_tree_error.h"
#include "params/param_values.h"
#include "platform/fatal.h"

namespace vld {

// ---- ParamConst

ParamConst::ParamConst(std::int32_t value) : kind_(Kind::kInteger), integer_(value) {}
ParamConst::ParamConst(bool value) : kind_(Kind::kBoolean), integer_(value ? 1 : 0) {}
ParamConst::ParamConst(const char* utf8) : kind_(Kind::kString), text_(utf8) {}
ParamConst::ParamConst(std::string utf8) : kind_(Kind::kString), text_(std::move(utf8)) {}
ParamConst::ParamConst(std::unique_ptr<TParamTreeValue> value)
    : kind_(Kind::kObject), value_(std::move(value)) {}
ParamConst::ParamConst(ParamConst&&) noexcept = default;
ParamConst& ParamConst::operator=(ParamConst&&) noexcept = default;
ParamConst::~ParamConst() = default;

ParamConst ParamConst::Char(unsigned char code) {
  ParamConst c(static_cast<std::int32_t>(code));
  c.kind_ = Kind::kChar;
  return c;
}

std::unique_ptr<TParamTreeValue> ParamConst::TakeValue() { return std::move(value_); }

// ---- TParamTreeType

TParamTreeType::~TParamTreeType() = default;

void TParamTreeType::SetConverter(std::unique_ptr<TParamValueConverter> converter) {
  converter_ = std::move(converter);
}

void TParamTreeType::ConvertValue(TParamTreeValue& value) const {
  if (converter_) converter_->Convert(value);
}

std::unique_ptr<TParamTreeValue> TParamTreeType::NewEmptyValue() const { return NewValue(); }

bool TParamTreeType::ReadTypeInfo(IParamReader&, TParamReadServer&) { return false; }

std::unique_ptr<TParamTreeAdaptInfo> TParamTreeType::CreateAdaptInfo(const TParamTreeType&,
                                                                     TParamTreeAIServer&) const {
  return nullptr;
}

bool TParamTreeType::SkipValue(IParamReader& reader) const {
  std::int32_t kind = 0, id = 0;
  std::uint8_t is_new = 0;
  if (!reader.ReadInt(kind) || !reader.ReadInt(id) || !reader.ReadByte(is_new)) return false;
  if (kind != KindCode() || id != TypeID()) return false;
  return SkipContent(reader);
}

std::unique_ptr<TParamTreeValue> TParamTreeType::ValueFromConst(ParamConst constant) const {
  if (constant.kind() == ParamConst::Kind::kObject) return TakeValueConst(constant);
  RaiseConstKind(constant);
}

std::unique_ptr<TParamTreeValue> TParamTreeType::TakeValueConst(ParamConst& constant) const {
  const TParamTreeValue* value = constant.value();
  if (value == nullptr) Fatal("parameter constant without value object");
  if (&value->ParamType() != this) {
    RaiseParamTree("var rec of %s is no value for %s", value->ParamType().TypeName().c_str(),
                   TypeName().c_str());
  }
  return constant.TakeValue();
}

void TParamTreeType::RaiseConstKind(const ParamConst& constant) const {
  RaiseParamTree("var rec (type %d) is no value for class %s", static_cast<int>(constant.kind()),
                 ClassName());
}

// ---- integer

TParamTTInteger::TParamTTInteger()
    : TParamTTInteger(0, std::numeric_limits<std::int32_t>::min(),
                      std::numeric_limits<std::int32_t>::max()) {}

TParamTTInteger::TParamTTInteger(std::int32_t default_value, std::int32_t min, std::int32_t max)
    : default_(default_value), min_(min), max_(max) {}

std::unique_ptr<TParamTreeValue> TParamTTInteger::NewValue() const {
  return std::make_unique<TParamTVInteger>(TParamTypeRef<const TParamTTInteger>(this));
}

std::string TParamTTInteger::TypeName() const { return Format("Integer (%d,%d)", min_, max_); }

std::unique_ptr<TParamTreeValue> TParamTTInteger::ValueFromConst(ParamConst constant) const {
  if (constant.kind() != ParamConst::Kind::kInteger) {
    return TParamTreeType::ValueFromConst(std::move(constant));
  }
  auto value = std::make_unique<TParamTVInteger>(TParamTypeRef<const TParamTTInteger>(this));
  value->SetCurrent(constant.integer());
  return value;
}

bool TParamTTInteger::IsCompatible(const TParamTreeType& stored) const {
  return dynamic_cast<const TParamTTInteger*>(&stored) != nullptr;
}

bool TParamTTInteger::SkipContent(IParamReader& reader) const {
  std::uint8_t bytes[8];
  return reader.ReadBuffer(bytes, sizeof bytes);
}

// ---- character

TParamTTChar::TParamTTChar(unsigned char default_char, CharSet allowed)
    : default_(default_char), allowed_(allowed) {}

TParamTTChar::CharSet TParamTTChar::Range(int lo, int hi) {
  CharSet set;
  for (int c = lo; c <= hi; ++c) set.set(static_cast<std::size_t>(c));
  return set;
}

std::unique_ptr<TParamTreeValue> TParamTTChar::NewValue() const {
  return std::make_unique<TParamTVChar>(TParamTypeRef<const TParamTTChar>(this));
}

std::unique_ptr<TParamTreeValue> TParamTTChar::ValueFromConst(ParamConst constant) const {
  if (constant.kind() != ParamConst::Kind::kChar) {
    return TParamTreeType::ValueFromConst(std::move(constant));
  }
  auto value = std::make_unique<TParamTVChar>(TParamTypeRef<const TParamTTChar>(this));
  value->SetCurrent(static_cast<unsigned char>(constant.integer()));
  return value;
}

bool TParamTTChar::IsCompatible(const TParamTreeType& stored) const {
  return dynamic_cast<const TParamTTChar*>(&stored) != nullptr;
}

bool TParamTTChar::SkipContent(IParamReader& reader) const {
  std::uint8_t bytes[2];
  return reader.ReadBuffer(bytes, sizeof bytes);
}

// ---- enumeration

TParamTTEnum::TParamTTEnum(std::string name, std::int32_t default_index,
                           std::vector<std::string> names)
    : name_(std::move(name)), default_(default_index), names_(std::move(names)) {}

TParamTypeRef<TParamTTEnum> TParamTTEnum::CreateEmpty() {
  return TParamTypeRef<TParamTTEnum>::Adopt(new TParamTTEnum(Shell{}));
}

std::unique_ptr<TParamTreeValue> TParamTTEnum::NewValue() const {
  return std::make_unique<TParamTVEnum>(TParamTypeRef<const TParamTTEnum>(this));
}

std::string TParamTTEnum::TypeName() const {
  return Format("Enum (%s,%d)", name_.c_str(), Count());
}

std::unique_ptr<TParamTreeValue> TParamTTEnum::ValueFromConst(ParamConst constant) const {
  if (constant.kind() != ParamConst::Kind::kInteger) {
    return TParamTreeType::ValueFromConst(std::move(constant));
  }
  if (!IsValidIndex(constant.integer())) RaiseParamTree("invalid value for enumeration");
  auto value = NewValue();
  static_cast<TParamTVEnum&>(*value).SetIndex(constant.integer());
  return value;
}

void TParamTTEnum::AssignTypeID(TParamTypeIDServer& server) const {
  if (type_id_ <= 0) type_id_ = server.Register(*this);
}

void TParamTTEnum::WriteTypeInfo(IParamWriter& writer) const {
  writer.WriteInt(EnumStreamCode());
  writer.WriteInt(type_id_);
  writer.WriteString(name_);
  writer.WriteInt(Count());
  for (const std::string& name : names_) writer.WriteString(name);
}

bool TParamTTEnum::ReadTypeInfo(IParamReader& reader, TParamReadServer& registry) {
  if (has_info_) RaiseParamTree("enumtype already contains type info");
  has_info_ = true;
  std::int32_t id = 0, count = 0;
  if (!reader.ReadInt(id) || id != registry.Count() + 1) return false;
  if (!reader.ReadString(name_) || !reader.ReadInt(count)) return false;
  if (!reader.CanHold(count, 4)) return false;
  for (std::int32_t i = 0; i < count; ++i) {
    std::string name;
    if (!reader.ReadString(name)) return false;
    names_.push_back(std::move(name));
  }
  type_id_ = id;
  return registry.Register(TypeRef(this));
}

bool TParamTTEnum::IsCompatible(const TParamTreeType& stored) const {
  return dynamic_cast<const TParamTTEnum*>(&stored) != nullptr;
}

std::unique_ptr<TParamTreeAdaptInfo> TParamTTEnum::CreateAdaptInfo(const TParamTreeType& stored,
                                                                   TParamTreeAIServer&) const {
  const auto* stored_enum = dynamic_cast<const TParamTTEnum*>(&stored);
  if (stored_enum == nullptr) return nullptr;
  return std::make_unique<TParamTreeAIEnum>(stored, stored_enum->names_, names_);
}

const std::string& TParamTTEnum::ElementName(std::int64_t i) const {
  if (i < 0 || i >= Count()) RaiseParamTree("Invalid index");
  return names_[static_cast<std::size_t>(i)];
}

int TParamTTEnum::IndexOf(std::string_view name) const { return IndexOfName(names_, name); }

bool TParamTTEnum::SkipContent(IParamReader& reader) const {
  std::uint8_t bytes[8];
  return reader.ReadBuffer(bytes, sizeof bytes);
}

// ---- boolean

TParamTTBoolean::TParamTTBoolean(bool default_value)
    : TParamTTEnum("Boolean", default_value ? 1 : 0, {"Nein", "Ja"}) {}

TParamTypeRef<TParamTTBoolean> TParamTTBoolean::CreateEmpty() {
  return TParamTypeRef<TParamTTBoolean>::Adopt(new TParamTTBoolean(Shell{}));
}

std::unique_ptr<TParamTreeValue> TParamTTBoolean::NewValue() const {
  return std::make_unique<TParamTVBoolean>(TParamTypeRef<const TParamTTBoolean>(this));
}

std::unique_ptr<TParamTreeValue> TParamTTBoolean::ValueFromConst(ParamConst constant) const {
  if (constant.kind() == ParamConst::Kind::kBoolean) {
    return TParamTTEnum::ValueFromConst(ParamConst(constant.integer()));
  }
  return TParamTTEnum::ValueFromConst(std::move(constant));
}

// ---- string family

TParamTTString::TParamTTString()
    : TParamTTString(true, "", 0, std::numeric_limits<std::int32_t>::max()) {}

TParamTTString::TParamTTString(bool quoted, std::string default_text, std::int32_t min_length,
                               std::int32_t max_length)
    : quoted_(quoted),
      default_(std::move(default_text)),
      min_length_(min_length),
      max_length_(max_length) {}

std::unique_ptr<TParamTreeValue> TParamTTString::NewValue() const {
  return std::make_unique<TParamTVString>(TParamTypeRef<const TParamTTString>(this));
}

std::string TParamTTString::TypeName() const {
  return Format("String (%d,%d)", min_length_, max_length_);
}

std::unique_ptr<TParamTreeValue> TParamTTString::ValueFromConst(ParamConst constant) const {
  std::string text;
  if (constant.kind() == ParamConst::Kind::kString) {
    text = constant.text();
  } else if (constant.kind() == ParamConst::Kind::kChar) {
    text = FileCharToUtf8(static_cast<unsigned char>(constant.integer()));
  } else {
    return TParamTreeType::ValueFromConst(std::move(constant));
  }
  if (!IsValidText(text)) RaiseParamTree("invalid string constant");
  auto value = NewValue();
  static_cast<TParamTVString&>(*value).SetText(std::move(text));
  return value;
}

bool TParamTTString::IsCompatible(const TParamTreeType& stored) const {
  return dynamic_cast<const TParamTTString*>(&stored) != nullptr;
}

bool TParamTTString::IsValidText(std::string_view utf8) const {
  if (!IsFileText(utf8)) return false;
  const std::size_t length = CharCount(utf8);
  return static_cast<std::int64_t>(length) >= min_length_ &&
         static_cast<std::int64_t>(length) <= max_length_;
}

bool TParamTTString::SkipContent(IParamReader& reader) const {
  std::string text;
  return reader.ReadString(text) && reader.ReadString(text);
}

TParamTTElemName::TParamTTElemName(std::int32_t max_length)
    : TParamTTString(false, "#", 1, max_length) {}

std::unique_ptr<TParamTreeValue> TParamTTElemName::NewValue() const {
  return std::make_unique<TParamTVElemName>(TParamTypeRef<const TParamTTElemName>(this));
}

TParamTTPath::TParamTTPath(std::string default_text, std::int32_t path_base)
    : TParamTTString(false, std::move(default_text), 0, 250), path_base_(path_base) {}

std::unique_ptr<TParamTreeValue> TParamTTPath::NewValue() const {
  return std::make_unique<TParamTVPath>(TParamTypeRef<const TParamTTPath>(this));
}

std::unique_ptr<TParamTreeValue> TParamTTFileName::NewValue() const {
  return std::make_unique<TParamTVFileName>(TParamTypeRef<const TParamTTFileName>(this));
}

std::unique_ptr<TParamTreeValue> TParamTTDirectory::NewValue() const {
  return std::make_unique<TParamTVDirectory>(TParamTypeRef<const TParamTTDirectory>(this));
}

TParamTTMemo::TParamTTMemo(std::string default_text, std::int32_t min_length,
                           std::int32_t max_length)
    : TParamTTString(false, std::move(default_text), min_length, max_length) {}

std::unique_ptr<TParamTreeValue> TParamTTMemo::NewValue() const {
  return std::make_unique<TParamTVMemo>(TParamTypeRef<const TParamTTMemo>(this));
}

}  // namespace vld
