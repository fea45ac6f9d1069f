#include "fuzz/source_check.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "data/code_pages.h"
#include "data/data_convert.h"
#include "data/field_types.h"
#include "fuzz/fuzz_support.h"
#include "platform/fatal.h"

namespace vld::fuzz {
namespace {

constexpr std::int32_t kNumberWidth = 10;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The layout the converter must give one source: one field per typed field in order, as wide as
// its description (0 .. 255), positions following each other from 1.
TExtFieldDescs ExpectedLayout(TDataAccess& source) {
  TExtFieldDescs layout;
  std::int32_t position = 1;
  for (std::int32_t i = 0; i < source.FieldCount(); ++i) {
    const TFieldDesc d = source.GetFieldDesc(i);
    if (!IsTypedField(d.typ)) continue;
    const std::int32_t width = std::clamp(d.length, 0, kMaxFieldWidth);
    layout.push_back(TExtFieldDesc{d.name, position, width, d.typ, i, kNoSourceField});
    position += width;
  }
  return layout;
}

}  // namespace

std::int32_t TypeFromSeed(unsigned seed, std::size_t field) {
  const auto table = FieldTypeTable();
  return table[(seed + field) % table.size()].typ;
}

void ConvertAndCheck(TDataAccess& source, const SourceRecords& records, bool numbered,
                     const std::optional<std::string>& readError) {
  TDataConverter converter;
  converter.OutputFile1 = ScratchFile("Matchfile1.txt");
  if (numbered) converter.SetRecordNumberWidth(kNumberWidth);
  const auto error = Outcome([&] { converter.Execute(source, nullptr); }, kAcceptUserError);
  const TExtFieldDescs layout = ExpectedLayout(source);
  std::int64_t length = numbered ? kNumberWidth : 0;
  for (const TExtFieldDesc& f : layout) length += f.length;
  if (length > kMaxLayoutRecordLength) {
    Require(error && error->rfind("Der gemeinsame Satzaufbau wäre ", 0) == 0,
            "Ein zu langer Satzaufbau wurde nicht gemeldet.");
    return;
  }
  if (readError) {
    Require(error == readError, "Die Umsetzung meldet den Fehler der Quelle nicht.");
    return;
  }
  Require(!error, "Die Umsetzung meldet einen Fehler: " + error.value_or(""));
  Require(converter.Layout() == layout, "Der Satzaufbau der Umsetzung weicht ab.");
  Require(converter.OutputRecordLength() == length, "Die Satzlänge der Umsetzung weicht ab.");
  Require(converter.WrittenRecords(0) == static_cast<std::int64_t>(records.size()),
          "Die Umsetzung hat nicht jeden Datensatz geschrieben.");

  std::vector<std::int64_t> cut(layout.size(), 0);
  std::string expected;
  for (std::size_t r = 0; r < records.size(); ++r) {
    std::string line;
    for (std::size_t k = 0; k < layout.size(); ++k) {
      const auto index = static_cast<std::size_t>(layout[k].source1Index);
      std::string value = RecordText(records[r].at(index), source.codePage);
      const auto width = static_cast<std::size_t>(layout[k].length);
      if (value.size() > width) {
        value.resize(width);
        ++cut[k];
      }
      value.resize(width, ' ');
      line += value;
    }
    if (numbered) {
      const std::string digits = std::to_string(r + 1);
      line += std::string(kNumberWidth - digits.size(), '0') + digits;
    }
    Require(line.find_first_of("\r\n") == std::string::npos,
            "Ein Satz der Eingabedatei der Maschine enthält einen Zeilenumbruch.");
    expected += line + "\r\n";
  }
  Require(ReadFile(converter.OutputFile1) == expected,
          "Die Eingabedatei der Maschine weicht vom Satzaufbau ab.");
  std::vector<std::string> journal;
  for (std::size_t k = 0; k < layout.size(); ++k) {
    if (cut[k] == 0) continue;
    journal.push_back(Format("Eingabedatei 1, Feld \"%s\": %lld Werte gekürzt",
                             layout[k].name.c_str(), static_cast<long long>(cut[k])));
  }
  Require(converter.Journal() == journal, "Das Journal der gekürzten Werte weicht ab.");
}

}  // namespace vld::fuzz
