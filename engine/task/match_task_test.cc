#include "engine/task/match_task.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "engine/pipeline/task_thread.h"
#include "engine/runtime/heap.h"
#include "matching/key_building.h"
#include "matching/match_derive.h"
#include "platform/codepage.h"
#include "platform/test_support.h"

namespace vld {
namespace {

// Records of 60 bytes and CR LF: first name 1..15, last name 16..35, street 36..55, PLZ 56..60.
constexpr int kLength = 62;

std::string Record(const std::string& first, const std::string& last, const std::string& street,
                   const std::string& plz) {
  auto field = [](std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
  };
  return field(first, 15) + field(last, 20) + field(street, 20) + field(plz, 5) + "\r\n";
}

bool AnyRange(std::string_view, std::int64_t, std::int64_t, std::int64_t) { return true; }

class RecordingFrontEnd : public TTaskFrontEnd {
 public:
  int Message(MessageKind kind, std::string_view text) override {
    std::lock_guard lock(mutex);
    lines.push_back(std::to_string(static_cast<int>(kind)) + ":" + std::string(text));
    return 1;
  }
  std::int64_t Counter(const CounterCall& call) override {
    if (call.op == CounterOp::kOpen) {
      names[next] = std::string(call.name);
      values[next] = call.value;
      return next++;
    }
    if (call.op == CounterOp::kSet) values[call.handle] = call.value;
    if (call.op == CounterOp::kAdd) values[call.handle] += call.value;
    if (call.op == CounterOp::kClose) finals[names[call.handle]] = values[call.handle];
    return 0;
  }
  bool Question(std::int64_t, std::int64_t) override { return true; }
  bool Said(const std::string& line) {
    std::lock_guard lock(mutex);
    for (const std::string& l : lines) {
      if (l == line) return true;
    }
    return false;
  }
  std::mutex mutex;
  std::vector<std::string> lines;
  std::map<std::int64_t, std::string> names;
  std::map<std::int64_t, std::int64_t> values;
  std::map<std::string, std::int64_t> finals;
  std::int64_t next = 1;
};

// A checked set built by hand, as the parameter check leaves it.
class MatchTaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("VELDRONA_BIN");
    tables_ = bin ? std::string(bin) + "/Tables" : "";
    if (tables_.empty() || !std::ifstream(tables_ + "/PHONETIC.MAP")) {
      GTEST_SKIP() << "the built tables are needed";
    }
  }

  std::string Out(const std::string& name) const { return dir_.File(name); }

  // Writes the input file and returns its record count.
  std::int64_t WriteInput(const std::vector<std::string>& records) {
    std::string all;
    for (const std::string& r : records) all += r;
    testing::WriteFile(dir_.File("kunden.txt"), all);
    return static_cast<std::int64_t>(records.size());
  }

