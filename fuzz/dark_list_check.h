// The checks the two dark-list fuzz targets share: loading a list (with the dictionary cache on)
// and comparing the dictionary with the one its cache gives back.
#pragma once

#include <string>

namespace vld::fuzz {

// Loads the list file `list` (in the scratch folder) into fresh dark lists with the cache on.
// Problems must come back as a German message naming a file of the scratch folder, never as an
// exception or a fatal error. A list that loads must have written its cache, and the cache must
// load into a dictionary with the same entries, links and numbers.
void CheckDarkListLoad(const std::string& list);

}  // namespace vld::fuzz
