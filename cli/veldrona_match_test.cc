// Runs the built veldrona-match (found through VELDRONA_BIN) end to end on small German address
// files with known duplicates, with the shipped parameter sets adapted by veldrona-params.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "matching/match_document.h"
#include "platform/codepage.h"
#include "platform/test_support.h"

namespace vld {
namespace {

struct Result {
  int code = -1;
  std::string out, err;
};

std::string Quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Field(const std::string& utf8, std::size_t n) {
  std::string s = ToCp437(utf8, CodePage::kUtf8);
  s.resize(n, ' ');
  return s;
}

// Persons in the layout of Privatadressen: first name 1..25, last name 26..55, street 56..90,
// PLZ 91..95, city 96..125, CR LF. Every third person appears again in a variant spelling.
std::vector<std::string> Persons(int count, unsigned seed) {
  std::mt19937 rng(seed);
  const char* firsts[] = {"Hans", "Anna", "Peter", "Maria", "Jürgen", "Eva", "Otto", "Ute",
                          "Klaus", "Sabine", "Günter", "Petra"};
  const char* lasts[] = {"Meier", "Schulz", "Bauer", "Koch", "Wagner", "Becker", "Hoffmann",
                         "Schmidt", "Fischer", "Müller", "Weber", "Schäfer", "Richter"};
  const char* streets[] = {"Hauptstraße", "Bahnhofstraße", "Gartenweg", "Lindenallee",
                           "Schulstraße", "Am Markt"};
  const char* places[][2] = {{"10115", "Berlin"}, {"20095", "Hamburg"}, {"80331", "München"},
                             {"50667", "Köln"}};
  std::vector<std::string> out;
  // Persons the set rightly takes for one are not drawn: one last name and initial in one
  // street of one place ("P. Meier" is Peter and Petra; a house number alone does not part
  // them), or one initial at one address (a changed last name).
  std::set<std::string> taken;
  for (int i = 0; i < count; ++i) {
    std::string first, last, street;
    const char* const* place = nullptr;
    for (;;) {
      first = firsts[rng() % 12];
      last = lasts[rng() % 13];
      const std::string streetName = streets[rng() % 6];
      street = streetName + " " + std::to_string(1 + rng() % 90);
      place = places[rng() % 4];
      const std::string initial = first.substr(0, 1), at = std::string("|") + place[0];
      if (taken.count(initial + "|" + last + "|" + streetName + at) == 0 &&
          taken.count(initial + "|" + street + at) == 0) {
        taken.insert(initial + "|" + last + "|" + streetName + at);
        taken.insert(initial + "|" + street + at);
        break;
      }
    }
    auto record = [&](const std::string& f, const std::string& l, const std::string& s) {
      return Field(f, 25) + Field(l, 30) + Field(s, 35) + Field(place[0], 5) +
             Field(place[1], 30) + "\r\n";
    };
    out.push_back(record(first, last, street));
    if (i % 3 == 0) {
      std::string v = street;
      if (const auto at = v.find("straße"); at != std::string::npos) v.replace(at, 7, "str.");
      out.push_back(record(rng() % 2 ? first.substr(0, 1) + "." : first, last, v));
    }
  }
  std::shuffle(out.begin(), out.end(), rng);
  return out;
}

class VeldronaMatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("VELDRONA_BIN");
    ASSERT_NE(bin, nullptr) << "VELDRONA_BIN is not set";
    bin_ = bin;
  }

