// Fuzz target: text files with fixed field positions (TPlainTextAccess over the text reader of
// data/text_source.h) read with a field list, the record-length proposal, and the conversion into
// the engine's input file.
//
// Input: byte 0: bits 0-1 the code page (0 guessed from the file, 1 DOS 437, 2 Windows-1252,
// 3 UTF-8), bits 2-4 the number n of fields, bit 5 a record number in the converted file; byte 1
// the first field type (data/field_types.h); then n pairs of bytes (position, length) of the
// field list; the rest is the file.
//
// The file is read against a model in memory: lines ended by CR LF, LF or CR, a UTF-8 byte-order
// mark skipped (and then UTF-8), lines without characters skipped, each field the characters
// Position .. Position + Length - 1 (bytes, or characters in UTF-8). The documented failures are
// EDataAccess naming the file (UTF-16, and with UTF-8 a line that is not valid UTF-8, naming the
// line) and the text-file layer's read error of the record-length proposal for a file shorter
// than its probe.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/plain_text_access.h"
#include "data/text_source.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/source_check.h"
#include "platform/fatal.h"

namespace vld::fuzz {
namespace {

constexpr std::size_t kProbeBytes = 4096;

std::string ModelField(std::string_view line, const TFieldDesc& d, CodePage codePage) {
  if (d.position < 1 || d.length < 1) return "";
  const auto first = static_cast<std::size_t>(d.position - 1);
  const auto count = static_cast<std::size_t>(d.length);
  if (codePage != CodePage::kUtf8) {
    if (first >= line.size()) return "";
    return std::string(line.substr(first, count));
  }
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if ((static_cast<std::uint8_t>(line[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  if (first >= starts.size()) return "";
  const std::size_t end = first + count < starts.size() ? starts[first + count] : line.size();
  return std::string(line.substr(starts[first], end - starts[first]));
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
  const std::uint8_t options = data[0];
  const unsigned typeSeed = data[1];
  const std::size_t fields = (options >> 2) & 7;
  if (size < 2 + 2 * fields) return 0;
  TFieldDescs descs;
  for (std::size_t i = 0; i < fields; ++i) {
    descs.push_back(TFieldDesc{"Feld " + std::to_string(i + 1), data[2 + 2 * i], data[3 + 2 * i],
                               TypeFromSeed(typeSeed, i)});
  }
  const std::string_view text(reinterpret_cast<const char*>(data + 2 + 2 * fields),
                              size - 2 - 2 * fields);
  const std::string path = ScratchFile("Adressen.txt");
  WriteScratchFile(path, text);

  TPlainTextAccess access;
  access.SetFileName(path);
  // The record-length proposal: the first CR LF within the probe, from a file as long as it.
  const auto probed = Outcome([&] { access.DetectRecordLength(); }, kAcceptInOutError);
  if (text.size() < kProbeBytes) {
    Require(probed.has_value(), "Eine zu kurze Datei ergab einen Vorschlag der Satzlänge.");
    RequireNamesFile(*probed, path);
    access.SetRecordLength(0);
  } else {
    Require(!probed, "Der Vorschlag der Satzlänge schlug fehl: " + probed.value_or(""));
    const std::size_t crlf = text.substr(0, kProbeBytes).find("\r\n");
    const std::int32_t expected =
        crlf == std::string_view::npos ? 0 : static_cast<std::int32_t>(crlf + 2);
    Require(access.RecordLength() == expected, "Der Vorschlag der Satzlänge weicht ab.");
  }

  const bool utf16 =
      text.size() >= 2 && (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF");
  const bool bom = text.substr(0, 3) == "\xEF\xBB\xBF";
  static constexpr CodePage kCodePages[] = {CodePage::k437, CodePage::k1252, CodePage::kUtf8};
  auto error = Outcome(
      [&] {
        access.codePage =
            (options & 3) == 0 ? DetectTextCodePage(path) : kCodePages[(options & 3) - 1];
        access.Initialize(descs);
      },
      kAcceptUserError);
  EchoError(error);
  if (error) {
    Require(utf16, "Eine Datei wurde abgewiesen: " + *error);
    RequireNamesFile(*error, path);
    return 0;
  }
  Require(!utf16, "Eine Datei in UTF-16 wurde angenommen.");
  const CodePage codePage = access.codePage;
  Require(!bom || codePage == CodePage::kUtf8,
          "Eine Datei mit UTF-8-Kennung wird nicht als UTF-8 gelesen.");
  if (access.RecordLength() > 0) {
    Require(access.RecordCount() == static_cast<std::int64_t>(text.size()) / access.RecordLength(),
            "Die Zahl der Datensätze weicht ab.");
  }

  // Every record against the model.
  const std::vector<std::string> lines = SplitLines(bom ? text.substr(3) : text);
  SourceRecords records;
  std::optional<std::string> readError;
  access.First();
  std::size_t next = 0;
  for (;;) {
    while (next < lines.size() && lines[next].empty()) ++next;
    bool eof = false;
    Require(!Outcome([&] { eof = access.Eof(); }, 0), "Das Dateiende ließ sich nicht prüfen.");
    Require(eof == (next == lines.size()), "Das Dateiende weicht vom Modell ab.");
    if (eof) break;
    const std::string& line = lines[next++];
    readError = Outcome([&] { access.Fetch(); }, kAcceptUserError);
    if (codePage == CodePage::kUtf8 && !IsValidUtf8(line)) {
      Require(
          readError == Format("Die Datei \"%s\" ist in Zeile %zu nicht gültig in UTF-8 kodiert.",
                              path.c_str(), next),
          "Eine Zeile mit ungültigem UTF-8 wurde nicht gemeldet.");
      break;
    }
    Require(!readError, "Eine Zeile ließ sich nicht lesen: " + readError.value_or(""));
    Require(access.CurrentLine() == static_cast<std::int64_t>(next), "Die Zeilennummer weicht ab.");
    std::vector<std::string> values;
    for (std::size_t i = 0; i < descs.size(); ++i) {
      values.push_back(access.GetField(static_cast<std::int32_t>(i)));
      Require(values.back() == ModelField(line, descs[i], codePage),
              "Ein Feld weicht vom Modell ab.");
    }
    records.push_back(std::move(values));
    access.Skip();
  }
  ConvertAndCheck(access, records, (options & 32) != 0, readError);
  access.Close();
  return 0;
}
