#include "matching/match.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>
#include <utility>

#include "engine/files/global.h"
#include "engine/runtime/hooks.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {
namespace {

constexpr std::int64_t kMaxCount = 2147483647;

std::uint16_t PriorityOf(std::uint32_t key) { return static_cast<std::uint16_t>((key >> 8) & 0xFFFF); }

bool KeysDiffer(const std::uint8_t* a, std::int32_t la, const std::uint8_t* b, std::int32_t lb) {
  return std::memcmp(a, b, static_cast<std::size_t>(std::min(la, lb))) != 0;
}

}  // namespace

// The token hash of one class.
struct TMatch::HashRecord {
  Node* node;
  HashRecord* next;
};
struct TMatch::HashEntry {
  std::uint64_t key;
  Node* first;
  HashRecord* further;  // newest first
  HashEntry* next;      // next entry of the bucket
};

void TMatch::Init() {
  compare_ = CreateOwned<TCompare>(*this, 0);
  secondCompare_ = CreateOwned<TCompare>(*this, 0);
  tokenizer_ = CreateOwned<TTokenizer>(*this, 0);
  lister_ = CreateOwned<TRecordLister>(*this, 0);
  rating_ = CreateOwned<TRatingSet>(*this, 0);
  statistics_ = CreateOwned<TMatchStatistics>(*this, 0);
  for (auto& s : samples_) s = CreateOwned<TStatistics>(*this, 0);
}

void TMatch::Setup(TProcessManager* manager, const TParameterStore& set,
                   const TIdentifierMap& identifiers,
                   std::span<const std::uint8_t, 256> boundaryTable, TMemoryLayer& classMemory,
                   TMatchDocument* document, const std::string& protocolFile) {
  Register(*this, manager);
  set_ = &set;
  const TParameterFields& f = set.Fields();
  outputLength_ = f.outputRecordLength;
  // A record with its match key and a line end is the longest output record.
  const std::int32_t room = f.matchRecordLength + (f.outputWithMatchKey && f.crlf ? 2 : 0);
  if (room < outputLength_) Fatal("TMatch.Init");
  writeCrLf_ = f.crlf;
  ActivateInput(1, f.matchRecordLength, 0, BindCall<&TMatch::OnCall>(this), {});
  for (int g = 1; g <= 3; ++g) ActivateOutput(g, kModeCall, outputLength_);
  ActivateOutput(4, kModeCall, f.listRecordLength);
  ActivateOutput(5, kModeCall, 0);
  compare_->Init(set, identifiers, boundaryTable);
  secondCompare_->Init(set, identifiers, boundaryTable);
  lister_->Setup(f.listRecordLength, set.FieldVector(7));
  rating_->Setup(set);
  statistics_->Setup(set);
  classMemory_ = &classMemory;
  document_ = document;
  protocolFile_ = protocolFile;
  listLength_ = f.listRecordLength;
  ratingChanges_.assign(rating_->FieldCount(), 0);
}

void TMatch::Open(TMemorySpace& space) {
  classKeyLength_ = set_->Fields().classKeyLength;
  classKey_ = static_cast<std::uint8_t*>(space.Alloc(std::max(classKeyLength_, 1)));
  for (int g = 1; g <= 5; ++g) connected_[g] = OutputGate(g).IsConnected();
  if (connected_[4]) {
    listLine_ = static_cast<std::uint8_t*>(space.Alloc(listLength_));
    emptyLine_ = static_cast<std::uint8_t*>(space.Alloc(listLength_));
    std::memset(emptyLine_, ' ', static_cast<std::size_t>(listLength_));
    emptyLine_[listLength_ - 2] = 13;
    emptyLine_[listLength_ - 1] = 10;
  }
  classOpen_ = false;
  twoCores_ = parallelCompare && std::thread::hardware_concurrency() > 1;
  if (twoCores_ && !secondCore_.joinable()) StartSecondCore();
}

TMatch::~TMatch() { StopSecondCore(); }

// ---- Class building -------------------------------------------------------------------------

