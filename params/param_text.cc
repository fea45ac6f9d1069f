#include "params/param_text.h"

#include <cstdarg>
#include <cstdio>

#include "params/param_tree_error.h"
#include "platform/codepage.h"
#include "platform/fatal.h"

namespace vld {

void RaiseParamTree(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char buffer[1024];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  throw EParamTree(buffer);
}

namespace {

char32_t Fold(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  switch (c) {
    case 0x160:
      return 0x161;  // Š
    case 0x152:
      return 0x153;  // Œ
    case 0x17D:
      return 0x17E;  // Ž
    case 0x178:
      return 0xFF;  // Ÿ
    default:
      return c;
  }
}

// The next character, an invalid byte standing for itself (above the Unicode range).
char32_t Next(std::string_view s, std::size_t& pos) {
  const std::size_t start = pos;
  if (auto c = DecodeUtf8(s, pos)) return *c;
  return 0x110000 + static_cast<unsigned char>(s[start]);
}

}  // namespace

std::size_t CharCount(std::string_view utf8) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < utf8.size(); ++count) Next(utf8, pos);
  return count;
}

std::string FirstChars(std::string_view utf8, std::size_t count) {
  std::size_t pos = 0;
  for (std::size_t n = 0; n < count && pos < utf8.size(); ++n) Next(utf8, pos);
  return std::string(utf8.substr(0, pos));
}

std::optional<unsigned char> SingleFileChar(std::string_view utf8) {
  if (utf8.empty()) return std::nullopt;
  std::size_t pos = 0;
  const auto c = DecodeUtf8(utf8, pos);
  if (!c || pos != utf8.size()) return std::nullopt;
  const std::string byte = FromUtf8(utf8, CodePage::k1252);
  if (byte.size() != 1 ||
      ByteToUnicode(CodePage::k1252, static_cast<unsigned char>(byte[0])) != *c) {
    return std::nullopt;
  }
  return static_cast<unsigned char>(byte[0]);
}

std::string FileCharToUtf8(unsigned char c) {
  std::string out;
  AppendUtf8(out, ByteToUnicode(CodePage::k1252, c));
  return out;
}

bool IsFileText(std::string_view utf8) {
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t start = pos;
    if (!DecodeUtf8(utf8, pos)) return false;
    if (!SingleFileChar(utf8.substr(start, pos - start))) return false;
  }
  return true;
}

std::string FileTextToUtf8(std::string_view cp1252) { return ToUtf8(cp1252, CodePage::k1252); }

std::string Utf8ToFileText(std::string_view utf8) { return FromUtf8(utf8, CodePage::k1252); }

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  std::size_t pa = 0, pb = 0;
  while (pa < a.size() && pb < b.size()) {
    if (Fold(Next(a, pa)) != Fold(Next(b, pb))) return false;
  }
  return pa == a.size() && pb == b.size();
}

int IndexOfName(const std::vector<std::string>& names, std::string_view name) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (SameTextIgnoringCase(names[i], name)) return static_cast<int>(i);
  }
  return -1;
}

std::string_view TrimBlanks(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  return TrimRightBlanks(text.substr(begin));
}

std::string_view TrimRightBlanks(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(0, end);
}

}  // namespace vld
