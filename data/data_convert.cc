#include "data/data_convert.h"

#include <algorithm>

#include "data/code_pages.h"
#include "data/field_types.h"
#include "engine/files/xan_file.h"
#include "platform/checked.h"
#include "platform/fatal.h"

namespace vld {
namespace {

TIntArray ClassifyFields(TDataAccess& src) {
  TIntArray map;
  const std::int32_t count = src.FieldCount();
  for (std::int32_t i = 0; i < count; ++i) {
    map.push_back(IsTypedField(src.GetFieldDesc(i).typ) ? kFieldUnpaired : kFieldIgnored);
  }
  return map;
}

std::int32_t Width(std::int32_t length) { return std::clamp(length, 0, kMaxFieldWidth); }

}  // namespace

void TDataConverter::Classify(TDataAccess& src1, TDataAccess* src2) {
  map1_ = ClassifyFields(src1);
  map2_ = src2 != nullptr ? ClassifyFields(*src2) : TIntArray();
}

void TDataConverter::Pair(TDataAccess& src1, TDataAccess* src2) {
  if (src2 == nullptr) return;
  for (std::size_t i = 0; i < map1_.size(); ++i) {
    if (map1_[i] != kFieldUnpaired) continue;
    const std::int32_t typ1 = src1.GetFieldDesc(static_cast<std::int32_t>(i)).typ;
    for (std::size_t j = 0; j < map2_.size(); ++j) {
      if (map2_[j] != kFieldUnpaired) continue;
      if (src2->GetFieldDesc(static_cast<std::int32_t>(j)).typ != typ1) continue;
      map1_[i] = static_cast<std::int32_t>(j);
      map2_[j] = static_cast<std::int32_t>(i);
      break;
    }
  }
}

void TDataConverter::BuildLayout(TDataAccess& src1, TDataAccess* src2) {
  layout_.clear();
  std::int32_t position = 1;
  for (std::size_t i = 0; i < map1_.size(); ++i) {
    if (map1_[i] == kFieldIgnored) continue;
    const TFieldDesc d = src1.GetFieldDesc(static_cast<std::int32_t>(i));
    std::int32_t width = Width(d.length);
    std::int32_t partner = kNoSourceField;
    if (map1_[i] >= 0) {
      partner = map1_[i];
      width = std::max(width, Width(src2->GetFieldDesc(partner).length));
    }
    layout_.push_back(
        TExtFieldDesc{d.name, position, width, d.typ, static_cast<std::int32_t>(i), partner});
    position = CheckedAdd(position, width);
  }
  for (std::size_t j = 0; j < map2_.size(); ++j) {
    if (map2_[j] != kFieldUnpaired) continue;
    const TFieldDesc d = src2->GetFieldDesc(static_cast<std::int32_t>(j));
    const std::int32_t width = Width(d.length);
    layout_.push_back(TExtFieldDesc{d.name, position, width, d.typ, kNoSourceField,
                                    static_cast<std::int32_t>(j)});
    position = CheckedAdd(position, width);
  }
  recordNumberPosition_ = 0;
  if (recordNumberWidth_ > 0) {
    recordNumberPosition_ = position;
    position = CheckedAdd(position, recordNumberWidth_);
  }
  recordLength_ = position - 1;
  if (recordLength_ > kMaxLayoutRecordLength) {
    throw EUserError(
        Format("Der gemeinsame Satzaufbau wäre %d Zeichen lang; möglich sind "
               "höchstens %d. Bitte ordnen Sie weniger Spalten einem Feldtyp zu.",
               recordLength_, kMaxLayoutRecordLength));
  }
}

void TDataConverter::WriteFile(TDataAccess* src, int which) {
  if (which != 0 && which != 1) throw EUserError("invalid option");
  if (src == nullptr) return;
  TXanBufferedFile file(which == 0 ? OutputFile1 : OutputFile2);
  file.SetBufferSize(1 << 20);
  file.Open(kXanCreate | kXanAlways | kXanWrite | kXanSequential);
  std::vector<std::int64_t> cut(layout_.size(), 0);
  const std::int64_t numberBase = which == 0 ? 0 : written_[0];
  written_[which] = 0;
  std::string line;
  line.reserve(static_cast<std::size_t>(recordLength_) + 2);
  src->First();
  while (!src->Eof()) {
    src->Fetch();
    line.clear();
    for (std::size_t k = 0; k < layout_.size(); ++k) {
      const TExtFieldDesc& f = layout_[k];
      const std::int32_t index = which == 0 ? f.source1Index : f.source2Index;
      const auto width = static_cast<std::size_t>(f.length);
      if (index == kNoSourceField) {
        line.append(width, ' ');
        continue;
      }
      const std::size_t start = line.size();
      AppendRecordText(line, src->FieldText(index), src->codePage);
      const std::size_t n = line.size() - start;
      if (n > width) {
        line.resize(start + width);
        ++cut[k];
      } else {
        line.append(width - n, ' ');
      }
    }
    const std::int64_t number = CheckedAdd<std::int64_t>(numberBase, written_[which] + 1);
    if (recordNumberWidth_ > 0) {
      std::string digits = std::to_string(number);
      if (digits.size() > static_cast<std::size_t>(recordNumberWidth_)) {
        Fatal("record number wider than its field");
      }
      line.append(static_cast<std::size_t>(recordNumberWidth_) - digits.size(), '0');
      line += digits;
    }
    line += "\r\n";
    file.WriteText(line);
    if (sink_ != nullptr) sink_->AddRow(which, *src);
    ++written_[which];
    src->Skip();
  }
  file.Close();
  for (std::size_t k = 0; k < layout_.size(); ++k) {
    if (cut[k] == 0) continue;
    journal_.push_back(Format("Eingabedatei %d, Feld \"%s\": %lld Werte gekürzt", which + 1,
                              layout_[k].name.c_str(), static_cast<long long>(cut[k])));
  }
}

TExtFieldDesc TDataConverter::GetLayoutField(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= layout_.size()) {
    throw EUserError("Index ausserhalb der Grenzen.");
  }
  return layout_[static_cast<std::size_t>(index)];
}

void TDataConverter::Execute(TDataAccess& src1, TDataAccess* src2) {
  journal_.clear();
  Classify(src1, src2);
  Pair(src1, src2);
  BuildLayout(src1, src2);
  WriteFile(&src1, 0);
  WriteFile(src2, 1);
}

void TDataConverter::FillTable(TFieldTable& table) const {
  table.Clear();
  for (std::size_t k = 0; k < layout_.size(); ++k) {
    const TExtFieldDesc& f = layout_[k];
    table.Append(TFieldRow{static_cast<std::int32_t>(k), f.name, f.position, f.length, f.typ});
  }
}

}  // namespace vld
