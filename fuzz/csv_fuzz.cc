// Fuzz target: CSV input sources (TCSVAccess with the record format of data/csv_format.h and the
// text reader of data/text_source.h), opened as the command line opens them, and their
// conversion into the engine's input file.
//
// Input: byte 0 chooses the reading: bits 0-2 the separator (0 ';', 1 ',', 2 tab, 3 '|',
// 4-7 guessed from the file), bit 3 the quote ('"' or '\''), bit 4 a header row, bit 5 the strict
// field count, bits 6-7 the code page (0 guessed from the file, 1 DOS 437, 2 Windows-1252,
// 3 UTF-8). Byte 1: bits 0-3 the first field type (data/field_types.h), bits 4-5 the described
// fields (0 every column of the first row, 1 one fewer, 2 one more, 3 none), bit 6 a record
// number in the converted file. The rest is the file.
//
// The documented failure is EDataAccess naming the file. A file that was accepted must read
// back the number of records the analysis counted, each with the values a model of the record
// format gives (written here from the format's description, not from the reader), every record
// must fit the virtual layout the analysis gave, the records written out again as CSV must read
// back to the same values and layout, and the conversion must give the engine file of exactly
// those values (fuzz/source_check.h). A quoted value left open at the end of the file must be
// refused.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/code_pages.h"
#include "data/csv_access.h"
#include "data/csv_format.h"
#include "data/text_source.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/source_check.h"

