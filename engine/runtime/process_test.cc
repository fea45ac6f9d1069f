#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/runtime/layers.h"
#include "engine/runtime/process_manager.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::FatalTextOf;

// Sends `count` records of `size` bytes numbered 0.. in their first 4 bytes, building each in a
// buffer of the chain's effective size.
class Numbers : public TGenerator {
 public:
  void Setup(TProcessManager* manager, int count, std::int32_t size, std::uint8_t mode) {
    Register(*this, manager);
    ActivateOutput(1, mode, size);
    count_ = count;
    size_ = size;
    mode_ = mode;
  }
  void Open(TMemorySpace& space) override {
    ++opened;
    buffer_ = static_cast<std::uint8_t*>(space.Alloc(EffectiveRecordSize(OutputGate(1))));
    next_ = 0;
  }
  void Close() override { ++closed; }
  bool Step() override {
    if (next_ == count_) return false;
    std::memcpy(buffer_, &next_, 4);
    ++next_;
    if (mode_ & kModeSend) {
      buffer_ = OutputGate(1).Send(size_, this, buffer_);
    } else {
      OutputGate(1).Call(size_, this, buffer_);
    }
    return true;
  }
  int opened = 0, closed = 0;
  std::uint8_t* buffer_ = nullptr;

 private:
  int count_ = 0, next_ = 0;
  std::int32_t size_ = 0;
  std::uint8_t mode_ = 0;
};

// Doubles the number of every record; in send mode it keeps the handed-over buffer and returns
// one of its own.
class Doubler : public TProcess {
 public:
  void Setup(TProcessManager* manager, std::int32_t size) {
    Register(*this, manager);
    ActivateInput(1, size, 1u << 1, {}, BindSend<&Doubler::OnSend>(this));
    ActivateOutput(1, kModeSend, size);
  }
  void Open(TMemorySpace& space) override {
    spare_ = static_cast<std::uint8_t*>(space.Alloc(EffectiveRecordSize(OutputGate(1))));
  }
  std::uint8_t* OnSend(std::int32_t size, const void* tag, std::uint8_t* record) {
    std::int32_t n;
    std::memcpy(&n, record, 4);
    n *= 2;
    std::memcpy(record, &n, 4);
    std::uint8_t* next = OutputGate(1).Send(size, tag, record);
    // Give the sender our spare buffer and keep the one that came back.
    std::swap(spare_, next);
    return next;
  }

 private:
  std::uint8_t* spare_ = nullptr;
};

// Collects record numbers by copying (call mode).
class Collector : public TProcess {
 public:
  void Setup(TProcessManager* manager, std::int32_t size, int gate = 1) {
    Register(*this, manager);
    ActivateInput(gate, size, 0, BindCall<&Collector::OnCall>(this), {});
  }
  void OnCall(std::int32_t size, const void* tag, std::uint8_t* record) {
    std::int32_t n;
    std::memcpy(&n, record, 4);
    numbers.push_back(n);
    lastSize = size;
    lastTag = tag;
    lastRecord = record;
  }
  void Close() override { ++closed; }
  std::vector<std::int32_t> numbers;
  std::int32_t lastSize = 0;
  const void* lastTag = nullptr;
  std::uint8_t* lastRecord = nullptr;
  int closed = 0;
};

// A process with two inputs and a forward set, for order and size tests.
class Plain : public TProcess {
 public:
  void Setup(TProcessManager* manager) { Register(*this, manager); }
  using TProcess::ActivateInput;
  using TProcess::ActivateOutput;
  void Ignore(std::int32_t, const void*, std::uint8_t*) {}
  CallEntry Call() { return BindCall<&Plain::Ignore>(this); }
};

class ProcessTest : public ::testing::Test {
 protected:
  ProcessTest() : phase_(CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 20)) {
    manager_ = CreateIn<TProcessManager>(*phase_);
  }
  ~ProcessTest() override {
    ErrorUnwindScope quietly;  // some tests end in a fatal error mid-run
    Free(phase_);
  }
  template <typename P>
  P* Make() {
    return CreateIn<P>(*phase_);
  }
  TMemoryLayer* phase_;
  TProcessManager* manager_;
};