  Result Run(const std::string& program, const std::vector<std::string>& args,
             const std::string& environment = "") {
    std::string command = environment + " " + Quote(bin_ + "/" + program);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote(dir_.File("stdout")) + " 2>" + Quote(dir_.File("stderr"));
    const int status = std::system(command.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = testing::ReadFile(dir_.File("stdout"));
    r.err = testing::ReadFile(dir_.File("stderr"));
    return r;
  }

  // The shipped set copied into the test folder, paths set to it.
  std::string Set(const std::string& name) {
    const std::string par = dir_.File(name + ".par");
    testing::WriteFile(par, testing::ReadFile(bin_ + "/Params/" + name + ".par"));
    const std::string folder = dir_.path().string() + "/";
    EXPECT_EQ(Run("veldrona-params", {"set", par, "Pfade.Eingabepfad=" + folder,
                                      "Pfade.Ausgabepfad=" + folder,
                                      "Pfade.Tabellenpfad=" + bin_ + "/Tables/"})
                  .code,
              0);
    return par;
  }

  std::int64_t Records(const std::string& file, std::size_t length) {
    return static_cast<std::int64_t>(testing::ReadFile(dir_.File(file)).size() / length);
  }

  testing::TempDir dir_;
  std::string bin_;
};

TEST_F(VeldronaMatchTest, PrivateAddressesEveryRecordLeavesOnceAndAllOutputsAreWritten) {
  const std::vector<std::string> input = Persons(240, 1);
  std::string all;
  for (const std::string& r : input) all += r;
  testing::WriteFile(dir_.File("Matchfile1.txt"), all);
  const Result r = Run("veldrona-match", {"--quiet", Set("Privatadressen")});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  const std::int64_t n = static_cast<std::int64_t>(input.size());
  const std::int64_t singles = Records("privat.out", 127), multis = Records("privat.mlt", 127),
                     duplicates = Records("privat.dup", 127);
  EXPECT_EQ(singles + multis + duplicates, n);
  // 80 persons appear twice: most of their variants are found.
  EXPECT_GE(duplicates, 70);
  EXPECT_LE(duplicates, 80);
  EXPECT_NE(r.out.find("Single: " + std::to_string(singles)), std::string::npos);
  const std::string list = testing::ReadFile(dir_.File("privat.lst"));
  EXPECT_EQ(list.size() % 131, 0u) << "list lines of 6 + 125 bytes";
  EXPECT_NE(ToUtf8(testing::ReadFile(dir_.File("privat.dat")), CodePage::k437).find("Netto-Anteil"),
            std::string::npos);
  TMatchDocument document;
  document.Load(dir_.File("privat.mpr"));
  EXPECT_EQ(document.TotalsRow().records, n);
  EXPECT_EQ(document.TotalsRow().duplicates, duplicates);
}

TEST_F(VeldronaMatchTest, CompanyAddressesRunOnTheirOwnLayout) {
  // Companies in a layout of their own: firm 1..40, contact 41..70, street 71..105, PLZ
  // 106..110, city 111..140, CR LF: the shipped set is adapted to it.
  std::mt19937 rng(2);
  const char* owners[] = {"Müller", "Schmidt", "Weber", "Becker", "Hoffmann", "Koch", "Fischer",
                          "Wagner", "Schäfer", "Richter"};
  const char* trades[] = {"Bau", "Elektro", "Logistik", "Druck", "Software", "Immobilien"};
  const char* forms[] = {"GmbH", "AG", "KG", "GmbH & Co. KG"};
  const char* contacts[] = {"Herr Meier", "Frau Schulz", "Herr Dr. Koch", "Frau Weber", "Herr Lang"};
  std::string all;
  int records = 0;
  for (int i = 0; i < 60; ++i) {
    // Sixty different firms, each at its own address; every second one given twice, with
    // another legal form and a contact person the first time lacks.
    const std::string firm = std::string(owners[i % 10]) + " " + trades[i / 10];
    const std::string street = "Industriestraße " + std::to_string(1 + i);
    for (int copy = 0; copy < (i % 2 ? 2 : 1); ++copy) {
      all += Field(firm + " " + forms[(rng() + copy) % 4], 40) +
             Field(copy ? contacts[i % 5] : "", 30) + Field(street, 35) + Field("70173", 5) +
             Field("Stuttgart", 30) + "\r\n";
      ++records;
    }
  }
  testing::WriteFile(dir_.File("Matchfile1.txt"), all);
  const std::string par = Set("Firmenadressen");
  ASSERT_EQ(Run("veldrona-params",
                {"set", par, "Satzaufbau.Datensatzlänge=142", "Satzaufbau.Ortsfeld.Position=111",
                 "Satzaufbau.Klassenschlüssel [1].Position=106", "Satzaufbau.Listenfelder [2].Position=41",
                 "Satzaufbau.Listenfelder [3].Position=71", "Satzaufbau.Listenfelder [4].Position=106",
                 "Satzaufbau.Listenfelder [5].Position=111",
                 "Kriterien.Slots [1].Namensfelder [2].Länge=1",
                 "Kriterien.Slots [1].Namensfelder [2].Position=40",
                 "Kriterien.Slots [1].AP Felder [1].Position=41",
                 "Kriterien.Slots [2].Felder [1].Position=71"})
                .code,
            0);
  const Result r = Run("veldrona-match", {"--quiet", par});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_EQ(Records("firmen.out", 142) + Records("firmen.mlt", 142) + Records("firmen.dup", 142),
            records);
  EXPECT_EQ(Records("firmen.dup", 142), 30) << "each firm given twice is found, whatever its legal form";
}

TEST_F(VeldronaMatchTest, ParameterErrorsPrintTheBannerAndTheErrorsButNoFertig) {
  testing::WriteFile(dir_.File("Matchfile1.txt"), Persons(10, 3)[0]);
  const std::string par = Set("Privatadressen");
  ASSERT_EQ(Run("veldrona-params", {"set", par, "Kriterien.Slots [1].Felder [1].Länge=200"}).code, 0);
  const Result r = Run("veldrona-match", {par});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.out.find("Veldrona Pro 3.6"), std::string::npos);
  EXPECT_NE(r.out.find("Programm: freier Speicher"), std::string::npos);
  EXPECT_NE(r.out.find("Fehler in den Parametern:"), std::string::npos);
  EXPECT_NE(r.out.find("Das Feld liegt nicht ganz im Datensatz."), std::string::npos);
  EXPECT_EQ(r.out.find("Fertig."), std::string::npos);
}

