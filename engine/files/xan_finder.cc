#include "engine/files/xan_finder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace vld {

bool MatchesNamePattern(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;
  // Greedy matching with one backtracking point for the last '*'.
  std::size_t p = 0, n = 0;
  std::size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

TXanFinder::TXanFinder(std::string pattern) { Restart(std::move(pattern)); }

std::string TXanFinder::Directory() const {
  const std::size_t slash = pattern_.rfind('/');
  return slash == std::string::npos ? std::string() : pattern_.substr(0, slash + 1);
}

void TXanFinder::Restart(std::string pattern) {
  pattern_ = std::move(pattern);
  found_.clear();
  next_ = 0;
  entryName_.clear();
  entryIsDirectory_ = false;
  state_ = pattern_.empty() ? State::kFinished : State::kNotStarted;
}

void TXanFinder::Start() {
  state_ = State::kRunning;
  const std::string directory = Directory();
  const std::string namePattern = pattern_.substr(directory.size());
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    if (!MatchesNamePattern(namePattern, name)) continue;
    struct stat st;
    const std::string full = directory + std::string(name);
    const bool isDirectory = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    found_.push_back({std::string(name), isDirectory});
  }
  ::closedir(dir);
  std::sort(found_.begin(), found_.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
}

bool TXanFinder::Next() {
  if (state_ == State::kFinished) return false;
  if (state_ == State::kNotStarted) Start();
  if (next_ >= found_.size()) {
    state_ = State::kFinished;
    found_.clear();
    return false;
  }
  entryName_ = found_[next_].name;
  entryIsDirectory_ = found_[next_].isDirectory;
  ++next_;
  return true;
}

}  // namespace vld