  // Builds the set the task runs on into a fresh checking set.
  TParameterCheck* BuildSet(std::int64_t records) {
    auto* set = CreateIn<TParameterCheck>(StandardHeap());
    TParameterFields& f = set->Fields();
    f.recordLength = kLength;
    f.crlf = true;
    f.threshold = 100;
    f.tokenHurdle = 1;  // every token is hashed: the hash misses no pair
    f.hashHurdle = hashHurdle_;
    f.sortOutput = sortOutput_;
    f.mergeOptimisation = true;
    f.repeaterOptimisation = true;
    f.compareOptimisation = true;
    f.multiDuplicates = false;
    f.makeCompactFile = makeCompact_;
    f.darkInfoLength = 0;
    const std::string symbols = "GMSK+- = %:*+";
    std::copy(symbols.begin(), symbols.end(), f.symbols.begin());
    f.vectors[2] = set->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{56, 5}});
    f.vectors[3] = set->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{16, 20}, {1, 15}});
    f.vectors[7] = set->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{1, 15}, {16, 20}});
    TComponentEntry last;
    last.kind = ComponentKind::kNormal;
    last.wordHurdle = 2;
    last.base = 40;
    last.relative = 30;
    last.tokenHurdle = 0;
    TComponentEntry first = last;
    first.base = 10;
    first.relative = 20;
    first.prefix = true;
    std::vector<TSlotEntry> slots(2);
    slots[0].fields = set->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{16, 20}});
    slots[0].components = set->AddVector<TComponentEntry>(std::vector<TComponentEntry>{last});
    slots[1].fields = set->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{1, 15}});
    slots[1].components = set->AddVector<TComponentEntry>(std::vector<TComponentEntry>{first});
    f.vectors[4] = set->AddVector<TSlotEntry>(slots);
    DeriveRecordLengths(f);
    EXPECT_TRUE(DeriveOutputSortRecord(*set, AnyRange));
    EXPECT_TRUE(BuildComponentList(*set));
    EXPECT_TRUE(DeriveMatchRecord(*set, AnyRange));
    EXPECT_TRUE(DeriveListAndInfoLengths(*set, AnyRange));
    DeriveComponents(*set);
    TInputFileEntry input;
    input.number = 1;
    input.type = InputFileType::kGrund;
    input.priority = 2;
    input.recordCount = records;
    input.blueRecordLength = f.classRecordLength;
    input.outputRecordLength = f.outputRecordLength;
    input.classRecordLength = f.classRecordLength;
    input.fileNumberPosition = f.fileNumberPosition;
    input.classKeyPosition = f.classKeyPosition;
    input.classKeyLength = f.classKeyLength;
    input.matchKeyPosition = f.matchKeyPosition;
    input.matchKeyLength = f.matchKeyLength;
    input.componentOffsetsPosition = f.componentOffsetsPosition;
    input.flagPosition = f.flagPosition;
    input.outSortRecordLength = f.outSortRecordLength;
    input.outFileNumberPosition = f.outFileNumberPosition;
    input.outSortKeyPosition = f.outSortKeyPosition;
    input.outSortKeyLength = f.outSortKeyLength;
    input.file.name = set->AddText(dir_.File("kunden.txt"));
    input.file.code = 5001;
    input.file.state = 0;
    std::vector<TInputFileEntry> inputs{input};
    if (!compactInput_.empty()) {
      // A compact dark file: its records are compact records of this set's layout.
      const TCompactLayout c = TCompactLayout::Of(*set);
      TInputFileEntry k = input;
      k.number = 2;
      k.type = InputFileType::kKompaktsperr;
      k.priority = 1;
      k.blueRecordLength = static_cast<std::uint16_t>(c.length);
      k.classKeyPosition = static_cast<std::uint16_t>(c.classKeyOffset + 1);
      k.componentOffsetsPosition = static_cast<std::uint16_t>(c.offsetsOffset + 1);
      k.matchKeyPosition = static_cast<std::uint16_t>(c.matchKeyOffset + 1);
      k.infoPosition = static_cast<std::uint16_t>(c.infoOffset + 1);
      k.infoLength = 0;
      const std::string image = testing::ReadFile(compactInput_);
      const std::int64_t headerBytes = static_cast<std::uint8_t>(image[40]) |
                                       (static_cast<std::uint8_t>(image[41]) << 8);
      k.recordCount = (static_cast<std::int64_t>(image.size()) - headerBytes) / c.length;
      k.file.name = set->AddText(compactInput_);
      k.file.code = 5002;
      inputs.push_back(k);
    }
    f.vectors[1] = set->AddVector<TInputFileEntry>(inputs);
    f.totalRecords = records;
    f.fileTypeCounts = {1, 0, 0, 0};
    const std::map<int, const char*> names = {{6, "k.out"},  {7, "k.mlt"},  {8, "k.dup"},
                                              {9, "k.lst"},  {10, "k.dat"}, {11, "k.mpr"},
                                              {13, "k.cmp"}, {15, "k1.tmp"}, {16, "k2.tmp"},
                                              {17, "k3.tmp"}, {18, "k4.tmp"}};
    for (const auto& [code, name] : names) set->SetFile(code, dir_.File(name));
    return set;
  }

  // Runs one task on `records`; returns its outcome.
  TaskResult RunTask(std::int64_t records, RecordingFrontEnd& front) {
    TMatchDocument document;
    TMatchTaskOptions options;
    options.runTitle = "\"Test\"";
    options.stepwise = stepwise_;
    options.document = &document;
    options.load = [&](TMemorySpace& target, bool, const ParameterMessageSink&,
                       const JournalSink&) {
      TParameterCheck* set = BuildSet(records);
      TLoadedParameters loaded;
      loaded.set = TParameter::Copy(target, set);
      Free(set);
      loaded.tables = CreateIn<TMatchTables>(target);
      loaded.tables->phonetic = LoadNormalizer(tables_ + "/PHONETIC.MAP", "PHONETIC.MAP");
      loaded.tables->simple = LoadNormalizer(tables_ + "/SIMPLE.MAP", "SIMPLE.MAP");
      loaded.tables->darkLists->BuildIdentifierMap();
      return loaded;
    };
    TMatchTask task(std::move(options));
    TTaskThread thread(front, [&] { return task.Run(); }, [&] { task.Release(); });
    thread.Start();
    return thread.Wait();
  }

  static std::int64_t Lines(const std::string& file, std::size_t length) {
    return static_cast<std::int64_t>(testing::ReadFile(file).size() / length);
  }

  std::vector<std::string> Sample(int persons, unsigned seed) {
    std::mt19937 rng(seed);
    const char* firsts[] = {"Hans", "Anna", "Peter", "Maria", "Karl", "Eva", "Otto", "Ute"};
    const char* lasts[] = {"Meier", "Schulz", "Bauer", "Koch", "Wagner", "Becker", "Hoffmann",
                           "Schmidt", "Fischer", "Weber"};
    const char* plzs[] = {"10115", "20095", "80331", "50667"};
    std::vector<std::string> records;
    for (int i = 0; i < persons; ++i) {
      const std::string first = firsts[rng() % 8], last = lasts[rng() % 10];
      const std::string plz = plzs[rng() % 4];
      const std::string street = "Weg " + std::to_string(rng() % 50);
      records.push_back(Record(first, last, street, plz));
      if (rng() % 3 == 0) records.push_back(Record(first.substr(0, 1) + ".", last, street, plz));
    }
    std::shuffle(records.begin(), records.end(), rng);
    return records;
  }

  testing::TempDir dir_;
  std::string tables_;
  std::uint32_t hashHurdle_ = 1000000;
  bool sortOutput_ = false;
  bool stepwise_ = false;
  bool makeCompact_ = false;
  std::string compactInput_;
};

