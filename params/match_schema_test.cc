#include "params/match_schema.h"

#include <gtest/gtest.h>

#include "params/match_schema_types.h"
#include "params/param_edit.h"
#include "params/param_file.h"
#include "params/param_listing.h"
#include "params/param_path.h"
#include "platform/errors.h"

namespace vld {
namespace {

class MatchSchemaTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    schema_ = new TParamTypeRef<const TParamTTRecord>(BuildMatchParamSchema());
  }
  static void TearDownTestSuite() {
    delete schema_;
    schema_ = nullptr;
  }
  static const TParamTTRecord& Schema() { return **schema_; }

  static TParamSet NewSet() {
    TParamSet set;
    set.root.reset(static_cast<TParamTVRecord*>(Schema().NewValue().release()));
    return set;
  }
  static TParamTreeValue& At(TParamSet& set, std::string_view path, bool append = false) {
    TParamPathOptions options;
    options.allow_append = append;
    return *ResolveParamPath(*set.root, path, options).value;
  }
  // The display text of the addressed value; a discriminant shows its name.
  static std::string Text(TParamSet& set, std::string_view path, bool append = false) {
    TParamPathOptions options;
    options.allow_append = append;
    const TParamPathTarget target = ResolveParamPath(*set.root, path, options);
    if (target.discriminant_of != nullptr) return target.discriminant_of->DiscriminantName();
    return target.value->AsText(1);
  }
  static void Set(TParamSet& set, std::string_view path, std::string_view text) {
    TParamPathOptions options;
    options.allow_append = true;
    const TParamPathTarget target = ResolveParamPath(*set.root, path, options);
    CellResult result;
    if (target.discriminant_of != nullptr) {
      TParamTVDiscriminantAlias alias;
      alias.Attach(*target.discriminant_of);
      result = CommitCellText(alias, text);
    } else {
      result = CommitCellText(dynamic_cast<TParamTVElementary&>(*target.value), text);
    }
    ASSERT_EQ(result, CellResult::kAccepted) << path << "=" << text;
  }

  static TParamTypeRef<const TParamTTRecord>* schema_;
};
TParamTypeRef<const TParamTTRecord>* MatchSchemaTest::schema_ = nullptr;

TEST_F(MatchSchemaTest, RootMembersAndLevels) {
  const std::pair<const char*, int> members[] = {
      {"Beschreibung", 4},      {"Schaltwerk", 3}, {"Pfade", 4},      {"Eingabedateien", 4},
      {"Ausgabedateien", 4},    {"Kompaktor", 2},  {"Satzaufbau", 3}, {"Kriterien", 3},
      {"Listendarstellung", 4}, {"Justierung", 2}, {"Wartung", 2}};
  ASSERT_EQ(Schema().MemberCount(), 11);
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(Schema().MemberName(i), members[i].first);
    EXPECT_EQ(Schema().MemberType(i).Level(), members[i].second) << members[i].first;
  }
}

TEST_F(MatchSchemaTest, DefaultsOfANewSet) {
  TParamSet set = NewSet();
  const std::pair<const char*, const char*> defaults[] = {
      {"Schaltwerk.Sprache", "Deutsch"},
      {"Schaltwerk.Multi-Dubletten", "Ja"},
      {"Schaltwerk.neu bewertete Sätze auflisten", "Ja"},
      {"Schaltwerk.Mindestpunkte", "Nein"},
      {"Eingabedateien.Ort der Eingabeliste", "Parameter"},
      {"Ausgabedateien.Name", "vld"},
      {"Ausgabedateien.Schwarze Liste Cache", "Cache\\*.blx"},
      {"Ausgabedateien.Temporärdatei 4", "*4.tmp"},
      {"Kompaktor.Kompaktsperrdatei erzeugen", "Nein"},
      {"Satzaufbau.Datensatzlänge", "0"},
      {"Satzaufbau.Klassenschlüssel [1].Feldname", "#"},
      {"Satzaufbau.Klassenschlüssel [1].Länge", "5"},
      {"Satzaufbau.Bewertungssteuerung.Verketter", "';'"},
      {"Satzaufbau.Bewertungssteuerung.Jahrhundert-Fenster", "-1"},
      {"Kriterien.Schwellenwert", "100"},
      {"Listendarstellung.Max. Namenslänge", "20"},
      {"Listendarstellung.Spalten", "75"},
      {"Listendarstellung.Job-Text", "'Lorn, den %s'"},
      {"Listendarstellung.Kopf der Statistik", "'Veldrona -- Protokoll'"},
      {"Listendarstellung.Sperrsatz-Text", "'Sperrsatz aus Datei %%%'"},
      {"Listendarstellung.Spaltenliste [1].Darstellung", "Pflichtspalte"},
      {"Listendarstellung.Spaltenliste [7].Spalte", "Intra"},
      {"Listendarstellung.Spaltenliste [9].Darstellung", "zeigen"},
      {"Listendarstellung.Spaltenliste [14].Spalte", "Multi"},
      {"Listendarstellung.Symbole.Kopfsatz", "'='"},
      {"Listendarstellung.Symbole.Folgesatz", "' '"},
      {"Listendarstellung.Symbole.mit Datei-Priorität", "'+'"},
      {"Justierung.Token-Hürde", "4"},
      {"Justierung.erster 1-Zeichen-Fehler", "4"},
      {"Justierung.weitere 1-Zeichen-Fehler", "3"},
      {"Wartung.Merge-Optimierung", "Ja"},
      {"Wartung.Ausgabe mit Match-Schlüssel", "Nein"},
  };
  for (const auto& [path, text] : defaults) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Text(set, path), text);
  }
  EXPECT_EQ(static_cast<TParamTVList&>(At(set, "Listendarstellung.Spaltenliste")).Count(), 14);
  EXPECT_EQ(set.root->State(), kStateNew);
}

