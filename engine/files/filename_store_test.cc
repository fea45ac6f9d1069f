#include "engine/files/filename_store.h"

#include <gtest/gtest.h>

#include "engine/runtime/heap.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::FatalTextOf;

class FileNameStoreTest : public ::testing::Test {
 protected:
  FileNameStoreTest() : store_(CreateIn<TFileNameStore>(StandardHeap())) {}
  ~FileNameStoreTest() override { Free(store_); }
  TFileNameStore* store_;
};

TEST_F(FileNameStoreTest, FilesShareTheirDirectoryComponents) {
  TFileNameStoreEntry* a = store_->AddPath("/daten/kunden/a.txt", false, nullptr, 0, 0, 1);
  TFileNameStoreEntry* b = store_->AddPath("/daten/kunden//b.txt", false, nullptr, 0, 0, 2);
  EXPECT_EQ(a->parent, b->parent);
  EXPECT_EQ(TFileNameStore::FullName(*a), "/daten/kunden/a.txt");
  EXPECT_EQ(TFileNameStore::FullName(*b), "/daten/kunden/b.txt");
  EXPECT_EQ(TFileNameStore::FullName(*a->parent), "/daten/kunden/");
  EXPECT_EQ(TFileNameStore::FileCode(*b), 2);
  EXPECT_EQ(a->code, -1);
  // One root for both.
  EXPECT_EQ(store_->Roots()->nextSibling, nullptr);
}

TEST_F(FileNameStoreTest, NamesKeepTheirCase) {
  TFileNameStoreEntry* upper = store_->AddPath("/DATA/A.TXT", false, nullptr, 0, 0, 1);
  TFileNameStoreEntry* lower = store_->AddPath("/data/a.txt", false, nullptr, 0, 0, 2);
  EXPECT_NE(upper->parent, lower->parent);
  EXPECT_EQ(TFileNameStore::FullName(*upper), "/DATA/A.TXT");
}

TEST_F(FileNameStoreTest, RelativeNamesResolveAgainstTheirBase) {
  TFileNameStoreEntry* out = store_->AddPath("/ausgabe", true, nullptr, 0, 0, 5);
  EXPECT_EQ(out->code, 5);
  TFileNameStoreEntry* single = store_->AddPath("single.txt", false, out, 0, 0, 6);
  EXPECT_EQ(single->parent, out);
  EXPECT_EQ(TFileNameStore::FullName(*single), "/ausgabe/single.txt");
  TFileNameStoreEntry* elsewhere = store_->AddPath("/anderswo/x.txt", false, out, 0, 0, 7);
  EXPECT_EQ(TFileNameStore::FullName(*elsewhere), "/anderswo/x.txt");
}

TEST_F(FileNameStoreTest, FileInsideTheCodeIntervalServesAsDirectory) {
  TFileNameStoreEntry* file = store_->AddPath("/t/archiv", false, nullptr, 0, 0, 12);
  TFileNameStoreEntry* inside = store_->AddPath("/t/archiv/x", false, nullptr, 20, 10, 13);
  EXPECT_EQ(inside->parent, file);
  TFileNameStoreEntry* outside = store_->AddPath("/t/archiv/y", false, nullptr, 0, 0, 14);
  EXPECT_NE(outside->parent, file);
}

TEST_F(FileNameStoreTest, MisuseIsFatal) {
  struct Case {
    const char* text;
    std::function<void()> action;
  } cases[] = {
      {"file code must be positive", [&] { store_->AddPath("/a", false, nullptr, 0, 0, 0); }},
      {"invalid file code interval", [&] { store_->AddPath("/a", false, nullptr, 1, 5, 3); }},
      {"double-dot file name", [&] { store_->AddPath("/a/../b", false, nullptr, 0, 0, 1); }},
      {"invalid root file name", [&] { store_->AddPath("relativ.txt", false, nullptr, 0, 0, 1); }},
      {"part of file name too long",
       [&] { store_->AddPath("/" + std::string(256, 'x'), false, nullptr, 0, 0, 1); }},
      {"file code must be positive", [&] { store_->AddPlaceholder("leer", 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FatalTextOf(c.action), c.text);
  }
}

TEST_F(FileNameStoreTest, RefusedAllocationGivesNoEntry) {
  store_->mayAllocate = [](std::int64_t) { return false; };
  EXPECT_EQ(store_->AddPath("/neu.txt", false, nullptr, 0, 0, 1), nullptr);
}

TEST_F(FileNameStoreTest, VolumesComeFromTheDevices) {
  testing::TempDir dir;
  TFileNameStoreEntry* a = store_->AddPath(dir.File("a.txt"), false, nullptr, 0, 0, 1);
  TFileNameStoreEntry* b = store_->AddPath(dir.File("neu/b.txt"), false, nullptr, 0, 0, 2);
  TFileNameStoreEntry* proc = store_->AddPath("/proc/self/status", false, nullptr, 0, 0, 3);
  EXPECT_TRUE(TFileNameStore::SameVolume(*a, *b));
  EXPECT_FALSE(TFileNameStore::SameVolume(*a, *proc));
  EXPECT_EQ(TFileNameStore::VolumeOf(*proc), "/proc");
  EXPECT_EQ(store_->AddPlaceholder("(keine Datei)", 9000)->code, -9000);
}

}  // namespace
}  // namespace vld
