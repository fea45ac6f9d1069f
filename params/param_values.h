// The values of a parameter tree: the contents that the types of params/param_types.h describe.
//
// Every value keeps two copies of its content: the current content, which the user edits, and
// the reference content, the content at the last Commit (for a set made from a schema: the
// schema's value). With the IsNew flag they give the change state the editor shows:
//   State() 0 = new (IsNew set), 1 = current equals reference, 2 = changed.
// Values validate themselves against their types, render display texts, parse user input
// (SetAsText), copy themselves (Clone, deep) and read and write themselves:
//   every value: kind code (int32), type id (int32), IsNew (1 byte), then its content.
// Texts are UTF-8 (see params/param_text.h). A value owns its components and holds a reference
// on its type. This header holds the base class and the elementary values;
// params/param_values_composed.h holds records, lists, unions and the discriminant alias.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "params/param_types.h"

namespace vld {

class TParamTVUnion;

enum ParamState : int { kStateNew = 0, kStateUnchanged = 1, kStateChanged = 2 };

class TParamTreeValue {
 public:
  TParamTreeValue(const TParamTreeValue&) = delete;
  TParamTreeValue& operator=(const TParamTreeValue&) = delete;
  virtual ~TParamTreeValue() = default;

  virtual const TParamTreeType& ParamType() const = 0;
  virtual const char* ClassName() const = 0;
  // A deep copy with the same IsNew flag, current and reference contents.
  std::unique_ptr<TParamTreeValue> Clone() const;
  // The display text at display level `level` (composed values: ">>> " and their summary).
  virtual std::string AsText(int level) const = 0;
  virtual std::string AsShortText(int level) const { return AsText(level); }
  virtual bool IsValid() const = 0;
  // IsValid of this value and everything below it.
  virtual bool IsValidDeep() const { return IsValid(); }
  virtual int State() const = 0;

  // Reads a value written under `stored` into this (empty) value. False when the stream is
  // short or does not hold a value of `stored`; raises EParamTree for an incompatible stored
  // type or a failed mapping.
  bool Read(IParamReader& reader, const TParamTreeType& stored, TParamTreeAIServer& owner);
  void Write(IParamWriter& writer) const;

  // Same class and the same current contents (deeply).
  virtual bool Equals(const TParamTreeValue& other) const = 0;
  // IsNew := is_new and reference := current (deeply).
  virtual void Commit(bool is_new) = 0;
  // current := reference (deeply); see the classes for the flags.
  virtual void Revert(bool is_new) = 0;
  // The type's converter, right after reading.
  void Convert() { ParamType().ConvertValue(*this); }

  bool IsNew() const { return is_new_ != 0; }

 protected:
  TParamTreeValue() = default;
  virtual bool ReadContent(IParamReader& reader, const TParamTreeType& stored,
                           TParamTreeAIServer& owner) = 0;
  virtual void WriteContent(IParamWriter& writer) const = 0;
  // Copies flag and contents from `other`, a value of the same class and type.
  virtual void CopyFrom(const TParamTreeValue& other) = 0;
  bool SameClass(const TParamTreeValue& other) const;

  std::uint8_t is_new_ = 1;  // kept as stored, so a file reads and writes back unchanged
};

// The value of `schema` read from the stream (ReadNew): an empty value filled by Read, then
// converted. nullptr when the stream does not hold it.
std::unique_ptr<TParamTreeValue> ReadNewValue(const TParamTreeType& schema, IParamReader& reader,
                                              const TParamTreeType& stored,
                                              TParamTreeAIServer& owner);

class TParamTVElementary : public TParamTreeValue {
 public:
  // Parses user input. On success the current content changes and the result is true;
  // otherwise nothing changes.
  virtual bool SetAsText(std::string_view utf8) = 0;
};

class TParamTVInteger : public TParamTVElementary {
 public:
  explicit TParamTVInteger(TParamTypeRef<const TParamTTInteger> type);
  const TParamTreeType& ParamType() const override { return *type_; }
  const char* ClassName() const override { return "TParamTVInteger"; }
  std::string AsText(int level) const override;
  bool IsValid() const override { return type_->InRange(current_); }
  int State() const override;
  bool Equals(const TParamTreeValue& other) const override;
  void Commit(bool is_new) override;
  void Revert(bool is_new) override;
  // Decimal or hexadecimal ($, x, X, 0x, 0X) 32-bit number in the type's range.
  bool SetAsText(std::string_view utf8) override;

  std::int32_t Current() const { return current_; }
  std::int32_t Reference() const { return reference_; }
  // Sets the current content without checks (the parameter check validates before a run).
  void SetCurrent(std::int32_t value) { current_ = value; }

 protected:
  bool ReadContent(IParamReader& reader, const TParamTreeType& stored,
                   TParamTreeAIServer& owner) override;
  void WriteContent(IParamWriter& writer) const override;
  void CopyFrom(const TParamTreeValue& other) override;

 private:
  TParamTypeRef<const TParamTTInteger> type_;
  std::int32_t current_, reference_;
};

// Parses an integer as the editor accepts it: leading blanks, an optional sign, then decimal
// digits or a hexadecimal number after $, x, X, 0x or 0X, nothing after it; a decimal value must
// fit into int32, a hexadecimal one into 32 bits.
std::optional<std::int32_t> ParseParamInteger(std::string_view text);

class TParamTVChar : public TParamTVElementary {
 public:
  explicit TParamTVChar(TParamTypeRef<const TParamTTChar> type);
  const TParamTreeType& ParamType() const override { return *type_; }
  const char* ClassName() const override { return "TParamTVChar"; }
  // The literal form ('a', #9).
  std::string AsText(int level) const override;
  bool IsValid() const override { return type_->IsAllowed(current_); }
  int State() const override;
  bool Equals(const TParamTreeValue& other) const override;
  void Commit(bool is_new) override;
  void Revert(bool is_new) override;
  // Exactly one allowed character.
  bool SetAsText(std::string_view utf8) override;

