#include "data/match_sources.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>

#include "data/csv_access.h"
#include "data/field_types.h"
#include "data/layout_params.h"
#include "data/odbc_access.h"
#include "data/plain_text_access.h"
#include "data/source_rows.h"
#include "data/text_source.h"
#include "engine/runtime/short_string.h"
#include "params/param_text.h"
#include "params/pro_options.h"
#include "platform/fatal.h"
#include "platform/paths.h"

namespace vld {
namespace {

struct OpenedSource {
  std::unique_ptr<TDataAccess> access;
  TFieldDescs descs;       // names in UTF-8
  bool listTypes = false;  // a field list gave types
};

OpenedSource OpenCsv(const TSourceSpec& given) {
  OpenedSource s;
  auto csv = std::make_unique<TCSVAccess>();
  csv->SetFileName(given.file);
  csv->SetQuote(given.quote);
  if (!FileExistsNotDirectory(given.file)) {
    throw EDataAccess(Format("Die Datei %s existiert nicht.", given.file.c_str()));
  }
  csv->codePage = given.codePage ? *given.codePage : DetectTextCodePage(given.file);
  std::optional<char> separator = given.separator;
  if (!separator) separator = DetectCsvSeparator(given.file, given.quote);
  // A one-column file: a zero byte never occurs in a valid CSV file, so every line is one value.
  csv->SetSeparator(separator ? *separator : '\0');
  csv->SetHeader(given.header);
  csv->SetStrictFieldCount(true);
  const std::vector<std::string> first = csv->ColumnNames();
  for (std::size_t i = 0; i < first.size(); ++i) {
    std::string name = given.header ? ToUtf8(first[i], csv->codePage) : std::string();
    if (TrimBlanks(name).empty()) name = "Feld " + std::to_string(i + 1);
    s.descs.push_back(TFieldDesc{ShortFieldName(name), 0, 0, kTypeIgnore});
  }
  s.access = std::move(csv);
  return s;
}

OpenedSource OpenFixed(const TSourceSpec& given) {
  OpenedSource s;
  if (given.fieldList.empty()) {
    throw EUserError(Format("Für die Datei %s mit festen Feldpositionen fehlt die Feldliste.",
                            given.file.c_str()));
  }
  TFieldTable list;
  list.LoadFromAnyFile(given.fieldList);
  auto plain = std::make_unique<TPlainTextAccess>();
  plain->SetFileName(given.file);
  if (!FileExistsNotDirectory(given.file)) {
    throw EDataAccess(Format("Die Datei %s existiert nicht.", given.file.c_str()));
  }
  plain->codePage = given.codePage ? *given.codePage : DetectTextCodePage(given.file);
  try {
    plain->DetectRecordLength();
  } catch (const EInOutError&) {
    plain->SetRecordLength(0);  // a file shorter than the probe: no proposal
  }
  s.descs = list.ToFieldDescs();
  for (TFieldDesc& d : s.descs) {
    if (d.position < 1 || d.length < 1) {
      throw EUserError(
          Format("Das Feld \"%s\" der Feldliste %s braucht eine Position und eine "
                 "Länge größer als 0.",
                 d.name.c_str(), given.fieldList.c_str()));
    }
    s.listTypes |= IsTypedField(d.typ);
  }
  s.access = std::move(plain);
  return s;
}

OpenedSource OpenOdbc(const TSourceSpec& given) {
  if (given.connection.empty()) throw EUserError("Bitte geben Sie eine ODBC-Datenquelle an.");
  if (TrimBlanks(given.sql).empty()) {
    throw EUserError("Bitte geben Sie für die ODBC-Datenquelle eine SQL-Anweisung an.");
  }
  OpenedSource s;
  auto connection = std::make_unique<TOdbcConnection>(given.connection);
  {
    TOdbcQuery probe(*connection);
    probe.SetSQL(given.sql);
    try {
      connection->Connect();
      probe.Open();
    } catch (const EDataAccess& e) {
      throw EDataAccess(std::string("Datenbankverbindung fehlgeschlagen. ") + e.what());
    }
    for (std::int32_t i = 0; i < probe.FieldCount(); ++i) {
      std::string name = probe.FieldName(i);
      if (TrimBlanks(name).empty()) name = "Feld " + std::to_string(i + 1);
      s.descs.push_back(TFieldDesc{ShortFieldName(name), -1, 0, kTypeIgnore});
    }
  }
  auto odbc = std::make_unique<TODBCAccess>();
  odbc->SetDatabase(std::move(connection));
  odbc->SetSQL(given.sql);
  s.access = std::move(odbc);
  return s;
}

OpenedSource Open(const TSourceSpec& given) {
  switch (given.kind) {
    case TSourceKind::kCsv:
      return OpenCsv(given);
    case TSourceKind::kFixed:
      return OpenFixed(given);
    case TSourceKind::kOdbc:
      return OpenOdbc(given);
  }
  Fatal("unknown source kind");
}

std::string ColumnList(const TFieldDescs& descs) {
  std::string out;
  for (std::size_t i = 0; i < descs.size() && i < 20; ++i) {
    if (!out.empty()) out += ", ";
    out += descs[i].name;
  }
  if (descs.size() > 20) out += ", ...";
  return out;
}

// Gives the columns their types (see the header).
void AssignTypes(std::vector<OpenedSource>& sources, const std::vector<std::string>& assignments) {
  if (assignments.empty()) {
    for (OpenedSource& s : sources) {
      if (s.listTypes) continue;
      for (TFieldDesc& d : s.descs) d.typ = FieldTypeForHeader(d.name);
    }
    return;
  }
  for (OpenedSource& s : sources) {
    if (s.listTypes) continue;  // a field list's own types stay unless assigned anew
    for (TFieldDesc& d : s.descs) d.typ = kTypeIgnore;
  }
  for (const std::string& assignment : assignments) {
    const std::size_t eq = assignment.rfind('=');
    if (eq == std::string::npos || eq == 0) {
      throw EUserError("Die Feldzuordnung \"" + assignment + "\" hat nicht die Form SPALTE=TYP.");
    }
    const std::string column = assignment.substr(0, eq);
    const std::string typeText = assignment.substr(eq + 1);
    const std::optional<std::int32_t> typ = ParseFieldType(typeText);
    if (!typ) {
      throw EUserError("Unbekannter Feldtyp \"" + typeText + "\" für die Spalte \"" + column +
                       "\". Möglich sind: " + FieldTypeNameList() + ".");
    }
    bool found = false;
    for (OpenedSource& s : sources) {
      bool exact = false;
      for (TFieldDesc& d : s.descs) exact |= d.name == column;
      for (TFieldDesc& d : s.descs) {
        if (exact ? d.name == column : SameTextIgnoringCase(d.name, column)) {
          d.typ = *typ;
          found = true;
        }
      }
    }
    if (!found) {
      throw EUserError("Die Spalte \"" + column + "\" gibt es in keiner Datenquelle. Vorhanden " +
                       "sind: " + ColumnList(sources[0].descs) + ".");
    }
  }
}

void CheckSomeTyped(const OpenedSource& s, int number) {
  for (const TFieldDesc& d : s.descs) {
    if (IsTypedField(d.typ)) return;
  }
  throw EUserError(
      Format("Keiner Spalte der Datenquelle %d ist ein Feldtyp zugeordnet (Spalten: "
             "%s). Bitte ordnen Sie Spalten einen Feldtyp zu: %s.",
             number, ColumnList(s.descs).c_str(), FieldTypeNameList().c_str()));
}

std::string FolderText(const std::string& folder) {
  std::string text = NormalisePath(folder);
  if (text.empty() || text.back() != '/') text += "/";
  return text;
}

}  // namespace

TConvertedSources::TConvertedSources(TConvertedSources&& other) noexcept {
  *this = std::move(other);
}

TConvertedSources& TConvertedSources::operator=(TConvertedSources&& other) noexcept {
  if (this == &other) return *this;
  if (!rowsFile_.empty()) std::remove(rowsFile_.c_str());
  twoSources_ = other.twoSources_;
  count_[0] = other.count_[0];
  count_[1] = other.count_[1];
  columns_[0] = std::move(other.columns_[0]);
  columns_[1] = std::move(other.columns_[1]);
  journal_ = std::move(other.journal_);
  layout_ = std::move(other.layout_);
  recordLength_ = other.recordLength_;
  recordNumberPosition_ = other.recordNumberPosition_;
  recordNumberWidth_ = other.recordNumberWidth_;
  matchFile_[0] = std::move(other.matchFile_[0]);
  matchFile_[1] = std::move(other.matchFile_[1]);
  rowsFile_ = std::move(other.rowsFile_);
  other.rowsFile_.clear();
  return *this;
}

TConvertedSources::~TConvertedSources() {
  if (!rowsFile_.empty()) std::remove(rowsFile_.c_str());
}

TRecordOrigin TConvertedSources::OriginOf(std::int64_t engineIndex) const {
  if (engineIndex < 0 || engineIndex >= RecordCount()) Fatal("engine record index out of range");
  if (engineIndex < count_[0]) return TRecordOrigin{1, engineIndex + 1};
  return TRecordOrigin{2, engineIndex - count_[0] + 1};
}

const std::vector<std::string>& TConvertedSources::ColumnNames(int source) const {
  return columns_[source == 1 ? 0 : 1];
}

TConvertedSources PrepareMatchSources(const TMatchSources& sources, const TConvertOptions& options,
                                      TParamSet& set) {
  if (!set.root) Fatal("no parameter set loaded");
  std::vector<OpenedSource> opened;
  opened.push_back(Open(sources.first));
  if (sources.second) opened.push_back(Open(*sources.second));
  AssignTypes(opened, sources.fieldAssignments);
  for (std::size_t i = 0; i < opened.size(); ++i) {
    CheckSomeTyped(opened[i], static_cast<int>(i) + 1);
  }

  const std::string out = options.outputFolder.empty() ? "." : options.outputFolder;
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (!std::filesystem::is_directory(out)) {
    throw EUserError(Format("Der Ausgabeordner \"%s\" kann nicht angelegt werden.", out.c_str()));
  }

  // Writing an engine file over a source that is still to be read would destroy it.
  for (const char* name : {kMatchFile1, kMatchFile2, kSourceRowsFile}) {
    const std::string target = JoinPath(NormalisePath(out), name);
    for (const TSourceSpec* given : {&sources.first, sources.second ? &*sources.second : nullptr}) {
      if (given == nullptr || given->kind == TSourceKind::kOdbc) continue;
      std::error_code same;
      if (std::filesystem::equivalent(given->file, target, same)) {
        throw EUserError(
            Format("Die Eingabedatei %s läge im Ausgabeordner unter dem Namen %s und "
                   "würde überschrieben. Bitte wählen Sie einen anderen "
                   "Ausgabeordner.",
                   given->file.c_str(), name));
      }
    }
  }

  TConvertedSources result;
  result.twoSources_ = opened.size() == 2;
  for (std::size_t i = 0; i < opened.size(); ++i) {
    for (const TFieldDesc& d : opened[i].descs) result.columns_[i].push_back(d.name);
    opened[i].access->Initialize(opened[i].descs);
  }
  result.journal_.push_back(opened.size() == 1
                                ? "Eingabedatei wird in reduziertes Satzformat umgewandelt..."
                                : "Eingabedateien werden in gemeinsames Satzformat geschrieben...");

  // The engine input files are written under temporary names and take their own names only
  // when the conversion is complete: a Matchfile that is there is whole, and one of an earlier
  // run stays as it was when this conversion fails.
  TDataConverter converter;
  const std::string matchFile1 = JoinPath(NormalisePath(out), kMatchFile1);
  const std::string matchFile2 = JoinPath(NormalisePath(out), kMatchFile2);
  converter.OutputFile1 = matchFile1 + kUnfinishedFileSuffix;
  converter.OutputFile2 = matchFile2 + kUnfinishedFileSuffix;
  struct RemoveUnfinished {
    std::string first, second;
    ~RemoveUnfinished() {
      std::remove(first.c_str());
      std::remove(second.c_str());
    }
  } removeUnfinished{converter.OutputFile1, converter.OutputFile2};
  converter.SetRecordNumberWidth(kRecordNumberWidth);
  std::optional<TSourceRowStore> rows;
  if (options.keepSourceRows) {
    rows.emplace(JoinPath(NormalisePath(out), kSourceRowsFile));
    converter.SetRowSink(&*rows);
  }
  TDataAccess* second = opened.size() == 2 ? opened[1].access.get() : nullptr;
  // The steps of TDataConverter::Execute, with the parameter set adapted (on a copy) before
  // the files are written: a set that cannot take the layout stops before the long part.
  converter.Classify(*opened[0].access, second);
  converter.Pair(*opened[0].access, second);
  converter.BuildLayout(*opened[0].access, second);
  TParamSet changed;
  changed.root.reset(static_cast<TParamTVRecord*>(set.root->Clone().release()));
  changed.hide_level = set.hide_level;
  changed.edit_level = set.edit_level;
  TProOptions pro(changed);
  pro.SetFirstInput(kMatchFile1);
  if (second != nullptr) pro.SetSecondInput(kMatchFile2);
  pro.SetTwoInputs(second != nullptr);
  if (second != nullptr) pro.SetSecondIsDark(sources.secondIsDark);
  pro.SetInputPath(FolderText(out));
  std::string tables = options.tablesFolder;
  if (tables.empty()) {
    const auto found = ProductFolders("Tables");
    if (!found.empty()) tables = found.front();
  }
  if (!tables.empty()) pro.SetTablePath(FolderText(tables));
  TFieldTable layout;
  converter.FillTable(layout);
  WriteLayoutToParams(*changed.root, layout, converter.OutputRecordLength());

  converter.WriteFile(opened[0].access.get(), 0);
  converter.WriteFile(second, 1);
  if (rows) rows->Finish();
  RenameOrRaise(converter.OutputFile1, matchFile1);
  converter.OutputFile1 = matchFile1;
  if (second != nullptr) {
    RenameOrRaise(converter.OutputFile2, matchFile2);
    converter.OutputFile2 = matchFile2;
  }
  if (rows) result.rowsFile_ = rows->FileName();
  for (std::size_t i = 0; i < opened.size(); ++i) {
    result.count_[i] = converter.WrittenRecords(static_cast<int>(i));
    result.journal_.push_back(
        Format("Eingabedatei %d: %s, %lld Datensätze", static_cast<int>(i) + 1,
               opened[i].access->SourceName().c_str(), static_cast<long long>(result.count_[i])));
    opened[i].access->Close();
  }
  for (const std::string& line : converter.Journal()) result.journal_.push_back(line);
  result.journal_.push_back("Fertig.");
  result.layout_ = converter.Layout();
  result.recordLength_ = converter.OutputRecordLength();
  result.recordNumberPosition_ = converter.RecordNumberPosition();
  result.recordNumberWidth_ = converter.RecordNumberWidth();
  result.matchFile_[0] = converter.OutputFile1;
  result.matchFile_[1] = second != nullptr ? converter.OutputFile2 : "";

  set.root = std::move(changed.root);
  return result;
}

std::optional<CodePage> ParseCodePage(std::string_view text) {
  std::string t(TrimBlanks(text));
  std::transform(t.begin(), t.end(), t.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (t == "437" || t == "cp437") return CodePage::k437;
  if (t == "850" || t == "cp850") return CodePage::k850;
  if (t == "1252" || t == "cp1252" || t == "windows-1252") return CodePage::k1252;
  if (t == "utf8" || t == "utf-8") return CodePage::kUtf8;
  return std::nullopt;
}

std::optional<char> ParseSeparator(std::string_view text) {
  if (text == "tab" || text == "TAB" || text == "\\t" || text == "\t") return '\t';
  if (text.size() == 1 && text[0] != '\0' && text[0] != '\r' && text[0] != '\n') return text[0];
  return std::nullopt;
}

}  // namespace vld
