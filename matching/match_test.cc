#include "matching/match.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/pipeline/pipeline_test_util.h"
#include "engine/runtime/heap.h"
#include "engine/runtime/process_manager.h"
#include "matching/match_derive.h"
#include "matching/match_key.h"
#include "platform/codepage.h"
#include "platform/test_support.h"

namespace vld {
namespace {

using testing::Collector;

// Records of 40 bytes: name 1..20, postal code 21..25 (the class key), city 26..40.
constexpr int kRecord = 40;

std::size_t Upper(std::uint8_t* b, std::size_t n) {
  UpperCase437InPlace(std::span(b, n));
  return n;
}

bool AnyRange(std::string_view, std::int64_t, std::int64_t, std::int64_t) { return true; }

// Sends match records with the tag of their input file.
class TaggedSource : public TGenerator {
 public:
  void Setup(TProcessManager* manager, std::int32_t size) {
    Register(*this, manager);
    ActivateOutput(1, kModeCall, size);
    size_ = size;
  }
  void Open(TMemorySpace& space) override {
    buffer_ = static_cast<std::uint8_t*>(space.Alloc(size_));
    next_ = 0;
  }
  bool Step() override {
    if (next_ == records.size()) return false;
    std::memcpy(buffer_, records[next_].first.data(), records[next_].first.size());
    OutputGate(1).Call(static_cast<std::int32_t>(records[next_].first.size()),
                       records[next_].second, buffer_);
    ++next_;
    return true;
  }
  std::vector<std::pair<std::string, const TInputFileEntry*>> records;