  // The Windows-1252 code of the character.
  unsigned char Current() const { return current_; }
  unsigned char Reference() const { return reference_; }
  void SetCurrent(unsigned char code) { current_ = code; }

 protected:
  bool ReadContent(IParamReader& reader, const TParamTreeType& stored,
                   TParamTreeAIServer& owner) override;
  void WriteContent(IParamWriter& writer) const override;
  void CopyFrom(const TParamTreeValue& other) override;

 private:
  TParamTypeRef<const TParamTTChar> type_;
  unsigned char current_, reference_;
};

class TParamTVEnum : public TParamTVElementary {
 public:
  explicit TParamTVEnum(TParamTypeRef<const TParamTTEnum> type);
  const TParamTreeType& ParamType() const override { return *type_; }
  const TParamTTEnum& EnumType() const { return *type_; }
  const char* ClassName() const override { return "TParamTVEnum"; }
  // The element name of the current index; raises "Invalid index" outside the names.
  std::string AsText(int level) const override;
  bool IsValid() const override { return type_->IsValidIndex(current_); }
  int State() const override;
  bool Equals(const TParamTreeValue& other) const override;
  void Commit(bool is_new) override;
  void Revert(bool is_new) override;
  // One of the element names, compared case-insensitively.
  bool SetAsText(std::string_view utf8) override;

  std::int32_t Index() const { return current_; }
  std::int32_t ReferenceIndex() const { return reference_; }
  void SetIndex(std::int32_t index) { current_ = index; }
  // Switches to another enumeration type; both indices become 0.
  void SetEnumType(TParamTypeRef<const TParamTTEnum> type);
  // Copies both discriminants of `u`; raises "enum %s is not the discriminant type of union
  // %s" unless u's discriminant type is this value's type.
  void AssignFromUnion(const TParamTVUnion& u);

 protected:
  bool ReadContent(IParamReader& reader, const TParamTreeType& stored,
                   TParamTreeAIServer& owner) override;
  void WriteContent(IParamWriter& writer) const override;
  void CopyFrom(const TParamTreeValue& other) override;

  TParamTypeRef<const TParamTTEnum> type_;
  std::int32_t current_, reference_;
};

class TParamTVBoolean : public TParamTVEnum {
 public:
  explicit TParamTVBoolean(TParamTypeRef<const TParamTTBoolean> type);
  const char* ClassName() const override { return "TParamTVBoolean"; }
  bool AsBoolean() const { return current_ == 1; }
  void SetBoolean(bool value) { current_ = value ? 1 : 0; }
};

class TParamTVString : public TParamTVElementary {
 public:
  explicit TParamTVString(TParamTypeRef<const TParamTTString> type);
  const TParamTreeType& ParamType() const override { return *type_; }
  const TParamTTString& StringType() const { return *type_; }
  const char* ClassName() const override { return "TParamTVString"; }
  // Quoted types: the literal form; plain types: the text.
  std::string AsText(int level) const override;
  bool IsValid() const override { return type_->IsValidText(current_); }
  int State() const override;
  bool Equals(const TParamTreeValue& other) const override;
  void Commit(bool is_new) override;
  void Revert(bool is_new) override;
  bool SetAsText(std::string_view utf8) override;

  const std::string& Text() const { return current_; }
  const std::string& ReferenceText() const { return reference_; }
  // Sets the current text without checks (the parameter check validates before a run).
  void SetText(std::string utf8) { current_ = std::move(utf8); }

 protected:
  bool ReadContent(IParamReader& reader, const TParamTreeType& stored,
                   TParamTreeAIServer& owner) override;
  void WriteContent(IParamWriter& writer) const override;
  void CopyFrom(const TParamTreeValue& other) override;

 private:
  TParamTypeRef<const TParamTTString> type_;
  std::string current_, reference_;
};

class TParamTVElemName : public TParamTVString {
 public:
  explicit TParamTVElemName(TParamTypeRef<const TParamTTElemName> type)
      : TParamTVString(std::move(type)) {}
  const char* ClassName() const override { return "TParamTVElemName"; }
  const std::string& ElemText() const { return Text(); }
};

class TParamTVPath : public TParamTVString {
 public:
  explicit TParamTVPath(TParamTypeRef<const TParamTTPath> type) : TParamTVString(std::move(type)) {}
  const char* ClassName() const override { return "TParamTVPath"; }
};

class TParamTVFileName : public TParamTVPath {
 public:
  explicit TParamTVFileName(TParamTypeRef<const TParamTTFileName> type)
      : TParamTVPath(std::move(type)) {}
  const char* ClassName() const override { return "TParamTVFileName"; }
};

class TParamTVDirectory : public TParamTVPath {
 public:
  explicit TParamTVDirectory(TParamTypeRef<const TParamTTDirectory> type)
      : TParamTVPath(std::move(type)) {}
  const char* ClassName() const override { return "TParamTVDirectory"; }
};

class TParamTVMemo : public TParamTVString {
 public:
  explicit TParamTVMemo(TParamTypeRef<const TParamTTMemo> type) : TParamTVString(std::move(type)) {}
  const char* ClassName() const override { return "TParamTVMemo"; }
  // With a carriage return: ">>> " and the short text; else the text.
  std::string AsText(int level) const override;
  // With a carriage return: the lines joined by " ÷ ", cut with "..." before 60 characters.
  std::string AsShortText(int level) const override;
};

}  // namespace vld
