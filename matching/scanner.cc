#include "matching/scanner.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/fatal.h"

namespace vld {
namespace {

enum : std::uint8_t {
  kBlank = 0, kLower = 1, kUpper = 2, kDigit = 3, kQuote = 4, kOperatorChar = 5,
  kPunctuationChar = 6, kOpenBrace = 7, kCloseBrace = 8, kCr = 9, kCtrlZ = 10, kOther = 11,
};

constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> c{};
  for (auto& x : c) x = kOther;
  c[' '] = c['\t'] = kBlank;
  for (int ch = 'a'; ch <= 'z'; ++ch) c[ch] = kLower;
  for (int ch : {0xE4, 0xF6, 0xFC, 0xDF, int{'\''}}) c[ch] = kLower;  // ä ö ü ß in 1252
  for (int ch = 'A'; ch <= 'Z'; ++ch) c[ch] = kUpper;
  for (int ch : {0xC4, 0xD6, 0xDC}) c[ch] = kUpper;  // Ä Ö Ü
  for (int ch = '0'; ch <= '9'; ++ch) c[ch] = kDigit;
  c['"'] = kQuote;
  for (int ch : {'!', '#', '$', '%', '&', '*', '+', '-', '/', ':', '<', '=', '>', '?', '@', '\\',
                 '|', '~'}) {
    c[ch] = kOperatorChar;
  }
  for (int ch : {'.', ',', ';', '(', ')', '[', ']', '_', '^'}) c[ch] = kPunctuationChar;
  c['{'] = kOpenBrace;
  c['}'] = kCloseBrace;
  c['\r'] = kCr;
  c[26] = kCtrlZ;
  return c;
}
constexpr std::array<std::uint8_t, 256> kClasses = MakeClasses();

}  // namespace

void TScanner::Start(LineSource source) {
  source_ = std::move(source);
  line_.clear();
  position_ = 0;
  needLine_ = true;
  ended_ = false;
  lineNumber_ = 0;
  depth_ = 0;
}

std::uint8_t TScanner::Peek() {
  if (needLine_ || position_ >= line_.size()) {
    if (ended_) {
      line_ = "\x1a";
    } else if (source_ && source_(line_)) {
      if (line_.size() > 255) line_.resize(255);
      line_ += '\r';
      ++lineNumber_;
    } else {
      ended_ = true;
      line_ = "\x1a";
    }
    position_ = 0;
    needLine_ = false;
  }
  return static_cast<std::uint8_t>(line_[position_]);
}

