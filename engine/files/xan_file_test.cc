#include "engine/files/xan_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

void SetModifyTime(const std::string& name, std::int64_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
}

TEST(XanFileTest, OpenWithoutNameSaysSo) {
  TXanFile file;
  EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { file.Open(kXanRead); }),
            "Eine Datei ohne Namen kann nicht geöffnet werden.");
}

TEST(XanFileTest, RefusedOpenNamesTheFileAndTheReason) {
  TempDir dir;
  const std::string missing = dir.File("fehlt.txt");
  TXanFile file(missing);
  EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { file.Open(kXanRead); }),
            "Die Datei \"" + missing + "\" kann nicht geöffnet werden: Datei nicht gefunden.");
  EXPECT_FALSE(file.IsOpen());
}

TEST(XanFileTest, ErrorsAreInputOutputErrors) {
  TXanFile file;
  EXPECT_EQ(ErrorTextOf<EInOutError>([&] { file.Position(); }),
            "Die Datei \"\" ist nicht geöffnet.");
}

TEST(XanFileTest, CreationFollowsTheCreateAndAlwaysBits) {
  struct Case {
    const char* name;
    std::uint16_t flags;
    bool exists;
    bool opens;
    const char* contentAfter;  // nullptr: no file
  };
  const Case cases[] = {
      {"open existing", kXanRead, true, true, "alt"},
      {"open existing, missing", kXanRead, false, false, nullptr},
      {"open always, present", kXanAlways | kXanWrite, true, true, "alt"},
      {"open always, missing", kXanAlways | kXanWrite, false, true, ""},
      {"create new, missing", kXanCreate | kXanWrite, false, true, ""},
      {"create new, present", kXanCreate | kXanWrite, true, false, "alt"},
      {"create always, present", kXanCreate | kXanAlways | kXanWrite, true, true, ""},
      {"create always without write", kXanCreate | kXanAlways | kXanRead, true, true, ""},
      {"create always, missing", kXanCreate | kXanAlways | kXanWrite, false, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string name = dir.File("f.txt");
    if (c.exists) WriteFile(name, "alt");
    TXanFile file(name);
    const std::string error = ErrorTextOf<EXanFileError>([&] { file.Open(c.flags); });
    // Only "open existing" fails on a missing file, only "create new" on a present one.
    const std::string reason = c.exists ? "die Datei gibt es schon" : "Datei nicht gefunden";
    EXPECT_EQ(
        error,
        c.opens ? "" : "Die Datei \"" + name + "\" kann nicht geöffnet werden: " + reason + ".");
    EXPECT_EQ(file.IsOpen(), c.opens);
    if (file.IsOpen()) file.Close();
    EXPECT_EQ(FileExistsNotDirectory(name), c.contentAfter != nullptr);
    if (c.contentAfter) {
      EXPECT_EQ(ReadFile(name), c.contentAfter);
    }
  }
}

TEST(XanFileTest, EveryOperationOnAClosedFileFails) {
  TXanFile file("x.txt");
  char byte = 0;
  const std::vector<std::function<void()>> operations = {
      [&] { file.IsAtEnd(); },
      [&] { file.Position(); },
      [&] { file.Size(); },
      [&] { file.SetPosition(1); },
      [&] { file.SetSize(1); },
      [&] { file.Close(); },
      [&] { file.ReadBytes(&byte, 1); },
      [&] { file.WriteBytes(&byte, 1); },
      [&] { file.LastWriteTime(); },
  };
  for (std::size_t i = 0; i < operations.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ErrorTextOf<EXanFileError>(operations[i]), "Die Datei \"x.txt\" ist nicht geöffnet.");
  }
}

TEST(XanFileTest, OpenAndRenameRequireAClosedFile) {
  TempDir dir;
  const std::string name = dir.File("a.txt");
  TXanFile file(name);
  file.Open(kXanCreate | kXanAlways | kXanWrite);
  EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { file.Open(kXanRead); }),
            "Die Datei " + Quoted(name) + " ist nicht geschlossen.");
  EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { file.SetName("b.txt"); }),
            "Die Datei " + Quoted(name) + " ist nicht geschlossen.");
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(file.FileName(), name);
}

