#include "engine/files/global.h"

#include <algorithm>

#include "engine/runtime/short_string.h"
#include "platform/fatal.h"

namespace vld {

void Trap(std::string_view text) { Fatal("Trap: " + std::string(text)); }

std::string EscapeAmpersands(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

std::int64_t ParseUnsigned(std::string_view text, int maxDigits) {
  maxDigits = std::clamp(maxDigits, 0, 18);
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\0')) ++i;
  std::int64_t value = 0;
  int digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (++digits > maxDigits) return 0;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

void PutNumber(std::string& text, int position, int width, std::int64_t value) {
  width = std::clamp(width, 0, 20);
  if (position < 1 || width == 0 || static_cast<std::size_t>(position) > kShortStringMax) return;
  const auto start = static_cast<std::size_t>(position - 1);
  const std::size_t end = std::min<std::size_t>(start + width, kShortStringMax);
  std::string digits = std::to_string(value);
  // A number that does not fit shows as stars, never as a wrong number.
  if (digits.size() > end - start) digits.assign(end - start, '*');
  if (text.size() < end) text.resize(end, ' ');
  const std::string field = std::string(end - start - digits.size(), ' ') + digits;
  text.replace(start, field.size(), field);
}

namespace {

// Reads a number of one to four digits after optional blanks; false otherwise.
bool ReadDateNumber(std::string_view text, std::size_t& i, int& value, int& digits) {
  while (i < text.size() && text[i] == ' ') ++i;
  value = 0;
  digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (++digits > 4) return false;
    value = value * 10 + (text[i] - '0');
    ++i;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  return digits > 0;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int month, int year) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::int32_t ParseDate(std::string_view text, int referenceYear, int window) {
  std::size_t i = 0;
  int first, second, third, firstDigits, secondDigits, thirdDigits;
  if (!ReadDateNumber(text, i, first, firstDigits)) return 0;
  if (i >= text.size() || (text[i] != '.' && text[i] != '-')) return 0;
  const char separator = text[i++];
  if (!ReadDateNumber(text, i, second, secondDigits)) return 0;
  if (i >= text.size() || text[i] != separator) return 0;
  ++i;
  if (!ReadDateNumber(text, i, third, thirdDigits)) return 0;
  if (i != text.size()) return 0;

  const bool german = separator == '.';
  const int day = german ? first : third;
  const int month = second;
  int year = german ? third : first;
  const int yearDigits = german ? thirdDigits : firstDigits;
  if (yearDigits <= 2 && (window & 0x8000) == 0) {
    const int base = referenceYear - window;
    year += base / 100 * 100;
    if (window > 0 && year < base) year += 100;
  }
  if (year < 1800 || year > 2999 || month < 1 || month > 12) return 0;
  if (day < 1 || day > DaysInMonth(month, year)) return 0;
  return year * 10000 + month * 100 + day;
}

}  // namespace vld
