#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vld {
namespace {

TEST(PathsTest, NormaliseMakesAbsoluteAndDropsDotsDoubledAndTrailingSeparators) {
  EXPECT_EQ(NormalisePath("/data//kunden/./a.txt"), "/data/kunden/a.txt");
  EXPECT_EQ(NormalisePath("/data/kunden/"), "/data/kunden");
  EXPECT_EQ(NormalisePath("\\data\\Kunden\\A.txt"), "/data/Kunden/A.txt");
  EXPECT_EQ(NormalisePath("/"), "/");
  EXPECT_EQ(NormalisePath("/a/../b"), "/a/../b");
  EXPECT_TRUE(IsRootedPath(NormalisePath("relativ/datei.txt")));
  EXPECT_FALSE(IsRootedPath("relativ"));
}

TEST(PathsTest, ShortAndParentNames) {
  EXPECT_EQ(ShortName("/daten/Kunden.txt"), "Kunden.txt");
  EXPECT_EQ(ParentPath("/daten/Kunden.txt"), "/daten/");
  EXPECT_EQ(ShortName("/"), "");
  EXPECT_EQ(JoinPath("/daten/", "/x"), "/daten/x");
}

class ProductFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("vld_paths_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(ProductFileTest, FindsExactNameFirstThenAnyCase) {
  std::ofstream(dir_ / "phonetic.map") << "x";
  EXPECT_EQ(FindProductFile(dir_.string(), "PHONETIC.MAP"), (dir_ / "phonetic.map").string());
  std::ofstream(dir_ / "PHONETIC.MAP") << "y";
  EXPECT_EQ(FindProductFile(dir_.string(), "PHONETIC.MAP"), (dir_ / "PHONETIC.MAP").string());
  EXPECT_EQ(FindProductFile(dir_.string(), "SIMPLE.MAP"), std::nullopt);
}

TEST_F(ProductFileTest, SameVolumeUsesNearestExistingDirectory) {
  EXPECT_TRUE(SameVolume((dir_ / "noch/nicht/da.txt").string(), dir_.string()));
  EXPECT_FALSE(SameVolume("/proc/self", dir_.string()));
  EXPECT_EQ(VolumeOf("/proc/self/status"), "/proc");
}

}  // namespace
}  // namespace vld
