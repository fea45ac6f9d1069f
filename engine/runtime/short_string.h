// Small helpers on short strings (at most 255 bytes) used across the engine, and the two file
// helpers that raise the engine's German exceptions.
//
// Results are cut at 255 bytes, as a short string holds no more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vld {

inline constexpr std::size_t kShortStringMax = 255;

// Cuts `text` to a short string.
std::string ShortString(std::string_view text);

// Length of the decimal text of `value` ("-12" has 3).
int DecimalDigits(std::int64_t value);

// n copies of a one-character pattern (n clamped to 0..255), or n concatenations of a longer
// pattern, cut at 255.
std::string Fill(std::string_view pattern, int n);

// The first n characters, filled with blanks to n.
std::string PadRight(std::string_view text, int n);
// Blanks first, then the text, to a width of n; a longer text is kept whole (cut at 255).
std::string PadLeft(std::string_view text, int n);
// Half of the missing width (rounded down) as blanks before, the rest after.
std::string Centre(std::string_view text, int n);

void AppendChar(std::string& text, char c);
void AppendText(std::string& text, std::string_view more);
// Overwrites from 1-based `position`; bytes that would pass the current length are cut.
void Overwrite(std::string& text, int position, std::string_view with);
// The character at 1-based `position`; a blank outside the text.
char CharAt(std::string_view text, int position);

// Byte-wise equality and "less than" by the first differing unsigned byte (equal is not less).
bool BuffersEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t length);
bool BufferLess(const std::uint8_t* a, const std::uint8_t* b, std::size_t length);

// True when `name` is an existing directory.
bool DirectoryExists(const std::string& name);
// Raise EInOutError "kann Datei "%s" nicht nach "%s" umbenennen" / "kann Datei "%s" nicht
// löschen".
void RenameOrRaise(const std::string& oldName, const std::string& newName);
void DeleteOrRaise(const std::string& name);

}  // namespace vld
