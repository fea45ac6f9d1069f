// Cell commits, paths and listings: what the editor window and the command line call.
#include <gtest/gtest.h>

#include <functional>

#include "params/match_schema.h"
#include "params/param_edit.h"
#include "params/param_listing.h"
#include "params/param_path.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {
namespace {

class ParamEditingTest : public testing::Test {
 protected:
  ParamEditingTest()
      : schema_(BuildMatchParamSchema()),
        root_(static_cast<TParamTVRecord*>(schema_->NewValue().release())) {}

  TParamPathTarget Resolve(std::string_view path, bool append = false, int edit_level = 1) {
    TParamPathOptions options;
    options.allow_append = append;
    options.edit_level = edit_level;
    return ResolveParamPath(*root_, path, options);
  }
  TParamTVElementary& Cell(std::string_view path) {
    return dynamic_cast<TParamTVElementary&>(*Resolve(path, true).value);
  }
  std::string ErrorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const EUserError& e) {
      return e.what();
    }
    return "(kein Fehler)";
  }

  TParamTypeRef<const TParamTTRecord> schema_;
  std::unique_ptr<TParamTVRecord> root_;
};

TEST_F(ParamEditingTest, CommitsCellTextsWithTheEditorsRules) {
  struct Case {
    const char* path;
    std::string text;
    CellResult result;
    std::string shown;
  } cases[] = {
      {"Kriterien.Schwellenwert", "  250 ", CellResult::kAccepted, "250"},
      {"Kriterien.Schwellenwert", "0", CellResult::kInvalidValue, "250"},
      {"Listendarstellung.Job-Text", "Lauf vom %s", CellResult::kAccepted, "'Lauf vom %s'"},
      {"Listendarstellung.Job-Text", "'a'#9'b'", CellResult::kAccepted, "'a'#9'b'"},
      {"Listendarstellung.Job-Text", "'it''s'", CellResult::kAccepted, "'it''s'"},
      {"Listendarstellung.Job-Text", "it's", CellResult::kMalformedLiteral, "'it''s'"},
      {"Listendarstellung.Job-Text", "#300", CellResult::kMalformedLiteral, "'it''s'"},
      {"Listendarstellung.Job-Text", "#228'rger'", CellResult::kAccepted, "'ärger'"},
      {"Listendarstellung.Symbole.Kopfsatz", "'#'", CellResult::kAccepted, "'#'"},
      {"Listendarstellung.Symbole.Kopfsatz", "#9", CellResult::kInvalidValue, "'#'"},
      {"Satzaufbau.Bewertungssteuerung.Verketter", "#9", CellResult::kAccepted, "#9"},
      {"Ausgabedateien.Name", "  Lauf#1 ", CellResult::kAccepted, "Lauf#1"},  // not quoted
      {"Ausgabedateien.Name", "  ", CellResult::kInvalidValue, "Lauf#1"},
      {"Schaltwerk.Sprache", "französisch", CellResult::kAccepted, "Französisch"},
      {"Beschreibung", "  zwei\r\nZeilen  ", CellResult::kAccepted, ">>>   zwei \xc3\xb7 Zeilen"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + std::string("=") + c.text);
    TParamTVElementary& cell = Cell(c.path);
    EXPECT_EQ(CommitCellText(cell, c.text), c.result);
    EXPECT_EQ(cell.AsText(1), c.shown);
  }
  EXPECT_STREQ(CellResultText(CellResult::kInvalidValue), "Unzulässiger Wert.");
  EXPECT_STREQ(CellResultText(CellResult::kMalformedLiteral),
               "Ungültige Zeichenketten-Darstellung.");
}