TEST(XanFileTest, ReadingPastTheEndFailsAndKeepsThePosition) {
  TempDir dir;
  const std::string name = dir.File("kurz.txt");
  WriteFile(name, "0123456789");
  TXanFile file(name);
  file.Open(kXanRead);
  file.SetPosition(5);
  char bytes[10];
  EXPECT_EQ(
      ErrorTextOf<EXanFileError>([&] { file.ReadBytes(bytes, 10); }),
      "Die Datei " + Quoted(name) + " kann nicht gelesen werden: Lesen über das Dateiende hinaus.");
  EXPECT_EQ(file.Position(), 5);
  file.ReadBytes(bytes, 5);
  EXPECT_EQ(std::string(bytes, 5), "56789");
  EXPECT_TRUE(file.IsAtEnd());
}

TEST(XanFileTest, CountsOfZeroOrLessTransferNothing) {
  TempDir dir;
  const std::string name = dir.File("leer.txt");
  TXanFile file(name);
  file.Open(kXanCreate | kXanWrite | kXanRead);
  file.WriteBytes("x", 0);
  file.WriteBytes("x", -3);
  file.ReadBytes(nullptr, -1);
  EXPECT_EQ(file.Position(), 0);
  EXPECT_EQ(file.Size(), 0);
}

TEST(XanFileTest, WritesReadsAndPositionsAt64BitOffsets) {
  TempDir dir;
  const std::string name = dir.File("gross.bin");
  TXanFile file(name);
  file.Open(kXanCreate | kXanWrite | kXanRead);
  const std::int64_t far = (std::int64_t{1} << 32) + 7;  // sparse, takes no space
  file.SetPosition(far);
  file.WriteBytes("xyz", 3);
  EXPECT_EQ(file.Size(), far + 3);
  file.SetPosition(far + 1);
  char bytes[2];
  file.ReadBytes(bytes, 2);
  EXPECT_EQ(std::string(bytes, 2), "yz");
  file.Close();
}

TEST(XanFileTest, NegativePositionsAndSizesCountAsZero) {
  TempDir dir;
  const std::string name = dir.File("n.txt");
  WriteFile(name, "abc");
  TXanFile file(name);
  file.Open(kXanRead | kXanWrite);
  file.SetPosition(-5);
  EXPECT_EQ(file.Position(), 0);
  file.SetSize(-1);
  EXPECT_EQ(file.Size(), 0);
}

TEST(XanFileTest, SetSizeTruncatesOrExtendsAndMovesThePositionToTheEnd) {
  TempDir dir;
  const std::string name = dir.File("s.txt");
  WriteFile(name, "0123456789");
  TXanFile file(name);
  file.Open(kXanRead | kXanWrite);
  file.SetPosition(2);
  file.SetSize(4);
  EXPECT_EQ(file.Size(), 4);
  EXPECT_EQ(file.Position(), 4);
  file.SetSize(6);
  EXPECT_EQ(file.Position(), 6);
  file.Close();
  EXPECT_EQ(ReadFile(name), std::string("0123\0\0", 6));
}

TEST(XanFileTest, AppendOpensAtTheEnd) {
  TempDir dir;
  const std::string name = dir.File("log.txt");
  WriteFile(name, "alt");
  TXanFile file(name);
  file.Open(kXanWrite | kXanAppend);
  EXPECT_EQ(file.Position(), 3);
  file.WriteBytes("neu", 3);
  file.Close();
  EXPECT_EQ(ReadFile(name), "altneu");
}

