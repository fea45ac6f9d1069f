// veldrona-match: the product's main job without a window, for servers, scripts and scheduled
// runs. Runs the match task a parameter set describes and prints its journal.
//
//   veldrona-match PARAMS.PAR [--stepwise] [--memory MB] [--out DIR] [--quiet]
//   veldrona-match --params SET.PAR --source FILE [--separator C] [--codepage CP] [--no-header]
//                  [--fixed FIELDLIST] [--source2 FILE ... | --odbc2 CONN --sql SQL] [--dark2]
//                  [--odbc CONN --sql SQL] [--field COLUMN=TYPE]... --out DIR
//                  [--result-csv FILE] [--quiet] [--memory MB]
// The second form converts the user's sources as the wizard would (Matchfile1.txt/2.txt in
// the output folder), adapts the set to them and runs the match; --result-csv writes every input
// row with what the match made of it.
//
// Exit codes: 0 "Fertig.", 1 stepwise stop after sorting, 2 parameter errors, 3 task error,
// 64 usage.
#include <unistd.h>

#include <array>
#include <atomic>
#include <optional>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cli/console_front_end.h"
#include "engine/pipeline/task_thread.h"
#include "engine/runtime/file.h"
#include "engine/runtime/memory_control.h"
#include "engine/task/match_task.h"
#include "params/match_schema.h"
#include "params/param_assign.h"
#include "params/param_file.h"
#include "params/param_load.h"
#include "params/param_path.h"
#include "data/match_sources.h"
#include "data/result_csv.h"
#include "platform/errors.h"
#include "platform/fatal.h"
#include "platform/paths.h"

namespace vld {
namespace {

constexpr int kUsage = 64;
std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted = true; }

struct Options {
  std::string parameterFile;
  bool stepwise = false;
  bool quiet = false;
  std::int64_t memoryMb = 0;
  std::string outputFolder;
  // Matching straight from a user's files.
  bool fromSources = false;
  TMatchSources sources;
  std::string resultCsv;
};

[[noreturn]] void Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "Fehler: %s\n", problem.c_str());
  std::fputs(
      "Aufruf:\n"
      "  veldrona-match PARAMETER.PAR [--stepwise] [--memory MB] [--out ORDNER] [--quiet]\n"
      "      führt den Abgleich aus, den der Parametersatz beschreibt\n"
      "  --stepwise  stufenweise: nach dem Sortieren anhalten, beim nächsten Start abgleichen\n"
      "  --memory MB Arbeitsspeicher zum Sortieren in MB\n"
      "  --out ORDNER  Ausgabepfad statt dem des Parametersatzes\n"
      "  --quiet     nur Fehler und die Ergebniszahlen ausgeben\n"
      "  veldrona-match --params SATZ.PAR --source DATEI [--separator Z] [--codepage CP]\n"
      "                 [--no-header] [--fixed FELDLISTE] [--odbc VERBINDUNG --sql SQL]\n"
      "                 [--source2 DATEI ...] [--dark2] [--field SPALTE=TYP]... --out ORDNER\n"
      "                 [--result-csv DATEI]\n"
      "      wandelt die eigenen Daten um wie der Assistent und gleicht sie ab\n",
      stderr);
  std::exit(kUsage);
}

