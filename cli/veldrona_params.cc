// veldrona-params: shows, changes and creates parameter sets (".PAR") and schemas (".PMS")
// without the windows.
//
//   veldrona-params show DATEI [--stufe STUFE] [--pfade]
//   veldrona-params set DATEI PFAD=WERT... [@LISTE] [-o AUSGABE]
//   veldrona-params new -o DATEI [--schema SCHEMA.PMS]
//   veldrona-params schema [-o DATEI.PMS [--aus DATEI] [--stufe STUFE] [--verbergen]]
//
// Files hold Windows-1252; arguments and the terminal are UTF-8. Errors are printed as
// "Fehler: <text>" on standard error; the exit code is 1, 64 for a wrong call, 255 for a broken
// invariant.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "params/match_schema.h"
#include "params/param_assign.h"
#include "params/param_edit.h"
#include "params/param_file.h"
#include "params/param_listing.h"
#include "params/param_path.h"
#include "params/param_text.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {
namespace {

constexpr int kExitUsage = 64;

constexpr const char* kUsage =
    "Aufruf:\n"
    "  veldrona-params show DATEI [--stufe STUFE] [--pfade]\n"
    "      zeigt den Parametersatz (+ neu, * geändert); --pfade zeigt jeden Wert mit seinem Pfad\n"
    "  veldrona-params set DATEI PFAD=WERT... [@LISTE] [-o AUSGABE]\n"
    "      ändert Werte, z. B. \"Kriterien.Slots [1].Art des Slots=Name\";\n"
    "      [n] eins hinter dem letzten Element legt ein neues Element an\n"
    "  veldrona-params new -o DATEI [--schema SCHEMA.PMS]\n"
    "      legt einen Parametersatz mit den Vorgaben (oder denen des Schemas) an\n"
    "  veldrona-params schema [-o DATEI.PMS [--aus DATEI] [--stufe STUFE] [--verbergen]]\n"
    "      zeigt das Schema, oder schreibt ein Schema aus den Vorgaben (oder aus DATEI)\n"
    "STUFE: alle (1), fortg. (2), einfach (3), minimal (4)\n";

class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& text) : std::runtime_error(text) {}
};

// Text for the terminal: carriage returns become line breaks, other control characters '?'.
std::string ScreenText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (static_cast<unsigned char>(c) < 32 && c != '\n' && c != '\t') {
      out.push_back('?');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

void Print(std::string_view text) {
  const std::string screen = ScreenText(text);
  std::fwrite(screen.data(), 1, screen.size(), stdout);
}

const char* LevelName(int level) {
  switch (level) {
    case 1:
      return "alle";
    case 2:
      return "fortg.";
    case 3:
      return "einfach";
    case 4:
      return "minimal";
    default:
      return "???";
  }
}

int ParseLevel(std::string_view text) {
  for (int level = 1; level <= 4; ++level) {
    if (text == std::to_string(level) || SameTextIgnoringCase(text, LevelName(level))) {
      return level;
    }
  }
  throw UsageError("Unbekannte Stufe \"" + std::string(text) + "\".");
}

bool HasExtension(std::string_view path, std::string_view extension) {
  return path.size() >= extension.size() &&
         SameTextIgnoringCase(path.substr(path.size() - extension.size()), extension);
}

// The arguments after the command: options with values, flags and plain arguments.
struct Arguments {
  std::vector<std::string> plain;
  std::string output, schema, source;
  int level = 0;
  bool paths = false, hide = false;

  Arguments(int argc, char** argv, std::string_view allowed) {
    for (int i = 2; i < argc; ++i) {
      const std::string_view arg = argv[i];
      const auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw UsageError("Zu \"" + std::string(arg) + "\" fehlt der Wert.");
        return argv[++i];
      };
      const auto check = [&](std::string_view option) {
        if (allowed.find(option) == std::string_view::npos) {
          throw UsageError("Die Angabe \"" + std::string(option) +
                           "\" passt nicht zu diesem Befehl.");
        }
      };
      if (arg == "-o") {
        check("-o");
        output = value();
      } else if (arg == "--schema") {
        check("--schema");
        schema = value();
      } else if (arg == "--aus") {
        check("--aus");
        source = value();
      } else if (arg == "--stufe") {
        check("--stufe");
        level = ParseLevel(value());
      } else if (arg == "--pfade") {
        check("--pfade");
        paths = true;
      } else if (arg == "--verbergen") {
        check("--verbergen");
        hide = true;
      } else if (arg.size() > 1 && arg[0] == '-' && arg.find('=') == std::string_view::npos) {
        throw UsageError("Unbekannte Angabe \"" + std::string(arg) + "\".");
      } else {
        plain.emplace_back(arg);
      }
    }
  }
};

