// Fuzz target: the records of compact dark files ("Kompaktsperrdatei"), as TCompactProducer
// reads them into the matching phase.
//
// Input: byte 0 gives the slot length (4 + byte, 4..259), byte 1 the number of header slots
// (0..3), the rest is the file. The header's own check belongs to the parameter check and is not
// fuzzed here; the producer skips the header slots and reads every whole slot after them. A slot
// whose used length (its first two bytes) lies outside 4..slot length is the designed trap
// "Trap: TCompactProducer.Signal"; every other slot must arrive as its first `used` bytes, in
// file order, and a trailing part slot is never read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/pipeline/output_chain.h"
#include "engine/pipeline/pipeline_test_util.h"
#include "engine/runtime/heap.h"
#include "engine/runtime/layers.h"
#include "engine/runtime/process_manager.h"
#include "fuzz/fuzz_support.h"

namespace vld::fuzz {
namespace {

constexpr std::string_view kTrap = "Trap: TCompactProducer.Signal";

// Frees the phase layer quietly, as the task driver does after an error.
struct Phase {
  Phase() : layer(CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 16)) {}
  ~Phase() {
    ErrorUnwindScope quietly;
    Free(layer);
  }
  TMemoryLayer* layer;
};

}  // namespace
}  // namespace vld::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vld::fuzz::InstallFuzzHooks();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vld;
  using namespace vld::fuzz;
  if (size < 2) return 0;
  const std::int32_t slot = 4 + data[0];
  const std::int64_t headerSlots = data[1] % 4;
  const std::string_view file(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string path = ScratchFile("Kompakt.dat");
  WriteScratchFile(path, file);

  // What the producer must deliver: the used part of each slot up to the first bad one.
  std::vector<std::string> expected;
  bool expectTrap = false;
  const std::int64_t slots = static_cast<std::int64_t>(file.size()) / slot;
  for (std::int64_t i = headerSlots; i < slots; ++i) {
    const auto at = static_cast<std::size_t>(i * slot);
    const std::int32_t used =
        static_cast<std::uint8_t>(file[at]) | (static_cast<std::uint8_t>(file[at + 1]) << 8);
    if (used < 4 || used > slot) {
      expectTrap = true;
      break;
    }
    expected.emplace_back(file.substr(at, static_cast<std::size_t>(used)));
  }

  TFileLayout layout;
  layout.number = 2;
  layout.type = InputFileType::kKompaktsperr;
  layout.blueRecordLength = static_cast<std::uint16_t>(slot);
  layout.recordCount = std::max<std::int64_t>(0, slots - headerSlots);
  Phase phase;
  auto* manager = CreateIn<TProcessManager>(*phase.layer);
  auto* producer = CreateIn<TCompactProducer>(*phase.layer);
  auto* sink = CreateIn<testing::Collector>(*phase.layer);
  producer->Setup(manager, 4096, layout.recordCount, "Kompakt2", path, headerSlots, &layout);
  sink->Setup(manager, slot);
  producer->ConnectOutput(1, sink->InputGate(1));
  const auto error =
      Outcome([&] { manager->Run(*producer, &PushLayer, *phase.layer); }, kAcceptFatal, kTrap);
  Echo(error ? *error : std::to_string(sink->records.size()) + " Sätze");
  Require(error.has_value() == expectTrap, expectTrap
                                               ? "Ein Satz mit unmöglicher Länge wurde gelesen."
                                               : "Ein gültiger Satz hat eine Falle ausgelöst.");
  Require(sink->records == expected, "Die gelesenen Sätze weichen von der Datei ab.");
  for (const void* tag : sink->tags) Require(tag == &layout, "falsches Kennzeichen eines Satzes");
  return 0;
}
