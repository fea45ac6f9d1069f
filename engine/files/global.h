// Small helpers used across the engine: the trap, an integer object for lists of objects, and
// parsing and formatting of numbers and dates.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/runtime/origin.h"

namespace vld {

// Marks a state that must not occur: the fatal error "Trap: <text>".
[[noreturn]] void Trap(std::string_view text);

// One unsigned 32-bit value as an engine object (where a list needs objects).
class TInteger : public TOrigin {
 public:
  explicit TInteger(std::uint32_t initial = 0) : value(initial) {}
  std::uint32_t value;
};

// Every "&" doubled, so that a caption shows it instead of taking it as a shortcut mark.
std::string EscapeAmpersands(std::string_view text);

// Leading blanks and zero bytes are skipped, then decimal digits are read up to the first other
// character. More than `maxDigits` digits give 0, as does a text without leading digits.
// `maxDigits` is clamped to 0..18.
std::int64_t ParseUnsigned(std::string_view text, int maxDigits);

// Writes `value` right-aligned, blanks before it, into the field of `width` characters (at most
// 20) at 1-based `position` of the short string `text`, which is lengthened with blanks when it
// ends inside the field. The field ends at the 255th character at the latest; a value with more
// characters than the field holds fills it with '*' rather than showing a wrong number.
void PutNumber(std::string& text, int position, int width, std::int64_t value);

// A date as yyyymmdd, 0 when it is not a valid date. Accepted: d.m.y and y-m-d (the second
// separator equals the first), each number of one to four digits, blanks around the numbers,
// nothing after. A year of at most two digits is completed, unless `window` has bit 15 set, as
// (referenceYear - window) div 100 * 100 + year, plus 100 when the window is positive and the
// result lies below referenceYear - window. Valid: year 1800..2999, month 1..12, the day within
// the month (Gregorian leap years).
std::int32_t ParseDate(std::string_view text, int referenceYear, int window);

}  // namespace vld