void TMatch::OnCall(std::int32_t size, const void* tag, std::uint8_t* record) {
  const auto* file = static_cast<const TInputFileEntry*>(&LayoutOf(tag));
  const std::uint8_t* key = record + file->classKeyPosition - 1;
  if (classOpen_ && KeysDiffer(classKey_, classKeyLength_, key, file->classKeyLength)) {
    FinishClass();
  }
  if (!classOpen_) {
    std::memcpy(classKey_, key, std::min<std::size_t>(file->classKeyLength, classKeyLength_));
    classLayer_ = PushLayer(*classMemory_);
    classOpen_ = true;
    newest_ = nullptr;
    count_ = 0;
    copies_.clear();
  }
  const std::int32_t bytes = std::max(size, outputLength_);
  auto* node = static_cast<Node*>(classLayer_->Alloc(CheckedAdd<std::int64_t>(sizeof(Node), bytes)));
  node->record = reinterpret_cast<std::uint8_t*>(node + 1);
  std::memcpy(node->record, record, static_cast<std::size_t>(size));
  if (bytes > size) std::memset(node->record + size, ' ', static_cast<std::size_t>(bytes - size));
  node->size = size;
  node->file = file;
  node->original = node;
  node->parent[0] = node->parent[1] = node;
  node->ring[0] = node->ring[1] = node;
  const TParameterFields& f = set_->Fields();
  std::uint32_t p;
  std::uint32_t low;
  if (file->type == InputFileType::kKompaktsperr) {
    std::uint32_t own = 0;
    if (file->compactWithPriority && file->priorityPosition > 0) {
      own = record[file->priorityPosition - 1] | (record[file->priorityPosition] << 8);
    }
    p = (file->priority + 4 * own) & 0xFFFF;
    low = 0;
  } else {
    std::uint32_t own = 0;
    if (f.priorityField.position > 0 && f.priorityField.length > 0) {
      own = static_cast<std::uint32_t>(ParseUnsigned(
          std::string_view(reinterpret_cast<const char*>(record) + f.priorityField.position - 1,
                           f.priorityField.length),
          3));
    }
    p = (file->priority + 4 * own) & 0xFFFF;
    low = 255u - record[file->flagPosition - 1];
  }
  node->priorityKey = (p << 8) | low;
  const std::uint16_t q = static_cast<std::uint16_t>(p ^ 1u);
  node->secondKey = static_cast<std::uint16_t>((q >> 1) | ((q & 1u) << 15));
  node->flags = (p & 1u) ? kDark : 0;
  node->prev = newest_;
  newest_ = node;
  ++count_;
}

void TMatch::FinishClass() {
  MatchClass();
  Route();
  const std::int64_t unused = classLayer_->Available();
  if (count_ > 1) samples_[0]->Add(unused);
  Free(classLayer_);
  classLayer_ = nullptr;
  classOpen_ = false;
  newest_ = nullptr;
  count_ = 0;
}

// ---- Groups ---------------------------------------------------------------------------------

TMatch::Node* TMatch::Find(Node* node, int group) {
  Node* root = node;
  while (root->parent[group] != root) root = root->parent[group];
  while (node != root) {
    Node* next = node->parent[group];
    node->parent[group] = root;
    node = next;
  }
  return root;
}

void TMatch::Union(Node* a, Node* b, int group) {
  Node* ra = Find(a, group);
  Node* rb = Find(b, group);
  if (ra != rb) {
    const bool bBetter = group == 0 ? rb->priorityKey < ra->priorityKey
                                    : rb->secondKey < ra->secondKey;
    Node* rep = bBetter ? rb : ra;
    Node* other = bBetter ? ra : rb;
    other->parent[group] = rep;
    std::swap(ra->ring[group], rb->ring[group]);
  }
  if (group == 0) Union(a, b, 1);
}

std::int64_t TMatch::GroupSize(Node* rep, int group) const {
  std::int64_t n = 1;
  for (Node* x = rep->ring[group]; x != rep; x = x->ring[group]) ++n;
  return n;
}

void TMatch::Replicate(Node* x, Node* y, int group) {
  // Nothing to do when y's group already holds x itself (an original) or a copy made of x.
  Node* const target = Find(y, 1);
  if (x->original == x && Find(x, 1) == target) return;
  std::vector<Node*>& copies = copies_[x];
  for (Node* copy : copies) {
    if (Find(copy, 1) == target) return;
  }
  auto* replica = static_cast<Node*>(classLayer_->Alloc(sizeof(Node)));
  *replica = *x;
  replica->original = x;
  replica->flags = static_cast<std::uint8_t>((x->flags & ~kReplicated) | kReplica);
  replica->parent[0] = replica->parent[1] = replica;
  replica->ring[0] = replica->ring[1] = replica;
  replica->prev = newest_;
  newest_ = replica;
  copies.push_back(replica);
  x->flags |= kReplicated;
  ++counters_.replicated;
  Union(y, replica, group);
}

