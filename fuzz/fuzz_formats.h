// The plain forms of the scrambled file kinds, shared by the fuzz targets and the seed
// generator.
//
// Safe files (".mpr"), dictionary caches and dark-list packages store their payload scrambled
// or enciphered. A fuzzer that mutates the stored bytes rarely hits a field it is comparing
// against, so these targets take the plain form instead: the file with its payload in the clear.
// Each function below turns a plain form into the stored file and back (it is its own inverse);
// a form too short to hold the part it needs is returned unchanged.
#pragma once

#include <string>
#include <string_view>

namespace vld::fuzz {

// Safe file: the payload from offset 44 on runs through the keystream seeded from offset 36.
std::string SafeFilePlainSwap(std::string_view bytes);

// Dictionary cache: the entry block and the bucket table (after the source records) run
// through the keystream seeded from offset 52.
std::string HashCachePlainSwap(std::string_view bytes);

// Dark-list package: the payload from offset 44 on runs through the package cipher.
std::string PackagePlainSwap(std::string_view bytes);

}  // namespace vld::fuzz
