// The content of the match parameter schema. Types that occur at several places are one
// shared object; the order of members and of enumeration names is significant.
#include "params/match_schema.h"

#include <limits>
#include <map>
#include <optional>

#include "params/match_schema_types.h"
#include "params/param_values_composed.h"

namespace vld {

namespace {

constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

TypeRef Int(std::int32_t default_value, std::int32_t min, std::int32_t max,
            std::uint8_t level = 4) {
  auto type = NewType<TParamTTInteger>(default_value, min, max);
  type->SetLevel(level);
  return type;
}

TParamTypeRef<const TParamTTEnum> Enum(std::string name, std::int32_t default_index,
                                       std::vector<std::string> names, std::uint8_t level = 4) {
  auto type = NewType<TParamTTEnum>(std::move(name), default_index, std::move(names));
  type->SetLevel(level);
  return type;
}

TypeRef Text(bool quoted, std::string default_text, std::int32_t min, std::int32_t max,
             std::uint8_t level = 4) {
  auto type = NewType<TParamTTString>(quoted, std::move(default_text), min, max);
  type->SetLevel(level);
  return type;
}

TypeRef File(std::int32_t path_base, std::uint8_t level) {
  auto type = NewType<TParamTTFile>("", path_base);
  type->SetLevel(level);
  return type;
}

TypeRef Memo() { return NewType<TParamTTMemo>("", 0, kMaxInt); }

// The booleans of one level are one shared type (default Nein; members give their defaults).
class BoolTypes {
 public:
  TParamTypeRef<const TParamTTBoolean> At(std::uint8_t level) {
    TParamTypeRef<const TParamTTBoolean>& type = types_[level];
    if (!type) {
      auto created = NewType<TParamTTBoolean>(false);
      created->SetLevel(level);
      type = created;
    }
    return type;
  }

 private:
  std::map<std::uint8_t, TParamTypeRef<const TParamTTBoolean>> types_;
};

// Members of a record with optional defaults; members before the last default that have none
// get their type's default.
class Members {
 public:
  Members& Add(std::string name, TypeRef type) {
    names_.push_back(std::move(name));
    types_.push_back(std::move(type));
    defaults_.emplace_back();
    return *this;
  }
  Members& Add(std::string name, TypeRef type, ParamConst default_value) {
    Add(std::move(name), std::move(type));
    defaults_.back().emplace(std::move(default_value));
    return *this;
  }

  TParamTypeRef<TParamTTRecord> Build(std::string name, std::uint8_t level) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < defaults_.size(); ++i) {
      if (defaults_[i]) count = i + 1;
    }
    std::vector<ParamConst> constants;
    for (std::size_t i = 0; i < count; ++i) {
      if (defaults_[i]) {
        constants.push_back(std::move(*defaults_[i]));
      } else {
        constants.emplace_back(types_[i]->NewValue());
      }
    }
    return NewType<TParamTTRecord>(std::move(name), level, std::move(names_), std::move(types_),
                                   std::move(constants));
  }

 private:
  std::vector<std::string> names_;
  std::vector<TypeRef> types_;
  std::vector<std::optional<ParamConst>> defaults_;
};

TypeRef FieldList(TypeRef field_entry, std::uint8_t level, std::vector<ParamConst> defaults = {}) {
  return NewType<TParamTTList>(level, 1, 32, 4, 0, std::move(field_entry), std::move(defaults));
}

struct Shared {
  BoolTypes bools;
  TypeRef elem_name = NewType<TParamTTElemName>(20);
  TypeRef position = Int(1, 0, 8192);
  TypeRef length = Int(0, 0, 255);
  TypeRef field_entry;  // "FieldEntry", short form
  TypeRef field;        // "Field"
  TypeRef output_file = File(6, 3);
};

TypeRef BuildSwitches(Shared& s) {
  return Members()
      .Add("Sprache", Enum("Language", 0, {"Deutsch", "Französisch"}))
      .Add("Multi-Dubletten", s.bools.At(4), true)
      .Add("Ausgabe sortieren", s.bools.At(4), false)
      .Add("Ausgabe auftrennen", s.bools.At(4), false)
      .Add("Dubletten auftrennen", s.bools.At(4), false)
      .Add("reine Blöcke unterdrücken", s.bools.At(2), false)
      .Add("Sperrsätze verbergen", s.bools.At(4), true)
      .Add("neu bewertete Sätze auflisten", s.bools.At(2), true)
      .Add("Mindestpunkte", Enum("CompanyCollect", 0,
                                 {"Nein", "Ja, Bonus 0 bei APs", "Ja, Bonus 1 bei APs",
                                  "Ja, Bonus 2 bei APs", "Ja, Bonus 2"},
                                 2))
      .Build("Switches", 3);
}

