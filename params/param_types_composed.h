// Composed types of the parameter tree: records of named members, lists of elements and
// discriminated unions. See params/param_types.h for the overview.
//
// A composed type holds a reference on every component type and owns its default values
// (committed as new). Construction checks the components (none empty, no cycles) and raises
// EParamTree for a faulty schema; these are programming errors. The CreateEmpty shells are
// filled from a stored type table by ReadTypeInfo.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "params/param_types.h"

namespace vld {

class TParamTTComposed : public TParamTreeType {
 public:
  std::int32_t TypeID() const override { return type_id_; }

 protected:
  TParamTTComposed() = default;
  ~TParamTTComposed() override;
  // Raises "empty subtype of %s" / "cyclic type: ..." for a component that cannot be used.
  void CheckSubtype(const TParamTreeType* component) const;
  // Registers with `server` unless an id is assigned already.
  void RegisterSelf(TParamTypeIDServer& server) const;
  // Reads the type id of a description and checks it against the registry's next position.
  bool ReadOwnID(IParamReader& reader, const TParamReadServer& registry);
  // Notes the nesting depth of a new component; raises for a stored table nested too deeply.
  void NoteComponentDepth(const TParamTreeType& component);
  // The stored component with type id `id`; raises for an empty or unknown one.
  TypeRef StoredComponent(const TParamReadServer& registry, std::int32_t id);

  mutable std::int32_t type_id_ = 0;
};

class TParamTTCollection : public TParamTTComposed {
 public:
  // Record: member type i; list: the element type (i ignored).
  virtual const TParamTreeType& ItemType(std::int32_t i) const = 0;
};

class TParamTTRecord : public TParamTTCollection {
 public:
  // Fewer defaults than members is allowed: the rest take the member type's default.
  TParamTTRecord(std::string name, std::uint8_t level, std::vector<std::string> member_names,
                 std::vector<TypeRef> member_types, std::vector<ParamConst> defaults = {});
  static TParamTypeRef<TParamTTRecord> CreateEmpty();
  ~TParamTTRecord() override;

  const char* ClassName() const override { return "TParamTTRecord"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::unique_ptr<TParamTreeValue> NewEmptyValue() const override;
  std::string TypeName() const override { return name_; }
  std::int32_t KindCode() const override { return 5; }
  std::unique_ptr<TParamTreeValue> ValueFromConst(ParamConst constant) const override;
  std::int32_t StreamCode() const override { return 13; }
  void AssignTypeID(TParamTypeIDServer& server) const override;
  void ResetTypeID() const override;
  void WriteTypeInfo(IParamWriter& writer) const override;
  bool ReadTypeInfo(IParamReader& reader, TParamReadServer& registry) override;
  bool IsCompatible(const TParamTreeType& stored) const override;
  std::unique_ptr<TParamTreeAdaptInfo> CreateAdaptInfo(const TParamTreeType& stored,
                                                       TParamTreeAIServer& owner) const override;
  bool RefersTo(const TParamTreeType& type) const override;
  const TParamTreeType& ItemType(std::int32_t i) const override { return MemberType(i); }

  const std::string& Name() const { return name_; }
  std::int32_t MemberCount() const { return static_cast<std::int32_t>(types_.size()); }
  const std::vector<std::string>& MemberNames() const { return names_; }
  // Each raises "member index %d out of bounds in type %s" unless 0 <= i < MemberCount().
  const std::string& MemberName(std::int64_t i) const;
  const TParamTreeType& MemberType(std::int64_t i) const;
  const TParamTreeValue& MemberDefault(std::int64_t i) const;
  // The member named `name` (exactly, else ignoring case), or -1.
  int MemberIndex(std::string_view name) const;

 protected:
  bool SkipContent(IParamReader& reader) const override;

 private:
  TParamTTRecord() = default;
  void CheckIndex(std::int64_t i) const;

  std::string name_;
  std::vector<std::string> names_;
  std::vector<TypeRef> types_;
  std::vector<std::unique_ptr<TParamTreeValue>> defaults_;
  bool has_info_ = true;
};

class TParamTTList : public TParamTTCollection {
 public:
  // The class the naming member (at ElemIndex) must have.
  enum class ElemNameKind { kElemName, kFileName };

  TParamTTList(std::uint8_t level, std::int32_t min_count, std::int32_t max_count,
               std::uint8_t struct_level, std::int32_t elem_index, TypeRef elem_type,
               std::vector<ParamConst> defaults = {});
  static TParamTypeRef<TParamTTList> CreateEmpty();
  ~TParamTTList() override;

