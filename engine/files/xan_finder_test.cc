#include "engine/files/xan_finder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/test_support.h"

namespace vld {
namespace {

using testing::TempDir;
using testing::WriteFile;

std::vector<std::string> Names(TXanFinder& finder) {
  std::vector<std::string> names;
  while (finder.Next())
    names.push_back(finder.EntryName() + (finder.EntryIsDirectory() ? "/" : ""));
  return names;
}

TEST(XanFinderTest, NamePatterns) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*.par", "Standard.par", true},
      {"*.par", "Standard.PAR", false},
      {"*.par", "par", false},
      {"*.par", ".par", true},
      {"*", "", true},
      {"*", "alles", true},
      {"*.*", "ohnepunkt", true},
      {"*.*", "mit.punkt", true},
      {"?.txt", "a.txt", true},
      {"?.txt", "ab.txt", false},
      {"a*b*c", "axxbyyc", true},
      {"a*b*c", "axxbyy", false},
      {"a*b", "abab", true},
      {"[ab].txt", "[ab].txt", true},
      {"[ab].txt", "a.txt", false},
      {"GERMANY?.PLZ", "GERMANY5.PLZ", true},
      {"exakt.txt", "exakt.txt", true},
      {"exakt.txt", "exakt.txt~", false},
      {"**x", "abx", true},
      {"", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
    EXPECT_EQ(MatchesNamePattern(c.pattern, c.name), c.matches);
  }
}

TEST(XanFinderTest, ListsMatchingEntriesInByteOrderWithoutDotEntries) {
  TempDir dir;
  WriteFile(dir.File("b.par"), "");
  WriteFile(dir.File("A.par"), "");
  WriteFile(dir.File("c.txt"), "");
  std::filesystem::create_directory(dir.path() / "d.par");
  TXanFinder all(dir.File("*"));
  EXPECT_EQ(Names(all), (std::vector<std::string>{"A.par", "b.par", "c.txt", "d.par/"}));
  TXanFinder pars(dir.File("*.par"));
  EXPECT_EQ(pars.Directory(), dir.path().string() + "/");
  EXPECT_EQ(Names(pars), (std::vector<std::string>{"A.par", "b.par", "d.par/"}));
  EXPECT_EQ(pars.CurrentState(), TXanFinder::State::kFinished);
  EXPECT_FALSE(pars.Next());
}

TEST(XanFinderTest, RestartBeginsAnewAndAnEmptyPatternFinishes) {
  TempDir dir;
  WriteFile(dir.File("x1.blx"), "");
  WriteFile(dir.File("x2.blx"), "");
  TXanFinder finder(dir.File("*.blx"));
  EXPECT_EQ(finder.CurrentState(), TXanFinder::State::kNotStarted);
  ASSERT_TRUE(finder.Next());
  EXPECT_EQ(finder.CurrentState(), TXanFinder::State::kRunning);
  EXPECT_EQ(finder.EntryName(), "x1.blx");
  finder.Restart(dir.File("x2*"));
  EXPECT_EQ(Names(finder), std::vector<std::string>{"x2.blx"});
  finder.Restart("");
  EXPECT_EQ(finder.CurrentState(), TXanFinder::State::kFinished);
  EXPECT_FALSE(finder.Next());
}

TEST(XanFinderTest, AMissingDirectoryHasNoEntries) {
  TempDir dir;
  TXanFinder finder(dir.File("fehlt/*"));
  EXPECT_FALSE(finder.Next());
  EXPECT_EQ(finder.Directory(), dir.File("fehlt/"));
}

}  // namespace
}  // namespace vld