 private:
  std::int32_t size_ = 0;
  std::uint8_t* buffer_ = nullptr;
  std::size_t next_ = 0;
};

class MatchTest : public ::testing::Test {
 protected:
  MatchTest()
      : set_(CreateIn<TParameterCheck>(StandardHeap())),
        lists_(CreateIn<TDarkLists>(StandardHeap())),
        memory_(CreateWithArena<TMemoryLayer>(StandardHeap(), 16 << 20)),
        classMemory_(CreateWithArena<TMemoryLayer>(StandardHeap(), 16 << 20)) {
    TParameterFields& f = set_->Fields();
    f.recordLength = kRecord;
    f.threshold = 100;
    f.hashHurdle = 1000;
    const std::string symbols = "GMSKHDFKNORBP";
    std::copy(symbols.begin(), symbols.end(), f.symbols.begin());
    f.vectors[2] = set_->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{21, 5}});
    f.vectors[7] = set_->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{1, 20}});
    TComponentEntry name;
    name.kind = ComponentKind::kNormal;
    name.wordHurdle = 1;
    name.base = 50;
    name.relative = 50;
    name.tokenHurdle = 0;
    TSlotEntry slot;
    slot.kind = SlotKind::kNormal;
    slot.fields = set_->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{1, 20}});
    slot.components = set_->AddVector<TComponentEntry>(std::vector<TComponentEntry>{name});
    f.vectors[4] = set_->AddVector<TSlotEntry>(std::vector<TSlotEntry>{slot});
    lists_->BuildIdentifierMap();
    for (int i = 0; i < 256; ++i) boundary_[i] = static_cast<std::uint8_t>(i);
  }
  ~MatchTest() override {
    ErrorUnwindScope quietly;
    Free(memory_);
    Free(classMemory_);
    Free(lists_);
    Free(set_);
  }

  // Input files of the given types, numbered from 1, with the set's layout.
  void Files(std::vector<InputFileType> types, std::vector<std::uint16_t> priorities = {}) {
    TParameterFields& f = set_->Fields();
    DeriveRecordLengths(f);
    ASSERT_TRUE(BuildComponentList(*set_));
    ASSERT_TRUE(DeriveMatchRecord(*set_, AnyRange));
    ASSERT_TRUE(DeriveListAndInfoLengths(*set_, AnyRange));
    DeriveComponents(*set_);
    std::vector<TInputFileEntry> entries;
    for (std::size_t i = 0; i < types.size(); ++i) {
      TInputFileEntry e;
      e.number = static_cast<std::uint16_t>(i + 1);
      e.type = types[i];
      const int rank = types[i] == InputFileType::kMaster ? 0 : types[i] == InputFileType::kGrund ? 2 : 1;
      e.priority = static_cast<std::uint16_t>((i < priorities.size() ? priorities[i] : 0) * 4 + rank);
      e.recordCount = 0;
      e.classRecordLength = f.classRecordLength;
      e.fileNumberPosition = f.fileNumberPosition;
      e.classKeyPosition = f.classKeyPosition;
      e.classKeyLength = f.classKeyLength;
      e.matchKeyPosition = f.matchKeyPosition;
      e.matchKeyLength = f.matchKeyLength;
      e.componentOffsetsPosition = f.componentOffsetsPosition;
      e.flagPosition = f.flagPosition;
      e.outputRecordLength = f.outputRecordLength;
      entries.push_back(e);
    }
    f.vectors[1] = set_->AddVector<TInputFileEntry>(entries);
  }
  const TInputFileEntry* File(int number) { return &set_->InputFiles()[number - 1]; }

  // A match record of `name` in class `plz` from input file `file`.
  std::pair<std::string, const TInputFileEntry*> Record(const std::string& name,
                                                        const std::string& plz, int file,
                                                        const std::string& tail = "") {
    const TParameterFields& f = set_->Fields();
    std::string r = name;
    r.resize(20, ' ');
    r += plz;
    r += tail;
    r.resize(kRecord, ' ');
    r.resize(f.matchRecordLength, '\0');
    r[f.fileNumberPosition - 1] = static_cast<char>(file);
    std::memcpy(r.data() + f.classKeyPosition - 1, plz.data(), 5);
    TKeyTables tables;
    tables.phonetic = Upper;
    tables.darkLists = lists_;
    TMatchKeyBuilder builder(*set_, tables);
    builder.Build(*File(file), reinterpret_cast<std::uint8_t*>(r.data()));
    return {r, File(file)};
  }

  struct Outputs {
    std::vector<std::string> single, multi, duplicates, list;
    TMatchCounters counters;
  };
  // Runs TMatch over `records` (sorted by class key by the caller).
  Outputs Run(const std::vector<std::pair<std::string, const TInputFileEntry*>>& records,
              std::vector<std::pair<std::string, std::string>>* pairs = nullptr,
              bool twoCores = true) {
    for (TInputFileEntry& e : set_->InputFiles()) e.recordCount = 0;
    for (const auto& r : records) ++set_->InputFiles()[r.second->number - 1].recordCount;
    TMemoryLayer* phase = PushLayer(*memory_);
    auto* manager = CreateIn<TProcessManager>(*phase);
    auto* source = CreateIn<TaggedSource>(*phase);
    auto* m = CreateIn<TMatch>(*phase);
    Collector* sinks[5];
    source->Setup(manager, set_->Fields().matchRecordLength);
    source->records = records;
    m->Setup(manager, *set_, *lists_, boundary_, *classMemory_, nullptr, "");
    m->parallelCompare = twoCores;
    if (pairs) {
      m->onCompare = [pairs](const TMatch::Node& a, const TMatch::Node& b, int verdict) {
        if (verdict == 0) return;
        std::string x(reinterpret_cast<const char*>(a.record), 20), y(reinterpret_cast<const char*>(b.record), 20);
        if (y < x) std::swap(x, y);
        pairs->emplace_back(x, y);
      };
    }
    source->ConnectOutput(1, m->InputGate(1));
    for (int g = 0; g < 4; ++g) {
      sinks[g] = CreateIn<Collector>(*phase);
      sinks[g]->Setup(manager, g == 3 ? set_->Fields().listRecordLength : set_->Fields().outputRecordLength);
      m->ConnectOutput(g + 1, sinks[g]->InputGate(1));
    }
    try {
      manager->Run(*source, &PushLayer, *phase);
    } catch (...) {
      Free(phase);  // ends the matcher, and with it its second core
      throw;
    }
    Outputs out;
    auto names = [](const std::vector<std::string>& rs, std::size_t length) {
      std::vector<std::string> v;
      for (const std::string& r : rs) {
        std::string s = r.substr(0, length);
        while (!s.empty() && s.back() == ' ') s.pop_back();
        v.push_back(s);
      }
      return v;
    };
    out.single = names(sinks[0]->records, 20);
    out.multi = names(sinks[1]->records, 20);
    out.duplicates = names(sinks[2]->records, 20);
    for (const std::string& line : sinks[3]->records) {
      std::string s = line.substr(0, line.size() - 2);
      while (!s.empty() && s.back() == ' ') s.pop_back();
      out.list.push_back(s);
    }
    out.counters = m->Counters();
    Free(phase);
    return out;
  }

  TParameterCheck* set_;
  TDarkLists* lists_;
  TMemoryLayer* memory_;
  TMemoryLayer* classMemory_;
  std::array<std::uint8_t, 256> boundary_{};
};

