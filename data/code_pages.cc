#include "data/code_pages.h"

#include <array>
#include <unordered_map>
#include <utility>

#include "platform/fatal.h"

namespace vld {
namespace {

using Table = std::array<std::uint8_t, 256>;

struct Replacement {
  char32_t character;
  std::uint8_t target;
};

// Replacements for characters the target code page lacks, per pair (target, source).
constexpr Replacement k850To437[] = {
    {U'ø', 'o'}, {U'Ø', 'O'}, {U'×', '*'}, {U'®', 169}, {U'Á', 'A'}, {U'Â', 'A'},
    {U'À', 'A'}, {U'Ã', 'A'}, {U'ã', 'a'}, {U'Ê', 'E'}, {U'Ë', 'E'}, {U'È', 'E'},
    {U'ı', 'i'}, {U'Í', 'I'}, {U'Î', 'I'}, {U'Ï', 'I'}, {U'Ì', 'I'}, {U'Ó', 'O'},
    {U'Ô', 'O'}, {U'Ò', 'O'}, {U'Õ', 'O'}, {U'õ', 'o'}, {U'Ú', 'U'}, {U'Û', 'U'},
    {U'Ù', 'U'}, {U'ý', 'y'}, {U'Ý', 'Y'}, {U'¶', 20},  {U'§', 21}};
constexpr Replacement k1252To437[] = {
    {U'Œ', 'O'}, {U'Ž', 'Z'}, {U'•', 7},   {U'œ', 'o'}, {U'ž', 'z'}, {U'Ÿ', 'Y'}, {U'§', 21},
    {U'¶', 20},  {U'À', 'A'}, {U'Á', 'A'}, {U'Â', 'A'}, {U'Ã', 'A'}, {U'È', 'E'}, {U'Ê', 'E'},
    {U'Ë', 'E'}, {U'Ì', 'I'}, {U'Í', 'I'}, {U'Î', 'I'}, {U'Ï', 'I'}, {U'Ò', 'O'}, {U'Ó', 'O'},
    {U'Ô', 'O'}, {U'Õ', 'O'}, {U'Ø', 'O'}, {U'×', '*'}, {U'Ù', 'U'}, {U'Ú', 'U'}, {U'Û', 'U'},
    {U'Ý', 'Y'}, {U'ã', 'a'}, {U'õ', 'o'}, {U'ø', 'o'}, {U'ý', 'y'}};
constexpr Replacement k1252To850[] = {
    {U'Œ', 'O'}, {U'Ž', 'Z'}, {U'œ', 'o'}, {U'ž', 'z'}, {U'Ÿ', 'Y'}};
constexpr Replacement k850To1252[] = {{U'ı', 'i'}};
constexpr Replacement k437To850[] = {{U'⌐', 169}};

std::span<const Replacement> ReplacementsOf(CodePage target, CodePage source) {
  if (target == CodePage::k437 && source == CodePage::k850) return k850To437;
  if (target == CodePage::k437 && source == CodePage::k1252) return k1252To437;
  if (target == CodePage::k850 && source == CodePage::k1252) return k1252To850;
  if (target == CodePage::k1252 && source == CodePage::k850) return k850To1252;
  if (target == CodePage::k850 && source == CodePage::k437) return k437To850;
  return {};
}

std::uint8_t PositionOf(CodePage cp, char32_t c) {
  for (int b = 128; b < 256; ++b) {
    if (ByteToUnicode(cp, static_cast<std::uint8_t>(b)) == c) return static_cast<std::uint8_t>(b);
  }
  return 0;
}

Table MakeTable(CodePage target, CodePage source) {
  Table t{};
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    if ((b >= 32 && b <= 126) || b == 9 || b == 10 || b == 12 || b == 13) {
      t[b] = byte;
    } else if (b < 32 || b == 127) {
      t[b] = ' ';
      if (source == CodePage::k437 && (b == 20 || b == 21)) {
        t[b] = PositionOf(target, b == 20 ? U'¶' : U'§');
      }
    } else {
      const char32_t c = ByteToUnicode(source, byte);
      std::uint8_t mapped = PositionOf(target, c);
      if (mapped == 0) {
        mapped = ' ';
        for (const Replacement& r : ReplacementsOf(target, source)) {
          if (r.character == c) mapped = r.target;
        }
      }
      t[b] = mapped;
    }
  }
  return t;
}

std::size_t Index(CodePage cp) {
  if (cp == CodePage::kUtf8) Fatal("code page table for UTF-8");
  return static_cast<std::size_t>(cp);
}

const Table& TableOf(CodePage target, CodePage source) {
  static const auto tables = [] {
    std::array<std::array<Table, 3>, 3> all{};
    for (int to = 0; to < 3; ++to) {
      for (int from = 0; from < 3; ++from) {
        all[to][from] = MakeTable(static_cast<CodePage>(to), static_cast<CodePage>(from));
      }
    }
    return all;
  }();
  return tables[Index(target)][Index(source)];
}

// Bytes of a single-byte code page to record bytes: the translation table where it gives a
// character, else the plain form of the character, else a blank.
class RecordTable {
 public:
  explicit RecordTable(CodePage source) {
    const Table& table = TableOf(CodePage::k437, source);
    for (int b = 0; b < 256; ++b) {
      const auto byte = static_cast<std::uint8_t>(b);
      std::string& out = bytes_[b];
      if (b < 32 || b == 127) {
        const bool glyph = source == CodePage::k437 && (b == 20 || b == 21);
        out.push_back(glyph ? static_cast<char>(byte) : ' ');
      } else if (table[b] != ' ' || b == ' ') {
        out.push_back(static_cast<char>(table[b]));
      } else {
        const char32_t c = ByteToUnicode(source, byte);
        std::string utf8;
        AppendUtf8(utf8, c);
        std::string plain = FromUtf8(utf8, CodePage::k437);
        if ((c >= 0x80 && c < 0xA0) || plain == "?" || plain.empty()) {
          out.push_back(' ');
        } else {
          out.swap(plain);
        }
      }
      same_[b] = out.size() == 1 && static_cast<std::uint8_t>(out[0]) == byte;
    }
  }
  const std::string& Of(std::uint8_t b) const { return bytes_[b]; }
  // Appends the record text of `value`: runs of bytes that stand for themselves at once.
  void Append(std::string& out, std::string_view value) const {
    std::size_t pos = 0;
    while (pos < value.size()) {
      std::size_t end = pos;
      while (end < value.size() && same_[static_cast<std::uint8_t>(value[end])]) ++end;
      out.append(value.data() + pos, end - pos);
      if (end == value.size()) break;
      out += bytes_[static_cast<std::uint8_t>(value[end])];
      pos = end + 1;
    }
  }

