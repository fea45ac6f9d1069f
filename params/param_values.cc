#include "params/param_values.h"

#include <typeinfo>

#include "engine/files/string_utils.h"
#include "params/param_adapt.h"
#include "params/param_stream.h"
#include "params/param_text.h"
#include "params/param_tree_error.h"
#include "params/param_values_composed.h"
#include "platform/fatal.h"

namespace vld {

// ---- TParamTreeValue

std::unique_ptr<TParamTreeValue> TParamTreeValue::Clone() const {
  std::unique_ptr<TParamTreeValue> copy = ParamType().NewEmptyValue();
  copy->CopyFrom(*this);
  return copy;
}

bool TParamTreeValue::SameClass(const TParamTreeValue& other) const {
  return typeid(*this) == typeid(other);
}

bool TParamTreeValue::Read(IParamReader& reader, const TParamTreeType& stored,
                           TParamTreeAIServer& owner) {
  std::int32_t kind = 0, id = 0;
  std::uint8_t is_new = 0;
  if (!reader.ReadInt(kind) || !reader.ReadInt(id) || !reader.ReadByte(is_new)) return false;
  if (kind != stored.KindCode() || id != stored.TypeID()) return false;
  const TParamTreeType& own = ParamType();
  if (!own.IsCompatible(stored)) {
    RaiseParamTree("class %s (%s) is incompatible with class %s", own.ClassName(),
                   own.TypeName().c_str(), stored.ClassName());
  }
  is_new_ = is_new;
  return ReadContent(reader, stored, owner);
}

void TParamTreeValue::Write(IParamWriter& writer) const {
  const TParamTreeType& type = ParamType();
  if (type.TypeID() == 0) Fatal("parameter type without type id written");
  writer.WriteInt(type.KindCode());
  writer.WriteInt(type.TypeID());
  writer.WriteByte(is_new_);
  WriteContent(writer);
}

std::unique_ptr<TParamTreeValue> ReadNewValue(const TParamTreeType& schema, IParamReader& reader,
                                              const TParamTreeType& stored,
                                              TParamTreeAIServer& owner) {
  std::unique_ptr<TParamTreeValue> value = schema.NewEmptyValue();
  if (!value->Read(reader, stored, owner)) return nullptr;
  value->Convert();
  return value;
}

namespace {

int StateOf(bool is_new, bool same) {
  if (is_new) return kStateNew;
  return same ? kStateUnchanged : kStateChanged;
}

}  // namespace

// ---- integer

TParamTVInteger::TParamTVInteger(TParamTypeRef<const TParamTTInteger> type)
    : type_(std::move(type)), current_(type_->Default()), reference_(current_) {}

std::string TParamTVInteger::AsText(int) const { return std::to_string(current_); }

int TParamTVInteger::State() const { return StateOf(IsNew(), current_ == reference_); }

bool TParamTVInteger::Equals(const TParamTreeValue& other) const {
  return SameClass(other) && static_cast<const TParamTVInteger&>(other).current_ == current_;
}

void TParamTVInteger::Commit(bool is_new) {
  is_new_ = is_new;
  reference_ = current_;
}

void TParamTVInteger::Revert(bool is_new) {
  is_new_ = is_new;
  current_ = reference_;
}

std::optional<std::int32_t> ParseParamInteger(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  bool hex = false;
  if (pos < text.size() && (text[pos] == '$' || text[pos] == 'x' || text[pos] == 'X')) {
    hex = true;
    ++pos;
  } else if (pos + 1 < text.size() && text[pos] == '0' &&
             (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    hex = true;
    pos += 2;
  }
  if (pos >= text.size()) return std::nullopt;
  std::uint64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFull) return std::nullopt;  // checked per digit: never overflows
  }
  if (hex) {
    // A hexadecimal number is a 32-bit pattern ($FFFFFFFF is -1).
    const auto bits = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(negative ? 0u - bits : bits);
  }
  if (negative) {
    if (value > 2147483648ull) return std::nullopt;
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(value));
  }
  if (value > 2147483647ull) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

