// The transfer of a parameter tree into a checking match parameter set: which tree member feeds
// which parameter, file code, text or vector. Values are taken as they stand (the check
// validates them); only values that do not fit their fields raise the range error.
#include <array>
#include <vector>

#include "matching/param_names.h"
#include "params/param_load.h"
#include "params/param_text.h"
#include "platform/checked.h"
#include "platform/codepage.h"
#include "platform/fatal.h"

namespace vld {
namespace {

// ---- Reading members ---------------------------------------------------------------------------

const TParamTVRecord& AsRecord(const TParamTreeValue& value) {
  const auto* record = dynamic_cast<const TParamTVRecord*>(&value);
  if (record == nullptr) Fatal("parameter value is not a record");
  return *record;
}

const TParamTreeValue& Member(const TParamTVRecord& record, std::string_view name) {
  const TParamTreeValue* value = record.Member(name);
  if (value == nullptr) Fatal(Format("parameter member missing: %s", std::string(name).c_str()));
  return *value;
}

template <typename V>
const V& MemberAs(const TParamTVRecord& record, std::string_view name) {
  const auto* value = dynamic_cast<const V*>(&Member(record, name));
  if (value == nullptr) {
    Fatal(Format("parameter member of another kind: %s", std::string(name).c_str()));
  }
  return *value;
}

const TParamTVRecord& Record(const TParamTVRecord& record, std::string_view name) {
  return AsRecord(Member(record, name));
}
std::int32_t Int(const TParamTVRecord& record, std::string_view name) {
  return MemberAs<TParamTVInteger>(record, name).Current();
}
std::uint8_t Index(const TParamTVRecord& record, std::string_view name) {
  return CheckedCast<std::uint8_t>(MemberAs<TParamTVEnum>(record, name).Index());
}
bool Bool(const TParamTVRecord& record, std::string_view name) {
  return MemberAs<TParamTVEnum>(record, name).Index() == 1;
}
const std::string& Text(const TParamTVRecord& record, std::string_view name) {
  return MemberAs<TParamTVString>(record, name).Text();
}
std::uint16_t U16(const TParamTVRecord& record, std::string_view name) {
  return CheckedCast<std::uint16_t>(Int(record, name));
}
std::int16_t I16(const TParamTVRecord& record, std::string_view name) {
  return CheckedCast<std::int16_t>(Int(record, name));
}
std::uint32_t U32(const TParamTVRecord& record, std::string_view name) {
  return CheckedCast<std::uint32_t>(Int(record, name));
}

// A record of members "Position" and "Länge".
TFieldEntry Field(const TParamTVRecord& record) {
  return {U16(record, "Position"), U16(record, "Länge")};
}

// The record variant of a union value (nullptr for an empty variant).
const TParamTVRecord* VariantRecord(const TParamTVUnion& u) {
  return u.Variant() != nullptr ? &AsRecord(*u.Variant()) : nullptr;
}

// ---- The transfer ------------------------------------------------------------------------------

class TTransfer {
 public:
  TTransfer(const TParamTVRecord& root, TParameterCheck& set)
      : root_(root), set_(set), f_(set.Fields()) {}

  void Run() {
    Scalars();
    Fields();
    Symbols();
    BasePaths();
    Compactor();
    OutputFiles();
    Texts();
    Vectors();
  }

 private:
  // Windows-1252, the code page of the protocol's texts.
  std::uint32_t AnsiText(std::string_view utf8) { return set_.AddText(Utf8ToFileText(utf8)); }

