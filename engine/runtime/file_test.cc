#include "engine/runtime/file.h"

#include <gtest/gtest.h>

#include "engine/runtime/heap.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::ErrorTextOf;
using testing::FatalTextOf;

class FileTest : public ::testing::Test {
 protected:
  TFile* NewFile(const std::string& name) {
    TFile* f = CreateIn<TFile>(StandardHeap());
    f->Assign(dir_.File(name));
    return f;
  }
  testing::TempDir dir_;
};

TEST_F(FileTest, WritesAndReadsBlocksAtAnyPosition) {
  TFile* f = NewFile("a.dat");
  f->Open(OpenKind::kCreateReadWrite);
  f->WriteBlock("0123456789", 10);
  f->SeekTo(4);
  char buf[4];
  f->ReadBlock(buf, 4);
  EXPECT_EQ(std::string(buf, 4), "4567");
  EXPECT_EQ(f->Position(), 8);
  EXPECT_EQ(f->Size(), 10);
  f->Close();
  Free(f);
}

TEST_F(FileTest, FailuresRaiseGermanErrorsNamingTheFile) {
  TFile* f = NewFile("fehlt.dat");
  const std::string name = dir_.File("fehlt.dat");
  EXPECT_EQ(ErrorTextOf<EInOutError>([&] { f->Open(OpenKind::kRead); }),
            "Fehler beim Öffnen der Datei \"" + name + "\": Datei nicht gefunden.");
  testing::WriteFile(name, "abc");
  f->Open(OpenKind::kRead);
  char buf[8];
  EXPECT_EQ(ErrorTextOf<EInOutError>([&] { f->ReadBlock(buf, 4); }),
            "Fehler beim Lesen der Datei \"" + name + "\": Lesen über das Dateiende hinaus.");
  EXPECT_EQ(ErrorTextOf<EInOutError>([&] { f->WriteBlock(buf, 1); }).substr(0, 26),
            "Fehler beim Schreiben der ");
  f->Close();
  Free(f);
  TFile* dirAsFile = NewFile("");
  dirAsFile->Assign(dir_.path().string());
  EXPECT_NE(ErrorTextOf<EInOutError>([&] { dirAsFile->Open(OpenKind::kRead); }), "");
  Free(dirAsFile);
}

TEST_F(FileTest, FreeingAssigningOrErasingAnOpenFileIsFatalButNotWhileUnwinding) {
  TFile* f = NewFile("offen.dat");
  f->Open(OpenKind::kCreate);
  EXPECT_EQ(FatalTextOf([&] { Free(f); }), "Datei nicht geschlossen");
  EXPECT_EQ(FatalTextOf([&] { f->Assign("x"); }), "Datei nicht geschlossen");
  EXPECT_EQ(FatalTextOf([&] { f->Erase(); }), "Datei nicht geschlossen");
  ErrorUnwindScope unwinding;
  Free(f);  // closes quietly
}

TEST_F(FileTest, InjectedFaultsFailTheNthCallAndAFullDiskFailsAfterItsBytes) {
  FileFaults saved = FileFaultInjection();
  FileFaultInjection() = {};
  FileFaultInjection().failWriteAt = 2;
  TFile* f = NewFile("f.dat");
  f->Open(OpenKind::kCreate);
  f->WriteBlock("ab", 2);
  EXPECT_NE(ErrorTextOf<EInOutError>([&] { f->WriteBlock("cd", 2); }), "");
  EXPECT_TRUE(FileFaultInjection().injected);
  FileFaultInjection() = {};
  FileFaultInjection().diskFullAfter = 3;
  EXPECT_EQ(ErrorTextOf<EInOutError>([&] { f->WriteBlock("efgh", 4); }),
            "Fehler beim Schreiben der Datei \"" + dir_.File("f.dat") +
                "\": kein Platz mehr auf dem Datenträger.");
  f->Close();
  Free(f);
  FileFaultInjection() = saved;
  EXPECT_EQ(testing::ReadFile(dir_.File("f.dat")), "abefg");
}

}  // namespace
}  // namespace vld
