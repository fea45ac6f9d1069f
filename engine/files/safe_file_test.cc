#include "engine/files/safe_file.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;

class TestDocument : public TSafeFile {
 public:
  std::int32_t CurrentVersion() const override { return 3; }
  std::string_view Magic() const override { return "Veldrona Testdokument (C) Korv  "; }
  std::string KindName() const override { return "Veldrona-Testdokument"; }
};

class SafeFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text, const std::string& data) {
    TestDocument doc;
    doc.Assign(dir_.File(name));
    doc.OpenSafe(2);
    doc.WriteText(text);
    doc.WriteData(data.data(), static_cast<std::int64_t>(data.size()));
    doc.CloseSafe();
    return testing::ReadFile(dir_.File(name));
  }
  testing::TempDir dir_;
};

TEST_F(SafeFileTest, HeaderIsLaidOutByteForByte) {
  const std::string bytes = Write("a.mpr", "abc", "");
  ASSERT_EQ(bytes.size(), 44u + 4 + 3);
  EXPECT_EQ(bytes.substr(0, 32), "Veldrona Testdokument (C) Korv  ");
  EXPECT_EQ(bytes.substr(32, 4), std::string("\x03\x00\x00\x00", 4));
  EXPECT_EQ(bytes.substr(40, 4), std::string(4, '\0'));
  // Unscramble the payload by hand with the stored seed.
  std::uint32_t stored = 0;
  for (int i = 0; i < 4; ++i) stored |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[36 + i])) << (8 * i);
  std::uint32_t s = stored ^ 0x3e71f0c4u;
  std::string plain;
  for (std::size_t i = 44; i < bytes.size(); ++i) {
    s = s * 134775813u + 1u;
    plain.push_back(static_cast<char>(static_cast<std::uint8_t>(bytes[i]) ^ (s >> 24)));
  }
  EXPECT_EQ(plain, std::string("\x03\x00\x00\x00" "abc", 7));
}

TEST_F(SafeFileTest, SameContentScramblesDifferentlyButReadsBackAlike) {
  const std::string data(10000, 'x');
  const std::string a = Write("a.mpr", "Müller", data);
  const std::string b = Write("b.mpr", "Müller", data);
  EXPECT_NE(a.substr(44), b.substr(44));
  for (const char* name : {"a.mpr", "b.mpr"}) {
    TestDocument doc;
    doc.Assign(dir_.File(name));
    doc.OpenSafe(0);
    EXPECT_EQ(doc.Version(), 3);
    EXPECT_EQ(doc.ReadText(), "Müller");
    std::string back(10000, '\0');
    doc.ReadData(back.data(), 4096);  // a different split of the same bytes
    doc.ReadData(back.data() + 4096, 5904);
    EXPECT_EQ(back, data);
    EXPECT_EQ(doc.Remaining(), 0);
    doc.CloseSafe();
  }
}

TEST_F(SafeFileTest, DamagedFilesGetTheirGermanMessage) {
  const std::string good = Write("good.mpr", "Text", "12345678");
  const std::string name = dir_.File("bad.mpr");
  const std::string notKind = "\"" + name + "\" ist kein Veldrona-Testdokument";
  const std::string damaged = "Die Datei \"" + name + "\" ist beschädigt.";
  auto readAll = [&] {
    TestDocument doc;
    doc.Assign(name);
    doc.OpenSafe(0);
    doc.ReadText();
    char buf[8];
    doc.ReadData(buf, 8);
  };
  // Cut at every position.
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    SCOPED_TRACE(cut);
    testing::WriteFile(name, good.substr(0, cut));
    EXPECT_EQ(ErrorTextOf<EUserError>(readAll), cut < 44 ? notKind : damaged);
  }
  struct Case {
    std::size_t offset;
    char byte;
    std::string expected;
  } flips[] = {
      {0, 'v', notKind},
      {31, 'x', notKind},
      {32, 4, "Veldrona-Testdokument \"" + name + "\": ungültige Version"},
      {41, 1, notKind},
  };
  for (const Case& c : flips) {
    SCOPED_TRACE(c.offset);
    std::string bad = good;
    bad[c.offset] = c.byte;
    testing::WriteFile(name, bad);
    EXPECT_EQ(ErrorTextOf<EUserError>(readAll), c.expected);
  }
}

TEST_F(SafeFileTest, HugeStoredTextLengthIsRejectedBeforeAllocating) {
  TestDocument doc;
  doc.Assign(dir_.File("huge.mpr"));
  doc.OpenSafe(2);
  const std::int32_t huge = 0x7fffffff;
  doc.WriteData(&huge, 4);
  doc.CloseSafe();
  TestDocument reader;
  reader.Assign(dir_.File("huge.mpr"));
  reader.OpenSafe(0);
  EXPECT_EQ(ErrorTextOf<EUserError>([&] { reader.ReadText(); }),
            "Die Datei \"" + dir_.File("huge.mpr") + "\" ist beschädigt.");
}

TEST_F(SafeFileTest, NegativeTextLengthReadsAsEmptyAndEmptyPayloadOpens) {
  TestDocument doc;
  doc.Assign(dir_.File("n.mpr"));
  doc.OpenSafe(2);
  const std::int32_t negative = -5;
  doc.WriteData(&negative, 4);
  doc.CloseSafe();
  doc.OpenSafe(0);
  EXPECT_EQ(doc.ReadText(), "");
  doc.CloseSafe();
  EXPECT_EQ(ErrorTextOf<EUserError>([&] { doc.OpenSafe(1); }),
            "invalid mode at open safe file \"" + dir_.File("n.mpr") + "\"");
  Write("empty.mpr", "", "");
  std::string bytes = testing::ReadFile(dir_.File("empty.mpr"));
  testing::WriteFile(dir_.File("empty.mpr"), bytes.substr(0, 44));
  TestDocument empty;
  empty.Assign(dir_.File("empty.mpr"));
  empty.OpenSafe(0);
  EXPECT_EQ(empty.Remaining(), 0);
}

TEST_F(SafeFileTest, OneLargeWriteEqualsThreeSmallOnes) {
  std::string data(10000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  // Same seed for both files: compare the scrambled payloads.
  TestDocument a;
  a.Assign(dir_.File("a"));
  a.OpenSafe(2);
  a.WriteData(data.data(), 10000);
  a.CloseSafe();
  const std::string one = testing::ReadFile(dir_.File("a"));
  std::uint32_t stored = 0;
  for (int i = 0; i < 4; ++i) stored |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(one[36 + i])) << (8 * i);
  Keystream stream(stored ^ 0x3e71f0c4u);
  std::string pieces = data;
  auto* p = reinterpret_cast<std::uint8_t*>(pieces.data());
  stream.Apply(std::span(p, 4096));
  stream.Apply(std::span(p + 4096, 4096));
  stream.Apply(std::span(p + 8192, 1808));
  EXPECT_EQ(one.substr(44), pieces);
}

}  // namespace
}  // namespace vld