  void Scalars() {
    const TParamTVRecord& sw = Record(root_, "Schaltwerk");
    f_.language = Index(sw, "Sprache");
    f_.multiDuplicates = Bool(sw, "Multi-Dubletten");
    f_.sortOutput = Bool(sw, "Ausgabe sortieren");
    f_.splitOutput = Bool(sw, "Ausgabe auftrennen");
    f_.splitDuplicates = Bool(sw, "Dubletten auftrennen");
    f_.suppressPureBlocks = Bool(sw, "reine Blöcke unterdrücken");
    f_.hideDarkRecords = Bool(sw, "Sperrsätze verbergen");
    f_.listRerated = Bool(sw, "neu bewertete Sätze auflisten");
    f_.minimumPoints = Index(sw, "Mindestpunkte");

    const TParamTVRecord& rf = Record(root_, "Satzaufbau");
    f_.recordLength = U16(rf, "Datensatzlänge");
    f_.crlf = Bool(rf, "CRLF benutzen");
    f_.truncate = I16(rf, "Satz abschneiden");

    f_.threshold = U16(Record(root_, "Kriterien"), "Schwellenwert");

    const TParamTVRecord& adj = Record(root_, "Justierung");
    f_.headLimit = I16(adj, "Kopfdubletten-Limit");
    f_.tokenHurdle = I16(adj, "Token-Hürde");
    f_.blockHurdle = I16(adj, "Sperr-Hürde");
    f_.hashHurdle = U32(adj, "Hash-Hürde");
    f_.plausibleInterval = U16(adj, "Plausibles Intervall");
    f_.firstCharError = U16(adj, "erster 1-Zeichen-Fehler");
    f_.furtherCharError = U16(adj, "weitere 1-Zeichen-Fehler");

    const TParamTVRecord& rc = Record(rf, "Bewertungssteuerung");
    f_.ratingMode = Index(rc, "Modus");
    f_.concatenator = static_cast<char>(MemberAs<TParamTVChar>(rc, "Verketter").Current());
    f_.selectionRule = Index(rc, "Auswahlregel");
    f_.selectionPriority = Index(rc, "Priorität bei Auswahl");
    f_.centuryWindow = I16(rc, "Jahrhundert-Fenster");

    const TParamTVRecord& ld = Record(root_, "Listendarstellung");
    f_.fileMarking = Index(ld, "Dateikennzeichnung");
    f_.maxNameLength = U32(ld, "Max. Namenslänge");
    f_.columns = I16(ld, "Spalten");
    f_.matrixType = Index(ld, "Matrixtyp");

    const TParamTVRecord& mt = Record(root_, "Wartung");
    f_.sortReserve = U32(mt, "Speicherreserve beim Sortieren");
    f_.compareOptimisation = Bool(mt, "Komponentenvergleich-Optimierung");
    f_.repeaterOptimisation = Bool(mt, "Wiederholer-Optimierung");
    f_.mergeOptimisation = Bool(mt, "Merge-Optimierung");
    f_.darkListCache = Bool(mt, "Schwarze Liste Cache");
    f_.outputWithMatchKey = Bool(mt, "Ausgabe mit Match-Schlüssel");
    f_.matchKeyExtra = U32(mt, "Match-Schlüssel Extra");
  }

  void Fields() {
    const TParamTVRecord& rf = Record(root_, "Satzaufbau");
    f_.identField = Field(Record(rf, "Ident"));
    f_.cityField = Field(Record(rf, "Ortsfeld"));
    f_.priorityField = Field(Record(rf, "Prioritätsfeld"));
    f_.plzPart = Field(Record(rf, "PLZ-Unterfeld"));
    f_.referenceField = Field(Record(Record(rf, "Bewertungssteuerung"), "Referenzfeld"));
  }

  void Symbols() {
    const TParamTVRecord& symbols = Record(Record(root_, "Listendarstellung"), "Symbole");
    for (std::int32_t i = 0; i < 13; ++i) {
      const auto* c =
          i < symbols.Count() ? dynamic_cast<const TParamTVChar*>(&symbols.Item(i)) : nullptr;
      f_.symbols[static_cast<std::size_t>(i)] = c ? static_cast<char>(c->Current()) : '\0';
    }
  }

  void BasePaths() {
    const TParamTVRecord& paths = Record(root_, "Pfade");
    set_.SetGivenFile(kCodeUniversal1, Text(paths, "Aux1-Pfad"));
    set_.SetGivenFile(kCodeUniversal2, Text(paths, "Aux2-Pfad"));
    set_.SetGivenFile(kCodeInputPath, Text(paths, "Eingabepfad"));
    set_.SetGivenFile(kCodeOutputPath, Text(paths, "Ausgabepfad"));
    set_.SetGivenFile(kCodeTablePath, Text(paths, "Tabellenpfad"));
  }

