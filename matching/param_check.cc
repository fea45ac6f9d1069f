// The parameter check: the order of the stages, the journal (B), per-input and cache names (D)
// and the cross checks (E).
#include "matching/param_check.h"

#include <algorithm>
#include <array>

#include "matching/file_list.h"
#include "matching/match_derive.h"
#include "matching/param_checker.h"

namespace vld {
namespace {

// Columns that every protocol must show, by system column kind.
constexpr std::array<std::uint8_t, 7> kRequiredColumns = {1, 4, 5, 6, 7, 8, 10};

}  // namespace

void CheckParameterSet(TParameterCheck& set, TMatchTables& tables, RunStart start,
                       const ParameterMessageSink& messages, const JournalSink& journal) {
  TParameterChecker checker(set, tables, start, messages, journal);
  checker.Run();
}

TParameterChecker::TParameterChecker(TParameterCheck& set, TMatchTables& tables, RunStart start,
                                     const ParameterMessageSink& messages,
                                     const JournalSink& journal)
    : set_(set),
      f_(set.Fields()),
      tables_(tables),
      start_(start),
      journal_(journal),
      messages_(set.Fields(), messages) {}

void TParameterChecker::Run() {
  if (!StageA()) return;
  ResolveBases();
  StageB();
  if (Clean()) StageC();
  if (Clean() && ReportExhausted()) return;
  if (Clean()) StageD();
  if (Clean() && ReportExhausted()) return;
  if (Clean()) StageE();
  if (Clean()) StageF();
  if (Clean() && ReportExhausted()) return;
  if (Clean()) StageG();
  if (Clean()) StageH();
}

bool TParameterChecker::ReportExhausted() {
  if (!set_.Exhausted()) return false;
  messages_.Error("Die Parameter benötigen insgesamt zu viel Speicher.");
  return true;
}

// ---- A, B ------------------------------------------------------------------------------------

bool TParameterChecker::StageA() { return !ReportExhausted(); }

void TParameterChecker::StageB() {
  TFileRef& journal = f_.files[kCodeJournal];
  journal.code = kCodeJournal;
  ResolveRef(journal);
  // A faulty or missing base path is reported with the base path (stage C).
  if (journal.state == kNameBaseFaulty || journal.state == kNameBaseUndefined) return;
  if (!ReportName(FileCodeName(kCodeJournal), journal, true)) return;
  const std::string name = Full(journal);
  if (journal_ && !journal_(name)) {
    messages_.Error(Format("Journal \"%s\" kann nicht angelegt werden.", name.c_str()));
  }
}

// ---- Names -----------------------------------------------------------------------------------

void TParameterChecker::ResolveBases() {
  for (const std::int32_t code :
       {kCodeUniversal1, kCodeUniversal2, kCodeInputPath, kCodeOutputPath, kCodeTablePath}) {
    TFileRef& ref = f_.files[static_cast<std::size_t>(code)];
    ref.code = code;
    const TResolvedName r = ResolveBasePath(set_.Text(ref.given), code, bases_);
    set_.Resolve(ref, r.full, r.state);
    bases_.state[static_cast<std::size_t>(code)] = r.state;
    bases_.full[static_cast<std::size_t>(code)] = r.full;
  }
}

void TParameterChecker::ResolveRef(TFileRef& ref) {
  const TResolvedName r = ResolveFileName(set_.Text(ref.given), DefaultBaseOf(ref.code), bases_);
  set_.Resolve(ref, r.full, r.state);
}

bool TParameterChecker::ReportName(std::string_view who, const TFileRef& ref, bool required) {
  if (const auto message = NameStateMessage(who, set_.Text(ref.given), ref.state, required)) {
    messages_.Error(*message);
  }
  return ref.state == kNameOk;
}

void TParameterChecker::ResolveDarkList(TFileRef& list, std::string_view who) {
  ResolveRef(list);
  ReportName(who, list, false);
  if (list.state != kNameOk) return;
  // A file an earlier slot names already: this slot shares that slot's list.
  const std::string full = Full(list);
  for (const TSlotEntry& slot : set_.Slots()) {
    for (const TFileRef* earlier : {&slot.darkList, &slot.akzDarkList}) {
      if (earlier == &list) return;
      if (earlier->state == kNameOk && earlier->name != 0 && set_.Text(earlier->name) == full) {
        list.code = earlier->code;
        return;
      }
    }
  }
}

TFileRef TParameterChecker::MakeOwnFile(std::int32_t code, std::string_view pattern,
                                        std::string_view fullName) {
  TFileRef ref = set_.GivenFile(code, ReplaceStar(pattern, fullName));
  ResolveRef(ref);
  ReportName(FileCodeName(code), ref, true);
  return ref;
}

// ---- D ---------------------------------------------------------------------------------------

void TParameterChecker::StageD() {
  // Own outputs of each Grund and Master file.
  const std::string single = Given(f_.files[kCodeSingle]), multi = Given(f_.files[kCodeMulti]);
  const std::string duplicates = Given(f_.files[kCodeDuplicates]);
  for (TInputFileEntry& entry : set_.InputFiles()) {
    if (entry.type != InputFileType::kGrund && entry.type != InputFileType::kMaster) continue;
    const std::string input = Full(entry.file);
    if (f_.splitOutput && !single.empty()) {
      entry.outputs[0] = MakeOwnFile(kCodeOwnSingle + entry.number, single, input);
    }
    if (f_.splitOutput && !multi.empty()) {
      entry.outputs[1] = MakeOwnFile(kCodeOwnMulti + entry.number, multi, input);
    }
    if (f_.splitDuplicates && !duplicates.empty()) {
      entry.outputs[2] = MakeOwnFile(kCodeOwnDuplicates + entry.number, duplicates, input);
    }
  }
  // Cache files of the dark lists a slot loads itself.
  const std::string cache = Given(f_.files[kCodeDarkCache]);
  std::int32_t i = 0;
  for (TSlotEntry& slot : set_.Slots()) {
    ++i;
    if (slot.darkList.state == kNameOk && slot.darkList.code == kCodeSlotDarkList + i) {
      slot.darkCache = MakeOwnFile(kCodeSlotDarkCache + i, cache, Full(slot.darkList));
    }
    if (slot.akzDarkList.state == kNameOk && slot.akzDarkList.code == kCodeSlotAkzList + i) {
      slot.akzDarkCache = MakeOwnFile(kCodeSlotAkzCache + i, cache, Full(slot.akzDarkList));
    }
  }
  if (!BuildComponentList(set_)) {
    messages_.Error("Für die Komponenten-Zeiger ist kein Speicher mehr vorhanden.");
  }
}

// ---- E ---------------------------------------------------------------------------------------

void TParameterChecker::StageE() {
  const auto inputs = set_.InputFiles();
  // 1.
  if ((f_.splitOutput || f_.splitDuplicates) && inputs.size() > kMaxInputFiles) {
    messages_.Error(
        Format("Das Auftrennen der Ausgabe bzw. Dubletten ist in dieser Version nur "
               "bis maximal %d Dateien möglich.",
               kMaxInputFiles));
  }
  // 2.
  CheckCollisions();
  // 3.
  std::array<std::int64_t, 4> types{};
  for (const TInputFileEntry& entry : inputs) ++types[static_cast<std::size_t>(entry.type) & 3];
  if (f_.makeCompactFile) {
    if (types[3] > 0) {
      messages_.Error(
          "Beim Erzeugen einer Kompaktsperrdatei kann keine Kompaktsperrdatei als Eingabe "
          "angegeben werden.");
    }
  } else if (types[0] == 0 && types[1] == 0) {
    messages_.Error("Es muß mindestens eine Grund- oder Masterdatei angegeben werden.");
  }
  // 4.
  std::int64_t quality = 0;
  for (std::int32_t j = 0; j < f_.componentCount; ++j) quality += set_.Component(j).quality;
  messages_.Range("Summe aller Qualitätswerte", quality, 0, 255);
  // 5.
  CheckBonusPriorities();
  // 6.
  std::int64_t list = 6;
  for (const TFieldEntry& field : set_.FieldVector(7)) list += field.length;
  messages_.Range("Länge des Listendatensatzes", list, 0, 8192);
  // 7., 8.
  CheckRatingFields();
  CheckColumnList();
}

void TParameterChecker::CheckCollisions() {
  TNameRegistry registry;
  const auto add = [&](const TFileRef& ref, bool directory) {
    if (ref.state == kNameOk && ref.name != 0) registry.Add(Full(ref), directory, ref.code);
  };
  for (std::int32_t code = kCodeInputPath; code <= kCodeUniversal2; ++code) {
    add(f_.files[static_cast<std::size_t>(code)], true);
  }
  for (std::int32_t code = kCodeSingle; code <= kCodePhoneticTable; ++code) {
    add(f_.files[static_cast<std::size_t>(code)], false);
  }
  for (const TInputFileEntry& entry : set_.InputFiles()) {
    add(entry.file, false);
    for (const TFileRef& output : entry.outputs) add(output, false);
  }
  std::int32_t i = 0;
  for (const TSlotEntry& slot : set_.Slots()) {
    ++i;
    // A list shared with an earlier slot is that slot's file.
    if (slot.darkList.code == kCodeSlotDarkList + i) add(slot.darkList, false);
    if (slot.akzDarkList.code == kCodeSlotAkzList + i) add(slot.akzDarkList, false);
    add(slot.darkCache, false);
    add(slot.akzDarkCache, false);
  }
  for (const TNameRegistry::Collision& c : registry.Collisions()) {
    messages_.Error(Format("%s \"%s\" hat eine Namenskollision mit:", FileCodeName(c.code).c_str(),
                           c.fullName.c_str()));
    for (const std::int32_t other : c.others) messages_.ErrorLine("  " + FileCodeName(other));
  }
}

void TParameterChecker::CheckBonusPriorities() {
  const std::int32_t n = f_.componentCount;
  for (std::int32_t j = 0; j < n; ++j) {
    const std::int16_t p = set_.Component(j).bonusPriority;
    if (p <= 0) continue;
    bool reported = false;
    for (std::int32_t k = j + 1; k < n; ++k) {
      TComponentEntry& later = set_.Component(k);
      if (later.bonusPriority != p) continue;
      if (!reported) {
        messages_.Error(Format("Die Bonus-Priorität %d ist mehrfach angegeben.", p));
        reported = true;
      }
      later.bonusPriority = 0;
    }
  }
}

void TParameterChecker::CheckRatingFields() {
  auto fields = set_.Entries<TRatingFieldEntry>(f_.vectors[9]);
  f_.selectionField = -1;
  if (fields.empty()) return;
  bool bonus = false;
  for (std::int32_t j = 0; j < f_.componentCount; ++j) {
    bonus = bonus || set_.Component(j).bonusPriority > 0;
  }
  if (bonus) {
    messages_.Error(
        "Bewertungsfelder und Ansprechpartner-Logik können nicht zusammen verwendet werden.");
  }
  if (f_.makeCompactFile) {
    messages_.Error(
        "Bewertungsfelder können beim Erzeugen von Kompaktsperrdateien nicht verwendet werden.");
  }
  bool selection = false;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TRatingFieldEntry& field = fields[i];
    if (field.rule == RatingRule::kSumme) {
      std::int32_t limit = 1;
      for (int d = 0; d < std::min<int>(9, field.field.length); ++d) limit *= 10;
      field.limit = limit - 1;
    }
    if (field.rule == RatingRule::kAuswahl) {
      selection = true;
      if (f_.selectionField < 0) f_.selectionField = static_cast<std::int16_t>(i);
    }
  }
  const auto used = [](const TFieldEntry& f) { return f.position != 0 && f.length != 0; };
  for (std::size_t i = 0; i < fields.size(); ++i) {
    for (std::size_t j = i + 1; j < fields.size(); ++j) {
      const TFieldEntry& a = fields[i].field;
      TFieldEntry& b = fields[j].field;
      if (!used(a) || !used(b)) continue;
      if (a.position + a.length <= b.position || b.position + b.length <= a.position) continue;
      messages_.Error(Format(
          "Das %d. Bewertungsfeld (%d, %d) überschneidet sich mit dem %d. Bewertungsfeld (%d, %d).",
          static_cast<int>(i + 1), a.position, a.length, static_cast<int>(j + 1), b.position,
          b.length));
      b.position = 0;
    }
  }
  if (selection && f_.selectionRule != 0 && f_.referenceField.length == 0) {
    messages_.Error(
        "Das Referenzfeld muß angegeben werden, wenn eine entsprechende Auswahlregel in den "
        "Bewertungen verwendet wird.");
  }
}

