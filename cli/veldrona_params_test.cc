// Runs the built veldrona-params (found through VELDRONA_BIN) end to end.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "params/match_schema.h"
#include "params/param_file.h"
#include "params/param_path.h"

namespace vld {
namespace {

struct Result {
  int code = -1;
  std::string out, err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

class VeldronaParamsTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("VELDRONA_BIN");
    ASSERT_NE(bin, nullptr) << "VELDRONA_BIN is not set";
    program_ = std::string(bin) + "/veldrona-params";
    char pattern[] = "/tmp/veldrona-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    schema_ = BuildMatchParamSchema();
  }
  void TearDown() override { std::system(("rm -rf " + Quote(dir_)).c_str()); }

  Result Run(const std::vector<std::string>& args) {
    std::string command = Quote(program_);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote(dir_ + "/out") + " 2>" + Quote(dir_ + "/err");
    const int status = std::system(command.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(dir_ + "/out");
    r.err = ReadFile(dir_ + "/err");
    return r;
  }
  std::string File(const char* name) { return dir_ + "/" + name; }
  TParamSet Load(const std::string& path) { return LoadParamFile(path, *schema_, false); }
  std::string Text(TParamSet& set, std::string_view path) {
    const TParamPathTarget target = ResolveParamPath(*set.root, path);
    return target.discriminant_of ? target.discriminant_of->DiscriminantName()
                                  : target.value->AsText(1);
  }

  std::string program_, dir_;
  TParamTypeRef<const TParamTTRecord> schema_;
};

TEST_F(VeldronaParamsTest, NewWritesTheDefaultSet) {
  const Result r = Run({"new", "-o", File("a.PAR")});
  ASSERT_EQ(r.code, 0) << r.err;
  TParamSet defaults;
  defaults.root.reset(static_cast<TParamTVRecord*>(schema_->NewValue().release()));
  EXPECT_EQ(ReadFile(File("a.PAR")), ParamSetBytes(defaults));
}

TEST_F(VeldronaParamsTest, ShowPrintsTheTreeWithMarks) {
  ASSERT_EQ(Run({"new", "-o", File("a.PAR")}).code, 0);
  ASSERT_EQ(
      Run({"set", File("a.PAR"), "Beschreibung=erste\r\nzweite", "Ausgabedateien.Name=Müller"})
          .code,
      0);
  const Result r = Run({"show", File("a.PAR")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find("\n\n") + 2),
            "Parametersatz \"" + File("a.PAR") +
                "\" (Anzeige: alle; verborgen unter Stufe 1, bearbeitbar ab Stufe 1)\n"
                "Zeichen: + neu, * geändert\n\n");
  for (const char* line :
       {"\n+ Beschreibung: erste\n                zweite\n", "\n+ Schaltwerk\n",
        "\n+   Sprache: Deutsch\n", "\n+   Name: Müller\n", "\n+     [7]  Intra-Dubletten\n",
        "\n+       Spaltenart: Systemspalte\n"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line;
  }
  EXPECT_NE(ReadFile(File("a.PAR")).find("M\xfcller"), std::string::npos);  // Windows-1252
  const Result paths = Run({"show", File("a.PAR"), "--pfade", "--stufe", "minimal"});
  ASSERT_EQ(paths.code, 0) << paths.err;
  EXPECT_NE(paths.out.find("\n+ Ausgabedateien.Name = Müller\n"), std::string::npos);
  EXPECT_EQ(paths.out.find("Schwellenwert"), std::string::npos);  // level 1 is hidden
}

TEST_F(VeldronaParamsTest, SetChangesValuesByPath) {
  ASSERT_EQ(Run({"new", "-o", File("a.PAR")}).code, 0);
  const std::string before = ReadFile(File("a.PAR"));
  const Result r =
      Run({"set", File("a.PAR"), "Kriterien.Slots[1].Art des Slots=Name",
           "Kriterien.Slots [1].Komponenten[2].Wort-Hürde=5",
           "Eingabedateien [1].Name=~e~kunden.txt", "Listendarstellung.Max. Namenslänge=$1e",
           "Satzaufbau.Bewertungssteuerung.Verketter=#9", "-o", File("b.PAR")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadFile(File("a.PAR")), before);  // -o leaves the input alone
  TParamSet set = Load(File("b.PAR"));
  EXPECT_EQ(Text(set, "Kriterien.Slots [1].Art des Slots"), "Name");
  EXPECT_EQ(Text(set, "Kriterien.Slots [1].Nachname.Wort-Hürde"), "5");
  EXPECT_EQ(Text(set, "Eingabedateien [1].Name"), "~e~kunden.txt");
  EXPECT_EQ(Text(set, "Listendarstellung.Max. Namenslänge"), "30");
  EXPECT_EQ(Text(set, "Satzaufbau.Bewertungssteuerung.Verketter"), "#9");
  ASSERT_EQ(Run({"set", File("b.PAR"), "Kriterien.Schwellenwert=250"}).code, 0);  // in place
  TParamSet again = Load(File("b.PAR"));
  EXPECT_EQ(Text(again, "Kriterien.Schwellenwert"), "250");
}

TEST_F(VeldronaParamsTest, RefusedValuesChangeNothing) {
  ASSERT_EQ(Run({"new", "-o", File("a.PAR")}).code, 0);
  const std::string before = ReadFile(File("a.PAR"));
  struct Case {
    std::string assignment, message;
  } cases[] = {
      {"Kriterien.Schwellenwert=0", "Fehler: Kriterien.Schwellenwert: Unzulässiger Wert.\n"},
      {"Ausgabedateien.Name=Ődön", "Fehler: Ausgabedateien.Name: Unzulässiger Wert.\n"},
      {"Listendarstellung.Job-Text=it's",
       "Fehler: Listendarstellung.Job-Text: Ungültige Zeichenketten-Darstellung.\n"},
      {"Pfade.Eingabepfad=relativ", "Fehler: Pfade.Eingabepfad: Unzulässiger Wert.\n"},
      {"Kriterien.Schwelle=1", "Fehler: Den Parameter \"Kriterien.Schwelle\" gibt es nicht.\n"},
      {"Kriterien=1", "Fehler: Kriterien: Der Parameter ist kein einzelner Wert.\n"},
      {"Kriterien.Slots [1].Komponente.Bonus 2 (replizierend)=3",
       "Fehler: Kriterien.Slots [1].Komponente.Bonus 2 (replizierend): Der Parameter kann in "
       "diesem Parametersatz nicht bearbeitet werden.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.assignment);
    const Result r = Run({"set", File("a.PAR"), "Kriterien.Schwellenwert=99", c.assignment});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, c.message);
    EXPECT_EQ(ReadFile(File("a.PAR")), before);
  }
}

TEST_F(VeldronaParamsTest, WrongCallsExitWith64) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"zeige"},
                                             {"show"},
                                             {"show", "a", "b"},
                                             {"set", "a.PAR"},
                                             {"set", "a.PAR", "x"},
                                             {"new"},
                                             {"show", "a.PAR", "--stufe", "9"},
                                             {"new", "-o"},
                                             {"schema", "--verbergen"},
                                             {"show", "a.PAR", "-o", "b"}}) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    SCOPED_TRACE(joined);
    const Result r = Run(args);
    EXPECT_EQ(r.code, 64);
    EXPECT_EQ(r.err.rfind("Fehler: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("Aufruf:"), std::string::npos);
  }
  EXPECT_EQ(Run({"--help"}).code, 0);
}

TEST_F(VeldronaParamsTest, DamagedOrMissingFilesGiveAClearMessage) {
  ASSERT_EQ(Run({"new", "-o", File("a.PAR")}).code, 0);
  const std::string bytes = ReadFile(File("a.PAR"));
  std::ofstream(File("cut.PAR"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  Result r = Run({"show", File("cut.PAR")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "Fehler: Fehler beim Einlesen der Parameter aus Datei\n\"" + File("cut.PAR") +
                       "\":\nDatei ist beschädigt\n");
  r = Run({"set", File("fehlt.PAR"), "Kriterien.Schwellenwert=5"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "Fehler: Die Datei \"" + File("fehlt.PAR") + "\" gibt es nicht.\n");
}

TEST_F(VeldronaParamsTest, SchemaPrintsAndWritesSchemas) {
  Result r = Run({"schema"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Root: Root (Stufe 4)");
  EXPECT_NE(r.out.find("\n    Schwellenwert: Integer (1,50000), Vorgabe 100 (Stufe 1)\n"),
            std::string::npos);

  ASSERT_EQ(Run({"schema", "-o", File("s.PMS"), "--stufe", "einfach", "--verbergen"}).code, 0);
  const std::string pms = ReadFile(File("s.PMS"));
  EXPECT_EQ(pms[36], 2);  // HideLevel 3
  EXPECT_EQ(pms[37], 2);  // EditLevel 3
  r = Run({"show", File("s.PMS")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("(Anzeige: einfach;"), std::string::npos);
  EXPECT_NE(r.out.find("\n  Schaltwerk\n"), std::string::npos);  // committed: no mark
  EXPECT_EQ(r.out.find("Justierung"), std::string::npos);        // level 2 is hidden

  // A set named after the schema keeps its levels, and refuses what the schema locks.
  ASSERT_EQ(Run({"new", "-o", File("c.PAR"), "--schema", File("s.PMS")}).code, 0);
  r = Run({"set", File("c.PAR"), "Kriterien.Schwellenwert=50"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err,
            "Fehler: Kriterien.Schwellenwert: Der Parameter kann in diesem Parametersatz nicht "
            "bearbeitet werden.\n");
  ASSERT_EQ(Run({"set", File("c.PAR"), "Pfade.Eingabepfad=/daten"}).code, 0);
  r = Run({"show", File("c.PAR"), "--pfade"});
  EXPECT_NE(r.out.find("\n* Pfade.Eingabepfad = /daten\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n  Pfade.Ausgabepfad = \n"), std::string::npos);
}

}  // namespace
}  // namespace vld