  void Compactor() {
    const auto& u = MemberAs<TParamTVUnion>(root_, "Kompaktor");
    const TParamTVRecord* parameters = VariantRecord(u);
    f_.makeCompactFile = u.Discriminant() == 1 && parameters != nullptr;
    if (!f_.makeCompactFile) return;
    f_.compactWithPriorities = Bool(*parameters, "mit Datei-Prioritäten");
    f_.texts[4] = set_.AddText(Text(*parameters, "Name der Kompaktsperrdatei"));
    // The ident goes into the compact header and is compared with record identifications.
    f_.compactIdent =
        set_.AddText(FromUtf8(Text(*parameters, "Ident der Kompaktsperrdatei"), CodePage::k437));
    f_.vectors[8] =
        FieldVector(MemberAs<TParamTVList>(*parameters, "Listenfelder der Kompaktsperrsätze"));
  }

  void OutputFiles() {
    const TParamTVRecord& out = Record(root_, "Ausgabedateien");
    const std::string& name = Text(out, "Name");
    const auto file = [&](std::int32_t code, const char* member, bool star) {
      std::string given = Text(out, member);
      if (star) {
        if (const std::size_t at = given.find('*'); at != std::string::npos) {
          given.replace(at, 1, name);
        }
      }
      set_.SetGivenFile(code, given);
    };
    // Per-input patterns keep their "*": the check fills it per input file or dark list.
    file(kCodeSingle, "Ausgabe Single", !f_.splitOutput);
    file(kCodeMulti, "Ausgabe Multi", !f_.splitOutput);
    file(kCodeDuplicates, "Dubletten", !f_.splitDuplicates);
    file(kCodeDuplicateList, "Dublettenliste", true);
    file(kCodeStatistics, "Statistik", true);
    file(kCodeProtocol, "Statistik-Protokoll", true);
    file(kCodeJournal, "Journal", true);
    file(kCodeDarkCache, "Schwarze Liste Cache", false);
    file(kCodeTemp1, "Temporärdatei 1", true);
    file(kCodeTemp2, "Temporärdatei 2", true);
    file(kCodeTemp3, "Temporärdatei 3", true);
    file(kCodeTemp4, "Temporärdatei 4", true);
  }

  void Texts() {
    const TParamTVRecord& ld = Record(root_, "Listendarstellung");
    f_.texts[0] = AnsiText(Text(ld, "Job-Text"));
    const std::string& date = Text(ld, "Datum-Text");
    if (!std::string_view(TrimBlanks(date)).empty()) {
      const std::optional<std::int32_t> parsed = ParseDateText(date);
      if (!parsed) throw EUserError(Format("'%s' ist kein gültiges Datum", date.c_str()));
      f_.creationDate = *parsed;
    }
    f_.texts[1] = set_.AddText(FormatDate(f_.creationDate));
    f_.texts[2] = AnsiText(Text(ld, "Kopf der Statistik"));
    f_.texts[3] = AnsiText(Text(ld, "Sperrsatz-Text"));
    f_.texts[5] = AnsiText(Text(ld, "Statistik-Info"));
  }

  void Vectors() {
    InputFiles();
    const TParamTVRecord& rf = Record(root_, "Satzaufbau");
    f_.vectors[2] = FieldVector(MemberAs<TParamTVList>(rf, "Klassenschlüssel"));
    f_.vectors[3] = FieldVector(MemberAs<TParamTVList>(rf, "Sortierschlüssel Ausgabe"));
    f_.vectors[7] = FieldVector(MemberAs<TParamTVList>(rf, "Listenfelder"));
    RatingFields(MemberAs<TParamTVList>(rf, "Bewertungsfelder"));
    Slots(MemberAs<TParamTVList>(Record(root_, "Kriterien"), "Slots"));
    Columns(MemberAs<TParamTVList>(Record(root_, "Listendarstellung"), "Spaltenliste"));
  }

