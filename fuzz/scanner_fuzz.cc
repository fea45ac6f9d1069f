// Fuzz target: the scanner of the file list ("Dateiliste").
//
// The input is a file list, cut into lines as the text-file layer reads them. The scanner never
// raises anything: every byte ends up in a token or in one of the error kinds 8..10, the end of
// input (or a Ctrl-Z) is kEnd for good, and the number of tokens stays within a bound set by the
// input's size (no loop that stands still). A fatal error or an exception is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/runtime/heap.h"
#include "fuzz/fuzz_support.h"
#include "matching/scanner.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vld::fuzz::InstallFuzzHooks();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vld;
  using namespace vld::fuzz;
  const std::vector<std::string> lines =
      SplitLines(std::string_view(reinterpret_cast<const char*>(data), size));
  TScanner scanner;
  std::size_t next = 0;
  scanner.Start([&](std::string& line) {
    if (next == lines.size()) return false;
    line = lines[next++];
    return true;
  });
  // Each token but the end takes at least one byte of a line or its line end; an error token
  // may leave its byte to the next call once.
  const std::size_t bound = 2 * (size + lines.size()) + 2;
  std::size_t tokens = 0;
  Outcome(
      [&] {
        for (;;) {
          const TokenKind kind = scanner.Next();
          Require(kind <= TokenKind::kCommentError, "unbekannte Symbolart");
          if (kind == TokenKind::kEnd) break;
          Require(++tokens <= bound, "Der Scanner kommt nicht voran.");
          if (kind >= TokenKind::kMalformed) {
            Require(scanner.Text().size() == 1, "Ein Fehlersymbol hat nicht genau ein Zeichen.");
          }
          Require(scanner.LineNumber() >= 0 &&
                      static_cast<std::size_t>(scanner.LineNumber()) <= lines.size(),
                  "falsche Zeilennummer");
        }
        // Ctrl-Z ends the input where it stands, as in DOS text files.
        const bool ctrlZ = std::find(data, data + size, 26) != data + size;
        Require(ctrlZ || next == lines.size(), "Der Scanner hat nicht alle Zeilen gelesen.");
        for (int i = 0; i < 3; ++i) {
          Require(scanner.Next() == TokenKind::kEnd, "Nach dem Ende kommt noch etwas.");
        }
      },
      0);
  return 0;
}
