#include "data/field_table.h"

#include <gtest/gtest.h>

#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;
using testing::TempDir;

TFieldTable SampleTable() {
  TFieldTable t;
  t.Append(
      "Stra\xC3\x9F"
      "e",
      1, 35, 3000);
  t.Append("PLZ", 36, 5, 5000);
  t.Append("Bemerkung", 41, 80, -1);
  t.Append(std::string(60, 'x'), 121, 1, 1000);  // cut to 50 characters
  return t;
}

TEST(FieldTableTest, SavedListLoadsBackWithAllColumns) {
  TempDir dir;
  const TFieldTable table = SampleTable();
  EXPECT_EQ(table.Rows()[3].felder, std::string(50, 'x'));
  EXPECT_EQ(table.Rows()[2].id, 2);
  table.SaveToFile(dir.File("liste.fls"));
  TFieldTable back;
  back.Append("alt", 1, 1, 1);
  back.LoadFromFile(dir.File("liste.fls"));
  EXPECT_EQ(back.Rows(), table.Rows());
  const TFieldDescs descs = back.ToFieldDescs();
  ASSERT_EQ(descs.size(), 4u);
  EXPECT_EQ(descs[0], (TFieldDesc{"Stra\xC3\x9F"
                                  "e",
                                  1, 35, 3000}));
}

TEST(FieldTableTest, FileLayoutIsLittleEndianFieldByField) {
  TFieldTable t;
  t.Append(TFieldRow{7, "PLZ", 36, 5, 5000});
  const std::string bytes = t.ToBytes();
  const std::string expected = std::string("Veldrona Feldliste (C) Korvist  ") +
                               std::string("\x01\0\0\0", 4) + std::string("\x01\0\0\0", 4) +
                               std::string("\x07\0\0\0", 4) + std::string("\x24\0\0\0", 4) +
                               std::string("\x05\0\0\0", 4) + std::string("\x88\x13\0\0", 4) +
                               std::string("\x03\0", 2) + "PLZ";
  EXPECT_EQ(bytes, expected);
}

TEST(FieldTableTest, EveryCutOfAListIsAClearMessage) {
  const std::string bytes = SampleTable().ToBytes();
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    TFieldTable t;
    const std::string error = ErrorTextOf<EDataAccess>(
        [&] { t.LoadFromBytes(std::string_view(bytes).substr(0, cut), "liste.fls"); });
    EXPECT_EQ(error, cut < 40 ? "Die Datei \"liste.fls\" ist keine Feldliste."
                              : "Die Feldliste \"liste.fls\" ist beschädigt.");
    EXPECT_EQ(t.Count(), 0u);
  }
}

TEST(FieldTableTest, DamagedListsAreRefused) {
  const std::string good = SampleTable().ToBytes();
  struct Case {
    const char* what;
    std::size_t offset;
    std::string bytes;
    std::string error;
  };
  const Case cases[] = {
      {"magic", 0, "W", "Die Datei \"liste.fls\" ist keine Feldliste."},
      {"version", 32, std::string("\x02", 1),
       "Die Feldliste \"liste.fls\" hat die Version 2; lesen kann dieses Programm die Version 1."},
      {"huge row count", 36, std::string("\xFF\xFF\xFF\x7F", 4),
       "Die Feldliste \"liste.fls\" ist beschädigt."},
      {"row count one less", 36, std::string("\x03", 1),
       "Die Feldliste \"liste.fls\" ist beschädigt."},
      {"name longer than the file", 56, std::string("\xFF\x00", 2),
       "Die Feldliste \"liste.fls\" ist beschädigt."},
      {"name not UTF-8", 58, std::string("\xFF", 1), "Die Feldliste \"liste.fls\" ist beschädigt."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    bytes.replace(c.offset, c.bytes.size(), c.bytes);
    TFieldTable t;
    EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { t.LoadFromBytes(bytes, "liste.fls"); }), c.error);
  }
  TFieldTable t;
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { t.LoadFromBytes(good + "x", "liste.fls"); }),
            "Die Feldliste \"liste.fls\" ist beschädigt.");
}

TEST(FieldTableTest, TextFormOfAFieldList) {
  TFieldTable t;
  t.LoadFromText(
      "Feld;Position;L\xC3\xA4nge;Typ\r\nName;1;30;Nachname\n\nStra\xC3\x9F"
      "e;31;35;"
      "Stra\xC3\x9F"
      "e\nPLZ;66;5;5000\nNr;71;6\n",
      "liste.txt");
  ASSERT_EQ(t.Count(), 4u);
  EXPECT_EQ(t.Rows()[0], (TFieldRow{0, "Name", 1, 30, 1002}));
  EXPECT_EQ(t.Rows()[1], (TFieldRow{1,
                                    "Stra\xC3\x9F"
                                    "e",
                                    31, 35, 3000}));
  EXPECT_EQ(t.Rows()[2], (TFieldRow{2, "PLZ", 66, 5, 5000}));
  EXPECT_EQ(t.Rows()[3], (TFieldRow{3, "Nr", 71, 6, -1}));
  struct Case {
    std::string text, error;
  };
  const Case cases[] = {
      {"Name;1;30\nOrt;x;5\n",
       "Die Feldliste \"liste.txt\" ist in Zeile 2 fehlerhaft: erwartet wird "
       "\"Feld;Position;Länge;Typ\" mit Position und Länge größer als 0."},
      {"Name;0;30\n",
       "Die Feldliste \"liste.txt\" ist in Zeile 1 fehlerhaft: erwartet wird "
       "\"Feld;Position;Länge;Typ\" mit Position und Länge größer als 0."},
      {"Name;1;30;Telefon\n",
       "Die Feldliste \"liste.txt\" nennt in Zeile 1 den unbekannten Feldtyp \"Telefon\". Möglich "
       "sind: Name, Vorname, Nachname, Firma, Strasse, Strasse/Postfach, Ort, Postleitzahl, "
       "Ident."},
      {"Feld;Position;Länge\n", "Die Feldliste \"liste.txt\" enthält keine Felder."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { t.LoadFromText(c.text, "liste.txt"); }), c.error);
  }
}

}  // namespace
}  // namespace vld
