#include "data/layout_params.h"

#include <gtest/gtest.h>

#include "data/data_test_util.h"
#include "params/match_schema.h"
#include "params/param_assign.h"
#include "params/param_listing.h"
#include "params/param_path.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;

class LayoutParamsTest : public ::testing::Test {
 protected:
  LayoutParamsTest() : schema_(BuildMatchParamSchema()) {
    set_.root.reset(static_cast<TParamTVRecord*>(schema_->NewValue().release()));
  }
  void Assign(const std::vector<std::string>& assignments) {
    for (const std::string& a : assignments) AssignParamPath(set_, a);
  }
  void AssignShipped(const std::string& name) { set_ = testing::ShippedParamSet(name); }
  std::string Text(std::string_view path) {
    const TParamPathTarget target = ResolveParamPath(*set_.root, path);
    if (target.discriminant_of != nullptr) return target.discriminant_of->DiscriminantName();
    return target.value->AsText(1);
  }
  std::int32_t Count(std::string_view path) {
    return static_cast<TParamTVList&>(*ResolveParamPath(*set_.root, path).value).Count();
  }
  // "Feldname Position Länge" of each entry of a field list.
  std::vector<std::string> Entries(const std::string& path) {
    std::vector<std::string> out;
    for (std::int32_t i = 1; i <= Count(path); ++i) {
      const std::string e = path + " [" + std::to_string(i) + "].";
      out.push_back(Text(e + "Feldname") + " " + Text(e + "Position") + " " + Text(e + "Länge"));
    }
    return out;
  }
  // Paths of the values that are not valid (list sizes, name lengths, ranges).
  std::vector<std::string> InvalidPaths() {
    std::vector<std::string> out;
    for (const TParamListingLine& line : ListParamTree(*set_.root, 1)) {
      if (line.object != nullptr && !line.object->IsValid()) out.push_back(line.path);
    }
    return out;
  }
  static TFieldTable Layout(const std::vector<TFieldRow>& rows) {
    TFieldTable t;
    for (const TFieldRow& r : rows) t.Append(r);
    return t;
  }
  TParamTypeRef<const TParamTTRecord> schema_;
  TParamSet set_;
};

