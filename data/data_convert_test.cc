#include "data/data_convert.h"

#include <gtest/gtest.h>

#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;
using testing::ReadFile;
using testing::TempDir;

// An initialised source held in memory.
class TMemoryAccess : public TDataAccess {
 public:
  TMemoryAccess(TFieldDescs descs, std::vector<std::vector<std::string>> rows,
                CodePage cp = CodePage::k1252)
      : rows_(std::move(rows)) {
    codePage = cp;
    Initialize(descs);
  }
  std::string GetField(std::int32_t index) override {
    CheckActive();
    CheckIndex(index);
    return rows_[current_][static_cast<std::size_t>(index)];
  }
  std::int64_t RecordCount() override { return static_cast<std::int64_t>(rows_.size()); }
  void First() override { next_ = 0; }
  void Fetch() override { current_ = next_; }
  void Skip() override { ++next_; }
  bool Eof() override { return next_ >= rows_.size(); }
  void Initialize(const TFieldDescs& descs) override {
    descs_ = descs;
    SetActive(true);
  }
  void Close() override { SetActive(false); }

 private:
  std::vector<std::vector<std::string>> rows_;
  std::size_t current_ = 0, next_ = 0;
};

class DataConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    converter_.OutputFile1 = dir_.File("Matchfile1.txt");
    converter_.OutputFile2 = dir_.File("Matchfile2.txt");
  }
  std::string File1() { return ReadFile(dir_.File("Matchfile1.txt")); }
  std::string File2() { return ReadFile(dir_.File("Matchfile2.txt")); }
  TempDir dir_;
  TDataConverter converter_;
};

TEST_F(DataConvertTest, IgnoredFieldsAreNeverWritten) {
  TMemoryAccess src({{"Name", -1, 30, 1000}, {"Nummer", -1, 5, -1}, {"Ort", -1, 20, 4000}},
                    {{"Meier", "12345", "Bonn"}, {"M\xFCller", "1", "K\xF6ln"}});
  converter_.Execute(src, nullptr);
  ASSERT_EQ(converter_.LayoutCount(), 2);
  EXPECT_EQ(converter_.GetLayoutField(0), (TExtFieldDesc{"Name", 1, 30, 1000, 0, -2}));
  EXPECT_EQ(converter_.GetLayoutField(1), (TExtFieldDesc{"Ort", 31, 20, 4000, 2, -2}));
  EXPECT_EQ(converter_.OutputRecordLength(), 50);
  const std::string expected = "Meier" + std::string(25, ' ') + "Bonn" + std::string(16, ' ') +
                               "\r\n" + "M\x81ller" + std::string(24, ' ') + "K\x94ln" +
                               std::string(16, ' ') + "\r\n";
  EXPECT_EQ(File1(), expected);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("Matchfile2.txt")));
  EXPECT_EQ(converter_.FieldMap(0), (TIntArray{-2, -1, -2}));
}

TEST_F(DataConvertTest, PairsEqualTypesInOrderAndWidensToTheWiderField) {
  TMemoryAccess one({{"Name", -1, 30, 1000}, {"Name 2", -1, 10, 1000}, {"PLZ", -1, 5, 5000}},
                    {{"Meier", "Hans", "53111"}});
  TMemoryAccess two({{"Ort", -1, 12, 4000}, {"Kunde", -1, 40, 1000}, {"Tel", -1, 9, -1}},
                    {{"Bonn", "Maier", "0228"}});
  converter_.Execute(one, &two);
  EXPECT_EQ(converter_.FieldMap(0), (TIntArray{1, -2, -2}));
  EXPECT_EQ(converter_.FieldMap(1), (TIntArray{-2, 0, -1}));
  const TExtFieldDescs expected = {{"Name", 1, 40, 1000, 0, 1},
                                   {"Name 2", 41, 10, 1000, 1, -2},
                                   {"PLZ", 51, 5, 5000, 2, -2},
                                   {"Ort", 56, 12, 4000, -2, 0}};
  EXPECT_EQ(converter_.Layout(), expected);
  EXPECT_EQ(File1(), "Meier" + std::string(35, ' ') + "Hans" + std::string(6, ' ') + "53111" +
                         std::string(12, ' ') + "\r\n");
  EXPECT_EQ(File2(), "Maier" + std::string(35, ' ') + std::string(10, ' ') + std::string(5, ' ') +
                         "Bonn" + std::string(8, ' ') + "\r\n");
  TFieldTable table;
  converter_.FillTable(table);
  ASSERT_EQ(table.Count(), 4u);
  EXPECT_EQ(table.Rows()[3], (TFieldRow{3, "Ort", 56, 12, 4000}));
}

