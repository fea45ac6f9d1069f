#include "engine/task/phases.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <queue>
#include <thread>

#include "engine/files/global.h"
#include "engine/files/xan_file.h"
#include "engine/pipeline/output_chain.h"
#include "engine/pipeline/select.h"
#include "engine/pipeline/zip.h"
#include "engine/runtime/hooks.h"
#include "engine/runtime/memory_control.h"
#include "engine/runtime/process_manager.h"
#include "engine/runtime/producers.h"
#include "engine/runtime/short_string.h"
#include "matching/key_building.h"
#include "matching/match.h"
#include "platform/fatal.h"
#include "platform/le_codec.h"
#include "platform/paths.h"

namespace vld {
namespace {

constexpr std::int64_t kListBuffer = 65536;

// One pipeline run in a layer of its own.
template <typename Build>
void RunPipeline(TTaskContext& c, const char* reportName, Build build) {
  TMemoryLayer* phase = PushLayer(c.phaseSet);
  auto* manager = CreateIn<TProcessManager>(*phase);
  TGenerator& generator = build(*phase, manager);
  manager->Run(generator, &PushLayer, *phase);
  MemoryReport(reportName, manager->Result());
  Free(phase);
}

void Information(const std::string& text) { Report(MessageKind::kInformation, text); }

// Header slots of a compact dark file, read from its header (checked by the parameter check).
std::int64_t CompactHeaderSlots(const std::string& file, std::int32_t recordLength) {
  TXanFile f(file);
  f.Open(kXanRead);
  std::uint8_t header[48] = {};
  if (f.Size() >= 48) f.ReadBytes(header, 48);
  f.Close();
  const std::int32_t size = le::GetI32(std::span<const std::uint8_t>(header, 48), 40);
  if (recordLength <= 0 || size < 0 || size % recordLength != 0) Trap("TCompactProducer.Signal");
  return size / recordLength;
}

// The header of the compact dark file the task writes (offsets 48 onwards from the set).
std::vector<std::uint8_t> CompactHeader(const TParameter& set, const TCompactLayout& layout) {
  const TParameterFields& f = set.Fields();
  const std::string_view ident = set.Text(f.compactIdent);
  const std::int64_t content = CompactHeaderContentSize(static_cast<std::int64_t>(std::min<std::size_t>(ident.size(), 255)), f.componentCount);
  std::vector<std::uint8_t> h = MakeCompactHeader(layout.length, content);
  h[48] = f.compactWithPriorities ? 1 : 0;
  le::PutI32(h, 49, f.darkInfoLength);
  le::PutI32(h, 53, f.classKeyLength);
  le::PutI32(h, 57, f.matchKeyLength);
  le::PutI32(h, 61, f.componentCount);
  le::PutI32(h, 73, f.plausibleInterval);
  le::PutU16(h, 77, f.plzPart.position);
  le::PutU16(h, 79, f.plzPart.length);
  const std::size_t n = std::min<std::size_t>(ident.size(), 255);
  h[81] = static_cast<std::uint8_t>(n);
  if (n > 0) std::memcpy(h.data() + 82, ident.data(), n);
  std::size_t at = 82 + n;
  for (const TSlotEntry& slot : set.Slots()) {
    for (const TComponentEntry& comp : set.Entries<TComponentEntry>(slot.components)) {
      h[at] = static_cast<std::uint8_t>(comp.kind);
      h[at + 1] = static_cast<std::uint8_t>(slot.kind);
      h[at + 2] = comp.kind == ComponentKind::kNormal && comp.prefix ? 1 : 0;
      le::PutU32(h, at + 4, comp.kind == ComponentKind::kNormal ? comp.wordHurdle : 0);
      le::PutU32(h, at + 8, static_cast<std::uint8_t>(slot.kind) >= 2 ? static_cast<std::uint32_t>(f.blockHurdle) : 0);
      at += 12;
    }
  }
  return h;
}

}  // namespace

std::string TTaskContext::File(int code) const {
  const std::string name(set.FileName(code));
  if (name.empty()) return name;
  if (IsTaskOutput(code)) {
    for (const auto& [final, temporary] : pending) {
      if (final == name) return temporary;
    }
  }
  return name;
}

std::string TTaskContext::Pending(const std::string& finalName) {
  if (finalName.empty()) return finalName;
  for (const auto& [final, temporary] : pending) {
    if (final == finalName) return temporary;
  }
  pending.emplace_back(finalName, finalName + kUnfinishedSuffix);
  return pending.back().second;
}

TTaskContext::~TTaskContext() {
  // Only a task that did not commit has pending outputs; the engine's files may still be open
  // while it unwinds, which does not keep a name from being removed.
  for (const auto& [final, temporary] : pending) ::unlink(temporary.c_str());
}

void TTaskContext::CommitOutputs() {
  for (const auto& [final, temporary] : pending) {
    struct stat st;
    if (::stat(temporary.c_str(), &st) == 0) RenameOrRaise(temporary, final);
  }
  pending.clear();
}

void WriteEmptyOutputs(TTaskContext& c, bool multi) {
  std::vector<std::string> names;
  if (c.set.Fields().splitOutput) {
    for (const TInputFile& input : c.inputs) names.push_back(input.outputs[multi ? 1 : 0]);
  } else {
    names.push_back(c.File(multi ? 7 : 6));
  }
  for (const std::string& name : names) {
    if (name.empty()) continue;
    TXanFile file(name);
    file.Open(kXanCreate | kXanAlways | kXanWrite);
    file.Close();
  }
}

void RunSelection(TTaskContext& c) {
  const TParameterFields& f = c.set.Fields();
  Diagnostics() = {1, c.plan.capacity, c.plan.ioBuffer};
  Heading("Selection");
  Information(Format("Einträge: %lld\rBuffer:   %lld B", static_cast<long long>(c.plan.capacity),
                     static_cast<long long>(c.plan.ioBuffer)));
  RunPipeline(c, "Selection", [&](TMemoryLayer& phase, TProcessManager* manager) -> TGenerator& {
    auto* producer = CreateIn<TMultiProducer>(phase);
    auto* sortKey = CreateIn<TBuildSortKey>(phase);
    auto* select = CreateIn<TSelect>(phase);
    auto* consumer = CreateIn<TConsumer>(phase);
    producer->Setup(manager, f.recordLength, c.sortedRecords, "Input", c.recordInputs,
                    c.plan.ioBuffer);
    sortKey->Setup(manager, c.set, c.tables.keyTables, f.recordLength + 1);
    select->Setup(manager, f.classRecordLength, c.q1, c.plan.capacity, KeyMode::kClassKey,
                  f.classKeyLength);
    consumer->Setup(manager, f.classRecordLength, "Temp1", c.File(15), c.plan.ioBuffer);
    producer->ConnectOutput(1, sortKey->InputGate(1));
    sortKey->ConnectOutput(1, select->InputGate(1));
    select->ConnectOutput(1, consumer->InputGate(1));
    return *producer;
  });
  // Say at once when one merge pass cannot take all runs.
  CheckRunsMergeable(c.q1->Runs());
}

void RunMerge(TTaskContext& c) {
  const TParameterFields& f = c.set.Fields();
  const std::int64_t runs = c.q1->Runs();
  Heading("Merging");
  const std::string temp1 = c.File(15), temp2 = c.File(16);
  if (runs == 1 && f.mergeOptimisation && SameVolume(ParentPath(temp1), ParentPath(temp2))) {
    Information("Runs: 1\rskipping merge pass");
    std::int64_t start, length;
    c.q1->Pop(start, length);
    c.q3->Push(length);
    std::remove(temp2.c_str());
    RenameOrRaise(temp1, temp2);
    return;  // the first temporary file is now the second: nothing left to delete
  }
  const std::int64_t buffer = MergeBuffer(c.plan, runs);
  Diagnostics() = {2, runs, buffer};
  Information(Format("Runs:   %lld\rBuffer: %lld B", static_cast<long long>(runs),
                     static_cast<long long>(buffer)));
  RunPipeline(c, "Merge", [&](TMemoryLayer& phase, TProcessManager* manager) -> TGenerator& {
    auto* merge = CreateIn<TMerge>(phase);
    auto* consumer = CreateIn<TConsumer>(phase);
    merge->Setup(manager, f.classRecordLength, c.q3, c.q1, runs, KeyMode::kClassKey,
                 f.classKeyLength, "Temp1", temp1, f.fileNumberPosition, c.descriptors, buffer);
    consumer->Setup(manager, f.classRecordLength, "Temp2", temp2, buffer);
    merge->ConnectOutput(1, consumer->InputGate(1));
    return *merge;
  });
  DeleteOrRaise(temp1);
}

void RunMergeAndCompact(TTaskContext& c) {
  const TParameterFields& f = c.set.Fields();
  const std::int64_t runs = c.q1->Runs();
  const std::int64_t buffer = MergeBuffer(c.plan, runs);
  Diagnostics() = {2, runs, buffer};
  Heading("Merging and Compacting");
  Information(Format("Runs:   %lld\rBuffer: %lld B", static_cast<long long>(runs),
                     static_cast<long long>(buffer)));
  const TCompactLayout layout = TCompactLayout::Of(c.set);
  RunPipeline(c, "Merge and Compact", [&](TMemoryLayer& phase, TProcessManager* manager) -> TGenerator& {
    auto* merge = CreateIn<TMerge>(phase);
    auto* matchKey = CreateIn<TBuildMatchKey>(phase);
    auto* compact = CreateIn<TBuildCompactRecord>(phase);
    auto* consumer = CreateIn<TCompactConsumer>(phase);
    merge->Setup(manager, f.classRecordLength, c.q3, c.q1, runs, KeyMode::kClassKey,
                 f.classKeyLength, "Temp1", c.File(15), f.fileNumberPosition, c.descriptors, buffer);
    matchKey->Setup(manager, c.set, c.tables.keyTables, f.classRecordLength);
    compact->Setup(manager, c.set, f.matchRecordLength);
    consumer->Setup(manager, layout.length, CompactHeader(c.set, layout), "Kompakt", c.File(13),
                    buffer);
    merge->ConnectOutput(1, matchKey->InputGate(1));
    matchKey->ConnectOutput(1, compact->InputGate(1));
    compact->ConnectOutput(1, consumer->InputGate(1));
    return *merge;
  });
  DeleteOrRaise(c.File(15));
}

void RunMatching(TTaskContext& c) {
  const TParameterFields& f = c.set.Fields();
  Heading("Matching");
  const TSortPlan outputPlan =
      f.sortOutput ? ComputeSortPlan(c.plan.memory / 2, std::max<std::int64_t>(c.sortedRecords, 2),
                                     f.outSortRecordLength)
                   : TSortPlan{};
  if (f.sortOutput) {
    if (!c.File(6).empty()) {
      Information(Format("Single Einträge: %lld\rSingle Buffer:   %lld B",
                         static_cast<long long>(outputPlan.capacity),
                         static_cast<long long>(outputPlan.ioBuffer)));
    }
    if (!c.File(7).empty()) {
      Information(Format("Multi  Einträge: %lld\rMulti  Buffer:   %lld B",
                         static_cast<long long>(outputPlan.capacity),
                         static_cast<long long>(outputPlan.ioBuffer)));
    }
  }
  const std::array<std::uint8_t, 256> boundary = c.tables.BoundaryTable();
  RunPipeline(c, "Match", [&](TMemoryLayer& phase, TProcessManager* manager) -> TGenerator& {
    auto* blue = CreateIn<TBlueProducer>(phase);
    auto* matchKey = CreateIn<TBuildMatchKey>(phase);
    auto* match = CreateIn<TMatch>(phase);
    blue->Setup(manager, f.classRecordLength, c.sortedRecords, "Temp2", c.File(16), c.inputs,
                f.fileNumberPosition, 65536);
    matchKey->Setup(manager, c.set, c.tables.keyTables, f.classRecordLength);
    TMemoryLayer* classMemory = TaskMemory().backLayer;
    match->Setup(manager, c.set, *c.tables.darkLists, boundary,
                 classMemory != nullptr ? *classMemory : phase, c.document, c.File(11));
    blue->ConnectOutput(1, matchKey->InputGate(1));

    // Compact dark files join the stream through a tree of zips, the two smallest streams
    // first. An empty compact dark file has nothing to join and is left out.
    struct Stream {
      TProcess* process;
      std::int64_t count;
      bool operator>(const Stream& o) const { return count > o.count; }
    };
    std::priority_queue<Stream, std::vector<Stream>, std::greater<Stream>> streams;
    std::int64_t compactFiles = 0;
    for (const TInputFile& input : c.inputs) {
      const TFileLayout& l = *input.layout;
      if (l.type != InputFileType::kKompaktsperr || l.recordCount <= 0) continue;
      auto* producer = CreateIn<TCompactProducer>(phase);
      producer->Setup(manager, 65536, l.recordCount, Format("Kompakt%u", static_cast<unsigned>(l.number)),
                      input.name, CompactHeaderSlots(input.name, l.blueRecordLength), &l);
      streams.push({producer, l.recordCount});
      ++compactFiles;
    }
    streams.push({matchKey, c.sortedRecords});
    for (std::int64_t i = 0; i < compactFiles; ++i) {
      const Stream smaller = streams.top();
      streams.pop();
      const Stream other = streams.top();
      streams.pop();
      auto* zip = CreateIn<TZipProcess>(phase);
      zip->Setup(manager, f.matchRecordLength, f.matchRecordLength);
      smaller.process->ConnectOutput(1, zip->InputGate(1));
      other.process->ConnectOutput(1, zip->InputGate(2));
      streams.push({zip, smaller.count + other.count});
    }
    TProcess* top = streams.top().process;
    top->ConnectOutput(1, match->InputGate(1));
    // Straight into the matcher the keys are built on two cores; a zip takes them one by one.
    matchKey->parallel = compactFiles == 0 && std::thread::hardware_concurrency() > 1;

    // Outputs, each only when its file is wanted.
    const std::int32_t out = f.outputRecordLength;
    const auto plainOutput = [&](int gate, int code, const char* counter) {
      auto* consumer = CreateIn<TConsumer>(phase);
      consumer->Setup(manager, out, counter, c.File(code), 65536);
      match->ConnectOutput(gate, consumer->InputGate(1));
    };
    const auto splitOutput = [&](int gate, int slot, const char* counter) {
      auto* consumer = CreateIn<TMultiConsumer>(phase);
      consumer->Setup(manager, out, counter, c.inputs, slot, 65536);
      match->ConnectOutput(gate, consumer->InputGate(1));
    };
    const auto sortedOutput = [&](int gate, TQueue* queue, int tempCode, const char* counter) {
      auto* adapter = CreateIn<TCall2Send>(phase);
      auto* key = CreateIn<TBuildSortOutKey>(phase);
      auto* select = CreateIn<TSelect>(phase);
      auto* consumer = CreateIn<TConsumer>(phase);
      adapter->Setup(manager, out);
      key->Setup(manager, c.set, out);
      select->Setup(manager, f.outSortRecordLength, queue, outputPlan.capacity, KeyMode::kOutputSortKey,
                    f.outSortKeyLength);
      consumer->Setup(manager, f.outSortRecordLength, counter, c.File(tempCode), outputPlan.ioBuffer);
      match->ConnectOutput(gate, adapter->InputGate(1));
      adapter->ConnectOutput(1, key->InputGate(1));
      key->ConnectOutput(1, select->InputGate(1));
      select->ConnectOutput(1, consumer->InputGate(1));
    };
    for (int multi = 0; multi <= 1; ++multi) {
      const int gate = 1 + multi, code = 6 + multi;
      const char* counter = multi ? "Output Multi" : "Output Single";
      if (f.sortOutput) {
        if (!c.File(code).empty()) sortedOutput(gate, multi ? c.q2 : c.q1, 17 + multi, multi ? "Temp4" : "Temp3");
      } else if (f.splitOutput) {
        splitOutput(gate, multi, counter);
      } else if (!c.File(code).empty()) {
        plainOutput(gate, code, counter);
      }
    }
    if (f.splitDuplicates) {
      splitOutput(3, 2, "Dubletten");
    } else if (!c.File(8).empty()) {
      plainOutput(3, 8, "Dubletten");
    }
    if (!c.File(9).empty()) {
      auto* list = CreateIn<TConsumer>(phase);
      list->Setup(manager, f.listRecordLength, "Dublettenliste", c.File(9), kListBuffer);
      match->ConnectOutput(4, list->InputGate(1));
    }
    if (!c.File(10).empty()) {
      auto* statistics = CreateIn<TTextConsumer>(phase);
      statistics->Setup(manager, 65536, "Statistik", c.File(10));
      match->ConnectOutput(5, statistics->InputGate(1));
    }
    if (compactFiles == 0) return *blue;
    return static_cast<TGenerator&>(*top);
  });
  DeleteOrRaise(c.File(16));
}

void RunMergeOutput(TTaskContext& c, bool multi) {
  const TParameterFields& f = c.set.Fields();
  TQueue* queue = multi ? c.q2 : c.q1;
  const std::int64_t runs = queue->Runs();
  const std::int64_t merge = MergeBuffer(c.plan, runs);
  const std::int64_t buffer = f.splitOutput ? std::min<std::int64_t>(merge, 65536) : merge;
  Diagnostics() = {2, runs, buffer};
  Heading(multi ? "Merging Multis" : "Merging Singles");
  Information(Format("Runs:   %lld\rBuffer: %lld B", static_cast<long long>(runs),
                     static_cast<long long>(buffer)));
  const std::string temp = c.File(multi ? 18 : 17);
  RunPipeline(c, "Merge", [&](TMemoryLayer& phase, TProcessManager* manager) -> TGenerator& {
    auto* mergeProcess = CreateIn<TMerge>(phase);
    mergeProcess->Setup(manager, f.outSortRecordLength, c.q3, queue, runs, KeyMode::kOutputSortKey,
                        f.outSortKeyLength, multi ? "Temp4" : "Temp3", temp,
                        f.outFileNumberPosition, c.descriptors, buffer);
    TProcess* last = mergeProcess;
    if (f.crlf) {
      auto* crlf = CreateIn<TAddCrLf>(phase);
      crlf->Setup(manager, f.outSortRecordLength, f.outputRecordLength);
      mergeProcess->ConnectOutput(1, crlf->InputGate(1));
      last = crlf;
    }
    const char* counter = multi ? "Output Multi" : "Output Single";
    if (f.splitOutput) {
      auto* consumer = CreateIn<TMultiConsumer>(phase);
      consumer->Setup(manager, f.outputRecordLength, counter, c.inputs, multi ? 1 : 0, buffer);
      last->ConnectOutput(1, consumer->InputGate(1));
    } else {
      auto* consumer = CreateIn<TConsumer>(phase);
      consumer->Setup(manager, f.outputRecordLength, counter, c.File(multi ? 7 : 6), buffer);
      last->ConnectOutput(1, consumer->InputGate(1));
    }
    return *mergeProcess;
  });
  DeleteOrRaise(temp);
}

}  // namespace vld
