// TXanFinder: enumerates the entries of one directory whose names match a pattern.
//
// The pattern is a directory part and a name pattern ("/daten/Params/*.par"). In the name
// pattern '*' matches any run of characters and '?' exactly one; every other character stands
// for itself, and names compare case-sensitively. "*.*" matches every name, also names without
// a dot. The entries "." and ".." are never reported. Entries come in byte order of their names
// (a Linux directory has no order of its own).
//
// Call order: create with a pattern, then Next() until it returns false; EntryName() is the
// current entry. Restart(pattern) starts anew; an empty pattern finishes the finder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vld {

class TXanFinder {
 public:
  enum class State { kNotStarted = 0, kRunning = 1, kFinished = 2 };

  explicit TXanFinder(std::string pattern);

  // Makes the next matching entry current; false when there is none (the first call starts the
  // search). A missing directory has no entries.
  bool Next();
  // REQUIRES: Next() returned true.
  const std::string& EntryName() const { return entryName_; }
  bool EntryIsDirectory() const { return entryIsDirectory_; }
  // The directory part of the pattern with its trailing '/', "" when the pattern has none.
  std::string Directory() const;
  // Ends a running search and starts anew with `pattern`; an empty pattern finishes.
  void Restart(std::string pattern);
  State CurrentState() const { return state_; }

 private:
  struct Entry {
    std::string name;
    bool isDirectory;
  };
  void Start();

  std::string pattern_;
  State state_ = State::kNotStarted;
  std::vector<Entry> found_;
  std::size_t next_ = 0;
  std::string entryName_;
  bool entryIsDirectory_ = false;
};

// True when `name` matches the name pattern (see above).
bool MatchesNamePattern(std::string_view pattern, std::string_view name);

}  // namespace vld