TEST_F(MatchTaskTest, WholeTaskAccountsForEveryRecordAndEndsWithFertig) {
  const std::int64_t n = WriteInput(Sample(300, 1));
  RecordingFrontEnd front;
  ASSERT_EQ(RunTask(n, front), TaskResult::kDone);
  EXPECT_TRUE(front.Said("3:\rFertig."));
  const std::int64_t singles = Lines(Out("k.out"), kLength);
  const std::int64_t multis = Lines(Out("k.mlt"), kLength);
  const std::int64_t duplicates = Lines(Out("k.dup"), kLength);
  EXPECT_EQ(singles + multis + duplicates, n);
  EXPECT_GT(duplicates, 0);
  EXPECT_GT(testing::ReadFile(Out("k.lst")).size(), 0u);
  EXPECT_GT(testing::ReadFile(Out("k.dat")).size(), 0u);
  EXPECT_FALSE(std::ifstream(Out("k1.tmp"))) << "temporary files are deleted";
  EXPECT_FALSE(std::ifstream(Out("k2.tmp")));
  EXPECT_FALSE(std::ifstream(Out("k.out.unfertig")));
  // Every output record is an input record (the line end is at its end again).
  const std::string input = testing::ReadFile(dir_.File("kunden.txt"));
  const std::string out = testing::ReadFile(Out("k.out"));
  for (std::size_t at = 0; at < out.size(); at += kLength) {
    EXPECT_NE(input.find(out.substr(at, kLength)), std::string::npos);
  }
}

TEST_F(MatchTaskTest, TokenHashFindsTheSameGroupsAsAllAgainstAll) {
  // Which record of a group becomes its head may differ with the order of the comparisons;
  // the groups, and so the counts, may not.
  const std::int64_t n = WriteInput(Sample(400, 2));
  RecordingFrontEnd front;
  ASSERT_EQ(RunTask(n, front), TaskResult::kDone);
  const std::int64_t singles = Lines(Out("k.out"), kLength);
  const std::int64_t duplicates = Lines(Out("k.dup"), kLength);
  hashHurdle_ = 2;
  RecordingFrontEnd hashed;
  ASSERT_EQ(RunTask(n, hashed), TaskResult::kDone);
  EXPECT_EQ(Lines(Out("k.out"), kLength), singles);
  EXPECT_EQ(Lines(Out("k.dup"), kLength), duplicates);
}

