// ParamConst: a tagged constant that gives a schema type its default contents. It holds an
// integer, a boolean, a character, a text, or an existing value object (which the type then
// takes over unchanged). Used only while a schema is built (record, list and union defaults).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vld {

class TParamTreeValue;

class ParamConst {
 public:
  // The tag numbers that the "var rec (type %d)" message reports.
  enum class Kind : int { kInteger = 0, kBoolean = 1, kChar = 2, kObject = 7, kString = 11 };

  ParamConst(std::int32_t value);
  ParamConst(bool value);
  ParamConst(const char* utf8);
  ParamConst(std::string utf8);
  ParamConst(std::unique_ptr<TParamTreeValue> value);
  // A character constant (a Windows-1252 code).
  static ParamConst Char(unsigned char code);

  ParamConst(ParamConst&&) noexcept;
  ParamConst& operator=(ParamConst&&) noexcept;
  ~ParamConst();

  Kind kind() const { return kind_; }
  std::int32_t integer() const { return integer_; }
  const std::string& text() const { return text_; }
  // REQUIRES: kind() == kObject. The value object, handed over.
  std::unique_ptr<TParamTreeValue> TakeValue();
  const TParamTreeValue* value() const { return value_.get(); }

 private:
  Kind kind_;
  std::int32_t integer_ = 0;  // integer, boolean (0/1) or character code
  std::string text_;
  std::unique_ptr<TParamTreeValue> value_;
};

// Builds a list of constants (ParamConst is move-only, so braces cannot be used).
template <class... A>
std::vector<ParamConst> Consts(A&&... items) {
  std::vector<ParamConst> out;
  out.reserve(sizeof...(items));
  (out.emplace_back(std::forward<A>(items)), ...);
  return out;
}

}  // namespace vld