TEST_F(ProcessTest, ThreeStagesMoveEveryRecordInOrderAndReleaseTheRunMemory) {
  auto* source = Make<Numbers>();
  auto* doubler = Make<Doubler>();
  auto* sink = Make<Collector>();
  source->Setup(manager_, 5000, 64, kModeSend);
  doubler->Setup(manager_, 64);
  sink->Setup(manager_, 64);
  source->ConnectOutput(1, doubler->InputGate(1));
  doubler->ConnectOutput(1, sink->InputGate(1));
  const std::int64_t before = phase_->FreeBytes();
  manager_->Run(*source, &PushLayer, *phase_);
  ASSERT_EQ(sink->numbers.size(), 5000u);
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(sink->numbers[i], 2 * i);
  EXPECT_EQ(sink->lastTag, source);
  EXPECT_EQ(sink->lastSize, 64);
  EXPECT_EQ(phase_->FreeBytes(), before);
  // What was left in the run's layer before it was freed: its two record buffers were taken.
  EXPECT_EQ(manager_->Result(), before - LayerInstanceSize() - 2 * 64);
}

TEST_F(ProcessTest, SendToCallOnlyInputGoesThroughTheAdapterAndTheSenderKeepsItsBuffer) {
  auto* source = Make<Numbers>();
  auto* sink = Make<Collector>();
  source->Setup(manager_, 3, 16, kModeSend);
  sink->Setup(manager_, 16);
  source->ConnectOutput(1, sink->InputGate(1));
  manager_->Run(*source, &PushLayer, *phase_);
  EXPECT_EQ(sink->numbers, (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(sink->lastRecord, source->buffer_);
}

TEST_F(ProcessTest, CallToSendOnlyInputIsRefused) {
  auto* source = Make<Numbers>();
  auto* doubler = Make<Doubler>();
  source->Setup(manager_, 1, 16, kModeCall);
  doubler->Setup(manager_, 16);
  EXPECT_EQ(FatalTextOf([&] { source->ConnectOutput(1, doubler->InputGate(1)); }),
            "connect: can not map call to send");
}

TEST_F(ProcessTest, SendingThroughAnUnconnectedOutputIsFatal) {
  auto* source = Make<Numbers>();
  source->Setup(manager_, 1, 16, kModeSend);
  EXPECT_EQ(FatalTextOf([&] { manager_->Run(*source, &PushLayer, *phase_); }),
            "gate can not send");
}

TEST_F(ProcessTest, CallingThroughAnUnconnectedOutputIsFatal) {
  auto* caller = Make<Numbers>();
  caller->Setup(manager_, 1, 16, kModeCall);
  std::uint8_t record[16] = {};
  EXPECT_EQ(FatalTextOf([&] { caller->OutputGate(1).Call(16, nullptr, record); }),
            "gate can not call");
}

TEST_F(ProcessTest, GeneratorThatYieldsNothingStillOpensAndClosesEveryProcess) {
  auto* source = Make<Numbers>();
  auto* sink = Make<Collector>();
  source->Setup(manager_, 0, 16, kModeSend);
  sink->Setup(manager_, 16);
  source->ConnectOutput(1, sink->InputGate(1));
  manager_->Run(*source, &PushLayer, *phase_);
  EXPECT_EQ(source->opened, 1);
  EXPECT_EQ(source->closed, 1);
  EXPECT_EQ(sink->closed, 1);
  EXPECT_TRUE(sink->numbers.empty());
}

TEST_F(ProcessTest, ProcessFedTwiceByOneUpstreamIsOrderedOnceAfterIt) {
  auto* up = Make<Plain>();
  auto* down = Make<Plain>();
  down->Setup(manager_);
  up->Setup(manager_);
  up->ActivateOutput(1, kModeCall, 10);
  up->ActivateOutput(2, kModeCall, 10);
  down->ActivateInput(1, 10, 0, down->Call(), {});
  down->ActivateInput(2, 10, 0, down->Call(), {});
  up->ConnectOutput(1, down->InputGate(1));
  up->ConnectOutput(2, down->InputGate(2));
  EXPECT_EQ(manager_->RunOrder(), (std::vector<TProcess*>{up, down}));
}

TEST_F(ProcessTest, LoopBackToAnUpstreamProcessIsCyclic) {
  auto* a = Make<Plain>();
  auto* b = Make<Plain>();
  for (Plain* p : {a, b}) {
    p->Setup(manager_);
    p->ActivateInput(1, 10, 0, p->Call(), {});
    p->ActivateOutput(1, kModeCall, 10);
  }
  a->ConnectOutput(1, b->InputGate(1));
  b->ConnectOutput(1, a->InputGate(1));
  EXPECT_EQ(FatalTextOf([&] { manager_->ComputeOrder(); }), "process graph is cyclic");
}

TEST_F(ProcessTest, RegisteredProcessConnectedToNothingMakesTheGraphUnconnected) {
  auto* source = Make<Numbers>();
  auto* sink = Make<Collector>();
  auto* loner = Make<Plain>();
  source->Setup(manager_, 1, 16, kModeSend);
  sink->Setup(manager_, 16);
  loner->Setup(manager_);
  source->ConnectOutput(1, sink->InputGate(1));
  EXPECT_EQ(FatalTextOf([&] { manager_->OpenAll(*phase_); }), "process graph is not connected");
}

TEST_F(ProcessTest, ForwardedChainSharesTheLargestDeclaredSize) {
  auto* producer = Make<Plain>();
  auto* forward = Make<Plain>();
  auto* consumer = Make<Plain>();
  for (Plain* p : {producer, forward, consumer}) p->Setup(manager_);
  producer->ActivateOutput(1, kModeCall, 100);
  forward->ActivateInput(1, 120, 1u << 1, forward->Call(), {});
  forward->ActivateOutput(1, kModeCall, 110);
  consumer->ActivateInput(1, 80, 0, consumer->Call(), {});
  producer->ConnectOutput(1, forward->InputGate(1));
  forward->ConnectOutput(1, consumer->InputGate(1));
  for (TProcessGate* gate : std::vector<TProcessGate*>{
           &producer->OutputGate(1), &forward->InputGate(1), &forward->OutputGate(1),
           &consumer->InputGate(1)}) {
    EXPECT_EQ(EffectiveRecordSize(*gate), 120);
  }
}

TEST_F(ProcessTest, GateMisuseEndsWithItsText) {
  auto* p = Make<Plain>();
  p->Setup(manager_);
  struct Case {
    const char* text;
    std::function<void()> action;
  } cases[] = {
      {"empty mode of input gate", [&] { p->ActivateInput(1, 10, 0, {}, {}); }},
      {"invalid record size at input gate", [&] { p->ActivateInput(1, -1, 0, p->Call(), {}); }},
      {"empty mode of output gate", [&] { p->ActivateOutput(1, 0, 10); }},
      {"invalid record size at output gate", [&] { p->ActivateOutput(1, kModeCall, -1); }},
      {"invalid input gate index", [&] { p->InputGate(3); }},
      {"invalid output gate index", [&] { p->OutputGate(0); }},
      {"connect: inactive output gate", [&] { Connect(p->OutputGate(2), p->InputGate(2)); }},
      {"process init: no manager", [&] { Register(*p, nullptr); }},
      {"can not find generator", [&] { GeneratorOf(*p); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FatalTextOf(c.action), c.text);
  }
  p->ActivateInput(1, 10, 0, p->Call(), {});
  EXPECT_EQ(FatalTextOf([&] { p->ActivateInput(1, 10, 0, p->Call(), {}); }),
            "input gate already activated");
  p->ActivateOutput(1, kModeCall, 10);
  EXPECT_EQ(FatalTextOf([&] { p->ActivateOutput(1, kModeCall, 10); }),
            "output gate already activated");
  EXPECT_EQ(FatalTextOf([&] { Connect(p->OutputGate(1), p->InputGate(2)); }),
            "connect: inactive input gate");
  TInputGate loose;
  EXPECT_EQ(FatalTextOf([&] { ActivateInput(loose, 1, 0, p->Call(), {}); }), "invalid input gate");
}

TEST_F(ProcessTest, ForeignGeneratorIsNotRun) {
  auto* other = CreateIn<TProcessManager>(*phase_);
  auto* source = Make<Numbers>();
  source->Setup(other, 1, 16, kModeSend);
  EXPECT_EQ(FatalTextOf([&] { manager_->Run(*source, &PushLayer, *phase_); }),
            "can not run foreign generator");
}

TEST_F(ProcessTest, ReleaseChainFreesTheExhaustedSourceAndWhatFollowsIt) {
  auto* source = Make<Numbers>();
  auto* doubler = Make<Doubler>();
  auto* sink = Make<Collector>();
  source->Setup(manager_, 1, 16, kModeSend);
  doubler->Setup(manager_, 16);
  sink->Setup(manager_, 16);
  source->ConnectOutput(1, doubler->InputGate(1));
  doubler->ConnectOutput(1, sink->InputGate(1));
  doubler->ReleaseChain();  // still fed: nothing happens
  EXPECT_EQ(manager_->RunOrder().size(), 3u);
  source->ReleaseChain();
  EXPECT_TRUE(manager_->RunOrder().empty());
}

}  // namespace
}  // namespace vld
