// External sort benchmark: selection into runs and one-pass merge of fixed-length records,
// against GNU sort of the same records as text lines with the same memory and the same key.
//
// Usage: sort_bench [records=1000000] [memory MB=64] [folder=/tmp]
// Records are 200 bytes with a 12-byte key; the input is generated with a fixed seed. The sorted
// output is checked once against GNU sort's before the figures are printed.
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/pipeline/select.h"
#include "engine/runtime/heap.h"
#include "engine/runtime/layers.h"
#include "engine/runtime/process_manager.h"
#include "engine/runtime/producers.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRecord = 200;
constexpr int kKey = 12;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Our file: file number (2 bytes) | key (12) | payload (186). GNU sort's: key | payload | "\n".
void WriteInputs(const std::string& binary, const std::string& text, long records) {
  std::FILE* b = std::fopen(binary.c_str(), "wb");
  std::FILE* t = std::fopen(text.c_str(), "wb");
  std::mt19937_64 rng(7);
  std::string record(kRecord, 'x');
  record[0] = 1;
  record[1] = 0;
  for (long i = 0; i < records; ++i) {
    for (int k = 0; k < kKey; ++k) record[2 + k] = static_cast<char>('A' + rng() % 26);
    for (int k = 2 + kKey; k < kRecord; k += 16) record[k] = static_cast<char>('a' + rng() % 26);
    std::fwrite(record.data(), 1, kRecord, b);
    std::fwrite(record.data() + 2, 1, kRecord - 2, t);
    std::fputc('\n', t);
  }
  std::fclose(b);
  std::fclose(t);
}

struct Outcome {
  double seconds = 0;
  long runs = 0;
};

Outcome SortOurs(const std::string& in, const std::string& temp, const std::string& out,
                 long records, std::int64_t memory) {
  using namespace vld;
  static TFileLayout layout = [] {
    TFileLayout l;
    l.number = 1;
    l.classRecordLength = kRecord;
    l.fileNumberPosition = 1;
    l.classKeyPosition = 3;
    l.classKeyLength = kKey;
    return l;
  }();
  static const TFileLayout* descriptors[] = {&layout};
  const auto start = Clock::now();
  const TSortPlan plan = ComputeSortPlan(memory, records, kRecord);
  TMemoryLayer* task = CreateWithArena<TMemoryLayer>(StandardHeap(), memory + (4 << 20));
  auto* runs = CreateIn<TQueue>(*task);
  runs->Prepare(plan.maxRuns);
  auto* merged = CreateIn<TQueue>(*task);
  merged->Prepare(1);
  {
    TMemoryLayer* phase = PushLayer(*task);
    auto* manager = CreateIn<TProcessManager>(*phase);
    auto* producer = CreateIn<TProducer>(*phase);
    auto* select = CreateIn<TSelect>(*phase);
    auto* consumer = CreateIn<TConsumer>(*phase);
    producer->Setup(manager, kRecord, records, "Input", in, &layout, plan.ioBuffer);
    select->Setup(manager, kRecord, runs, plan.capacity, KeyMode::kClassKey, kKey);
    consumer->Setup(manager, kRecord, "Temp1", temp, plan.ioBuffer);
    producer->ConnectOutput(1, select->InputGate(1));
    select->ConnectOutput(1, consumer->InputGate(1));
    manager->Run(*producer, &PushLayer, *phase);
    Free(phase);
  }
  Outcome outcome;
  outcome.runs = runs->Runs();
  {
    TMemoryLayer* phase = PushLayer(*task);
    auto* manager = CreateIn<TProcessManager>(*phase);
    auto* merge = CreateIn<TMerge>(*phase);
    auto* consumer = CreateIn<TConsumer>(*phase);
    const std::int64_t buffer = MergeBuffer(plan, runs->Runs());
    merge->Setup(manager, kRecord, merged, runs, runs->Runs(), KeyMode::kClassKey, kKey, "Temp1",
                 temp, 1, descriptors, buffer);
    consumer->Setup(manager, kRecord, "Temp2", out, buffer);
    merge->ConnectOutput(1, consumer->InputGate(1));
    manager->Run(*merge, &PushLayer, *phase);
    Free(phase);
  }
  Free(task);
  outcome.seconds = Seconds(start);
  return outcome;
}

