#include "engine/task/match_task.h"

#include <sys/stat.h>

#include <algorithm>

#include "engine/files/news.h"
#include "engine/runtime/heap.h"
#include "engine/runtime/hooks.h"
#include "engine/task/phases.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {
namespace {

void Information(const std::string& text) { Report(MessageKind::kInformation, text); }
void Detail(const std::string& text) { Report(MessageKind::kDetail, text); }

std::int64_t FileSize(const std::string& name) {
  struct stat st;
  return stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
}

// "Komponenten-Ordnung (max. Punkte in Klammern): " and "nr(points) " per component in
// comparison order, lines wrapped after 60 characters.
void ComponentOrderMessage(const TParameter& set, TMemorySpace& space) {
  auto* news = CreateIn<TNews>(space, 4096);
  std::string line = "Komponenten-Ordnung (max. Punkte in Klammern): ";
  for (std::uint16_t index : set.ComparisonOrder()) {
    if (line.size() > 60) {
      news->Add(line);
      line.clear();
    }
    line += Format("%u(%u) ", static_cast<unsigned>(index),
                   static_cast<unsigned>(set.Component(index - 1).maxScore));
  }
  news->Add(line);
  news->Add("");
  news->Send(MessageKind::kDetail);
  Free(news);
}

}  // namespace

TMatchTask::TMatchTask(TMatchTaskOptions options) : options_(std::move(options)) {}

TMatchTask::~TMatchTask() { Release(); }

void TMatchTask::Release() {
  if (memory_ == nullptr) return;
  TMemoryControl* memory = memory_;
  memory_ = nullptr;
  Free(memory);
}

TaskResult TMatchTask::Run() {
  memory_ = CreateIn<TMemoryControl>(StandardHeap());
  Report(MessageKind::kHeading, Format("\r%s\r\rParameter-Satz: %s\r", kProductBanner,
                                        options_.runTitle.c_str()));
  TMemoryLayer* task = PushLayer(memory_->MainLayer());
  MemoryReport("Programm", task->Available());

  bool headerWritten = false;
  const ParameterMessageSink messages = [&](bool isError, const std::string& text) {
    if (isError && !headerWritten) {
      Information("Fehler in den Parametern:");
      headerWritten = true;
    }
    Information(text);
  };
  const JournalSink journal = [](const std::string& name) {
    return Report(MessageKind::kJournalFile, name) != 0;
  };
  TLoadedParameters loaded = options_.load(*task, options_.stepwise, messages, journal);

  TaskResult result = TaskResult::kDone;
  if (loaded.errors > 0 || loaded.set == nullptr) {
    const int e = std::max(loaded.errors, 1), h = loaded.hints;
    Report(MessageKind::kHeading,
           h == 0   ? Format("%d Fehler in den Parametern", e)
           : h == 1 ? Format("%d Fehler in den Parametern (1 Hinweis)", e)
                    : Format("%d Fehler in den Parametern (%d Hinweise)", e, h));
    result = TaskResult::kParameterErrors;
  } else {
    const TParameter& set = *loaded.set;
    const TParameterFields& f = set.Fields();
    if (loaded.hints == 1) Report(MessageKind::kHeading, "1 Hinweis zu den Parametern");
    if (loaded.hints > 1) {
      Report(MessageKind::kHeading, Format("%d Hinweise zu den Parametern", loaded.hints));
    }
    Information(Format("Datensätze: %lld", static_cast<long long>(f.totalRecords)));
    Detail(Format("Datensatzlängen: Eingabe=%u B, Sortieren=%u B, Matchen=%u B",
                  static_cast<unsigned>(f.recordLength), static_cast<unsigned>(f.classRecordLength),
                  static_cast<unsigned>(f.matchRecordLength)));
    if (f.sortOutput) {
      Detail(Format("                 Sortieren Ausgabe=%u B",
                    static_cast<unsigned>(f.outSortRecordLength)));
    }
    ComponentOrderMessage(set, *task);
    loaded.tables->Bind();
    result = RunPhases(set, *loaded.tables, *task);
    Free(loaded.tables);
    Free(loaded.set);
  }
  Free(task);
  if (result != TaskResult::kParameterErrors) Report(MessageKind::kHeading, "\rFertig.");
  Release();
  return result;
}