Options Parse(int argc, char** argv) {
  Options o;
  TSourceSpec* current = nullptr;  // the source the source options apply to
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage("Zu " + a + " fehlt der Wert.");
      return argv[++i];
    };
    auto source = [&]() -> TSourceSpec& {
      if (current == nullptr) Usage(a + " gehört zu einer Quelle: erst --source oder --odbc angeben.");
      return *current;
    };
    if (a == "--stepwise") {
      o.stepwise = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a == "--memory") {
      const std::string v = value();
      char* end = nullptr;
      o.memoryMb = std::strtoll(v.c_str(), &end, 10);
      if (end == v.c_str() || *end != '\0' || o.memoryMb < 4 || o.memoryMb > 65536) {
        Usage("--memory erwartet eine Zahl von 4 bis 65536 (MB).");
      }
    } else if (a == "--out") {
      o.outputFolder = value();
    } else if (a == "--params") {
      o.parameterFile = value();
      o.fromSources = true;
    } else if (a == "--source" || a == "--odbc") {
      o.fromSources = true;
      current = &o.sources.first;
      if (a == "--source") {
        current->file = value();
      } else {
        current->kind = TSourceKind::kOdbc;
        current->connection = value();
      }
    } else if (a == "--source2" || a == "--odbc2") {
      o.sources.second.emplace();
      current = &*o.sources.second;
      if (a == "--source2") {
        current->file = value();
      } else {
        current->kind = TSourceKind::kOdbc;
        current->connection = value();
      }
    } else if (a == "--dark2") {
      o.sources.secondIsDark = true;
    } else if (a == "--sql") {
      source().sql = value();
    } else if (a == "--fixed") {
      source().kind = TSourceKind::kFixed;
      source().fieldList = value();
    } else if (a == "--separator") {
      const std::string v = value();
      const std::optional<char> c = ParseSeparator(v);
      if (!c) Usage("--separator erwartet ein Zeichen oder \"tab\", nicht \"" + v + "\".");
      source().separator = *c;
    } else if (a == "--codepage") {
      const std::string v = value();
      const std::optional<CodePage> cp = ParseCodePage(v);
      if (!cp) Usage("--codepage erwartet 437, 850, 1252 oder utf8, nicht \"" + v + "\".");
      source().codePage = *cp;
    } else if (a == "--no-header") {
      source().header = false;
    } else if (a == "--field") {
      const std::string v = value();
      if (v.find('=') == std::string::npos) Usage("--field erwartet SPALTE=TYP, nicht \"" + v + "\".");
      o.sources.fieldAssignments.push_back(v);
    } else if (a == "--result-csv") {
      o.resultCsv = value();
    } else if (a == "--help" || a == "-h") {
      Usage("");
    } else if (a.rfind("--", 0) == 0) {
      Usage("Unbekannte Option " + a + ".");
    } else if (o.parameterFile.empty()) {
      o.parameterFile = a;
    } else {
      Usage("Nur ein Parametersatz kann angegeben werden.");
    }
  }
  if (o.parameterFile.empty()) Usage("Bitte einen Parametersatz angeben.");
  if (o.fromSources) {
    if (o.sources.first.file.empty() && o.sources.first.kind != TSourceKind::kOdbc) {
      Usage("Bitte die Datenquelle mit --source oder --odbc angeben.");
    }
    if (o.outputFolder.empty()) Usage("Bitte den Ausgabeordner mit --out angeben.");
    if (o.stepwise) Usage("--stepwise gilt nur für einen Parametersatz ohne --source.");
  } else if (!o.resultCsv.empty()) {
    Usage("--result-csv gehört zu einem Abgleich mit --source.");
  }
  return o;
}

// Memory for a machine of today: 256 MB to sort in, a 512 MB arena, growing in 64 MB steps.
void SetMemory(const Options& o) {
  TMemorySettings& m = MemorySettings();
  const std::int64_t mb = o.memoryMb > 0 ? o.memoryMb : 256;
  m.lowerLimit = mb << 20;
  m.upperLimit = std::max<std::int64_t>(2 * m.lowerLimit, m.lowerLimit + (64 << 20));
  m.supplementStep = 64 << 20;
  m.questionThreshold = kTaskHeapBudget;
}

std::string ReadWholeFile(const std::string& name) {
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr) return {};
  std::string out;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return out;
}

// A set that leaves a base path empty gets what a user of the command line expects: the input
// and output in the current folder, the tables of the installed product.
void FillEmptyPaths(TParamSet& set, const std::string& parameterFile) {
  (void)parameterFile;
  const auto empty = [&](const char* path) {
    const TParamPathTarget target = ResolveParamPath(*set.root, path);
    return target.value == nullptr || target.value->AsText(1).empty();
  };
  const std::string here = NormalisePath(".") + "/";
  if (empty("Pfade.Eingabepfad")) AssignParamPath(set, std::string("Pfade.Eingabepfad=") + here);
  if (empty("Pfade.Ausgabepfad")) AssignParamPath(set, std::string("Pfade.Ausgabepfad=") + here);
  if (empty("Pfade.Tabellenpfad")) {
    const std::vector<std::string> folders = ProductFolders("Tables");
    if (!folders.empty()) {
      AssignParamPath(set, "Pfade.Tabellenpfad=" + NormalisePath(folders.front()) + "/");
    }
  }
}

// What the result CSV needs to know of a finished run.
struct RunFacts {
  std::string listFile;
  std::int32_t listLength = 0;
  std::array<char, 13> symbols{};
};

