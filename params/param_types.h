// The type side of a parameter tree: the schema that says which records, lists, unions and
// elementary leaves a parameter set holds, with their limits, defaults and visibility levels.
//
// Types are shared between positions of a schema and between values, and are reference-counted
// (AddRef / Release, held through TParamTypeRef). They do not change after construction except
// for the cached type id, which exists only while a tree is written (ResetTypeID, AssignTypeID,
// write). Values (params/param_values.h) hold a reference on their type.
//
// A parameter file (params/param_tree_io.h) carries a table of the enumeration and composed types
// it uses. While it is read, "stored" types are built from that table (CreateEmpty shells filled
// by ReadTypeInfo) and the values are read into the current schema by matching member and
// element names (params/param_adapt.h).
//
// Failures raise EParamTree with an English developer text. This header holds the base class and
// the elementary types; params/param_types_composed.h holds records, lists and unions.
#pragma once

#include <atomic>
#include <bitset>
#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "params/param_const.h"

namespace vld {

class TParamTreeValue;
class IParamWriter;
class IParamReader;
class TParamTypeIDServer;
class TParamReadServer;
class TParamTreeAIServer;
class TParamTreeAdaptInfo;

// Intrusive reference to a type: copying adds a reference, destruction releases it.
template <class T>
class TParamTypeRef {
 public:
  TParamTypeRef() = default;
  TParamTypeRef(std::nullptr_t) {}
  // Shares an existing type (adds a reference).
  explicit TParamTypeRef(T* type) : p_(type) {
    if (p_) p_->AddRef();
  }
  // Takes over the initial reference of a new type.
  static TParamTypeRef Adopt(T* type) {
    TParamTypeRef r;
    r.p_ = type;
    return r;
  }
  TParamTypeRef(const TParamTypeRef& o) : TParamTypeRef(o.p_) {}
  TParamTypeRef(TParamTypeRef&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  template <class U>
  requires std::convertible_to<U*, T*> TParamTypeRef(const TParamTypeRef<U>& o)
      : TParamTypeRef(o.get()) {}
  TParamTypeRef& operator=(TParamTypeRef o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~TParamTypeRef() {
    if (p_) p_->Release();
  }
  T* get() const { return p_; }
  T& operator*() const { return *p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// Creates a type with its initial reference.
template <class T, class... A>
TParamTypeRef<T> NewType(A&&... args) {
  return TParamTypeRef<T>::Adopt(new T(std::forward<A>(args)...));
}

class TParamTreeType;
using TypeRef = TParamTypeRef<const TParamTreeType>;

// Adjusts a value right after it was read from a file (the schema's bonus migration).
class TParamValueConverter {
 public:
  virtual ~TParamValueConverter() = default;
  virtual void Convert(TParamTreeValue& value) const = 0;
};

// Deepest nesting of composed types that a stored type table may describe; deeper tables are
// refused as damaged, so reading never recurses without bound.
inline constexpr int kMaxStoredTypeDepth = 64;

class TParamTreeType {
 public:
  TParamTreeType(const TParamTreeType&) = delete;
  TParamTreeType& operator=(const TParamTreeType&) = delete;

  void AddRef() const { ref_count_.fetch_add(1, std::memory_order_relaxed); }
  // Destroys the type when the last reference goes.
  void Release() const {
    if (ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

  // Visibility level 1 to 4 (0: never shown). Set while the schema is built.
  std::uint8_t Level() const { return level_; }
  void SetLevel(std::uint8_t level) { level_ = level; }
  // Marks the type at which the help path of the parameter description begins.
  bool HelpRoot() const { return help_root_; }
  void SetHelpRoot(bool help_root) { help_root_ = help_root; }
  void SetConverter(std::unique_ptr<TParamValueConverter> converter);
  // Hands `value` to the converter, if any.
  void ConvertValue(TParamTreeValue& value) const;

  virtual const char* ClassName() const = 0;
  // A value holding the type's defaults, new (IsNew set).
  virtual std::unique_ptr<TParamTreeValue> NewValue() const = 0;
  // The empty value that reading fills (composed values without elements).
  virtual std::unique_ptr<TParamTreeValue> NewEmptyValue() const;
  virtual std::string TypeName() const = 0;
  // Written in front of every stored value.
  virtual std::int32_t KindCode() const = 0;
  // A value from a default constant (see ParamConst); raises "var rec ..." for a constant of
  // another kind.
  virtual std::unique_ptr<TParamTreeValue> ValueFromConst(ParamConst constant) const;
  // -1 integer, -2 string family, -3 character, -4 memo; enumerations and composed types: the
  // id assigned for writing (0 = none).
  virtual std::int32_t TypeID() const = 0;
  // Written in front of a stored type description; 0 for types without one.
  virtual std::int32_t StreamCode() const { return 0; }
  // Registers this type and, first, every type it refers to (post-order).
  virtual void AssignTypeID(TParamTypeIDServer&) const {}
  virtual void ResetTypeID() const {}
  virtual void WriteTypeInfo(IParamWriter&) const {}
  // Fills an empty shell from a stored type description (after its stream code) and registers
  // it; false on a short or inconsistent stream.
  virtual bool ReadTypeInfo(IParamReader&, TParamReadServer&);
  // True when a value stored under `stored` can be read into this type (by class only).
  virtual bool IsCompatible(const TParamTreeType& stored) const = 0;
  virtual std::unique_ptr<TParamTreeAdaptInfo> CreateAdaptInfo(const TParamTreeType& stored,
                                                               TParamTreeAIServer& owner) const;
  // Consumes exactly what a value of this (stored) type wrote; false on a short or mismatching
  // stream.
  bool SkipValue(IParamReader& reader) const;
  virtual bool RefersTo(const TParamTreeType&) const { return false; }
  // 0 for elementary types, else 1 + the deepest component.
  int NestingDepth() const { return depth_; }

 protected:
  TParamTreeType() = default;
  virtual ~TParamTreeType();
  virtual bool SkipContent(IParamReader& reader) const = 0;
  // A value-object constant must be a value of this very type and is returned unchanged.
  std::unique_ptr<TParamTreeValue> TakeValueConst(ParamConst& constant) const;
  [[noreturn]] void RaiseConstKind(const ParamConst& constant) const;

  int depth_ = 0;

 private:
  mutable std::atomic<int> ref_count_{1};
  std::uint8_t level_ = 4;
  bool help_root_ = false;
  std::unique_ptr<TParamValueConverter> converter_;
};

class TParamTTElementary : public TParamTreeType {};

class TParamTTInteger : public TParamTTElementary {
 public:
  TParamTTInteger();  // default 0, the whole int32 range
  TParamTTInteger(std::int32_t default_value, std::int32_t min, std::int32_t max);
  const char* ClassName() const override { return "TParamTTInteger"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::string TypeName() const override;
  std::int32_t KindCode() const override { return 1; }
  std::unique_ptr<TParamTreeValue> ValueFromConst(ParamConst constant) const override;
  std::int32_t TypeID() const override { return -1; }
  bool IsCompatible(const TParamTreeType& stored) const override;
  virtual bool InRange(std::int64_t n) const { return n >= min_ && n <= max_; }
  std::int32_t Default() const { return default_; }
  std::int32_t Min() const { return min_; }
  std::int32_t Max() const { return max_; }

 protected:
  bool SkipContent(IParamReader& reader) const override;

 private:
  std::int32_t default_, min_, max_;
};

// A single Windows-1252 character from an allowed set.
class TParamTTChar : public TParamTTElementary {
 public:
  using CharSet = std::bitset<256>;
  TParamTTChar(unsigned char default_char, CharSet allowed);
  // The set of the codes lo..hi.
  static CharSet Range(int lo, int hi);
  const char* ClassName() const override { return "TParamTTChar"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::string TypeName() const override { return "Char"; }
  std::int32_t KindCode() const override { return 9; }
  std::unique_ptr<TParamTreeValue> ValueFromConst(ParamConst constant) const override;
  std::int32_t TypeID() const override { return -3; }
  bool IsCompatible(const TParamTreeType& stored) const override;
  virtual bool IsAllowed(unsigned char c) const { return allowed_[c]; }
  unsigned char Default() const { return default_; }

 protected:
  bool SkipContent(IParamReader& reader) const override;

 private:
  unsigned char default_;
  CharSet allowed_;
};

class TParamTTEnum : public TParamTTElementary {
 public:
  TParamTTEnum(std::string name, std::int32_t default_index, std::vector<std::string> names);
  // An empty shell for ReadTypeInfo.
  static TParamTypeRef<TParamTTEnum> CreateEmpty();
  const char* ClassName() const override { return "TParamTTEnum"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::string TypeName() const override;
  std::int32_t KindCode() const override { return 2; }
  std::unique_ptr<TParamTreeValue> ValueFromConst(ParamConst constant) const override;
  std::int32_t TypeID() const override { return type_id_; }
  void AssignTypeID(TParamTypeIDServer& server) const override;
  void ResetTypeID() const override { type_id_ = 0; }
  void WriteTypeInfo(IParamWriter& writer) const override;
  bool ReadTypeInfo(IParamReader& reader, TParamReadServer& registry) override;
  bool IsCompatible(const TParamTreeType& stored) const override;
  std::unique_ptr<TParamTreeAdaptInfo> CreateAdaptInfo(const TParamTreeType& stored,
                                                       TParamTreeAIServer& owner) const override;
  virtual std::int32_t EnumStreamCode() const { return 12; }
  virtual bool IsValidIndex(std::int64_t i) const { return i >= 0 && i < Count(); }

  const std::string& Name() const { return name_; }
  std::int32_t Count() const { return static_cast<std::int32_t>(names_.size()); }
  std::int32_t DefaultIndex() const { return default_; }
  const std::vector<std::string>& ElementNames() const { return names_; }
  // Raises "Invalid index" unless 0 <= i < Count().
  const std::string& ElementName(std::int64_t i) const;
  // Case-insensitive position of `name`, or -1.
  int IndexOf(std::string_view name) const;

 protected:
  struct Shell {};
  explicit TParamTTEnum(Shell) : default_(0), has_info_(false) {}
  bool SkipContent(IParamReader& reader) const override;

 private:
  std::string name_;
  std::int32_t default_;
  std::vector<std::string> names_;
  mutable std::int32_t type_id_ = 0;
  bool has_info_ = true;
};

// An enumeration named "Boolean" with the elements "Nein" (0) and "Ja" (1).
class TParamTTBoolean : public TParamTTEnum {
 public:
  explicit TParamTTBoolean(bool default_value);
  static TParamTypeRef<TParamTTBoolean> CreateEmpty();
  const char* ClassName() const override { return "TParamTTBoolean"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::string TypeName() const override { return "Boolean"; }
  std::int32_t KindCode() const override { return 3; }
  std::unique_ptr<TParamTreeValue> ValueFromConst(ParamConst constant) const override;
  std::int32_t EnumStreamCode() const override { return 16; }

 private:
  explicit TParamTTBoolean(Shell shell) : TParamTTEnum(shell) {}
};

// Texts: quoted (shown as a literal) or plain, with a length range in characters.
class TParamTTString : public TParamTTElementary {
 public:
  TParamTTString();  // quoted, 0 to 2147483647 characters, default empty
  TParamTTString(bool quoted, std::string default_text, std::int32_t min_length,
                 std::int32_t max_length);
  const char* ClassName() const override { return "TParamTTString"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::string TypeName() const override;
  std::int32_t KindCode() const override { return 4; }
  std::unique_ptr<TParamTreeValue> ValueFromConst(ParamConst constant) const override;
  std::int32_t TypeID() const override { return -2; }
  bool IsCompatible(const TParamTreeType& stored) const override;
  // The length lies in the range and every character fits into Windows-1252 (so a file can
  // hold the text unchanged).
  virtual bool IsValidText(std::string_view utf8) const;

  bool Quoted() const { return quoted_; }
  const std::string& Default() const { return default_; }
  std::int32_t MinLength() const { return min_length_; }
  std::int32_t MaxLength() const { return max_length_; }

 protected:
  bool SkipContent(IParamReader& reader) const override;

 private:
  bool quoted_;
  std::string default_;
  std::int32_t min_length_, max_length_;
};

// The member that names a list element: plain, at least one character, default "#".
class TParamTTElemName : public TParamTTString {
 public:
  explicit TParamTTElemName(std::int32_t max_length);
  const char* ClassName() const override { return "TParamTTElemName"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::string TypeName() const override { return "ElementName"; }
};

// Paths: plain, 0 to 250 characters. `PathBase` tells which base path the value is relative to
// (params/match_schema_types.h).
class TParamTTPath : public TParamTTString {
 public:
  TParamTTPath(std::string default_text, std::int32_t path_base);
  const char* ClassName() const override { return "TParamTTPath"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::int32_t PathBase() const { return path_base_; }

 private:
  std::int32_t path_base_;
};

class TParamTTFileName : public TParamTTPath {
 public:
  using TParamTTPath::TParamTTPath;
  const char* ClassName() const override { return "TParamTTFileName"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::string TypeName() const override { return "FileName"; }
};

class TParamTTDirectory : public TParamTTPath {
 public:
  using TParamTTPath::TParamTTPath;
  const char* ClassName() const override { return "TParamTTDirectory"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::string TypeName() const override { return "Directory"; }
};

// Multi-line plain text.
class TParamTTMemo : public TParamTTString {
 public:
  TParamTTMemo(std::string default_text, std::int32_t min_length, std::int32_t max_length);
  const char* ClassName() const override { return "TParamTTMemo"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::string TypeName() const override { return "Memo"; }
  std::int32_t KindCode() const override { return 17; }
  std::int32_t TypeID() const override { return -4; }
};

}  // namespace vld