TaskResult TMatchTask::RunPhases(const TParameter& set, TMatchTables& tables, TMemoryLayer& task) {
  const TParameterFields& f = set.Fields();
  TMemoryLayer* phaseSet = PushLayer(task);
  const std::int64_t available = phaseSet->Available();
  if (available <= static_cast<std::int64_t>(f.sortReserve)) {
    throw EUserError(Format(
        "Die Speicherreserve beim Sortieren (%lld B) ist nicht kleiner als der freie Speicher "
        "(%lld B). Bitte erhöhen Sie die obere Speichergrenze oder verringern Sie die "
        "Speicherreserve.",
        static_cast<long long>(f.sortReserve), static_cast<long long>(available)));
  }
  const std::int64_t working =
      std::min(available - static_cast<std::int64_t>(f.sortReserve), MemorySettings().lowerLimit);

  TTaskContext c{set, tables, options_.document, *phaseSet, {}, {}, {}, 0, {}, {}, nullptr, nullptr, nullptr, {}};
  for (const TInputFileEntry& entry : set.InputFiles()) {
    TInputFile input;
    input.layout = &entry;
    input.name = std::string(set.FileName(entry.file));
    for (std::size_t k = 0; k < 3; ++k) {
      input.outputs[k] = c.Pending(std::string(set.FileName(entry.outputs[k])));
    }
    c.inputs.push_back(input);
    c.descriptors.push_back(&entry);
    if (entry.type != InputFileType::kKompaktsperr) {
      c.recordInputs.push_back(input);
      c.sortedRecords += entry.recordCount;
    }
  }
  for (int code : {6, 7, 8, 9, 10, 13}) c.Pending(std::string(set.FileName(code)));
  c.plan = ComputeSortPlan(working, std::max<std::int64_t>(c.sortedRecords, 2), f.classRecordLength);
  c.planCopy = c.plan;
  c.q1 = CreateIn<TQueue>(*phaseSet);
  c.q1->Prepare(c.plan.maxRuns);
  c.q2 = CreateIn<TQueue>(*phaseSet);
  c.q3 = CreateIn<TQueue>(*phaseSet);
  c.q3->Prepare(1);

  TaskResult result = TaskResult::kDone;
  bool sort = true, match = true;
  if (f.makeCompactFile) {
    Heading("Erzeugung einer kompakten Sperrdatei");
    RunSelection(c);
    RunMergeAndCompact(c);
    sort = match = false;
  } else if (options_.stepwise) {
    // Only a second temporary file that a completed merge left is resumed.
    const std::int64_t expected = c.sortedRecords * f.classRecordLength;
    if (FileSize(c.File(16)) == expected) {
      Heading("Stufenweise & Temporärdarei ->");
      sort = false;
      c.q3->Push(c.sortedRecords);
    } else {
      Heading("Stufenweise & keine Temporärdarei ->");
      match = false;
      result = TaskResult::kStepDone;
    }
  }
  if (sort) {
    RunSelection(c);
    RunMerge(c);
  }
  if (match) {
    if (f.sortOutput && sort) {
      c.plan = c.planCopy;
      c.q1->Clear();
      c.q3->Clear();
    }
    c.q2->Prepare(c.plan.maxRuns);
    RunMatching(c);
    if (f.sortOutput) {
      if (c.q1->Runs() > 0) RunMergeOutput(c, false);
      if (c.q2->Runs() > 0) {
        c.q3->Clear();
        RunMergeOutput(c, true);
      }
    }
  }
  c.CommitOutputs();
  Free(phaseSet);
  return result;
}

}  // namespace vld