// Block, group and role of every engine record, read from the duplicate list: the list holds
// the whole record (with its record number) in its list fields, a blank line starts a block and
// the "Kopfsatz" symbol a duplicate group. A replica counts where its original first stands.
std::vector<TResultRecord> ResultsFromList(const RunFacts& facts,
                                           const TConvertedSources& converted) {
  std::vector<TResultRecord> out(static_cast<std::size_t>(converted.RecordCount()));
  const std::string list = facts.listFile.empty() ? std::string() : ReadWholeFile(facts.listFile);
  const std::size_t length = static_cast<std::size_t>(facts.listLength);
  if (length < 6) return out;
  const std::size_t numberAt = 4 + static_cast<std::size_t>(converted.RecordNumberPosition() - 1);
  const std::size_t width = static_cast<std::size_t>(converted.RecordNumberWidth());
  std::vector<bool> placed(out.size(), false);
  for (int pass = 0; pass < 2; ++pass) {  // originals first, then replicas
    std::int64_t block = 0, group = 0;
    for (std::size_t at = 0; at + length <= list.size(); at += length) {
      const std::string_view line(list.data() + at, length);
      if (line.find_first_not_of(" \r\n") == std::string_view::npos) {
        ++block;
        continue;
      }
      if (line[2] == facts.symbols[7]) ++group;
      const bool replica = line[3] == facts.symbols[10];
      if (replica != (pass == 1) || numberAt + width > length - 2) continue;
      const std::string digits(line.substr(numberAt, width));
      char* end = nullptr;
      const long long number = std::strtoll(digits.c_str(), &end, 10);
      if (number < 1 || number > static_cast<long long>(out.size())) continue;
      TResultRecord& r = out[static_cast<std::size_t>(number - 1)];
      if (line[0] == facts.symbols[5]) r.role = TResultRole::kDuplicate;
      if (line[0] == facts.symbols[4] && r.role == TResultRole::kSingle) r.role = TResultRole::kHead;
      if (!placed[static_cast<std::size_t>(number - 1)]) {
        placed[static_cast<std::size_t>(number - 1)] = true;
        r.block = block;
        r.group = group;
      }
    }
  }
  return out;
}

int Run(const Options& o) {
  const auto schema = BuildMatchParamSchema();
  TParamSet set;
  try {
    set = LoadParamFile(o.parameterFile, *schema, false);
    if (!o.outputFolder.empty()) {
      AssignParamPath(set, "Pfade.Ausgabepfad=" + NormalisePath(o.outputFolder) + "/");
    }
    FillEmptyPaths(set, o.parameterFile);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Fehler: %s\n", TerminalText(e.what()).c_str());
    return 2;
  }
  std::optional<TConvertedSources> converted;
  if (o.fromSources) {
    try {
      TConvertOptions convert;
      convert.outputFolder = NormalisePath(o.outputFolder);
      converted.emplace(PrepareMatchSources(o.sources, convert, set));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Fehler: %s\n", TerminalText(e.what()).c_str());
      return 3;
    }
    if (!o.quiet) {
      for (const std::string& line : converted->Journal()) {
        std::printf("%s\n", TerminalText(line).c_str());
      }
    }
  }
  SetMemory(o);

  RunFacts facts;
  TMatchDocument document;
  TMatchTaskOptions options;
  options.runTitle = "\"" + ShortName(o.parameterFile) + "\"";
  options.stepwise = o.stepwise;
  options.document = &document;
  options.load = [&](TMemorySpace& target, bool restart, const ParameterMessageSink& messages,
                     const JournalSink& journal) {
    // An existing second temporary file is never destroyed by the check; whether a stepwise run
    // resumes it is decided by the task from its size.
    (void)restart;
    TLoadedParameters loaded =
        LoadMatchParameters(target, *set.root, RunStart::kNew, messages, journal);
    if (loaded.set != nullptr) {
      facts.listFile = std::string(loaded.set->FileName(9));
      facts.listLength = loaded.set->Fields().listRecordLength;
      facts.symbols = loaded.set->Fields().symbols;
    }
    return loaded;
  };
  TMatchTask task(std::move(options));
  TConsoleFrontEnd front(o.quiet);
  TTaskThread thread(front, [&] { return task.Run(); }, [&] { task.Release(); });
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    while (!done) {
      if (g_interrupted) {
        thread.Cancel();
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  thread.Start();
  const TaskResult result = thread.Wait();
  done = true;
  watcher.join();

  const auto& counts = front.FinalCounts();
  auto count = [&](const char* name) {
    auto it = counts.find(name);
    return it == counts.end() ? 0LL : static_cast<long long>(it->second);
  };
  switch (result) {
    case TaskResult::kDone:
      std::printf("Single: %lld, Multi: %lld, Dubletten: %lld\n", count("Output Single"),
                  count("Output Multi"), count("Dubletten"));
      if (converted && !o.resultCsv.empty()) {
        try {
          WriteResultCsv(o.resultCsv, *converted, ResultsFromList(facts, *converted));
        } catch (const std::exception& e) {
          std::fprintf(stderr, "Fehler: %s\n", TerminalText(e.what()).c_str());
          return 3;
        }
      }
      return 0;
    case TaskResult::kStepDone:
      return 1;
    case TaskResult::kParameterErrors:
      return 2;
    default:
      return 3;
  }
}

}  // namespace
}  // namespace vld

int main(int argc, char** argv) {
  vld::ConfigureFileFaultsFromEnvironment();
  const vld::Options options = vld::Parse(argc, argv);
  try {
    return vld::Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Fehler: %s\n", vld::TerminalText(e.what()).c_str());
    return 3;
  }
}
