// Code page translation of the input sources.
//
// TranslateCodePage maps text byte by byte between the three code pages of the wizard's
// sources (0 DOS 437, 1 DOS 850, 2 Windows 1252) through six 256-byte tables:
// - bytes 32-126 and 9, 10, 12, 13 stay; every other byte below 32 and 127 becomes a blank,
//   except that from 437 the bytes 20 and 21 (the glyphs ¶ and §) become ¶ and § of the target;
// - other characters go to the same character of the target; a character the target lacks
//   becomes a blank, unless the table of the pair names a replacement (850 -> 437 ø -> o,
//   1252 -> 437 Œ -> O, ...; see code_pages.cc).
//
// RecordText makes the bytes of one field of an engine input record (code page 437) from a
// value of a source: every control character (also tab and line breaks, which would break the
// record file apart) becomes a blank; a character code page 437 lacks takes the replacement of
// the tables above and otherwise its closest plain form ("€" -> "EUR", "ő" -> "o"); only a
// character without any plain form becomes a blank. UTF-8 values go through Windows-1252
// wherever it holds the character, so the same text read as UTF-8 or as 1252 gives the same
// record bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace vld {

// REQUIRES: target and source are k437, k850 or k1252.
std::string TranslateCodePage(std::string_view text, CodePage target, CodePage source);

// The code page 437 bytes of `value` (in code page `source`) for an engine record. Invalid
// UTF-8 bytes are taken as Windows-1252 characters.
std::string RecordText(std::string_view value, CodePage source);
// Appends RecordText(value, source) to `out`.
void AppendRecordText(std::string& out, std::string_view value, CodePage source);

// RecordText(value, source).size(), without building the text where it can.
std::size_t RecordTextLength(std::string_view value, CodePage source);

}  // namespace vld
