#include "engine/files/string_utils.h"

#include <algorithm>

#include "platform/checked.h"

namespace vld {

void TStringCache::Reserve(std::size_t needed) {
  std::size_t capacity = buffer_.size();
  if (needed <= capacity) return;
  if (capacity > 64) {
    capacity = CheckedAdd(capacity, std::max<std::size_t>(64, capacity / 4));
  } else {
    capacity = CheckedMul<std::size_t>(capacity, 2);
  }
  buffer_.resize(std::max(capacity, needed));
}

void TStringCache::SetCapacity(std::size_t capacity) {
  buffer_.resize(std::max(capacity, length_));
}

void TStringCache::AppendChar(char c) {
  Reserve(CheckedAdd<std::size_t>(length_, 1));
  buffer_[length_++] = c;
}

void TStringCache::AppendText(std::string_view text) {
  Reserve(CheckedAdd(length_, text.size()));
  std::copy(text.begin(), text.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(length_));
  length_ += text.size();
}

std::size_t FindChar(FindCharMode mode, char c, std::string_view text, std::ptrdiff_t from,
                     std::ptrdiff_t to) {
  const auto length = static_cast<std::ptrdiff_t>(text.size());
  from = std::clamp<std::ptrdiff_t>(from, 1, length + 1);
  to = std::clamp<std::ptrdiff_t>(to, 0, length);
  const auto mode_number = static_cast<int>(mode);
  const bool want_other = mode_number >= 4;
  const bool backward = (mode_number / 2) % 2 == 1;
  const bool answer_stop = mode_number % 2 == 1;
  const auto matches = [&](std::ptrdiff_t pos) {
    return (text[static_cast<std::size_t>(pos - 1)] == c) != want_other;
  };
  if (!backward) {
    for (std::ptrdiff_t pos = from; pos <= to; ++pos) {
      if (matches(pos)) return static_cast<std::size_t>(pos);
    }
    return answer_stop ? static_cast<std::size_t>(std::max(to, from - 1) + 1) : 0;
  }
  for (std::ptrdiff_t pos = to; pos >= from; --pos) {
    if (matches(pos)) return static_cast<std::size_t>(pos);
  }
  return answer_stop ? static_cast<std::size_t>(std::min(from, to + 1) - 1) : 0;
}

std::size_t FindChar(FindCharMode mode, char c, std::string_view text) {
  return FindChar(mode, c, text, 1, static_cast<std::ptrdiff_t>(text.size()));
}

std::size_t FindCharFrom(FindCharMode mode, char c, std::string_view text, std::ptrdiff_t from) {
  return FindChar(mode, c, text, from, static_cast<std::ptrdiff_t>(text.size()));
}

std::size_t FindCharUpTo(FindCharMode mode, char c, std::string_view text, std::ptrdiff_t length) {
  return FindChar(mode, c, text, 1, length);
}

std::string RepeatText(std::ptrdiff_t count, std::string_view text) {
  std::string out;
  if (count <= 0) return out;
  out.reserve(CheckedMul(static_cast<std::size_t>(count), text.size()));
  for (std::ptrdiff_t i = 0; i < count; ++i) out.append(text);
  return out;
}

std::string QuoteLiteral(std::string_view text) {
  if (text.empty()) return "''";
  std::string out;
  bool in_run = false;
  for (char ch : text) {
    const auto code = static_cast<std::uint8_t>(ch);
    if (code < 32) {
      if (in_run) out.push_back('\'');
      in_run = false;
      out.push_back('#');
      out.append(std::to_string(code));
      continue;
    }
    if (!in_run) out.push_back('\'');
    in_run = true;
    out.push_back(ch);
    if (ch == '\'') out.push_back('\'');
  }
  if (in_run) out.push_back('\'');
  return out;
}

std::optional<std::string> UnquoteLiteral(std::string_view literal) {
  std::string out;
  std::size_t pos = 0;
  const auto is_digit = [](char ch) { return ch >= '0' && ch <= '9'; };
  while (pos < literal.size()) {
    if (literal[pos] == '#') {
      ++pos;
      if (pos >= literal.size() || !is_digit(literal[pos])) return std::nullopt;
      int code = 0;
      while (pos < literal.size() && is_digit(literal[pos])) {
        code = code * 10 + (literal[pos] - '0');
        if (code > 255) return std::nullopt;  // checked per digit: never overflows
        ++pos;
      }
      out.push_back(static_cast<char>(code));
    } else if (literal[pos] == '\'') {
      ++pos;
      for (;;) {
        if (pos >= literal.size()) return std::nullopt;  // unclosed run
        const char ch = literal[pos];
        if (static_cast<std::uint8_t>(ch) < 32) return std::nullopt;
        if (ch == '\'') {
          if (pos + 1 < literal.size() && literal[pos + 1] == '\'') {
            out.push_back('\'');
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        out.push_back(ch);
        ++pos;
      }
    } else {
      return std::nullopt;
    }
  }
  return out;
}

bool NeedsQuoting(std::string_view text) {
  return text.find('\'') != std::string_view::npos || text.find('#') != std::string_view::npos;
}

}  // namespace vld