bool TParamTVInteger::SetAsText(std::string_view utf8) {
  const std::optional<std::int32_t> value = ParseParamInteger(utf8);
  if (!value || !type_->InRange(*value)) return false;
  current_ = *value;
  return true;
}

bool TParamTVInteger::ReadContent(IParamReader& reader, const TParamTreeType&,
                                  TParamTreeAIServer&) {
  return reader.ReadInt(current_) && reader.ReadInt(reference_);
}

void TParamTVInteger::WriteContent(IParamWriter& writer) const {
  writer.WriteInt(current_);
  writer.WriteInt(reference_);
}

void TParamTVInteger::CopyFrom(const TParamTreeValue& other) {
  const auto& o = static_cast<const TParamTVInteger&>(other);
  is_new_ = o.is_new_;
  current_ = o.current_;
  reference_ = o.reference_;
}

// ---- character

TParamTVChar::TParamTVChar(TParamTypeRef<const TParamTTChar> type)
    : type_(std::move(type)), current_(type_->Default()), reference_(current_) {}

std::string TParamTVChar::AsText(int) const { return QuoteLiteral(FileCharToUtf8(current_)); }

int TParamTVChar::State() const { return StateOf(IsNew(), current_ == reference_); }

bool TParamTVChar::Equals(const TParamTreeValue& other) const {
  return SameClass(other) && static_cast<const TParamTVChar&>(other).current_ == current_;
}

void TParamTVChar::Commit(bool is_new) {
  is_new_ = is_new;
  reference_ = current_;
}

void TParamTVChar::Revert(bool is_new) {
  is_new_ = is_new;
  current_ = reference_;
}

bool TParamTVChar::SetAsText(std::string_view utf8) {
  const std::optional<unsigned char> c = SingleFileChar(utf8);
  if (!c || !type_->IsAllowed(*c)) return false;
  current_ = *c;
  return true;
}

bool TParamTVChar::ReadContent(IParamReader& reader, const TParamTreeType&, TParamTreeAIServer&) {
  std::uint8_t current = 0, reference = 0;
  if (!reader.ReadByte(current) || !reader.ReadByte(reference)) return false;
  current_ = current;
  reference_ = reference;
  return true;
}

void TParamTVChar::WriteContent(IParamWriter& writer) const {
  writer.WriteByte(current_);
  writer.WriteByte(reference_);
}

void TParamTVChar::CopyFrom(const TParamTreeValue& other) {
  const auto& o = static_cast<const TParamTVChar&>(other);
  is_new_ = o.is_new_;
  current_ = o.current_;
  reference_ = o.reference_;
}

// ---- enumeration

TParamTVEnum::TParamTVEnum(TParamTypeRef<const TParamTTEnum> type)
    : type_(std::move(type)), current_(type_->DefaultIndex()), reference_(current_) {}

std::string TParamTVEnum::AsText(int) const { return type_->ElementName(current_); }

int TParamTVEnum::State() const { return StateOf(IsNew(), current_ == reference_); }

bool TParamTVEnum::Equals(const TParamTreeValue& other) const {
  return SameClass(other) && static_cast<const TParamTVEnum&>(other).current_ == current_;
}

void TParamTVEnum::Commit(bool is_new) {
  is_new_ = is_new;
  reference_ = current_;
}

void TParamTVEnum::Revert(bool is_new) {
  is_new_ = is_new;
  current_ = reference_;
}

bool TParamTVEnum::SetAsText(std::string_view utf8) {
  const int index = type_->IndexOf(utf8);
  if (index < 0) return false;
  current_ = index;
  return true;
}

void TParamTVEnum::SetEnumType(TParamTypeRef<const TParamTTEnum> type) {
  type_ = std::move(type);
  current_ = 0;
  reference_ = 0;
}

void TParamTVEnum::AssignFromUnion(const TParamTVUnion& u) {
  if (&u.UnionType().Discriminant() != type_.get()) {
    RaiseParamTree("enum %s is not the discriminant type of union %s", type_->TypeName().c_str(),
                   u.UnionType().TypeName().c_str());
  }
  current_ = u.Discriminant();
  reference_ = u.ReferenceDiscriminant();
}

