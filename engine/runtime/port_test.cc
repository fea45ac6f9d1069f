#include "engine/runtime/port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/runtime/heap.h"
#include "engine/runtime/layers.h"
#include "platform/test_support.h"

namespace vld {
namespace {

// Records of `size` bytes whose bytes all hold the record's number (mod 256).
std::string NumberedRecords(int count, int size) {
  std::string out;
  for (int i = 0; i < count; ++i) out.append(static_cast<std::size_t>(size), static_cast<char>(i));
  return out;
}

class PortTest : public ::testing::Test {
 protected:
  PortTest() : run_(CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 20)) {}
  ~PortTest() override {
    ErrorUnwindScope quietly;
    Free(run_);
  }
  // Reads every record of `port` and returns their first bytes.
  static std::vector<int> ReadAll(TInFilePort& port) {
    std::vector<int> firsts;
    std::vector<std::uint8_t> record(port.RecordSize());
    while (port.Read(record.data())) firsts.push_back(record[0]);
    return firsts;
  }
  static void CountBlocks(void* object, std::int64_t records) {
    static_cast<std::vector<std::int64_t>*>(object)->push_back(records);
  }
  testing::TempDir dir_;
  TMemoryLayer* run_;
};

TEST_F(PortTest, IncompleteLastRecordIsNeverRead) {
  testing::WriteFile(dir_.File("in"), NumberedRecords(10, 100) + std::string(50, 'x'));
  auto* port = CreateIn<TInFilePort>(*run_);
  port->PrepareWholeFile(100, dir_.File("in"));
  port->Open(*run_, 4096, {});
  EXPECT_EQ(port->Count(), -1);
  EXPECT_EQ(ReadAll(*port), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  port->Close();
}

TEST_F(PortTest, RangeReaderDeliversOnlyItsRecordsAndLeavesTheSharedFileOpen) {
  testing::WriteFile(dir_.File("in"), NumberedRecords(6, 10));
  auto* shared = CreateIn<TFile>(*run_);
  shared->Assign(dir_.File("in"));
  shared->Open(OpenKind::kRead);
  auto* port = CreateIn<TInFilePort>(*run_);
  port->PrepareRange(*shared, 3, 10, 2);
  port->Open(*run_, 1000, {});
  EXPECT_EQ(port->Count(), 2);
  EXPECT_EQ(ReadAll(*port), (std::vector<int>{3, 4}));
  port->Close();
  EXPECT_TRUE(shared->IsOpen());
  shared->Close();
}

TEST_F(PortTest, BufferIsWholeRecordsAndAShortLastBlockKeepsFileOrder) {
  testing::WriteFile(dir_.File("in"), NumberedRecords(7, 300));
  auto* port = CreateIn<TInFilePort>(*run_);
  port->PrepareWholeFile(300, dir_.File("in"));
  std::vector<std::int64_t> blocks;
  port->Open(*run_, 1000, {&PortTest::CountBlocks, &blocks});
  EXPECT_EQ(port->BufferSize(), 900);
  EXPECT_EQ(ReadAll(*port), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(blocks, (std::vector<std::int64_t>{-3, -3, -1}));
  port->Close();
}

TEST_F(PortTest, EmptyFileReadsNothingAndReopenGoesOnWithTheNextFile) {
  testing::WriteFile(dir_.File("leer"), "");
  testing::WriteFile(dir_.File("zwei"), NumberedRecords(2, 8));
  auto* port = CreateIn<TInFilePort>(*run_);
  port->PrepareWholeFile(8, dir_.File("leer"));
  port->Open(*run_, 64, {});
  std::uint8_t record[8];
  EXPECT_FALSE(port->Read(record));
  port->Reopen(dir_.File("zwei"));
  EXPECT_EQ(ReadAll(*port), (std::vector<int>{0, 1}));
  port->Close();
}

TEST_F(PortTest, WritingExactlyOneBufferWritesOneBlockAtClose) {
  auto* port = CreateIn<TOutFilePort>(*run_);
  port->PrepareWriter(100, dir_.File("out"));
  std::vector<std::int64_t> blocks;
  port->Open(*run_, 1000, {&PortTest::CountBlocks, &blocks});
  const std::string records = NumberedRecords(10, 100);
  for (int i = 0; i < 10; ++i) port->Write(reinterpret_cast<const std::uint8_t*>(records.data()) + 100 * i);
  EXPECT_TRUE(blocks.empty());
  port->Close();
  EXPECT_EQ(blocks, (std::vector<std::int64_t>{10}));
  EXPECT_EQ(testing::ReadFile(dir_.File("out")), records);
}

TEST_F(PortTest, LargeBufferIsWrittenInTheBackgroundInOrderAndErrorsReachTheWriter) {
  // Records of 1000 bytes carrying their number; a buffer of two blocks of 2,097 records.
  constexpr int kSize = 1000, kCount = 10000;
  std::string records;
  for (int i = 0; i < kCount; ++i) {
    std::string r = std::to_string(i);
    r.resize(kSize, static_cast<char>('a' + i % 26));
    records += r;
  }
  struct Case {
    std::int64_t failWriteAt;
    std::int64_t diskFullAfter;
    const char* reason;  // "" when every write succeeds
  } cases[] = {
      {0, -1, ""},
      {1, -1, "Ein-/Ausgabefehler des Datenträgers"},
      {3, -1, "Ein-/Ausgabefehler des Datenträgers"},
      {0, 5000000, "kein Platz mehr auf dem Datenträger"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failWriteAt);
    TMemoryLayer* arena = CreateWithArena<TMemoryLayer>(StandardHeap(), 8 << 20);
    auto* port = CreateIn<TOutFilePort>(*arena);
    port->PrepareWriter(kSize, dir_.File("out"));
    std::vector<std::int64_t> blocks;
    port->Open(*arena, 4 << 20, {&PortTest::CountBlocks, &blocks});
    FileFaultInjection() = {};
    FileFaultInjection().failWriteAt = c.failWriteAt;
    FileFaultInjection().diskFullAfter = c.diskFullAfter;
    const std::string error = testing::ErrorTextOf<EInOutError>([&] {
      for (int i = 0; i < kCount; ++i) {
        port->Write(reinterpret_cast<const std::uint8_t*>(records.data()) + std::size_t{kSize} * i);
      }
      port->Close();
    });
    FileFaultInjection() = {};
    if (*c.reason == '\0') {
      EXPECT_EQ(error, "");
      EXPECT_EQ(testing::ReadFile(dir_.File("out")), records);
      std::int64_t sum = 0;
      for (std::int64_t b : blocks) {
        EXPECT_LE(b, 2097);
        sum += b;
      }
      EXPECT_EQ(sum, kCount);
      EXPECT_GE(blocks.size(), 5u);
    } else {
      EXPECT_EQ(error,
                "Fehler beim Schreiben der Datei \"" + dir_.File("out") + "\": " + c.reason + ".");
      const std::string written = testing::ReadFile(dir_.File("out"));
      EXPECT_EQ(written, records.substr(0, written.size())) << "what was written is whole";
    }
    ErrorUnwindScope quietly;
    Free(arena);  // waits for a block still on its way
  }
}

TEST_F(PortTest, BufferSmallerThanOneRecordIsRejected) {
  testing::WriteFile(dir_.File("in"), NumberedRecords(1, 100));
  auto* port = CreateIn<TInFilePort>(*run_);
  port->PrepareWholeFile(100, dir_.File("in"));
  EXPECT_EQ(testing::FatalTextOf([&] { port->Open(*run_, 99, {}); }),
            "port buffer smaller than one record");
}

}  // namespace
}  // namespace vld