TokenKind TScanner::Next() {
  text_.clear();
  atLineEnd_ = false;
  int state = 0;
  int code = 0;
  // The offending character is the token text of kinds 8..10.
  const auto fail = [&](TokenKind kind, std::uint8_t ch) {
    text_.assign(1, static_cast<char>(ch));
    atLineEnd_ = ch == '\r';
    if (ch == '\r' || ch == 26) {
      // Leave the line end (or the end of input) for the next call.
    }
    return kind;
  };
  for (;;) {
    const std::uint8_t ch = Peek();
    const std::uint8_t cls = kClasses[ch];
    const char c = static_cast<char>(ch);
    switch (state) {
      case 0:
        switch (cls) {
          case kBlank:
            Advance();
            continue;
          case kCr:
            Advance();
            needLine_ = position_ >= line_.size();
            continue;
          case kLower: text_ += c; Advance(); state = 1; continue;
          case kUpper: text_ += c; Advance(); state = 3; continue;
          case kDigit: text_ += c; Advance(); state = 6; continue;
          case kQuote: Advance(); state = 7; continue;
          case kOperatorChar: text_ += c; Advance(); state = 10; continue;
          case kPunctuationChar: text_ += c; Advance(); state = 11; continue;
          case kOpenBrace: ++depth_; Advance(); state = 12; continue;
          case kCloseBrace: Advance(); return fail(TokenKind::kCommentError, ch);
          case kCtrlZ: text_ = "\x1a"; return TokenKind::kEnd;
          default: Advance(); return fail(TokenKind::kNotAllowed, ch);
        }
      case 1:
        if (cls == kLower || cls == kDigit) { text_ += c; Advance(); continue; }
        if (cls == kBlank) { Advance(); state = 2; continue; }
        return TokenKind::kLowerPhrase;
      case 2:
        if (cls == kLower || cls == kDigit) { text_ += ' '; text_ += c; Advance(); state = 1; continue; }
        if (cls == kBlank) { Advance(); continue; }
        return TokenKind::kLowerPhrase;
      case 3:
        if (cls == kLower || cls == kDigit) { text_ += c; Advance(); state = 4; continue; }
        if (cls == kUpper) { text_ += c; Advance(); state = 5; continue; }
        return TokenKind::kUpperCase;
      case 4:
        if (cls == kLower || cls == kDigit) { text_ += c; Advance(); continue; }
        return TokenKind::kCapitalised;
      case 5:
        if (cls == kUpper) { text_ += c; Advance(); continue; }
        return TokenKind::kUpperCase;
      case 6:
        if (cls == kDigit) { text_ += c; Advance(); continue; }
        if (cls == kBlank) { Advance(); continue; }
        return TokenKind::kNumber;
      case 7:
        if (cls == kQuote) { Advance(); state = 8; continue; }
        if (cls == kCr || cls == kCtrlZ) return fail(TokenKind::kMalformed, ch);
        text_ += c;
        Advance();
        continue;
      case 8:
        if (cls == kQuote) { text_ += '"'; Advance(); state = 7; continue; }
        if (cls == kDigit) { code = ch - '0'; Advance(); state = 9; continue; }
        return TokenKind::kString;
      case 9:
        if (cls == kDigit) {
          code = code * 10 + (ch - '0');
          Advance();
          if (code >= 256) return fail(TokenKind::kMalformed, ch);
          continue;
        }
        if (cls == kQuote) { text_ += static_cast<char>(code); Advance(); state = 7; continue; }
        return fail(TokenKind::kMalformed, ch);
      case 10:
        if (cls == kOperatorChar) { text_ += c; Advance(); continue; }
        return TokenKind::kOperator;
      case 11:
        return TokenKind::kPunctuation;
      case 12:
        if (cls == kOpenBrace) { ++depth_; Advance(); continue; }
        if (cls == kCloseBrace) {
          Advance();
          if (--depth_ == 0) state = 0;
          continue;
        }
        if (cls == kCtrlZ) return fail(TokenKind::kCommentError, ch);
        Advance();
        if (cls == kCr) needLine_ = position_ >= line_.size();
        continue;
    }
  }
}

// ---- TTokenizer -----------------------------------------------------------------------------

void TTokenizer::Setup(const TParameterStore& set, Callback callback) {
  set_ = &set;
  callback_ = std::move(callback);
}

void TTokenizer::EnterRecord(const TFileLayout& layout, const std::uint8_t* record) const {
  const std::uint8_t* p = record + layout.matchKeyPosition - 1;
  const std::int32_t n = set_->Fields().componentCount;
  for (std::int32_t j = 0; j < n; ++j) {
    const TComponentEntry& component = set_->Component(j);
    const std::uint8_t count = *p++;
    if (count >= 31) Fatal("TTokenizer.EnterRecord TC");
    for (std::uint8_t i = 0; i < count; ++i) {
      if (component.kind == ComponentKind::kNormal && component.useFirstNames) p += 3;
      const std::uint8_t k = *p++;
      if (k >= component.tokenHurdle) callback_(j, k, p);
      p += k;
    }
  }
}

// ---- TRecordLister --------------------------------------------------------------------------

void TRecordLister::Setup(std::int32_t listRecordLength, std::span<const TFieldEntry> listFields) {
  length_ = listRecordLength;
  fields_ = listFields;
}

void TRecordLister::FromRecord(const std::uint8_t* record, std::uint8_t* out) const {
  std::int32_t at = 4;
  const std::int32_t end = length_ - 2;
  for (const TFieldEntry& f : fields_) {
    const std::int32_t n = std::min<std::int32_t>(f.length, end - at);
    if (n <= 0) break;
    if (f.position == 0) {
      std::memset(out + at, ' ', static_cast<std::size_t>(n));
    } else {
      std::memcpy(out + at, record + f.position - 1, static_cast<std::size_t>(n));
    }
    at += n;
  }
  if (at < end) std::memset(out + at, ' ', static_cast<std::size_t>(end - at));
}

void TRecordLister::FromText(std::string_view text, std::uint8_t* out) const {
  const std::int32_t usable = std::max(0, length_ - 6);
  const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(usable));
  std::memcpy(out + 4, text.data(), n);
  std::memset(out + 4 + n, ' ', static_cast<std::size_t>(usable) - n);
}

}  // namespace vld