TEST_F(VeldronaMatchTest, StepwiseRunStopsAfterSortingAndTheNextResumes) {
  std::string all;
  for (const std::string& rec : Persons(60, 4)) all += rec;
  testing::WriteFile(dir_.File("Matchfile1.txt"), all);
  const std::string par = Set("Privatadressen");
  const Result first = Run("veldrona-match", {"--stepwise", par});
  EXPECT_EQ(first.code, 1) << first.out << first.err;
  EXPECT_NE(first.out.find("Stufenweise & keine Temporärdarei ->"), std::string::npos);
  const Result second = Run("veldrona-match", {"--stepwise", par});
  EXPECT_EQ(second.code, 0) << second.out << second.err;
  EXPECT_NE(second.out.find("Stufenweise & Temporärdarei ->"), std::string::npos);
}

TEST_F(VeldronaMatchTest, FileErrorMidTaskEndsWithTheErrorLineAndLeavesNoCompleteOutput) {
  std::string all;
  for (const std::string& rec : Persons(60, 5)) all += rec;
  testing::WriteFile(dir_.File("Matchfile1.txt"), all);
  const std::string par = Set("Privatadressen");
  const Result failed = Run("veldrona-match", {"--quiet", par}, "VELDRONA_FAIL_WRITE=3");
  EXPECT_EQ(failed.code, 3);
  EXPECT_NE(failed.err.find("Fehler: Fehler beim Schreiben der Datei"), std::string::npos) << failed.err;
  EXPECT_EQ(testing::ReadFile(dir_.File("privat.out")), "");
  EXPECT_EQ(testing::ReadFile(dir_.File("Matchfile1.txt")), all) << "the input is never changed";
  EXPECT_EQ(Run("veldrona-match", {"--quiet", par}).code, 0) << "a rerun succeeds";
}

TEST_F(VeldronaMatchTest, UsageErrorsExitWith64) {
  EXPECT_EQ(Run("veldrona-match", {}).code, 64);
  EXPECT_EQ(Run("veldrona-match", {"a.par", "--memory", "viel"}).code, 64);
}

}  // namespace
}  // namespace vld
