// Fuzz target: normalisation tables ("PHONETIC.MAP", "SIMPLE.MAP").
//
// The input is a whole table file. The load check either refuses it with its German message
// naming the file, or passes it; a table that passed must then normalise any text without
// reading or writing outside it (each text sits in a heap block of its own size, so the address
// sanitizer sees every stray byte), never make a text longer, and decode back to its own image.
// The input itself, cut into pieces, is normalised too, so that the fuzzer steers the texts as
// well as the automaton. A fatal error is a finding.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "matching/norm.h"

namespace vld::fuzz {
namespace {

void NormaliseExactly(const TNormalizer& table, std::string_view text) {
  const std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[text.size() + 1]);
  std::copy(text.begin(), text.end(), bytes.get());
  const std::size_t n = table.Normalize(std::span<std::uint8_t>(bytes.get(), text.size()));
  Require(n <= text.size(), "Die Normalisierung hat einen Text verlängert.");
}

const std::vector<std::string>& FixedTexts() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> t = {"",
                                  "A",
                                  "MEIER",
                                  "MAYER",
                                  "SCHMIDT",
                                  "SCHMITT",
                                  "STRASSE",
                                  "HAUPTSTR. 12",
                                  "M\x81LLER",
                                  "\xe1\x84\x94",
                                  "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"};
    std::string all;
    for (int b = 0; b < 256; ++b) {
      all += static_cast<char>(b);
      t.emplace_back(1, static_cast<char>(b));
    }
    t.push_back(all);
    t.emplace_back(all.rbegin(), all.rend());
    return t;
  }();
  return texts;
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
  const std::string path = ScratchFile("PHONETIC.MAP");
  WriteScratchFile(path, std::span<const std::uint8_t>(data, size));
  std::optional<std::string> message;
  Require(!Outcome([&] { message = CheckNormalizerFile(path, "PHONETIC.MAP"); }, 0),
          "Die Prüfung hat einen Fehler ausgelöst.");
  std::optional<TNormalizer> table;
  const auto error =
      Outcome([&] { table.emplace(LoadNormalizer(path, "PHONETIC.MAP")); }, kAcceptUserError);
  Require(message == error, "Prüfung und Laden sind sich nicht einig.");
  EchoError(error);
  if (error) {
    RequireNamesFile(*error, "PHONETIC.MAP");
    return 0;
  }
  Require(table->IsTable() && table->VersionOk(), "geladene Tabelle nicht geprüft");
  const NormTableContents contents = table->Contents();
  const std::vector<std::uint8_t> image = contents.Encode();
  Require(std::equal(image.begin(), image.end(), data, data + size) && image.size() == size,
          "Die Tabelle ergibt zerlegt und wieder zusammengesetzt ein anderes Bild.");
  table->CompareTable();
  for (const std::string& text : FixedTexts()) NormaliseExactly(*table, text);
  // The table's own bytes as texts: the compare table, then pieces of 64.
  for (std::size_t at = TNormalizer::kCompareOffset; at < size; at += 64) {
    const std::size_t n = std::min<std::size_t>(size - at, 64 + at % 7);
    NormaliseExactly(*table, std::string_view(reinterpret_cast<const char*>(data + at), n));
  }
  return 0;
}
