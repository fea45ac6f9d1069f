// veldrona-tables: builds the product's tables and applies them to texts.
//
//   veldrona-tables compile RULES OUTPUT          rules file -> normalisation table
//   veldrona-tables build-plz CSV DIGITS OUTPUT   GeoNames CSV -> postal-code mapping
//   veldrona-tables normalize TABLE TEXT...       one line per text: its normalised form
//   veldrona-tables plz MAPPING CODE...           one line per code: its representative
//
// Texts are taken as UTF-8, converted to code page 437, run through the table unchanged
// otherwise and printed as UTF-8. Errors are printed in German as "Fehler: <text>" on standard
// error; the exit code is then 1 (255 for a fatal error).
#include <iostream>
#include <string>
#include <vector>

#include "matching/norm.h"
#include "matching/plz.h"
#include "matching/table_file.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/fatal.h"
#include "platform/paths.h"
#include "tools/tables/plz_builder.h"
#include "tools/tables/rules_compiler.h"

namespace vld::tables {
namespace {

constexpr const char* kUsage =
    "Aufruf: veldrona-tables compile REGELDATEI AUSGABE | build-plz CSV STELLEN AUSGABE | "
    "normalize TABELLE TEXT... | plz ABBILDUNG PLZ...";

void Compile(const std::vector<std::string>& args) {
  if (args.size() != 2) throw EUserError(kUsage);
  const NormTableContents table = CompileRulesFile(args[0]);
  WriteTableFile(args[1], table.Encode());
}

void BuildPlz(const std::vector<std::string>& args) {
  if (args.size() != 3 || (args[1] != "3" && args[1] != "4" && args[1] != "5")) {
    throw EUserError(kUsage);
  }
  const PostalPlaces places = ReadGeoNamesFile(args[0]);
  WriteTableFile(args[2], BuildPlzMapping(places, std::stoi(args[1])).Encode());
}

void Normalize(const std::vector<std::string>& args) {
  if (args.empty()) throw EUserError(kUsage);
  const TNormalizer table = LoadNormalizer(NormalisePath(args[0]), args[0]);
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string text = FromUtf8(args[i], CodePage::k437);
    std::cout << ToUtf8(table.Normalized(text), CodePage::k437) << '\n';
  }
}

void Plz(const std::vector<std::string>& args) {
  if (args.empty()) throw EUserError(kUsage);
  const TPlzMapping mapping = LoadPlzMapping(NormalisePath(args[0]), args[0], 0);
  const int digits = mapping.Digits();
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& code = args[i];
    const bool ok = !code.empty() && code.size() <= static_cast<std::size_t>(digits) &&
                    code.find_first_not_of("0123456789") == std::string::npos;
    if (!ok) {
      throw EUserError(
          Format("\"%s\" ist keine Postleitzahl mit höchstens %d Ziffern.", code.c_str(), digits));
    }
    std::string rep = std::to_string(mapping.Map(std::stoi(code)));
    std::cout << std::string(static_cast<std::size_t>(digits) - rep.size(), '0') << rep << '\n';
  }
}

int Main(int argc, char** argv) {
  if (argc < 2) throw EUserError(kUsage);
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "compile") {
    Compile(args);
  } else if (command == "build-plz") {
    BuildPlz(args);
  } else if (command == "normalize") {
    Normalize(args);
  } else if (command == "plz") {
    Plz(args);
  } else {
    throw EUserError(kUsage);
  }
  return 0;
}

}  // namespace
}  // namespace vld::tables

int main(int argc, char** argv) {
  try {
    return vld::tables::Main(argc, argv);
  } catch (const vld::EUserError& e) {
    std::cerr << "Fehler: " << e.what() << '\n';
    return 1;
  } catch (const vld::ERuntimeError& e) {
    std::cerr << "Fehler: " << e.what() << '\n';
    return 1;
  }
}