// ---- Matching -------------------------------------------------------------------------------

bool TMatch::IsRepeat(Node* a, Node* b) {
  if (set_->Fields().repeaterOptimisation && Find(a, 0) == Find(b, 0)) {
    ++counters_.repeats;
    ++classRepeats_;
    return true;
  }
  return false;
}

void TMatch::ComparePair(Node* a, Node* b) {
  if (IsRepeat(a, b)) return;
  std::int32_t score = 0;
  Decide(a, b,
         compare_->Similar(*a->file, *b->file, score,
                           std::span(b->record, static_cast<std::size_t>(b->size)),
                           std::span(a->record, static_cast<std::size_t>(a->size))));
}

// ---- Pairs judged on two cores --------------------------------------------------------------
//
// The matcher's thread lists the pairs into batches and publishes each full batch; the second
// core claims chunks of the oldest published batches and judges them. When every batch of the
// ring is in flight, or the class ends, the matcher's thread judges what is still unclaimed of
// the oldest batch itself, waits for the chunks the second core holds, and lets the verdicts
// take effect in the order of the pairs. Judging reads only the records, which stay unchanged
// until the class ends, so a verdict may be made long before its turn.

namespace {
constexpr std::size_t kPairBatch = 4096;  // pairs of one batch
constexpr std::size_t kPairChunk = 256;   // pairs judged per claim
}  // namespace

void TMatch::Judge(TCompare& compare, PairBatch& batch, std::size_t from, std::size_t count) {
  // A fatal error of one comparison waits for its pair's turn: the pair may turn out to be a
  // repeat that one core would never have compared.
  ScopedFatalHook hook(ThrowingFatalHook);
  // The records of a large class lie far apart in memory: for the pairs a little ahead, the
  // nodes are fetched, then the component offsets of their records, then the tokens of the
  // component compared first, while the current pair is compared.
  constexpr std::size_t kNodesAhead = 12, kOffsetsAhead = 8, kTokensAhead = 4;
  const std::int32_t first = compare.FirstComponent();
  auto fetchOffsets = [](const Node* node) {
    __builtin_prefetch(node->record + node->file->componentOffsetsPosition - 1);
  };
  auto fetchTokens = [first](const Node* node) {
    const TFileLayout& layout = *node->file;
    if (first < 0 || layout.componentOffsetsPosition < 1) return;
    const std::int64_t slot = std::int64_t{layout.componentOffsetsPosition} - 1 + 2 * first;
    if (slot + 2 > node->size) return;
    const std::uint8_t* r = node->record;
    const std::int32_t at = r[slot] | (r[slot + 1] << 8);
    if (at < node->size) __builtin_prefetch(r + at);
  };
  const QueuedPair* pairs = batch.pairs.data() + from;
  std::int8_t* verdicts = batch.verdicts.data() + from;
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kNodesAhead < count) {
      __builtin_prefetch(pairs[i + kNodesAhead].a);
      __builtin_prefetch(pairs[i + kNodesAhead].b);
    }
    if (i + kOffsetsAhead < count) {
      fetchOffsets(pairs[i + kOffsetsAhead].a);
      fetchOffsets(pairs[i + kOffsetsAhead].b);
    }
    if (i + kTokensAhead < count) {
      fetchTokens(pairs[i + kTokensAhead].a);
      fetchTokens(pairs[i + kTokensAhead].b);
    }
    const QueuedPair& p = pairs[i];
    try {
      std::int32_t score = 0;
      verdicts[i] = static_cast<std::int8_t>(
          compare.Similar(*p.a->file, *p.b->file, score,
                          std::span(p.b->record, static_cast<std::size_t>(p.b->size)),
                          std::span(p.a->record, static_cast<std::size_t>(p.a->size))));
    } catch (...) {
      verdicts[i] = kFailed;
      batch.failures[from + i] = std::current_exception();
    }
  }
}

bool TMatch::JudgeChunk(TCompare& compare, PairBatch& batch) {
  const std::size_t chunk = batch.next.fetch_add(1, std::memory_order_acq_rel);
  const std::size_t chunks = batch.chunks.load(std::memory_order_relaxed);
  if (chunk >= chunks) return false;
  const std::size_t from = chunk * kPairChunk;
  Judge(compare, batch, from, std::min(kPairChunk, batch.count - from));
  batch.done.fetch_add(1, std::memory_order_acq_rel);
  return true;
}

