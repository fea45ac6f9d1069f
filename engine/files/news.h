// TNews: several lines collected and sent to the running task's journal as one message.
//
// Add appends a line and a carriage return; Send hands the collected text (without its last
// carriage return) to the message hook. A message of the task hooks holds at most 255 bytes, so
// a longer text goes out as several messages of the same kind: whole lines are packed into one
// message while they fit, and a line longer than 255 bytes is cut into pieces (never inside a
// UTF-8 character). Nothing is lost: joining the messages with carriage returns gives the text
// back, except that the pieces of a cut line join without one.
//
// Call order: CreateIn<TNews>(space, capacity) (the task uses 4096); Add ...; Send(kind).
// Worker thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/runtime/hooks.h"
#include "engine/runtime/origin.h"

namespace vld {

// Bytes one message of the task hooks holds.
inline constexpr std::size_t kMessageLimit = 255;

class TNews : public TOrigin {
 public:
  // `capacity` is clamped to 1..65535 bytes.
  explicit TNews(std::int32_t capacity);
  void Init() override;

  // Appends as much of `line` as fits (leaving room for the carriage return), then a carriage
  // return; a full buffer takes nothing more.
  void Add(std::string_view line);
  // Sends the collected text without its last carriage return as messages of `kind`; nothing
  // when no line was added. The text stays (Clear empties it).
  void Send(MessageKind kind) const;
  void Clear() { length_ = 0; }

  std::string_view Text() const;
  std::int32_t Capacity() const { return capacity_; }

 private:
  std::int32_t length_ = 0;
  std::int32_t capacity_;
  char* buffer_ = nullptr;
};

// Cuts `text` (lines separated by carriage returns) into messages of at most `limit` bytes.
std::vector<std::string> SplitIntoMessages(std::string_view text, std::size_t limit);

}  // namespace vld