TParamSet NewSet(const TParamTTRecord& schema) {
  TParamSet set;
  set.root.reset(static_cast<TParamTVRecord*>(schema.NewValue().release()));
  return set;
}

void PrintValueLines(const std::string& head, const std::string& value, int continuation_indent) {
  // A memo's lines: the first after the label, the others indented below it.
  std::string text = ScreenText(value);
  std::size_t start = 0;
  bool first = true;
  do {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end == std::string::npos ? end : end - start);
    if (first) {
      Print(head + line + "\n");
    } else {
      Print(std::string(static_cast<std::size_t>(continuation_indent), ' ') + line + "\n");
    }
    first = false;
    start = end == std::string::npos ? end : end + 1;
  } while (start != std::string::npos);
}

int Show(int argc, char** argv) {
  Arguments args(argc, argv, "--stufe --pfade");
  if (args.plain.size() != 1) throw UsageError("Bitte genau eine Parameter-Datei angeben.");
  const std::string& file = args.plain[0];
  const auto schema = BuildMatchParamSchema();
  const TParamSet set = LoadParamFile(file, *schema, false);
  // As the editor: a schema file shows its visible parameters, a parameter set its editable
  // ones; nothing below the hide level is ever shown.
  int level = HasExtension(file, ".PMS") ? set.hide_level : set.edit_level;
  if (args.level != 0) level = args.level;
  if (level < set.hide_level) level = set.hide_level;
  Print(
      Format("Parametersatz \"%s\" (Anzeige: %s; verborgen unter Stufe %d, bearbeitbar ab "
             "Stufe %d)\n",
             file.c_str(), LevelName(level), set.hide_level, set.edit_level));
  Print("Zeichen: + neu, * geändert\n\n");
  for (const TParamListingLine& line : ListParamTree(*set.root, level)) {
    const char* mark = line.state == kStateNew ? "+ " : line.state == kStateChanged ? "* " : "  ";
    if (args.paths) {
      if (!line.has_value) continue;
      const std::string head = mark + line.path + " = ";
      PrintValueLines(head, line.value, static_cast<int>(CharCount(head)));
      continue;
    }
    const std::string indent(static_cast<std::size_t>(2 * line.depth), ' ');
    if (!line.has_value) {
      Print(mark + indent + line.label + "\n");
      continue;
    }
    const std::string head = mark + indent + line.label + ": ";
    PrintValueLines(head, line.value, static_cast<int>(CharCount(head)));
  }
  return 0;
}

// The assignments of a text file: one "PATH=VALUE" a line; empty lines and lines starting with
// '#' are comments.
std::vector<std::string> AssignmentsOf(const std::string& file) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (f == nullptr) throw EUserError("Die Datei \"" + file + "\" gibt es nicht.");
  std::vector<std::string> out;
  std::string line;
  int c;
  auto flush = [&] {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    std::size_t start = line.find_first_not_of(' ');
    if (start != std::string::npos && line[start] != '#') out.push_back(line.substr(start));
    line.clear();
  };
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '\n') {
      flush();
    } else {
      line += static_cast<char>(c);
    }
  }
  flush();
  std::fclose(f);
  return out;
}

