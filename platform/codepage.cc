#include "platform/codepage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

namespace vld {
namespace {

#include "platform/codepage_tables.inc"

const char16_t* TableOf(CodePage cp) {
  switch (cp) {
    case CodePage::k437:
      return kCp437ToUnicode;
    case CodePage::k850:
      return kCp850ToUnicode;
    case CodePage::k1252:
    case CodePage::kUtf8:
      break;
  }
  return kCp1252ToUnicode;
}

// Reverse map of one single-byte code page.
class ReverseTable {
 public:
  explicit ReverseTable(CodePage cp) {
    const char16_t* table = TableOf(cp);
    for (int b = 255; b >= 0; --b) map_[table[b]] = static_cast<std::uint8_t>(b);
  }
  std::optional<std::uint8_t> Find(char32_t c) const {
    auto it = map_.find(c);
    if (it == map_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::unordered_map<char32_t, std::uint8_t> map_;
};

const ReverseTable& ReverseOf(CodePage cp) {
  static const ReverseTable t437(CodePage::k437), t850(CodePage::k850), t1252(CodePage::k1252);
  switch (cp) {
    case CodePage::k437:
      return t437;
    case CodePage::k850:
      return t850;
    default:
      return t1252;
  }
}

// Appends the closest plain form of `c` in code page `cp`.
void AppendPlain(std::string& out, char32_t c, CodePage cp) {
  const PlainForm* end = std::end(kPlainForms);
  const PlainForm* it = std::lower_bound(std::begin(kPlainForms), end, c,
                                         [](const PlainForm& p, char32_t v) { return p.code < v; });
  if (it != end && it->code == c) {
    // The plain forms are stored in code page 437; move them to the target page.
    for (const char* p = it->cp437; *p; ++p) {
      const char32_t u = kCp437ToUnicode[static_cast<std::uint8_t>(*p)];
      if (auto b = ReverseOf(cp).Find(u)) {
        out.push_back(static_cast<char>(*b));
      } else {
        out.push_back('?');
      }
    }
    return;
  }
  out.push_back('?');
}

constexpr std::array<std::uint8_t, 256> MakeUpperTable() {
  std::array<std::uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>(i);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<std::uint8_t>(c - 'a' + 'A');
  t[0x81] = 0x9A;  // ü
  t[0x84] = 0x8E;  // ä
  t[0x86] = 0x8F;  // å
  t[0x87] = 0x80;  // ç
  t[0x91] = 0x92;  // æ
  t[0x94] = 0x99;  // ö
  t[0xA4] = 0xA5;  // ñ
  for (int c : {0x82, 0x88, 0x89, 0x8A}) t[c] = 'E';
  for (int c : {0x83, 0x85, 0xA0}) t[c] = 'A';
  for (int c : {0x8B, 0x8C, 0x8D, 0xA1}) t[c] = 'I';
  for (int c : {0x93, 0x95, 0xA2}) t[c] = 'O';
  for (int c : {0x96, 0x97, 0xA3}) t[c] = 'U';
  t[0x98] = 'Y';
  return t;
}
constexpr std::array<std::uint8_t, 256> kUpper437 = MakeUpperTable();

}  // namespace

std::string_view CodePageName(CodePage cp) {
  switch (cp) {
    case CodePage::k437:
      return "DOS - Deutsch (437)";
    case CodePage::k850:
      return "DOS - US (850)";
    case CodePage::k1252:
      return "Windows (1252)";
    case CodePage::kUtf8:
      return "Unicode (UTF-8)";
  }
  return "";
}

char32_t ByteToUnicode(CodePage cp, std::uint8_t byte) { return TableOf(cp)[byte]; }

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::optional<char32_t> DecodeUtf8(std::string_view s, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t b0 = byte(pos);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int n;
  char32_t c;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 1;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 2;
    c = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 3;
    c = b0 & 0x07;
  } else {
    ++pos;
    return std::nullopt;
  }
  if (pos + n >= s.size()) {  // the sequence is cut by the end of the text
    ++pos;
    return std::nullopt;
  }
  for (int i = 1; i <= n; ++i) {
    const std::uint8_t b = byte(pos + i);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return std::nullopt;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if ((n == 2 && c < 0x800) || (n == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
      (c >= 0xD800 && c <= 0xDFFF)) {
    ++pos;
    return std::nullopt;
  }
  pos += n + 1;
  return c;
}

bool IsValidUtf8(std::string_view bytes) {
  // Address data is mostly plain ASCII: skip it eight bytes at a time and decode only the rest.
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  const std::size_t n = bytes.size();
  std::size_t pos = 0;
  while (pos < n) {
    while (pos + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, bytes.data() + pos, sizeof word);
      if ((word & kHighBits) != 0) break;
      pos += 8;
    }
    while (pos < n && static_cast<std::uint8_t>(bytes[pos]) < 0x80) ++pos;
    if (pos < n && !DecodeUtf8(bytes, pos)) return false;
  }
  return true;
}

std::string ToUtf8(std::string_view bytes, CodePage cp) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  if (cp == CodePage::kUtf8) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
      const std::size_t start = pos;
      if (DecodeUtf8(bytes, pos)) {
        out.append(bytes.substr(start, pos - start));
      } else {
        AppendUtf8(out, 0xFFFD);
      }
    }
    return out;
  }
  const char16_t* table = TableOf(cp);
  for (char ch : bytes) AppendUtf8(out, table[static_cast<std::uint8_t>(ch)]);
  return out;
}

std::string FromUtf8(std::string_view utf8, CodePage cp) {
  if (cp == CodePage::kUtf8) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  const ReverseTable& reverse = ReverseOf(cp);
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t c;
    const std::size_t start = pos;
    if (auto decoded = DecodeUtf8(utf8, pos)) {
      c = *decoded;
    } else {
      c = kCp1252ToUnicode[static_cast<std::uint8_t>(utf8[start])];
    }
    if (auto b = reverse.Find(c)) {
      out.push_back(static_cast<char>(*b));
    } else {
      AppendPlain(out, c, cp);
    }
  }
  return out;
}

std::string ToCp437(std::string_view bytes, CodePage from) {
  if (from == CodePage::k437) return std::string(bytes);
  if (from == CodePage::kUtf8) return FromUtf8(bytes, CodePage::k437);
  return FromUtf8(ToUtf8(bytes, from), CodePage::k437);
}

std::uint8_t UpperCase437(std::uint8_t byte) { return kUpper437[byte]; }

void UpperCase437InPlace(std::span<std::uint8_t> bytes) {
  for (auto& b : bytes) b = kUpper437[b];
}

void UpperCase437InPlace(std::string& bytes) {
  for (auto& ch : bytes) ch = static_cast<char>(kUpper437[static_cast<std::uint8_t>(ch)]);
}

std::string UpperCase437(std::string_view bytes) {
  std::string out(bytes);
  UpperCase437InPlace(out);
  return out;
}

std::string CharToOem(std::string_view ansi) { return ToCp437(ansi, CodePage::k1252); }

}  // namespace vld
