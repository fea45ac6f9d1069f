#include "params/param_load.h"

#include <ctime>

#include "engine/runtime/heap.h"
#include "params/param_text.h"
#include "platform/fatal.h"

namespace vld {
namespace {

bool IsLeapYear(std::int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::int32_t DaysInMonth(std::int32_t y, std::int32_t m) {
  static constexpr std::int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

std::int32_t CurrentYear() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

// Frees the checking set however the load ends.
class TCheckingSet {
 public:
  TCheckingSet() : set_(CreateIn<TParameterCheck>(StandardHeap())) {}
  ~TCheckingSet() { Free(set_); }
  TCheckingSet(const TCheckingSet&) = delete;
  TCheckingSet& operator=(const TCheckingSet&) = delete;
  TParameterCheck& operator*() const { return *set_; }

 private:
  TParameterCheck* set_;
};

}  // namespace

std::optional<std::int32_t> ParseDateText(std::string_view text) {
  const std::string_view t = TrimBlanks(text);
  std::int32_t parts[3] = {0, 0, 0};
  std::int32_t digits[3] = {0, 0, 0};
  int part = 0;
  for (const char c : t) {
    if (c == '.') {
      if (digits[part] == 0 || ++part > 2) return std::nullopt;
      continue;
    }
    if (c < '0' || c > '9' || digits[part] >= 4) return std::nullopt;
    parts[part] = parts[part] * 10 + (c - '0');
    ++digits[part];
  }
  std::int32_t year = 0;
  if (part == 1 || (part == 2 && digits[2] == 0)) {
    // "d.m" or "d.m.": this year.
    year = CurrentYear();
  } else if (part == 2 && digits[2] <= 2) {
    // Two digits: the year within 50 years of today.
    const std::int32_t now = CurrentYear();
    year = now - now % 100 + parts[2];
    if (year > now + 50) year -= 100;
    if (year <= now - 50) year += 100;
  } else if (part == 2 && digits[2] == 4) {
    year = parts[2];
  } else {
    return std::nullopt;
  }
  const std::int32_t day = parts[0], month = parts[1];
  if (digits[0] > 2 || digits[1] > 2 || year < 1 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  return year * 10000 + month * 100 + day;
}

std::string FormatDate(std::int32_t date) {
  return Format("%02d.%02d.%04d", date % 100, date / 100 % 100, date / 10000);
}

TLoadedParameters LoadMatchParameters(TMemorySpace& target, const TParamTVRecord& root,
                                      RunStart start, const ParameterMessageSink& messages,
                                      const JournalSink& journal) {
  TCheckingSet set;
  TransferParameterTree(root, *set);
  TLoadedParameters loaded;
  loaded.tables = CreateIn<TMatchTables>(target);
  bool headerSent = false;
  const ParameterMessageSink forward = [&](bool isError, const std::string& text) {
    if (!messages) return;
    if (isError && !headerSent) {
      headerSent = true;
      messages(true, kParameterErrorsHeader);
    }
    messages(isError, text);
  };
  CheckParameterSet(*set, *loaded.tables, start, forward, journal);
  loaded.tables->Bind();
  loaded.set = TParameter::Copy(target, &*set);
  loaded.errors = (*set).Fields().errors;
  loaded.hints = (*set).Fields().warnings;
  return loaded;
}

}  // namespace vld