void TMatch::SecondCore() {
  for (;;) {
    PairBatch* batch = nullptr;
    {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [&] {
        for (PairBatch* b : open_) {
          if (b->next.load(std::memory_order_relaxed) < b->chunks.load(std::memory_order_relaxed)) {
            batch = b;
            return true;
          }
        }
        return stop_;
      });
      if (batch == nullptr) return;
    }
    while (JudgeChunk(*secondCompare_, *batch)) {
    }
    // The matcher's thread may be waiting for the last chunk.
    std::lock_guard lock(mutex_);
    finished_.notify_one();
  }
}

void TMatch::StartSecondCore() {
  for (PairBatch& b : batches_) {
    b.pairs.resize(kPairBatch);
    b.verdicts.resize(kPairBatch);
    b.failures.resize(kPairBatch);
  }
  stop_ = false;
  secondCore_ = std::thread([this] { SecondCore(); });
}

void TMatch::StopSecondCore() {
  if (!secondCore_.joinable()) return;
  AbandonQueuedPairs();
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  work_.notify_one();
  secondCore_.join();
}

void TMatch::QueuePair(Node* a, Node* b) {
  PairBatch& batch = batches_[(oldest_ + published_) % batches_.size()];
  batch.pairs[batch.count++] = {a, b};
  if (batch.count == kPairBatch) PublishBatch();
}

void TMatch::PublishBatch() {
  PairBatch& batch = batches_[(oldest_ + published_) % batches_.size()];
  if (batch.count == 0) return;
  {
    std::lock_guard lock(mutex_);
    batch.done.store(0, std::memory_order_relaxed);
    batch.chunks.store((batch.count + kPairChunk - 1) / kPairChunk, std::memory_order_relaxed);
    batch.next.store(0, std::memory_order_release);
    open_.push_back(&batch);
  }
  work_.notify_one();
  if (++published_ == batches_.size()) CompleteOldestBatch();
}

void TMatch::CompleteOldestBatch() {
  PairBatch& batch = batches_[oldest_];
  while (JudgeChunk(*compare_, batch)) {
  }
  {
    std::unique_lock lock(mutex_);
    const std::size_t chunks = batch.chunks.load(std::memory_order_relaxed);
    finished_.wait(lock, [&] { return batch.done.load(std::memory_order_acquire) == chunks; });
    batch.next.store(PairBatch::kClosed, std::memory_order_relaxed);
    open_.erase(std::find(open_.begin(), open_.end(), &batch));
  }
  oldest_ = (oldest_ + 1) % batches_.size();
  --published_;
  Apply(batch);
}

// The verdicts take effect in the order of the pairs, as if each had been compared in turn.
void TMatch::Apply(PairBatch& batch) {
  const std::size_t count = batch.count;
  batch.count = 0;
  constexpr std::size_t kAhead = 8;  // nodes fetched ahead for the repeat check
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) {
      __builtin_prefetch(batch.pairs[i + kAhead].a);
      __builtin_prefetch(batch.pairs[i + kAhead].b);
    }
    const QueuedPair& p = batch.pairs[i];
    if (IsRepeat(p.a, p.b)) continue;
    if (batch.verdicts[i] == kFailed) {
      std::exception_ptr failure = std::exchange(batch.failures[i], nullptr);
      AbandonQueuedPairs();
      RaiseHere(std::move(failure));
    }
    Decide(p.a, p.b, batch.verdicts[i]);
  }
}

void TMatch::JudgeQueuedPairs() {
  PublishBatch();
  while (published_ > 0) CompleteOldestBatch();
}

// Drops the pairs in flight once the second core has put down the chunks it holds: the class's
// records may go after this.
void TMatch::AbandonQueuedPairs() {
  std::unique_lock lock(mutex_);
  for (PairBatch* batch : open_) {
    const std::size_t claimed =
        std::min(batch->next.exchange(PairBatch::kClosed, std::memory_order_acq_rel),
                 batch->chunks.load(std::memory_order_relaxed));
    finished_.wait(lock, [&] { return batch->done.load(std::memory_order_acquire) >= claimed; });
  }
  open_.clear();
  for (PairBatch& b : batches_) {
    b.count = 0;
    for (std::exception_ptr& failure : b.failures) failure = nullptr;
  }
  oldest_ = published_ = 0;
}

