// Composed values of the parameter tree: records, lists, unions, and the discriminant alias
// through which the editor shows a union's discriminant as an ordinary enumeration row. See
// params/param_values.h for states, contents and the stored layout.
//
// Stored content after the 9-byte header:
//   record: member count (int32), the member values in member order;
//   list:   current count (int32) and elements, then reference count and elements;
//   union:  current and reference discriminant (int32 each), then the current variant value
//           if the current variant is not empty, then the reference variant value likewise.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "params/param_types_composed.h"
#include "params/param_values.h"

namespace vld {

class TParamTVComposed : public TParamTreeValue {
 public:
  // ">>> " and the summary, or ">>>" alone when the summary is empty.
  std::string AsText(int level) const override;
  // A short description of the contents at `level`, kept below 60 characters plus "...".
  virtual std::string Summary(int level) const = 0;
};

class TParamTVCollection : public TParamTVComposed {
 public:
  std::int32_t Count() const { return static_cast<std::int32_t>(elements_.size()); }
  // Raises "element index %d out of bounds in collection of type %s" unless 0 <= i < Count().
  TParamTreeValue& Item(std::int64_t i) const;
  std::string Summary(int level) const override;
  bool IsValidDeep() const override;
  bool Equals(const TParamTreeValue& other) const override;

 protected:
  std::vector<std::unique_ptr<TParamTreeValue>> elements_;
};

class TParamTVRecord : public TParamTVCollection {
 public:
  // `empty`: no elements (for reading); else a clone of every member default.
  TParamTVRecord(TParamTypeRef<const TParamTTRecord> type, bool empty);
  const TParamTreeType& ParamType() const override { return *type_; }
  const TParamTTRecord& RecordType() const { return *type_; }
  const char* ClassName() const override { return "TParamTVRecord"; }
  std::string AsShortText(int level) const override { return "(" + Summary(level) + ")"; }
  bool IsValid() const override { return true; }
  int State() const override;
  void Commit(bool is_new) override;
  void Revert(bool is_new) override;
  // The member named `name` (see TParamTTRecord::MemberIndex), nullptr when there is none.
  TParamTreeValue* Member(std::string_view name) const;

 protected:
  bool ReadContent(IParamReader& reader, const TParamTreeType& stored,
                   TParamTreeAIServer& owner) override;
  void WriteContent(IParamWriter& writer) const override;
  void CopyFrom(const TParamTreeValue& other) override;

 private:
  TParamTypeRef<const TParamTTRecord> type_;
};

class TParamTVList : public TParamTVCollection {
 public:
  // `empty`: no elements on either side (for reading); else clones of the default elements.
  TParamTVList(TParamTypeRef<const TParamTTList> type, bool empty);
  const TParamTreeType& ParamType() const override { return *type_; }
  const TParamTTList& ListType() const { return *type_; }
  const char* ClassName() const override { return "TParamTVList"; }
  std::string AsShortText(int level) const override { return "[" + Summary(level) + "]"; }
  // MinCount <= Count <= MaxCount.
  bool IsValid() const override;
  int State() const override;
  void Commit(bool is_new) override;
  // The list's own flag stays; the elements are reverted with `is_new`.
  void Revert(bool is_new) override;

  // Raises "Invalid index %d." unless 0 <= i <= Count() and "Value of invalid parameter type."
  // unless the value's type is the element type itself.
  void Insert(std::int64_t i, std::unique_ptr<TParamTreeValue> value);
  // Raises "Invalid index %d." unless 0 <= i < Count().
  void Delete(std::int64_t i);
  // Raises "Invalid index" unless both are valid indices.
  void Move(std::int64_t from, std::int64_t to);
  std::int32_t ReferenceCount() const { return static_cast<std::int32_t>(reference_.size()); }
  const TParamTreeValue& ReferenceItem(std::int64_t i) const;

  // The caption of element i: the text of its naming member, else "#%d" (1-based).
  virtual std::string ElementCaption(std::int64_t i) const;
  // The caption text of the naming member `member` of element i.
  virtual std::string ElemNameOf(std::int64_t i, const TParamTreeValue& member) const;
  // True when `value` is the naming member of element i (its change renames the element).
  virtual bool IsElemNameMember(std::int64_t i, const TParamTreeValue& value) const;

 protected:
  bool ReadContent(IParamReader& reader, const TParamTreeType& stored,
                   TParamTreeAIServer& owner) override;
  void WriteContent(IParamWriter& writer) const override;
  void CopyFrom(const TParamTreeValue& other) override;
  // The record that holds element i's naming member (the element, or its union's variant).
  const TParamTVRecord* NamingRecord(std::int64_t i) const;

 private:
  TParamTypeRef<const TParamTTList> type_;
  std::vector<std::unique_ptr<TParamTreeValue>> reference_;
};

class TParamTVUnion : public TParamTVComposed {
 public:
  // `empty`: both discriminants the default, no variant values (for reading).
  TParamTVUnion(TParamTypeRef<const TParamTTUnion> type, bool empty);
  const TParamTreeType& ParamType() const override { return *type_; }
  const TParamTTUnion& UnionType() const { return *type_; }
  const char* ClassName() const override { return "TParamTVUnion"; }
  std::string AsShortText(int level) const override { return "(" + Summary(level) + ")"; }
  // The discriminant name, " => " and the variant's short text.
  std::string Summary(int level) const override;
  bool IsValid() const override { return true; }
  bool IsValidDeep() const override;
  int State() const override;
  bool Equals(const TParamTreeValue& other) const override;
  void Commit(bool is_new) override;
  // The union's own flag stays; the variant is reverted with `is_new`.
  void Revert(bool is_new) override;

  std::int32_t Discriminant() const { return current_; }
  std::int32_t ReferenceDiscriminant() const { return reference_; }
  // nullptr for an empty variant.
  TParamTreeValue* Variant() const { return variant_.get(); }
  const TParamTreeValue* ReferenceVariant() const { return reference_variant_.get(); }
  // Switches the current side; a different variant type gets a new default value. Raises
  // "Invalid Discriminant %d." for an index outside the discriminant.
  void SetDiscriminant(std::int64_t d);
  const std::string& DiscriminantName() const;

 protected:
  bool ReadContent(IParamReader& reader, const TParamTreeType& stored,
                   TParamTreeAIServer& owner) override;
  void WriteContent(IParamWriter& writer) const override;
  void CopyFrom(const TParamTreeValue& other) override;

 private:
  TParamTypeRef<const TParamTTUnion> type_;
  std::int32_t current_, reference_;
  std::unique_ptr<TParamTreeValue> variant_, reference_variant_;
};

// Shows a union's discriminant as an enumeration value: setting its text switches the union.
class TParamTVDiscriminantAlias : public TParamTVEnum {
 public:
  // Called after the discriminant of the attached union changed.
  using ChangeHandler = std::function<void(TParamTVUnion&)>;

  TParamTVDiscriminantAlias();
  const char* ClassName() const override { return "TParamTVDiscriminantAlias"; }
  // Remembers `u` (not owned; it must outlive the attachment) and takes its discriminants.
  void Attach(TParamTVUnion& u);
  TParamTVUnion* Attached() const { return union_; }
  void SetChangeHandler(ChangeHandler handler) { handler_ = std::move(handler); }
  bool SetAsText(std::string_view utf8) override;

 private:
  TParamTVUnion* union_ = nullptr;
  ChangeHandler handler_;
};

}  // namespace vld
