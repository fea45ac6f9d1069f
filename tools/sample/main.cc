// veldrona-sample: writes realistic German address files with known duplicates.
//
//   veldrona-sample [--firmen] [--anzahl N] [--seed S] [--dubletten PROZENT] [--name NAME]
//                   [--formate LISTE] [--sqlite] [--daten ORDNER] [--plz DATEI] ZIELORDNER
//
// Writes NAME.csv (UTF-8), NAME_1252.csv (Windows-1252), NAME.txt (fixed width, code page 437)
// with NAME_felder.txt and NAME.fls, NAME_wahrheit.csv (Nr;Entitaet) and with --sqlite NAME.db
// (table "adressen"); --formate chooses among csv, csv1252, fest, sqlite, wahrheit.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/errors.h"
#include "platform/paths.h"
#include "tools/sample/sample_generator.h"

namespace {

constexpr int kUsage = 64;

[[noreturn]] void Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "Fehler: %s\n", problem.c_str());
  std::fputs(
      "Aufruf:\n"
      "  veldrona-sample [--firmen] [--anzahl N] [--seed S] [--dubletten PROZENT] [--name NAME]\n"
      "                  [--formate LISTE] [--sqlite] [--daten ORDNER] [--plz DATEI] ZIELORDNER\n"
      "  schreibt deutsche Beispieladressen mit bekannten Dubletten:\n"
      "  NAME.csv (UTF-8), NAME_1252.csv (Windows-1252), NAME.txt (feste Feldlängen, Codepage\n"
      "  437) mit NAME_felder.txt und NAME.fls, NAME_wahrheit.csv und mit --sqlite NAME.db\n"
      "  --firmen     Firmen statt Personen\n"
      "  --anzahl N   Anzahl der Datensätze (Vorgabe 10000)\n"
      "  --seed S     Startwert des Zufalls (Vorgabe 1); gleicher Startwert, gleiche Dateien\n"
      "  --dubletten  Anteil der Personen oder Firmen mit Dubletten in Prozent (Vorgabe 20)\n"
      "  --name NAME  Name der Dateien (Vorgabe stichprobe)\n"
      "  --formate    durch Kommas getrennt: csv, csv1252, fest, sqlite, wahrheit\n"
      "               (Vorgabe: csv,csv1252,fest,wahrheit)\n"
      "  --sqlite     zusätzlich NAME.db mit der Tabelle adressen (für ODBC)\n",
      stderr);
  std::exit(kUsage);
}

long long Number(const std::string& option, const std::string& text, long long lo, long long hi) {
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || v < lo || v > hi) {
    Usage(option + " erwartet eine Zahl von " + std::to_string(lo) + " bis " + std::to_string(hi) +
          ".");
  }
  return v;
}

std::string DefaultDataFolder(const char* sub, const char* sourceFallback) {
  for (const std::string& folder : vld::ProductFolders(sub)) return folder;
  return sourceFallback;
}

}  // namespace

int main(int argc, char** argv) {
  vld::TSampleOptions options;
  options.count = 10000;
  vld::TSampleFiles files;
  std::string dataFolder, plzCsv;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage("Zu " + a + " fehlt der Wert.");
      return argv[++i];
    };
    if (a == "--firmen") {
      options.kind = vld::TSampleKind::kCompanies;
    } else if (a == "--anzahl") {
      options.count = Number(a, value(), 1, 4000000000ll);
    } else if (a == "--seed") {
      options.seed = static_cast<std::uint64_t>(Number(a, value(), 0, 1ll << 62));
    } else if (a == "--dubletten") {
      options.duplicatePercent = static_cast<int>(Number(a, value(), 0, 100));
    } else if (a == "--name") {
      files.baseName = value();
    } else if (a == "--sqlite") {
      files.sqlite = true;
    } else if (a == "--formate") {
      files.csvUtf8 = files.csv1252 = files.fixedWidth = files.sqlite = files.truth = false;
      const std::string list = value() + ",";
      for (std::size_t start = 0, end; (end = list.find(',', start)) != std::string::npos;
           start = end + 1) {
        const std::string format = list.substr(start, end - start);
        if (format == "csv") {
          files.csvUtf8 = true;
        } else if (format == "csv1252") {
          files.csv1252 = true;
        } else if (format == "fest") {
          files.fixedWidth = true;
        } else if (format == "sqlite") {
          files.sqlite = true;
        } else if (format == "wahrheit") {
          files.truth = true;
        } else {
          Usage("Unbekanntes Format \"" + format + "\" bei --formate.");
        }
      }
    } else if (a == "--daten") {
      dataFolder = value();
    } else if (a == "--plz") {
      plzCsv = value();
    } else if (a == "--help" || a == "-h") {
      Usage("");
    } else if (a.starts_with("--")) {
      Usage("Unbekannte Option " + a + ".");
    } else if (files.folder.empty()) {
      files.folder = a;
    } else {
      Usage("Nur ein Zielordner kann angegeben werden.");
    }
  }
  if (files.folder.empty()) Usage("Bitte einen Zielordner angeben.");
  if (dataFolder.empty()) dataFolder = DefaultDataFolder("SampleData", VELDRONA_SAMPLE_DATA_DIR);
  if (plzCsv.empty()) {
    plzCsv = vld::JoinPath(dataFolder, "plz_de_geonames.csv");
    if (!std::filesystem::exists(plzCsv)) plzCsv = VELDRONA_SAMPLE_PLZ_CSV;
  }
  try {
    std::filesystem::create_directories(files.folder);
    const vld::TSampleWordLists lists = vld::LoadSampleWordLists(dataFolder, plzCsv);
    const vld::TSampleGenerator generator(lists, options);
    for (const std::string& name : vld::WriteSampleFiles(generator, files)) {
      std::printf("%s\n", name.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Fehler: %s\n", e.what());
    return 1;
  }
  return 0;
}
