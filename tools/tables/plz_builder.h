// The postal-code mapping builder: makes GERMANY5.PLZ, GERMANY4.PLZ and GERMANY3.PLZ from
// the GeoNames list of German postal codes (tables/sources/plz_de_geonames.csv).
//
// A code of n digits (n = 5, 4 or 3) is the first n digits of a postal code: the class key's
// postal-code part of length 4 holds "3410" for every postal code 34100..34109. The rule:
//   1. A code is in use when some postal code of the list begins with it. It serves the places
//      of those postal codes; a place is the pair (place name, community key), so that two
//      towns of one name in different districts stay apart.
//   2. Codes in use that serve a common place are linked, also through other codes; each
//      linked group maps onto its smallest code (all of Berlin onto 10115).
//   3. A code not in use maps like the nearest code in use that shares its first n - 2 digits
//      (for five digits: the first three), the lower one on a tie; when no code in use shares
//      them, the nearest sharing one digit less, and so on, down to the nearest code in use.
//   4. The entry width is the smallest number of bits whose two's complement holds every
//      offset (representative - code).
// So every representative is a code in use, and every code in use is its own representative
// or lies in a group with it.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "matching/plz.h"

namespace vld::tables {

// Five-digit postal code -> the places it serves.
using PostalPlaces = std::map<std::int32_t, std::set<std::string>>;

// Reads the GeoNames CSV (UTF-8, header row with the columns zipcode, place, community_code;
// RFC 4180 quoting). Throws EUserError "<file>, Zeile <n>: ..." for a malformed row.
PostalPlaces ReadGeoNamesCsv(std::string_view text, std::string_view file_name);
PostalPlaces ReadGeoNamesFile(const std::string& file);

// The representative of every code 0 .. 10^digits - 1 by the rule above.
// REQUIRES 3 <= digits <= 5 and at least one postal code.
std::vector<std::int32_t> Representatives(const PostalPlaces& places, int digits);

// The mapping of `digits` digits. Throws EUserError when an offset needs more than 24 bits.
PlzMappingContents BuildPlzMapping(const PostalPlaces& places, int digits);

}  // namespace vld::tables
