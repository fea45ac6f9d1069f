// Text helpers of the parameter tree.
//
// The tree keeps every text as UTF-8. Parameter files hold Windows-1252; the streams convert at
// the file boundary (FileTextToUtf8, Utf8ToFileText), so a text read from a file and written
// again gives the same bytes (every 1252 byte has a Unicode character). Lengths and limits count
// characters, i.e. 1252 bytes, exactly as the file holds them. Names (member names, element
// names) are compared case-insensitively with the letters of Windows-1252 folded.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vld {

// Number of characters of a UTF-8 text (an invalid byte counts as one character).
std::size_t CharCount(std::string_view utf8);

// The first `count` characters of a UTF-8 text.
std::string FirstChars(std::string_view utf8, std::size_t count);

// True when the text is valid UTF-8 and every character exists in Windows-1252, so that a
// parameter file can hold it unchanged.
bool IsFileText(std::string_view utf8);

// Conversions at the file boundary.
std::string FileTextToUtf8(std::string_view cp1252);
std::string Utf8ToFileText(std::string_view utf8);

// The Windows-1252 byte of a text that is exactly one such character, else nullopt.
std::optional<unsigned char> SingleFileChar(std::string_view utf8);
// The UTF-8 text of one Windows-1252 character.
std::string FileCharToUtf8(unsigned char c);

// Case-insensitive equality (ASCII and the letters of Windows-1252).
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// Position of `name` in `names` compared case-insensitively, or -1.
int IndexOfName(const std::vector<std::string>& names, std::string_view name);

// Removes characters up to the blank (code <= 32) from both ends / the right end.
std::string_view TrimBlanks(std::string_view text);
std::string_view TrimRightBlanks(std::string_view text);

}  // namespace vld
