#include "tools/tables/plz_builder.h"

#include <gtest/gtest.h>

#include "platform/errors.h"

namespace vld::tables {
namespace {

const char* kHeader = "country_code,zipcode,place,community_code\n";

PostalPlaces Places(const std::string& rows) { return ReadGeoNamesCsv(kHeader + rows, "p.csv"); }

TEST(PlzBuilderTest, ReadsQuotedFieldsAndLineEnds) {
  const PostalPlaces p = ReadGeoNamesCsv(
      "country_code,zipcode,place,community_code\r\n"
      "DE,01945,\"Tettau, Ort\",12066\r\n"
      "DE,\"01945\",\"Der \"\"Hof\"\"\nzwei Zeilen\",12066\n"
      "\n"
      "DE,99998,Weira,\n",
      "p.csv");
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p.at(1945).size(), 2u);
  EXPECT_TRUE(p.at(1945).count(std::string("Der \"Hof\"\nzwei Zeilen") + '\x1f' + "12066"));
  EXPECT_TRUE(p.at(99998).count(std::string("Weira") + '\x1f'));
}

TEST(PlzBuilderTest, MalformedCsvIsAGermanErrorWithLine) {
  struct Case {
    std::string text, message;
  } cases[] = {
      {"zipcode,place\n01945,Tettau\n", "p.csv: Die Spalte \"community_code\" fehlt."},
      {std::string(kHeader) + "DE,01945,Tettau,12066\nDE,01946,X\n",
       "p.csv, Zeile 3: Die Zeile hat 3 statt 4 Felder."},
      {std::string(kHeader) + "DE,1945,Tettau,12066\n",
       "p.csv, Zeile 2: Die Postleitzahl \"1945\" hat nicht genau fünf Ziffern."},
      {std::string(kHeader) + "DE,0194A,Tettau,12066\n",
       "p.csv, Zeile 2: Die Postleitzahl \"0194A\" hat nicht genau fünf Ziffern."},
      {std::string(kHeader) + "DE,01945,\"Tettau,12066\n",
       "p.csv, Zeile 2: Ein Anführungszeichen wird nicht geschlossen."},
      {kHeader, "p.csv: Die Datei enthält keine Postleitzahl."},
      {"", "p.csv: Die Datei enthält keine Postleitzahl."},
  };
  for (const Case& c : cases) {
    try {
      ReadGeoNamesCsv(c.text, "p.csv");
      ADD_FAILURE() << "no error: " << c.message;
    } catch (const EUserError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

TEST(PlzBuilderTest, CodesOfOnePlaceMeetAtTheSmallestAndUnusedCodesFollowTheNearest) {
  const PostalPlaces p = Places(
      "DE,12345,Adorf,1\n"
      "DE,12350,Adorf,1\n"  // same place: joins 12345
      "DE,12350,Bedorf,1\n"
      "DE,12390,Bedorf,1\n"  // linked to 12345 through 12350
      "DE,12399,Adorf,2\n"   // same name, other community: a place of its own
      "DE,50000,Cedorf,3\n");
  const std::vector<std::int32_t> rep = Representatives(p, 5);
  struct Case {
    std::int32_t code, rep;
  } cases[] = {
      {12345, 12345}, {12350, 12345}, {12390, 12345},
      {12399, 12399}, {12347, 12345},  // unused: nearest 12345 (2 away)
      {12348, 12345},                  // unused: nearest 12350, whose group meets at 12345
      {12396, 12399},                  // unused: nearest 12399
      {12300, 12345},                  // first three digits shared with 12345
      {12400, 12399},                  // no code in use in 124xx: nearest sharing "12"
      {49999, 50000},  // no code in use in 499xx or 49xxx: nearest sharing "4"? none; overall
      {0, 12345},      // nearest overall
      {99999, 50000},
  };
  for (const Case& c : cases) EXPECT_EQ(rep[static_cast<std::size_t>(c.code)], c.rep) << c.code;
}

TEST(PlzBuilderTest, TieGoesToTheLowerCode) {
  const std::vector<std::int32_t> rep = Representatives(Places("DE,12340,A,1\nDE,12350,B,1\n"), 5);
  EXPECT_EQ(rep[12345], 12340);
  EXPECT_EQ(rep[12346], 12350);
}

TEST(PlzBuilderTest, ShorterCodesAreTheLeadingDigits) {
  const PostalPlaces p = Places(
      "DE,34117,Kassel,1\n"
      "DE,34134,Kassel,1\n"
      "DE,34260,Kaufungen,2\n");
  const std::vector<std::int32_t> four = Representatives(p, 4);
  EXPECT_EQ(four[3411], 3411);
  EXPECT_EQ(four[3413], 3411);  // Kassel again
  EXPECT_EQ(four[3426], 3426);
  EXPECT_EQ(four[3412], 3411);  // unused, nearest 3411 (tie with 3413: the lower)
  EXPECT_EQ(four[3420], 3426);  // unused, nearest in 34xx is 3426
  const std::vector<std::int32_t> three = Representatives(p, 3);
  EXPECT_EQ(three[341], 341);
  EXPECT_EQ(three[342], 342);
  EXPECT_EQ(three[349], 342);
}

TEST(PlzBuilderTest, MappingUsesTheSmallestWidthThatHoldsEveryOffset) {
  const PlzMappingContents m = BuildPlzMapping(Places("DE,00500,A,1\n"), 3);
  // Codes 000..999 all map to 005: offsets from +5 to -994 need 11 bits.
  EXPECT_EQ(m.bits, 11);
  EXPECT_EQ(m.offsets[0], 5);
  EXPECT_EQ(m.offsets[999], -994);
  const TPlzMapping loaded = [&] {
    TPlzMapping l = TPlzMapping::FromImage(m.Encode());
    EXPECT_TRUE(l.SizeOk() && l.LoadData());
    return l;
  }();
  for (std::int32_t k = 0; k < 1000; ++k) ASSERT_EQ(loaded.Map(k), 5);
}

}  // namespace
}  // namespace vld::tables