void TMatch::Decide(Node* a, Node* b, int verdict) {
  ++counters_.comparisons;
  ++classComparisons_;
  if (onCompare) onCompare(*a, *b, verdict);
  if (verdict == 0) return;
  ++counters_.hits;
  if (a == b) return;
  switch (verdict) {
    case 5:
      Union(a, b, 0);
      break;
    case 1:
      Union(a, b, 1);
      break;
    case 2:
      Find(a, 0)->flags |= kDominated;
      Union(a, b, 1);
      break;
    case 8:
      Find(b, 0)->flags |= kDominated;
      Union(a, b, 1);
      break;
    case 9: Replicate(b, a, 0); break;
    case 10: Replicate(b, a, 1); break;
    case 3: Replicate(a, b, 0); break;
    case 4: Replicate(a, b, 1); break;
    case 6:
      Replicate(a, b, 0);
      Replicate(b, a, 0);
      break;
    case 7:
      Replicate(a, b, 1);
      Replicate(b, a, 1);
      break;
    default:
      break;
  }
}

void TMatch::MatchAllPairs() {
  for (Node* a = newest_; a != nullptr; a = a->prev) {
    for (Node* b = a->prev; b != nullptr; b = b->prev) ComparePair(a, b);
  }
}

// Every pair of records that share a token, bucket by bucket, each pair once per token it
// shares; the verdicts have all taken effect on return.
void TMatch::ListPairs(HashEntry** table, std::int64_t buckets, std::vector<Node*>& list) {
  for (std::int64_t b = 0; b < buckets; ++b) {
    for (HashEntry* e = table[b]; e != nullptr; e = e->next) {
      list.clear();
      list.push_back(e->first);
      for (HashRecord* r = e->further; r != nullptr; r = r->next) list.push_back(r->node);
      for (std::size_t i = 0; i < list.size(); ++i) {
        for (std::size_t j = i + 1; j < list.size(); ++j) {
          if (twoCores_) {
            QueuePair(list[i], list[j]);
          } else {
            ComparePair(list[i], list[j]);
          }
        }
      }
    }
  }
  JudgeQueuedPairs();
}

void TMatch::MatchThroughTokenHash() {
  const std::int64_t n = count_;
  const std::int64_t components = std::max<std::int32_t>(set_->Fields().componentCount, 1);
  const std::int64_t buckets = std::min<std::int64_t>(n * components, 67108863) | 1;
  auto** table = static_cast<HashEntry**>(
      classLayer_->Alloc(CheckedMul<std::int64_t>(buckets, sizeof(HashEntry*))));
  std::memset(table, 0, static_cast<std::size_t>(buckets) * sizeof(HashEntry*));
  std::int64_t tokens = 0, entries = 0, used = 0, links = 0;
  Node* current = nullptr;
  bool added = false;
  tokenizer_->Setup(*set_, [&](std::int32_t component, std::int32_t length, const std::uint8_t* t) {
    std::uint8_t k[8];
    std::memset(k, ' ', 7);
    std::memcpy(k, t, static_cast<std::size_t>(std::min(length, 7)));
    k[7] = static_cast<std::uint8_t>(component + 1);
    std::uint64_t key;
    std::memcpy(&key, k, 8);
    std::uint32_t x, y;
    std::memcpy(&x, k, 4);
    std::memcpy(&y, k + 4, 4);
    std::uint32_t h = x ^ y;
    h = (h & ~0xFF00u) | ((((h & 0xFFu) ^ ((h >> 8) & 0xFFu))) << 8);
    h >>= 4;
    HashEntry** slot = &table[h % static_cast<std::uint64_t>(buckets)];
    ++tokens;
    added = true;
    HashEntry* e = *slot;
    HashEntry* last = nullptr;
    for (; e != nullptr; last = e, e = e->next) {
      if (e->key == key) break;
    }
    if (e == nullptr) {
      e = static_cast<HashEntry*>(classLayer_->Alloc(sizeof(HashEntry)));
      *e = {key, current, nullptr, nullptr};
      if (last == nullptr) {
        *slot = e;
        ++used;
      } else {
        last->next = e;
      }
      ++entries;
      return;
    }
    auto* r = static_cast<HashRecord*>(classLayer_->Alloc(sizeof(HashRecord)));
    *r = {current, e->further};
    e->further = r;
    ++links;
  });
  for (Node* node = newest_; node != nullptr; node = node->prev) {
    current = node;
    added = false;
    tokenizer_->EnterRecord(*node->file, node->record);
    if (!added) ++counters_.tokenFree;
  }
  std::vector<Node*> list;
  try {
    ListPairs(table, buckets, list);
  } catch (...) {
    AbandonQueuedPairs();  // the second core lets go of the class's records
    throw;
  }
  samples_[3]->Add(buckets);
  samples_[4]->Add(tokens);
  samples_[5]->Add(used);
  samples_[6]->Add(entries - used);
  samples_[7]->Add(links);
  // Comparisons the hash saved, or cost beyond all against all.
  std::int64_t saved;
  if (n > 65536) {
    saved = kMaxCount;
  } else {
    saved = n * (n - 1) / 2 - (classComparisons_ + classRepeats_);
    if (saved > kMaxCount) saved = kMaxCount;
  }
  if (saved > 0 && counters_.saving + saved <= kMaxCount) counters_.saving += saved;
  if (saved < 0 && counters_.extraEffort - saved <= kMaxCount) counters_.extraEffort -= saved;
}

