#include "engine/runtime/short_string.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {

std::string ShortString(std::string_view text) {
  return std::string(text.substr(0, std::min(text.size(), kShortStringMax)));
}

int DecimalDigits(std::int64_t value) {
  return static_cast<int>(std::to_string(value).size());
}

std::string Fill(std::string_view pattern, int n) {
  n = std::clamp(n, 0, static_cast<int>(kShortStringMax));
  std::string out;
  for (int i = 0; i < n && out.size() < kShortStringMax; ++i) out += pattern;
  return ShortString(out);
}

std::string PadRight(std::string_view text, int n) {
  n = std::clamp(n, 0, static_cast<int>(kShortStringMax));
  std::string out(text.substr(0, std::min<std::size_t>(text.size(), n)));
  out.resize(static_cast<std::size_t>(n), ' ');
  return out;
}

std::string PadLeft(std::string_view text, int n) {
  const int missing = std::max(0, n - static_cast<int>(text.size()));
  return ShortString(std::string(static_cast<std::size_t>(missing), ' ') + std::string(text));
}

std::string Centre(std::string_view text, int n) {
  const int missing = std::max(0, n - static_cast<int>(text.size()));
  const int before = missing / 2;
  return ShortString(std::string(static_cast<std::size_t>(before), ' ') + std::string(text) +
                     std::string(static_cast<std::size_t>(missing - before), ' '));
}

void AppendChar(std::string& text, char c) {
  if (text.size() < kShortStringMax) text.push_back(c);
}

void AppendText(std::string& text, std::string_view more) {
  text = ShortString(text + std::string(more));
}

void Overwrite(std::string& text, int position, std::string_view with) {
  if (position < 1) return;
  for (std::size_t i = 0; i < with.size(); ++i) {
    const std::size_t at = static_cast<std::size_t>(position) - 1 + i;
    if (at >= text.size()) break;
    text[at] = with[i];
  }
}

char CharAt(std::string_view text, int position) {
  if (position < 1 || static_cast<std::size_t>(position) > text.size()) return ' ';
  return text[static_cast<std::size_t>(position) - 1];
}

bool BuffersEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
  return length == 0 || std::memcmp(a, b, length) == 0;
}

bool BufferLess(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
  return length != 0 && std::memcmp(a, b, length) < 0;
}

bool DirectoryExists(const std::string& name) {
  struct stat st;
  return stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void RenameOrRaise(const std::string& oldName, const std::string& newName) {
  if (std::rename(oldName.c_str(), newName.c_str()) != 0) {
    throw EInOutError("kann Datei \"" + oldName + "\" nicht nach \"" + newName +
                      "\" umbenennen");
  }
}

void DeleteOrRaise(const std::string& name) {
  if (std::remove(name.c_str()) != 0) {
    throw EInOutError("kann Datei \"" + name + "\" nicht löschen");
  }
}

}  // namespace vld
