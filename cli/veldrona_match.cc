// veldrona-match: the product's main job without a window, for servers, scripts and scheduled
// runs. Runs the match task a parameter set describes and prints its journal.
//
//   veldrona-match PARAMS.PAR [--stepwise] [--memory MB] [--out DIR] [--quiet]
//
// Exit codes: 0 "Fertig.", 1 stepwise stop after sorting, 2 parameter errors, 3 task error,
// 64 usage.
#include <unistd.h>

#include <atomic>
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
      "  --quiet     nur Fehler und die Ergebniszahlen ausgeben\n",
      stderr);
  std::exit(kUsage);
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage("Zu " + a + " fehlt der Wert.");
      return argv[++i];
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
    } else if (a == "--help" || a == "-h") {
      Usage("");
    } else if (!a.empty() && a[0] == '-' && a != "-" && o.parameterFile.empty() && a.rfind("--", 0) == 0) {
      Usage("Unbekannte Option " + a + ".");
    } else if (o.parameterFile.empty()) {
      o.parameterFile = a;
    } else {
      Usage("Nur ein Parametersatz kann angegeben werden.");
    }
  }
  if (o.parameterFile.empty()) Usage("Bitte einen Parametersatz angeben.");
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
  SetMemory(o);

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
    return LoadMatchParameters(target, *set.root, RunStart::kNew, messages, journal);
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