int Set(int argc, char** argv) {
  Arguments args(argc, argv, "-o");
  if (args.plain.size() < 2) {
    throw UsageError("Bitte eine Parameter-Datei und mindestens eine Zuweisung angeben.");
  }
  const std::string& file = args.plain[0];
  for (std::size_t i = 1; i < args.plain.size(); ++i) {
    if (args.plain[i].find('=') == std::string::npos && args.plain[i].rfind('@', 0) != 0) {
      throw UsageError("\"" + args.plain[i] + "\" ist keine Zuweisung PFAD=WERT.");
    }
  }
  const auto schema = BuildMatchParamSchema();
  TParamSet set = LoadParamFile(file, *schema, false);
  for (std::size_t i = 1; i < args.plain.size(); ++i) {
    if (args.plain[i].rfind('@', 0) == 0) {
      for (const std::string& assignment : AssignmentsOf(args.plain[i].substr(1))) {
        AssignParamPath(set, assignment);
      }
    } else {
      AssignParamPath(set, args.plain[i]);
    }
  }
  StoreParamFile(args.output.empty() ? file : args.output, set);
  return 0;
}

int New(int argc, char** argv) {
  Arguments args(argc, argv, "-o --schema");
  if (!args.plain.empty() || args.output.empty()) {
    throw UsageError("Bitte die neue Datei mit -o angeben.");
  }
  const auto schema = BuildMatchParamSchema();
  const TParamSet set =
      args.schema.empty() ? NewSet(*schema) : LoadParamFile(args.schema, *schema, true);
  StoreParamFile(args.output, set);
  return 0;
}

int Schema(int argc, char** argv) {
  Arguments args(argc, argv, "-o --aus --stufe --verbergen");
  if (!args.plain.empty()) throw UsageError("Unerwartete Angabe \"" + args.plain[0] + "\".");
  const auto schema = BuildMatchParamSchema();
  if (args.output.empty()) {
    if (!args.source.empty() || args.level != 0 || args.hide) {
      throw UsageError("--aus, --stufe und --verbergen gehören zu -o.");
    }
    for (const TSchemaListingLine& line : ListSchema(*schema)) {
      Print(std::string(static_cast<std::size_t>(2 * line.depth), ' ') + line.text + "\n");
    }
    return 0;
  }
  // As the editor makes a schema: every value becomes its own reference, and the chosen level
  // restricts editing (and with --verbergen also showing) when it is not below the hide level.
  TParamSet set =
      args.source.empty() ? NewSet(*schema) : LoadParamFile(args.source, *schema, false);
  set.root->Commit(false);
  const int level = args.level == 0 ? 1 : args.level;
  if (level >= set.hide_level) {
    set.edit_level = static_cast<std::uint8_t>(level);
    if (args.hide) set.hide_level = static_cast<std::uint8_t>(level);
  }
  StoreParamFile(args.output, set);
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) throw UsageError("Bitte einen Befehl angeben.");
  const std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "hilfe") {
    Print(kUsage);
    return 0;
  }
  if (command == "show") return Show(argc, argv);
  if (command == "set") return Set(argc, argv);
  if (command == "new") return New(argc, argv);
  if (command == "schema") return Schema(argc, argv);
  throw UsageError("Unbekannter Befehl \"" + std::string(command) + "\".");
}

}  // namespace
}  // namespace vld

int main(int argc, char** argv) {
  try {
    return vld::Run(argc, argv);
  } catch (const vld::UsageError& e) {
    std::fprintf(stderr, "Fehler: %s\n%s", vld::ScreenText(e.what()).c_str(), vld::kUsage);
    return vld::kExitUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Fehler: %s\n", vld::ScreenText(e.what()).c_str());
    return 1;
  }
}
