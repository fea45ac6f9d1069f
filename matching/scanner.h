// Three small helpers of the matching logic.
//
// TScanner is a table-driven lexer for the program's small text formats; it reads the file list
// ("Dateiliste"). Text is code page 1252. Token kinds: 0 lower-case phrase, 1 capitalised
// identifier, 2 upper-case identifier, 3 number, 4 string, 5 operator run, 6 single punctuation
// character, 7 end of input, 8 malformed string or character code, 9 character not allowed,
// 10 comment error.
//
// TTokenizer walks the components of a match key and hands every token that is long enough (its
// component's token hurdle) to a callback; the token hash of the class matcher is fed by it.
//
// TRecordLister builds the body of a duplicate-list line from the "Listenfelder" of a record:
// bytes 5 .. L-2 of a line of L bytes; the first 4 and the last 2 bytes belong to the caller.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "engine/pipeline/file_layout.h"
#include "engine/runtime/origin.h"
#include "matching/match_params.h"

namespace vld {

enum class TokenKind : std::uint8_t {
  kLowerPhrase = 0,
  kCapitalised = 1,
  kUpperCase = 2,
  kNumber = 3,
  kString = 4,
  kOperator = 5,
  kPunctuation = 6,
  kEnd = 7,
  kMalformed = 8,
  kNotAllowed = 9,
  kCommentError = 10,
};

class TScanner : public TOrigin {
 public:
  // Fills `line` with the next line (without its line end) and returns true, or returns false
  // at the end of the input. Lines are cut at 255 characters.
  using LineSource = std::function<bool(std::string& line)>;

  void Start(LineSource source);
  TokenKind Next();
  const std::string& Text() const { return text_; }
  std::int32_t LineNumber() const { return lineNumber_; }
  // True when the current token is the end of a line (a CR) — for the file list's messages.
  bool AtLineEnd() const { return atLineEnd_; }

 private:
  std::uint8_t Peek();
  void Advance() { ++position_; }

  LineSource source_;
  std::string line_;
  std::size_t position_ = 0;
  bool needLine_ = true;
  bool ended_ = false;
  std::int32_t lineNumber_ = 0;
  std::int32_t depth_ = 0;
  std::string text_;
  bool atLineEnd_ = false;
};

class TTokenizer : public TOrigin {
 public:
  // component, token length, token bytes
  using Callback = std::function<void(std::int32_t component, std::int32_t length,
                                      const std::uint8_t* token)>;

  void Setup(const TParameterStore& set, Callback callback);
  // Calls the callback for each token of the record's match key whose length reaches its
  // component's token hurdle. Fatal "TTokenizer.EnterRecord TC" for a corrupt count.
  void EnterRecord(const TFileLayout& layout, const std::uint8_t* record) const;

 private:
  const TParameterStore* set_ = nullptr;
  Callback callback_;
};

class TRecordLister : public TOrigin {
 public:
  void Setup(std::int32_t listRecordLength, std::span<const TFieldEntry> listFields);
  // The list fields of `record` into out[4 .. L-3], filled with blanks.
  void FromRecord(const std::uint8_t* record, std::uint8_t* out) const;
  // `text` into out[4 .. L-3] (cut to fit), filled with blanks.
  void FromText(std::string_view text, std::uint8_t* out) const;
  std::int32_t Usable() const { return length_ - 6; }

 private:
  std::int32_t length_ = 0;
  std::span<const TFieldEntry> fields_;
};

}  // namespace vld