TypeRef BuildPaths() {
  Members m;
  const char* names[] = {"Aux1-Pfad", "Aux2-Pfad", "Eingabepfad", "Ausgabepfad", "Tabellenpfad"};
  for (int k = 0; k < 5; ++k) m.Add(names[k], NewType<TParamTTDir>("", -(k + 3)));
  return m.Build("Paths", 4);
}

TypeRef BuildInputFiles() {
  TypeRef entry =
      Members()
          .Add("Priorität", Int(10, 0, 999))
          .Add("Typ", Enum("FileKind", 0,
                           {"Grunddatei", "Master-Datei", "Sperrdatei", "Kompaktsperrdatei"}))
          .Add("Name", File(5, 4))
          .Build("FileEntry", 4);
  TypeRef list = NewType<TParamTTFileList>(4, 1, 500, 4, 2, entry);
  return NewType<TParamTTUnion>("Eingabedateien", 4,
                                Enum("InputKind", 0, {"Parameter", "Listendatei"}),
                                std::vector<TypeRef>{list, File(5, 4)}, "Ort der Eingabeliste", 0);
}

TypeRef BuildOutputFiles(Shared& s) {
  Members m;
  m.Add("Name", Text(false, "vld", 1, 40));
  const std::pair<const char*, const char*> files[] = {
      {"Ausgabe Single", "*.out"},   {"Ausgabe Multi", "*.mlt"},
      {"Dubletten", "*.dup"},        {"Dublettenliste", "*.lst"},
      {"Statistik", "*.dat"},        {"Statistik-Protokoll", "*.mpr"},
      {"Journal", "*.log"},          {"Schwarze Liste Cache", "Cache\\*.blx"},
      {"Temporärdatei 1", "*1.tmp"}, {"Temporärdatei 2", "*2.tmp"},
      {"Temporärdatei 3", "*3.tmp"}, {"Temporärdatei 4", "*4.tmp"},
  };
  for (const auto& [name, default_text] : files) {
    const bool cache = std::string_view(name) == "Schwarze Liste Cache";
    m.Add(name, cache ? File(7, 2) : s.output_file, default_text);
  }
  return m.Build("Ausgabedateien", 4);
}

TypeRef BuildCompactor(Shared& s) {
  TypeRef parameters = Members()
                           .Add("mit Datei-Prioritäten", s.bools.At(4), true)
                           .Add("Name der Kompaktsperrdatei", s.output_file)
                           .Add("Ident der Kompaktsperrdatei", Text(true, "COMPACT", 0, 32))
                           .Add("Listenfelder der Kompaktsperrsätze", FieldList(s.field_entry, 4))
                           .Build("Kompaktparameter", 4);
  return NewType<TParamTTUnion>("Kompaktor", 2, s.bools.At(4),
                                std::vector<TypeRef>{nullptr, parameters},
                                "Kompaktsperrdatei erzeugen", 0);
}

TypeRef BuildRecordFormat(Shared& s) {
  TypeRef field_level2 =
      Members().Add("Position", s.position).Add("Länge", s.length).Build("Field", 2);
  auto class_key_element = s.field_entry->NewValue();
  static_cast<TParamTVInteger&>(static_cast<TParamTVRecord&>(*class_key_element).Item(2))
      .SetCurrent(5);
  TypeRef rating_entry =
      Members()
          .Add("Feldname", s.elem_name)
          .Add("Regel", Enum("RatingRule", 0,
                             {"Maximum", "Minimum", "Summe", "Verkettung", "Menge", "Auswahl"}))
          .Add("Position", s.position)
          .Add("Länge", s.length)
          .Build("FieldEntry", 4);
  TypeRef rating_control =
      Members()
          .Add("Modus", Enum("RatingMode", 0, {"anreichern", "überschreiben"}))
          .Add("Verketter", NewType<TParamTTChar>(';', TParamTTChar::Range(1, 255)))
          .Add("Auswahlregel",
               Enum("RatingSelectRule", 0,
                    {"egal", "ältestes Datum", "neuestes Datum", "minimale Zahl", "maximale Zahl"}))
          .Add("Priorität bei Auswahl", Enum("RatingSelectPrio", 0, {"ignorieren", "zuerst"}))
          .Add("Referenzfeld", s.field)
          .Add("Jahrhundert-Fenster", Int(-1, -1, 99))
          .Build("RatingControl", 2);
  return Members()
      .Add("Datensatzlänge", Int(0, 4, 8192))
      .Add("CRLF benutzen", s.bools.At(4), true)
      .Add("Satz abschneiden", Int(0, -8192, 8192))
      .Add("Ident", s.field)
      .Add("Ortsfeld", s.field)
      .Add("Prioritätsfeld", s.field)
      .Add("PLZ-Unterfeld", field_level2)
      .Add("Klassenschlüssel",
           FieldList(s.field_entry, 4, Consts(ParamConst(std::move(class_key_element)))))
      .Add("Sortierschlüssel Ausgabe", FieldList(s.field_entry, 4))
      .Add("Listenfelder", FieldList(s.field_entry, 4))
      .Add("Bewertungsfelder", FieldList(rating_entry, 2))
      .Add("Bewertungssteuerung", rating_control)
      .Build("RecordFormat", 3);
}

