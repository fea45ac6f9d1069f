// Stage C of the parameter check: values and names.
#include <sys/stat.h>

#include "engine/files/xan_file.h"
#include "matching/file_list.h"
#include "matching/match_derive.h"
#include "matching/param_checker.h"
#include "platform/paths.h"

namespace vld {

void TParameterChecker::StageC() {
  CheckScalars();
  // 2.
  CheckSingleField("Dateikennung", f_.identField);
  CheckSingleField("Ortsfeld", f_.cityField);
  CheckSingleField("Prioritätsfeld", f_.priorityField);
  CheckSingleField("Referenzfeld", f_.referenceField);
  messages_.Range("Jahrhundert-Fenster", f_.centuryWindow, -1, 99);
  messages_.Range("Kopfdubletten-Limit", f_.headLimit, 0, 99);
  // 3. Before the class key is measured, its bound is the record.
  CheckPlzPart(f_.effectiveRecordLength, false);
  // 4.
  CheckSymbols();
  // 5.
  messages_.Range("maximale Namenslänge", f_.maxNameLength, 9, 80);
  messages_.Range("Spalten", f_.columns, 1, 250);
  messages_.Range("Match-Schlüssel Extra", f_.matchKeyExtra, 0, 8192);
  // 6. - 10.
  SetDefaultTableNames();
  CheckDirectories();
  CheckNames();
  CheckInputFiles();
  CheckVectors();
}

void TParameterChecker::CheckScalars() {
  if (f_.makeCompactFile) f_.sortOutput = false;
  DeriveRecordLengths(f_);
  messages_.Range("Datensatzlänge", f_.recordLength, 4, 8192);
  if (f_.truncate > 0) {
    messages_.Range("Abschneiden (auf #)", f_.truncate, 4, f_.recordLength);
  } else {
    messages_.Range("Abschneiden (um -#)", f_.truncate, 4 - f_.effectiveRecordLength, 0);
  }
  messages_.Range("Speicherreserve Sortieren", f_.sortReserve, 0, 67108864);
  messages_.Range("Sperr-Hürde", f_.blockHurdle, 1, 255);
  messages_.Range("Token-Hürde", f_.tokenHurdle, 1, 7);
  messages_.Range("Hash-Hürde", f_.hashHurdle, 2, 2147483647);
  messages_.Range("Schwellenwert", f_.threshold, 1, 50000);
  messages_.Range("erster 1-Zeichen-Fehler", f_.firstCharError, 2, 255);
  messages_.Range("weitere 1-Zeichen-Fehler", f_.furtherCharError, 2, 255);
  messages_.Range("Plausibles Intervall", f_.plausibleInterval, 2, 9998);
}

TParameterChecker::FieldRule TParameterChecker::RecordField(std::int64_t positionMin,
                                                            std::int64_t lengthMin) const {
  FieldRule rule;
  rule.positionMin = positionMin;
  rule.positionMax = f_.effectiveRecordLength;
  rule.lengthMin = lengthMin;
  return rule;
}

void TParameterChecker::CheckFieldValues(const TFieldEntry& field, const FieldRule& rule) {
  messages_.Range("Feldposition", field.position, rule.positionMin, rule.positionMax);
  messages_.Range("Feldlänge", field.length, rule.lengthMin, 255);
  if (field.position != 0 && field.length != 0 && messages_.ElementClean() &&
      field.position + field.length - 1 > rule.positionMax) {
    messages_.ElementError(rule.truncated
                               ? "Das Feld liegt nicht ganz im (abgeschnittenen) Datensatz."
                               : "Das Feld liegt nicht ganz im Datensatz.");
  }
}

void TParameterChecker::CheckSingleField(std::string_view name, const TFieldEntry& field) {
  TCheckContext context(messages_, name);
  CheckFieldValues(field, RecordField(1, 0));
}

void TParameterChecker::CheckPlzPart(std::int64_t bound, bool containment) {
  const TFieldEntry& plz = f_.plzPart;
  TCheckContext context(messages_, "PLZ-Teilfeld");
  messages_.Range("Teilfeld-Position", plz.position, 1, bound);
  if (plz.length != 0) messages_.Range("Teilfeld-Länge", plz.length, 3, 5);
  if (containment && plz.length != 0 && messages_.ElementClean() &&
      plz.position + plz.length - 1 > bound) {
    messages_.ElementError(
        Format("Das Teilfeld liegt nicht ganz im Sortierschlüssel (%lld Zeichen).",
               static_cast<long long>(bound)));
  }
}

void TParameterChecker::CheckSymbols() {
  // A symbol of code 0 was not given: the set then holds fewer than 13 characters.
  for (const char symbol : f_.symbols) {
    if (symbol != 0) continue;
    messages_.Error(
        "Symbols: Je ein Zeichen für:\r[Grunddatei, Masterdatei, Sperrdatei, "
        "Kompaktsperrdatei,\r Kopfdublette, Dublette, Folgesatz, Kopfsatz,\r Normalsatz, Original, "
        "Replikat, neu bewerteter Satz, Dateiprio]");
    return;
  }
}

void TParameterChecker::SetDefaultTableNames() {
  if (f_.plzPart.length != 0) {
    set_.SetGivenFile(kCodePlz, Format("GERMANY%d.PLZ", f_.plzPart.length));
  }
  set_.SetGivenFile(kCodeSimpleTable, "SIMPLE.MAP");
  set_.SetGivenFile(kCodePhoneticTable, "PHONETIC.MAP");
  if (f_.makeCompactFile) set_.SetGivenFile(kCodeCompact, set_.TextNumber(5));
}

void TParameterChecker::CheckDirectories() {
  for (std::int32_t code = kCodeInputPath; code <= kCodeUniversal2; ++code) {
    const TFileRef& ref = f_.files[static_cast<std::size_t>(code)];
    const std::string who = FileCodeName(code);
    if (!ReportName(who, ref, code <= kCodeTablePath)) continue;
    std::string directory = Full(ref);
    if (directory.size() > 1) directory.pop_back();  // the trailing separator
    struct stat st;
    if (stat(directory.c_str(), &st) != 0) {
      messages_.Error(Format("%s: \"%s\" nicht gefunden.", who.c_str(), directory.c_str()));
    } else if (!S_ISDIR(st.st_mode)) {
      messages_.Error(Format("%s: \"%s\" ist kein Verzeichnis.", who.c_str(), directory.c_str()));
    }
  }
}

void TParameterChecker::CheckNames() {
  for (std::int32_t code = kCodeSingle; code <= kCodePhoneticTable; ++code) {
    TFileRef& ref = f_.files[static_cast<std::size_t>(code)];
    ref.code = code;
    // The journal was resolved in stage B; only a missing base path is still to be reported.
    if (code != kCodeJournal) ResolveRef(ref);
    bool required = false;
    switch (code) {
      case kCodeCompact:
        required = f_.makeCompactFile;
        break;
      case kCodeJournal:
      case kCodeDarkCache:
      case kCodeTemp1:
      case kCodeTemp2:
      case kCodeTemp3:
      case kCodeTemp4:
      case kCodeSimpleTable:
      case kCodePhoneticTable:
        required = true;
        break;
      case kCodePlz:
        required = f_.plzPart.length != 0;
        break;
      default:
        break;
    }
    if (!ReportName(FileCodeName(code), ref, required)) continue;
    // Name patterns are no files: their "*" is filled per input file or per dark list.
    const bool pattern = ((code == kCodeSingle || code == kCodeMulti) && f_.splitOutput) ||
                         (code == kCodeDuplicates && f_.splitDuplicates) || code == kCodeDarkCache;
    if (pattern) ref.name = 0;
    // The product's tables: the exact name first, then a case-insensitive match.
    if (code >= kCodePlz && !FileExistsNotDirectory(Full(ref))) {
      const std::string full = Full(ref);
      if (auto found = FindProductFile(ParentPath(full), ShortName(full))) {
        set_.Resolve(ref, *found, kNameOk);
      }
    }
  }
}

void TParameterChecker::CheckInputFiles() {
  const TFileRef& list = f_.files[kCodeFileList];
  if (list.state == kNameOk) {
    const TFileListResult read = ReadFileList(Full(list));
    if (read.error) {
      messages_.Error(*read.error);
      return;
    }
    std::vector<TInputFileEntry> entries(read.entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      entries[i].type = read.entries[i].type;
      entries[i].priority = static_cast<std::uint16_t>(read.entries[i].priority);
      entries[i].name = set_.AddText(read.entries[i].name);
    }
    f_.vectors[1] = set_.AddVector<TInputFileEntry>(entries);
  }
  CheckVector<TInputFileEntry>("Eingabedateien", f_.vectors[1], 1, kMaxInputFiles,
                               [&](TInputFileEntry& entry, std::int64_t i) {
                                 entry.number = static_cast<std::uint16_t>(i);
                                 messages_.Range("Priorität", entry.priority, 0, 999);
                                 entry.file.code = kCodeInputFile + static_cast<std::int32_t>(i);
                                 entry.file.given = entry.name;
                                 ResolveRef(entry.file);
                                 ReportName(messages_.ValuePath("Name"), entry.file, true);
                               });
}

void TParameterChecker::CheckVectors() {
  CheckVector<TFieldEntry>(
      "Klassenschlüssel", f_.vectors[2], 1, 32,
      [&](TFieldEntry& field, std::int64_t) { CheckFieldValues(field, RecordField(1, 1)); });
  if (f_.sortOutput) {
    FieldRule rule = RecordField(1, 1);
    rule.positionMax = f_.truncatedLength;
    rule.truncated = true;
    CheckVector<TFieldEntry>(
        "Sortierschlüssel Ausgabe", f_.vectors[3], 1, 32,
        [&](TFieldEntry& field, std::int64_t) { CheckFieldValues(field, rule); });
  }
  CheckVector<TSlotEntry>("Slots", f_.vectors[4], 1, 32,
                          [&](TSlotEntry& slot, std::int64_t i) { CheckSlot(slot, i); });
  // Position 0: blanks of the field's length.
  const auto listField = [&](TFieldEntry& field, std::int64_t) {
    CheckFieldValues(field, RecordField(0, 1));
  };
  CheckVector<TFieldEntry>("Listenfelder", f_.vectors[7], 1, 32, listField);
  CheckVector<TFieldEntry>("Sperrsatzfelder", f_.vectors[8], 0, 32, listField);
  CheckVector<TRatingFieldEntry>("Bewertungsfelder", f_.vectors[9], 0, 32,
                                 [&](TRatingFieldEntry& field, std::int64_t) {
                                   CheckFieldValues(field.field, RecordField(1, 1));
                                 });
  CheckVector<TColumnEntry>("Protokollspalten", f_.vectors[10], 0, 200,
                            [&](TColumnEntry& column, std::int64_t) { CheckColumn(column); });
}

void TParameterChecker::CheckSlot(TSlotEntry& slot, std::int64_t i) {
  const bool firma = slot.kind == SlotKind::kFirma;
  slot.darkList.code = kCodeSlotDarkList + static_cast<std::int32_t>(i);
  slot.akzDarkList.code = kCodeSlotAkzList + static_cast<std::int32_t>(i);
  ResolveDarkList(slot.darkList, messages_.ValuePath("Schwarze Liste"));
  if (firma) {
    ResolveDarkList(slot.akzDarkList, messages_.ValuePath("AKZ-Schwarze Liste"));
    messages_.Range("AP Feldnummer", slot.apFieldNumber, 0,
                    std::max<std::int16_t>(0, slot.fields.count));
    TCheckContext context(messages_, "AKZ-Feld");
    CheckFieldValues(slot.akzField, RecordField(1, 0));
  }
  const auto field = [&](TFieldEntry& entry, std::int64_t) {
    CheckFieldValues(entry, RecordField(1, 1));
  };
  CheckVector<TFieldEntry>("Felder", slot.fields, 1, 32, field);
  // The contact person's fields are read from the record like the slot's own fields.
  if (firma) CheckVector<TFieldEntry>("AP Felder", slot.apFields, 0, 32, field);
  CheckVector<TComponentEntry>(
      "Komponenten", slot.components, 1, 32,
      [&](TComponentEntry& component, std::int64_t) { CheckComponent(component); });
  if (messages_.ElementClean()) CheckSlotComponents(slot);
}

void TParameterChecker::CheckSlotComponents(const TSlotEntry& slot) {
  const auto components = ComponentsOf(slot);
  const auto kinds = [&](std::initializer_list<ComponentKind> expected) {
    if (components.size() != expected.size()) return false;
    std::size_t j = 0;
    for (const ComponentKind kind : expected) {
      if (components[j++].kind != kind) return false;
    }
    return true;
  };
  using K = ComponentKind;
  switch (slot.kind) {
    case SlotKind::kIdent:
    case SlotKind::kText:
      if (!kinds({K::kText})) messages_.ElementError("Text-Komponente erwartet");
      break;
    case SlotKind::kName:
      if (!kinds({K::kNormal, K::kNormal})) {
        messages_.ElementError("zwei Normal-Komponenten erwartet");
      }
      break;
    case SlotKind::kStrasse:
      if (components.size() == 3) {
        if (!kinds({K::kNormal, K::kHausnummer, K::kPostfach})) {
          messages_.ElementError(
              "eine Normal-, eine Hausnummern- und eine Postfach-Komponente erwartet");
        }
      } else if (!kinds({K::kNormal, K::kHausnummer})) {
        messages_.ElementError("eine Normal- und eine Hausnummern-Komponente erwartet");
      }
      break;
    case SlotKind::kFirma:
      if (!kinds({K::kNormal, K::kNormal, K::kNormal, K::kText})) {
        messages_.ElementError("drei Normal- und eine Text-Komponente erwartet");
      }
      break;
    case SlotKind::kNormal:
      break;
  }
}

void TParameterChecker::CheckComponent(const TComponentEntry& c) {
  messages_.Range("Qualität", c.quality, 0, 255);
  switch (c.kind) {
    case ComponentKind::kNormal:
      messages_.Range("Wort-Hürde", c.wordHurdle, 1, 255);
      messages_.Range("Basis", c.base, 0, 1000);
      messages_.Range("Relativ", c.relative, 0, 1000);
      messages_.Range("Absolut", c.absolute, 0, 1000);
      messages_.Range("Obergrenze", c.upperLimit, 0, 50000);
      break;
    case ComponentKind::kHausnummer:
      messages_.Range("Delta", c.wordHurdle, 0, 9999);
      messages_.Range("Schwach", c.base, 0, 1000);
      messages_.Range("Stark", c.relative, 0, 1000);
      break;
    case ComponentKind::kText:
    case ComponentKind::kPostfach:
      messages_.Range("Punkte", c.base, 0, 1000);
      break;
  }
  messages_.Range("Bonus-Priorität", c.bonusPriority, 0, 15);
  messages_.Range("Bonus 0", c.bonus0, 0, 1000);
  messages_.Range("Bonus 1", c.bonus1, 0, 1000);
  messages_.Range("Bonus 2", c.bonus2, 0, 1000);
  if (c.replicate && c.bonusPriority != 0) {
    messages_.ElementError("Replizieren und Bonus-Priorität schließen sich gegenseitig aus.");
  }
  if (c.bonus2 != 0 && c.bonusPriority == 0 && f_.minimumPoints == 3) {
    messages_.ValueWarning("Bonus 2",
                           "Wert wird ignoriert (Mindestpunkte sind auf APs beschränkt)");
  }
}

void TParameterChecker::CheckColumn(const TColumnEntry& column) {
  if (column.kind == 0) {
    const char* name = SystemColumnName(column.systemKind);
    switch (column.systemKind) {
      case 0:
        break;
      case 2:
      case 3:
      case 13:
      case 14:
        if (column.displayMode > 2) {
          messages_.ValueError(
              "Darstellung",
              Format("Mögliche Werte für die Spalte %s: [zeigen, verbergen, gemäß Vorgabe].",
                     name));
        }
        break;
      case 9:
      case 11:
      case 12:
        if (column.displayMode > 1) {
          messages_.ValueError(
              "Darstellung",
              Format("Mögliche Werte für die Spalte %s: [zeigen, verbergen].", name));
        }
        break;
      default:
        if (column.displayMode != 3) {
          messages_.ValueError("Darstellung",
                               Format("Die Spalte %s ist eine Pflichtspalte.", name));
        }
        break;
    }
    return;
  }
  if (set_.Text(column.title1).empty() && set_.Text(column.title2).empty()) {
    messages_.ElementError("Es dürfen nicht beide Titel zugleich leer sein.");
  }
  const std::string_view preset = set_.Text(column.preset);
  if (column.value != 0 && !preset.empty() && preset.find("%s") == std::string_view::npos) {
    messages_.ValueWarning("Vorbelegung",
                           "Der Spaltenwert wird ignoriert (Vorbelegung leer lassen oder "
                           "Platzhalter \"%s\" benutzen).");
  }
}

}  // namespace vld
