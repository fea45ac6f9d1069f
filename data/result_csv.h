// The result CSV: every input row exactly as read, in input order (the rows of source 1, then
// those of source 2), each preceded by what the match made of it. This is what most users open
// first.
//
// Format: UTF-8 with a byte-order mark (so that spreadsheets take it as UTF-8), values
// separated by ';', lines ended by CR LF, a value quoted with '"' (doubled inside) when it holds
// ';', '"', a line break or begins with a blank. The header row names the columns
//   Quelle;Zeile;Block;Gruppe;Rolle;<the source columns>
// with Quelle 1 or 2, Zeile the data row in its source (from 1), Block the block number and
// Gruppe the number of the duplicate group (both empty for a record without duplicates), Rolle
// "Single", "Kopf" or "Dublette". The source columns are those of source 1, followed by the
// columns of source 2 that source 1 lacks (matched by name, the k-th column of a name with the
// k-th of the same name); a row leaves the columns of the other source empty.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "data/match_sources.h"

namespace vld {

enum class TResultRole : std::uint8_t { kSingle, kHead, kDuplicate };

// What the match made of one engine record. The task driver fills one per engine record, in
// engine record order (the record number of TConvertedSources minus 1).
struct TResultRecord {
  std::int64_t block = 0;  // 0: no block (written empty)
  std::int64_t group = 0;  // 0: no duplicate group (written empty)
  TResultRole role = TResultRole::kSingle;
};

// "Single", "Kopf", "Dublette".
const char* ResultRoleName(TResultRole role);

// Writes the result CSV to `fileName` (replacing it). REQUIRES: records.size() ==
// sources.RecordCount().
void WriteResultCsv(const std::string& fileName, const TConvertedSources& sources,
                    std::span<const TResultRecord> records);

}  // namespace vld