TEST_F(ParamEditingTest, ResolvesPathsAsTheCheckPrintsThem) {
  Resolve("Kriterien.Slots [1]", true);
  Resolve("Kriterien.Slots[2]", true);
  TParamTVDiscriminantAlias alias;
  alias.Attach(*Resolve("Kriterien.Slots[2].Art des Slots").discriminant_of);
  ASSERT_TRUE(alias.SetAsText("Straße"));
  struct Case {
    const char* path;
    const char* canonical;
  } cases[] = {
      {"Kriterien.Slots[2].Komponenten[1].Wort-Hürde", "Kriterien.Slots [2].Straße.Wort-Hürde"},
      {"Kriterien.Slots [2].Komponenten [2].Basis", "Kriterien.Slots [2].Hausnummer.Basis"},
      {"kriterien.slots [2].STRASSE", ""},
      {"Kriterien.Slots  [ 2 ].Straße.Art der Komponente",
       "Kriterien.Slots [2].Straße.Art der Komponente"},
      {"Root.Listendarstellung.Max. Namenslänge", "Listendarstellung.Max. Namenslänge"},
      {"listendarstellung.max. namenslänge", "Listendarstellung.Max. Namenslänge"},
      {"Eingabedateien.Ort der Eingabeliste", "Eingabedateien.Ort der Eingabeliste"},
      {"Satzaufbau.Klassenschlüssel [1].Länge", "Satzaufbau.Klassenschlüssel [1].Länge"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    if (*c.canonical == '\0') {
      EXPECT_EQ(ErrorOf([&] { Resolve(c.path); }),
                "Den Parameter \"" + std::string(c.path) + "\" gibt es nicht.");
    } else {
      EXPECT_EQ(Resolve(c.path).path, c.canonical);
    }
  }
  EXPECT_EQ(Resolve("Kriterien.Slots [2].Komponenten [1].Wort-Hürde").value,
            Resolve("Kriterien.Slots [2].Straße.Wort-Hürde").value);
  EXPECT_NE(Resolve("Eingabedateien.Ort der Eingabeliste").discriminant_of, nullptr);
}

TEST_F(ParamEditingTest, PathErrorsNameTheProblem) {
  struct Case {
    const char* path;
    bool append;
    int edit_level;
    std::string message;
  } cases[] = {
      {"Kriterien.Slots [1]", false, 1,
       "Kriterien.Slots: Das Element 1 gibt es nicht (die Liste hat 0 Elemente)."},
      {"Kriterien.Slots [2]", true, 1,
       "Kriterien.Slots: Das Element 2 gibt es nicht (die Liste hat 0 Elemente)."},
      {"Kriterien.Slots [0]", true, 1,
       "Kriterien.Slots: Das Element 0 gibt es nicht (die Liste hat 0 Elemente)."},
      {"Kriterien.Slots [1]", true, 2,
       "Kriterien.Slots: Die Liste kann in diesem Parametersatz nicht verändert werden."},
      {"Kriterien.Schwellenwert [1]", false, 1,
       "Den Parameter \"Kriterien.Schwellenwert [1]\" gibt es nicht."},
      {"Kriterien.Slots [1", false, 1, "Den Parameter \"Kriterien.Slots [1\" gibt es nicht."},
      {"Kriterien.", false, 1, "Den Parameter \"Kriterien.\" gibt es nicht."},
      {"", false, 1, "Den Parameter \"\" gibt es nicht."},
      {"Kompaktor.Kompaktsperrdatei erzeugen.Ja", false, 1,
       "Den Parameter \"Kompaktor.Kompaktsperrdatei erzeugen.Ja\" gibt es nicht."},
      {"Kompaktor.Name der Kompaktsperrdatei", false, 1,
       "Den Parameter \"Kompaktor.Name der Kompaktsperrdatei\" gibt es nicht."},  // variant Nein
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ErrorOf([&] { Resolve(c.path, c.append, c.edit_level); }), c.message);
  }
  for (int i = 1; i <= 32; ++i) Resolve(Format("Kriterien.Slots [%d]", i), true);
  EXPECT_EQ(ErrorOf([&] { Resolve("Kriterien.Slots [33]", true); }),
            "Kriterien.Slots: Die Liste hat bereits die Höchstzahl von 32 Elementen.");
}