  void InputFiles() {
    const auto& u = MemberAs<TParamTVUnion>(root_, "Eingabedateien");
    if (u.Discriminant() == 1) {
      // "Listendatei": the check reads the named list.
      const auto* list = dynamic_cast<const TParamTVString*>(u.Variant());
      set_.SetGivenFile(kCodeFileList, list ? list->Text() : std::string());
      return;
    }
    const auto* files = dynamic_cast<const TParamTVList*>(u.Variant());
    if (files == nullptr) return;
    std::vector<TInputFileEntry> entries;
    for (std::int32_t i = 0; i < files->Count(); ++i) {
      const TParamTVRecord& e = AsRecord(files->Item(i));
      TInputFileEntry entry;
      entry.type = static_cast<InputFileType>(CheckRange<std::uint8_t>(Index(e, "Typ"), 0, 3));
      entry.priority = U16(e, "Priorität");
      entry.name = set_.AddText(Text(e, "Name"));
      entries.push_back(entry);
    }
    f_.vectors[1] = set_.AddVector<TInputFileEntry>(entries);
  }

  TVectorRef FieldVector(const TParamTVList& list) {
    std::vector<TFieldEntry> entries;
    for (std::int32_t i = 0; i < list.Count(); ++i)
      entries.push_back(Field(AsRecord(list.Item(i))));
    return set_.AddVector<TFieldEntry>(entries);
  }

  void RatingFields(const TParamTVList& list) {
    std::vector<TRatingFieldEntry> entries;
    for (std::int32_t i = 0; i < list.Count(); ++i) {
      const TParamTVRecord& e = AsRecord(list.Item(i));
      TRatingFieldEntry entry;
      entry.field = Field(e);
      entry.rule = static_cast<RatingRule>(CheckRange<std::uint8_t>(Index(e, "Regel"), 0, 5));
      entries.push_back(entry);
    }
    f_.vectors[9] = set_.AddVector<TRatingFieldEntry>(entries);
  }

  TComponentEntry Component(const TParamTVRecord& slot, std::string_view member) {
    const auto& u = MemberAs<TParamTVUnion>(slot, member);
    const TParamTVRecord* r = VariantRecord(u);
    if (r == nullptr) Fatal("component without members");
    TComponentEntry c;
    c.kind = static_cast<ComponentKind>(CheckRange<std::int32_t>(u.Discriminant(), 0, 3));
    c.quality = U16(*r, "Qualität");
    // Hashing: the set's token hurdle (filled in by the check); otherwise never hashed.
    c.tokenHurdle = Bool(*r, "Hashing") ? 0 : 256;
    c.replicate = Bool(*r, "Replizieren");
    c.bonusPriority = I16(*r, "Bonus-Priorität");
    c.bonus0 = U16(*r, "Bonus 0 (beidseitig)");
    c.bonus1 = U16(*r, "Bonus 1 (einseitig)");
    c.bonus2 = U16(*r, "Bonus 2 (mindestens)");
    switch (c.kind) {
      case ComponentKind::kText:
      case ComponentKind::kPostfach:
        c.base = U16(*r, "Punkte");
        c.upperLimit = 65535;
        break;
      case ComponentKind::kNormal:
        c.wordHurdle = U16(*r, "Wort-Hürde");
        c.base = U16(*r, "Basis");
        c.relative = U16(*r, "Relativ");
        c.absolute = U16(*r, "Absolut");
        c.upperLimit = U16(*r, "Obergrenze");
        c.prefix = Bool(*r, "Prefix");
        c.useFirstNames = Bool(*r, "Vornamen benutzen");
        break;
      case ComponentKind::kHausnummer:
        c.wordHurdle = U16(*r, "Delta");
        c.relative = U16(*r, "Stark");
        c.base = U16(*r, "Schwach");
        c.absolute = U16(*r, "Quer");
        c.upperLimit = 65535;
        break;
    }
    return c;
  }

