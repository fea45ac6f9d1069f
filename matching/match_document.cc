#include "matching/match_document.h"

#include <cerrno>
#include <cstdio>
#include <utility>

#include "engine/runtime/file.h"
#include "platform/checked.h"
#include "platform/errors.h"
#include "platform/fatal.h"
#include "platform/le_codec.h"
#include "platform/paths.h"

namespace vld {
namespace {

constexpr std::int64_t kHeaderRecordSize = 54;
constexpr std::int64_t kRowRecordSize = 30;
constexpr std::int64_t kAddColRecordSize = 7;
constexpr std::uint8_t kFormatMark = 2;
constexpr const char* kDamaged = "Die Datei \"%s\" ist beschädigt.";

// Titles of the system columns (Windows-1252), indexed by -code.
struct ColumnTitle {
  const char* first;
  const char* second;
};
constexpr std::array<ColumnTitle, 16> kTitles = {{
    {"", ""},
    {"S\xe4tze", "Lieferung"},
    {"S\xe4tze", "Brutto"},
    {"Intra-", "Dubletten"},
    {"Dubletten", "absolut"},
    {"Dubletten", "Treffer"},
    {"Dubletten", "in %"},
    {"S\xe4tze", "%-Netto"},
    {"S\xe4tze", "Netto"},
    {"S\xe4tze", "Single"},
    {"S\xe4tze", "Multi"},
    {"", "Nr."},
    {"", "Datei"},
    {"", "Dateiname"},
    {"", "Prio"},
    {"", "Art"},
}};

bool IsSystemCode(std::int32_t code) { return code <= -1 && code >= -15; }

std::string Number(std::int64_t value) { return std::to_string(value); }

// Reads the payload of a protocol file, checking every count against what is left of the file
// before anything is sized by it.
class DocReader {
 public:
  explicit DocReader(TMatchDocFile& file) : file_(file) {}

  [[noreturn]] void Damaged() const { file_.Fail(kDamaged); }

  std::vector<std::uint8_t> Record(std::int64_t size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file_.ReadData(bytes.data(), size);
    return bytes;
  }
  std::int32_t I32() {
    std::uint8_t bytes[4];
    file_.ReadData(bytes, 4);
    return le::GetI32(std::span<const std::uint8_t>(bytes, 4), 0);
  }
  std::string Text() { return file_.ReadText(); }

  // `count` elements of at least `minBytes` each must fit into the rest of the file.
  std::int32_t Count(std::int64_t count, std::int64_t minBytes) const {
    if (count < 0 || count > 2147483647) Damaged();
    if (CheckedMul(count, minBytes) > file_.Remaining()) Damaged();
    return static_cast<std::int32_t>(count);
  }

