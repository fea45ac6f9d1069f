#include "matching/norm.h"

#include <gtest/gtest.h>

#include <random>

#include "matching/table_test_util.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {
namespace {

using testing::TempFolder;

// A table with T1 and T2 all zeros: every byte b is its own class b % 64 (never the end
// class 1, which takes 0 instead), and state s writes 'A' + s % 26.
NormTableContents ZeroTable() {
  NormTableContents t;
  for (int b = 0; b < 256; ++b) t.classes[b] = static_cast<std::uint8_t>(b % 64 == 1 ? 0 : b % 64);
  for (int s = 0; s < 64; ++s) t.outputs[s] = static_cast<std::uint8_t>('A' + s % 26);
  for (int b = 0; b < 256; ++b) t.compare[b] = static_cast<std::uint8_t>(b);
  return t;
}

std::string Normalize(const NormTableContents& contents, std::string_view text) {
  const TNormalizer table(contents.Encode());
  EXPECT_TRUE(table.IsTable());
  EXPECT_TRUE(table.VersionOk());
  return table.Normalized(text);
}

// A random table that passes the load checks: classes below 64, |t| <= 63, T2 values inside
// the table or retractions, T2[0][2] a row.
NormTableContents RandomValidTable(std::mt19937& rng) {
  NormTableContents t;
  std::uniform_int_distribution<int> byte(0, 255), cls(0, 63), move(-63, 63);
  for (auto& c : t.classes) c = static_cast<std::uint8_t>(cls(rng));
  for (auto& o : t.outputs) o = static_cast<std::uint8_t>(byte(rng));
  for (auto& c : t.compare) c = static_cast<std::uint8_t>(byte(rng));
  for (auto& e : t.t1) e = static_cast<std::int8_t>(move(rng));
  const int r = std::uniform_int_distribution<int>(0, 200)(rng);
  t.t2.assign(static_cast<std::size_t>(r) + 1, {});
  std::uniform_int_distribution<int> row(0, r), retraction(201, 255), coin(0, 3);
  for (auto& line : t.t2) {
    for (auto& v : line) v = static_cast<std::uint8_t>(coin(rng) == 0 ? retraction(rng) : row(rng));
  }
  t.t2[0][2] = static_cast<std::uint8_t>(row(rng));
  return t;
}

TEST(NormalizerTest, ZeroTableMapsEveryByteToItsClassOutputAndKeepsTheLength) {
  const NormTableContents t = ZeroTable();
  struct Case {
    std::string text;
  } cases[] = {{"x"}, {"Meier"}, {"ab cd!?"}, {std::string("\0\x80\xff", 3)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string expected;
    for (unsigned char b : c.text) expected.push_back(static_cast<char>(t.outputs[t.classes[b]]));
    EXPECT_EQ(Normalize(t, c.text), expected);
  }
}

TEST(NormalizerTest, EmptyTextStaysEmptyWhateverTheEndTransition) {
  NormTableContents t = ZeroTable();
  for (int move : {0, -5, 5}) {
    SCOPED_TRACE(move);
    t.T1(1, 1) = static_cast<std::int8_t>(move);
    EXPECT_EQ(Normalize(t, ""), "");
  }
}

TEST(NormalizerTest, AbsorbingTransitionsWriteOneCharacterForASpelling) {
  // Classes: 'S' -> 10, 'C' -> 11, 'H' -> 12. In state 10 a 'C' goes to state 20, in state 20
  // an 'H' to state 21, which writes '$': "SCH" becomes one character.
  NormTableContents t = ZeroTable();
  t.classes['S'] = 10;
  t.classes['C'] = 11;
  t.classes['H'] = 12;
  t.outputs[10] = 's';
  t.outputs[11] = 'c';
  t.outputs[12] = 'h';
  t.outputs[21] = '$';
  t.T1(10, 11) = 20;
  t.T1(20, 12) = 21;
  EXPECT_EQ(Normalize(t, "SCH"), "$");
  EXPECT_EQ(Normalize(t, "HSCHS"), "h$s");
  EXPECT_EQ(Normalize(t, "SH"), "sh");
}

TEST(NormalizerTest, NegativeTransitionWritesPendingSymbolAndContinuesInNamedState) {
  NormTableContents t = ZeroTable();
  t.classes['A'] = 10;
  t.classes['B'] = 11;
  t.outputs[10] = 'a';
  t.outputs[11] = 'b';
  t.outputs[30] = 'x';
  t.T1(10, 11) = -30;  // a 'B' after an 'A' is written as 'x'
  EXPECT_EQ(Normalize(t, "ABBA"), "axba");
}

TEST(NormalizerTest, T2Entry201RetractsOneCharacterAndWritesTheReplacement) {
  NormTableContents t = ZeroTable();
  t.classes['P'] = 10;
  t.classes['Q'] = 11;
  t.outputs[10] = 'p';
  t.outputs[11] = 'q';
  t.outputs[2] = '#';
  t.t2.assign(2, {});
  t.t2[0][10] = 1;  // after symbol 10: row 1
  t.t2[1][10] = 1;
  t.t2[1][11] = 201;  // symbol 11 after symbol 10: take one back
  EXPECT_EQ(Normalize(t, "PQ"), "#");
  EXPECT_EQ(Normalize(t, "QPQP"), "q#p");
  EXPECT_EQ(Normalize(t, "PPQ"), "p#");
}

TEST(NormalizerTest, RetractionDeeperThanWrittenStopsAtPositionZero) {
  NormTableContents t = ZeroTable();
  t.classes['P'] = 10;
  t.outputs[2] = '#';
  t.t2[0][10] = 255;  // the first symbol already retracts 55 characters
  EXPECT_EQ(Normalize(t, "P"), "#");
  EXPECT_EQ(Normalize(t, "PP"), "#");
}

TEST(NormalizerTest, EndColumnRetractsWithoutWriting) {
  NormTableContents t = ZeroTable();
  t.classes['E'] = 10;
  t.classes['B'] = 12;
  t.outputs[10] = 'e';
  t.outputs[12] = 'b';
  t.t2.assign(2, {});
  t.t2[0][10] = 1;
  t.t2[1][10] = 1;
  t.t2[1][1] = 201;  // a trailing 'e' is dropped
  EXPECT_EQ(Normalize(t, "BEE"), "be");
  EXPECT_EQ(Normalize(t, "EB"), "eb");
  EXPECT_EQ(Normalize(t, "E"), "");
}

TEST(NormalizerTest, NeverWritesPastTheTextWithRandomValidTables) {
  // Each text lives in a buffer of exactly its length; the sanitizer build catches any write
  // behind it. The result never grows.
  std::mt19937 rng(4711);
  std::uniform_int_distribution<int> byte(0, 255), len(0, 40);
  for (int round = 0; round < 300; ++round) {
    const TNormalizer table(RandomValidTable(rng).Encode());
    ASSERT_TRUE(table.IsTable());
    ASSERT_TRUE(table.VersionOk());
    for (int n = 0; n < 20; ++n) {
      std::vector<std::uint8_t> text(static_cast<std::size_t>(len(rng)));
      for (auto& b : text) b = static_cast<std::uint8_t>(byte(rng));
      auto buffer = std::make_unique<std::uint8_t[]>(text.size());
      std::copy(text.begin(), text.end(), buffer.get());
      const std::size_t result = table.Normalize(std::span(buffer.get(), text.size()));
      ASSERT_LE(result, text.size());
    }
  }
}

TEST(NormalizerTest, CompareTableIsTheCharacterTableOfTheFile) {
  NormTableContents t = ZeroTable();
  for (int b = 0; b < 256; ++b) t.compare[b] = static_cast<std::uint8_t>(255 - b);
  const TNormalizer table(t.Encode());
  const auto compare = table.CompareTable();
  EXPECT_TRUE(std::equal(compare.begin(), compare.end(), t.compare.begin()));
}

TEST(NormalizerTest, EncodeAndLoadRoundTripIsByteExact) {
  std::mt19937 rng(17);
  TempFolder folder;
  for (int round = 0; round < 20; ++round) {
    const NormTableContents original = RandomValidTable(rng);
    const std::vector<std::uint8_t> bytes = original.Encode();
    ASSERT_EQ(bytes.size(), 4688 + 64 * original.t2.size());
    const std::string file = folder.Write("T.MAP", bytes);
    const TNormalizer loaded = LoadNormalizer(file, "T.MAP");
    EXPECT_TRUE(
        std::equal(bytes.begin(), bytes.end(), loaded.Image().begin(), loaded.Image().end()));
    EXPECT_EQ(loaded.Contents(), original);
    EXPECT_EQ(loaded.Contents().Encode(), bytes);
  }
}

TEST(NormalizerTest, NormalizeWithAnUncheckedTableIsAFatalError) {
  ScopedFatalHook hook(ThrowingFatalHook);
  std::vector<std::uint8_t> bytes = ZeroTable().Encode();
  bytes[0] = 'X';
  const TNormalizer table(bytes);
  std::vector<std::uint8_t> text = {'A'};
  EXPECT_THROW(table.Normalize(text), EFatal);
}

// ---- Load checks -------------------------------------------------------------------------

const std::string kNotTable = "Die Datei \"T.MAP\" ist keine Veldrona-Normtabelle.";
const std::string kBadVersion =
    "Die Veldrona-Normtabelle \"T.MAP\" hat eine falsche Versionsnummer.";

std::optional<std::string> CheckBytes(const TempFolder& folder,
                                      const std::vector<std::uint8_t>& b) {
  return CheckNormalizerFile(folder.Write("T.MAP", b), "T.MAP");
}

TEST(NormalizerLoadTest, MissingFileNamesTheFullName) {
  TempFolder folder;
  const std::string file = folder.File("PHONETIC.MAP");
  EXPECT_EQ(CheckNormalizerFile(file, "PHONETIC.MAP"), "Die Datei \"" + file + "\" gibt es nicht.");
  try {
    LoadNormalizer(file, "PHONETIC.MAP");
    FAIL() << "no exception";
  } catch (const EUserError& e) {
    EXPECT_EQ(std::string(e.what()), "Die Datei \"" + file + "\" gibt es nicht.");
  }
}

TEST(NormalizerLoadTest, ChecksShapeClassesTransitionsAndSequenceEntries) {
  TempFolder folder;
  using Parts = void (*)(NormTableContents&);
  using Bytes = void (*)(std::vector<std::uint8_t>&);
  struct Case {
    const char* name;
    Parts parts;  // damage to the decoded parts, or nullptr
    Bytes bytes;  // damage to the encoded file, or nullptr
    std::optional<std::string> expected;
  } cases[] = {
      {"valid", nullptr, nullptr, std::nullopt},
      {"201 rows", [](NormTableContents& t) { t.t2.resize(201); }, nullptr, std::nullopt},
      {"202 rows", [](NormTableContents& t) { t.t2.resize(202); }, nullptr, kNotTable},
      {"4,751 bytes", nullptr, [](std::vector<std::uint8_t>& b) { b.resize(4751); }, kNotTable},
      {"half a row more", nullptr, [](std::vector<std::uint8_t>& b) { b.resize(4784); }, kNotTable},
      {"one byte more", nullptr, [](std::vector<std::uint8_t>& b) { b.push_back(0); }, kNotTable},
      {"wrong magic", nullptr, [](std::vector<std::uint8_t>& b) { b[11] = 'q'; }, kNotTable},
      {"version 3", [](NormTableContents& t) { t.version = 3; }, nullptr, kBadVersion},
      {"version 3 and half a row", [](NormTableContents& t) { t.version = 3; },
       [](std::vector<std::uint8_t>& b) { b.resize(4784); }, kBadVersion},
      {"class 64", [](NormTableContents& t) { t.classes[65] = 64; }, nullptr, kNotTable},
      {"transition 63", [](NormTableContents& t) { t.T1(5, 9) = 63; }, nullptr, std::nullopt},
      {"transition -63", [](NormTableContents& t) { t.T1(5, 9) = -63; }, nullptr, std::nullopt},
      {"transition 64", [](NormTableContents& t) { t.T1(5, 9) = 64; }, nullptr, kNotTable},
      {"transition -64", [](NormTableContents& t) { t.T1(63, 63) = -64; }, nullptr, kNotTable},
      {"transition -128", [](NormTableContents& t) { t.T1(0, 0) = -128; }, nullptr, kNotTable},
      {"row 1 of 2",
       [](NormTableContents& t) {
         t.t2.resize(2);
         t.t2[1][63] = 1;
       },
       nullptr, std::nullopt},
      {"row 2 of 2",
       [](NormTableContents& t) {
         t.t2.resize(2);
         t.t2[1][63] = 2;
       },
       nullptr, kNotTable},
      {"value 200", [](NormTableContents& t) { t.t2[0][7] = 200; }, nullptr, kNotTable},
      {"retraction 201", [](NormTableContents& t) { t.t2[0][7] = 201; }, nullptr, std::nullopt},
      {"retraction 255", [](NormTableContents& t) { t.t2[0][7] = 255; }, nullptr, std::nullopt},
      {"replacement row is a retraction", [](NormTableContents& t) { t.t2[0][2] = 201; }, nullptr,
       kNotTable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NormTableContents t = ZeroTable();
    if (c.parts) c.parts(t);
    std::vector<std::uint8_t> bytes = t.Encode();
    if (c.bytes) c.bytes(bytes);
    EXPECT_EQ(CheckBytes(folder, bytes), c.expected);
  }
}

TEST(NormalizerLoadTest, OverlongFileIsNoTableAndIsNotReadWhole) {
  TempFolder folder;
  NormTableContents t = ZeroTable();
  t.t2.resize(201);
  std::vector<std::uint8_t> bytes = t.Encode();
  bytes.resize(1 << 20, 0);
  EXPECT_EQ(CheckBytes(folder, bytes), kNotTable);
  const auto loaded = TNormalizer::Load(folder.File("T.MAP"));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->Image().size(), TNormalizer::kMaxImageSize + 1);
}

TEST(NormalizerLoadTest, FileCutAtEveryPositionIsNoTable) {
  TempFolder folder;
  const std::vector<std::uint8_t> bytes = ZeroTable().Encode();
  ASSERT_EQ(bytes.size(), 4752u);
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    SCOPED_TRACE(size);
    ASSERT_EQ(CheckNormalizerFile(folder.Write("T.MAP", bytes, size), "T.MAP"), kNotTable);
  }
}

TEST(NormalizerLoadTest, FlippedHeaderByteGivesTheRightMessage) {
  TempFolder folder;
  const std::vector<std::uint8_t> bytes = ZeroTable().Encode();
  for (std::size_t at = 0; at < 16; ++at) {
    SCOPED_TRACE(at);
    std::vector<std::uint8_t> damaged = bytes;
    damaged[at] ^= 0xFF;
    EXPECT_EQ(CheckBytes(folder, damaged), at < 12 ? kNotTable : kBadVersion);
  }
}

TEST(NormalizerLoadTest, DirectoryInsteadOfFileIsNoTable) {
  TempFolder folder;
  std::filesystem::create_directory(folder.File("T.MAP"));
  EXPECT_EQ(CheckNormalizerFile(folder.File("T.MAP"), "T.MAP"), kNotTable);
}

}  // namespace
}  // namespace vld
