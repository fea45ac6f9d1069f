#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "engine/files/xan_file.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// Reads every line until the end of the file.
std::vector<std::string> AllLines(TXanBufferedFile& file) {
  std::vector<std::string> lines;
  while (!file.IsAtEnd()) lines.push_back(file.ReadLine());
  return lines;
}

std::vector<std::string> LinesOf(const std::string& content, int bufferSize, int maxLineLength) {
  TempDir dir;
  const std::string name = dir.File("zeilen.txt");
  WriteFile(name, content);
  TXanBufferedFile file(name);
  file.SetBufferSize(bufferSize);
  file.SetMaxLineLength(maxLineLength);
  file.Open(kXanRead);
  return AllLines(file);
}

// Random reads, writes, positioning and size changes against a string holding what the file
// must contain, for several buffer sizes and open modes.
TEST(XanBufferedFileTest, AgreesWithAPlainModelUnderRandomTransfers) {
  struct Mode {
    int bufferSize;
    std::uint16_t extraFlags;
  };
  const Mode modes[] = {{16, 0},
                        {16, kXanSequential},
                        {64, kXanWholeBufferDirect},
                        {4096, 0},
                        {7, kXanSequential | kXanWholeBufferDirect}};
  for (const Mode& mode : modes) {
    SCOPED_TRACE(mode.bufferSize);
    SCOPED_TRACE(mode.extraFlags);
    TempDir dir;
    const std::string name = dir.File("modell.bin");
    std::string model = "vorher";
    WriteFile(name, model);
    TXanBufferedFile file(name);
    file.SetMaxLineLength(0);
    file.SetBufferSize(mode.bufferSize);
    file.Open(kXanRead | kXanWrite | mode.extraFlags);
    std::mt19937 random(static_cast<unsigned>(mode.bufferSize + mode.extraFlags));
    std::int64_t position = 0;
    for (int step = 0; step < 3000; ++step) {
      SCOPED_TRACE(step);
      const int what = static_cast<int>(random() % 10);
      const auto size = static_cast<std::int64_t>(model.size());
      if (what < 3) {  // position somewhere, sometimes beyond the end
        position = static_cast<std::int64_t>(random() % (size + 20));
        file.SetPosition(position);
      } else if (what < 6) {  // write
        const auto count = static_cast<std::int64_t>(random() % (3 * mode.bufferSize + 2));
        std::string bytes(static_cast<std::size_t>(count), '\0');
        for (char& c : bytes) c = static_cast<char>('a' + random() % 26);
        file.WriteBytes(bytes.data(), count);
        if (count > 0) {
          if (position + count > size) model.resize(static_cast<std::size_t>(position + count));
          model.replace(static_cast<std::size_t>(position), bytes.size(), bytes);
        }
        position += count;
      } else if (what < 9) {  // read, sometimes past the end
        const auto count = static_cast<std::int64_t>(random() % (3 * mode.bufferSize + 2));
        std::string bytes(static_cast<std::size_t>(count), '\0');
        if (position + count > size) {
          EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { file.ReadBytes(bytes.data(), count); }),
                    count == 0
                        ? ""
                        : "Die Datei " + Quoted(name) +
                              " kann nicht gelesen werden: Lesen über das Dateiende hinaus.");
        } else {
          file.ReadBytes(bytes.data(), count);
          EXPECT_EQ(bytes, model.substr(static_cast<std::size_t>(position), bytes.size()));
          position += count;
        }
      } else {  // change the size
        const auto newSize = static_cast<std::int64_t>(random() % (size + 10));
        file.SetSize(newSize);
        model.resize(static_cast<std::size_t>(newSize), '\0');
        position = newSize;
      }
      ASSERT_EQ(file.Position(), position);
      ASSERT_EQ(file.Size(), static_cast<std::int64_t>(model.size()));
    }
    file.Close();
    EXPECT_EQ(ReadFile(name), model);
  }
}

// A write that lands in the window's room but behind its filled part starts a new window, so
// the bytes in between are never overwritten with what the buffer happened to hold.
TEST(XanBufferedFileTest, AWriteBehindTheWindowFillKeepsTheBytesInBetween) {
  TempDir dir;
  const std::string name = dir.File("luecke.txt");
  WriteFile(name, "0123456789");
  TXanBufferedFile file(name);
  file.Open(kXanWrite);
  file.WriteText("ab");
  file.SetPosition(6);
  file.WriteText("x");
  file.Close();
  EXPECT_EQ(ReadFile(name), "ab2345x789");
}

TEST(XanBufferedFileTest, CloseWritesTheLastBufferedBytes) {
  TempDir dir;
  const std::string name = dir.File("kurz.txt");
  TXanBufferedFile file(name);
  file.Open(kXanCreate | kXanAlways | kXanWrite);
  file.WriteLine("Zeile eins");
  file.WriteText("Rest");
  file.Close();
  EXPECT_EQ(ReadFile(name), "Zeile eins\r\nRest");
}