bool TParamTVEnum::ReadContent(IParamReader& reader, const TParamTreeType& stored,
                               TParamTreeAIServer& owner) {
  std::int32_t current = 0, reference = 0;
  if (!reader.ReadInt(current) || !reader.ReadInt(reference)) return false;
  const TParamTreeAIEnum& map = owner.FindEnum(*type_, stored);
  const auto adapt = [&](std::int32_t index) {
    const int mapped = map.MapIndex(index);
    return mapped < 0 ? type_->DefaultIndex() : mapped;
  };
  current_ = adapt(current);
  reference_ = adapt(reference);
  return true;
}

void TParamTVEnum::WriteContent(IParamWriter& writer) const {
  writer.WriteInt(current_);
  writer.WriteInt(reference_);
}

void TParamTVEnum::CopyFrom(const TParamTreeValue& other) {
  const auto& o = static_cast<const TParamTVEnum&>(other);
  is_new_ = o.is_new_;
  current_ = o.current_;
  reference_ = o.reference_;
}

TParamTVBoolean::TParamTVBoolean(TParamTypeRef<const TParamTTBoolean> type)
    : TParamTVEnum(std::move(type)) {}

// ---- string family

TParamTVString::TParamTVString(TParamTypeRef<const TParamTTString> type)
    : type_(std::move(type)), current_(type_->Default()), reference_(current_) {}

std::string TParamTVString::AsText(int) const {
  return type_->Quoted() ? QuoteLiteral(current_) : current_;
}

int TParamTVString::State() const { return StateOf(IsNew(), current_ == reference_); }

bool TParamTVString::Equals(const TParamTreeValue& other) const {
  return SameClass(other) && static_cast<const TParamTVString&>(other).current_ == current_;
}

void TParamTVString::Commit(bool is_new) {
  is_new_ = is_new;
  reference_ = current_;
}

void TParamTVString::Revert(bool is_new) {
  is_new_ = is_new;
  current_ = reference_;
}

bool TParamTVString::SetAsText(std::string_view utf8) {
  if (!type_->IsValidText(utf8)) return false;
  current_ = std::string(utf8);
  return true;
}

bool TParamTVString::ReadContent(IParamReader& reader, const TParamTreeType&, TParamTreeAIServer&) {
  return reader.ReadString(current_) && reader.ReadString(reference_);
}

void TParamTVString::WriteContent(IParamWriter& writer) const {
  writer.WriteString(current_);
  writer.WriteString(reference_);
}

void TParamTVString::CopyFrom(const TParamTreeValue& other) {
  const auto& o = static_cast<const TParamTVString&>(other);
  is_new_ = o.is_new_;
  current_ = o.current_;
  reference_ = o.reference_;
}

// ---- memo

namespace {
constexpr std::string_view kLineMark = " \xC3\xB7 ";  // blank, ÷, blank
constexpr std::size_t kShortTextLimit = 60;
}  // namespace

std::string TParamTVMemo::AsText(int level) const {
  if (Text().find('\r') == std::string::npos) return Text();
  return ">>> " + AsShortText(level);
}

std::string TParamTVMemo::AsShortText(int) const {
  const std::string& text = Text();
  std::size_t cr = text.find('\r');
  if (cr == std::string::npos) return text;
  std::string out = text.substr(0, cr);
  out.append(kLineMark);
  std::size_t pos = cr + 1;
  for (;;) {
    if (pos < text.size() && text[pos] == '\n') ++pos;
    cr = text.find('\r', pos);
    const std::string_view line =
        std::string_view(text).substr(pos, cr == std::string::npos ? std::string::npos : cr - pos);
    if (CharCount(out) + CharCount(line) > kShortTextLimit) {
      out.append("...");
      break;
    }
    out.append(line);
    if (cr == std::string::npos) break;
    out.append(kLineMark);
    pos = cr + 1;
  }
  return out;
}

}  // namespace vld