// True when our output, stripped to the text form, equals GNU sort's output.
bool SameOrder(const std::string& ours, const std::string& theirs) {
  std::FILE* a = std::fopen(ours.c_str(), "rb");
  std::FILE* b = std::fopen(theirs.c_str(), "rb");
  std::vector<char> ra(kRecord), rb(kRecord);
  bool same = true;
  while (std::fread(ra.data(), 1, kRecord, a) == kRecord) {
    if (std::fread(rb.data(), 1, kRecord - 1, b) != kRecord - 1 ||
        std::memcmp(ra.data() + 2, rb.data(), kRecord - 2) != 0) {
      same = false;
      break;
    }
  }
  if (std::fgetc(b) != EOF) same = false;
  std::fclose(a);
  std::fclose(b);
  return same;
}

double RunGnuSort(const std::string& command) {
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) std::exit(1);
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
  const long memoryMb = argc > 2 ? std::atol(argv[2]) : 64;
  const std::string folder = argc > 3 ? argv[3] : "/tmp";
  const std::string in = folder + "/vld_sort_in.dat", text = folder + "/vld_sort_in.txt";
  const std::string temp = folder + "/vld_sort_temp1.dat", out = folder + "/vld_sort_out.dat";
  const std::string gnuOut = folder + "/vld_sort_gnu.txt";
  WriteInputs(in, text, records);
  const std::int64_t memory = memoryMb << 20;

  const std::string gnu = "LC_ALL=C sort -s -k1.1,1." + std::to_string(kKey) + " -S " +
                          std::to_string(memoryMb) + "M -T " + folder + " -o " + gnuOut + " " + text;
  const std::string gnu1 = "LC_ALL=C sort --parallel=1 -s -k1.1,1." + std::to_string(kKey) +
                           " -S " + std::to_string(memoryMb) + "M -T " + folder + " -o " + gnuOut +
                           " " + text;
  const Outcome ours = SortOurs(in, temp, out, records, memory);
  const double theirs = RunGnuSort(gnu);
  if (!SameOrder(out, gnuOut)) {
    std::fprintf(stderr, "Fehler: die Sortierung weicht von GNU sort ab\n");
    return 1;
  }
  double bestOurs = ours.seconds, bestTheirs = theirs, bestTheirs1 = 1e9;
  for (int round = 0; round < 2; ++round) {
    bestOurs = std::min(bestOurs, SortOurs(in, temp, out, records, memory).seconds);
    bestTheirs = std::min(bestTheirs, RunGnuSort(gnu));
    bestTheirs1 = std::min(bestTheirs1, RunGnuSort(gnu1));
  }
  rusage self{}, children{};
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  std::printf("Datensätze: %ld zu %d B, Schlüssel %d B, Speicher %ld MB, Teilfolgen: %ld\n",
              records, kRecord, kKey, memoryMb, ours.runs);
  std::printf("Veldrona:             %.2f s (%.0f Datensätze/s), max. RSS %ld MB\n", bestOurs,
              records / bestOurs, self.ru_maxrss / 1024);
  std::printf("GNU sort:             %.2f s, max. RSS %ld MB\n", bestTheirs,
              children.ru_maxrss / 1024);
  std::printf("GNU sort --parallel=1: %.2f s\n", bestTheirs1);
  std::printf("Verhältnis Veldrona/GNU sort: %.2f (zu --parallel=1: %.2f)\n", bestOurs / bestTheirs,
              bestOurs / bestTheirs1);
  for (const std::string& f : {in, text, temp, out, gnuOut}) std::remove(f.c_str());
  return 0;
}
