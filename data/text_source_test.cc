#include "data/text_source.h"

#include <gtest/gtest.h>

#include "platform/test_support.h"

namespace vld {
namespace {

using testing::TempDir;

struct Line {
  std::string text, terminator;
  friend bool operator==(const Line&, const Line&) = default;
};

std::vector<Line> ReadLines(TTextSourceReader& reader) {
  std::vector<Line> lines;
  Line line;
  while (reader.ReadLine(line.text, line.terminator)) lines.push_back(line);
  return lines;
}

// The reader keeps its block between files: a small file first, then one longer than a block
// whose CR LF straddles the end of the first block.
TEST(TextSourceReaderTest, ReopenedOnALargerFileReadsLinesAcrossTheBlockEnd) {
  TempDir dir;
  testing::WriteFile(dir.File("klein.txt"), "a\r\nb");
  TTextSourceReader reader;
  reader.Open(dir.File("klein.txt"));
  EXPECT_EQ(ReadLines(reader), (std::vector<Line>{{"a", "\r\n"}, {"b", ""}}));
  reader.Close();

  const std::string first((1 << 20) - 1, 'x');
  testing::WriteFile(dir.File("gross.txt"), first + "\r\nzweite\rdritte");
  reader.Open(dir.File("gross.txt"));
  const std::vector<Line> expected = {{first, "\r\n"}, {"zweite", "\r"}, {"dritte", ""}};
  EXPECT_EQ(ReadLines(reader), expected);
  EXPECT_EQ(reader.LineNumber(), 3);
  reader.Rewind();
  EXPECT_EQ(ReadLines(reader), expected);
  reader.Close();
}

}  // namespace
}  // namespace vld
