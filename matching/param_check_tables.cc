// Stages G and H of the parameter check: the tables, and the compact dark files used as input
// compared with the set.
#include "matching/param_checker.h"

namespace vld {
namespace {

const char* ComponentKindName(std::uint32_t kind) {
  static constexpr const char* kNames[4] = {"Text", "Normal", "Postfach", "Hausnummer"};
  return kind < 4 ? kNames[kind] : "?";
}

constexpr std::string_view kPackageFault = "ist keine Schwarze-Liste-Paketdatei.";

}  // namespace

void TParameterChecker::StageG() {
  const auto given = [&](std::int32_t code) {
    return Given(f_.files[static_cast<std::size_t>(code)]);
  };
  const auto full = [&](std::int32_t code) {
    return Full(f_.files[static_cast<std::size_t>(code)]);
  };
  if (f_.plzPart.length != 0) {
    if (auto error =
            TryLoadPlzMapping(full(kCodePlz), given(kCodePlz), f_.plzPart.length, tables_.plz)) {
      messages_.Error(*error);
    }
  }
  if (auto error = TryLoadNormalizer(full(kCodePhoneticTable), given(kCodePhoneticTable),
                                     tables_.phonetic)) {
    messages_.Error(*error);
  }
  if (auto error =
          TryLoadNormalizer(full(kCodeSimpleTable), given(kCodeSimpleTable), tables_.simple)) {
    messages_.Error(*error);
  }
  // The dark lists are normalised with the phonetic table.
  if (tables_.phonetic) LoadDarkLists();
}

void TParameterChecker::LoadDarkLists() {
  DarkListSettings settings;
  const TNormalizer& phonetic = *tables_.phonetic;
  settings.normalise = [&phonetic](std::string_view text) { return phonetic.Normalized(text); };
  settings.phoneticTable = Full(f_.files[kCodePhoneticTable]);
  settings.useCache = f_.darkListCache;
  TCheckContext context(messages_, "Schwarze Liste");
  const auto load = [&](const TFileRef& list, const TFileRef& cache) -> std::int16_t {
    if (list.state != kNameOk || list.name == 0) return 0;  // the shared empty list
    std::string error;
    const std::int32_t index = tables_.darkLists->Load(Full(list), Full(cache), settings, error);
    if (index >= 0) return static_cast<std::int16_t>(index);
    if (error.size() >= kPackageFault.size() &&
        error.compare(error.size() - kPackageFault.size(), kPackageFault.size(), kPackageFault) ==
            0) {
      messages_.Error("Schwarze Liste, Paketeintrag: " + error);
    } else {
      messages_.ElementError(error);
    }
    return 0;
  };
  for (TSlotEntry& slot : set_.Slots()) {
    slot.darkListIndex = load(slot.darkList, slot.darkCache);
    slot.akzDarkListIndex =
        slot.kind == SlotKind::kFirma ? load(slot.akzDarkList, slot.akzDarkCache) : 0;
  }
  tables_.darkLists->BuildIdentifierMap();
}

void TParameterChecker::StageH() {
  const auto inputs = set_.InputFiles();
  for (std::size_t i = 0; i < inputs.size() && i < headers_.size(); ++i) {
    if (headers_[i]) CompareCompactFile(inputs[i], *headers_[i]);
  }
}

void TParameterChecker::CompareCompactFile(const TInputFileEntry& entry,
                                           const TCompactHeader& header) {
  TCheckContext context(messages_, "Eingabedateien", entry.number);
  bool same = true;
  if (header.classKeyLength != f_.classKeyLength) {
    messages_.ValueError("Params", Format("Die Größe des Klassenschlüssels (%d) paßt nicht (<>%d)",
                                          static_cast<int>(header.classKeyLength),
                                          static_cast<int>(f_.classKeyLength)));
    same = false;
  }
  if (header.components != f_.componentCount) {
    messages_.ValueError(
        "Params", Format("Die Anzahl der Komponenten (%d) paßt nicht (<>%d)",
                         static_cast<int>(header.components), static_cast<int>(f_.componentCount)));
    same = false;
  }
  const TFieldEntry& plz = f_.plzPart;
  if (header.plzLength != plz.length ||
      (header.plzLength != 0 && plz.length != 0 && header.plzPosition != plz.position)) {
    messages_.ValueWarning(
        "Params", Format("Das Postleitzahlen-Teilfeld (%d,%d) stimmt nicht überein (<> (%d,%d))",
                         header.plzPosition, header.plzLength, plz.position, plz.length));
  }
  if (header.plausibleInterval != f_.plausibleInterval) {
    messages_.ValueWarning(
        "Params", Format("Die Größe des Plausibilitätsintervalls (%d) stimmt nicht überein (<>%d)",
                         static_cast<int>(header.plausibleInterval), f_.plausibleInterval));
  }
  if (!same) return;
  std::int64_t j = 0;
  for (const TSlotEntry& slot : set_.Slots()) {
    const auto slotKind = static_cast<std::uint8_t>(slot.kind);
    for (const TComponentEntry& component : ComponentsOf(slot)) {
      const TCompactComponentDescriptor& d = header.descriptors[static_cast<std::size_t>(j)];
      ++j;
      TCheckContext componentContext(messages_, "Params.Komponenten", j);
      const auto kind = static_cast<std::uint8_t>(component.kind);
      if (d.kind != kind) {
        messages_.ElementError(Format("Die Art der Komponente (%s) paßt nicht (<>%s)",
                                      ComponentKindName(d.kind), ComponentKindName(kind)));
        continue;
      }
      if (component.kind == ComponentKind::kText) {
        const bool fileIdent = d.slotKind == static_cast<std::uint8_t>(SlotKind::kIdent);
        const bool setIdent = slot.kind == SlotKind::kIdent;
        if (fileIdent && !setIdent) {
          messages_.ElementError("Die Textkomponente gehört nicht zu einem Ident-Slot");
        } else if (!fileIdent && setIdent) {
          messages_.ElementError("Die Textkomponente gehört zu einem Ident-Slot");
        }
      }
      if (component.kind == ComponentKind::kNormal) {
        if (d.prefix && !component.prefix) {
          messages_.ElementError("Die Komponente hat Prefix-Erkennung");
        } else if (!d.prefix && component.prefix) {
          messages_.ElementError("Die Komponente hat keine Prefix-Erkennung");
        }
        if (d.wordHurdle != component.wordHurdle) {
          messages_.ElementWarning(Format("Die Wort-Hürde (%u) stimmt nicht überein (<>%u)",
                                          d.wordHurdle,
                                          static_cast<unsigned>(component.wordHurdle)));
        }
      }
      const bool fileBlocks = d.slotKind >= 2 && d.blockHurdle > 0;
      const bool setBlocks = slotKind >= 2 && f_.blockHurdle != 0;
      if (fileBlocks && !setBlocks) {
        messages_.ElementWarning("In dieser Komponente wird dynamisch gesperrt");
      } else if (!fileBlocks && setBlocks) {
        messages_.ElementWarning("In dieser Komponente wird nicht dynamisch gesperrt");
      } else if (fileBlocks && d.blockHurdle != static_cast<std::uint32_t>(f_.blockHurdle)) {
        messages_.ElementWarning(Format("Die Sperr-Hürde (%u) stimmt nicht überein (<>%d)",
                                        d.blockHurdle, static_cast<int>(f_.blockHurdle)));
      }
    }
  }
}

}  // namespace vld
