// Robustness of the built veldrona-match (found through VELDRONA_BIN) end to end: a failure of
// any read or write of a whole run, a full disk and a file size limit end the run with a German
// error line, leave the inputs as they were and no output that looks complete; hostile CSV
// sources give the right rows or a German message naming the file and the line; file names with
// blanks, umlauts and leading dashes work, and a parameter set cannot put its outputs outside the
// output path.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/test_support.h"

namespace vld {
namespace {

namespace fs = std::filesystem;

struct Result {
  int code = -1;  // exit code; 128 + signal when the program was killed
  std::string out, err;
};

struct RunOptions {
  std::vector<std::pair<std::string, std::string>> environment;
  std::string folder;               // working folder; empty: the test's own
  std::int64_t fileSizeLimit = -1;  // RLIMIT_FSIZE of the program; -1: none
};

RunOptions WithVariable(const std::string& name, const std::string& value) {
  RunOptions options;
  options.environment = {{name, value}};
  return options;
}

// Runs `program` with `args`; stdout and stderr go to files in `scratch`.
Result Spawn(const std::string& program, const std::vector<std::string>& args,
             const std::string& scratch, const RunOptions& options = {}) {
  const std::string outFile = scratch + "/stdout", errFile = scratch + "/stderr";
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (std::string& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  // Under a file size limit the error line goes through a pipe, which no limit applies to.
  int pipeEnds[2] = {-1, -1};
  if (options.fileSizeLimit >= 0 && ::pipe(pipeEnds) != 0) return Result{};
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = pipeEnds[1] >= 0 ? pipeEnds[1]
                                     : ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(120);
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    if (!options.folder.empty() && ::chdir(options.folder.c_str()) != 0) ::_exit(121);
    if (options.fileSizeLimit >= 0) {
      ::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails with EFBIG
      const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                         static_cast<rlim_t>(options.fileSizeLimit)};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(122);
    }
    ::execv(raw[0], raw.data());
    ::_exit(123);
  }
  Result r;
  if (pipeEnds[1] >= 0) {
    ::close(pipeEnds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
      r.err.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = testing::ReadFile(outFile);
  if (pipeEnds[1] < 0) r.err = testing::ReadFile(errFile);
  return r;
}

// Every regular file of a folder (not below it) with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (e.is_regular_file())
      out[e.path().filename().string()] = testing::ReadFile(e.path().string());
  }
  return out;
}

std::string Field(const std::string& utf8, std::size_t n) {
  std::string s = ToCp437(utf8, CodePage::kUtf8);
  s.resize(n, ' ');
  return s;
}

// A few persons in the layout of Privatadressen (first name 1..25, last name 26..55, street
// 56..90, PLZ 91..95, city 96..125, CR LF), some of them twice in another spelling.
std::string PersonRecords() {
  const char* persons[][5] = {
      {"Hans", "Meier", "Hauptstraße 1", "10115", "Berlin"},
      {"H.", "Meier", "Hauptstr. 1", "10115", "Berlin"},
      {"Anna", "Schulz", "Gartenweg 7", "20095", "Hamburg"},
      {"Jürgen", "Müller", "Lindenallee 12", "80331", "München"},
      {"Jürgen", "Mueller", "Lindenallee 12", "80331", "München"},
      {"Eva", "Koch", "Am Markt 3", "50667", "Köln"},
      {"Otto", "Wagner", "Schulstraße 44", "10115", "Berlin"},
      {"Ute", "Becker", "Bahnhofstraße 9", "20095", "Hamburg"},
      {"Ute", "Becker", "Bahnhofstr. 9", "20095", "Hamburg"},
      {"Klaus", "Fischer", "Gartenweg 2", "80331", "München"},
  };
  std::string all;
  for (const auto& p : persons) {
    all += Field(p[0], 25) + Field(p[1], 30) + Field(p[2], 35) + Field(p[3], 5) + Field(p[4], 30) +
           "\r\n";
  }
  return all;
}

// The same persons as a CSV file in UTF-8.
std::string PersonCsv() {
  return "Vorname;Nachname;Strasse;PLZ;Ort\r\n"
         "Hans;Meier;Hauptstraße 1;10115;Berlin\r\n"
         "H.;Meier;Hauptstr. 1;10115;Berlin\r\n"
         "Anna;Schulz;Gartenweg 7;20095;Hamburg\r\n"
         "Jürgen;Müller;Lindenallee 12;80331;München\r\n"
         "Jürgen;Mueller;Lindenallee 12;80331;München\r\n"
         "Eva;Koch;Am Markt 3;50667;Köln\r\n"
         "Ute;Becker;Bahnhofstraße 9;20095;Hamburg\r\n"
         "Ute;Becker;Bahnhofstr. 9;20095;Hamburg\r\n";
}

// Outputs of Privatadressen that must be the same for the same input; the protocol document
// is scrambled with a fresh seed each time and the journal holds times.
const char* const kComparedOutputs[] = {"privat.out", "privat.mlt", "privat.dup", "privat.lst",
                                        "privat.dat"};
// Files a run may leave or change even when it fails: the journal and the temporary files.
bool MayChangeOnFailure(const std::string& name) {
  return name == "privat.log" || name == "privat1.tmp" || name == "privat2.tmp" ||
         name == "privat3.tmp" || name == "privat4.tmp" || name == "stdout" || name == "stderr";
}

class VeldronaMatchRobustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("VELDRONA_BIN");
    ASSERT_NE(bin, nullptr) << "VELDRONA_BIN is not set";
    bin_ = bin;
  }

  Result Run(const std::string& program, const std::vector<std::string>& args,
             const RunOptions& options = {}) {
    return Spawn(bin_ + "/" + program, args, scratch_.path().string(), options);
  }

  // The shipped set copied into `folder` as `name`, its paths set to that folder.
  std::string Set(const std::string& folder, const std::string& name = "Privatadressen.par") {
    const std::string par = folder + "/" + name;
    testing::WriteFile(par, testing::ReadFile(bin_ + "/Params/Privatadressen.par"));
    const Result r = Run("veldrona-params", {"set", par, "Pfade.Eingabepfad=" + folder + "/",
                                             "Pfade.Ausgabepfad=" + folder + "/",
                                             "Pfade.Tabellenpfad=" + bin_ + "/Tables/"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    return par;
  }

  std::string Folder(const std::string& name) {
    const std::string f = dir_.File(name);
    fs::create_directories(f);
    return f;
  }

  // Injects a failure at every read (or write) of the run `args` in `folder`, n = 1, 2, ...,
  // until a run meets no fault. Every failed run must end with the German error line, keep the
  // inputs and leave no new or changed output; a rerun must then give the outputs of a clean
  // run. A run that tolerates its fault (a cache that cannot be read is rebuilt) must give the
  // outputs of a clean run itself.
  // Before every odd n the outputs are removed, before every even n the complete outputs of
  // the rerun stay and must come through unchanged. Returns the number of failed runs.
  int EveryFaultFailsCleanly(const std::string& variable, const std::string& folder,
                             const std::vector<std::string>& args,
                             const std::map<std::string, std::string>& clean,
                             const std::vector<std::string>& inputs) {
    std::map<std::string, std::string> inputBytes;
    for (const std::string& input : inputs) inputBytes[input] = testing::ReadFile(input);
    int failures = 0;
    for (int n = 1; n < 5000; ++n) {
      SCOPED_TRACE(variable + "=" + std::to_string(n));
      if (n % 2 == 1) {
        for (const auto& [name, bytes] : clean) fs::remove(folder + "/" + name);
      }
      const std::map<std::string, std::string> before = Snapshot(folder);
      const std::string report = scratch_.File("fehlerbericht");
      fs::remove(report);
      RunOptions options = WithVariable(variable, std::to_string(n));
      options.environment.emplace_back("VELDRONA_FAULT_REPORT", report);
      const Result r = Run("veldrona-match", args, options);
      const bool injected = testing::ReadFile(report).find(" 1\n") != std::string::npos;
      EXPECT_FALSE(testing::ReadFile(report).empty()) << "the program reports its faults";
      if (r.code == 0) {
        for (const auto& [name, bytes] : clean) {
          EXPECT_EQ(testing::ReadFile(folder + "/" + name), bytes) << name;
        }
        if (!injected || ::testing::Test::HasFailure()) return failures;
        continue;
      }
      EXPECT_TRUE(injected) << "a run fails only by the injected fault: " << r.err;
      ++failures;
      // A parameter check that cannot read a table reports it among the parameter errors.
      EXPECT_TRUE(r.code == 3 || r.code == 2) << r.code << r.out << r.err;
      if (r.code == 3) {
        EXPECT_EQ(r.err.rfind("Fehler: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
      } else {
        EXPECT_NE(r.out.find("Fehler in den Parametern"), std::string::npos) << r.out << r.err;
      }
      for (const char* english : {"cannot", "invalid", "failed", "error", " not "}) {
        EXPECT_EQ(r.err.find(english), std::string::npos) << r.err;
      }
      for (const auto& [input, bytes] : inputBytes) {
        EXPECT_EQ(testing::ReadFile(input), bytes) << "the input " << input << " is never changed";
      }
      const std::map<std::string, std::string> after = Snapshot(folder);
      for (const auto& [name, bytes] : after) {
        if (MayChangeOnFailure(name)) continue;
        const auto was = before.find(name);
        if (was != before.end() && was->second == bytes) continue;
        // The converted engine input takes its name only when complete.
        if (name == "Matchfile1.txt" && clean.count(name) != 0 && clean.at(name) == bytes) continue;
        ADD_FAILURE() << "new or changed after a failed run: " << name;
      }
      const Result rerun = Run("veldrona-match", args);
      EXPECT_EQ(rerun.code, 0) << rerun.out << rerun.err;
      for (const auto& [name, bytes] : clean) {
        EXPECT_EQ(testing::ReadFile(folder + "/" + name), bytes) << name;
      }
      if (::testing::Test::HasFailure()) return failures;
    }
    ADD_FAILURE() << "no run without a fault";
    return failures;
  }

  std::map<std::string, std::string> Outputs(const std::string& folder,
                                             std::vector<std::string> extra = {}) {
    std::map<std::string, std::string> out;
    for (const char* name : kComparedOutputs) out[name] = testing::ReadFile(folder + "/" + name);
    for (const std::string& name : extra) out[name] = testing::ReadFile(folder + "/" + name);
    return out;
  }

  testing::TempDir dir_, scratch_;
  std::string bin_;
};

TEST_F(VeldronaMatchRobustTest, EveryFileFaultOfAParameterSetRunFailsCleanly) {
  const std::string folder = Folder("lauf");
  const std::string input = folder + "/Matchfile1.txt";
  testing::WriteFile(input, PersonRecords());
  const std::string par = Set(folder);
  const std::vector<std::string> args = {"--quiet", par};
  const Result clean = Run("veldrona-match", args);
  ASSERT_EQ(clean.code, 0) << clean.out << clean.err;
  const auto outputs = Outputs(folder);
  ASSERT_FALSE(outputs.at("privat.dup").empty());
  for (const char* variable : {"VELDRONA_FAIL_WRITE", "VELDRONA_FAIL_READ"}) {
    EXPECT_GE(EveryFaultFailsCleanly(variable, folder, args, outputs, {input, par}), 2) << variable;
  }
}

TEST_F(VeldronaMatchRobustTest, EveryFileFaultOfARunFromACsvSourceFailsCleanly) {
  const std::string folder = Folder("quelle");
  const std::string source = dir_.File("personen.csv");
  testing::WriteFile(source, PersonCsv());
  const std::string result = folder + "/ergebnis.csv";
  const std::vector<std::string> args = {
      "--quiet",  "--params",     bin_ + "/Params/Privatadressen.par",
      "--source", source,         "--out",
      folder,     "--result-csv", result};
  const Result clean = Run("veldrona-match", args);
  ASSERT_EQ(clean.code, 0) << clean.out << clean.err;
  const auto outputs = Outputs(folder, {"ergebnis.csv", "Matchfile1.txt"});
  for (const char* variable : {"VELDRONA_FAIL_WRITE", "VELDRONA_FAIL_READ"}) {
    EXPECT_GE(EveryFaultFailsCleanly(variable, folder, args, outputs, {source}), 2) << variable;
  }
}

TEST_F(VeldronaMatchRobustTest, AFullDiskEndsTheRunWithTheGermanMessage) {
  const std::string folder = Folder("voll");
  testing::WriteFile(folder + "/Matchfile1.txt", PersonRecords());
  const std::string par = Set(folder);
  const std::string source = dir_.File("personen.csv");
  testing::WriteFile(source, PersonCsv());
  const std::vector<std::string> forms[] = {
      {"--quiet", par},
      {"--quiet", "--params", bin_ + "/Params/Privatadressen.par", "--source", source, "--out",
       folder + "/quelle", "--result-csv", folder + "/quelle/ergebnis.csv"},
  };
  for (const auto& args : forms) {
    // Every limit lies below the size the run's files reach.
    for (const std::int64_t bytes : {0, 1, 100, 1000}) {
      SCOPED_TRACE(args[1] + ", " + std::to_string(bytes) + " B");
      // The disk of the fault injection, then a real limit of the file size.
      for (const bool real : {false, true}) {
        SCOPED_TRACE(real ? "RLIMIT_FSIZE" : "VELDRONA_DISK_FULL_AFTER");
        RunOptions options;
        if (real) {
          options.fileSizeLimit = bytes;
        } else {
          options.environment = {{"VELDRONA_DISK_FULL_AFTER", std::to_string(bytes)}};
        }
        const Result r = Run("veldrona-match", args, options);
        EXPECT_EQ(r.code, 3) << r.out << r.err;
        EXPECT_EQ(r.err.rfind("Fehler: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        const char* reason =
            real ? "die Datei wird zu groß." : "kein Platz mehr auf dem Datenträger.";
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        for (const char* output : kComparedOutputs) {
          EXPECT_FALSE(fs::exists(folder + "/" + output)) << output;
        }
        EXPECT_FALSE(fs::exists(folder + "/quelle/ergebnis.csv"));
      }
    }
  }
}

// ---- hostile CSV sources --------------------------------------------------------------------

// Rows of a result CSV (";" separated, values in quotes may hold separators, doubled quotes and
// line breaks), without the byte-order mark.
std::vector<std::vector<std::string>> ParseResultCsv(std::string text) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string cell;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ';') {
      row.push_back(cell);
      cell.clear();
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      row.push_back(cell);
      rows.push_back(row);
      row.clear();
      cell.clear();
    } else {
      cell += c;
      any = true;
    }
  }
  (void)any;
  if (!row.empty() || !cell.empty()) {
    row.push_back(cell);
    rows.push_back(row);
  }
  return rows;
}

TEST_F(VeldronaMatchRobustTest, HostileCsvSourcesGiveTheirRowsOrAGermanMessageWithFileAndLine) {
  // A run needs two records at least: every case has a plain row besides its hostile one.
  const std::string header = "Vorname;Nachname;Strasse;PLZ;Ort\n";
  const std::string plain = "Eva;Koch;Am Markt 3;50667;Köln\n";
  const std::vector<std::string> plainValues = {"Eva", "Koch", "Am Markt 3", "50667", "Köln"};
  const std::string megabyte(1 << 20, 'x');
  std::string wideHeader = "Vorname;Nachname;Strasse;PLZ;Ort",
              wideRow = "Eva;Koch;Am Markt 3;50667;Köln";
  for (int i = 5; i < 10000; ++i) {
    wideHeader += ";k" + std::to_string(i);
    wideRow += ";v" + std::to_string(i);
  }
  using Rows = std::vector<std::vector<std::string>>;
  struct Case {
    const char* what;
    std::string bytes;
    Rows rows;          // the values of the rows in the result
    std::string error;  // the message after "Fehler: " (%s: the source's full name)
  };
  const Case cases[] = {
      {"separator in quotes",
       header + "Hans;\"Meier; Schulze\";Hauptstraße 1;10115;Berlin\n" + plain,
       {{"Hans", "Meier; Schulze", "Hauptstraße 1", "10115", "Berlin"}, plainValues},
       ""},
      {"quotes in quotes",
       header + "Hans;\"Meier \"\"der Ältere\"\"\";Hauptstraße 1;10115;Berlin\n" + plain,
       {{"Hans", "Meier \"der Ältere\"", "Hauptstraße 1", "10115", "Berlin"}, plainValues},
       ""},
      {"line break in quotes",
       header + "Hans;Meier;\"Hauptstraße 1\r\nHinterhaus\";10115;Berlin\r\nEva;Koch;Am Markt "
                "3;50667;Köln\n",
       {{"Hans", "Meier", "Hauptstraße 1\r\nHinterhaus", "10115", "Berlin"},
        {"Eva", "Koch", "Am Markt 3", "50667", "Köln"}},
       ""},
      {"no final line break",
       header + plain + "Hans;Meier;Hauptstraße 1;10115;Berlin",
       {plainValues, {"Hans", "Meier", "Hauptstraße 1", "10115", "Berlin"}},
       ""},
      {"byte-order mark",
       "\xEF\xBB\xBF" + header + "Jürgen;Müller;Lindenallee 12;80331;München\n" + plain,
       {{"Jürgen", "Müller", "Lindenallee 12", "80331", "München"}, plainValues},
       ""},
      {"Windows-1252 without a mark",
       header + "J\xFCrgen;M\xFCller;Lindenallee 12;80331;M\xFCnchen\nEva;Koch;Am Markt "
                "3;50667;K\xF6ln\n",
       {{"Jürgen", "Müller", "Lindenallee 12", "80331", "München"}, plainValues},
       ""},
      {"line of one megabyte",
       header + "Hans;" + megabyte + ";Hauptstraße 1;10115;Berlin\n" + plain,
       {{"Hans", megabyte, "Hauptstraße 1", "10115", "Berlin"}, plainValues},
       ""},
      {"ten thousand columns", wideHeader + "\n" + wideRow + "\n" + wideRow + "\n", {}, ""},
      {"zero byte",
       header + "Hans;Meier;Hauptstraße 1;10115;Berlin\n" + std::string("Eva;Ko\0ch;x;1;y\n", 16),
       {},
       "Die Datei \"%s\" enthält in Zeile 3 ein Nullbyte; sie ist keine Textdatei."},
      {"invalid UTF-8 after a byte-order mark",
       "\xEF\xBB\xBF" + header +
           "Hans;Meier;Hauptstraße 1;10115;Berlin\nEva;K\xF6"
           "ch;x;1;y\n",
       {},
       "Die Datei \"%s\" ist in Zeile 3 nicht gültig in UTF-8 kodiert."},
      {"quote never closed",
       header + "Hans;\"Meier;Hauptstraße 1;10115;Berlin\n" + plain,
       {},
       "%s ist keine gültige CSV-Datei: das Anführungszeichen des Datensatzes in Zeile 2 wird "
       "nicht geschlossen."},
      {"too few values",
       header + "Hans;Meier;Hauptstraße 1;10115\n" + plain,
       {},
       "%s ist keine gültige CSV-Datei: Zeile 2 hat 4 Felder, erwartet werden 5."},
      {"empty file", "", {}, "Die Datei \"%s\" ist leer."},
      {"header only",
       header,
       {},
       "Die Datei \"%s\" enthält nur die Kopfzeile und keine Datensätze."},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = Folder("feindlich" + std::to_string(++number));
    const std::string source = folder + "/quelle.csv";
    testing::WriteFile(source, c.bytes);
    const std::string result = folder + "/ergebnis.csv";
    const Result r = Run("veldrona-match",
                         {"--quiet", "--params", bin_ + "/Params/Privatadressen.par", "--source",
                          source, "--out", folder + "/aus", "--result-csv", result});
    EXPECT_EQ(testing::ReadFile(source), c.bytes) << "the source is never changed";
    if (!c.error.empty()) {
      std::string message = c.error;
      message.replace(message.find("%s"), 2, source);
      EXPECT_EQ(r.code, 3);
      EXPECT_EQ(r.err, "Fehler: " + message + "\n");
      EXPECT_FALSE(fs::exists(result));
      EXPECT_FALSE(fs::exists(folder + "/aus/Matchfile1.txt"));
      continue;
    }
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const Rows rows = ParseResultCsv(testing::ReadFile(result));
    if (c.rows.empty()) {  // ten thousand columns
      ASSERT_EQ(rows.size(), 3u);
      ASSERT_EQ(rows[1].size(), 10000u + 5u);
      EXPECT_EQ(rows[1][5 + 9999], "v9999");
      EXPECT_EQ(rows[1][6], "Koch");
      continue;
    }
    ASSERT_EQ(rows.size(), c.rows.size() + 1);
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
      ASSERT_GE(rows[i + 1].size(), 5u);
      EXPECT_EQ(rows[i + 1][1], std::to_string(i + 1));
      EXPECT_EQ(std::vector<std::string>(rows[i + 1].begin() + 5, rows[i + 1].end()), c.rows[i]);
    }
  }
}

// ---- names and paths ------------------------------------------------------------------------

TEST_F(VeldronaMatchRobustTest, AnOutputNameWithAPathIsAParameterErrorAndNothingIsWritten) {
  const std::string folder = Folder("namen");
  const std::string elsewhere = Folder("anderswo");
  testing::WriteFile(folder + "/Matchfile1.txt", PersonRecords());
  const std::string par = Set(folder);
  const std::string names[] = {"../weg",  elsewhere + "/weg", "~" + elsewhere + "/weg",
                               "sub/weg", "sub\\weg",         "..",
                               "~A~weg"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Run("veldrona-params", {"set", par, "Ausgabedateien.Name=" + name}).code, 0);
    const auto before = Snapshot(folder);
    const Result r = Run("veldrona-match", {par});
    EXPECT_EQ(r.code, 2) << r.out << r.err;
    EXPECT_NE(r.out.find("! Ausgabedateien.Name, \"" + name +
                         "\": Der Name der Ausgabedateien darf keinen Pfad enthalten; sie liegen "
                         "im Ausgabepfad."),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Snapshot(folder), before);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_FALSE(fs::exists(dir_.File("weg.out")));
  }
  // A file name of its own with ".." is refused by the check of the names.
  ASSERT_EQ(Run("veldrona-params", {"set", par, "Ausgabedateien.Name=privat",
                                    "Ausgabedateien.Dublettenliste=../weg.lst"})
                .code,
            0);
  const Result r = Run("veldrona-match", {par});
  EXPECT_EQ(r.code, 2) << r.out << r.err;
  EXPECT_NE(r.out.find("\"../weg.lst\": '..' ist in Namen unzulässig."), std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(dir_.File("weg.lst")));
}

