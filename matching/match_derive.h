// Derived values of a match parameter set, computed in this order by the parameter check:
//   1. record lengths (effective and truncated),
//   3. the output sort record, 4. the match record, 5. slot sizes and the match key length,
//   6. the list record length, 7. the dark-record info length, 8. dynamic blocking,
//   9. the component list, 10. per-component values, 11. the score ceiling and the comparison
//   order.
// (Step 2, the input files, needs the files themselves and belongs to the check.)
//
// A derivation that computes a value with a range reports it through `range` (name, value,
// lowest, highest), which returns false when the value is outside; the check turns that into its
// German message "%s: %d ist nicht im Wertebereich von %d bis %d.".
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "matching/match_params.h"

namespace vld {

using RangeCheck = std::function<bool(std::string_view name, std::int64_t value,
                                      std::int64_t lowest, std::int64_t highest)>;

// Step 1.
void DeriveRecordLengths(TParameterFields& f);

// Step 3 (only with "Ausgabe sortieren").
bool DeriveOutputSortRecord(TParameterCheck& set, const RangeCheck& range);

// Bytes slot `slot` takes of the match key, and its text size (for "Slotgröße").
struct SlotSize {
  std::int64_t textSize = 0;
  std::int64_t apSize = 0;  // Firma slots with "AP Felder"
  std::int64_t reserve = 0;
  std::int64_t keyBytes = 0;
};
SlotSize ComputeSlotSize(const TParameterStore& set, const TSlotEntry& slot);

// Steps 4 and 5: the match record and the match key length.
bool DeriveMatchRecord(TParameterCheck& set, const RangeCheck& range);

// Steps 6 and 7.
bool DeriveListAndInfoLengths(TParameterCheck& set, const RangeCheck& range);

// Step 8.
void DeriveDynamicBlocking(TParameterCheck& set);

// Step 9: false when the arrays do not fit into the block ("Für die Komponenten-Zeiger ist kein
// Speicher mehr vorhanden.").
bool BuildComponentList(TParameterCheck& set);

// Steps 10 and 11.
void DeriveComponents(TParameterCheck& set);

}  // namespace vld
