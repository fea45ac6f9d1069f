// What a match task gets from loading its parameter set: the checked set in the task's memory
// and the tables the check loaded for it (normalisation tables, postal-code mapping, dark lists).
//
// Loading (LoadMatchParameters, params/param_load.h) copies the current parameter tree into a
// checking set, runs the parameter check on it (matching/param_check.h), which loads the tables
// into a TMatchTables in the target space, and hands back a compact TParameter copy in the same
// space. Messages go to the sink: errors prefixed "! ", warnings "? ".
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/runtime/origin.h"
#include "matching/dark_lists.h"
#include "matching/match_key.h"
#include "matching/match_params.h"
#include "matching/norm.h"
#include "matching/plz.h"

namespace vld {

// The tables of one task. Lives in the task's memory space; its destructor releases them.
class TMatchTables : public TOrigin {
 public:
  void Init() override { darkLists = CreateOwned<TDarkLists>(*this, 0); }

  std::optional<TNormalizer> phonetic;  // "PHONETIC.MAP" (file code 22)
  std::optional<TNormalizer> simple;    // "SIMPLE.MAP" (file code 21)
  std::optional<TPlzMapping> plz;       // "GERMANY%d.PLZ" (file code 20), when wanted
  TDarkLists* darkLists = nullptr;

  // Views on the tables for key building; valid after Bind() as long as this object lives.
  TKeyTables keyTables;
  void Bind() {
    keyTables = {};
    if (phonetic) {
      keyTables.phonetic = [this](std::uint8_t* b, std::size_t n) {
        return phonetic->Normalize(std::span(b, n));
      };
    }
    if (simple) {
      keyTables.simple = [this](std::uint8_t* b, std::size_t n) {
        return simple->Normalize(std::span(b, n));
      };
    }
    if (plz) keyTables.plzMap = [this](std::int32_t code) { return plz->Map(code); };
    keyTables.darkLists = darkLists;
  }
  // The comparison's boundary table: that of the phonetic table, else the identity.
  std::array<std::uint8_t, 256> BoundaryTable() const {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>(i);
    if (phonetic) {
      const auto c = phonetic->CompareTable();
      std::copy(c.begin(), c.end(), t.begin());
    }
    return t;
  }
};

struct TLoadedParameters {
  TParameter* set = nullptr;       // in the target space; empty when loading stopped early
  TMatchTables* tables = nullptr;  // in the target space
  std::int32_t errors = 0;
  std::int32_t hints = 0;
};

// isError, the message text ("! ..." or "? ...").
using ParameterMessageSink = std::function<void(bool isError, const std::string& text)>;
// The journal file of the task: true when it could be opened under that name.
using JournalSink = std::function<bool(const std::string& fileName)>;

}  // namespace vld
