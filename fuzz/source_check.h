// Shared checks of the input-source targets (CSV, fixed width): reading a source record by
// record, and converting it into the engine's input file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/data_access.h"

namespace vld::fuzz {

// The values of every described field of one source record.
using SourceRecords = std::vector<std::vector<std::string>>;

// The field types the targets give their fields: the rows of the type table, from `seed` on.
std::int32_t TypeFromSeed(unsigned seed, std::size_t field);

// Converts the initialised `source` (whose records are `records`) into "Matchfile1.txt" in the
// scratch folder, with a record number when `numbered`, and checks the file against the layout:
// one line per record, every line of the record length and ended by CR LF, each typed field's
// value in code page 437 cut to its width and padded, the record numbers counting from 1, and one
// journal line per field with cut values. A layout too long for the engine must be its German
// message; `readError`, the error reading the source gave after `records`, must stop the
// conversion with the same message.
void ConvertAndCheck(TDataAccess& source, const SourceRecords& records, bool numbered,
                     const std::optional<std::string>& readError);

}  // namespace vld::fuzz