 private:
  TMatchDocFile& file_;
};

}  // namespace

std::int32_t SystemColumnCode(std::uint8_t kind) {
  static constexpr std::array<std::int32_t, 15> kCodes = {0,
                                                          cell::kNr,
                                                          cell::kIdent,
                                                          cell::kName,
                                                          cell::kPrio,
                                                          cell::kArt,
                                                          cell::kBrutto,
                                                          cell::kNetto,
                                                          cell::kAbsolut,
                                                          cell::kTreffer,
                                                          cell::kIntra,
                                                          cell::kProzent,
                                                          cell::kProzentNetto,
                                                          cell::kSingle,
                                                          cell::kMulti};
  return kind < kCodes.size() ? kCodes[kind] : 0;
}

std::string PercentText(std::int64_t part, std::int64_t whole) {
  if (whole <= 0) return "0,00";
  if (part < 0) return "-" + PercentText(-part, whole);
  const std::int64_t scaled = CheckedMul<std::int64_t>(part, 10000);
  if (scaled >= CheckedMul<std::int64_t>(whole, 9995)) return "100";
  // Hundredths of a percent, rounded half up.
  const std::int64_t hundredths = (2 * scaled + whole) / (2 * whole);
  return Format("%lld,%02lld", static_cast<long long>(hundredths / 100),
                static_cast<long long>(hundredths % 100));
}

std::string FillPattern(std::string_view pattern, std::string_view value) {
  std::string out;
  bool filled = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (pattern[i + 1] == 's' && !filled) {
        out += value;
        filled = true;
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

std::string_view TMatchDocFile::Magic() const {
  static const std::string magic = std::string("Veldrona Document (C) Korvist  ") + '\x1a';
  return magic;
}

void TMatchDocument::Clear() { *this = TMatchDocument(); }

bool TMatchDocument::Consistent() const {
  if (rows.empty() || ratingData.empty() || fileMarking > 2 || matrixType > 2) return false;
  const std::size_t n = rows.size() - 1;
  for (const TMatchDocFileEntry& row : rows) {
    if (row.type > 3) return false;
  }
  for (const TMatchDocAddColEntry& column : addColumns) {
    if (column.cells.size() != n + 4) return false;
  }
  for (const std::int32_t code : columnMap) {
    if (code > 0 && static_cast<std::size_t>(code) > addColumns.size()) return false;
  }
  if (n < 2) return matrix.empty();
  if (matrix.size() != n) return false;
  for (std::size_t r = 1; r <= n; ++r) {
    if (matrix[r - 1].size() != (Triangular() ? r - 1 : n)) return false;
  }
  return true;
}

std::string TMatchDocument::GetCell(std::int32_t code, std::int32_t row) const {
  const std::int32_t n = FileCount();
  if (row == 0 || row == 1) {
    if (!IsSystemCode(code)) return row == 1 ? "???" : "";
    return row == 0 ? kTitles[-code].first : kTitles[-code].second;
  }
  if (row < 2 || row > n + 3) return "";
  if (!IsSystemCode(code)) return "???";
  if (row == n + 3) {  // "Summe mit Sperrdateien"
    if (code == cell::kBrutto) return Number(totalRecords);
    if (code == cell::kTreffer) return Number(totalBlocks);
    return "";
  }
  const bool totals = row == n + 2;
  const TMatchDocFileEntry& e = rows[static_cast<std::size_t>(row - 2)];
  const bool plain = e.type <= 1;  // Grund or Master (the totals row is a Grund row)
  switch (code) {
    case cell::kNr:
      if (totals) return "";
      return Number(selectedRow > 0 ? selectedRow : row - 1);
    case cell::kIdent:
      return totals ? "" : e.ident;
    case cell::kName:
      return totals ? "" : e.name;
    case cell::kPrio:
      if (totals) return "";
      return Number(e.priority / 4) + (e.withPriorities ? std::string(1, prioSymbol) : " ");
    case cell::kArt:
      return totals ? "" : std::string(1, typeSymbols[e.type]);
    case cell::kBrutto:
      return Number(e.records);
    case cell::kIntra:
      return (TypeMask() >> e.type) & 1 ? Number(e.intra) : "";
    case cell::kAbsolut:
      if (e.IsDark() && matrixType == 0 && !oldVersion) return "";
      return Number(e.duplicates);
    case cell::kTreffer:
      return Number(e.blocks);
    case cell::kProzent:
      return plain ? PercentText(e.duplicates, e.records) : "";
    case cell::kProzentNetto:
      return plain ? Number(e.netShare) : "";
    case cell::kNetto:
      return plain ? Number(std::int64_t{e.records} - e.duplicates) : "";
    case cell::kSingle:
      return plain ? Number(std::int64_t{e.records} - e.duplicates - e.multiHeads) : "";
    case cell::kMulti:
      return plain ? Number(e.multiHeads) : "";
    default:  // cell::kLieferung
      return "";
  }
}

void TMatchDocument::SingleProtocol(TMatchDocument& target, std::int32_t n) const {
  if (&target == this) Fatal("TMatchDocument.SingleProtocol: target is the document");
  target.Clear();
  if (n < 1 || n > FileCount()) return;
  const auto file = static_cast<std::size_t>(n);
  const std::size_t files = rows.size() - 1;
  target.multiDuplicates = multiDuplicates;
  target.suppressPureBlocks = suppressPureBlocks;
  target.fileMarking = fileMarking;
  target.maxNameLength = maxNameLength;
  target.typeSymbols = typeSymbols;
  target.prioSymbol = prioSymbol;
  target.matrixType = matrixType;
  target.oldVersion = oldVersion;
  target.selectedRow = n;
  target.totalRecords = totalRecords;
  target.totalBlocks = totalBlocks;
  target.headText = headText;
  target.jobText = jobText;
  target.netShareText = netShareText;
  target.infoLines = infoLines;
  target.columnMap = columnMap;
  target.rows = {rows[file - 1], rows.back()};
  for (const TMatchDocAddColEntry& column : addColumns) {
    TMatchDocAddColEntry single;
    single.alignment = column.alignment;
    single.sumWithout = column.sumWithout;
    single.sumWith = column.sumWith;
    const auto text = [&column](std::size_t i) {
      return i < column.cells.size() ? column.cells[i] : std::string();
    };
    single.cells = {text(0), text(1), text(file + 1), text(files + 2), text(files + 3)};
    target.addColumns.push_back(std::move(single));
  }
}

void TMatchDocument::NextSingleProtocol(TMatchDocument& target, std::int32_t n) const {
  if (&target == this || target.FileCount() != 1 || n < 1 || n > FileCount()) return;
  const auto file = static_cast<std::size_t>(n);
  target.selectedRow = n;
  target.rows[0] = rows[file - 1];
  const std::size_t columns = std::min(target.addColumns.size(), addColumns.size());
  for (std::size_t i = 0; i < columns; ++i) {
    std::vector<std::string>& cells = target.addColumns[i].cells;
    if (cells.size() > 2 && file + 1 < addColumns[i].cells.size()) {
      cells[2] = addColumns[i].cells[file + 1];
    }
  }
}

void TMatchDocument::Load(const std::string& fileName) {
  TMatchDocFile file;
  file.Assign(fileName);
  file.OpenSafe(0);
  TMatchDocument loaded;
  loaded.Read(file);
  file.CloseSafe();
  loaded.fileName_ = fileName;
  *this = std::move(loaded);
}

void TMatchDocument::Read(TMatchDocFile& file) {
  DocReader in(file);
  const std::vector<std::uint8_t> h = in.Record(kHeaderRecordSize);
  const std::uint8_t mark = h[1];
  if (mark == 0 || mark > kFormatMark)
    file.Fail(file.KindName() + " \"%s\": ungültiger Sicherheitscode");
  multiDuplicates = h[2] != 0;
  suppressPureBlocks = h[3] != 0;
  fileMarking = h[4];
  maxNameLength = le::GetI32(h, 5);
  for (std::size_t i = 0; i < 4; ++i) typeSymbols[i] = static_cast<char>(h[9 + i]);
  prioSymbol = static_cast<char>(h[13]);
  const std::int32_t columnCount = le::GetI32(h, 14);
  const std::int32_t infoCount = le::GetI32(h, 18);
  const std::int32_t files = le::GetI32(h, 22);
  const std::int32_t ratingCount = le::GetI32(h, 26);
  const std::int32_t addColCount = le::GetI32(h, 30);
  totalRecords = le::GetI32(h, 34);
  selectedRow = le::GetI32(h, 38);
  matrixType = h[42];
  totalBlocks = le::GetI32(h, 50);
  oldVersion = file.Version() < TMatchDocFile::kCurrentVersion;
  if (fileMarking > 2 || matrixType > 2) in.Damaged();

  // Every count is checked against the bytes left before anything is sized by it: a text takes
  // at least its 4 length bytes, a number 4 bytes.
  in.Text();  // the reserved text
  headText = in.Text();
  jobText = in.Text();
  netShareText = in.Text();
  infoLines.resize(static_cast<std::size_t>(in.Count(infoCount, 4)));
  for (std::string& line : infoLines) line = in.Text();

  columnMap.resize(static_cast<std::size_t>(in.Count(columnCount, 4)));
  for (std::int32_t& code : columnMap) {
    code = in.I32();
    // Older documents have no "Treffer" column: their codes from "in %" on are one higher.
    // Codes below their last column ("Art", then -14) name no column and stay as they are.
    if (oldVersion && code < cell::kAbsolut && code > cell::kArt) --code;
    if (code > addColCount) in.Damaged();
  }

  const std::int32_t n = in.Count(files, 1);
  const std::int64_t textsPerColumn = std::int64_t{n} + 4;
  addColumns.resize(static_cast<std::size_t>(in.Count(
      addColCount, CheckedAdd(kAddColRecordSize, CheckedMul<std::int64_t>(textsPerColumn, 4)))));
  for (TMatchDocAddColEntry& column : addColumns) {
    const std::vector<std::uint8_t> r = in.Record(kAddColRecordSize);
    column.alignment = r[0];
    column.sumWithout = r[1] != 0;
    column.sumWith = r[2] != 0;
    column.cells.resize(static_cast<std::size_t>(textsPerColumn));
    for (std::string& text : column.cells) text = in.Text();
  }

  rows.resize(static_cast<std::size_t>(in.Count(std::int64_t{n} + 1, kRowRecordSize + 8)));
  for (TMatchDocFileEntry& row : rows) {
    const std::vector<std::uint8_t> r = in.Record(kRowRecordSize);
    row.type = r[0];
    if (row.type > 3) in.Damaged();
    row.withPriorities = r[1] != 0;
    row.priority = le::GetI32(r, 2);
    row.records = le::GetI32(r, 6);
    row.intra = le::GetI32(r, 10);
    row.duplicates = le::GetI32(r, 14);
    row.netShare = le::GetI32(r, 18);
    row.multiHeads = le::GetI32(r, 22);
    row.blocks = le::GetI32(r, 26);
    row.ident = in.Text();
    row.name = in.Text();
  }

  if (ratingCount < 0) in.Damaged();
  if (ratingCount >= 1) {
    ratingData.resize(static_cast<std::size_t>(in.Count(std::int64_t{ratingCount} + 1, 4)));
    for (std::int32_t& value : ratingData) value = in.I32();
  } else {
    ratingData.assign(1, 0);
  }

  matrix.clear();
  if (n > 1) {
    const std::int64_t cells =
        Triangular() ? std::int64_t{n} * (n - 1) / 2 : CheckedMul<std::int64_t>(n, n);
    in.Count(cells, 4);
    matrix.resize(static_cast<std::size_t>(n));
    for (std::int32_t r = n; r >= (Triangular() ? 2 : 1); --r) {
      std::vector<std::int32_t>& values = matrix[static_cast<std::size_t>(r - 1)];
      values.resize(static_cast<std::size_t>(Triangular() ? r - 1 : n));
      for (std::int32_t& value : values) value = in.I32();
    }
  }
}

void TMatchDocument::Save(const std::string& fileName) {
  if (!Consistent()) Fatal("TMatchDocument.Save: inconsistent tables");
  // Written beside the protocol and moved into place, so that a failed store (full disk)
  // leaves an existing protocol as it was.
  const std::string temporary = fileName + ".~mp";
  {
    TMatchDocFile file;
    file.Assign(temporary);
    try {
      file.OpenSafe(2);
      Write(file);
      file.CloseSafe();
    } catch (const EInOutError& e) {
      // The safe file closes quietly when it goes; the half-written file goes now.
      const std::string full = file.GetName();
      std::remove(full.c_str());
      // Name the protocol, not the file it was being written to.
      std::string text = e.what();
      const std::size_t at = text.find(full);
      if (at != std::string::npos) text.replace(at, full.size(), full.substr(0, full.size() - 4));
      throw EInOutError(text);
    }
  }
  const std::string source = NormalisePath(temporary);
  const std::string target = NormalisePath(fileName);
  if (std::rename(source.c_str(), target.c_str()) != 0) {
    const int error = errno;
    std::remove(source.c_str());
    throw EInOutError(Format("Fehler beim Speichern der Datei \"%s\": %s.", target.c_str(),
                             GermanReason(error).c_str()));
  }
  fileName_ = fileName;
}

void TMatchDocument::Write(TMatchDocFile& file) const {
  // The payload is laid out in memory and written in one piece; texts are safe-file texts
  // (a 4-byte length, then the bytes).
  const std::int32_t n = FileCount();
  le::Writer out;
  const auto text = [&out](std::string_view value) {
    out.I32(CheckedCast<std::int32_t>(value.size()));
    out.Bytes(value);
  };
  out.U8(0);
  out.U8(kFormatMark);
  out.U8(multiDuplicates ? 1 : 0);
  out.U8(suppressPureBlocks ? 1 : 0);
  out.U8(fileMarking);
  out.I32(maxNameLength);
  for (const char symbol : typeSymbols) out.U8(static_cast<std::uint8_t>(symbol));
  out.U8(static_cast<std::uint8_t>(prioSymbol));
  out.I32(CheckedCast<std::int32_t>(columnMap.size()));
  out.I32(CheckedCast<std::int32_t>(infoLines.size()));
  out.I32(n);
  out.I32(CheckedCast<std::int32_t>(ratingData.size() - 1));
  out.I32(CheckedCast<std::int32_t>(addColumns.size()));
  out.I32(totalRecords);
  out.I32(selectedRow);
  out.U8(matrixType);
  out.Zeros(7);
  out.I32(totalBlocks);

  text("");  // the reserved text
  text(headText);
  text(jobText);
  text(netShareText);
  for (const std::string& line : infoLines) text(line);

  for (const std::int32_t code : columnMap) out.I32(code);

  for (const TMatchDocAddColEntry& column : addColumns) {
    out.U8(column.alignment);
    out.U8(column.sumWithout ? 1 : 0);
    out.U8(column.sumWith ? 1 : 0);
    out.I32(0);
    for (const std::string& cell : column.cells) text(cell);
  }

  for (const TMatchDocFileEntry& row : rows) {
    out.U8(row.type);
    out.U8(row.withPriorities ? 1 : 0);
    out.I32(row.priority);
    out.I32(row.records);
    out.I32(row.intra);
    out.I32(row.duplicates);
    out.I32(row.netShare);
    out.I32(row.multiHeads);
    out.I32(row.blocks);
    text(row.ident);
    text(row.name);
  }

  if (ratingData.size() >= 2) {
    for (const std::int32_t value : ratingData) out.I32(value);
  }

  if (n > 1) {
    for (std::int32_t r = n; r >= (Triangular() ? 2 : 1); --r) {
      for (const std::int32_t value : matrix[static_cast<std::size_t>(r - 1)]) out.I32(value);
    }
  }
  file.WriteData(out.bytes().data(), static_cast<std::int64_t>(out.size()));
}

}  // namespace vld
