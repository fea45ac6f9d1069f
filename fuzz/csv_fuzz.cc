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
// back the number of records the analysis counted, every record must fit the virtual layout the
// analysis gave, the records written out again as CSV must read back to the same values and
// layout, and the conversion must give the engine file of exactly those values
// (fuzz/source_check.h).
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

void Open(Opened& o, const std::string& path, const Choice& c, bool setCodePage) {
  o.access.SetFileName(path);
  o.access.SetQuote(c.quote);
  if (setCodePage) o.access.codePage = c.codePage ? *c.codePage : DetectTextCodePage(path);
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

// The records of a file without any quote character, by a model: every line with a character is
// a record, its values what lies between the separators.
std::vector<std::vector<std::string>> UnquotedModel(std::string_view text, char separator) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::vector<std::string>> records;
  for (const std::string& line : SplitLines(text)) {
    if (line.empty()) continue;
    std::vector<std::string> values(1);
    for (char ch : line) {
      if (ch == separator) {
        values.emplace_back();
      } else {
        values.back().push_back(ch);
      }
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
  auto error = Outcome([&] { Open(o, path, choice, true); }, kAcceptUserError);
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

  // Without quotes, the model tells the records.
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  if (text.find(choice.quote) == std::string_view::npos) {
    auto model = UnquotedModel(text, o.access.Separator());
    if (choice.header) model.erase(model.begin());
    Require(model == back.all, "Die Datensätze weichen vom Modell ab.");
  }

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
