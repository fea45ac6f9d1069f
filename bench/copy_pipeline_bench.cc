// Copies a file of fixed-length records through a producer and a consumer and compares the time
// with `cp` of the same file in the same run.
//
// Usage: copy_pipeline_bench [records=1000000] [record size=200] [folder=/tmp]
// Prints the best of seven runs of each and the ratio pipeline / cp.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "engine/runtime/heap.h"
#include "engine/runtime/layers.h"
#include "engine/runtime/process_manager.h"
#include "engine/runtime/producers.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void WriteInput(const std::string& name, long records, int size) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  std::mt19937_64 rng(42);
  std::string record(static_cast<std::size_t>(size), ' ');
  for (long i = 0; i < records; ++i) {
    for (char& c : record) c = static_cast<char>('A' + rng() % 26);
    std::fwrite(record.data(), 1, record.size(), f);
  }
  std::fclose(f);
}

void RunPipeline(const std::string& in, const std::string& out, int size) {
  using namespace vld;
  TMemoryLayer* phase = CreateWithArena<TMemoryLayer>(StandardHeap(), 8 << 20);
  auto* manager = CreateIn<TProcessManager>(*phase);
  auto* producer = CreateIn<TProducer>(*phase);
  auto* consumer = CreateIn<TConsumer>(*phase);
  const std::int64_t buffer = 1 << 20;
  producer->Setup(manager, size, 0, "Gelesen", in, nullptr, buffer);
  consumer->Setup(manager, size, "Geschrieben", out, buffer);
  producer->ConnectOutput(1, consumer->InputGate(1));
  manager->Run(*producer, &PushLayer, *phase);
  Free(phase);
}

bool SameFiles(const std::string& a, const std::string& b) {
  return std::system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
  const int size = argc > 2 ? std::atoi(argv[2]) : 200;
  const std::string folder = argc > 3 ? argv[3] : "/tmp";
  const std::string in = folder + "/vld_copy_in.dat";
  const std::string out = folder + "/vld_copy_out.dat";
  const std::string cpOut = folder + "/vld_copy_cp.dat";
  WriteInput(in, records, size);

  RunPipeline(in, out, size);
  if (!SameFiles(in, out)) {
    std::fprintf(stderr, "Fehler: die Kopie weicht vom Original ab\n");
    return 1;
  }
  double best = 1e9, bestCp = 1e9, bestDd = 1e9;
  for (int round = 0; round < 7; ++round) {
    auto t = Clock::now();
    RunPipeline(in, out, size);
    best = std::min(best, Seconds(t));
    t = Clock::now();
    if (std::system(("cp '" + in + "' '" + cpOut + "'").c_str()) != 0) return 1;
    bestCp = std::min(bestCp, Seconds(t));
    t = Clock::now();
    if (std::system(("dd if='" + in + "' of='" + cpOut + "' bs=1M status=none").c_str()) != 0) {
      return 1;
    }
    bestDd = std::min(bestDd, Seconds(t));
  }
  std::printf("Datensätze: %ld zu %d B (%.0f MB)\n", records, size, records * size / 1e6);
  std::printf("Pipeline: %.3f s (%.0f Datensätze/s)\n", best, records / best);
  std::printf("cp:       %.3f s\n", bestCp);
  std::printf("dd bs=1M: %.3f s\n", bestDd);
  std::printf("Verhältnis Pipeline/cp: %.2f\n", best / bestCp);
  std::printf("Verhältnis Pipeline/dd: %.2f\n", best / bestDd);
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(cpOut.c_str());
  return 0;
}