void TMatch::MatchClass() {
  ++counters_.classes;
  if (count_ == 1) {
    ++counters_.oneRecordClasses;
    return;
  }
  classComparisons_ = 0;
  classRepeats_ = 0;
  if (count_ < set_->Fields().hashHurdle) {
    ++counters_.pairClasses;
    MatchAllPairs();
  } else {
    ++counters_.hashClasses;
    MatchThroughTokenHash();
  }
  samples_[1]->Add(count_);
  samples_[2]->Add(classComparisons_);
  for (Node* node = newest_; node != nullptr; node = node->prev) {
    if (Find(node, 1) == node && node->ring[1] != node) OutputBlock(node);
  }
}

// ---- Blocks ---------------------------------------------------------------------------------

void TMatch::SendList(const std::uint8_t* line) {
  OutputGate(4).Call(listLength_, nullptr, const_cast<std::uint8_t*>(line));
}

void TMatch::ListLine(const Node& node, std::uint8_t roleSymbol, bool first) {
  const TParameterFields& f = set_->Fields();
  const auto& sym = f.symbols;
  listLine_[0] = roleSymbol;
  listLine_[1] = static_cast<std::uint8_t>(sym[static_cast<std::size_t>(node.file->type)]);
  listLine_[2] = static_cast<std::uint8_t>(sym[first ? 7 : 6]);
  listLine_[3] = static_cast<std::uint8_t>(
      sym[(node.flags & kReplica) ? 10 : (node.flags & kReplicated) ? 9 : 8]);
  const bool dark = node.flags & kDark;
  if (dark && f.hideDarkRecords) {
    // The dark-record text is Windows-1252 in the set; list lines are code page 437.
    std::string text = ToCp437(set_->TextNumber(4), CodePage::k1252);
    if (const std::size_t at = text.find("%%%"); at != std::string::npos) {
      text.replace(at, 3, Format("%03u", static_cast<unsigned>(node.file->number % 1000)));
    }
    lister_->FromText(text, listLine_);
  } else if (node.file->type == InputFileType::kKompaktsperr) {
    lister_->FromText(std::string_view(reinterpret_cast<const char*>(node.record) +
                                           node.file->infoPosition - 1,
                                       node.file->infoLength),
                      listLine_);
  } else {
    lister_->FromRecord(node.record, listLine_);
  }
  listLine_[listLength_ - 2] = 13;
  listLine_[listLength_ - 1] = 10;
  SendList(listLine_);
}

