// Test helpers for the tables this build produced ($VELDRONA_BIN/Tables) and for the table
// tool next to them.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

#include "matching/norm.h"
#include "platform/codepage.h"

namespace vld::tables::testing {

// $VELDRONA_BIN (build/bin); the tests are registered with it.
inline std::string BinFolder() {
  const char* bin = std::getenv("VELDRONA_BIN");
  return bin ? bin : "VELDRONA_BIN-fehlt";
}

inline std::string TablesFolder() { return BinFolder() + "/Tables"; }

// The source folder tables/ of the repository (rules files, sources), compiled in.
inline std::string TablesSourceFolder() { return VELDRONA_TABLES_SOURCE_DIR; }

inline const TNormalizer& PhoneticTable() {
  static const TNormalizer table = LoadNormalizer(TablesFolder() + "/PHONETIC.MAP", "PHONETIC.MAP");
  return table;
}

inline const TNormalizer& SimpleTable() {
  static const TNormalizer table = LoadNormalizer(TablesFolder() + "/SIMPLE.MAP", "SIMPLE.MAP");
  return table;
}

// Normalises UTF-8 text through code page 437 and gives the result as UTF-8.
inline std::string Normalize(const TNormalizer& table, std::string_view utf8) {
  return ToUtf8(table.Normalized(FromUtf8(utf8, CodePage::k437)), CodePage::k437);
}

}  // namespace vld::tables::testing
