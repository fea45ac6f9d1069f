#include "engine/files/news.h"

#include <algorithm>
#include <cstring>

namespace vld {
namespace {

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

}  // namespace

TNews::TNews(std::int32_t capacity) : capacity_(std::clamp<std::int32_t>(capacity, 1, 65535)) {}

void TNews::Init() { buffer_ = static_cast<char*>(AllocOwned(capacity_)); }

void TNews::Add(std::string_view line) {
  const std::int32_t room = capacity_ - length_;
  if (room <= 0) return;
  const auto take = static_cast<std::int32_t>(
      std::min<std::size_t>(line.size(), static_cast<std::size_t>(room - 1)));
  std::memcpy(buffer_ + length_, line.data(), static_cast<std::size_t>(take));
  length_ += take;
  buffer_[length_++] = '\r';
}

std::string_view TNews::Text() const {
  return std::string_view(buffer_, static_cast<std::size_t>(length_));
}

void TNews::Send(MessageKind kind) const {
  if (length_ == 0) return;
  std::string_view text = Text();
  if (text.back() == '\r') text.remove_suffix(1);
  for (const std::string& message : SplitIntoMessages(text, kMessageLimit)) {
    Report(kind, message);
  }
}

std::vector<std::string> SplitIntoMessages(std::string_view text, std::size_t limit) {
  limit = std::max<std::size_t>(limit, 4);  // room for one UTF-8 character
  std::vector<std::string> messages;
  std::string current;
  bool started = false;
  // Appends a whole line to the current message when it fits there, else starts a new one.
  const auto putLine = [&](std::string_view line) {
    if (started && current.size() + 1 + line.size() <= limit) {
      current += '\r';
      current += line;
      return;
    }
    if (started) messages.push_back(std::move(current));
    current.assign(line);
    started = true;
  };
  for (;;) {
    const std::size_t cr = text.find('\r');
    std::string_view line = text.substr(0, cr);
    if (line.size() <= limit) {
      putLine(line);
    } else {
      // A line longer than a message goes out in messages of its own, each cut before a UTF-8
      // character; its last piece may be followed by further lines.
      if (started) messages.push_back(std::move(current));
      while (line.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && IsUtf8Continuation(line[cut])) --cut;
        if (cut == 0) cut = limit;
        messages.emplace_back(line.substr(0, cut));
        line.remove_prefix(cut);
      }
      current.assign(line);
      started = true;
    }
    if (cr == std::string_view::npos) break;
    text.remove_prefix(cr + 1);
  }
  messages.push_back(std::move(current));
  return messages;
}

}  // namespace vld
