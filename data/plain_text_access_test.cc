#include "data/plain_text_access.h"

#include <gtest/gtest.h>

#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;
using testing::TempDir;

class PlainTextAccessTest : public ::testing::Test {
 protected:
  TPlainTextAccess& Open(const std::string& bytes, TFieldDescs descs,
                         CodePage cp = CodePage::k437) {
    testing::WriteFile(dir_.File("fest.txt"), bytes);
    access_.SetFileName(dir_.File("fest.txt"));
    access_.codePage = cp;
    access_.Initialize(descs);
    return access_;
  }
  std::vector<std::vector<std::string>> ReadAll() {
    std::vector<std::vector<std::string>> rows;
    access_.First();
    while (!access_.Eof()) {
      access_.Fetch();
      std::vector<std::string> row;
      for (std::int32_t i = 0; i < access_.FieldCount(); ++i) row.push_back(access_.GetField(i));
      rows.push_back(row);
      access_.Skip();
    }
    return rows;
  }
  TempDir dir_;
  TPlainTextAccess access_;
};

TEST_F(PlainTextAccessTest, FieldsAreCharacterRangesOfTheLine) {
  Open("Meier     Bonn\r\nMaier\r\n\r\nM\x81ller    K\x94ln   \n",
       {{"Name", 1, 10, 1000}, {"Ort", 11, 6, 4000}, {"Rest", 40, 5, -1}});
  EXPECT_EQ(ReadAll(), (std::vector<std::vector<std::string>>{{"Meier     ", "Bonn", ""},
                                                              {"Maier", "", ""},
                                                              {"M\x81ller    ", "K\x94ln  ", ""}}));
}

TEST_F(PlainTextAccessTest, PositionsOfAUtf8FileCountCharacters) {
  Open("M\xC3\xBCller    K\xC3\xB6ln\n", {{"Name", 1, 10, 1000}, {"Ort", 11, 4, 4000}},
       CodePage::kUtf8);
  EXPECT_EQ(ReadAll(),
            (std::vector<std::vector<std::string>>{{"M\xC3\xBCller    ", "K\xC3\xB6ln"}}));
}

TEST_F(PlainTextAccessTest, RecordCountIsTheFileSizeOverTheRecordLength) {
  access_.SetRecordLength(100);
  Open(std::string(1000, 'x'), {{"x", 1, 1, -1}});
  EXPECT_EQ(access_.RecordCount(), 10);
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { access_.SetRecordLength(50); }),
            "Änderung der Satzlänge im initialisierten Zustand nicht möglich!");
  EXPECT_EQ(access_.Description(), "Datei mit festem Satzaufbau - " + dir_.File("fest.txt") +
                                       "\r\nCodepage: DOS - Deutsch (437)    Satzlänge : 100");
}

TEST_F(PlainTextAccessTest, DetectsTheRecordLengthFromTheFirstBlock) {
  struct Case {
    const char* what;
    std::string bytes;
    std::int32_t length;
    bool fails;
  };
  std::string records;
  while (records.size() < 5000) records += "Meier     Bonn  \r\n";
  const Case cases[] = {
      {"records of 18 bytes", records, 18, false},
      {"line feeds only", std::string(5000, 'x') + "\n", 0, false},
      {"first CR LF beyond 4094", std::string(4095, 'x') + "\r\n" + std::string(10, 'y'), 0, false},
      {"CR LF at 4093", std::string(4093, 'x') + "\r\n" + std::string(10, 'y'), 4095, false},
      {"shorter than 4096 bytes", "Meier\r\n", 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::WriteFile(dir_.File("fest.txt"), c.bytes);
    TPlainTextAccess plain;
    plain.SetFileName(dir_.File("fest.txt"));
    plain.SetRecordLength(7);
    if (c.fails) {
      EXPECT_THROW(plain.DetectRecordLength(), EInOutError);
    } else {
      plain.DetectRecordLength();
      EXPECT_EQ(plain.RecordLength(), c.length);
    }
  }
}

TEST_F(PlainTextAccessTest, AByteOrderMarkSelectsUtf8AndInvalidUtf8NamesTheLine) {
  Open("\xEF\xBB\xBFK\xC3\xB6ln\nBonn\nK\xF6ln\n", {{"Ort", 1, 4, 4000}});
  EXPECT_EQ(access_.codePage, CodePage::kUtf8);
  access_.First();
  access_.Fetch();
  EXPECT_EQ(access_.GetField(0), "K\xC3\xB6ln");
  access_.Skip();
  access_.Fetch();
  access_.Skip();
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { access_.Fetch(); }),
            "Die Datei \"" + dir_.File("fest.txt") +
                "\" ist in Zeile 3 nicht gültig in UTF-8 "
                "kodiert.");
}

TEST_F(PlainTextAccessTest, MissingFile) {
  access_.SetFileName(dir_.File("fehlt.txt"));
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { access_.Initialize({}); }),
            "Die Datei " + dir_.File("fehlt.txt") + " existiert nicht.");
  EXPECT_FALSE(access_.Active());
}

}  // namespace
}  // namespace vld