TEST(XanBufferedFileTest, DestructionWritesTheLastBufferedBytes) {
  TempDir dir;
  const std::string name = dir.File("kurz.txt");
  {
    TXanBufferedFile file(name);
    file.Open(kXanCreate | kXanAlways | kXanWrite);
    file.WriteText("nicht verloren");
  }
  EXPECT_EQ(ReadFile(name), "nicht verloren");
}

TEST(XanBufferedFileTest, SequentialWritesAFullWindowAtOnce) {
  for (const bool sequential : {false, true}) {
    SCOPED_TRACE(sequential);
    TempDir dir;
    const std::string name = dir.File("seq.txt");
    TXanBufferedFile file(name);
    file.SetBufferSize(16);
    file.SetMaxLineLength(8);
    file.Open(kXanCreate | kXanWrite | (sequential ? kXanSequential : 0));
    file.WriteText(std::string(16, 's'));
    EXPECT_EQ(ReadFile(name).size(), sequential ? 16u : 0u);
    file.Close();
    EXPECT_EQ(ReadFile(name), std::string(16, 's'));
  }
}

TEST(XanBufferedFileTest, ReadingPastTheEndFailsAndKeepsTheFileUsable) {
  TempDir dir;
  const std::string name = dir.File("ende.txt");
  WriteFile(name, "abcdef");
  TXanBufferedFile file(name);
  file.Open(kXanRead);
  file.SetPosition(4);
  EXPECT_EQ(
      ErrorTextOf<EXanFileError>([&] { file.ReadText(3); }),
      "Die Datei " + Quoted(name) + " kann nicht gelesen werden: Lesen über das Dateiende hinaus.");
  EXPECT_EQ(file.Position(), 4);
  EXPECT_EQ(file.ReadText(2), "ef");
  EXPECT_EQ(
      ErrorTextOf<EXanFileError>([&] { file.ReadLine(); }),
      "Die Datei " + Quoted(name) + " kann nicht gelesen werden: Lesen über das Dateiende hinaus.");
}

TEST(XanBufferedFileTest, AllLineEndingsGiveTheSameLines) {
  struct Case {
    const char* name;
    std::string content;
    std::vector<std::string> lines;
  };
  const std::vector<std::string> abc = {"alpha", "beta", "gamma"};
  const Case cases[] = {
      {"CR LF", "alpha\r\nbeta\r\ngamma\r\n", abc},
      {"LF", "alpha\nbeta\ngamma\n", abc},
      {"CR", "alpha\rbeta\rgamma\r", abc},
      {"mixed, last line without terminator", "alpha\r\nbeta\rgamma", abc},
      {"LF CR is two terminators", "alpha\n\rbeta", {"alpha", "", "beta"}},
      {"empty lines", "\r\n\n\r", {"", "", ""}},
      {"trailing blanks, tabs and controls",
       "alpha \t\x01\r\n beta  \ngamma\t",
       {"alpha", " beta", "gamma"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LinesOf(c.content, 4096, 4000), c.lines);
  }
}

// Every window size moves every terminator, CR LF pairs included, across a window boundary.
TEST(XanBufferedFileTest, LinesDoNotDependOnWhereTheWindowEnds) {
  const std::string content = "ab\r\ncde\r\nf\rgh\n\r\nijklm\r\r\nn\r\n\r\nopqrst\rx";
  const std::vector<std::string> expected = {"ab", "cde", "f", "gh",     "", "ijklm",
                                             "",   "n",   "",  "opqrst", "x"};
  for (int bufferSize = 8; bufferSize <= 48; ++bufferSize) {
    SCOPED_TRACE(bufferSize);
    EXPECT_EQ(LinesOf(content, bufferSize, 6), expected);
  }
}

TEST(XanBufferedFileTest, CrLfSplitAcrossTwoWindowsIsOneTerminator) {
  // With 8 bytes the first window is "ab\r\ncde\r"; its LF comes with the next window.
  TempDir dir;
  const std::string name = dir.File("split.txt");
  WriteFile(name, "ab\r\ncde\r\nf");
  TXanBufferedFile file(name);
  file.SetBufferSize(8);
  file.SetMaxLineLength(6);
  file.Open(kXanRead);
  EXPECT_EQ(file.ReadLine(), "ab");
  EXPECT_EQ(file.ReadLine(), "cde");
  EXPECT_EQ(file.Position(), 9);
  EXPECT_EQ(file.ReadLine(), "f");
  EXPECT_TRUE(file.IsAtEnd());
}

TEST(XanBufferedFileTest, ALineOfExactlyMaxLineLengthIsAcceptedOneMoreIsAnError) {
  struct Case {
    const char* name;
    std::string content;
    bool accepted;
  };
  const Case cases[] = {
      {"6 with CR LF", "x\r\n123456\r\ny", true},
      {"6 at the end", "x\r\n123456", true},
      {"6 with CR at the end", "x\r\n123456\r", true},
      {"7 with CR LF", "x\r\n1234567\r\ny", false},
      {"7 at the end", "x\r\n1234567", false},
      {"7 blanks count too", "x\r\n123456 \r\n", false},
  };
  for (const Case& c : cases) {
    for (const int bufferSize : {8, 9, 64}) {
      SCOPED_TRACE(c.name);
      SCOPED_TRACE(bufferSize);
      TempDir dir;
      const std::string name = dir.File("lang.txt");
      WriteFile(name, c.content);
      TXanBufferedFile file(name);
      file.SetBufferSize(bufferSize);
      file.SetMaxLineLength(6);
      file.Open(kXanRead);
      EXPECT_EQ(file.ReadLine(), "x");
      if (c.accepted) {
        EXPECT_EQ(file.ReadLine(), "123456");
      } else {
        EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { file.ReadLine(); }),
                  "Eine Zeile der Datei " + Quoted(name) + " ist länger als 6 Zeichen.");
        EXPECT_EQ(file.Position(), 3);
      }
    }
  }
}