using Names = std::vector<std::string>;

TEST_F(MatchTest, ClassOfOneRecordGoesToSinglesWithoutListLine) {
  Files({InputFileType::kGrund});
  const Outputs out = Run({Record("MEIER", "10115", 1), Record("SCHULZ", "20095", 1)});
  EXPECT_EQ(out.single, (Names{"MEIER", "SCHULZ"}));
  EXPECT_TRUE(out.duplicates.empty());
  EXPECT_TRUE(out.list.empty());
}

TEST_F(MatchTest, HeadIsTheRecordWithTheSmallerPriorityKey) {
  Files({InputFileType::kGrund, InputFileType::kGrund}, {5, 1});
  const Outputs out = Run({Record("HANS MEIER", "10115", 1), Record("HANS MEIER", "10115", 2)});
  EXPECT_EQ(out.single, (Names{"HANS MEIER"}));
  EXPECT_EQ(out.duplicates, (Names{"HANS MEIER"}));
  // The list: an empty line, then the head (file 2, priority 1) and its duplicate.
  EXPECT_EQ(out.list, (Names{"", "HGKNHANS MEIER", "DGFNHANS MEIER"}));
  const Outputs multi = [&] {
    set_->Fields().multiDuplicates = true;
    return Run({Record("HANS MEIER", "10115", 1), Record("HANS MEIER", "10115", 2)});
  }();
  EXPECT_EQ(multi.multi, (Names{"HANS MEIER"})) << "the group spans two input files";
  EXPECT_TRUE(multi.single.empty());
}

TEST_F(MatchTest, DarkRecordLeadsTheBlockAndIsNeverOutput) {
  Files({InputFileType::kGrund, InputFileType::kSperr});
  const Outputs out = Run({Record("HANS MEIER", "10115", 1), Record("HANS MEIER", "10115", 2)});
  EXPECT_TRUE(out.single.empty());
  EXPECT_EQ(out.duplicates, (Names{"HANS MEIER"}));
  EXPECT_EQ(out.list, (Names{"", "DSKNHANS MEIER", "DGFNHANS MEIER"}));
}

TEST_F(MatchTest, EveryRecordLeavesThroughExactlyOneRoute) {
  Files({InputFileType::kGrund, InputFileType::kMaster, InputFileType::kSperr}, {1, 0, 0});
  std::mt19937 rng(11);
  const char* names[] = {"HANS MEIER", "HANS MAIER", "PETER SCHULZ", "ANNA BAUER", "OTTO KOCH"};
  std::vector<std::pair<std::string, const TInputFileEntry*>> records;
  int dark = 0;
  for (const char* plz : {"10115", "20095", "80331"}) {
    for (int i = 0; i < 12; ++i) {
      const int file = 1 + static_cast<int>(rng() % 3);
      dark += file == 3;
      records.push_back(Record(names[rng() % 5], plz, file));
    }
  }
  const Outputs out = Run(records);
  EXPECT_EQ(out.single.size() + out.multi.size() + out.duplicates.size() + dark, records.size())
      << "singles, multis and duplicates, plus the dark records that never leave";
  EXPECT_FALSE(out.duplicates.empty());
}

