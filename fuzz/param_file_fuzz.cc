// Fuzz target: parameter files (".PAR" sets and ".PMS" schemas) read into the match schema.
//
// The input is a whole file. It is read once from memory and once from a file; both must give
// the same outcome: a set, or the German "Fehler beim Einlesen …" naming the file. A loaded set
// must list for the editor and survive a round trip: writing it, reading that back and writing
// it again gives the same bytes. A fatal error is a finding: loading promises German messages.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "params/match_schema.h"
#include "params/param_file.h"
#include "params/param_listing.h"

namespace vld::fuzz {
namespace {

const TParamTTRecord& Schema() {
  static const TParamTypeRef<const TParamTTRecord> schema = BuildMatchParamSchema();
  return *schema;
}

void CheckLoadedSet(const TParamSet& set) {
  Require(set.root != nullptr, "geladener Parametersatz ohne Wurzel");
  Require(set.hide_level >= 1 && set.hide_level <= 4 && set.edit_level >= 1 && set.edit_level <= 4,
          "Stufen außerhalb 1..4");
  for (int level = 1; level <= 4; ++level) ListParamTree(*set.root, level);
  const std::string written = ParamSetBytes(set);
  TParamSet again;
  const auto reread =
      Outcome([&] { again = LoadParamBytes(written, "wieder.PAR", Schema(), false); }, 0);
  Require(!reread, "Ein geschriebener Satz lässt sich nicht wieder lesen.");
  Require(ParamSetBytes(again) == written, "Der wieder gelesene Satz schreibt sich anders.");
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
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = ScratchFile("Eingabe.PAR");
  WriteScratchFile(path, bytes);

  TParamSet fromBytes;
  const auto bytesError =
      Outcome([&] { fromBytes = LoadParamBytes(bytes, path, Schema(), false); }, kAcceptUserError);
  TParamSet fromFile;
  const auto fileError =
      Outcome([&] { fromFile = LoadParamFile(path, Schema(), false); }, kAcceptUserError);
  Require(bytesError == fileError, "Datei und Speicherbild geben verschiedene Ergebnisse: " +
                                       bytesError.value_or("(geladen)") + " / " +
                                       fileError.value_or("(geladen)"));
  EchoError(bytesError);
  if (bytesError) {
    RequireNamesFile(*bytesError, path);
    return 0;
  }
  Require(ParamSetBytes(fromBytes) == ParamSetBytes(fromFile),
          "Datei und Speicherbild geben verschiedene Sätze.");
  CheckLoadedSet(fromBytes);
  return 0;
}