  const char* ClassName() const override { return "TParamTTList"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::unique_ptr<TParamTreeValue> NewEmptyValue() const override;
  std::string TypeName() const override;
  std::int32_t KindCode() const override { return 6; }
  std::unique_ptr<TParamTreeValue> ValueFromConst(ParamConst constant) const override;
  std::int32_t StreamCode() const override { return 14; }
  void AssignTypeID(TParamTypeIDServer& server) const override;
  void ResetTypeID() const override;
  void WriteTypeInfo(IParamWriter& writer) const override;
  bool ReadTypeInfo(IParamReader& reader, TParamReadServer& registry) override;
  bool IsCompatible(const TParamTreeType& stored) const override;
  std::unique_ptr<TParamTreeAdaptInfo> CreateAdaptInfo(const TParamTreeType& stored,
                                                       TParamTreeAIServer& owner) const override;
  bool RefersTo(const TParamTreeType& type) const override;
  const TParamTreeType& ItemType(std::int32_t) const override { return *elem_type_; }

  const TParamTreeType& ElemType() const { return *elem_type_; }
  std::int32_t MinCount() const { return min_count_; }
  std::int32_t MaxCount() const { return max_count_; }
  // Member of the element record that names an element, -1 for none.
  std::int32_t ElemIndex() const { return elem_index_; }
  // Level from which the structure (insert, delete, move) may be changed.
  std::uint8_t StructLevel() const { return struct_level_; }
  std::int32_t DefaultCount() const { return static_cast<std::int32_t>(defaults_.size()); }
  // Raises "element index %d out of bounds in type %s".
  const TParamTreeValue& DefaultElement(std::int64_t i) const;
  // True when `type` may name an element (TParamTTElemName, or TParamTTFileName for the
  // schema's file list).
  bool IsElemNameType(const TParamTreeType& type) const;

 protected:
  TParamTTList(ElemNameKind kind, std::uint8_t level, std::int32_t min_count,
               std::int32_t max_count, std::uint8_t struct_level, std::int32_t elem_index,
               TypeRef elem_type, std::vector<ParamConst> defaults);
  bool SkipContent(IParamReader& reader) const override;

 private:
  TParamTTList() = default;
  void CheckElemIndexRecord(const TParamTreeType* type) const;

  ElemNameKind elem_name_kind_ = ElemNameKind::kElemName;
  std::int32_t min_count_ = 0, max_count_ = 0, elem_index_ = -1;
  std::uint8_t struct_level_ = 4;
  TypeRef elem_type_;
  std::vector<std::unique_ptr<TParamTreeValue>> defaults_;
};

class TParamTTUnion : public TParamTTComposed {
 public:
  // One variant type per element of the discriminant; an empty entry carries no data. At most
  // one default constant, for the default variant.
  TParamTTUnion(std::string name, std::uint8_t level,
                TParamTypeRef<const TParamTTEnum> discriminant, std::vector<TypeRef> variants,
                std::string discriminant_caption, std::int32_t default_discriminant,
                std::vector<ParamConst> defaults = {});
  static TParamTypeRef<TParamTTUnion> CreateEmpty();
  ~TParamTTUnion() override;

  const char* ClassName() const override { return "TParamTTUnion"; }
  std::unique_ptr<TParamTreeValue> NewValue() const override;
  std::unique_ptr<TParamTreeValue> NewEmptyValue() const override;
  std::string TypeName() const override { return name_; }
  std::int32_t KindCode() const override { return 7; }
  std::unique_ptr<TParamTreeValue> ValueFromConst(ParamConst constant) const override;
  std::int32_t StreamCode() const override { return 15; }
  void AssignTypeID(TParamTypeIDServer& server) const override;
  void ResetTypeID() const override;
  void WriteTypeInfo(IParamWriter& writer) const override;
  bool ReadTypeInfo(IParamReader& reader, TParamReadServer& registry) override;
  bool IsCompatible(const TParamTreeType& stored) const override;
  std::unique_ptr<TParamTreeAdaptInfo> CreateAdaptInfo(const TParamTreeType& stored,
                                                       TParamTreeAIServer& owner) const override;
  bool RefersTo(const TParamTreeType& type) const override;

  const std::string& Name() const { return name_; }
  const TParamTTEnum& Discriminant() const { return *discriminant_; }
  std::int32_t VariantCount() const { return static_cast<std::int32_t>(variants_.size()); }
  // The variant type of discriminant i, nullptr for an empty variant. Raises "Invalid type
  // index in union type %s" unless 0 <= i < VariantCount().
  const TParamTreeType* VariantType(std::int64_t i) const;
  const std::string& DiscriminantCaption() const { return caption_; }
  std::int32_t DefaultDiscriminant() const { return default_discriminant_; }
  // nullptr for an empty default variant.
  const TParamTreeValue* DefaultVariant() const { return default_variant_.get(); }

 protected:
  bool SkipContent(IParamReader& reader) const override;

 private:
  TParamTTUnion() = default;

  std::string name_;
  TParamTypeRef<const TParamTTEnum> discriminant_;
  std::vector<TypeRef> variants_;
  std::string caption_;
  std::int32_t default_discriminant_ = 0;
  std::unique_ptr<TParamTreeValue> default_variant_;
  bool has_info_ = true;
};

}  // namespace vld
