// Code pages at the product's boundaries.
//
// Record bytes, engine keys, normalisation and postal-code tables and dark lists are code page
// 437, upper-cased with the engine's 256-entry table. Input sources carry code page 437, 850,
// 1252 or UTF-8. Text inside parameter files is Windows-1252. Terminals and windows get UTF-8.
// Conversions happen only where text enters or leaves the product; everything in between keeps
// its bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vld {

// The numbering of the wizard's code page index: 0, 1, 2; UTF-8 is the Linux addition.
enum class CodePage : std::uint8_t { k437 = 0, k850 = 1, k1252 = 2, kUtf8 = 3 };

// German name of a code page as the product shows it ("DOS - Deutsch (437)", ...).
std::string_view CodePageName(CodePage cp);

// The Unicode character of one byte of a single-byte code page (not kUtf8).
char32_t ByteToUnicode(CodePage cp, std::uint8_t byte);

// Text in a code page to UTF-8. With kUtf8 an invalid sequence becomes U+FFFD.
std::string ToUtf8(std::string_view bytes, CodePage cp);

// UTF-8 to a single-byte code page. A character the code page cannot hold becomes its closest
// plain form ("€" -> "EUR", "ő" -> "o"), else "?"; nothing is dropped. Invalid UTF-8 bytes are
// taken as Windows-1252 characters. With kUtf8 the text is returned unchanged.
std::string FromUtf8(std::string_view utf8, CodePage cp);

// Bytes of code page `from` to code page 437 (the engine's record code page), through Unicode.
std::string ToCp437(std::string_view bytes, CodePage from);

// True when `bytes` is well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// Decodes one UTF-8 character at `pos`; advances `pos`. Returns nullopt for an invalid
// sequence and then advances by one byte.
std::optional<char32_t> DecodeUtf8(std::string_view bytes, std::size_t& pos);
void AppendUtf8(std::string& out, char32_t c);

// The engine's upper-case table in code page 437: a-z to A-Z; ü ä å ç æ ö ñ to their capitals;
// é ê ë è to E; â à á to A; ï î ì í to I; ô ò ó to O; û ù ú to U; ÿ to Y; every other byte
// unchanged.
std::uint8_t UpperCase437(std::uint8_t byte);
void UpperCase437InPlace(std::span<std::uint8_t> bytes);
void UpperCase437InPlace(std::string& bytes);
std::string UpperCase437(std::string_view bytes);

// Windows' conversion of ANSI text (1252) to the OEM code page (437).
std::string CharToOem(std::string_view ansi);

}  // namespace vld
