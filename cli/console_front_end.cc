#include "cli/console_front_end.h"

#include <unistd.h>

#include "platform/codepage.h"
#include "platform/fatal.h"

namespace vld {

std::string TerminalText(std::string_view text) {
  std::string out = IsValidUtf8(text) ? std::string(text) : ToUtf8(text, CodePage::k437);
  for (char& c : out) {
    if (c == '\r') c = '\n';
  }
  return out;
}

TConsoleFrontEnd::TConsoleFrontEnd(bool quiet) : quiet_(quiet), terminal_(isatty(2) != 0) {}

TConsoleFrontEnd::~TConsoleFrontEnd() {
  ClearProgress();
  if (journal_ != nullptr) std::fclose(journal_);
}

void TConsoleFrontEnd::Print(std::FILE* out, std::string_view text) {
  ClearProgress();
  const std::string t = TerminalText(text);
  std::fwrite(t.data(), 1, t.size(), out);
  std::fputc('\n', out);
  std::fflush(out);
  if (journal_ != nullptr) {
    std::fwrite(t.data(), 1, t.size(), journal_);
    std::fputc('\n', journal_);
  }
}

int TConsoleFrontEnd::Message(MessageKind kind, std::string_view text) {
  switch (kind) {
    case MessageKind::kJournalFile: {
      if (journal_ != nullptr) std::fclose(journal_);
      journal_ = std::fopen(std::string(text).c_str(), "w");
      return journal_ != nullptr ? 1 : 0;
    }
    case MessageKind::kError:
      ClearProgress();
      std::fprintf(stderr, "Fehler: %s\n", TerminalText(text).c_str());
      std::fflush(stderr);
      if (journal_ != nullptr) std::fprintf(journal_, "Fehler: %s\n", TerminalText(text).c_str());
      return 1;
    case MessageKind::kHeading: {
      std::string_view name = text;
      while (!name.empty() && (name.front() == '\r' || name.front() == ' ')) name.remove_prefix(1);
      if (name.size() > 3 && name.substr(name.size() - 3) == "...") {
        phase_ = std::string(name.substr(0, name.size() - 3));
        phaseStart_ = std::chrono::steady_clock::now();
      }
      break;
    }
    default:
      break;
  }
  if (!quiet_) Print(stdout, text);
  return 1;
}

void TConsoleFrontEnd::ClearProgress() {
  if (progressShown_) {
    std::fputs("\r\033[K", stderr);
    progressShown_ = false;
  }
}

void TConsoleFrontEnd::ShowProgress(const CounterState& counter) {
  if (!terminal_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < std::chrono::milliseconds(200)) return;
  lastDraw_ = now;
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(now - phaseStart_).count();
  // Producers count down from the expected records; consumers count up.
  const std::int64_t done = counter.start > 0 ? counter.start - counter.value : counter.value;
  std::string line = phase_ + ": " + counter.name + " " + std::to_string(done);
  if (counter.start > 0) line += " von " + std::to_string(counter.start);
  line += Format("  %lld:%02lld", static_cast<long long>(seconds / 60),
                 static_cast<long long>(seconds % 60));
  std::fprintf(stderr, "\r\033[K%s", TerminalText(line).c_str());
  std::fflush(stderr);
  progressShown_ = true;
}

std::int64_t TConsoleFrontEnd::Counter(const CounterCall& call) {
  switch (call.op) {
    case CounterOp::kOpen: {
      const std::int64_t handle = nextHandle_++;
      counters_[handle] = {std::string(call.name), call.value, call.value};
      return handle;
    }
    case CounterOp::kClose: {
      auto it = counters_.find(call.handle);
      if (it != counters_.end()) {
        finals_[it->second.name] = it->second.value;
        counters_.erase(it);
      }
      return 0;
    }
    case CounterOp::kSet:
    case CounterOp::kAdd: {
      auto it = counters_.find(call.handle);
      if (it == counters_.end()) return 0;
      it->second.value = call.op == CounterOp::kSet ? call.value : it->second.value + call.value;
      ShowProgress(it->second);
      return it->second.value;
    }
  }
  return 0;
}

bool TConsoleFrontEnd::Question(std::int64_t, std::int64_t) { return true; }

}  // namespace vld
