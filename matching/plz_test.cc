#include "matching/plz.h"

#include <gtest/gtest.h>

#include <random>

#include "matching/table_test_util.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {
namespace {

using testing::TempFolder;

PlzMappingContents Uniform(int bits, int digits, std::int32_t offset) {
  PlzMappingContents c;
  c.bits = bits;
  c.digits = digits;
  c.offsets.assign(static_cast<std::size_t>(PowerOfTen(digits)), offset);
  return c;
}

TPlzMapping Loaded(const PlzMappingContents& c) {
  TPlzMapping m = TPlzMapping::FromImage(c.Encode());
  EXPECT_TRUE(m.IsMapping() && m.VersionOk() && m.SizeOk());
  EXPECT_TRUE(m.LoadData());
  return m;
}

TEST(PlzMappingTest, AllOnesWithFourBitsIsMinusOneAndClampsAtZero) {
  const TPlzMapping m = Loaded(Uniform(4, 5, -1));
  EXPECT_EQ(m.Map(0), 0);
  EXPECT_EQ(m.Map(12345), 12344);
  EXPECT_EQ(m.Map(99999), 99998);
}

TEST(PlzMappingTest, LargestPositiveEntryClampsAtTheLargestCode) {
  const TPlzMapping m = Loaded(Uniform(4, 5, 7));
  EXPECT_EQ(m.Map(99998), 99999);
  EXPECT_EQ(m.Map(99992), 99999);
  EXPECT_EQ(m.Map(99991), 99998);
  EXPECT_EQ(m.Map(0), 7);
}

TEST(PlzMappingTest, RandomOffsetsSurviveEncodingForEveryWidth) {
  // Oracle: Map(k) = clamp(k + offset[k]); the decoded contents equal the encoded ones.
  std::mt19937 rng(99);
  for (int bits = 1; bits <= 24; ++bits) {
    SCOPED_TRACE(bits);
    const int digits = bits == 17 ? 5 : 3;
    PlzMappingContents c = Uniform(bits, digits, 0);
    std::uniform_int_distribution<std::int32_t> offset(-(1 << (bits - 1)), (1 << (bits - 1)) - 1);
    for (auto& o : c.offsets) o = offset(rng);
    const std::vector<std::uint8_t> bytes = c.Encode();
    ASSERT_EQ(bytes.size(), 64u + static_cast<std::size_t>(PowerOfTen(digits)) * bits / 8);
    const TPlzMapping m = Loaded(c);
    EXPECT_EQ(m.Contents(), c);
    EXPECT_EQ(m.Contents().Encode(), bytes);
    const std::int32_t largest = PowerOfTen(digits) - 1;
    for (std::int32_t k = 0; k <= largest; ++k) {
      const std::int32_t expected =
          std::clamp(k + c.offsets[static_cast<std::size_t>(k)], 0, largest);
      ASSERT_EQ(m.Map(k), expected) << k;
    }
  }
}

TEST(PlzMappingTest, FileRoundTripIsByteExact) {
  TempFolder folder;
  PlzMappingContents c = Uniform(13, 4, 0);
  for (std::size_t k = 0; k < c.offsets.size(); ++k)
    c.offsets[k] = static_cast<std::int32_t>(k % 4096) - 2048;
  const std::string file = folder.Write("GERMANY4.PLZ", c.Encode());
  const TPlzMapping m = LoadPlzMapping(file, "GERMANY4.PLZ", 4);
  EXPECT_EQ(m.Digits(), 4);
  EXPECT_EQ(m.Bits(), 13);
  EXPECT_EQ(m.Contents(), c);
}

TEST(PlzMappingTest, PartIsReadAsDecimalMappedAndWrittenBackWithLeadingZeros) {
  PlzMappingContents c = Uniform(8, 5, 0);
  c.offsets[815] = -15;
  c.offsets[12345] = -45;
  const TPlzMapping m = Loaded(c);
  struct Case {
    std::string part, expected;
  } cases[] = {
      {"0815 ", "00800"},  // the digits 0815 followed by a blank read as 815
      {"12345", "12300"}, {"  815", "00800"}, {std::string("\0\0815", 5), "00800"},
      {"8x815", "00008"}, {"     ", "00000"}, {"ABCDE", "00000"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.part);
    std::vector<std::uint8_t> part(k.part.begin(), k.part.end());
    m.MapPart(part);
    EXPECT_EQ(std::string(part.begin(), part.end()), k.expected);
  }
}

TEST(PlzMappingTest, CodeOutsideTheMappingIsARangeError) {
  const TPlzMapping m = Loaded(Uniform(2, 3, 0));
  EXPECT_THROW(m.Map(1000), ERuntimeError);
  EXPECT_THROW(m.Map(-1), ERuntimeError);
  EXPECT_EQ(m.Map(999), 999);
}

TEST(PlzMappingTest, MapBeforeTheDataIsLoadedIsAFatalError) {
  ScopedFatalHook hook(ThrowingFatalHook);
  const TPlzMapping m = TPlzMapping::FromImage(Uniform(2, 3, 0).Encode());
  EXPECT_THROW(m.Map(1), EFatal);
}

TEST(PlzMappingTest, BitsForOffsetsIsTheSmallestTwosComplementWidth) {
  struct Case {
    std::vector<std::int32_t> offsets;
    std::optional<int> bits;
  } cases[] = {
      {{0}, 1},     {{-1, 0}, 1},       {{1}, 2},
      {{-2, 1}, 2}, {{2}, 3},           {{-4096, 4095}, 13},
      {{4096}, 14}, {{-(1 << 23)}, 24}, {{1 << 23}, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BitsForOffsets(c.offsets), c.bits);
  }
}

// ---- Load checks -------------------------------------------------------------------------

const std::string kNoMapping = "Die Datei \"P.PLZ\" ist keine Veldrona-PLZ-Abbildung.";
const std::string kBadVersion =
    "Die Veldrona-PLZ-Abbildung \"P.PLZ\" hat eine falsche Versionsnummer.";
const std::string kBadSize = "Die Veldrona-PLZ-Abbildung \"P.PLZ\" hat eine unpassende Größe.";
const std::string kBadDigits =
    "Die Veldrona-PLZ-Abbildung \"P.PLZ\" hat nicht die richtige Stelligkeit.";

std::optional<std::string> CheckBytes(const TempFolder& folder, const std::vector<std::uint8_t>& b,
                                      int expected_digits = 0) {
  return CheckPlzFile(folder.Write("P.PLZ", b), "P.PLZ", expected_digits);
}

TEST(PlzLoadTest, EightBitFiveDigitDataOfExactly100000BytesIsAccepted) {
  TempFolder folder;
  std::vector<std::uint8_t> bytes = Uniform(8, 5, 3).Encode();
  ASSERT_EQ(bytes.size(), 64u + 100000u);
  EXPECT_EQ(CheckBytes(folder, bytes, 5), std::nullopt);
  bytes.push_back(0);
  EXPECT_EQ(CheckBytes(folder, bytes, 5), kBadSize);
}

TEST(PlzLoadTest, MissingFileNamesTheFullName) {
  TempFolder folder;
  const std::string file = folder.File("GERMANY5.PLZ");
  EXPECT_EQ(CheckPlzFile(file, "GERMANY5.PLZ", 5), "Die Datei \"" + file + "\" gibt es nicht.");
  EXPECT_THROW(LoadPlzMapping(file, "GERMANY5.PLZ", 5), EUserError);
}

TEST(PlzLoadTest, FirstFailingCheckIsReported) {
  TempFolder folder;
  using Bytes = void (*)(std::vector<std::uint8_t>&);
  struct Case {
    const char* name;
    Bytes damage;
    int expected_digits;
    std::optional<std::string> expected;
  } cases[] = {
      {"valid", [](std::vector<std::uint8_t>&) {}, 3, std::nullopt},
      {"any digit count", [](std::vector<std::uint8_t>&) {}, 0, std::nullopt},
      {"wrong digit count", [](std::vector<std::uint8_t>&) {}, 5, kBadDigits},
      {"63 bytes", [](std::vector<std::uint8_t>& b) { b.resize(63); }, 3, kNoMapping},
      {"header only", [](std::vector<std::uint8_t>& b) { b.resize(64); }, 3, kBadSize},
      {"wrong magic", [](std::vector<std::uint8_t>& b) { b[0] = 'v'; }, 3, kNoMapping},
      {"version 2", [](std::vector<std::uint8_t>& b) { b[12] = 2; }, 3, kBadVersion},
      {"version 2 and wrong size",
       [](std::vector<std::uint8_t>& b) {
         b[12] = 2;
         b.pop_back();
       },
       3, kBadVersion},
      {"0 bits", [](std::vector<std::uint8_t>& b) { b[16] = 0; }, 3, kBadSize},
      {"25 bits", [](std::vector<std::uint8_t>& b) { b[16] = 25; }, 3, kBadSize},
      {"2 digits", [](std::vector<std::uint8_t>& b) { b[17] = 2; }, 3, kBadSize},
      {"6 digits", [](std::vector<std::uint8_t>& b) { b[17] = 6; }, 3, kBadSize},
      {"4 digits, data for 3", [](std::vector<std::uint8_t>& b) { b[17] = 4; }, 4, kBadSize},
      {"one byte short", [](std::vector<std::uint8_t>& b) { b.pop_back(); }, 3, kBadSize},
      {"wrong size before wrong digits", [](std::vector<std::uint8_t>& b) { b.pop_back(); }, 5,
       kBadSize},
      {"reserved bytes ignored", [](std::vector<std::uint8_t>& b) { b[40] = 0xFF; }, 3,
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> bytes = Uniform(16, 3, 0).Encode();
    c.damage(bytes);
    EXPECT_EQ(CheckBytes(folder, bytes, c.expected_digits), c.expected);
  }
}

TEST(PlzLoadTest, FileCutAtEveryPositionGivesAGermanMessage) {
  TempFolder folder;
  const std::vector<std::uint8_t> bytes = Uniform(1, 3, 0).Encode();
  ASSERT_EQ(bytes.size(), 64u + 125u);
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    SCOPED_TRACE(size);
    ASSERT_EQ(CheckPlzFile(folder.Write("P.PLZ", bytes, size), "P.PLZ", 3),
              size < 64 ? kNoMapping : kBadSize);
  }
}

TEST(PlzLoadTest, FlippedHeaderByteGivesTheRightMessage) {
  TempFolder folder;
  const std::vector<std::uint8_t> bytes = Uniform(8, 3, 0).Encode();
  for (std::size_t at = 0; at < 64; ++at) {
    SCOPED_TRACE(at);
    std::vector<std::uint8_t> damaged = bytes;
    damaged[at] ^= 0xFF;
    const std::optional<std::string> expected = at < 12   ? kNoMapping
                                                : at < 16 ? kBadVersion
                                                : at < 18 ? kBadSize
                                                          : std::optional<std::string>();
    EXPECT_EQ(CheckBytes(folder, damaged, 3), expected);
  }
}

TEST(PlzLoadTest, HugeFileIsRejectedWithoutReadingItsData) {
  TempFolder folder;
  std::vector<std::uint8_t> bytes = Uniform(8, 5, 0).Encode();
  bytes.resize(4 << 20, 0);
  EXPECT_EQ(CheckBytes(folder, bytes, 5), kBadSize);
}

}  // namespace
}  // namespace vld
