// Small text utilities of the engine runtime: a growable text builder, a character search in
// eight modes, repeating a text, and quoting a text as a literal ('a'#9'b') and parsing it back.
//
// Texts are byte strings in whatever encoding the caller keeps (record bytes in code page 437,
// parameter texts in UTF-8). Only bytes below 32, the apostrophe and '#' have a meaning here, and
// every byte of a multi-byte UTF-8 character is 128 or above, so the functions work alike on
// single-byte text and on UTF-8. Positions are 1-based, as everywhere in the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vld {

// A growable text builder. When more room is needed, a capacity above 64 grows by
// max(64, capacity / 4), a smaller one doubles; it always grows to at least the needed size.
class TStringCache {
 public:
  TStringCache() = default;

  // Makes room for at least `capacity` bytes (never shrinks below the current length).
  void SetCapacity(std::size_t capacity);
  void AppendChar(char c);
  void AppendText(std::string_view text);
  void Clear() { length_ = 0; }

  std::string_view Text() const { return std::string_view(buffer_.data(), length_); }
  std::size_t Length() const { return length_; }
  std::size_t Capacity() const { return buffer_.size(); }

 private:
  void Reserve(std::size_t needed);

  std::string buffer_;  // buffer_.size() is the capacity
  std::size_t length_ = 0;
};

// The modes of FindChar. Even modes answer 0 when nothing is found; odd modes answer the
// position where the search stopped: one past the end (forward) or one before the start
// (backward).
enum class FindCharMode : std::uint8_t {
  kForward = 0,  // first occurrence of the character
  kForwardOrStop = 1,
  kBackward = 2,  // last occurrence of the character
  kBackwardOrStop = 3,
  kForwardOther = 4,  // first character that is not the given one
  kForwardOtherOrStop = 5,
  kBackwardOther = 6,  // last character that is not the given one
  kBackwardOtherOrStop = 7,
};

// Searches `text` between the 1-based positions `from` and `to` (both included). `from` is
// raised to 1 and limited to one past the text; `to` is raised to 0 and limited to the text's
// length, so the search never leaves the text.
std::size_t FindChar(FindCharMode mode, char c, std::string_view text, std::ptrdiff_t from,
                     std::ptrdiff_t to);
// The whole text.
std::size_t FindChar(FindCharMode mode, char c, std::string_view text);
// From position `from` to the end of the text.
std::size_t FindCharFrom(FindCharMode mode, char c, std::string_view text, std::ptrdiff_t from);
// The first `length` bytes of the text.
std::size_t FindCharUpTo(FindCharMode mode, char c, std::string_view text, std::ptrdiff_t length);

// `count` copies of `text` (empty for count <= 0).
std::string RepeatText(std::ptrdiff_t count, std::string_view text);

// The literal form of a text: runs of characters from code 32 upwards in apostrophes with an
// inner apostrophe doubled, each character below 32 as '#' and its decimal code. An empty text
// gives ''. Example: a, tab, b gives 'a'#9'b'.
std::string QuoteLiteral(std::string_view text);

// The inverse of QuoteLiteral. The literal is a sequence of runs: '#' followed by a decimal
// code of at most 255 (the byte of that code), or an apostrophe-enclosed run with doubled
// apostrophes and no character below 32. Anything else (a character outside the runs, a code
// above 255, a '#' without digits, an unclosed run) is malformed and gives nullopt. An empty
// literal gives the empty text.
std::optional<std::string> UnquoteLiteral(std::string_view literal);

// True when the text holds an apostrophe or a '#', i.e. when a cell text must be read back
// from its literal form.
bool NeedsQuoting(std::string_view text);

}  // namespace vld