TEST_F(MatchTest, PairsJudgedOnTwoCoresGiveTheOutputsOfOneCore) {
  // Many records share few words, so a class has thousands of pairs (several batches, both
  // cores) and verdicts that depend on the order: repeats, groups joined by later pairs.
  Files({InputFileType::kGrund, InputFileType::kGrund});
  set_->Fields().hashHurdle = 2;
  set_->Fields().repeaterOptimisation = true;
  std::mt19937 rng(11);
  const char* words[] = {"MEIER", "MAIER", "MEYER", "SCHULZ", "SCHULTE", "BAUER", "HANS", "ANNA",
                         "PETER", "KARL", "MARIA", "OTTO"};
  std::vector<std::pair<std::string, const TInputFileEntry*>> records;
  for (const char* plz : {"10115", "10117", "20095"}) {
    for (int i = 0; i < 1000; ++i) {
      std::string name = std::string(words[rng() % 12]) + " " + words[rng() % 12];
      records.push_back(Record(name, plz, 1 + static_cast<int>(rng() % 2)));
    }
  }
  std::vector<std::pair<std::string, std::string>> onePairs, twoPairs;
  const Outputs one = Run(records, &onePairs, /*twoCores=*/false);
  const Outputs two = Run(records, &twoPairs, /*twoCores=*/true);
  EXPECT_GT(one.counters.comparisons, 3 * 100000)
      << "each class has more pairs than the batches in flight hold";
  EXPECT_GT(one.counters.repeats, 0);
  EXPECT_EQ(two.single, one.single);
  EXPECT_EQ(two.multi, one.multi);
  EXPECT_EQ(two.duplicates, one.duplicates);
  EXPECT_EQ(two.list, one.list);
  EXPECT_EQ(twoPairs, onePairs) << "the same hits in the same order";
  EXPECT_EQ(two.counters.comparisons, one.counters.comparisons);
  EXPECT_EQ(two.counters.repeats, one.counters.repeats);
  EXPECT_EQ(two.counters.hits, one.counters.hits);
  EXPECT_EQ(two.counters.duplicates, one.counters.duplicates);
}

TEST_F(MatchTest, DamagedKeyInAPairJudgedOnTheSecondCoreEndsAsOnOneCore) {
  Files({InputFileType::kGrund});
  set_->Fields().hashHurdle = 2;
  const char* words[] = {"MEIER", "MAIER", "SCHULZ", "BAUER", "HANS", "ANNA", "PETER", "KARL"};
  std::vector<std::pair<std::string, const TInputFileEntry*>> records;
  for (int i = 0; i < 3000; ++i) {
    records.push_back(Record(std::string(words[i % 8]) + " " + words[(i / 8) % 8], "10115", 1));
  }
  // Late in the class, where its pairs are judged well after the first batches: the offset of
  // the first component points beyond the record.
  const std::size_t offsets = set_->Fields().componentOffsetsPosition - 1;
  records[2900].first[offsets] = '\xFF';
  records[2900].first[offsets + 1] = '\x7F';
  const std::string one = testing::FatalTextOf([&] { Run(records, nullptr, /*twoCores=*/false); });
  const std::string two = testing::FatalTextOf([&] { Run(records, nullptr, /*twoCores=*/true); });
  EXPECT_NE(one, "");
  EXPECT_EQ(two, one);
  // Run() ended the failed matchers (their second cores with them): nothing hangs or stays.
}

