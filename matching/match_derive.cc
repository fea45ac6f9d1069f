#include "matching/match_derive.h"

#include <algorithm>
#include <vector>

namespace vld {
namespace {

std::int64_t SumOfLengths(std::span<const TFieldEntry> fields) {
  std::int64_t sum = 0;
  for (const TFieldEntry& f : fields) sum += f.length;
  return sum;
}

std::int64_t ComponentCountOf(const TParameterStore& set) {
  std::int64_t n = 0;
  for (const TSlotEntry& slot : set.Slots()) n += std::max<std::int16_t>(slot.components.count, 0);
  return n;
}

}  // namespace

void DeriveRecordLengths(TParameterFields& f) {
  const int crlf = f.crlf ? 2 : 0;
  f.effectiveRecordLength = static_cast<std::uint16_t>(std::max(0, f.recordLength - crlf));
  const int truncated = f.truncate > 0 ? f.truncate : f.recordLength + f.truncate;
  f.truncatedLength = static_cast<std::uint16_t>(std::max(0, truncated - crlf));
}

bool DeriveOutputSortRecord(TParameterCheck& set, const RangeCheck& range) {
  TParameterFields& f = set.Fields();
  if (!f.sortOutput) return true;
  const std::int64_t key = SumOfLengths(set.FieldVector(3));
  const std::int64_t record = f.truncatedLength + 2 + key;
  if (!range("Sortierschlüssel-Länge Ausgabe", key, 4, 8192)) return false;
  if (!range("Temporär-Datensatzlänge Ausgabe", record, 4, 8192)) return false;
  f.outFileNumberPosition = static_cast<std::uint16_t>(f.truncatedLength + 1);
  f.outSortKeyPosition = static_cast<std::uint16_t>(f.truncatedLength + 3);
  f.outSortKeyLength = static_cast<std::uint16_t>(key);
  f.outSortRecordLength = static_cast<std::uint16_t>(record);
  return true;
}

SlotSize ComputeSlotSize(const TParameterStore& set, const TSlotEntry& slot) {
  SlotSize s;
  const auto fields = set.Entries<TFieldEntry>(slot.fields);
  const std::int64_t b = SumOfLengths(fields);
  const auto components = set.Entries<TComponentEntry>(slot.components);
  s.textSize = b + static_cast<std::int64_t>(fields.size()) - 1;
  s.reserve = b * 10 / 6 - b + 2 * static_cast<std::int64_t>(components.size());
  std::int64_t text = s.textSize;
  if (slot.kind == SlotKind::kFirma && slot.apFields.count > 0) {
    const auto ap = set.Entries<TFieldEntry>(slot.apFields);
    const std::int64_t g = SumOfLengths(ap);
    s.apSize = g + static_cast<std::int64_t>(ap.size()) - 1;
    text += s.apSize;
    s.reserve += g * 10 / 6 - g;
  }
  // Components that keep first-name identifiers write 3 more bytes per token; a token takes at
  // least one character and one separator of the text, and a slot keeps at most 30 tokens.
  const std::int64_t tokens = std::min<std::int64_t>(30, (text + 1) / 2);
  for (const TComponentEntry& c : components) {
    if (c.kind == ComponentKind::kNormal && c.useFirstNames) s.reserve += 3 * tokens;
  }
  s.keyBytes = std::max<std::int64_t>(6, s.textSize + s.apSize + s.reserve);
  return s;
}

bool DeriveMatchRecord(TParameterCheck& set, const RangeCheck& range) {
  TParameterFields& f = set.Fields();
  const std::int64_t classKey = SumOfLengths(set.FieldVector(2));
  if (!range("Klassenschlüssel-Länge", classKey, 4, 8192)) return false;
  std::int64_t matchKey = f.matchKeyExtra;
  bool ok = true;
  for (const TSlotEntry& slot : set.Slots()) {
    const SlotSize s = ComputeSlotSize(set, slot);
    if (s.apSize != 0 && !range("AP-Felder-Größe", s.apSize, 1, 255)) ok = false;
    if (!range("Slotgröße", s.textSize + s.apSize, 1, slot.kind == SlotKind::kFirma ? 1024 : 255)) {
      ok = false;
    }
    matchKey += s.keyBytes;
  }
  if (!ok || !range("Matchschlüssel-Länge", matchKey, 1, 8192)) return false;
  const std::int64_t n = ComponentCountOf(set);
  const std::int64_t eff = f.effectiveRecordLength;
  const std::int64_t classRecord = eff + 2 + classKey;
  const std::int64_t flag = classRecord + 1;
  const std::int64_t offsets = flag + 1;
  const std::int64_t keyPosition = offsets + 2 * n;
  const std::int64_t record = keyPosition - 1 + matchKey;
  if (!range("Temporär-Datensatzlänge", record, 4, 8192)) return false;
  f.fileNumberPosition = static_cast<std::uint16_t>(eff + 1);
  f.classKeyPosition = static_cast<std::uint16_t>(eff + 3);
  f.classKeyLength = static_cast<std::uint16_t>(classKey);
  f.classRecordLength = static_cast<std::uint16_t>(classRecord);
  f.flagPosition = static_cast<std::uint16_t>(flag);
  f.componentOffsetsPosition = static_cast<std::uint16_t>(offsets);
  f.matchKeyPosition = static_cast<std::uint16_t>(keyPosition);
  f.matchKeyLength = static_cast<std::uint16_t>(matchKey);
  f.matchRecordLength = static_cast<std::uint16_t>(record);
  const int crlf = f.crlf ? 2 : 0;
  f.outputRecordLength = static_cast<std::uint16_t>(f.truncatedLength + crlf);
  if (f.outputWithMatchKey && !f.makeCompactFile && !f.sortOutput) {
    f.outputRecordLength = static_cast<std::uint16_t>(record + crlf);
  }
  return true;
}

bool DeriveListAndInfoLengths(TParameterCheck& set, const RangeCheck& range) {
  TParameterFields& f = set.Fields();
  std::int64_t list = 6 + SumOfLengths(set.FieldVector(7));
  if (!range("Länge des Listendatensatzes", list, 0, 8192)) return false;
  if (f.maxCompactInfoLength > 0) {
    if (!range("max. Länge der Infofelder", f.maxCompactInfoLength, 0, 8186)) return false;
    list = std::max<std::int64_t>(list, 6 + f.maxCompactInfoLength);
  }
  if (f.hideDarkRecords) {
    // The dark-record text takes the body of the line: 4 bytes before it, 2 after it.
    list = std::max<std::int64_t>(list, static_cast<std::int64_t>(set.TextNumber(4).size()) + 6);
  }
  const std::int64_t info = SumOfLengths(set.FieldVector(8));
  if (!range("Sperrsatzinfo-Länge", info, 0, 8186)) return false;
  f.listRecordLength = static_cast<std::uint16_t>(list);
  f.darkInfoLength = static_cast<std::uint16_t>(info);
  return true;
}

void DeriveDynamicBlocking(TParameterCheck& set) {
  TParameterFields& f = set.Fields();
  f.anyDynamicBlocking = false;
  for (TSlotEntry& slot : set.Slots()) {
    if (f.cityField.length == 0) slot.dynamicBlocking = false;
    f.anyDynamicBlocking = f.anyDynamicBlocking || slot.dynamicBlocking;
  }
}

bool BuildComponentList(TParameterCheck& set) {
  TParameterFields& f = set.Fields();
  std::vector<std::uint32_t> list;
  for (const TSlotEntry& slot : set.Slots()) {
    for (std::int16_t j = 0; j < slot.components.count; ++j) {
      list.push_back(slot.components.offset +
                     static_cast<std::uint32_t>(j) * sizeof(TComponentEntry));
    }
  }
  if (list.size() > 1024) return false;
  std::vector<std::uint16_t> order(list.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint16_t>(i + 1);
  f.componentCount = static_cast<std::int32_t>(list.size());
  if (list.empty()) return true;
  f.componentList = set.Add(list.data(), list.size() * sizeof(std::uint32_t));
  f.comparisonOrder = set.Add(order.data(), order.size() * sizeof(std::uint16_t));
  return f.componentList != 0 && f.comparisonOrder != 0;
}

void DeriveComponents(TParameterCheck& set) {
  TParameterFields& f = set.Fields();
  const std::int32_t n = f.componentCount;
  std::int64_t ceiling = 0;
  for (std::int32_t j = 0; j < n; ++j) {
    TComponentEntry& c = set.Component(j);
    if (c.bonusPriority > 0) {
      c.bonusMask = static_cast<std::uint16_t>(1u << (15 - c.bonusPriority));
      f.bonusLogic = true;
      switch (f.minimumPoints) {
        case 0:
          c.bonus2 = 0;
          break;
        case 1:
          c.bonus2 = c.bonus0;
          break;
        case 2:
          c.bonus2 = c.bonus1;
          break;
        default:
          break;  // 3 and 4: "Bonus 2" as given
      }
    } else if (f.minimumPoints != 4) {
      c.bonus2 = 0;
    }
    if (c.upperLimit == 0) c.upperLimit = 65535;
    c.bonus2 = std::min(c.bonus2, c.upperLimit);
    std::int64_t m;
    switch (c.kind) {
      case ComponentKind::kNormal:
        m = c.base + c.relative + 30 * static_cast<std::int64_t>(c.absolute);
        break;
      case ComponentKind::kHausnummer:
        m = std::max({c.base, c.relative, c.absolute});
        break;
      default:
        m = c.base;
    }
    const std::int64_t best = std::max<std::int64_t>({m, c.bonus0, c.bonus1, c.bonus2});
    c.maxScore = static_cast<std::uint16_t>(std::min<std::int64_t>(c.upperLimit, best));
    if (c.kind == ComponentKind::kNormal && c.tokenHurdle == 0) {
      c.tokenHurdle = static_cast<std::uint16_t>(f.tokenHurdle);
    }
    ceiling += c.maxScore;
  }
  if (!f.compareOptimisation) {
    f.scoreCeiling = 2147483647;
    return;
  }
  f.scoreCeiling = ceiling;
  auto* order = &set.At<std::uint16_t>(f.comparisonOrder);
  // Decreasing maximum score; ties keep the component met first in the scan from the end.
  for (std::int32_t i = 0; i + 1 < n; ++i) {
    for (std::int32_t j = n - 1; j > i; --j) {
      if (set.Component(order[j] - 1).maxScore > set.Component(order[i] - 1).maxScore) {
        std::swap(order[i], order[j]);
      }
    }
  }
}

}  // namespace vld