TEST_F(VeldronaMatchRobustTest, NamesWithBlanksUmlautsAndLeadingDashesWork) {
  const std::string folder = Folder("Läufe mit Leerzeichen");
  testing::WriteFile(folder + "/Matchfile1.txt", PersonRecords());
  Set(folder, "-privat satz.par");
  RunOptions inFolder;
  inFolder.folder = folder;
  // A parameter set whose name begins with a dash, given after "--".
  const Result first = Run("veldrona-match", {"--quiet", "--", "-privat satz.par"}, inFolder);
  EXPECT_EQ(first.code, 0) << first.out << first.err;
  EXPECT_FALSE(testing::ReadFile(folder + "/privat.dup").empty());

  // A source, an output folder and a result CSV with blanks, umlauts and leading dashes.
  testing::WriteFile(folder + "/-x ä.csv", PersonCsv());
  const Result second = Run("veldrona-match",
                            {"--quiet", "--params", bin_ + "/Params/Privatadressen.par", "--source",
                             "-x ä.csv", "--out", "-Ausgabe öü", "--result-csv", "-Ergebnis ß.csv"},
                            inFolder);
  ASSERT_EQ(second.code, 0) << second.out << second.err;
  const auto rows = ParseResultCsv(testing::ReadFile(folder + "/-Ergebnis ß.csv"));
  ASSERT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows[4][6], "Müller");
  EXPECT_FALSE(testing::ReadFile(folder + "/-Ausgabe öü/privat.dup").empty());
  EXPECT_TRUE(fs::exists(folder + "/-Ausgabe öü/Matchfile1.txt"));
}

