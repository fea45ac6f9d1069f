#include "engine/pipeline/output_chain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/pipeline/pipeline_test_util.h"
#include "engine/runtime/heap.h"
#include "engine/runtime/hooks.h"
#include "engine/runtime/layers.h"
#include "engine/runtime/process_manager.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::Collector;
using testing::FatalTextOf;

class OutputChainTest : public ::testing::Test {
 protected:
  OutputChainTest() : phase_(CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 20)) {
    manager_ = CreateIn<TProcessManager>(*phase_);
    for (int i = 0; i < 3; ++i) {
      layouts_[i].number = static_cast<std::uint16_t>(i + 1);
      layouts_[i].fileNumberPosition = 9;  // 8-byte records, the number behind them
      layouts_[i].classRecordLength = 10;
      layouts_[i].outputRecordLength = 8;
      files_[i].layout = &layouts_[i];
      files_[i].name = dir_.File("in" + std::to_string(i + 1));
    }
  }
  ~OutputChainTest() override {
    ErrorUnwindScope quietly;
    Free(phase_);
  }
  testing::TempDir dir_;
  TMemoryLayer* phase_;
  TProcessManager* manager_;
  TFileLayout layouts_[3];
  TInputFile files_[3];
};

TEST_F(OutputChainTest, MultiProducerStampsFileNumbersAndSkipsCompactDarkFiles) {
  testing::WriteFile(files_[0].name, "AAAAAAAAaaaaaaaa");
  testing::WriteFile(files_[1].name, "this is a compact file");
  testing::WriteFile(files_[2].name, "CCCCCCCC");
  layouts_[1].type = InputFileType::kKompaktsperr;
  auto* producer = CreateIn<TMultiProducer>(*phase_);
  auto* sink = CreateIn<Collector>(*phase_);
  producer->Setup(manager_, 8, 3, "Input", files_, 64);
  sink->Setup(manager_, 10);
  producer->ConnectOutput(1, sink->InputGate(1));
  manager_->Run(*producer, &PushLayer, *phase_);
  ASSERT_EQ(sink->records.size(), 3u);
  EXPECT_EQ(sink->records[0].substr(0, 10), std::string("AAAAAAAA\x01\x00", 10).substr(0, 9));
  EXPECT_EQ(sink->records[1][8], 1);
  EXPECT_EQ(sink->records[2].substr(0, 8), "CCCCCCCC");
  EXPECT_EQ(sink->records[2][8], 3);
  EXPECT_EQ(sink->tags[2], &layouts_[2]);
}

TEST_F(OutputChainTest, WrongFileNumberInTheMergedFileWritesTheTrapReport) {
  std::string merged = std::string("recordA1") + std::string("\x01\x00", 2) +
                       std::string("recordB0") + std::string("\x00\x00", 2) +
                       std::string("recordC1") + std::string("\x01\x00", 2);
  testing::WriteFile(dir_.File("temp2"), merged);
  std::vector<std::string> lines;
  TaskHooks hooks;
  hooks.message = [&](MessageKind, std::string_view text) {
    lines.emplace_back(text);
    return 1;
  };
  ScopedTaskHooks scoped(std::move(hooks));
  Diagnostics() = {2, 3, 20};
  auto* blue = CreateIn<TBlueProducer>(*phase_);
  auto* sink = CreateIn<Collector>(*phase_);
  blue->Setup(manager_, 10, 3, "Temp2", dir_.File("temp2"), files_, 9, 100);
  sink->Setup(manager_, 10);
  blue->ConnectOutput(1, sink->InputGate(1));
  EXPECT_EQ(FatalTextOf([&] { manager_->Run(*blue, &PushLayer, *phase_); }),
            "Trap: TBlueProducer.Signal");
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "\rBlueTrap! >>>");
  EXPECT_EQ(lines[3], "File='" + dir_.File("temp2") + "'");
  EXPECT_EQ(lines[4], "Files=3, Records=3, RecNr=2, Mark=9");
  EXPECT_EQ(lines[5], "Pass=2, Degree=3, BufSize=20, BlockNr=1, RecNr=2, Offset=10");
  EXPECT_EQ(lines[6], "# 'recordB0'#0#0");
  EXPECT_EQ(lines[7], "# 'recordC1'#1#0");
  EXPECT_EQ(sink->records.size(), 1u);
}