void TMatch::OutputBlock(Node* r0) {
  const TParameterFields& f = set_->Fields();
  if (f.suppressPureBlocks) {
    bool allMaster = true, allDark = true;
    Node* x = r0;
    do {
      allMaster = allMaster && x->file->type == InputFileType::kMaster;
      allDark = allDark && (x->flags & kDark);
      x = x->ring[1];
    } while (x != r0);
    if (allMaster || allDark) return;
  }
  const std::uint16_t p0 = PriorityOf(r0->priorityKey);
  const std::uint16_t d = (p0 & 1u) ? p0 : 65535;
  const bool bonusLogic = f.bonusLogic;
  const bool listed = connected_[4];

  // The would-be role of a record in the group-1 ring of `g`.
  auto wouldBeHead = [&](const Node* x, const Node* g, bool first) {
    const std::uint16_t p = PriorityOf(x->priorityKey);
    switch (x->file->type) {
      case InputFileType::kMaster:
        return p <= d;
      case InputFileType::kGrund:
        return first && p <= d && !(g->flags & kDominated);
      default:
        return false;
    }
  };
  // Walks the rings of the block as the output does, calling visit(x, g, first).
  auto walk = [&](auto&& visit) {
    Node* n = r0;
    bool firstRing = true;
    do {
      if (!(n->flags & kProcessed2)) {
        if (!firstRing && !bonusLogic) break;
        Node* g = Find(n, 0);
        Node* x = g;
        do {
          x->flags |= kProcessed2;
          visit(x, g, x == g);
          x = x->ring[0];
        } while (x != g);
        firstRing = false;
      }
      n = n->ring[1];
    } while (n != r0);
    // Clear the walk marks.
    Node* m = r0;
    do {
      m->flags &= static_cast<std::uint8_t>(~kProcessed2);
      m = m->ring[1];
    } while (m != r0);
  };

  // Head limit: the L smallest keys of the would-be Grund heads stay heads.
  bool limited = false;
  std::uint32_t limitKey = 0;
  std::int64_t limitTies = 0;
  bool noKeyCounts = false;
  if (f.headLimit > 0) {
    limited = true;
    std::int64_t l = f.headLimit;
    std::vector<std::uint32_t> kept;
    bool stop = false;
    walk([&](Node* x, Node* g, bool first) {
      if (stop || !wouldBeHead(x, g, first)) return;
      if (x->file->type == InputFileType::kMaster) {
        if (--l < 1) stop = true;
        return;
      }
      kept.push_back(x->priorityKey);
      std::sort(kept.begin(), kept.end());
      if (kept.size() > static_cast<std::size_t>(f.headLimit)) kept.pop_back();
    });
    const std::size_t counting = std::min<std::size_t>(static_cast<std::size_t>(std::max<std::int64_t>(l, 0)), kept.size());
    if (counting == 0) {
      noKeyCounts = true;
    } else {
      limitKey = kept[counting - 1];
      limitTies = std::count(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(counting), limitKey);
    }
  }

  if (listed) SendList(emptyLine_);
  rating_->StartBlock();
  statistics_->BeginBlock();
  Node* n = r0;
  bool firstRing = true;
  do {
    if (!(n->flags & kProcessed)) {
      if (!firstRing && !bonusLogic) break;
      firstRing = false;
      Node* g = Find(n, 0);
      // Does the ring hold records of several input files?
      bool severalFiles = false;
      for (Node* y = g->ring[0]; y != g && !severalFiles; y = y->ring[0]) {
        severalFiles = y->file->number != g->file->number;
      }
      Node* x = g;
      do {
        const bool first = x == g;
        bool head = wouldBeHead(x, g, first);
        if (head && limited && x->file->type == InputFileType::kGrund) {
          if (noKeyCounts) {
            head = false;
          } else if (x->priorityKey == limitKey) {
            head = limitTies > 0;
            if (head) --limitTies;
          } else {
            head = x->priorityKey < limitKey;
          }
        }
        const auto& sym = f.symbols;
        if (listed) ListLine(*x, static_cast<std::uint8_t>(sym[head ? 4 : 5]), first);
        const std::int32_t file = x->file->number;
        if (!head) {
          // A replica or a replicated original marks its original; the duplicate counts once
          // per original.
          Node* target = x->original;
          const bool wasDuplicate = target->flags & kDuplicate;
          x->flags |= kDuplicate;
          if (target != x || (x->flags & kReplicated)) {
            if (!wasDuplicate && (target->flags & kMultiHead)) {
              statistics_->WithdrawMultiHead(target->file->number);
            }
            target->flags |= kDuplicate;
          }
          const bool counted = !wasDuplicate;
          if (counted) ++counters_.duplicates;
          statistics_->AddDuplicate(file, counted);
        } else {
          bool multi = false;
          if (f.multiDuplicates && severalFiles) {
            multi = !(x->flags & kReplica) && !(x->flags & kDuplicate);
            x->flags |= kMultiHead;
          }
          if (rating_->FieldCount() > 0 && !(x->flags & kReplica)) {
            blockRecords_.clear();
            for (Node* y = x->ring[1]; y != x; y = y->ring[1]) {
              if (y->flags & (kDark | kReplica)) continue;
              blockRecords_.push_back({y->record, y->priorityKey});
            }
            std::fill(ratingChanges_.begin(), ratingChanges_.end(), 0);
            const bool changed = rating_->RateHead(x->record, x->priorityKey, blockRecords_,
                                                   ratingChanges_);
            for (std::size_t i = 0; i < ratingChanges_.size(); ++i) {
              if (ratingChanges_[i] > 0) statistics_->AddRatingChange(static_cast<std::int32_t>(i + 1));
            }
            if (changed && f.listRerated && listed) {
              listLine_[0] = static_cast<std::uint8_t>(sym[11]);
              listLine_[1] = listLine_[2] = listLine_[3] = ' ';
              lister_->FromRecord(x->record, listLine_);
              listLine_[listLength_ - 2] = 13;
              listLine_[listLength_ - 1] = 10;
              SendList(listLine_);
              statistics_->AddReratedHead();
              ++counters_.rerated;
            }
          }
          statistics_->AddHead(file, multi);
        }
        x->flags |= kProcessed;
        x = x->ring[0];
      } while (x != g);
    }
    n = n->ring[1];
  } while (n != r0);
  statistics_->EndBlock(Find(r0, 0)->file->number);
}

