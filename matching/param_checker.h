// The stages of the parameter check (param_check.h), as one object per check. Internal to the
// check; the stages live in param_check.cc (A, B, D, E), param_check_values.cc (C),
// param_check_files.cc (F) and param_check_tables.cc (G, H).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "matching/compact_header.h"
#include "matching/param_check.h"
#include "matching/param_messages.h"
#include "matching/param_names.h"
#include "platform/fatal.h"

namespace vld {

// The name of a system column kind (1 "Nr" .. 14 "Multi"; 0 "(keine)").
inline const char* SystemColumnName(std::uint8_t kind) {
  static constexpr const char* kNames[15] = {"(keine)", "Nr",      "Ident",   "Name",    "Prio",
                                             "Art",     "Brutto",  "Netto",   "Absolut", "Treffer",
                                             "Intra",   "Prozent", "%-Netto", "Single",  "Multi"};
  return kind < 15 ? kNames[kind] : "?";
}

class TParameterChecker {
 public:
  TParameterChecker(TParameterCheck& set, TMatchTables& tables, RunStart start,
                    const ParameterMessageSink& messages, const JournalSink& journal);
  void Run();

 private:
  // How a field of a record is checked: position lowest..highest, length lengthMin..255; when
  // both are set the field must lie inside the first `highest` bytes.
  struct FieldRule {
    std::int64_t positionMin = 1;
    std::int64_t positionMax = 0;
    std::int64_t lengthMin = 0;
    bool truncated = false;  // the bound is the truncated record
  };

  bool Clean() const { return messages_.Errors() == 0; }
  bool StageA();
  void StageB();
  void StageC();
  void StageD();
  void StageE();
  void StageF();
  void StageG();
  void StageH();
  // Reports "Die Parameter benötigen insgesamt zu viel Speicher." when the block ran full.
  bool ReportExhausted();

  // ---- Stage C (param_check_values.cc) ----
  void CheckScalars();
  void CheckSingleField(std::string_view name, const TFieldEntry& field);
  void CheckPlzPart(std::int64_t bound, bool containment);
  void CheckSymbols();
  void SetDefaultTableNames();
  void CheckDirectories();
  void CheckNames();
  void CheckInputFiles();
  void CheckVectors();
  void CheckFieldValues(const TFieldEntry& field, const FieldRule& rule);
  void CheckSlot(TSlotEntry& slot, std::int64_t i);
  void CheckSlotComponents(const TSlotEntry& slot);
  void CheckComponent(const TComponentEntry& component);
  void CheckColumn(const TColumnEntry& column);
  // Checks the vector's kinds and count; then `element` for each entry in its context.
  template <typename T, typename F>
  void CheckVector(std::string_view name, const TVectorRef& vector, std::int64_t lowest,
                   std::int64_t highest, F&& element);
  FieldRule RecordField(std::int64_t positionMin, std::int64_t lengthMin) const;

  // ---- Names ----
  void ResolveBases();
  // Resolves `ref` relative to its code's default base and stores the result.
  void ResolveRef(TFileRef& ref);
  // Reports the state of `ref` under `who`; true when the name is fine.
  bool ReportName(std::string_view who, const TFileRef& ref, bool required);
  // A dark list of slot `i`: resolved; a list an earlier slot names already takes its code.
  void ResolveDarkList(TFileRef& list, std::string_view who);
  TFileRef MakeOwnFile(std::int32_t code, std::string_view pattern, std::string_view fullName);

  // ---- Stage E ----
  void CheckCollisions();
  void CheckBonusPriorities();
  void CheckRatingFields();
  void CheckColumnList();

  // ---- Stage F (param_check_files.cc) ----
  void MeasureInputFiles();
  void MeasureRecordFile(TInputFileEntry& entry);
  void MeasureCompactFile(TInputFileEntry& entry, std::size_t index);
  void CheckOutputsCreatable();
  void CheckCreatable(const TFileRef& ref);
  void CheckOpenable(const TFileRef& ref);
  bool DeriveLayouts();

  // ---- Stages G, H (param_check_tables.cc) ----
  void LoadDarkLists();
  void CompareCompactFile(const TInputFileEntry& entry, const TCompactHeader& header);

  std::string Given(const TFileRef& ref) const { return std::string(set_.Text(ref.given)); }
  std::string Full(const TFileRef& ref) const { return std::string(set_.Text(ref.name)); }
  std::span<TComponentEntry> ComponentsOf(const TSlotEntry& slot) {
    return set_.Entries<TComponentEntry>(slot.components);
  }

  TParameterCheck& set_;
  TParameterFields& f_;
  TMatchTables& tables_;
  RunStart start_;
  const JournalSink& journal_;
  TCheckMessages messages_;
  TBasePaths bases_;
  std::vector<std::optional<TCompactHeader>> headers_;  // by input file, type K
};

template <typename T, typename F>
void TParameterChecker::CheckVector(std::string_view name, const TVectorRef& vector,
                                    std::int64_t lowest, std::int64_t highest, F&& element) {
  if (vector.count < 0) {
    const std::int64_t count = -static_cast<std::int64_t>(vector.count);
    std::string list;
    std::int64_t wrong = 0;
    bool cut = false;
    for (std::int64_t i = 0; i < count; ++i) {
      if (set_.template At<std::uint8_t>(vector.wrongKinds + static_cast<std::uint32_t>(i)) == 0) {
        continue;
      }
      ++wrong;
      if (cut) continue;
      if (list.size() > 20) {
        list += " ...";
        cut = true;
        continue;
      }
      list += Format(" %lld", static_cast<long long>(i + 1));
    }
    if (wrong == count) {
      messages_.ValueError(name, "Alle Elemente haben einen falschen Typ.");
    } else {
      messages_.ValueError(name, "Folgende Elemente haben einen falschen Typ:" + list);
    }
    return;
  }
  if (vector.count < lowest || vector.count > highest) {
    messages_.ValueError(
        name, Format("Die Anzahl der Elemente (%d) liegt nicht im Bereich von %lld bis %lld.",
                     static_cast<int>(vector.count), static_cast<long long>(lowest),
                     static_cast<long long>(highest)));
    return;
  }
  const std::span<T> entries = set_.template Entries<T>(vector);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    TCheckContext context(messages_, name, static_cast<std::int64_t>(i + 1));
    element(entries[i], static_cast<std::int64_t>(i + 1));
  }
}

}  // namespace vld