TypeRef BuildComponent(Shared& s) {
  TypeRef q = Int(0, 0, 255), p = Int(0, 0, 1000), b = Int(0, 0, 15);
  TypeRef p_hidden = Int(0, 0, 1000, 0);
  TypeRef boolean = s.bools.At(4);
  const auto bonuses = [&](Members& m) {
    m.Add("Bonus-Priorität", b)
        .Add("Bonus 0 (beidseitig)", p)
        .Add("Bonus 1 (einseitig)", p)
        .Add("Bonus 2 (replizierend)", p_hidden)
        .Add("Bonus 2 (mindestens)", p);
  };
  const auto text_like = [&](const char* name) {
    Members m;
    m.Add("Qualität", q, 10)
        .Add("Punkte", p)
        .Add("Hashing", boolean, true)
        .Add("Replizieren", boolean, false);
    bonuses(m);
    auto type = m.Build(name, 4);
    type->SetConverter(std::make_unique<TConverter>(3, 4, 6, 7));
    return TypeRef(type);
  };
  Members normal;
  normal.Add("Qualität", q, 10)
      .Add("Wort-Hürde", q, 3)
      .Add("Basis", p)
      .Add("Relativ", p)
      .Add("Absolut", p)
      .Add("Obergrenze", Int(0, 0, 50000))
      .Add("Prefix", boolean, false)
      .Add("Hashing", boolean, true)
      .Add("Vornamen benutzen", boolean, false)
      .Add("Replizieren", boolean, false);
  bonuses(normal);
  auto normal_type = normal.Build("CpNormal", 4);
  normal_type->SetConverter(std::make_unique<TConverter>(9, 10, 12, 13));
  Members house;
  house.Add("Qualität", q, 10)
      .Add("Delta", Int(100, 0, 9999))
      .Add("Stark", p)
      .Add("Schwach", p)
      .Add("Quer", p)
      .Add("Hashing", boolean, false)
      .Add("Replizieren", boolean, false);
  bonuses(house);
  auto house_type = house.Build("CpHouseNr", 4);
  house_type->SetConverter(std::make_unique<TConverter>(6, 7, 9, 10));
  auto component = NewType<TParamTTUnion>(
      "Komponente", 1, Enum("CpKind", 1, {"Text", "Normal", "Postfach", "Hausnummer"}),
      std::vector<TypeRef>{text_like("CpText"), normal_type, text_like("CpPOBox"), house_type},
      "Art der Komponente", 1);
  component->SetHelpRoot(true);
  return component;
}