TEST(XanFileTest, ADirectoryIsRefusedLikeAMissingFile) {
  TempDir dir;
  const std::string name = dir.path().string();
  TXanFile file(name);
  EXPECT_EQ(ErrorTextOf<EXanFileError>([&] { file.Open(kXanRead); }),
            "Die Datei \"" + name + "\" kann nicht geöffnet werden: das ist ein Verzeichnis.");
  EXPECT_FALSE(file.Exists());
  EXPECT_FALSE(FileExistsNotDirectory(name));
}

TEST(XanFileTest, ReadOnlyAttributeCreatesAFileWithoutWritePermission) {
  TempDir dir;
  const std::string name = dir.File("ro.txt");
  TXanFile file(name);
  file.Open(kXanCreate | kXanWrite | kXanReadOnly);
  file.WriteBytes("ok", 2);  // the creating handle may still write
  file.Close();
  struct stat st;
  ASSERT_EQ(::stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  EXPECT_EQ(ReadFile(name), "ok");
}

TEST(XanFileTest, LastWriteTimeCountsTicksSince1601) {
  TempDir dir;
  const std::string name = dir.File("t.txt");
  WriteFile(name, "x");
  SetModifyTime(name, 946684800);  // 2000-01-01 00:00:00 UTC
  TXanFile file(name);
  file.Open(kXanRead);
  EXPECT_EQ(file.LastWriteTime(), 125911584000000000);
  EXPECT_EQ(FileStampOf(name), (TFileStamp{125911584000000000, 1}));
}

TEST(XanFileTest, ExistsForOpenOrExistingNonDirectoryFiles) {
  TempDir dir;
  const std::string name = dir.File("e.txt");
  TXanFile file(name);
  EXPECT_FALSE(file.Exists());
  file.Open(kXanCreate | kXanWrite);
  ::unlink(name.c_str());
  EXPECT_TRUE(file.Exists());  // open, though its name is gone
  file.Close();
  EXPECT_FALSE(file.Exists());
  WriteFile(name, "");
  EXPECT_TRUE(file.Exists());
}

TEST(XanFileTest, DestructionClosesTheHandle) {
  TempDir dir;
  const std::string name = dir.File("d.txt");
  const int before = OpenDescriptors();
  {
    TXanFile file(name);
    file.Open(kXanCreate | kXanWrite);
    EXPECT_EQ(OpenDescriptors(), before + 1);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(CopyFileToTest, CopiesContentPermissionsAndTime) {
  TempDir dir;
  const std::string source = dir.File("quelle.txt");
  const std::string target = dir.File("ziel.txt");
  WriteFile(source, std::string(100000, 'q'));
  ::chmod(source.c_str(), 0640);
  SetModifyTime(source, 1000000000);
  ASSERT_TRUE(CopyFileTo(source, target, true));
  EXPECT_EQ(ReadFile(target), std::string(100000, 'q'));
  EXPECT_EQ(FileStampOf(target), FileStampOf(source));
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(CopyFileToTest, FailIfExistsLeavesTheTargetAlone) {
  TempDir dir;
  const std::string source = dir.File("a.txt");
  const std::string target = dir.File("b.txt");
  WriteFile(source, "neu");
  WriteFile(target, "alt");
  EXPECT_FALSE(CopyFileTo(source, target, true));
  EXPECT_EQ(ReadFile(target), "alt");
  EXPECT_TRUE(CopyFileTo(source, target, false));
  EXPECT_EQ(ReadFile(target), "neu");
}

TEST(CopyFileToTest, CopyingOntoItselfFailsAndKeepsTheFile) {
  TempDir dir;
  const std::string source = dir.File("a.txt");
  WriteFile(source, "inhalt");
  EXPECT_FALSE(CopyFileTo(source, source, false));
  EXPECT_EQ(ReadFile(source), "inhalt");
}

TEST(CopyFileToTest, AMissingSourceCreatesNoTarget) {
  TempDir dir;
  EXPECT_FALSE(CopyFileTo(dir.File("fehlt"), dir.File("ziel"), false));
  EXPECT_FALSE(FileExistsNotDirectory(dir.File("ziel")));
}

}  // namespace
}  // namespace vld
