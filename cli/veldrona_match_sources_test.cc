// Runs the built veldrona-match on a user's own files: a generated sample of German person
// addresses (veldrona-sample, with its truth file) read as CSV in UTF-8 and Windows-1252, as
// fixed-width text and through ODBC from a SQLite table, matched with the shipped set
// "Privatadressen".
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/test_support.h"

namespace vld {
namespace {

constexpr const char* kOdbcDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
constexpr int kCount = 1500;

std::string Quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The sample has no quoted values: a row is its values between semicolons.
std::vector<std::string> SplitRow(const std::string& line) {
  std::vector<std::string> out;
  std::string cell;
  std::istringstream in(line);
  while (std::getline(in, cell, ';')) out.push_back(cell);
  if (!line.empty() && line.back() == ';') out.emplace_back();
  return out;
}

// Lines without their CR LF (or LF); a UTF-8 byte-order mark at the start is dropped.
std::vector<std::string> Lines(std::string text) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
    at = end + 1;
  }
  return out;
}

struct ResultRow {
  std::string source, row, block, group, role;
  std::vector<std::string> values;  // the input row
};

std::vector<ResultRow> ReadResult(const std::string& file) {
  std::vector<ResultRow> out;
  const std::vector<std::string> lines = Lines(testing::ReadFile(file));
  EXPECT_FALSE(lines.empty());
  if (lines.empty()) return out;
  EXPECT_EQ(lines[0].rfind("Quelle;Zeile;Block;Gruppe;Rolle;", 0), 0u) << lines[0];
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> cells = SplitRow(lines[i]);
    if (cells.size() < 5) {
      ADD_FAILURE() << "short row " << i << ": " << lines[i];
      continue;
    }
    ResultRow r{cells[0], cells[1], cells[2], cells[3], cells[4], {}};
    r.values.assign(cells.begin() + 5, cells.end());
    out.push_back(std::move(r));
  }
  return out;
}

// Record numbers (the last 10 digits before CR LF) of an engine output file.
std::set<std::int64_t> RecordNumbers(const std::string& file) {
  const std::string bytes = testing::ReadFile(file);
  std::set<std::int64_t> out;
  const std::size_t length = bytes.find("\r\n") + 2;
  if (bytes.empty() || length < 12) return out;
  EXPECT_EQ(bytes.size() % length, 0u) << file;
  for (std::size_t at = 0; at + length <= bytes.size(); at += length) {
    out.insert(std::stoll(bytes.substr(at + length - 12, 10)));
  }
  return out;
}

class VeldronaMatchSourcesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* bin = std::getenv("VELDRONA_BIN");
    ASSERT_NE(bin, nullptr) << "VELDRONA_BIN is not set";
    bin_ = new std::string(bin);
    dir_ = new testing::TempDir();
    // The SQLite driver and the driver manager's configuration library leave small blocks of
    // their own behind; the leak checker of the sanitizer build leaves them alone.
    testing::WriteFile(File("lsan.supp"), "leak:libsqlite3odbc.so\nleak:libodbcinst.so\n");
    const int code = Run("veldrona-sample", {"--anzahl", std::to_string(kCount), "--formate",
                                             "csv,csv1252,fest,sqlite,wahrheit", dir_->path()});
    ASSERT_EQ(code, 0) << testing::ReadFile(File("stderr"));
  }
  static void TearDownTestSuite() {
    delete dir_;
    delete bin_;
  }

  static std::string File(const std::string& name) { return dir_->File(name); }

  static int Run(const std::string& program, const std::vector<std::string>& args) {
    std::string command = "LSAN_OPTIONS=suppressions=" + Quote(File("lsan.supp")) + " " +
                          Quote(*bin_ + "/" + program);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote(File("stdout")) + " 2>" + Quote(File("stderr"));
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Matches one form of the sample into the folder `name`; returns the result CSV's rows.
  static std::vector<ResultRow> Match(const std::string& name, std::vector<std::string> source) {
    std::vector<std::string> args = {"--quiet", "--params", *bin_ + "/Params/Privatadressen.par"};
    args.insert(args.end(), source.begin(), source.end());
    args.insert(args.end(), {"--out", File(name), "--result-csv", File(name + ".csv")});
    const int code = Run("veldrona-match", args);
    EXPECT_EQ(code, 0) << name << ": " << testing::ReadFile(File("stdout"))
                       << testing::ReadFile(File("stderr"));
    return ReadResult(File(name + ".csv"));
  }

  static std::string* bin_;
  static testing::TempDir* dir_;
};

std::string* VeldronaMatchSourcesTest::bin_ = nullptr;
testing::TempDir* VeldronaMatchSourcesTest::dir_ = nullptr;