namespace vld::fuzz {
namespace {

struct Choice {
  std::optional<char> separator;  // empty: guessed
  char quote = '"';
  bool header = false;
  bool strict = false;
  std::optional<CodePage> codePage;  // empty: guessed
  unsigned typeSeed = 0;
  unsigned fieldMode = 0;
  bool numbered = false;
};

Choice ChoiceOf(std::uint8_t options, std::uint8_t fields) {
  static constexpr char kSeparators[] = {';', ',', '\t', '|'};
  static constexpr CodePage kCodePages[] = {CodePage::k437, CodePage::k1252, CodePage::kUtf8};
  Choice c;
  if ((options & 7) < 4) c.separator = kSeparators[options & 7];
  c.quote = (options & 8) ? '\'' : '"';
  c.header = (options & 16) != 0;
  c.strict = (options & 32) != 0;
  if ((options >> 6) != 0) c.codePage = kCodePages[(options >> 6) - 1];
  c.typeSeed = fields & 15;
  c.fieldMode = (fields >> 4) & 3;
  c.numbered = (fields & 64) != 0;
  return c;
}

// An access over the file configured as the command line configures it, with the column names
// of its first row and the described fields.
struct Opened {
  TCSVAccess access;
  TFieldDescs descs;
  std::vector<std::string> columns;
};

void Open(Opened& o, const std::string& path, const Choice& c) {
  o.access.SetFileName(path);
  o.access.SetQuote(c.quote);
  o.access.codePage = c.codePage ? *c.codePage : DetectTextCodePage(path);
  std::optional<char> separator = c.separator;
  if (!separator) separator = DetectCsvSeparator(path, c.quote);
  o.access.SetSeparator(separator ? *separator : '\0');
  o.access.SetHeader(c.header);
  o.access.SetStrictFieldCount(c.strict);
  o.columns = o.access.ColumnNames();
  std::size_t count = o.columns.size();
  if (c.fieldMode == 1) count -= 1;
  if (c.fieldMode == 2) count += 1;
  if (c.fieldMode == 3) count = 0;
  for (std::size_t i = 0; i < count; ++i) {
    o.descs.push_back(
        TFieldDesc{"Feld " + std::to_string(i + 1), 0, 0, TypeFromSeed(c.typeSeed, i)});
  }
}

// Reads every record: the described values, and all values of each record.
struct ReadBack {
  SourceRecords described;
  std::vector<std::vector<std::string>> all;
};

ReadBack ReadAll(TCSVAccess& access) {
  ReadBack back;
  access.First();
  while (!access.Eof()) {
    access.Fetch();
    std::vector<std::string> values;
    for (std::int32_t i = 0; i < access.FieldCount(); ++i) values.push_back(access.GetField(i));
    back.described.push_back(std::move(values));
    back.all.push_back(access.CurrentValues());
    access.Skip();
  }
  return back;
}

// The value quoted whatever it holds.
void AppendQuoted(std::string& out, std::string_view value, char quote) {
  out.push_back(quote);
  for (char ch : value) {
    if (ch == quote) out.push_back(quote);
    out.push_back(ch);
  }
  out.push_back(quote);
}

// The records as a CSV file again. The first value of the file is always quoted (a value
// beginning like a byte-order mark would be taken as one), and so is a record of one empty
// value (an empty line is no record).
std::string WriteCsv(const std::vector<std::vector<std::string>>& records, char separator,
                     char quote, bool bom) {
  std::string out = bom ? "\xEF\xBB\xBF" : "";
  for (const auto& record : records) {
    for (std::size_t i = 0; i < record.size(); ++i) {
      if (i > 0) out.push_back(separator);
      if (out.size() <= 3 || (record.size() == 1 && record[0].empty())) {
        AppendQuoted(out, record[i], quote);
      } else {
        AppendCsvValue(out, record[i], separator, quote);
      }
    }
    out += "\r\n";
  }
  return out;
}

// The values of a record by the rules of the record format, written from its description; `open`
// tells whether the record ends inside a quoted value.
std::vector<std::string> ModelValues(std::string_view record, char separator, char quote,
                                     bool& open) {
  std::vector<std::string> values;
  std::string value;
  std::size_t at = 0;
  open = false;
  for (;;) {
    value.clear();
    if (at < record.size() && record[at] == quote) {  // a quoted value
      ++at;
      open = true;
      while (at < record.size()) {
        if (record[at] != quote) {
          value.push_back(record[at++]);
        } else if (at + 1 < record.size() && record[at + 1] == quote) {
          value.push_back(quote);
          at += 2;
        } else {
          ++at;
          open = false;
          break;
        }
      }
    }
    while (at < record.size() && record[at] != separator) value.push_back(record[at++]);
    values.push_back(value);
    if (at == record.size()) return values;
    ++at;  // the separator
    open = false;
  }
}

// The records of a file by the model: lines ended by CR LF, LF or CR; lines without a character
// between records skipped; a record continues over line breaks while a quoted value is open.
// Empty when a quoted value is still open at the end of the file.
std::optional<std::vector<std::vector<std::string>>> ModelRecords(std::string_view text,
                                                                  char separator, char quote) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::pair<std::string_view, std::string_view>> lines;  // text, terminator
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = at;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    std::size_t next = end;
    if (next < text.size()) next += text.substr(next, 2) == "\r\n" ? 2 : 1;
    lines.emplace_back(text.substr(at, end - at), text.substr(end, next - end));
    at = next;
  }
  std::vector<std::vector<std::string>> records;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (lines[k].first.empty()) continue;
    std::string record(lines[k].first);
    bool open = false;
    std::vector<std::string> values = ModelValues(record, separator, quote, open);
    while (open) {
      if (lines[k].second.empty() || k + 1 == lines.size()) return std::nullopt;
      record += lines[k].second;
      record += lines[++k].first;
      values = ModelValues(record, separator, quote, open);
    }
    records.push_back(std::move(values));
  }
  return records;
}

}  // namespace
}  // namespace vld::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vld::fuzz::InstallFuzzHooks();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vld;
  using namespace vld::fuzz;
  if (size < 2) return 0;
  const Choice choice = ChoiceOf(data[0], data[1]);
  const std::string path = ScratchFile("Adressen.csv");
  WriteScratchFile(path, std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));

  Opened o;
  auto error = Outcome([&] { Open(o, path, choice); }, kAcceptUserError);
  if (!error) {
    const std::int32_t counted = o.access.CountFields();
    Require(counted == static_cast<std::int32_t>(o.columns.size()),
            "Die Zahl der Spalten weicht von der ersten Zeile ab.");
    error = Outcome([&] { o.access.Initialize(o.descs); }, kAcceptUserError);
  }
  EchoError(error);
  if (error) {
    RequireNamesFile(*error, path);
    Require(!o.access.Active(), "Eine abgewiesene Datei ist initialisiert.");
    return 0;
  }

  // The analysis: a record count, and a virtual layout every value fits.
  const CodePage codePage = o.access.codePage;
  const std::int64_t count = o.access.RecordCount();
  TFieldDescs layout;
  for (std::int32_t i = 0; i < o.access.FieldCount(); ++i) {
    layout.push_back(o.access.GetFieldDesc(i));
  }
  std::int32_t position = 1;
  for (const TFieldDesc& d : layout) {
    Require(d.position == position && d.length >= 1 && d.length <= kMaxFieldWidth,
            "Der virtuelle Satzaufbau ist nicht lückenlos.");
    position += d.length;
  }
  ReadBack back;
  const auto readError = Outcome([&] { back = ReadAll(o.access); }, kAcceptUserError);
  Require(!readError, "Eine geprüfte Datei lässt sich nicht lesen: " + readError.value_or(""));
  Require(static_cast<std::int64_t>(back.described.size()) == count,
          "Gelesen wurden andere Datensätze, als die Prüfung gezählt hat.");
  for (const auto& values : back.described) {
    Require(values.size() == layout.size(), "Ein Datensatz hat nicht jedes Feld.");
    for (std::size_t k = 0; k < values.size(); ++k) {
      Require(values[k].find('\0') == std::string::npos &&
                  (codePage != CodePage::kUtf8 || IsValidUtf8(values[k])),
              "Ein Wert enthält ein Nullbyte oder ungültiges UTF-8.");
      Require(std::min<std::size_t>(RecordTextLength(values[k], codePage), kMaxFieldWidth) <=
                  static_cast<std::size_t>(layout[k].length),
              "Ein Wert ist breiter als sein Feld im virtuellen Satzaufbau.");
    }
  }

  // The records by the model of the format.
  auto model = ModelRecords(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2),
                            o.access.Separator(), choice.quote);
  Require(model.has_value(), "Ein offenes Anführungszeichen am Dateiende wurde angenommen.");
  if (choice.header) model->erase(model->begin());
  Require(*model == back.all, "Die Datensätze weichen vom Modell ab.");

  // Written out again and read back: the same records and the same layout.
  std::vector<std::vector<std::string>> rows;
  if (choice.header) rows.push_back(o.columns);
  rows.insert(rows.end(), back.all.begin(), back.all.end());
  const std::string copyPath = ScratchFile("Kopie.csv");
  WriteScratchFile(copyPath,
                   WriteCsv(rows, o.access.Separator(), choice.quote, codePage == CodePage::kUtf8));
  TCSVAccess copy;
  copy.SetFileName(copyPath);
  copy.SetSeparator(o.access.Separator());
  copy.SetQuote(choice.quote);
  copy.SetHeader(choice.header);
  copy.SetStrictFieldCount(choice.strict);
  copy.codePage = codePage;
  ReadBack again;
  const auto copyError = Outcome(
      [&] {
        copy.Initialize(o.descs);
        again = ReadAll(copy);
      },
      kAcceptUserError);
  Require(!copyError,
          "Die wieder geschriebene Datei lässt sich nicht lesen: " + copyError.value_or(""));
  Require(copy.RecordCount() == count && again.all == back.all,
          "Die wieder geschriebene Datei ergibt andere Datensätze.");
  for (std::int32_t i = 0; i < copy.FieldCount(); ++i) {
    Require(copy.GetFieldDesc(i) == layout[static_cast<std::size_t>(i)],
            "Die wieder geschriebene Datei ergibt einen anderen Satzaufbau.");
  }
  copy.Close();

  ConvertAndCheck(o.access, back.described, choice.numbered, std::nullopt);
  o.access.Close();
  return 0;
}