TEST_F(MatchSchemaTest, ANewSetIsNotValidAsAWhole) {
  TParamSet set = NewSet();
  EXPECT_FALSE(set.root->IsValidDeep());
  EXPECT_FALSE(At(set, "Satzaufbau.Datensatzlänge").IsValid());
  EXPECT_FALSE(At(set, "Kriterien.Slots").IsValid());
  EXPECT_FALSE(At(set, "Satzaufbau.Listenfelder").IsValid());
  EXPECT_TRUE(At(set, "Satzaufbau.Klassenschlüssel").IsValid());
}

TEST_F(MatchSchemaTest, NewSlotsAndComponentsTakeTheirDefaults) {
  TParamSet set = NewSet();
  EXPECT_EQ(Text(set, "Kriterien.Slots [1].Art des Slots", true), "Normal");
  EXPECT_EQ(Text(set, "Kriterien.Slots [1].Slot-Name"), "#");
  EXPECT_EQ(Text(set, "Kriterien.Slots [1].Dynamisch sperren"), "Ja");
  EXPECT_EQ(Text(set, "Kriterien.Slots [1].Komponente"),
            ">>> Normal => (10, 3, 0, 0, 0, 0, Nein, Ja, Nein, Nein, 0, 0, 0, 0)");
  Set(set, "Kriterien.Slots [1].Art des Slots", "Straße");
  EXPECT_EQ(At(set, "Kriterien.Slots [1].Dynamisch sperren").AsText(1), "Nein");
  EXPECT_EQ(At(set, "Kriterien.Slots [1].Hausnummer.Hashing").AsText(1), "Ja");  // Normal
  Set(set, "Kriterien.Slots [1].Komponenten [2].Art der Komponente", "Hausnummer");
  EXPECT_EQ(At(set, "Kriterien.Slots [1].Hausnummer.Hashing").AsText(1), "Nein");
  EXPECT_EQ(At(set, "Kriterien.Slots [1].Hausnummer.Delta").AsText(1), "100");
}