TEST_F(VeldronaMatchSourcesTest, EveryFormOfTheSampleGivesTheSameGroups) {
  const std::vector<ResultRow> utf8 = Match("utf8", {"--source", File("stichprobe.csv")});
  ASSERT_EQ(utf8.size(), static_cast<std::size_t>(kCount));
  const std::pair<const char*, std::vector<std::string>> forms[] = {
      {"cp1252", {"--source", File("stichprobe_1252.csv")}},
      {"fixed",
       {"--source", File("stichprobe.txt"), "--fixed", File("stichprobe.fls"), "--codepage", "437"}},
      {"odbc",
       {"--odbc", std::string("Driver=") + kOdbcDriver + ";Database=" + File("stichprobe.db"),
        "--sql", "SELECT * FROM adressen ORDER BY Nr"}},
  };
  for (const auto& [name, source] : forms) {
    SCOPED_TRACE(name);
    const std::vector<ResultRow> other = Match(name, source);
    ASSERT_EQ(other.size(), utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
      ASSERT_EQ(other[i].row, utf8[i].row) << i;
      ASSERT_EQ(other[i].block, utf8[i].block) << i;
      ASSERT_EQ(other[i].group, utf8[i].group) << i;
      ASSERT_EQ(other[i].role, utf8[i].role) << i;
      // Every form reads the same values (the fixed-width file keeps no blanks at the ends).
      ASSERT_EQ(other[i].values, utf8[i].values) << i;
    }
  }
}

// The result CSV against the input and against the engine's own output files: every input row
// once, in order and as it stands; duplicates exactly the records of the duplicates file,
// singles and group heads exactly those of the singles file; one head at most a group.
TEST_F(VeldronaMatchSourcesTest, ResultCsvAgreesWithTheInputAndTheEngineOutputs) {
  const std::vector<ResultRow> rows = Match("check", {"--source", File("stichprobe.csv")});
  const std::vector<std::string> input = Lines(testing::ReadFile(File("stichprobe.csv")));
  ASSERT_EQ(rows.size() + 1, input.size());
  std::set<std::int64_t> duplicates, others;
  std::map<std::string, int> heads;
  std::set<std::string> groups;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ResultRow& r = rows[i];
    ASSERT_EQ(r.source, "1");
    ASSERT_EQ(r.row, std::to_string(i + 1));
    ASSERT_EQ(r.values, SplitRow(input[i + 1])) << i;
    ASSERT_TRUE(r.role == "Single" || r.role == "Kopf" || r.role == "Dublette") << r.role;
    EXPECT_EQ(r.role == "Single", r.group.empty()) << i;
    (r.role == "Dublette" ? duplicates : others).insert(static_cast<std::int64_t>(i + 1));
    if (!r.group.empty()) groups.insert(r.group);
    if (r.role == "Kopf") ++heads[r.group];
  }
  EXPECT_EQ(duplicates, RecordNumbers(File("check/privat.dup")));
  EXPECT_EQ(others, RecordNumbers(File("check/privat.out")));
  EXPECT_FALSE(duplicates.empty());
  for (const auto& [group, n] : heads) EXPECT_EQ(n, 1) << "Gruppe " << group;
  // A group without a head row has a replicated record as its head, which stands in its own
  // group: there are few of them.
  EXPECT_LE(groups.size() - heads.size(), groups.size() / 20);
}

// Pairwise precision and recall against the generator's truth file. The shipped set reaches
// 0.99 and 0.95 on the 10,000-record sample; a change to matching that loses either shows here.
TEST_F(VeldronaMatchSourcesTest, ShippedPersonSetFindsTheKnownDuplicates) {
  const std::vector<ResultRow> rows = Match("quality", {"--source", File("stichprobe.csv")});
  std::map<std::string, std::string> entity;  // Nr -> Entitaet
  const std::vector<std::string> truth = Lines(testing::ReadFile(File("stichprobe_wahrheit.csv")));
  for (std::size_t i = 1; i < truth.size(); ++i) {
    const std::vector<std::string> cells = SplitRow(truth[i]);
    ASSERT_EQ(cells.size(), 2u) << truth[i];
    entity[cells[0]] = cells[1];
  }
  std::map<std::string, std::vector<std::string>> found, real;
  for (const ResultRow& r : rows) {
    const std::string& nr = r.values.at(0);
    real[entity.at(nr)].push_back(nr);
    if (!r.group.empty()) found[r.group].push_back(nr);
  }
  const auto pairs = [](const std::map<std::string, std::vector<std::string>>& groups) {
    std::set<std::pair<std::string, std::string>> out;
    for (const auto& [key, members] : groups) {
      for (std::size_t a = 0; a < members.size(); ++a) {
        for (std::size_t b = a + 1; b < members.size(); ++b) {
          out.insert(std::minmax(members[a], members[b]));
        }
      }
    }
    return out;
  };
  const auto f = pairs(found), t = pairs(real);
  ASSERT_FALSE(t.empty());
  std::size_t both = 0;
  for (const auto& p : f) both += t.count(p);
  const double precision = f.empty() ? 0 : static_cast<double>(both) / f.size();
  const double recall = static_cast<double>(both) / t.size();
  EXPECT_GE(precision, 0.98) << both << " of " << f.size() << " found pairs";
  EXPECT_GE(recall, 0.93) << both << " of " << t.size() << " true pairs";
}

}  // namespace
}  // namespace vld