TEST_F(MatchTest, TokenHashFindsExactlyTheSimilarPairsThatShareAToken) {
  Files({InputFileType::kGrund});
  std::mt19937 rng(3);
  const char* words[] = {"MEIER", "MAIER", "MEYER", "SCHULZ", "SCHULTE", "BAUER", "HANS", "ANNA",
                         "PETER", "KARL", "MARIA", "OTTO"};
  std::vector<std::pair<std::string, const TInputFileEntry*>> records;
  for (int i = 0; i < 200; ++i) {
    std::string name = std::string(words[rng() % 12]) + " " + words[rng() % 12];
    records.push_back(Record(name, "10115", 1));
  }
  std::vector<std::pair<std::string, std::string>> all, hashed;
  Run(records, &all);
  set_->Fields().hashHurdle = 2;
  Run(records, &hashed);
  // Pairs of the all-against-all run that share a token (a word of at least the token hurdle).
  auto sharesToken = [](const std::string& a, const std::string& b) {
    std::set<std::string> wa;
    std::string w;
    for (char c : a + " ") {
      if (c == ' ') {
        if (!w.empty()) wa.insert(w.substr(0, 7));
        w.clear();
      } else {
        w += c;
      }
    }
    for (char c : b + " ") {
      if (c == ' ') {
        if (!w.empty() && wa.count(w.substr(0, 7))) return true;
        w.clear();
      } else {
        w += c;
      }
    }
    return false;
  };
  std::multiset<std::pair<std::string, std::string>> expected, found;
  for (const auto& p : all) {
    if (p.first != p.second && sharesToken(p.first, p.second)) expected.insert(p);
  }
  for (const auto& p : hashed) {
    if (p.first != p.second) found.insert(p);
  }
  // The hash compares a pair once per shared key; count distinct pairs by their names.
  std::set<std::pair<std::string, std::string>> e(expected.begin(), expected.end()),
      h(found.begin(), found.end());
  EXPECT_EQ(h, e);
  EXPECT_FALSE(e.empty());
}

TEST_F(MatchTest, NineRecordsAreComparedAllAgainstAllAndTenThroughTheHash) {
  Files({InputFileType::kGrund});
  set_->Fields().hashHurdle = 10;
  std::vector<std::pair<std::string, const TInputFileEntry*>> nine, ten;
  const char* distinct[] = {"AAA", "BBB", "CCC", "DDD", "EEE", "FFF", "GGG", "HHH", "III", "JJJ"};
  for (int i = 0; i < 10; ++i) {
    if (i < 9) nine.push_back(Record(distinct[i], "10115", 1));
    ten.push_back(Record(distinct[i], "10115", 1));
  }
  EXPECT_EQ(Run(nine).counters.comparisons, 36);
  const TMatchCounters ten_ = Run(ten).counters;
  EXPECT_EQ(ten_.comparisons, 0) << "no two records share a token";
  EXPECT_EQ(ten_.hashClasses, 1);
}

TEST_F(MatchTest, RecordJoiningTwoGroupsByReplicationIsListedTwiceAndOutputOnce) {
  // Slot 2 holds a code (26..30) with "Replizieren": a record without code is a duplicate of
  // every record with one, while two different codes keep their records apart.
  TParameterFields& f = set_->Fields();
  f.threshold = 101;
  TComponentEntry name;
  name.kind = ComponentKind::kNormal;
  name.wordHurdle = 1;
  name.base = 50;
  name.relative = 50;
  TComponentEntry code;
  code.kind = ComponentKind::kText;
  code.base = 1;       // "Punkte"
  code.bonus0 = 1;     // both empty
  code.bonus1 = 1;     // one side empty
  code.replicate = true;
  std::vector<TSlotEntry> slots(2);
  slots[0].kind = SlotKind::kNormal;
  slots[0].fields = set_->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{1, 20}});
  slots[0].components = set_->AddVector<TComponentEntry>(std::vector<TComponentEntry>{name});
  slots[1].kind = SlotKind::kText;
  slots[1].fields = set_->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{26, 5}});
  slots[1].components = set_->AddVector<TComponentEntry>(std::vector<TComponentEntry>{code});
  f.vectors[4] = set_->AddVector<TSlotEntry>(slots);
  Files({InputFileType::kGrund});
  // A and X (no code) are duplicates of each other; B (code X2) takes a replica of each.
  const Outputs out = Run({Record("HANS MEIER", "10115", 1, ""), Record("HANS MEIER", "10115", 1, "X2"),
                           Record("HANS MEIER", "10115", 1, "")});
  EXPECT_EQ(out.single.size() + out.multi.size() + out.duplicates.size(), 3u) << "each record once";
  int originals = 0, replicas = 0;
  for (const std::string& line : out.list) {
    if (line.size() > 3 && line[3] == 'O') ++originals;
    if (line.size() > 3 && line[3] == 'R') ++replicas;
  }
  EXPECT_EQ(originals, 2) << "A and X in their own block";
  EXPECT_EQ(replicas, 2) << "A and X again in the block of B";
  EXPECT_EQ(out.counters.replicated, 2);

  // B and C (both X2) form a group before X (no code) meets them: X is copied into it once,
  // and its second meeting finds the copy already there.
  const Outputs once = Run({Record("HANS MEIER", "10115", 1, ""), Record("HANS MEIER", "10115", 1, "X2"),
                            Record("HANS MEIER", "10115", 1, "X2")});
  EXPECT_EQ(once.single.size() + once.multi.size() + once.duplicates.size(), 3u);
  EXPECT_EQ(once.counters.replicated, 1);
  int copies = 0;
  for (const std::string& line : once.list) {
    if (line.size() > 3 && line[3] == 'R') ++copies;
  }
  EXPECT_EQ(copies, 1);
}

