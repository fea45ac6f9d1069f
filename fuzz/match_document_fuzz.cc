// Fuzz target: statistics protocols (".mpr"), the safe file they are stored in included.
//
// The input is the plain form of a protocol file (fuzz/fuzz_formats.h): the 44-byte safe-file
// header as stored, then the payload in the clear; the target scrambles the payload as the
// writer does and loads the file. The protocol viewer promises German messages, so the only
// documented failure is EUserError naming the file; a fatal error is a finding. A loaded
// document must be consistent, answer every cell the viewer asks for, make its single
// protocols, and survive storing and loading again unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_formats.h"
#include "fuzz/fuzz_support.h"
#include "matching/match_document.h"

namespace vld::fuzz {
namespace {

bool SameContents(const TMatchDocument& a, const TMatchDocument& b) {
  return a.multiDuplicates == b.multiDuplicates && a.suppressPureBlocks == b.suppressPureBlocks &&
         a.fileMarking == b.fileMarking && a.maxNameLength == b.maxNameLength &&
         a.typeSymbols == b.typeSymbols && a.prioSymbol == b.prioSymbol &&
         a.matrixType == b.matrixType && a.selectedRow == b.selectedRow &&
         a.totalRecords == b.totalRecords && a.totalBlocks == b.totalBlocks &&
         a.headText == b.headText && a.jobText == b.jobText && a.netShareText == b.netShareText &&
         a.infoLines == b.infoLines && a.columnMap == b.columnMap && a.rows == b.rows &&
         a.addColumns == b.addColumns && a.ratingData == b.ratingData && a.matrix == b.matrix;
}

// Every cell of the rows the viewer shows first and last, for every column code it may hold.
void AskEveryCell(const TMatchDocument& doc) {
  const std::int32_t lastRow = doc.FileCount() + 3;
  const auto codes = static_cast<std::int32_t>(std::min<std::size_t>(doc.addColumns.size(), 8));
  for (std::int32_t row = -1; row <= lastRow + 1; ++row) {
    if (row == 40 && lastRow > 48) row = lastRow - 8;
    for (std::int32_t code = -16; code <= codes + 1; ++code) doc.GetCell(code, row);
  }
}

// Stores `doc`, loads it back and compares.
void RoundTrip(const TMatchDocument& doc, const std::string& file) {
  TMatchDocument copy = doc;
  const auto stored = Outcome([&] { copy.Save(file); }, 0);
  TMatchDocument again;
  const auto loaded = Outcome([&] { again.Load(file); }, 0);
  Require(!stored && !loaded, "Ein gespeichertes Protokoll lässt sich nicht wieder laden.");
  Require(SameContents(doc, again), "Das wieder geladene Protokoll ist anders.");
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
  const std::string path = ScratchFile("Eingabe.mpr");
  WriteScratchFile(path,
                   SafeFilePlainSwap(std::string_view(reinterpret_cast<const char*>(data), size)));
  TMatchDocument doc;
  doc.headText = "vorher";
  const auto error = Outcome([&] { doc.Load(path); }, kAcceptUserError);
  EchoError(error);
  if (error) {
    RequireNamesFile(*error, path);
    Require(doc.headText == "vorher" && doc.FileName().empty(),
            "Ein fehlgeschlagenes Laden hat das Dokument verändert.");
    return 0;
  }
  Require(doc.Consistent(), "Ein geladenes Protokoll ist nicht stimmig.");
  AskEveryCell(doc);
  RoundTrip(doc, ScratchFile("Ausgabe.mpr"));

  const std::int32_t files = std::min(doc.FileCount(), 4);
  TMatchDocument single;
  for (std::int32_t n = 1; n <= files; ++n) {
    if (n == 1) {
      doc.SingleProtocol(single, n);
    } else {
      doc.NextSingleProtocol(single, n);
    }
    Require(single.Consistent() && single.FileCount() == 1,
            "Ein Einzelprotokoll ist nicht stimmig.");
    AskEveryCell(single);
    RoundTrip(single, ScratchFile("Einzel.mpr"));
  }
  return 0;
}