TEST_F(VeldronaMatchRobustTest, AFailedRunKeepsTheCompleteOutputsOfTheRunBefore) {
  const std::string folder = Folder("vorher");
  testing::WriteFile(folder + "/Matchfile1.txt", PersonRecords());
  const std::string par = Set(folder);
  ASSERT_EQ(Run("veldrona-match", {"--quiet", par}).code, 0);
  const auto before = Snapshot(folder);
  // Other input: a failing run must not mix its outputs with the earlier ones.
  testing::WriteFile(folder + "/Matchfile1.txt", PersonRecords() + PersonRecords());
  const Result r =
      Run("veldrona-match", {"--quiet", par}, WithVariable("VELDRONA_DISK_FULL_AFTER", "3000"));
  EXPECT_EQ(r.code, 3) << r.out << r.err;
  for (const char* output : kComparedOutputs)
    EXPECT_EQ(testing::ReadFile(folder + "/" + output), before.at(output)) << output;
  EXPECT_EQ(testing::ReadFile(folder + "/privat.mpr"), before.at("privat.mpr"));
  for (const auto& e : fs::directory_iterator(folder)) {
    EXPECT_EQ(e.path().string().find(".unfertig"), std::string::npos) << e.path();
  }
}

TEST_F(VeldronaMatchRobustTest, StepwiseRunsKeepTheirTemporaryFileAndWriteTheOutputsOnlyAtTheEnd) {
  const std::string folder = Folder("stufen");
  testing::WriteFile(folder + "/Matchfile1.txt", PersonRecords());
  const std::string par = Set(folder);
  const Result first = Run("veldrona-match", {"--quiet", "--stepwise", par});
  EXPECT_EQ(first.code, 1) << first.out << first.err;
  EXPECT_TRUE(fs::exists(folder + "/privat2.tmp"));
  for (const char* output : kComparedOutputs)
    EXPECT_FALSE(fs::exists(folder + "/" + output)) << output;
  // A failing matching step keeps the sorted file for the next start.
  const Result failed = Run("veldrona-match", {"--quiet", "--stepwise", par},
                            WithVariable("VELDRONA_DISK_FULL_AFTER", "0"));
  EXPECT_EQ(failed.code, 3) << failed.out << failed.err;
  EXPECT_TRUE(fs::exists(folder + "/privat2.tmp"));
  for (const char* output : kComparedOutputs)
    EXPECT_FALSE(fs::exists(folder + "/" + output)) << output;
  const Result second = Run("veldrona-match", {"--quiet", "--stepwise", par});
  EXPECT_EQ(second.code, 0) << second.out << second.err;
  EXPECT_FALSE(testing::ReadFile(folder + "/privat.dup").empty());
}