void TParameterChecker::CheckColumnList() {
  auto columns = set_.Entries<TColumnEntry>(f_.vectors[10]);
  std::array<std::size_t, 15> seen{};  // entry number (1-based) of each system column kind
  for (std::size_t k = 0; k < columns.size(); ++k) {
    TColumnEntry& column = columns[k];
    if (column.kind != 0 || column.systemKind < 1 || column.systemKind > 14) continue;
    std::size_t& first = seen[column.systemKind];
    if (first != 0) {
      messages_.Error(Format(
          "Spaltenliste: Die Systemspalte %s ist mehrfach vorhanden (Einträge %d und %d).",
          SystemColumnName(column.systemKind), static_cast<int>(first), static_cast<int>(k + 1)));
      column.systemKind = 0;
      continue;
    }
    first = k + 1;
  }
  const auto mode = [&](std::uint8_t kind) { return columns[seen[kind] - 1].displayMode; };
  const bool identShown = seen[2] != 0 && (mode(2) == 0 || (mode(2) == 2 && f_.fileMarking != 0));
  const bool nameShown = seen[3] != 0 && (mode(3) == 0 || (mode(3) == 2 && f_.fileMarking != 1));
  if (identShown && nameShown) {
    f_.fileMarking = 2;
  } else if (identShown) {
    f_.fileMarking = 1;
  } else if (nameShown) {
    f_.fileMarking = 0;
  } else {
    messages_.Error(
        Format("Spaltenliste: Mindestens eine der Spalten %s und %s muß angezeigt werden.", "Ident",
               "Name"));
  }
  std::string missing;
  for (const std::uint8_t kind : kRequiredColumns) {
    if (seen[kind] != 0) continue;
    if (!missing.empty()) missing += ", ";
    missing += SystemColumnName(kind);
  }
  if (!missing.empty()) {
    messages_.Error("Spaltenliste: Folgende Pflichtspalten fehlen: " + missing);
  }
}

}  // namespace vld