TypeRef BuildCriteria(Shared& s) {
  auto slot_name = NewType<TParamTTElemName>(20);
  slot_name->SetLevel(1);
  TypeRef fields = FieldList(s.field_entry, 3);
  TypeRef dynamic = s.bools.At(1);
  TypeRef dark_list = File(7, 2);
  TypeRef component = BuildComponent(s);
  // Every slot record begins with its name, which names the list element.
  const auto slot = [&](bool dynamic_default) {
    Members m;
    m.Add("Slot-Name", slot_name, "#")
        .Add("Dynamisch sperren", dynamic, dynamic_default)
        .Add("Schwarze Liste", dark_list)
        .Add("Felder", fields);
    return m;
  };
  TypeRef text = Members()
                     .Add("Slot-Name", slot_name)
                     .Add("Felder", fields)
                     .Add("Komponente", component)
                     .Build("SlText", 4);
  TypeRef normal = slot(true).Add("Komponente", component).Build("SlNormal", 4);
  TypeRef company = Members()
                        .Add("Slot-Name", slot_name, "#")
                        .Add("Dynamisch sperren", dynamic, true)
                        .Add("Schwarze Liste", dark_list)
                        .Add("AKZ-Schwarze Liste", dark_list)
                        .Add("AKZ-Feld", s.field)
                        .Add("Namensfelder", fields)
                        .Add("AP Felder", fields)
                        .Add("AP Feldnummer", Int(0, 0, 32, 3))
                        .Add("Firmierung", component)
                        .Add("AP Vorname", component)
                        .Add("AP Nachname", component)
                        .Add("AKZ-Kriterium", component)
                        .Build("SlCompany", 4);
  TypeRef name = slot(true).Add("Vorname", component).Add("Nachname", component).Build("SlName", 4);
  TypeRef street =
      slot(false).Add("Straße", component).Add("Hausnummer", component).Build("SlStreet", 4);
  TypeRef street_box = slot(false)
                           .Add("Straße", component)
                           .Add("Hausnummer", component)
                           .Add("Postfach", component)
                           .Build("SlStreetBox", 4);
  auto slot_union = NewType<TParamTTUnion>(
      "Slot", 4,
      Enum("SlotKind", 0, {"Ident", "Text", "Normal", "Firma", "Name", "Straße", "Str/Postfach"},
           1),
      std::vector<TypeRef>{text, text, normal, company, name, street, street_box}, "Art des Slots",
      2);
  slot_union->SetHelpRoot(true);
  return Members()
      .Add("Schwellenwert", Int(100, 1, 50000, 1))
      .Add("Slots", NewType<TParamTTList>(4, 1, 32, 1, 0, slot_union))
      .Build("Kriterien", 3);
}

TypeRef BuildColumnEntry() {
  const std::vector<std::string> kinds = {"Nr",      "Ident",   "Name",    "Prio",    "Art",
                                          "Brutto",  "Netto",   "Absolut", "Treffer", "Intra",
                                          "Prozent", "%-Netto", "Single",  "Multi"};
  TypeRef system =
      Members()
          .Add("Darstellung",
               Enum("SysColumnMode", 2, {"zeigen", "verbergen", "gemäß Vorgabe", "Pflichtspalte"}))
          .Add("Spalte", Enum("SysColKind", 0, kinds), 12)
          .Build("Systemspalte", 4);
  std::vector<std::string> kinds_or_none = {"(keine)"};
  kinds_or_none.insert(kinds_or_none.end(), kinds.begin(), kinds.end());
  TypeRef title = Text(false, "", 0, 30);
  TypeRef preset = Text(false, "", 0, 100);
  TypeRef additional =
      Members()
          .Add("Darstellung", Enum("AddColumnMode", 0, {"zeigen", "verbergen"}))
          .Add("Titel 1", title)
          .Add("Titel 2", title)
          .Add("Ausrichtung", Enum("ColumnAlign", 0, {"rechtsbündig", "linksbündig"}))
          .Add("Berechnen", Enum("ColCalcMode", 0,
                                 {"keine Summe", "Summe ohne Sperrdateien",
                                  "Summe mit Sperrdateien", "beide Summen"}))
          .Add("Vorbelegung", preset)
          .Add("Vorbelegung S0", preset, "%")
          .Add("Vorbelegung S1", preset, "%")
          .Add("Spalte", Enum("SysColKind", 0, kinds_or_none))
          .Build("Zusatzspalte", 4);
  return NewType<TParamTTUnion>("Spalteneintrag", 4,
                                Enum("ColumnKind", 0, {"Systemspalte", "Zusatzspalte"}),
                                std::vector<TypeRef>{system, additional}, "Spaltenart", 1);
}