TEST_F(OutputChainTest, PerFileOutputsDropRecordsOfFilesWithoutOne) {
  files_[0].outputs[1] = dir_.File("multi1");
  files_[2].outputs[1] = dir_.File("multi3");
  auto* consumer = CreateIn<TMultiConsumer>(*phase_);
  consumer->Setup(manager_, 8, "Output Multi", files_, 1, 64);
  consumer->Open(*phase_);
  for (int i = 0; i < 3; ++i) {
    std::string record = "record_" + std::to_string(i + 1);
    consumer->OnCall(8, &layouts_[i], reinterpret_cast<std::uint8_t*>(record.data()));
  }
  consumer->Close();
  EXPECT_EQ(testing::ReadFile(dir_.File("multi1")), "record_1");
  EXPECT_EQ(testing::ReadFile(dir_.File("multi3")), "record_3");
}

TEST_F(OutputChainTest, AddCrLfEndsTheRecordWithALineEnd) {
  auto* source = CreateIn<testing::VectorSource>(*phase_);
  auto* crlf = CreateIn<TAddCrLf>(*phase_);
  auto* sink = CreateIn<Collector>(*phase_);
  layouts_[0].classRecordLength = 100;
  source->Setup(manager_, {std::string(100, 'x')}, &layouts_[0]);
  crlf->Setup(manager_, 100, 100);
  sink->Setup(manager_, 100);
  source->ConnectOutput(1, crlf->InputGate(1));
  crlf->ConnectOutput(1, sink->InputGate(1));
  manager_->Run(*source, &PushLayer, *phase_);
  EXPECT_EQ(sink->records[0], std::string(98, 'x') + "\r\n");
}

TEST_F(OutputChainTest, CompactFileRoundTripSkipsItsTwoHeaderSlots) {
  const std::int32_t slot = 64;
  std::vector<std::uint8_t> header = MakeCompactHeader(slot, CompactHeaderContentSize(7, 3));
  ASSERT_EQ(header.size(), 2u * slot);
  EXPECT_EQ(std::string(header.begin(), header.begin() + 32), std::string(kCompactMagic));
  EXPECT_EQ(header[40], 128);
  EXPECT_EQ(header[44], 2);
  auto* consumer = CreateIn<TCompactConsumer>(*phase_);
  consumer->Setup(manager_, slot, header, "Kompakt", dir_.File("k.dat"), 256);
  consumer->Open(*phase_);
  std::string record(slot, '\0');
  record[0] = 10;
  record.replace(2, 8, "dunkel!!");
  consumer->OnCall(slot, nullptr, reinterpret_cast<std::uint8_t*>(record.data()));
  consumer->Close();

  TFileLayout compact;
  compact.number = 2;
  compact.type = InputFileType::kKompaktsperr;
  compact.blueRecordLength = slot;
  auto* reading = CreateIn<TProcessManager>(*phase_);
  auto* producer = CreateIn<TCompactProducer>(*phase_);
  auto* sink = CreateIn<Collector>(*phase_);
  producer->Setup(reading, 256, 1, "Kompakt2", dir_.File("k.dat"), 2, &compact);
  sink->Setup(reading, slot);
  producer->ConnectOutput(1, sink->InputGate(1));
  reading->Run(*producer, &PushLayer, *phase_);
  ASSERT_EQ(sink->records.size(), 1u);
  EXPECT_EQ(sink->records[0], record.substr(0, 10));
}

TEST_F(OutputChainTest, CompactRecordWithAnImpossibleLengthIsATrap) {
  std::string slots(32, '\0');  // one header slot
  std::string bad(32, '\0');
  bad[0] = 3;
  testing::WriteFile(dir_.File("k.dat"), slots + bad);
  TFileLayout compact;
  compact.blueRecordLength = 32;
  auto* producer = CreateIn<TCompactProducer>(*phase_);
  auto* sink = CreateIn<Collector>(*phase_);
  producer->Setup(manager_, 64, 1, "Kompakt", dir_.File("k.dat"), 1, &compact);
  sink->Setup(manager_, 32);
  producer->ConnectOutput(1, sink->InputGate(1));
  EXPECT_EQ(FatalTextOf([&] { manager_->Run(*producer, &PushLayer, *phase_); }),
            "Trap: TCompactProducer.Signal");
}

}  // namespace
}  // namespace vld
