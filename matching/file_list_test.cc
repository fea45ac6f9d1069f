#include "matching/file_list.h"

#include <gtest/gtest.h>

#include "platform/test_support.h"

namespace vld {
namespace {

TEST(FileListTest, ReadsTypePriorityAndName) {
  const TFileListResult r =
      ParseFileList({"G 10 \"kunden.txt\"  M 5 \"~T~stamm/master.txt\"", "{ Sperren }", "S 0",
                     "  \"sperr.txt\"", "K 999 \"alt\"\"e.kmp\""},
                    "liste.txt");
  ASSERT_FALSE(r.error) << *r.error;
  ASSERT_EQ(r.entries.size(), 4u);
  EXPECT_EQ(r.entries[0].type, InputFileType::kGrund);
  EXPECT_EQ(r.entries[0].priority, 10);
  EXPECT_EQ(r.entries[0].name, "kunden.txt");
  EXPECT_EQ(r.entries[1].type, InputFileType::kMaster);
  EXPECT_EQ(r.entries[1].name, "~T~stamm/master.txt");
  EXPECT_EQ(r.entries[2].type, InputFileType::kSperr);
  EXPECT_EQ(r.entries[2].name, "sperr.txt");  // an entry may span lines
  EXPECT_EQ(r.entries[3].type, InputFileType::kKompaktsperr);
  EXPECT_EQ(r.entries[3].priority, 999);
  EXPECT_EQ(r.entries[3].name, "alt\"e.kmp");
}

TEST(FileListTest, ReportsTheFirstErrorWithItsLine) {
  const std::string types =
      "Dateityp erwartet (G=Grunddatei, M=Masterdatei, S=Sperrdatei, K=Kompaktsperrdatei";
  struct Case {
    std::vector<std::string> lines;
    std::string error;
  } const cases[] = {
      {{"G 1 \"a\"", "X 1 \"b\""},
       "Fehler bei >>> X <<<in Zeile 2 der Dateiliste liste.txt:\r" + types},
      // A lower-case phrase takes the number with it.
      {{"g 1 \"a\""}, "Fehler bei >>> g 1 <<<in Zeile 1 der Dateiliste liste.txt:\r" + types},
      {{"GM 1 \"a\""}, "Fehler bei >>> GM <<<in Zeile 1 der Dateiliste liste.txt:\r" + types},
      {{"G 1000 \"a\""},
       "Fehler bei >>> 1000 <<<in Zeile 1 der Dateiliste liste.txt:\r"
       "Priorität erwartet (Zahl zwischen 0 und 999)"},
      {{"G \"a\""},
       "Fehler bei >>> a <<<in Zeile 1 der Dateiliste liste.txt:\r"
       "Priorität erwartet (Zahl zwischen 0 und 999)"},
      {{"G 1 name"},
       "Fehler bei >>> name <<<in Zeile 1 der Dateiliste liste.txt:\r"
       "Dateiname erwartet (Zeichenkette)"},
      {{"G 1", ""},
       "Fehler am Dateiende in Zeile 2 der Dateiliste liste.txt:\r"
       "Dateiname erwartet (Zeichenkette)"},
      {{"G 1 \"offen"},
       "Fehler am Zeilenende in Zeile 1 der Dateiliste liste.txt:\r"
       "Dateiname erwartet (Zeichenkette)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines[0]);
    const TFileListResult r = ParseFileList(c.lines, "liste.txt");
    ASSERT_TRUE(r.error);
    EXPECT_EQ(*r.error, c.error);
  }
}

TEST(FileListTest, AcceptsFiveHundredEntriesAndRefusesTheNextOnItsLine) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 500; ++i) lines.push_back("G 1 \"datei" + std::to_string(i) + ".txt\"");
  const TFileListResult full = ParseFileList(lines, "liste.txt");
  ASSERT_FALSE(full.error) << *full.error;
  EXPECT_EQ(full.entries.size(), 500u);
  lines.push_back("M 2 \"eine.txt\"");
  const TFileListResult over = ParseFileList(lines, "liste.txt");
  ASSERT_TRUE(over.error);
  EXPECT_EQ(*over.error,
            "Fehler bei >>> M <<<in Zeile 501 der Dateiliste liste.txt:\r"
            "zu viele Dateien (mehr als 500)");
}

TEST(FileListTest, ReadsAFileInWindowsOrUnicodeText) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("ansi.lst"), "G 1 \"M\xfcller.txt\"\r\n");
  testing::WriteFile(dir.File("utf8.lst"), "G 1 \"M\xc3\xbcller.txt\"\n");
  for (const char* name : {"ansi.lst", "utf8.lst"}) {
    SCOPED_TRACE(name);
    const TFileListResult r = ReadFileList(dir.File(name));
    ASSERT_FALSE(r.error) << *r.error;
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].name, "Müller.txt");
  }
  const TFileListResult missing = ReadFileList(dir.File("fehlt.lst"));
  ASSERT_TRUE(missing.error);
  EXPECT_EQ(*missing.error, "Die Datei \"" + dir.File("fehlt.lst") + "\" gibt es nicht.");
  testing::WriteFile(dir.File("falsch.lst"), "G 1 \"a\"\nG x");
  const TFileListResult wrong = ReadFileList(dir.File("falsch.lst"));
  ASSERT_TRUE(wrong.error);
  EXPECT_EQ(*wrong.error,
            "Fehler bei >>> x <<<in Zeile 2 der Dateiliste falsch.lst:\r"
            "Priorität erwartet (Zahl zwischen 0 und 999)");
}

}  // namespace
}  // namespace vld