TEST_F(MatchSchemaTest, PathSyntaxOfFilesAndDirectories) {
  TParamSet set = NewSet();
  auto& input = dynamic_cast<TParamTVString&>(At(set, "Eingabedateien [1].Name", true));
  auto& tables = dynamic_cast<TParamTVString&>(At(set, "Pfade.Tabellenpfad"));
  auto& aux2 = dynamic_cast<TParamTVString&>(At(set, "Pfade.Aux2-Pfad"));
  auto& aux1 = dynamic_cast<TParamTVString&>(At(set, "Pfade.Aux1-Pfad"));
  struct Case {
    const char* text;
    bool file, table_dir, aux2_dir, aux1_dir;
  } cases[] = {
      {"", true, true, true, true},
      {"~e~kunden.txt", true, true, false, false},
      {"~E~kunden.txt", true, true, false, false},
      {"~x~daten", true, true, true, false},
      {"~t~a.txt", true, false, false, false},
      {"~q~a.txt", false, false, false, false},
      {"~-~a.txt", false, false, false, false},
      {"~e~c:\\a", false, false, false, false},
      {"C:\\daten\\a.txt", false, true, true, true},
      {"~C:\\daten\\a.txt", true, true, true, true},
      {"\\\\server\\share", true, true, true, true},
      {"\\\\\\share", true, false, false, false},
      {"/home/daten", true, true, true, true},
      {"daten\\kunden.txt", true, false, false, false},
      {"~daten", false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(input.StringType().IsValidText(c.text), c.file);
    EXPECT_EQ(tables.StringType().IsValidText(c.text), c.table_dir);
    EXPECT_EQ(aux2.StringType().IsValidText(c.text), c.aux2_dir);
    EXPECT_EQ(aux1.StringType().IsValidText(c.text), c.aux1_dir);
  }
  EXPECT_FALSE(input.StringType().IsValidText(std::string(251, 'a')));
}

TEST_F(MatchSchemaTest, CaptionsOfColumnsAndInputFiles) {
  TParamSet set = NewSet();
  auto& columns = static_cast<TParamTVList&>(At(set, "Listendarstellung.Spaltenliste"));
  EXPECT_EQ(columns.ElementCaption(6), "Intra-Dubletten");
  EXPECT_EQ(columns.ElementCaption(5), "Sätze Brutto");
  EXPECT_EQ(columns.ElementCaption(0), "Nr.");
  Set(set, "Listendarstellung.Spaltenliste [15].Titel 1", "  Umsatz ");
  EXPECT_EQ(columns.ElementCaption(14), "Umsatz");
  Set(set, "Listendarstellung.Spaltenliste [15].Titel 2", "Euro");
  EXPECT_EQ(columns.ElementCaption(14), "Umsatz Euro");
  Set(set, "Listendarstellung.Spaltenliste [16].Spaltenart", "Zusatzspalte");
  EXPECT_EQ(columns.ElementCaption(15), "#16");
  EXPECT_TRUE(columns.IsElemNameMember(14, At(set, "Listendarstellung.Spaltenliste [15].Titel 2")));
  EXPECT_FALSE(columns.IsElemNameMember(14, At(set, "Listendarstellung.Spaltenliste [15].Spalte")));
  EXPECT_TRUE(columns.IsElemNameMember(6, At(set, "Listendarstellung.Spaltenliste [7].Spalte")));

  auto& files = static_cast<TParamTVList&>(At(set, "Eingabedateien.Parameter"));
  const std::pair<const char*, const char*> names[] = {
      {"kunden.txt", "kunden.txt"},
      {"~e~daten\\kunden.txt", "kunden.txt"},
      {"~/home/daten/alt.txt", "alt.txt"},
      {"eine_sehr_lange_datei_mit_namen.txt", "eine_sehr_lange_datei_m.."},
      {"", "#1"},
  };
  for (const auto& [name, caption] : names) {
    Set(set, "Eingabedateien [1].Name", name);
    EXPECT_EQ(files.ElementCaption(0), caption) << name;
  }
}

TEST_F(MatchSchemaTest, ReadingMigratesTheReplicatingBonus) {
  TParamSet set = NewSet();
  Set(set, "Kriterien.Slots [1].Art des Slots", "Text");
  Set(set, "Kriterien.Slots [1].Komponente.Art der Komponente", "Text");
  Set(set, "Kriterien.Slots [2].Art des Slots", "Normal");
  auto& text_bonus2 = static_cast<TParamTVInteger&>(
      At(set, "Kriterien.Slots [1].Komponente.Bonus 2 (replizierend)"));
  text_bonus2.SetCurrent(5);  // level 0: only old files hold it
  Set(set, "Kriterien.Slots [1].Komponente.Bonus 1 (einseitig)", "10");
  static_cast<TParamTVInteger&>(At(set, "Kriterien.Slots [2].Komponente.Bonus 2 (replizierend)"))
      .SetCurrent(7);
  Set(set, "Kriterien.Slots [2].Komponente.Bonus-Priorität", "3");
  Set(set, "Kriterien.Slots [2].Komponente.Replizieren", "Ja");
  TParamSet back = LoadParamBytes(ParamSetBytes(set), "x.PAR", Schema(), false);
  EXPECT_EQ(At(back, "Kriterien.Slots [1].Komponente.Bonus 1 (einseitig)").AsText(1), "15");
  EXPECT_EQ(At(back, "Kriterien.Slots [1].Komponente.Bonus 2 (replizierend)").AsText(1), "0");
  EXPECT_EQ(At(back, "Kriterien.Slots [1].Komponente.Replizieren").AsText(1), "Ja");
  EXPECT_EQ(At(back, "Kriterien.Slots [2].Komponente.Bonus 1 (einseitig)").AsText(1), "7");
  EXPECT_EQ(At(back, "Kriterien.Slots [2].Komponente.Replizieren").AsText(1), "Nein");
}

// A set in which every kind of value differs from the defaults, partly committed, so that all
// three states occur.
TParamSet ChangedSet(
    const TParamTTRecord&, TParamSet set,
    const std::function<void(TParamSet&, std::string_view, std::string_view)>& put) {
  put(set, "Beschreibung", "Erste Zeile\r\nzweite Zeile mit Umlauten äöü und €");
  put(set, "Schaltwerk.Sprache", "Französisch");
  put(set, "Pfade.Eingabepfad", "/daten/ein");
  put(set, "Eingabedateien [1].Name", "~e~kunden.txt");
  put(set, "Eingabedateien [2].Typ", "Sperrdatei");
  set.root->Commit(false);  // from here on the values differ from their reference
  put(set, "Eingabedateien [2].Name", "sperre.txt");
  put(set, "Ausgabedateien.Name", "Lauf");
  put(set, "Kompaktor.Kompaktsperrdatei erzeugen", "Ja");
  put(set, "Kompaktor.Ident der Kompaktsperrdatei", "'x'#9'y'");
  put(set, "Kompaktor.Listenfelder der Kompaktsperrsätze [1].Feldname", "PLZ");
  put(set, "Satzaufbau.Datensatzlänge", "$100");
  put(set, "Satzaufbau.Satz abschneiden", "-2");
  put(set, "Satzaufbau.Bewertungssteuerung.Verketter", "#9");
  put(set, "Satzaufbau.Bewertungsfelder [1].Regel", "Auswahl");
  put(set, "Kriterien.Slots [1].Art des Slots", "Firma");
  put(set, "Kriterien.Slots [1].Slot-Name", "Firmenslot");
  put(set, "Kriterien.Slots [1].Namensfelder [1].Länge", "30");
  put(set, "Kriterien.Slots [1].Komponenten [4].Art der Komponente", "Text");
  put(set, "Kriterien.Slots [2].Art des Slots", "Str/Postfach");
  put(set, "Kriterien.Slots [2].Komponenten [2].Art der Komponente", "Hausnummer");
  put(set, "Kriterien.Slots [2].Hausnummer.Delta", "50");
  put(set, "Listendarstellung.Statistik-Info", "Info");
  put(set, "Listendarstellung.Spaltenliste [15].Titel 1", "Summe");
  put(set, "Listendarstellung.Symbole.Kopfsatz", "'#'");
  put(set, "Wartung.Speicherreserve beim Sortieren", "1000000");
  auto& classes =
      static_cast<TParamTVList&>(*ResolveParamPath(*set.root, "Satzaufbau.Klassenschlüssel").value);
  classes.Delete(0);
  return set;
}

TEST_F(MatchSchemaTest, RoundTripsAreByteIdentical) {
  const auto put = [](TParamSet& set, std::string_view path, std::string_view text) {
    Set(set, path, text);
  };
  TParamSet sets[2] = {NewSet(), ChangedSet(Schema(), NewSet(), put)};
  sets[1].hide_level = 2;
  sets[1].edit_level = 3;
  for (TParamSet& set : sets) {
    const std::string first = ParamSetBytes(set);
    TParamSet back = LoadParamBytes(first, "x.PAR", Schema(), false);
    EXPECT_EQ(ParamSetBytes(back), first);
    EXPECT_TRUE(back.root->Equals(*set.root));
    const auto lines = ListParamTree(*set.root, 1), back_lines = ListParamTree(*back.root, 1);
    ASSERT_EQ(lines.size(), back_lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(back_lines[i].state, lines[i].state) << lines[i].path;
      EXPECT_EQ(back_lines[i].value, lines[i].value) << lines[i].path;
    }
  }
  // All three states occur in the changed set.
  std::set<int> states;
  for (const auto& line : ListParamTree(*sets[1].root, 1)) states.insert(line.state);
  EXPECT_EQ(states, (std::set<int>{kStateNew, kStateUnchanged, kStateChanged}));
}

TEST_F(MatchSchemaTest, EveryCutOfTheDefaultSetIsAClearMessage) {
  const std::string bytes = ParamSetBytes(NewSet());
  const std::string damaged =
      "Fehler beim Einlesen der Parameter aus Datei\r\"x.PAR\":\rDatei ist beschädigt";
  for (std::size_t cut = 44; cut < bytes.size(); ++cut) {
    try {
      LoadParamBytes(std::string_view(bytes).substr(0, cut), "x.PAR", Schema(), false);
      ADD_FAILURE() << "loaded at " << cut;
    } catch (const EUserError& e) {
      if (e.what() != damaged) ADD_FAILURE() << cut << ": " << e.what();
    }
  }
}

TEST_F(MatchSchemaTest, MinimalLevelShowsOnlyTheMinimalParameters) {
  TParamSet set = NewSet();
  std::vector<std::string> top;
  for (const auto& line : ListParamTree(*set.root, 4)) {
    if (line.depth <= 1) top.push_back(std::string(line.depth, ' ') + line.label);
  }
  const std::vector<std::string> expected = {
      "Beschreibung",          "Pfade",        " Aux1-Pfad",     " Aux2-Pfad",
      " Eingabepfad",          " Ausgabepfad", " Tabellenpfad",  "Eingabedateien",
      " Ort der Eingabeliste", " Parameter",   "Ausgabedateien", " Name",
      "Listendarstellung",     " Datum-Text",  " Statistik-Info"};
  EXPECT_EQ(top, expected);
}

}  // namespace
}  // namespace vld
