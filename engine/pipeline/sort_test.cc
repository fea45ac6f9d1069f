#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/pipeline/pipeline_test_util.h"
#include "engine/pipeline/select.h"
#include "engine/runtime/heap.h"
#include "engine/runtime/layers.h"
#include "engine/runtime/process_manager.h"
#include "engine/runtime/producers.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::Collector;
using testing::FatalTextOf;
using testing::VectorSource;

constexpr int kRecord = 32;
constexpr int kKeyPosition = 5;
constexpr int kKeyLength = 12;

TFileLayout MakeLayout(std::uint16_t number) {
  TFileLayout l;
  l.number = number;
  l.classRecordLength = kRecord;
  l.fileNumberPosition = 1;
  l.classKeyPosition = kKeyPosition;
  l.classKeyLength = kKeyLength;
  return l;
}

// Records: file number 1 at byte 0, a key over a small alphabet (many equal keys), and the
// record's input position at the end so that stability is visible.
std::vector<std::string> RandomRecords(int count, unsigned seed, int alphabet = 4) {
  std::mt19937 rng(seed);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    std::string r(kRecord, ' ');
    r[0] = 1;
    r[1] = 0;
    for (int k = 0; k < kKeyLength; ++k) {
      r[kKeyPosition - 1 + k] = static_cast<char>(k < 3 ? 'A' + rng() % alphabet : 0x80 + rng() % 3);
    }
    const std::string n = std::to_string(i);
    r.replace(kRecord - n.size(), n.size(), n);
    out.push_back(r);
  }
  return out;
}

std::vector<std::string> StableSorted(std::vector<std::string> records) {
  std::stable_sort(records.begin(), records.end(), [](const std::string& a, const std::string& b) {
    return std::memcmp(a.data() + kKeyPosition - 1, b.data() + kKeyPosition - 1, kKeyLength) < 0;
  });
  return records;
}

