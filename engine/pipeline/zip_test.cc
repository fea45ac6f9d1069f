#include "engine/pipeline/zip.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/pipeline/pipeline_test_util.h"
#include "engine/runtime/heap.h"
#include "engine/runtime/layers.h"
#include "engine/runtime/process_manager.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::Collector;
using testing::FatalTextOf;
using testing::VectorSource;

// Records of 8 bytes: a 3-byte key, then a label naming the stream.
TFileLayout ZipLayout(std::uint16_t number) {
  TFileLayout l;
  l.number = number;
  l.classRecordLength = 8;
  l.classKeyPosition = 1;
  l.classKeyLength = 3;
  return l;
}

std::vector<std::string> Records(std::initializer_list<const char*> keys, char label) {
  std::vector<std::string> out;
  int i = 0;
  for (const char* k : keys) {
    std::string r = std::string(k) + label + std::to_string(i++);
    r.resize(8, ' ');
    out.push_back(r);
  }
  return out;
}

class ZipTest : public ::testing::Test {
 protected:
  ZipTest() : phase_(CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 20)) {
    manager_ = CreateIn<TProcessManager>(*phase_);
    sink_ = CreateIn<Collector>(*phase_);
    sink_->Setup(manager_, 8);
    for (int i = 0; i < 4; ++i) layouts_[i] = ZipLayout(static_cast<std::uint16_t>(i + 1));
  }
  ~ZipTest() override {
    ErrorUnwindScope quietly;
    Free(phase_);
  }
  VectorSource* Source(std::vector<std::string> records, int layout) {
    auto* s = CreateIn<VectorSource>(*phase_);
    s->Setup(manager_, std::move(records), &layouts_[layout]);
    return s;
  }
  TZipProcess* Zip(TProcess* side1, TProcess* side2) {
    auto* z = CreateIn<TZipProcess>(*phase_);
    z->Setup(manager_, 8, 8);
    side1->ConnectOutput(1, z->InputGate(1));
    side2->ConnectOutput(1, z->InputGate(2));
    return z;
  }
  std::string Labels() const {
    std::string out;
    for (const std::string& r : sink_->records) out += r.substr(3, 2) + " ";
    return out;
  }

  TMemoryLayer* phase_;
  TProcessManager* manager_;
  Collector* sink_;
  TFileLayout layouts_[4];
};

TEST_F(ZipTest, EqualKeysPassSideOneFirstAndTheResultIsKeyOrdered) {
  auto* a = Source(Records({"AAA", "BBB", "DDD"}, 'a'), 0);
  auto* b = Source(Records({"AAA", "CCC", "DDD", "EEE"}, 'b'), 1);
  auto* zip = Zip(a, b);
  zip->ConnectOutput(1, sink_->InputGate(1));
  manager_->Run(*zip, &PushLayer, *phase_);
  EXPECT_EQ(Labels(), "a0 b0 a1 b1 a2 b2 b3 ");
  EXPECT_EQ(sink_->tags[1], &layouts_[1]);
}

TEST_F(ZipTest, ZipRemovesItselfWhenSideTwoRunsOutAndSideOneFeedsTheTargetDirectly) {
  auto* a = Source(Records({"BBB", "CCC", "DDD"}, 'a'), 0);
  auto* b = Source(Records({"AAA"}, 'b'), 1);
  auto* zip = Zip(a, b);
  zip->ConnectOutput(1, sink_->InputGate(1));
  manager_->Run(*zip, &PushLayer, *phase_);
  EXPECT_EQ(Labels(), "b0 a0 a1 a2 ");
  // What remains: the source wired straight to the target.
  EXPECT_EQ(sink_->InputGate(1).source, &a->OutputGate(1));
  EXPECT_EQ(manager_->RunOrder().size(), 2u);
}

TEST_F(ZipTest, ChainOfZipsFollowsTheSurvivingGenerator) {
  auto* a = Source(Records({"AAA", "EEE", "FFF"}, 'a'), 0);
  auto* b = Source(Records({"BBB"}, 'b'), 1);
  auto* c = Source(Records({"CCC", "GGG"}, 'c'), 2);
  auto* inner = Zip(a, b);
  auto* outer = Zip(inner, c);
  outer->ConnectOutput(1, sink_->InputGate(1));
  manager_->Run(*outer, &PushLayer, *phase_);
  EXPECT_EQ(Labels(), "a0 b0 c0 a1 a2 c1 ");
}

TEST_F(ZipTest, SideWithoutRecordsOrWithoutSourceIsATrap) {
  auto* a = Source(Records({"AAA"}, 'a'), 0);
  auto* empty = Source({}, 1);
  auto* zip = Zip(a, empty);
  zip->ConnectOutput(1, sink_->InputGate(1));
  EXPECT_EQ(FatalTextOf([&] { manager_->Run(*zip, &PushLayer, *phase_); }),
            "Trap: TZipGate.Open: no input");
}

TEST_F(ZipTest, UnconnectedSideIsATrap) {
  auto* a = Source(Records({"AAA"}, 'a'), 0);
  auto* zip = CreateIn<TZipProcess>(*phase_);
  zip->Setup(manager_, 8, 8);
  a->ConnectOutput(1, zip->InputGate(1));
  zip->ConnectOutput(1, sink_->InputGate(1));
  EXPECT_EQ(FatalTextOf([&] { manager_->Run(*zip, &PushLayer, *phase_); }),
            "Trap: TZipGate.Open: not connected");
}

}  // namespace
}  // namespace vld
