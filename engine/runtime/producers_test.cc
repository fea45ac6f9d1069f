#include "engine/runtime/producers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/runtime/heap.h"
#include "engine/runtime/hooks.h"
#include "engine/runtime/layers.h"
#include "engine/runtime/process_manager.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::FatalTextOf;

std::string RandomRecords(int count, int size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string out(static_cast<std::size_t>(count) * size, '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

class ProducersTest : public ::testing::Test {
 protected:
  ProducersTest() : phase_(CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 20)) {
    manager_ = CreateIn<TProcessManager>(*phase_);
    TaskHooks hooks;
    hooks.counter = [this](const CounterCall& c) -> std::int64_t {
      counterLog_ += std::to_string(static_cast<int>(c.op)) + ":" + std::to_string(c.value) + " ";
      return 1;
    };
    hooks_.emplace(std::move(hooks));
  }
  ~ProducersTest() override {
    ErrorUnwindScope quietly;
    Free(phase_);
  }
  // producer -> consumer over `in` to `out`.
  void Copy(const std::string& in, const std::string& out, int size, std::int64_t buffer) {
    auto* producer = CreateIn<TProducer>(*phase_);
    auto* consumer = CreateIn<TConsumer>(*phase_);
    producer->Setup(manager_, size, 0, "Gelesen", in, nullptr, buffer);
    consumer->Setup(manager_, size, "Geschrieben", out, buffer);
    producer->ConnectOutput(1, consumer->InputGate(1));
    manager_->Run(*producer, &PushLayer, *phase_);
  }

  testing::TempDir dir_;
  TMemoryLayer* phase_;
  TProcessManager* manager_;
  std::optional<ScopedTaskHooks> hooks_;
  std::string counterLog_;
};

TEST_F(ProducersTest, FileToFilePipelineCopiesEveryRecordByteForByte) {
  const std::string records = RandomRecords(3000, 200, 1);
  testing::WriteFile(dir_.File("in"), records);
  Copy(dir_.File("in"), dir_.File("out"), 200, 64 * 1024);
  EXPECT_EQ(testing::ReadFile(dir_.File("out")), records);
}

TEST_F(ProducersTest, ProducerOverAnEmptyFileStillOpensAndClosesItsCounter) {
  testing::WriteFile(dir_.File("in"), "");
  Copy(dir_.File("in"), dir_.File("out"), 10, 100);
  EXPECT_EQ(counterLog_, "0:0 0:0 1:0 1:0 ");
  EXPECT_EQ(testing::ReadFile(dir_.File("out")), "");
}

TEST_F(ProducersTest, FailingWriteEndsThePipelineWithItsErrorWhicheverWriteItIs) {
  const std::string records = RandomRecords(500, 100, 2);
  testing::WriteFile(dir_.File("in"), records);
  for (int n = 1;; ++n) {
    SCOPED_TRACE(n);
    FileFaultInjection() = {};
    FileFaultInjection().failWriteAt = n;
    std::string error;
    try {
      Copy(dir_.File("in"), dir_.File("out"), 100, 4000);
    } catch (const EInOutError& e) {
      error = e.what();
    }
    const bool injected = FileFaultInjection().injected;
    FileFaultInjection() = {};
    // Free the phase of this attempt as the task driver does after an error.
    {
      ErrorUnwindScope quietly;
      Free(phase_);
    }
    phase_ = CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 20);
    manager_ = CreateIn<TProcessManager>(*phase_);
    if (!injected) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(testing::ReadFile(dir_.File("out")), records);
      EXPECT_GT(n, 10);
      break;
    }
    EXPECT_EQ(error, "Fehler beim Schreiben der Datei \"" + dir_.File("out") +
                         "\": Ein-/Ausgabefehler des Datenträgers.");
    EXPECT_LT(testing::ReadFile(dir_.File("out")).size(), records.size());
  }
}

TEST_F(ProducersTest, ConsumerWritesItsOwnRecordSizeWhateverTheCallCarries) {
  auto* consumer = CreateIn<TConsumer>(*phase_);
  consumer->Setup(manager_, 4, "x", dir_.File("out"), 64);
  consumer->Open(*phase_);
  std::uint8_t record[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
  consumer->OnCall(8, nullptr, record);
  consumer->OnCall(2, nullptr, record);
  consumer->Close();
  EXPECT_EQ(testing::ReadFile(dir_.File("out")), "abcdabcd");
}

TEST_F(ProducersTest, TextConsumerClampsItsBufferAndTakesLinesUpToItsSize) {
  auto* small = CreateIn<TTextConsumer>(*phase_);
  small->Setup(manager_, 100, "x", dir_.File("a.txt"));
  EXPECT_EQ(small->BufferSize(), 1024);
  auto* large = CreateIn<TTextConsumer>(*phase_);
  large->Setup(manager_, 1000000, "x", dir_.File("b.txt"));
  EXPECT_EQ(large->BufferSize(), 32768);

  small->Open(*phase_);
  std::string line(1022, 'L');
  small->OnCall(3, nullptr, reinterpret_cast<std::uint8_t*>(line.data()));
  small->OnCall(1022, nullptr, reinterpret_cast<std::uint8_t*>(line.data()));
  EXPECT_EQ(FatalTextOf([&] {
              small->OnCall(1023, nullptr, reinterpret_cast<std::uint8_t*>(line.data()));
            }),
            "string too long to consume");
  small->Close();
  EXPECT_EQ(testing::ReadFile(dir_.File("a.txt")), "LLL\r\n" + line + "\r\n");
  EXPECT_EQ(small->Lines(), 2);
}

TEST_F(ProducersTest, CallToSendAdapterFeedsASendChainWithACopy) {
  const std::string records = RandomRecords(50, 16, 3);
  testing::WriteFile(dir_.File("in"), records);
  auto* producer = CreateIn<TProducer>(*phase_);
  auto* adapter = CreateIn<TCall2Send>(*phase_);
  auto* consumer = CreateIn<TConsumer>(*phase_);
  producer->Setup(manager_, 16, 50, "Gelesen", dir_.File("in"), nullptr, 160);
  adapter->Setup(manager_, 16);
  consumer->Setup(manager_, 16, "Geschrieben", dir_.File("out"), 160);
  producer->ConnectOutput(1, adapter->InputGate(1));
  adapter->ConnectOutput(1, consumer->InputGate(1));
  manager_->Run(*producer, &PushLayer, *phase_);
  EXPECT_EQ(testing::ReadFile(dir_.File("out")), records);
}

}  // namespace
}  // namespace vld
