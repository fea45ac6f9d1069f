// TMatch: the pipeline process that finds the duplicates.
//
// It receives the match records of all input files sorted by class key, cuts the stream into
// classes of equal class key, compares the records of each class pairwise with TCompare (all
// against all below "Hash-Hürde", through a token hash above it), joins duplicates into groups,
// decides per group which record is kept (the head) and which are duplicates, enriches heads
// through the rating engines, writes the duplicate list, routes every record to its output and
// counts what the statistics report.
//
// Gates: input 1 (match records, by call); outputs (by call) 1 "Single", 2 "Multi",
// 3 "Dubletten" (records of the output record length), 4 the duplicate list (lines of the list
// record length, ending in CR LF), 5 the plain-text statistics (lines of varying length).
//
// Groups: two partitions of a class's records, each a union-find forest with a ring per set.
// Group 1 ("Dubletten"): records that are duplicates of each other, represented by the record
// with the smallest priority key. Group 2 (the block): group 1 plus weaker links, represented by
// the record with the smallest second key (records of dark files first). On equal keys the
// representative of the union's first argument stays.
//
// Call order: CreateIn, Setup, Connect, Run (Open, records, Close). A class's nodes, hash table
// and replicas live in a layer pushed for the class on the class memory and go with it.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/runtime/layers.h"
#include "engine/runtime/process.h"
#include "engine/runtime/statistics.h"
#include "matching/compare.h"
#include "matching/identifier_map.h"
#include "matching/match_document.h"
#include "matching/match_params.h"
#include "matching/match_stats.h"
#include "matching/rating.h"
#include "matching/scanner.h"

namespace vld {

// Counters of the whole run (the token-hash protocol).
struct TMatchCounters {
  std::int64_t classes = 0, oneRecordClasses = 0, pairClasses = 0, hashClasses = 0;
  std::int64_t saving = 0, extraEffort = 0;
  std::int64_t duplicates = 0, rerated = 0, comparisons = 0, hits = 0, repeats = 0;
  std::int64_t replicated = 0, tokenFree = 0;
};

class TMatch : public TProcess {
 public:
  // A record of the current class.
  struct Node {
    Node* prev;           // the node that arrived before (the collector's list, newest first)
    Node* original;       // itself, or for a replica the node it copies
    Node* parent[2];      // union-find parents of group 1 and group 2
    Node* ring[2];        // ring links of group 1 and group 2
    const TInputFileEntry* file;
    std::uint32_t priorityKey;  // 24 bits; smaller is better
    std::uint16_t secondKey;
    std::uint8_t flags;
    std::int32_t size;
    std::uint8_t* record;
  };
  enum : std::uint8_t {
    kMultiHead = 1, kDuplicate = 2, kDark = 4, kReplica = 8, kReplicated = 16, kDominated = 32,
    kProcessed = 64, kProcessed2 = 128,
  };

  void Init() override;
  // `classMemory` is the layer the classes' layers are pushed on (the task's back layer).
  // Fatal "TMatch.Init" when a match record cannot hold an output record.
  void Setup(TProcessManager* manager, const TParameterStore& set,
             const TIdentifierMap& identifiers, std::span<const std::uint8_t, 256> boundaryTable,
             TMemoryLayer& classMemory, TMatchDocument* document,
             const std::string& protocolFile);
  void Open(TMemorySpace& space) override;
  void Close() override;
  ~TMatch() override;
  void OnCall(std::int32_t size, const void* tag, std::uint8_t* record);

  // Classes compared through the token hash have their pairs judged on two cores: a second
  // thread compares the records of the pairs in batches while this one lists further pairs and
  // helps with the oldest batch; the verdicts then take effect one by one in the order of the
  // pairs, exactly as one core would have made them. Off on a machine of one core.
  bool parallelCompare = true;

  const TMatchCounters& Counters() const { return counters_; }
  // Diagnostics: called after every comparison with the pair and its verdict.
  std::function<void(const Node& a, const Node& b, int verdict)> onCompare;
  const TMatchStatistics& Statistics() const { return *statistics_; }