TEST_F(LayoutParamsTest, ListFieldsCoverTheWholeRecord) {
  Assign({"Kriterien.Slots [1].Art des Slots=Name"});
  const TFieldTable layout = Layout({{0, "Name", 1, 30, 1000}});
  struct Case {
    std::int32_t length;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {600, {"#1 1 255", "#256 256 255", "#511 511 90"}},
      {255, {"#1 1 255"}},
      {256, {"#1 1 255", "#256 256 1"}},
      {510, {"#1 1 255", "#256 256 255"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    WriteLayoutToParams(*set_.root, layout, c.length);
    EXPECT_EQ(Entries("Satzaufbau.Listenfelder"), c.entries);
    EXPECT_EQ(Text("Satzaufbau.Datensatzlänge"), std::to_string(c.length + 2));
  }
}

TEST_F(LayoutParamsTest, ASlotWithoutFieldsOfItsTypeStops) {
  Assign({"Kriterien.Slots [1].Art des Slots=Firma"});
  EXPECT_EQ(ErrorTextOf<EUserError>([&] {
              WriteLayoutToParams(*set_.root, Layout({{0, "Ort", 1, 20, 4000}}), 20);
            }),
            "Die Parameterdatei sieht mindestens ein Feld vom Typ Firma vor. Bitte geben Sie "
            "mindestens ein solches Feld in den Feldlisten an.");
  Assign({"Kriterien.Slots [1].Art des Slots=Normal", "Kriterien.Slots [1].Slot-Name=Telefon"});
  EXPECT_EQ(ErrorTextOf<EUserError>([&] {
              WriteLayoutToParams(*set_.root, Layout({{0, "Ort", 1, 20, 4000}}), 20);
            }),
            "Die Parameterdatei sieht mindestens ein Feld vom Typ Telefon vor. Bitte geben Sie "
            "mindestens ein solches Feld in den Feldlisten an.");
}

// The shipped set for persons matches with "Normal" slots named after the name parts: "Name"
// takes every part of the person's name, "Vorname" the first name; the class key comes from
// the postal code.
TEST_F(LayoutParamsTest, ShippedPersonSetTakesTheLayout) {
  AssignShipped("Privatadressen");
  const std::vector<std::string> invalidBefore = InvalidPaths();
  const TFieldTable layout = Layout({{0, "Vorname", 1, 18, 1001},
                                     {1, "Nachname", 19, 15, 1002},
                                     {2,
                                      "Stra\xC3\x9F"
                                      "e",
                                      34, 26, 3000},
                                     {3, "Hausnummer", 60, 4, 3000},
                                     {4, "PLZ", 64, 5, 5000},
                                     {5, "Ort", 69, 19, 4000}});
  WriteLayoutToParams(*set_.root, layout, 97);
  EXPECT_EQ(Entries("Kriterien.Slots [1].Felder"),
            (std::vector<std::string>{"Vorname 1 18", "Nachname 19 15"}));
  EXPECT_EQ(Entries("Kriterien.Slots [2].Felder"), (std::vector<std::string>{"Vorname 1 18"}));
  EXPECT_EQ(Entries("Kriterien.Slots [3].Felder"), (std::vector<std::string>{"Stra\xC3\x9F"
                                                                             "e 34 26",
                                                                             "Hausnummer 60 4"}));
  EXPECT_EQ(Entries("Satzaufbau.Klassenschlüssel"), (std::vector<std::string>{"PLZ 64 5"}));
  EXPECT_EQ(Text("Satzaufbau.Ortsfeld.Position"), "69");
  EXPECT_EQ(Text("Satzaufbau.Ortsfeld.Länge"), "19");
  EXPECT_EQ(Text("Satzaufbau.Ident.Länge"), "0");
  EXPECT_EQ(Text("Satzaufbau.Datensatzlänge"), "99");
  EXPECT_EQ(InvalidPaths(), invalidBefore);
}

TEST_F(LayoutParamsTest, ShippedCompanySetTakesCompanyAndContactFields) {
  AssignShipped("Firmenadressen");
  const std::vector<std::string> invalidBefore = InvalidPaths();
  const TFieldTable layout = Layout({{0, "Firma", 1, 40, 2000},
                                     {1, "Vorname", 41, 10, 1001},
                                     {2, "Nachname", 51, 12, 1002},
                                     {3,
                                      "Stra\xC3\x9F"
                                      "e",
                                      63, 26, 3000},
                                     {4, "PLZ", 89, 5, 5000},
                                     {5, "Ort", 94, 19, 4000}});
  WriteLayoutToParams(*set_.root, layout, 112);
  EXPECT_EQ(Entries("Kriterien.Slots [1].Namensfelder"), (std::vector<std::string>{"Firma 1 40"}));
  EXPECT_EQ(Entries("Kriterien.Slots [1].AP Felder"),
            (std::vector<std::string>{"Vorname 41 10", "Nachname 51 12"}));
  EXPECT_EQ(Text("Kriterien.Slots [1].AKZ-Feld.Länge"), "0");
  EXPECT_EQ(Entries("Kriterien.Slots [2].Felder"), (std::vector<std::string>{"Stra\xC3\x9F"
                                                                             "e 63 26"}));
  EXPECT_EQ(Entries("Satzaufbau.Klassenschlüssel"), (std::vector<std::string>{"PLZ 89 5"}));
  EXPECT_EQ(InvalidPaths(), invalidBefore);
}

TEST_F(LayoutParamsTest, IdentAndStreetBoxSlots) {
  Assign({"Kriterien.Slots [1].Art des Slots=Ident", "Kriterien.Slots [2].Art des Slots=Ident",
          "Kriterien.Slots [3].Art des Slots=Str/Postfach"});
  const TFieldTable layout = Layout({{0, "Kundennr", 1, 8, 5001},
                                     {1, "PLZ", 9, 5, 5000},
                                     {2, "Postfach", 14, 10, 3001},
                                     {3,
                                      "Stra\xC3\x9F"
                                      "e",
                                      24, 30, 3000}});
  WriteLayoutToParams(*set_.root, layout, 53);
  // The first field of types 5000-5999 is the class key, once for both slots.
  EXPECT_EQ(Entries("Satzaufbau.Klassenschlüssel"), (std::vector<std::string>{"Kundennr 1 8"}));
  EXPECT_EQ(Entries("Kriterien.Slots [2].Felder"),
            (std::vector<std::string>{"Kundennr 1 8", "PLZ 9 5"}));
  EXPECT_EQ(Entries("Kriterien.Slots [3].Felder"), (std::vector<std::string>{"Postfach 14 10",
                                                                             "Stra\xC3\x9F"
                                                                             "e 24 30"}));
  // Without a city field the last street field of the "Str/Postfach" slot is the city field.
  EXPECT_EQ(Text("Satzaufbau.Ortsfeld.Position"), "24");
}

TEST_F(LayoutParamsTest, NamesAreMadeValidAndUnique) {
  EXPECT_EQ(ParamFieldName("  Stra\xC3\x9F"
                           "e und Hausnummer des Kunden",
                           7),
            "Stra\xC3\x9F"
            "e und Hausnumme");
  EXPECT_EQ(ParamFieldName("\xC5\x90rs\tX", 7), "rs X");  // Ő is not in Windows-1252
  EXPECT_EQ(ParamFieldName(" \x01 ", 7), "#7");
  Assign({"Kriterien.Slots [1].Art des Slots=Name"});
  WriteLayoutToParams(*set_.root,
                      Layout({{0, "Name des Kunden (Teil eins)", 1, 5, 1000},
                              {1, "Name des Kunden (Teil zwei)", 6, 5, 1000},
                              {2, "Name", 11, 5, 1000},
                              {3, "Name", 16, 5, 1000}}),
                      20);
  EXPECT_EQ(Entries("Kriterien.Slots [1].Felder"),
            (std::vector<std::string>{"Name des Kunden (Tei 1 5", "Name des Kunden (T 2 6 5",
                                      "Name 11 5", "Name 2 16 5"}));
  for (const std::string& path : InvalidPaths()) EXPECT_EQ(path.find("Slots"), std::string::npos);
}

TEST_F(LayoutParamsTest, AFullListIsAMessage) {
  Assign({"Kriterien.Slots [1].Art des Slots=Name"});
  TFieldTable layout;
  for (int i = 0; i < 33; ++i) layout.Append("N" + std::to_string(i), i + 1, 1, 1000);
  EXPECT_EQ(ErrorTextOf<EUserError>([&] { WriteLayoutToParams(*set_.root, layout, 33); }),
            "Die Liste \"Felder\" des Parametersatzes kann höchstens 32 Felder aufnehmen. Bitte "
            "ordnen Sie weniger Spalten diesem Feldtyp zu.");
}

}  // namespace
}  // namespace vld
