// The command line of veldrona-tables (this build's program in $VELDRONA_BIN).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "matching/table_test_util.h"
#include "tools/tables/product_tables.h"

namespace vld::tables {
namespace {

using testing::BinFolder;
using testing::TablesFolder;
using vld::testing::TempFolder;

struct Outcome {
  int exit_code = -1;
  std::string out, err;
};

std::string Quoted(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Outcome RunTool(const std::vector<std::string>& args) {
  TempFolder folder;
  std::string command = Quoted(BinFolder() + "/veldrona-tables");
  for (const std::string& a : args) command += " " + Quoted(a);
  command += " >" + Quoted(folder.File("out")) + " 2>" + Quoted(folder.File("err"));
  const int status = std::system(command.c_str());
  Outcome o;
  o.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.out = ReadAll(folder.File("out"));
  o.err = ReadAll(folder.File("err"));
  return o;
}

TEST(TablesToolTest, NormalizePrintsOneLinePerTextAsUtf8) {
  const Outcome o =
      RunTool({"normalize", TablesFolder() + "/PHONETIC.MAP", "Meier", "Müller-Lüdenscheidt", ""});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.out, "mær\nmuler\"lutenσæt\n\n");
  EXPECT_EQ(o.err, "");
}

TEST(TablesToolTest, PlzPrintsEachRepresentativeWithAllDigits) {
  const Outcome o = RunTool({"plz", TablesFolder() + "/GERMANY5.PLZ", "14199", "10115", "0"});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.out, "10115\n10115\n01067\n");
}

TEST(TablesToolTest, ErrorsAreGermanOnStandardErrorWithNonZeroExit) {
  TempFolder folder;
  const std::string missing = folder.File("FEHLT.MAP");
  const std::string rules = folder.Write("kaputt.rules", {'s', 't', 'a', 't', 'e', ' ', 'x', '\n'});
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{},
       "Fehler: Aufruf: veldrona-tables compile REGELDATEI AUSGABE | build-plz CSV STELLEN "
       "AUSGABE | normalize TABELLE TEXT... | plz ABBILDUNG PLZ...\n"},
      {{"normalize", missing, "x"}, "Fehler: Die Datei \"" + missing + "\" gibt es nicht.\n"},
      {{"normalize", TablesFolder() + "/GERMANY5.PLZ", "x"},
       "Fehler: Die Datei \"" + TablesFolder() +
           "/GERMANY5.PLZ\" ist keine Veldrona-Normtabelle.\n"},
      {{"plz", TablesFolder() + "/GERMANY5.PLZ", "12a45"},
       "Fehler: \"12a45\" ist keine Postleitzahl mit höchstens 5 Ziffern.\n"},
      {{"plz", TablesFolder() + "/GERMANY3.PLZ", "1011"},
       "Fehler: \"1011\" ist keine Postleitzahl mit höchstens 3 Ziffern.\n"},
      {{"compile", rules, folder.File("X.MAP")},
       "Fehler: " + rules + ", Zeile 1: Die Zeile braucht die Form \"state NAME ZEICHEN\".\n"},
  };
  for (const Case& c : cases) {
    const Outcome o = RunTool(c.args);
    EXPECT_EQ(o.exit_code, 1);
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(o.out, "");
  }
}

TEST(TablesToolTest, CompiledShippedRulesEqualTheBuiltTable) {
  TempFolder folder;
  const Outcome o =
      RunTool({"compile", testing::TablesSourceFolder() + "/phonetic.rules", folder.File("P.MAP")});
  ASSERT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(ReadAll(folder.File("P.MAP")), ReadAll(TablesFolder() + "/PHONETIC.MAP"));
}

}  // namespace
}  // namespace vld::tables