  void Slots(const TParamTVList& list) {
    // "Art des Slots": Ident, Text, Normal, Firma, Name, Straße, Str/Postfach.
    static constexpr std::array<SlotKind, 7> kKinds = {
        SlotKind::kIdent, SlotKind::kText,    SlotKind::kNormal, SlotKind::kFirma,
        SlotKind::kName,  SlotKind::kStrasse, SlotKind::kStrasse};
    std::vector<TSlotEntry> slots;
    for (std::int32_t i = 0; i < list.Count(); ++i) {
      const auto* u = dynamic_cast<const TParamTVUnion*>(&list.Item(i));
      if (u == nullptr) Fatal("slot is not a union");
      const TParamTVRecord* r = VariantRecord(*u);
      if (r == nullptr) Fatal("slot without members");
      const std::int32_t d = CheckRange<std::int32_t>(u->Discriminant(), 0, 6);
      const std::int32_t number = i + 1;
      TSlotEntry slot;
      slot.kind = kKinds[static_cast<std::size_t>(d)];
      std::vector<TComponentEntry> components;
      const auto add = [&](std::initializer_list<const char*> members) {
        for (const char* m : members) components.push_back(Component(*r, m));
      };
      if (slot.kind != SlotKind::kIdent && slot.kind != SlotKind::kText) {
        slot.dynamicBlocking = Bool(*r, "Dynamisch sperren");
        slot.darkList = set_.GivenFile(kCodeSlotDarkList + number, Text(*r, "Schwarze Liste"));
      }
      switch (d) {
        case 0:
        case 1:
        case 2:
          slot.fields = FieldVector(MemberAs<TParamTVList>(*r, "Felder"));
          add({"Komponente"});
          break;
        case 3:
          slot.akzDarkList =
              set_.GivenFile(kCodeSlotAkzList + number, Text(*r, "AKZ-Schwarze Liste"));
          slot.akzField = Field(Record(*r, "AKZ-Feld"));
          slot.fields = FieldVector(MemberAs<TParamTVList>(*r, "Namensfelder"));
          slot.apFields = FieldVector(MemberAs<TParamTVList>(*r, "AP Felder"));
          slot.apFieldNumber = CheckedCast<std::uint8_t>(Int(*r, "AP Feldnummer"));
          add({"Firmierung", "AP Vorname", "AP Nachname", "AKZ-Kriterium"});
          break;
        case 4:
          slot.fields = FieldVector(MemberAs<TParamTVList>(*r, "Felder"));
          add({"Vorname", "Nachname"});
          break;
        case 5:
          slot.fields = FieldVector(MemberAs<TParamTVList>(*r, "Felder"));
          add({"Straße", "Hausnummer"});
          break;
        case 6:
          slot.fields = FieldVector(MemberAs<TParamTVList>(*r, "Felder"));
          add({"Straße", "Hausnummer", "Postfach"});
          break;
      }
      slot.components = set_.AddVector<TComponentEntry>(components);
      slots.push_back(slot);
    }
    f_.vectors[4] = set_.AddVector<TSlotEntry>(slots);
  }

  void Columns(const TParamTVList& list) {
    std::vector<TColumnEntry> columns;
    for (std::int32_t i = 0; i < list.Count(); ++i) {
      const auto* u = dynamic_cast<const TParamTVUnion*>(&list.Item(i));
      if (u == nullptr) Fatal("column is not a union");
      const TParamTVRecord* r = VariantRecord(*u);
      if (r == nullptr) Fatal("column without members");
      TColumnEntry column;
      column.kind = CheckRange<std::uint8_t>(CheckedCast<std::uint8_t>(u->Discriminant()), 0, 1);
      column.displayMode = Index(*r, "Darstellung");
      if (column.kind == 0) {
        column.systemKind = CheckedCast<std::uint8_t>(Index(*r, "Spalte") + 1);
      } else {
        column.title1 = AnsiText(Text(*r, "Titel 1"));
        column.title2 = AnsiText(Text(*r, "Titel 2"));
        column.preset = AnsiText(Text(*r, "Vorbelegung"));
        column.presetS0 = AnsiText(Text(*r, "Vorbelegung S0"));
        column.presetS1 = AnsiText(Text(*r, "Vorbelegung S1"));
        column.alignment = Index(*r, "Ausrichtung");
        column.compute = Index(*r, "Berechnen");
        column.value = Index(*r, "Spalte");
      }
      columns.push_back(column);
    }
    f_.vectors[10] = set_.AddVector<TColumnEntry>(columns);
  }

  const TParamTVRecord& root_;
  TParameterCheck& set_;
  TParameterFields& f_;
};

}  // namespace

void TransferParameterTree(const TParamTVRecord& root, TParameterCheck& set) {
  TTransfer(root, set).Run();
}

}  // namespace vld
