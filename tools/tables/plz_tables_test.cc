// The shipped postal-code mappings (GERMANY5/4/3.PLZ of this build) against their source, the
// GeoNames list in tables/sources.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "matching/plz.h"
#include "tools/tables/plz_builder.h"
#include "tools/tables/product_tables.h"

namespace vld::tables {
namespace {

using testing::TablesFolder;
using testing::TablesSourceFolder;

const PostalPlaces& Source() {
  static const PostalPlaces places =
      ReadGeoNamesFile(TablesSourceFolder() + "/sources/plz_de_geonames.csv");
  return places;
}

TPlzMapping Shipped(int digits) {
  const std::string name = "GERMANY" + std::to_string(digits) + ".PLZ";
  return LoadPlzMapping(TablesFolder() + "/" + name, name, digits);
}

class PlzTablesTest : public ::testing::TestWithParam<int> {};

TEST_P(PlzTablesTest, RepresentativesAreCodesInUseAndMapToThemselves) {
  const int digits = GetParam();
  const TPlzMapping m = Shipped(digits);
  const std::int32_t divisor = PowerOfTen(5 - digits);
  std::set<std::int32_t> in_use;
  for (const auto& [code, places] : Source()) in_use.insert(code / divisor);
  for (std::int32_t k = 0; k < PowerOfTen(digits); ++k) {
    const std::int32_t rep = m.Map(k);
    ASSERT_TRUE(in_use.count(rep)) << k << " -> " << rep;
    ASSERT_EQ(m.Map(rep), rep) << k;
  }
}

TEST_P(PlzTablesTest, CodesServingOnePlaceShareTheirRepresentative) {
  const int digits = GetParam();
  const TPlzMapping m = Shipped(digits);
  const std::int32_t divisor = PowerOfTen(5 - digits);
  std::map<std::string, std::int32_t> rep_of_place;
  for (const auto& [code, places] : Source()) {
    for (const std::string& place : places) {
      const auto [it, fresh] = rep_of_place.emplace(place, m.Map(code / divisor));
      ASSERT_EQ(it->second, m.Map(code / divisor)) << code;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Digits, PlzTablesTest, ::testing::Values(5, 4, 3));

TEST(PlzTablesTest, UnusedFiveDigitCodeGoesWhereItsNearestNeighbourInTheRegionGoes) {
  const TPlzMapping m = Shipped(5);
  std::set<std::int32_t> in_use;
  for (const auto& [code, places] : Source()) in_use.insert(code);
  for (std::int32_t k = 0; k < 100000; ++k) {
    if (in_use.count(k)) continue;
    const std::int32_t low = k - k % 100, high = low + 99;
    std::int32_t nearest = -1;
    const auto above = in_use.lower_bound(k);
    if (above != in_use.begin() && *std::prev(above) >= low) nearest = *std::prev(above);
    if (above != in_use.end() && *above <= high && (nearest < 0 || *above - k < k - nearest)) {
      nearest = *above;
    }
    if (nearest < 0) continue;  // the region has no code in use
    ASSERT_EQ(m.Map(k), m.Map(nearest)) << k;
  }
}

TEST(PlzTablesTest, KnownCities) {
  const TPlzMapping m5 = Shipped(5);
  struct Case {
    std::int32_t code, rep;
  } cases[] = {
      {10115, 10115}, {14199, 10115},  // Berlin
      {22769, 20038}, {20095, 20038},  // Hamburg
      {81929, 80331},                  // München
  };
  for (const Case& c : cases) EXPECT_EQ(m5.Map(c.code), c.rep) << c.code;
  EXPECT_EQ(Shipped(4).Map(1419), 1011);
  EXPECT_EQ(Shipped(3).Map(141), 101);
}

TEST(PlzTablesTest, AttributionTravelsWithTheTables) {
  std::ifstream in(TablesFolder() + "/ATTRIBUTION.txt");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(
      text.find("Postal code data: GeoNames (https://www.geonames.org/), licensed under CC BY "
                "4.0; converted to CSV by zauberware "
                "(https://github.com/zauberware/postal-codes-json-xml-csv)."),
      std::string::npos);
}

}  // namespace
}  // namespace vld::tables