TEST(KeyTest, KeysCompareAsUnsignedBytesOverTheShorterLength) {
  struct Case {
    std::string a, b;
    bool less;
  } cases[] = {
      {"ABC", "ABCD", false},         {"ABCD", "ABC", false},
      {"ABC", "ABD", true},           {"\x7f", "\x80", true},
      {"ABCDEFGH1", "ABCDEFGH2", true}, {"ABCDEFGH", "ABCDEFGI", true},
      {"", "A", false},               {"ABCDEFGHIJ", "ABCDEFGHI", false},
      {"ABCDEFGZ", "ABCDEFGHIJ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " < " + c.b);
    EXPECT_EQ(KeyLess(reinterpret_cast<const std::uint8_t*>(c.a.data()), c.a.size(),
                      reinterpret_cast<const std::uint8_t*>(c.b.data()), c.b.size()),
              c.less);
  }
}

TEST(SortPlanTest, PlanFollowsTheWorkingMemory) {
  const TSortPlan plan = ComputeSortPlan(1 << 20, 100000, 200);
  EXPECT_EQ(plan.memory, (1 << 20) - (1 << 20) / 20);
  EXPECT_EQ(plan.entrySize, 208 + TreeEntryOverhead());
  EXPECT_EQ(plan.capacity, (plan.memory - 2 * 62259) / plan.entrySize);
  EXPECT_EQ(plan.maxRuns, 100000 / plan.capacity + 10);
  EXPECT_GE(plan.ioBuffer, 4096);
  EXPECT_LE(plan.ioBuffer, 65536);
  // The plan's tree, queues and two port buffers fit the memory.
  EXPECT_LE(plan.capacity * plan.entrySize + 2 * plan.ioBuffer, plan.memory);
  EXPECT_EQ(ComputeSortPlan(1 << 20, 5, 200).capacity, 5);
}

TEST(SortPlanTest, TooLittleMemoryForTwoRecordsIsAGermanMessage) {
  EXPECT_EQ(testing::ErrorTextOf<EUserError>([] { ComputeSortPlan(10000, 1000, 8192); }),
            "Der Arbeitsspeicher reicht nicht zum Sortieren: 10000 B genügen nicht für zwei "
            "Datensätze zu 8192 B. Bitte erhöhen Sie die untere Speichergrenze.");
  EXPECT_NE(testing::ErrorTextOf<EUserError>([] { CheckRunsMergeable(1025); }), "");
  EXPECT_EQ(testing::ErrorTextOf<EUserError>([] { CheckRunsMergeable(1024); }), "");
}

TEST(QueueTest, RunsAreCumulativeAndMisuseIsFatal) {
  auto* q = CreateIn<TQueue>(StandardHeap());
  q->Prepare(2);
  q->Push(10);
  q->Push(25);
  EXPECT_EQ(FatalTextOf([&] { q->Push(30); }), "queue overflow at sort");
  std::int64_t start, length;
  q->Pop(start, length);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(length, 10);
  q->Pop(start, length);
  EXPECT_EQ(start, 10);
  EXPECT_EQ(length, 15);
  EXPECT_EQ(FatalTextOf([&] { q->Pop(start, length); }), "queue underflow at sort");
  Free(q);
}

// Selection into a file, then merge of its runs, as the task does.
class ExternalSortTest : public ::testing::Test {
 protected:
  ExternalSortTest() : base_(CreateWithArena<TMemoryLayer>(StandardHeap(), 16 << 20)) {
    layout_ = MakeLayout(1);
    descriptors_ = {&layout_};
  }
  ~ExternalSortTest() override {
    ErrorUnwindScope quietly;
    Free(base_);
  }

  struct Result {
    std::vector<std::int64_t> runLengths;
    std::vector<std::string> records;
  };

  // Runs the selection with `capacity` leaves; returns the run lengths.
  std::vector<std::int64_t> Select(const std::vector<std::string>& input, std::int64_t capacity,
                                   std::uint8_t mode = kModeSend) {
    TMemoryLayer* phase = PushLayer(*base_);
    auto* manager = CreateIn<TProcessManager>(*phase);
    auto* source = CreateIn<VectorSource>(*phase);
    auto* select = CreateIn<TSelect>(*phase);
    auto* sink = CreateIn<TConsumer>(*phase);
    source->Setup(manager, input, &layout_, mode);
    select->Setup(manager, kRecord, queue_, capacity, KeyMode::kClassKey, kKeyLength);
    sink->Setup(manager, kRecord, "Temp1", dir_.File("temp1"), 4096);
    source->ConnectOutput(1, select->InputGate(1));
    select->ConnectOutput(1, sink->InputGate(1));
    manager->Run(*source, &PushLayer, *phase);
    Free(phase);
    // Read the run lengths and keep the runs for a merge.
    std::vector<std::int64_t> lengths;
    auto* copy = CreateIn<TQueue>(*base_);
    copy->Prepare(queue_->Runs());
    while (queue_->Runs() > 0) {
      std::int64_t start, length;
      queue_->Pop(start, length);
      lengths.push_back(length);
      copy->Push(start + length);
    }
    queue_ = copy;
    return lengths;
  }

  std::vector<std::string> Merge(std::int64_t runs) {
    TMemoryLayer* phase = PushLayer(*base_);
    auto* manager = CreateIn<TProcessManager>(*phase);
    auto* merge = CreateIn<TMerge>(*phase);
    auto* sink = CreateIn<Collector>(*phase);
    auto* out = CreateIn<TQueue>(*phase);
    out->Prepare(1);
    merge->Setup(manager, kRecord, out, queue_, runs, KeyMode::kClassKey, kKeyLength, "Temp1",
                 dir_.File("temp1"), 1, descriptors_, 4096);
    sink->Setup(manager, kRecord);
    merge->ConnectOutput(1, sink->InputGate(1));
    manager->Run(*merge, &PushLayer, *phase);
    std::vector<std::string> records = sink->records;
    EXPECT_EQ(out->Runs(), 1);
    Free(phase);
    return records;
  }

  Result Sort(const std::vector<std::string>& input, std::int64_t capacity) {
    queue_ = CreateIn<TQueue>(*base_);
    queue_->Prepare(kMaxQueueRuns);
    Result r;
    r.runLengths = Select(input, capacity);
    r.records = Merge(static_cast<std::int64_t>(r.runLengths.size()));
    return r;
  }

  testing::TempDir dir_;
  TMemoryLayer* base_;
  TFileLayout layout_;
  std::vector<const TFileLayout*> descriptors_;
  TQueue* queue_ = nullptr;
};

TEST_F(ExternalSortTest, OutputEqualsStableSortAcrossMemoryBudgets) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const std::vector<std::string> input = RandomRecords(3000, seed);
    for (std::int64_t capacity : {std::int64_t{3000}, std::int64_t{400}, std::int64_t{2}}) {
      SCOPED_TRACE(::testing::Message() << "seed " << seed << " capacity " << capacity);
      const Result r = Sort(input, capacity);
      const std::size_t runs = r.runLengths.size();
      EXPECT_TRUE(capacity == 3000 ? runs == 1 : capacity == 400 ? runs > 1 : runs > 500) << runs;
      EXPECT_LE(r.runLengths.size(), static_cast<std::size_t>(kMaxMergeRuns));
      EXPECT_EQ(r.records, StableSorted(input));
    }
  }
}