TypeRef BuildListLayout() {
  TypeRef entry = BuildColumnEntry();
  // The default columns: (Darstellung, Spalte) of system column entries.
  const std::pair<int, int> columns[14] = {{3, 0},  {2, 1}, {2, 2},  {3, 3}, {3, 4},
                                           {3, 5},  {3, 9}, {3, 7},  {0, 8}, {0, 10},
                                           {0, 11}, {3, 6}, {2, 12}, {2, 13}};
  std::vector<ParamConst> defaults;
  for (const auto& [mode, kind] : columns) {
    auto value = entry->NewValue();
    auto& u = static_cast<TParamTVUnion&>(*value);
    u.SetDiscriminant(0);
    auto& record = static_cast<TParamTVRecord&>(*u.Variant());
    static_cast<TParamTVEnum&>(record.Item(0)).SetIndex(mode);
    static_cast<TParamTVEnum&>(record.Item(1)).SetIndex(kind);
    defaults.emplace_back(std::move(value));
  }
  TypeRef column_list = NewType<TParamTTColumnList>(3, 1, 200, 3, entry, std::move(defaults));
  auto symbol = NewType<TParamTTChar>(' ', TParamTTChar::Range(32, 255));
  symbol->SetLevel(3);
  const std::pair<const char*, char> symbols[13] = {
      {"Grunddatei", 'G'},         {"Master-Datei", 'M'}, {"Sperrdatei", 'S'},
      {"Kompaktsperrdatei", 'K'},  {"Kopfdublette", '+'}, {"Dublette", '-'},
      {"Folgesatz", ' '},          {"Kopfsatz", '='},     {"Normalsatz", ' '},
      {"Original", '%'},           {"Replikat", ':'},     {"neu bewerteter Satz", '*'},
      {"mit Datei-Priorität", '+'}};
  Members symbol_members;
  for (const auto& [name, c] : symbols) {
    symbol_members.Add(name, symbol, ParamConst::Char(static_cast<unsigned char>(c)));
  }
  TypeRef job_text = Text(true, "", 0, 120, 3);
  return Members()
      .Add("Dateikennzeichnung",
           Enum("FileIdKind", 0, {"Dateiname", "Ident", "Ident+Dateiname"}, 3))
      .Add("Max. Namenslänge", Int(20, 9, 80, 3))
      .Add("Spalten", Int(75, 1, 250, 3))
      .Add("Matrixtyp",
           Enum("MatrixKind", 0,
                {"Kompatibilitätsmatrix", "Eliminationsmatrix", "Überschneidungsmatrix"}, 2))
      .Add("Job-Text", job_text, "Lorn, den %s")
      .Add("Datum-Text", Text(false, "", 0, 30))
      .Add("Kopf der Statistik", job_text, "Veldrona -- Protokoll")
      .Add("Statistik-Info", Memo())
      .Add("Sperrsatz-Text", job_text, "Sperrsatz aus Datei %%%")
      .Add("Spaltenliste", column_list)
      .Add("Symbole", symbol_members.Build("Symbole", 3))
      .Build("Listendarstellung", 4);
}

TypeRef BuildAdjustment() {
  TypeRef single_error = Int(4, 2, 255, 1);
  return Members()
      .Add("Kopfdubletten-Limit", Int(0, 0, 99, 2))
      .Add("Token-Hürde", Int(4, 1, 7, 1))
      .Add("Sperr-Hürde", Int(3, 1, 255, 1))
      .Add("Hash-Hürde", Int(10, 2, kMaxInt, 1))
      .Add("Plausibles Intervall", Int(100, 2, 9998, 2))
      .Add("erster 1-Zeichen-Fehler", single_error, 4)
      .Add("weitere 1-Zeichen-Fehler", single_error, 3)
      .Build("Justierung", 2);
}

TypeRef BuildMaintenance(Shared& s) {
  return Members()
      .Add("Speicherreserve beim Sortieren", Int(0, 0, kMaxInt - 1))
      .Add("Komponentenvergleich-Optimierung", s.bools.At(4), true)
      .Add("Wiederholer-Optimierung", s.bools.At(4), true)
      .Add("Merge-Optimierung", s.bools.At(4), true)
      .Add("Schwarze Liste Cache", s.bools.At(4), true)
      .Add("Ausgabe mit Match-Schlüssel", s.bools.At(4), false)
      .Add("Match-Schlüssel Extra", Int(0, 0, 8192))
      .Build("Wartung", 2);
}

}  // namespace

TParamTypeRef<const TParamTTRecord> BuildMatchParamSchema() {
  Shared s;
  s.field_entry = Members()
                      .Add("Feldname", s.elem_name)
                      .Add("Position", s.position)
                      .Add("Länge", s.length)
                      .Build("FieldEntry", 4);
  s.field = Members().Add("Position", s.position).Add("Länge", s.length).Build("Field", 4);
  auto root = Members()
                  .Add("Beschreibung", Memo())
                  .Add("Schaltwerk", BuildSwitches(s))
                  .Add("Pfade", BuildPaths())
                  .Add("Eingabedateien", BuildInputFiles())
                  .Add("Ausgabedateien", BuildOutputFiles(s))
                  .Add("Kompaktor", BuildCompactor(s))
                  .Add("Satzaufbau", BuildRecordFormat(s))
                  .Add("Kriterien", BuildCriteria(s))
                  .Add("Listendarstellung", BuildListLayout())
                  .Add("Justierung", BuildAdjustment())
                  .Add("Wartung", BuildMaintenance(s))
                  .Build("Root", 4);
  return root;
}

}  // namespace vld
