#include "data/result_csv.h"

#include <map>

#include "data/csv_format.h"
#include "data/source_rows.h"
#include "engine/files/xan_file.h"
#include "platform/fatal.h"

namespace vld {
namespace {

// Result column of each column of each source (see the header).
struct ColumnPlan {
  std::vector<std::string> names;
  std::vector<std::size_t> of[2];
};

ColumnPlan PlanColumns(const TConvertedSources& sources) {
  ColumnPlan plan;
  std::map<std::string, std::vector<std::size_t>> byName;  // result columns per name
  for (const std::string& name : sources.ColumnNames(1)) {
    byName[name].push_back(plan.names.size());
    plan.of[0].push_back(plan.names.size());
    plan.names.push_back(name);
  }
  if (sources.SourceCount() == 2) {
    std::map<std::string, std::size_t> seen;
    for (const std::string& name : sources.ColumnNames(2)) {
      const std::size_t k = seen[name]++;
      const auto it = byName.find(name);
      if (it != byName.end() && k < it->second.size()) {
        plan.of[1].push_back(it->second[k]);
      } else {
        plan.of[1].push_back(plan.names.size());
        plan.names.push_back(name);
      }
    }
  }
  return plan;
}

}  // namespace

const char* ResultRoleName(TResultRole role) {
  switch (role) {
    case TResultRole::kSingle:
      return "Single";
    case TResultRole::kHead:
      return "Kopf";
    case TResultRole::kDuplicate:
      return "Dublette";
  }
  return "";
}

void WriteResultCsv(const std::string& fileName, const TConvertedSources& sources,
                    std::span<const TResultRecord> records) {
  if (static_cast<std::int64_t>(records.size()) != sources.RecordCount()) {
    Fatal("result records do not match the input records");
  }
  const ColumnPlan plan = PlanColumns(sources);
  TXanBufferedFile file(fileName);
  file.SetBufferSize(1 << 20);
  file.Open(kXanCreate | kXanAlways | kXanWrite | kXanSequential);
  std::string line = "\xEF\xBB\xBFQuelle;Zeile;Block;Gruppe;Rolle";
  for (const std::string& name : plan.names) {
    line.push_back(';');
    AppendCsvValue(line, name, ';', '"');
  }
  line += "\r\n";
  file.WriteText(line);

  TSourceRowReader rows(sources.RowsFile());
  std::vector<std::string> values, cells(plan.names.size());
  for (std::int64_t i = 0; i < sources.RecordCount(); ++i) {
    if (!rows.Next(values)) Fatal("source rows end before the records");
    const TRecordOrigin origin = sources.OriginOf(i);
    const TResultRecord& r = records[static_cast<std::size_t>(i)];
    const auto& columns = plan.of[origin.source - 1];
    for (std::string& cell : cells) cell.clear();
    for (std::size_t k = 0; k < values.size() && k < columns.size(); ++k) {
      cells[columns[k]] = std::move(values[k]);
    }
    line = std::to_string(origin.source) + ";" + std::to_string(origin.row) + ";";
    if (r.block != 0) line += std::to_string(r.block);
    line.push_back(';');
    if (r.group != 0) line += std::to_string(r.group);
    line.push_back(';');
    line += ResultRoleName(r.role);
    for (const std::string& cell : cells) {
      line.push_back(';');
      AppendCsvValue(line, cell, ';', '"');
    }
    line += "\r\n";
    file.WriteText(line);
  }
  file.Close();
}

}  // namespace vld