TEST(XanBufferedFileTest, MaxLineLengthMustLeaveTwoBytesOfTheBuffer) {
  TempDir dir;
  const std::string name = dir.File("b.txt");
  WriteFile(name, "");
  TXanBufferedFile file(name);
  file.SetBufferSize(10);
  file.SetMaxLineLength(9);
  EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { file.Open(kXanRead); }),
            "Der Puffer der Datei " + Quoted(name) + " ist kleiner als die größte Zeilenlänge.");
  EXPECT_FALSE(file.IsOpen());
  file.SetMaxLineLength(8);
  file.Open(kXanRead);
  EXPECT_TRUE(file.IsOpen());
}

TEST(XanBufferedFileTest, WriteLineDropsTrailingBlanksAndEndsWithCrLf) {
  TempDir dir;
  const std::string name = dir.File("w.txt");
  TXanBufferedFile file(name);
  file.Open(kXanCreate | kXanWrite | kXanRead);
  file.WriteLine("Name \t ");
  file.WriteLine("");
  file.WriteLine(" eingerückt");
  file.SetPosition(0);
  EXPECT_EQ(AllLines(file), (std::vector<std::string>{"Name", "", " eingerückt"}));
  file.Close();
  EXPECT_EQ(ReadFile(name), "Name\r\n\r\n eingerückt\r\n");
}

TEST(XanBufferedFileTest, WritingBeyondTheEndGrowsAndSetSizeTruncates) {
  TempDir dir;
  const std::string name = dir.File("g.txt");
  WriteFile(name, "0123456789");
  TXanBufferedFile file(name);
  file.Open(kXanRead | kXanWrite);
  file.SetPosition(12);
  file.WriteText("ab");
  EXPECT_EQ(file.Size(), 14);
  file.SetSize(5);
  EXPECT_EQ(file.Size(), 5);
  EXPECT_EQ(file.Position(), 5);
  EXPECT_TRUE(file.IsAtEnd());
  file.SetPosition(3);
  EXPECT_EQ(
      ErrorTextOf<EXanFileError>([&] { file.ReadText(3); }),
      "Die Datei " + Quoted(name) + " kann nicht gelesen werden: Lesen über das Dateiende hinaus.");
  EXPECT_EQ(file.ReadText(2), "34");
  file.Close();
  EXPECT_EQ(ReadFile(name), "01234");
}

TEST(XanBufferedFileTest, CreateNewFailsOnAnExistingFile) {
  TempDir dir;
  const std::string name = dir.File("da.txt");
  WriteFile(name, "inhalt");
  TXanBufferedFile file(name);
  EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { file.Open(kXanCreate | kXanWrite); }),
            "Die Datei \"" + name + "\" kann nicht geöffnet werden: die Datei gibt es schon.");
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadFile(name), "inhalt");
}

TEST(XanBufferedFileTest, AnExternalBufferIsUsedAndNotFreed) {
  TempDir dir;
  const std::string name = dir.File("x.txt");
  std::array<std::uint8_t, 32> buffer{};
  TXanBufferedFile file(name);
  file.SetMaxLineLength(30);
  file.UseExternalBuffer(buffer.data(), static_cast<std::int32_t>(buffer.size()));
  file.Open(kXanCreate | kXanWrite);
  file.WriteText("extern");
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 6), "extern");
  file.Close();
  EXPECT_EQ(ReadFile(name), "extern");
}

TEST(XanBufferedFileTest, AppendContinuesAtTheEnd) {
  TempDir dir;
  const std::string name = dir.File("a.txt");
  WriteFile(name, "eins\r\n");
  TXanBufferedFile file(name);
  file.Open(kXanWrite | kXanAppend);
  EXPECT_EQ(file.Position(), 6);
  file.WriteLine("zwei");
  file.Close();
  EXPECT_EQ(ReadFile(name), "eins\r\nzwei\r\n");
}

}  // namespace
}  // namespace vld