TEST_F(MatchTest, HeadLimitKeepsTheBestHeadsOfABlock) {
  // Three records of three files, all alike; without a limit every Grund record of its own
  // group-1 ring... here they form one group: one head. With replication off and verdict 5 the
  // block has one ring; the limit 1 keeps one head.
  Files({InputFileType::kGrund, InputFileType::kGrund, InputFileType::kGrund}, {3, 1, 2});
  set_->Fields().headLimit = 1;
  const Outputs out = Run({Record("ANNA KOCH", "10115", 1), Record("ANNA KOCH", "10115", 2),
                           Record("ANNA KOCH", "10115", 3)});
  EXPECT_EQ(out.single.size(), 1u);
  EXPECT_EQ(out.duplicates.size(), 2u);
  // The head is the record of file 2 (priority 1).
  EXPECT_EQ(out.list[1].substr(0, 4), "HGKN");
}

TEST_F(MatchTest, PureMasterBlocksAreNotOutputAsBlocks) {
  Files({InputFileType::kMaster, InputFileType::kMaster});
  set_->Fields().suppressPureBlocks = true;
  const Outputs out = Run({Record("OTTO WEBER", "10115", 1), Record("OTTO WEBER", "10115", 2)});
  EXPECT_TRUE(out.list.empty());
  EXPECT_EQ(out.single.size(), 2u) << "the records keep their flags and go to the normal outputs";
}

TEST_F(MatchTest, MatchRecordTooShortForTheOutputIsRefusedAtInit) {
  set_->Fields().outputWithMatchKey = true;
  set_->Fields().crlf = true;
  set_->Fields().recordLength = kRecord + 2;
  Files({InputFileType::kGrund});
  // With the match key and CR LF the output is two bytes longer than the match record: allowed.
  TMemoryLayer* phase = PushLayer(*memory_);
  auto* manager = CreateIn<TProcessManager>(*phase);
  auto* m = CreateIn<TMatch>(*phase);
  EXPECT_EQ(testing::FatalTextOf([&] {
              m->Setup(manager, *set_, *lists_, boundary_, *classMemory_, nullptr, "");
            }),
            "");
  set_->Fields().outputRecordLength = static_cast<std::uint16_t>(set_->Fields().matchRecordLength + 3);
  auto* m2 = CreateIn<TMatch>(*phase);
  EXPECT_EQ(testing::FatalTextOf([&] {
              m2->Setup(CreateIn<TProcessManager>(*phase), *set_, *lists_, boundary_, *classMemory_, nullptr, "");
            }),
            "TMatch.Init");
  Free(phase);
}

}  // namespace
}  // namespace vld
