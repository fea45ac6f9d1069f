// File names of a match parameter set: resolving a name as given into a full name, the names of
// the file codes in messages, the messages of the name states, and the search for names that
// collide.
//
// A name as given may select its base path explicitly: "~E~" Eingabepfad, "~A~" Ausgabepfad,
// "~T~" Tabellenpfad, "~X~" Universalpfad 1, "~Y~" Universalpfad 2 (letters in either case; the
// three characters are removed). "~" followed by a rooted name ("~/daten/a.txt") is absolute.
// A rooted name ("/daten/a.txt") is absolute as it stands. Any other name is relative to the
// default base of its code (DefaultBaseOf). A backslash is a separator. Names keep their case.
//
// States (NameState in match_params.h): 9000 empty, 9001 a letter that names no base (or, for a
// base path, a base not listed before it), 9002 not absolute where it must be, 9003 a ".."
// component, 9004 its base path is faulty, 9005 its base path is empty.
//
// Base paths are resolved first, in the order Universalpfad 1, Universalpfad 2, Eingabepfad,
// Ausgabepfad, Tabellenpfad; each may name only the bases before it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/files/filename_store.h"
#include "matching/match_params.h"

namespace vld {

// Fixed file codes.
enum FileCode : std::int32_t {
  kCodeInputPath = 1,
  kCodeOutputPath = 2,
  kCodeTablePath = 3,
  kCodeUniversal1 = 4,
  kCodeUniversal2 = 5,
  kCodeSingle = 6,
  kCodeMulti = 7,
  kCodeDuplicates = 8,
  kCodeDuplicateList = 9,
  kCodeStatistics = 10,
  kCodeProtocol = 11,
  kCodeJournal = 12,
  kCodeCompact = 13,
  kCodeDarkCache = 14,
  kCodeTemp1 = 15,
  kCodeTemp2 = 16,
  kCodeTemp3 = 17,
  kCodeTemp4 = 18,
  kCodeFileList = 19,
  kCodePlz = 20,
  kCodeSimpleTable = 21,
  kCodePhoneticTable = 22,
};
// Codes made per element: base + i (i 1-based).
inline constexpr std::int32_t kCodeSlotDarkList = 1000;
inline constexpr std::int32_t kCodeSlotAkzList = 2000;
inline constexpr std::int32_t kCodeSlotDarkCache = 3000;
inline constexpr std::int32_t kCodeSlotAkzCache = 4000;
inline constexpr std::int32_t kCodeInputFile = 5000;
inline constexpr std::int32_t kCodeOwnSingle = 6000;
inline constexpr std::int32_t kCodeOwnMulti = 7000;
inline constexpr std::int32_t kCodeOwnDuplicates = 8000;

// The resolved base paths, by code 1..5 (index 0 unused). A resolved base path ends with '/'.
struct TBasePaths {
  std::array<std::string, 6> full;
  std::array<std::uint16_t, 6> state{kNameEmpty, kNameEmpty, kNameEmpty,
                                     kNameEmpty, kNameEmpty, kNameEmpty};
};

struct TResolvedName {
  std::uint16_t state = kNameEmpty;
  std::string full;  // set when state is kNameOk
};

// The base path a name of `code` is relative to: 1 Eingabepfad for input files and the file
// list, 3 Tabellenpfad for tables, dark lists and their caches, 2 Ausgabepfad for every output,
// list, protocol, journal and temporary file, 0 for the base paths themselves.
int DefaultBaseOf(std::int32_t code);

// Resolves a file name relative to `defaultBase` (0: must be absolute).
TResolvedName ResolveFileName(std::string_view given, int defaultBase, const TBasePaths& bases);

// Resolves base path `code` (1..5) into a directory name ending with '/'.
TResolvedName ResolveBasePath(std::string_view given, std::int32_t code, const TBasePaths& bases);

// The name of a file code in messages ("Eingabepfad", "Slot [2].Schwarze Liste",
// "Eingabedatei 3", "anonymer Pfad" for 0).
std::string FileCodeName(std::int32_t code);

// The message for a name in `state`: `who` is the code's name or the parameter's path, `given`
// the name as given. nullopt when there is nothing to report: a fine name, state 9004 (its base
// path's own error is reported), or an empty name that is not `required`.
std::optional<std::string> NameStateMessage(std::string_view who, std::string_view given,
                                            std::uint16_t state, bool required);

// `pattern` with its first '*' replaced by the short name of `fullName` without the part from
// its last '.'; a pattern without '*' is returned unchanged.
std::string ReplaceStar(std::string_view pattern, std::string_view fullName);

// Every file a task touches, registered by its full name and code, to find names that collide:
// two codes naming the same file, or a file whose name another name uses as a folder.
class TNameRegistry {
 public:
  TNameRegistry();
  ~TNameRegistry();
  TNameRegistry(const TNameRegistry&) = delete;
  TNameRegistry& operator=(const TNameRegistry&) = delete;

  // REQUIRES: `fullName` is rooted; code >= 1. A name with a component of more than 255 bytes
  // is left out.
  void Add(std::string_view fullName, bool isDirectory, std::int32_t code);

  struct Collision {
    std::int32_t code = 0;             // the code registered first
    std::string fullName;              // its full name
    std::vector<std::int32_t> others;  // the other codes (0: a folder of another name)
  };
  // Groups of two or more equal names of which at least one is a file, in the order of their
  // first registration. Two base paths naming the same folder do not collide.
  std::vector<Collision> Collisions() const;

 private:
  TFileNameStore* store_;
  std::vector<std::pair<TFileNameStoreEntry*, std::int32_t>> registered_;
};

}  // namespace vld