// ---- Output ---------------------------------------------------------------------------------

void TMatch::Route() {
  if (!connected_[1] && !connected_[2] && !connected_[3]) return;
  const bool multi = set_->Fields().multiDuplicates;
  static constexpr int kPlain[4] = {1, 1, 3, 3};
  static constexpr int kMulti[4] = {1, 2, 3, 3};
  for (Node* node = newest_; node != nullptr; node = node->prev) {
    const int role = node->flags & 15;
    if (role >= 4) continue;
    const int gate = multi ? kMulti[role] : kPlain[role];
    if (!connected_[gate]) continue;
    if (writeCrLf_) {
      node->record[outputLength_ - 2] = 13;
      node->record[outputLength_ - 1] = 10;
    }
    OutputGate(gate).Call(outputLength_, node->file, node->record);
  }
}

void TMatch::WriteProtocol() {
  const TMatchCounters& c = counters_;
  const auto line = [](const char* label, std::int64_t v) {
    Report(MessageKind::kInformation, Format("%s:  %10lld", label, static_cast<long long>(v)));
  };
  line("         Klassen", c.classes);
  line("  1-Satz-Klassen", c.oneRecordClasses);
  line("     n*n-Klassen", c.pairClasses);
  line("    Hash-Klassen", c.hashClasses);
  line(" - H-Einsparung ", c.saving);
  line(" - H-Mehraufwand", c.extraEffort);
  line(" - H-Nutzen     ", c.saving - c.extraEffort);
  line("       Dubletten", c.duplicates);
  line("    Einsetzungen", c.rerated);
  line("      Vergleiche", c.comparisons);
  line("         Treffer", c.hits);
  line("     Wiederholer", c.repeats);
  line("      repliziert", c.replicated);
  line("Tokenfreie Sätze", c.tokenFree);
  Report(MessageKind::kInformation, "****** TokenHash ******");
  static constexpr const char* kNames[8] = {
      "ungenutzter Speicher (in Byte)", "Datensätze", "Vergleiche", "Hashtabellengröße",
      "Token insgesamt", "Token-Klassen", "Extra-Einträge", "Verknüpfungen"};
  for (int i = 0; i < 8; ++i) {
    const TStatistics& s = *samples_[i];
    Report(MessageKind::kInformation, kNames[i]);
    Report(MessageKind::kInformation,
           Format("%20lld    minimal", static_cast<long long>(s.count ? s.minimum : 0)));
    Report(MessageKind::kInformation,
           Format("%20lld    maximal", static_cast<long long>(s.count ? s.maximum : 0)));
    Report(MessageKind::kInformation,
           Format("%23.2f im Mittel", static_cast<double>(s.Mean())));
    Report(MessageKind::kInformation,
           Format("%23.2f Standardabweichung", static_cast<double>(s.Deviation())));
  }
}

void TMatch::Close() {
  if (classOpen_) FinishClass();
  StopSecondCore();
  WriteProtocol();
  statistics_->Finish();
  if (connected_[5]) {
    for (std::string& line : statistics_->TextLines()) {
      OutputGate(5).Call(static_cast<std::int32_t>(line.size()), nullptr,
                         reinterpret_cast<std::uint8_t*>(line.data()));
    }
  }
  if (document_ != nullptr) {
    statistics_->BuildDocument(*document_);
    if (!protocolFile_.empty()) document_->Save(protocolFile_);
  }
}

}  // namespace vld