TEST_F(MatchTaskTest, SortedOutputHoldsTheSameRecordsInKeyOrder) {
  const std::int64_t n = WriteInput(Sample(200, 3));
  RecordingFrontEnd plain;
  ASSERT_EQ(RunTask(n, plain), TaskResult::kDone);
  const std::string unsorted = testing::ReadFile(Out("k.out"));
  sortOutput_ = true;
  RecordingFrontEnd front;
  ASSERT_EQ(RunTask(n, front), TaskResult::kDone);
  const std::string sorted = testing::ReadFile(Out("k.out"));
  std::vector<std::string> a, b;
  for (std::size_t at = 0; at < unsorted.size(); at += kLength) a.push_back(unsorted.substr(at, kLength));
  for (std::size_t at = 0; at < sorted.size(); at += kLength) b.push_back(sorted.substr(at, kLength));
  ASSERT_EQ(a.size(), b.size());
  std::vector<std::string> aSorted = a;
  std::sort(aSorted.begin(), aSorted.end());
  std::vector<std::string> bSorted = b;
  std::sort(bSorted.begin(), bSorted.end());
  EXPECT_EQ(aSorted, bSorted);
  // Ordered by last name, then first name (upper case).
  for (std::size_t i = 1; i < b.size(); ++i) {
    const std::string k1 = UpperCase437(b[i - 1].substr(15, 20) + b[i - 1].substr(0, 15));
    const std::string k2 = UpperCase437(b[i].substr(15, 20) + b[i].substr(0, 15));
    EXPECT_LE(k1, k2);
  }
}

TEST_F(MatchTaskTest, StepwiseRunStopsAfterSortingAndTheNextResumes) {
  const std::int64_t n = WriteInput(Sample(100, 4));
  stepwise_ = true;
  RecordingFrontEnd first;
  ASSERT_EQ(RunTask(n, first), TaskResult::kStepDone);
  EXPECT_TRUE(first.Said("3:Stufenweise & keine Temporärdarei ->..."));
  EXPECT_TRUE(std::ifstream(Out("k2.tmp"))) << "the merged file stays";
  RecordingFrontEnd second;
  ASSERT_EQ(RunTask(n, second), TaskResult::kDone);
  EXPECT_TRUE(second.Said("3:Stufenweise & Temporärdarei ->..."));
  EXPECT_FALSE(std::ifstream(Out("k2.tmp")));
  EXPECT_EQ(Lines(Out("k.out"), kLength) + Lines(Out("k.mlt"), kLength) +
                Lines(Out("k.dup"), kLength),
            n);
}

TEST_F(MatchTaskTest, FileErrorMidTaskEndsWithItsErrorLineAndNoCompleteOutput) {
  const std::int64_t n = WriteInput(Sample(300, 5));
  FileFaultInjection() = {};
  FileFaultInjection().failWriteAt = 6;
  RecordingFrontEnd front;
  EXPECT_EQ(RunTask(n, front), TaskResult::kFailed);
  FileFaultInjection() = {};
  EXPECT_FALSE(front.Said("3:\rFertig."));
  ASSERT_FALSE(front.lines.empty());
  EXPECT_EQ(front.lines.back().substr(0, 2), "4:");
  EXPECT_FALSE(std::ifstream(Out("k.out"))) << "no output that looks complete";
  RecordingFrontEnd again;
  EXPECT_EQ(RunTask(n, again), TaskResult::kDone) << "a rerun succeeds";
}

TEST_F(MatchTaskTest, CompactDarkFileBlocksTheRecordsItHolds) {
  // A compact dark file made from some records blocks them in the next match.
  const std::vector<std::string> blocked = {Record("Hans", "Meier", "Weg 1", "10115"),
                                            Record("Anna", "Koch", "Weg 2", "20095")};
  WriteInput(blocked);
  makeCompact_ = true;
  RecordingFrontEnd making;
  ASSERT_EQ(RunTask(2, making), TaskResult::kDone);
  ASSERT_TRUE(std::ifstream(Out("k.cmp")));
  testing::WriteFile(dir_.File("sperre.cmp"), testing::ReadFile(Out("k.cmp")));
  makeCompact_ = false;
  compactInput_ = dir_.File("sperre.cmp");
  const std::int64_t n = WriteInput({Record("Hans", "Meier", "Weg 1", "10115"),
                                     Record("Otto", "Schulz", "Weg 3", "10115"),
                                     Record("Anna", "Koch", "Weg 2", "20095")});
  RecordingFrontEnd front;
  ASSERT_EQ(RunTask(n, front), TaskResult::kDone);
  EXPECT_EQ(Lines(Out("k.out"), kLength), 1) << "only Otto Schulz is left";
  EXPECT_EQ(Lines(Out("k.dup"), kLength), 2);
}

}  // namespace
}  // namespace vld