 private:
  std::array<std::string, 256> bytes_;
  std::array<bool, 256> same_{};  // the byte stands for itself (most of ASCII)
};

const RecordTable& RecordTableOf(CodePage source) {
  static const RecordTable t437(CodePage::k437), t850(CodePage::k850), t1252(CodePage::k1252);
  switch (source) {
    case CodePage::k437:
      return t437;
    case CodePage::k850:
      return t850;
    default:
      return t1252;
  }
}

// The Windows-1252 byte of a Unicode character, 0 when 1252 lacks it.
std::uint8_t Cp1252ByteOf(char32_t c) {
  if (c >= 0xA0 && c <= 0xFF) return static_cast<std::uint8_t>(c);
  static const auto upper = [] {
    std::unordered_map<char32_t, std::uint8_t> m;
    for (int b = 0x80; b < 0xA0; ++b) {
      const char32_t u = ByteToUnicode(CodePage::k1252, static_cast<std::uint8_t>(b));
      if (u >= 0x100) m[u] = static_cast<std::uint8_t>(b);
    }
    return m;
  }();
  const auto it = upper.find(c);
  return it == upper.end() ? 0 : it->second;
}

void AppendUtf8Record(std::string& out, std::string_view value) {
  const RecordTable& table = RecordTableOf(CodePage::k1252);
  std::size_t pos = 0;
  while (pos < value.size()) {
    const auto lead = static_cast<std::uint8_t>(value[pos]);
    if (lead < 0x80) {  // ASCII is one byte in UTF-8 as in Windows-1252
      std::size_t end = pos;
      while (end < value.size() && static_cast<std::uint8_t>(value[end]) < 0x80) ++end;
      table.Append(out, value.substr(pos, end - pos));
      pos = end;
      continue;
    }
    const std::size_t start = pos;
    const std::optional<char32_t> decoded = DecodeUtf8(value, pos);
    if (!decoded) {  // an invalid byte counts as a Windows-1252 character
      out += table.Of(lead);
      continue;
    }
    const char32_t c = *decoded;
    if (c < 0xA0) {  // C1 controls
      out.push_back(' ');
    } else if (const std::uint8_t b = Cp1252ByteOf(c); b != 0) {
      out += table.Of(b);
    } else {
      std::string plain = FromUtf8(value.substr(start, pos - start), CodePage::k437);
      out += (plain == "?" || plain.empty()) ? std::string(" ") : plain;
    }
  }
}

}  // namespace

std::string TranslateCodePage(std::string_view text, CodePage target, CodePage source) {
  if (target == source) return std::string(text);
  const Table& table = TableOf(target, source);
  std::string out(text.size(), ' ');
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<char>(table[static_cast<std::uint8_t>(text[i])]);
  }
  return out;
}

void AppendRecordText(std::string& out, std::string_view value, CodePage source) {
  if (source == CodePage::kUtf8) {
    AppendUtf8Record(out, value);
  } else {
    RecordTableOf(source).Append(out, value);
  }
}

std::string RecordText(std::string_view value, CodePage source) {
  std::string out;
  out.reserve(value.size());
  AppendRecordText(out, value, source);
  return out;
}

std::size_t RecordTextLength(std::string_view value, CodePage source) {
  bool plain = true;
  for (char ch : value) {
    const auto b = static_cast<std::uint8_t>(ch);
    if (b < 32 || b >= 127) {
      plain = false;
      break;
    }
  }
  if (plain) return value.size();
  if (source != CodePage::kUtf8) {
    const RecordTable& table = RecordTableOf(source);
    std::size_t n = 0;
    for (char ch : value) n += table.Of(static_cast<std::uint8_t>(ch)).size();
    return n;
  }
  return RecordText(value, source).size();
}

}  // namespace vld