TEST_F(VeldronaMatchRobustTest, ASortedOutputWithoutRecordsReplacesAnOlderOneWithAnEmptyFile) {
  const std::string folder = Folder("sortiert");
  // Two equal persons: one single (the head), one duplicate, no multiple record.
  const std::string person = Field("Hans", 25) + Field("Meier", 30) + Field("Hauptstr. 1", 35) +
                             Field("10115", 5) + Field("Berlin", 30) + "\r\n";
  testing::WriteFile(folder + "/Matchfile1.txt", person + person);
  const std::string par = Set(folder);
  ASSERT_EQ(Run("veldrona-params", {"set", par, "Schaltwerk.Ausgabe sortieren=Ja",
                                    "Satzaufbau.Sortierschlüssel Ausgabe [1].Position=26",
                                    "Satzaufbau.Sortierschlüssel Ausgabe [1].Länge=30"})
                .code,
            0);
  testing::WriteFile(folder + "/privat.mlt", "von einem früheren Lauf");
  const Result r = Run("veldrona-match", {"--quiet", par});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "Single: 1, Multi: 0, Dubletten: 1\n");
  EXPECT_TRUE(fs::exists(folder + "/privat.mlt"));
  EXPECT_EQ(testing::ReadFile(folder + "/privat.mlt"), "");
  EXPECT_EQ(testing::ReadFile(folder + "/privat.out"), person);
}

}  // namespace
}  // namespace vld
