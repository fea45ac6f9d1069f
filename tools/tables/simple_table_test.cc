// The shipped simple table (SIMPLE.MAP of this build): case, accents and punctuation only.
#include <gtest/gtest.h>

#include <random>

#include "tools/tables/product_tables.h"

namespace vld::tables {
namespace {

using testing::Normalize;
using testing::SimpleTable;

TEST(SimpleTableTest, UpperCasesFoldsAccentsAndMakesPunctuationBlanks) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"Müller-Lüdenscheidt GmbH & Co. KG", "MÜLLER LÜDENSCHEIDT GMBH CO KG"},
      {" René  Dupont ", "RENE DUPONT"},
      {"Straße", "STRAßE"},
      {"Ärzte, Öfen, Übel", "ÄRZTE ÖFEN ÜBEL"},
      {"ñandú façade", "NANDU FACADE"},
      {"12a/3", "12A 3"},
      {"\"Zum Löwen\"!", "ZUM LÖWEN"},
      {"MEIER", "MEIER"},
      {"...", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Normalize(SimpleTable(), c.text), c.expected) << c.text;
  }
}

TEST(SimpleTableTest, WritesOnlyCapitalsDigitsAndSingleInnerBlanks) {
  const std::string allowed_extra = "\x8E\x99\x9A\xE1";  // Ä Ö Ü ß in code page 437
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 25);
  for (int round = 0; round < 3000; ++round) {
    std::string text(static_cast<std::size_t>(length(rng)), ' ');
    for (char& c : text) c = static_cast<char>(byte(rng));
    const std::string out = SimpleTable().Normalized(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
      const char c = out[i];
      const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      allowed_extra.find(c) != std::string::npos ||
                      (c == ' ' && i > 0 && i + 1 < out.size() && out[i - 1] != ' ');
      ASSERT_TRUE(ok) << "byte " << static_cast<int>(static_cast<unsigned char>(c)) << " at " << i;
    }
  }
}

}  // namespace
}  // namespace vld::tables