TEST_F(DataConvertTest, TranslatesIntoCodePage437) {
  TMemoryAccess src({{"Name", -1, 6, 1000}}, {{"\xE4\xC0\xDF\x80"}});  // ä À ß € in 1252
  converter_.Execute(src, nullptr);
  EXPECT_EQ(File1(),
            "\x84"
            "A\xE1"
            "EUR\r\n");
}

// A value longer than its field used to be written whole, shifting the rest of its record; it
// is cut to the field's width and counted.
TEST_F(DataConvertTest, CutsValuesLongerThanTheirFieldAndCountsThem) {
  TMemoryAccess src({{"Name", -1, 4, 1000}, {"Ort", -1, 3, 4000}, {"Lang", -1, 400, 2000}},
                    {{"Meier", "Bonn", std::string(300, 'x')},
                     {"Mai", "Ulm", "y"},
                     {"\x80\x80", "Aue", "z"}});  // "EUREUR" from two characters
  converter_.Execute(src, nullptr);
  EXPECT_EQ(converter_.GetLayoutField(2).length, kMaxFieldWidth);
  const std::string records = File1();
  EXPECT_EQ(records.size(), 3u * (4 + 3 + 255 + 2));
  EXPECT_EQ(records.substr(0, 7), "MeieBon");
  EXPECT_EQ(records.substr(264, 7), "Mai Ulm");
  EXPECT_EQ(records.substr(528, 7), "EUREAue");
  EXPECT_EQ(converter_.Journal(),
            (std::vector<std::string>{"Eingabedatei 1, Feld \"Name\": 2 Werte gekürzt",
                                      "Eingabedatei 1, Feld \"Ort\": 1 Werte gekürzt",
                                      "Eingabedatei 1, Feld \"Lang\": 1 Werte gekürzt"}));
}

TEST_F(DataConvertTest, RecordNumbersFollowTheLayoutOverBothFiles) {
  TMemoryAccess one({{"Name", -1, 3, 1000}}, {{"a"}, {"b"}});
  TMemoryAccess two({{"Name", -1, 3, 1000}}, {{"c"}});
  converter_.SetRecordNumberWidth(4);
  converter_.Execute(one, &two);
  EXPECT_EQ(converter_.RecordNumberPosition(), 4);
  EXPECT_EQ(converter_.OutputRecordLength(), 7);
  EXPECT_EQ(File1(), "a  0001\r\nb  0002\r\n");
  EXPECT_EQ(File2(), "c  0003\r\n");
  EXPECT_EQ(converter_.WrittenRecords(0), 2);
  EXPECT_EQ(converter_.WrittenRecords(1), 1);
}

TEST_F(DataConvertTest, RefusesARecordTooLongForAParameterSet) {
  TFieldDescs many(33, TFieldDesc{"Name", -1, 255, 1000});
  TMemoryAccess src(many, {});
  EXPECT_EQ(ErrorTextOf<EUserError>([&] { converter_.Execute(src, nullptr); }),
            "Der gemeinsame Satzaufbau wäre 8415 Zeichen lang; möglich sind höchstens 8160. Bitte "
            "ordnen Sie weniger Spalten einem Feldtyp zu.");
}

TEST_F(DataConvertTest, RefusesAnInvalidOptionAndAnIndexOutside) {
  TMemoryAccess src({{"Name", -1, 3, 1000}}, {{"a"}});
  converter_.Execute(src, nullptr);
  EXPECT_EQ(ErrorTextOf<EUserError>([&] { converter_.WriteFile(&src, 2); }), "invalid option");
  EXPECT_EQ(ErrorTextOf<EUserError>([&] { converter_.GetLayoutField(1); }),
            "Index ausserhalb der Grenzen.");
  EXPECT_EQ(ErrorTextOf<EUserError>([&] { converter_.GetLayoutField(-1); }),
            "Index ausserhalb der Grenzen.");
}

}  // namespace
}  // namespace vld