TEST_F(ExternalSortTest, SortedInputGivesOneRunAndDescendingGivesRunsOfCapacity) {
  const std::vector<std::string> input = StableSorted(RandomRecords(500, 9, 26));
  queue_ = CreateIn<TQueue>(*base_);
  queue_->Prepare(100);
  EXPECT_EQ(Select(input, 50), (std::vector<std::int64_t>{500}));
  // Distinct descending keys: every new record is late.
  std::vector<std::string> descending;
  for (int i = 0; i < 120; ++i) {
    std::string r(kRecord, ' ');
    r[0] = 1;
    r[1] = 0;
    const std::string key = std::to_string(9000 - i);
    r.replace(kKeyPosition - 1, key.size(), key);
    descending.push_back(r);
  }
  queue_ = CreateIn<TQueue>(*base_);
  queue_->Prepare(100);
  EXPECT_EQ(Select(descending, 50), (std::vector<std::int64_t>{50, 50, 20}));
}

TEST_F(ExternalSortTest, FewRecordsAndEmptyInputGiveOneRunWithoutFillers) {
  const std::vector<std::string> three = RandomRecords(3, 4);
  const Result r = Sort(three, 100);
  EXPECT_EQ(r.runLengths, (std::vector<std::int64_t>{3}));
  EXPECT_EQ(r.records, StableSorted(three));
  const Result empty = Sort({}, 100);
  EXPECT_EQ(empty.runLengths, (std::vector<std::int64_t>{0}));
  EXPECT_TRUE(empty.records.empty());
}

TEST_F(ExternalSortTest, RecordEqualToTheLastSentStaysInTheCurrentRun) {
  std::vector<std::string> input;
  for (const char* key : {"B", "B", "A", "B"}) {
    std::string r(kRecord, ' ');
    r[0] = 1;
    r[1] = 0;
    r[kKeyPosition - 1] = key[0];
    input.push_back(r);
  }
  queue_ = CreateIn<TQueue>(*base_);
  queue_->Prepare(10);
  // Capacity 1: B is sent when B arrives (equal, not late), A is late, B arrives after A...
  EXPECT_EQ(Select(input, 1), (std::vector<std::int64_t>{2, 2}));
}

TEST_F(ExternalSortTest, CallingUpstreamCannotOverwriteWhatTheTreeHolds) {
  const std::vector<std::string> input = RandomRecords(200, 5);
  queue_ = CreateIn<TQueue>(*base_);
  queue_->Prepare(kMaxQueueRuns);
  const auto runs = Select(input, 50, kModeCall);
  EXPECT_EQ(Merge(static_cast<std::int64_t>(runs.size())), StableSorted(input));
}

TEST_F(ExternalSortTest, MergeOfASingleRunCopiesItUnchanged) {
  const std::vector<std::string> input = StableSorted(RandomRecords(300, 6));
  const Result r = Sort(input, 1000);
  EXPECT_EQ(r.records, input);
}

TEST_F(ExternalSortTest, MergedRecordWithAForeignFileNumberIsATrap) {
  std::vector<std::string> input = RandomRecords(10, 7);
  input[4][0] = 9;  // no input file 9
  queue_ = CreateIn<TQueue>(*base_);
  queue_->Prepare(10);
  const auto runs = Select(input, 100);
  EXPECT_EQ(FatalTextOf([&] { Merge(static_cast<std::int64_t>(runs.size())); }),
            "Trap: TMerge.Signal");
}

TEST_F(ExternalSortTest, EndsCleanlyWhicheverWriteOrReadFails) {
  const std::vector<std::string> input = RandomRecords(2000, 8);
  for (bool reads : {false, true}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(::testing::Message() << (reads ? "read " : "write ") << n);
      FileFaultInjection() = {};
      (reads ? FileFaultInjection().failReadAt : FileFaultInjection().failWriteAt) = n;
      std::string error;
      Result r;
      TMemoryLayer* attempt = PushLayer(*base_);
      TMemoryLayer* saved = base_;
      base_ = attempt;
      try {
        r = Sort(input, 100);
      } catch (const EInOutError& e) {
        error = e.what();
      }
      const bool injected = FileFaultInjection().injected;
      FileFaultInjection() = {};
      base_ = saved;
      {
        ErrorUnwindScope quietly;
        Free(attempt);
      }
      if (!injected) {
        EXPECT_EQ(error, "");
        EXPECT_EQ(r.records, StableSorted(input));
        EXPECT_GT(n, 10) << "the sort reads and writes in many blocks";
        break;
      }
      EXPECT_NE(error, "");
    }
  }
}

}  // namespace
}  // namespace vld