TEST_F(ParamEditingTest, TargetsKnowTheLowestLevelOnTheirWay) {
  Resolve("Kriterien.Slots [1]", true);
  EXPECT_EQ(Resolve("Kriterien.Slots [1].Komponente.Qualität").min_level, 1);  // union level 1
  EXPECT_EQ(Resolve("Kriterien.Slots [1].Art des Slots").min_level, 1);        // SlotKind level 1
  EXPECT_EQ(Resolve("Kriterien.Slots [1].Felder").min_level, 3);
  EXPECT_EQ(Resolve("Ausgabedateien.Name").min_level, 4);
  EXPECT_EQ(Resolve("Justierung.Hash-Hürde").min_level, 1);
}

TEST_F(ParamEditingTest, ListingLabelsAndStatesFollowTheEditor) {
  Resolve("Kriterien.Slots [1]", true);
  CommitCellText(Cell("Kriterien.Slots [1].Slot-Name"), "Namen");
  root_->Commit(false);
  CommitCellText(Cell("Kriterien.Schwellenwert"), "300");
  const auto lines = ListParamTree(*root_, 1);
  const auto find = [&](const std::string& path) -> const TParamListingLine& {
    for (const auto& line : lines) {
      if (line.path == path) return line;
    }
    static TParamListingLine none;
    ADD_FAILURE() << path;
    return none;
  };
  const TParamListingLine& slot = find("Kriterien.Slots [1]");
  EXPECT_EQ(slot.label, "[1]  Namen");
  EXPECT_EQ(slot.depth, 2);
  EXPECT_FALSE(slot.has_value);
  const TParamListingLine& kind = find("Kriterien.Slots [1].Art des Slots");
  EXPECT_EQ(kind.label, "Art des Slots");
  EXPECT_EQ(kind.value, "Normal");
  EXPECT_EQ(kind.depth, 3);
  EXPECT_EQ(kind.state, kStateUnchanged);
  EXPECT_EQ(find("Kriterien.Slots [1].Slot-Name").depth, 3);
  EXPECT_EQ(find("Kriterien.Schwellenwert").state, kStateChanged);
  EXPECT_EQ(find("Kriterien").state, kStateChanged);
  EXPECT_EQ(find("Schaltwerk").state, kStateUnchanged);
  EXPECT_EQ(find("Listendarstellung.Spaltenliste [7]").label, "[7]  Intra-Dubletten");
  EXPECT_EQ(find("Beschreibung").value, "");
}

TEST_F(ParamEditingTest, SchemaListingNamesTypesDefaultsAndLevels) {
  const auto lines = ListSchema(*schema_);
  const auto has = [&](int depth, const std::string& text) {
    for (const auto& line : lines) {
      if (line.depth == depth && line.text == text) return true;
    }
    return false;
  };
  EXPECT_TRUE(has(0, "Root: Root (Stufe 4)"));
  EXPECT_TRUE(has(1, "Beschreibung: Memo, Vorgabe  (Stufe 4)"));
  EXPECT_TRUE(
      has(2, "Sprache: Enum (Language,2) [Deutsch, Französisch], Vorgabe Deutsch (Stufe 4)"));
  EXPECT_TRUE(has(2, "Schwellenwert: Integer (1,50000), Vorgabe 100 (Stufe 1)"));
  EXPECT_TRUE(has(2, "Slots: List (1,32) of Slot, Vorgabe 0 Elemente (Stufe 4)"));
  EXPECT_TRUE(has(4,
                  "Art des Slots: Enum (SlotKind,7) [Ident, Text, Normal, Firma, Name, Straße, "
                  "Str/Postfach] (Stufe 1), Vorgabe Normal"));
  EXPECT_TRUE(has(4, "Variante Text: SlText (Stufe 4), wie oben"));
  EXPECT_TRUE(has(2, "Variante Nein: (leer)"));
}

}  // namespace
}  // namespace vld