 private:
  void FinishClass();
  void MatchClass();
  void MatchAllPairs();
  void MatchThroughTokenHash();
  struct HashRecord;
  struct HashEntry;
  void ListPairs(HashEntry** table, std::int64_t buckets, std::vector<Node*>& list);
  // A pair whose verdict is worked out in advance.
  struct QueuedPair {
    Node* a;
    Node* b;
  };
  static constexpr std::int8_t kFailed = -1;  // the verdict of a pair whose comparison failed
  // The verdicts are kept apart from the pairs, so the two cores share few cache lines; the
  // error of a failed comparison waits in `failures` for its pair's turn.
  struct PairBatch {
    std::vector<QueuedPair> pairs;
    std::vector<std::int8_t> verdicts;
    std::vector<std::exception_ptr> failures;
    std::size_t count = 0;
    std::atomic<std::size_t> chunks{0};
    std::atomic<std::size_t> next{kClosed};
    std::atomic<std::size_t> done{0};
    static constexpr std::size_t kClosed = std::numeric_limits<std::size_t>::max() / 2;
  };
  bool IsRepeat(Node* a, Node* b);
  void ComparePair(Node* a, Node* b);
  void Decide(Node* a, Node* b, int verdict);
  void QueuePair(Node* a, Node* b);
  void PublishBatch();
  void CompleteOldestBatch();
  void JudgeQueuedPairs();
  void AbandonQueuedPairs();
  void Apply(PairBatch& batch);
  void StartSecondCore();
  void StopSecondCore();
  void SecondCore();
  static void Judge(TCompare& compare, PairBatch& batch, std::size_t from, std::size_t count);
  static bool JudgeChunk(TCompare& compare, PairBatch& batch);
  void Replicate(Node* x, Node* y, int group);
  Node* Find(Node* node, int group);
  void Union(Node* a, Node* b, int group);
  std::int64_t GroupSize(Node* rep, int group) const;
  void OutputBlock(Node* r0);
  void ListLine(const Node& node, std::uint8_t roleSymbol, bool first);
  void SendList(const std::uint8_t* line);
  void Route();
  void WriteProtocol();

  const TParameterStore* set_ = nullptr;
  TCompare* compare_ = nullptr;
  TCompare* secondCompare_ = nullptr;  // the comparison of the second core
  bool twoCores_ = false;
  // The batches in flight, a ring: `oldest_` is the first not yet applied, `published_` how many
  // are published, and the batch after them is being filled.
  std::array<PairBatch, 8> batches_;
  std::size_t oldest_ = 0, published_ = 0;
  std::thread secondCore_;
  std::mutex mutex_;
  std::condition_variable work_;      // a batch was published, or the second core is to stop
  std::condition_variable finished_;  // the second core finished a batch's last chunk
  std::vector<PairBatch*> open_;      // published batches, oldest first
  bool stop_ = false;
  TTokenizer* tokenizer_ = nullptr;
  TRecordLister* lister_ = nullptr;
  TRatingSet* rating_ = nullptr;
  TMatchStatistics* statistics_ = nullptr;
  std::array<TStatistics*, 8> samples_{};
  TMemoryLayer* classMemory_ = nullptr;
  TMatchDocument* document_ = nullptr;
  std::string protocolFile_;

  // The current class.
  TMemoryLayer* classLayer_ = nullptr;
  Node* newest_ = nullptr;
  std::int64_t count_ = 0;
  std::uint8_t* classKey_ = nullptr;
  std::int32_t classKeyLength_ = 0;
  bool classOpen_ = false;
  // The replicas made of each node of the class, newest last: a node already in a group is
  // found through its few copies instead of a walk around the whole group.
  std::unordered_map<const Node*, std::vector<Node*>> copies_;

  // Output.
  std::int32_t outputLength_ = 0;
  bool writeCrLf_ = false;
  bool connected_[6] = {};
  std::uint8_t* listLine_ = nullptr;
  std::uint8_t* emptyLine_ = nullptr;
  std::int32_t listLength_ = 0;
  std::vector<std::int64_t> ratingChanges_;
  std::vector<RatedRecord> blockRecords_;

  TMatchCounters counters_;
  std::int64_t classComparisons_ = 0, classRepeats_ = 0;
};

}  // namespace vld
