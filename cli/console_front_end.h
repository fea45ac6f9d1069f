// The command-line front end of a match task: the journal on standard output (UTF-8), a progress
// line per phase on standard error when that is a terminal, the question about more memory
// answered yes (a scheduled run has nobody to ask), and the journal file the parameter set names.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "engine/pipeline/task_thread.h"

namespace vld {

class TConsoleFrontEnd : public TTaskFrontEnd {
 public:
  explicit TConsoleFrontEnd(bool quiet);
  ~TConsoleFrontEnd() override;

  int Message(MessageKind kind, std::string_view text) override;
  std::int64_t Counter(const CounterCall& call) override;
  bool Question(std::int64_t used, std::int64_t wanted) override;

  // Final value of every counter that was closed, by name ("Output Single", "Dubletten", ...).
  const std::map<std::string, std::int64_t>& FinalCounts() const { return finals_; }

 private:
  struct CounterState {
    std::string name;
    std::int64_t start = 0;
    std::int64_t value = 0;
  };
  void Print(std::FILE* out, std::string_view text);
  void ShowProgress(const CounterState& counter);
  void ClearProgress();

  bool quiet_;
  bool terminal_;
  bool progressShown_ = false;
  std::FILE* journal_ = nullptr;
  std::string phase_;
  std::map<std::int64_t, CounterState> counters_;
  std::int64_t nextHandle_ = 1;
  std::map<std::string, std::int64_t> finals_;
  std::chrono::steady_clock::time_point phaseStart_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastDraw_{};
};

// Text of the engine for a terminal: lines split at CR, bytes that are not UTF-8 read as code
// page 437.
std::string TerminalText(std::string_view text);

}  // namespace vld
