#include "engine/runtime/process.h"

#include <algorithm>

#include "engine/runtime/process_manager.h"
#include "platform/fatal.h"

namespace vld {
namespace {

std::uint8_t* CanNotSend(void*, std::int32_t, const void*, std::uint8_t*) {
  Fatal("gate can not send");
}
void CanNotCall(void*, std::int32_t, const void*, std::uint8_t*) { Fatal("gate can not call"); }

// A send mapped onto the target's call entry: the sender keeps its buffer.
std::uint8_t* SendThroughCall(void* object, std::int32_t size, const void* tag,
                              std::uint8_t* record) {
  auto* gate = static_cast<TOutputGate*>(object);
  gate->adaptedCall.code(gate->adaptedCall.object, size, tag, record);
  return record;
}

void ResetOutput(TOutputGate& gate) {
  gate.send = {&CanNotSend, &gate};
  gate.call = {&CanNotCall, &gate};
  gate.adaptedCall = {};
}

void InvalidateOrderOf(TProcess* process) {
  if (process != nullptr && process->Manager() != nullptr) process->Manager()->InvalidateOrder();
}

}  // namespace

TOutputGate::TOutputGate() { ResetOutput(*this); }

// ---- TProcess -------------------------------------------------------------------------------

TProcess::TProcess() {
  for (int i = 0; i < 2; ++i) {
    inputs_[i].process = this;
    inputs_[i].number = i + 1;
    inputs_[i].link = &inputs_[i];
  }
  for (int i = 0; i < 5; ++i) {
    outputs_[i].process = this;
    outputs_[i].number = i + 1;
    outputs_[i].link = &outputs_[i];
  }
}

TProcess::~TProcess() {
  for (TInputGate& in : inputs_) Disconnect(in);
  for (TOutputGate& out : outputs_) Disconnect(out);
  if (manager_ != nullptr) manager_->Unlink(*this);
}

TProcess* TProcess::DriverOf() {
  TOutputGate* source = inputs_[0].source;
  return source ? source->process->DriverOf() : nullptr;
}

bool TProcess::HasNoInput() const {
  return inputs_[0].source == nullptr && inputs_[1].source == nullptr;
}

void TProcess::GatesChanged(TProcessGate&, TProcessGate*) {}
void TProcess::Open(TMemorySpace&) {}
void TProcess::Close() {}

void TProcess::ReleaseChain() {
  if (!HasNoInput()) return;
  Close();
  for (TOutputGate& out : outputs_) {
    if (out.target == nullptr) continue;
    TProcess* next = out.target->process;
    Disconnect(out);
    next->ReleaseChain();
  }
  Free(this);
}

TInputGate& TProcess::InputGate(int n) {
  if (n < 1 || n > 2) Fatal("invalid input gate index");
  return inputs_[n - 1];
}

TOutputGate& TProcess::OutputGate(int n) {
  if (n < 1 || n > 5) Fatal("invalid output gate index");
  return outputs_[n - 1];
}

void TProcess::ConnectOutput(int n, TInputGate& input) { Connect(OutputGate(n), input); }

void TProcess::ActivateInput(int n, std::int32_t recordSize, std::uint8_t forwardSet,
                             CallEntry call, SendEntry send) {
  vld::ActivateInput(InputGate(n), recordSize, forwardSet, call, send);
}

void TProcess::ActivateOutput(int n, std::uint8_t mode, std::int32_t recordSize) {
  vld::ActivateOutput(OutputGate(n), mode, recordSize);
}

// ---- Gates ----------------------------------------------------------------------------------

void ActivateInput(TInputGate& gate, std::int32_t recordSize, std::uint8_t forwardSet,
                   CallEntry call, SendEntry send) {
  if (gate.process == nullptr) Fatal("invalid input gate");
  if (gate.mode != 0) Fatal("input gate already activated");
  const std::uint8_t mode = (send ? kModeSend : 0) | (call ? kModeCall : 0);
  if (mode == 0) Fatal("empty mode of input gate");
  if (recordSize < 0) Fatal("invalid record size at input gate");
  gate.mode = mode;
  gate.declaredSize = recordSize;
  gate.forwardSet = forwardSet;
  gate.sendEntry = send;
  gate.callEntry = call;
  for (int out = 1; out <= 5; ++out) {
    if (forwardSet & (1u << out)) {
      gate.process->OutputGate(out).forwardedInputs |= static_cast<std::uint8_t>(1u << gate.number);
    }
  }
}

void ActivateOutput(TOutputGate& gate, std::uint8_t mode, std::int32_t recordSize) {
  if (gate.process == nullptr) Fatal("invalid output gate");
  if (gate.mode != 0) Fatal("output gate already activated");
  if (mode == 0) Fatal("empty mode of output gate");
  if (recordSize < 0) Fatal("invalid record size at output gate");
  gate.mode = mode;
  gate.declaredSize = recordSize;
}

void Connect(TOutputGate& output, TInputGate& input) {
  if (output.mode == 0) Fatal("connect: inactive output gate");
  if (input.mode == 0) Fatal("connect: inactive input gate");
  if ((output.mode & kModeCall) && !(input.mode & kModeCall)) {
    Fatal("connect: can not map call to send");
  }
  Disconnect(output);
  Disconnect(input);
  InvalidateOrderOf(output.process);
  InvalidateOrderOf(input.process);
  output.target = &input;
  input.source = &output;
  if (output.mode & kModeCall) output.call = input.callEntry;
  if (output.mode & kModeSend) {
    if (input.mode & kModeSend) {
      output.send = input.sendEntry;
    } else {
      output.adaptedCall = input.callEntry;
      output.send = {&SendThroughCall, &output};
    }
  }
  output.process->GatesChanged(output, &input);
  input.process->GatesChanged(input, &output);
}

void Disconnect(TOutputGate& output) {
  TInputGate* input = output.target;
  if (input == nullptr) return;
  InvalidateOrderOf(output.process);
  InvalidateOrderOf(input->process);
  output.target = nullptr;
  input->source = nullptr;
  ResetOutput(output);
  output.process->GatesChanged(output, nullptr);
  input->process->GatesChanged(*input, nullptr);
}

void Disconnect(TInputGate& input) {
  if (input.source != nullptr) Disconnect(*input.source);
}

void Register(TProcess& process, TProcessManager* manager) {
  if (manager == nullptr) Fatal("process init: no manager");
  if (process.manager_ != nullptr) process.manager_->Unlink(process);
  process.manager_ = manager;
  process.prevInManager_ = nullptr;
  process.nextInManager_ = manager->firstProcess_;
  if (manager->firstProcess_ != nullptr) manager->firstProcess_->prevInManager_ = &process;
  manager->firstProcess_ = &process;
  manager->InvalidateOrder();
}

TGenerator& GeneratorOf(TProcess& process) {
  TProcess* driver = process.DriverOf();
  if (driver == nullptr || !driver->IsGenerator()) Fatal("can not find generator");
  return static_cast<TGenerator&>(*driver);
}

namespace {
TProcessGate* Find(TProcessGate* gate) {
  TProcessGate* root = gate;
  while (root->link != root) root = root->link;
  while (gate != root) {
    TProcessGate* next = gate->link;
    gate->link = root;
    gate = next;
  }
  return root;
}
}  // namespace

std::int32_t EffectiveRecordSize(TProcessGate& gate) {
  TProcessManager* manager = gate.process ? gate.process->Manager() : nullptr;
  if (manager == nullptr) return gate.declaredSize;
  if (gate.effectiveSize < 0 || !manager->SizesValid()) manager->ComputeRecordSizes();
  gate.effectiveSize = Find(&gate)->effectiveSize;
  return gate.effectiveSize;
}

// ---- TProcessManager ------------------------------------------------------------------------

void TProcessManager::Unlink(TProcess& process) {
  if (process.prevInManager_ != nullptr) {
    process.prevInManager_->nextInManager_ = process.nextInManager_;
  } else if (firstProcess_ == &process) {
    firstProcess_ = process.nextInManager_;
  }
  if (process.nextInManager_ != nullptr) {
    process.nextInManager_->prevInManager_ = process.prevInManager_;
  }
  process.prevInManager_ = process.nextInManager_ = nullptr;
  process.manager_ = nullptr;
  if (current_ == &process) current_ = nullptr;
  InvalidateOrder();
}

void TProcessManager::FreeContents() {
  while (firstProcess_ != nullptr) {
    TProcess* process = firstProcess_;
    Unlink(*process);
    Free(process);
  }
  TOrigin::FreeContents();
}

void TProcessManager::ComputeOrder() {
  if (orderValid_) return;
  order_.clear();
  for (TProcess* p = firstProcess_; p != nullptr; p = p->nextInManager_) p->visitMark_ = 0;
  std::vector<TProcess*> stack;
  std::size_t scanProcess = 0;  // downstream search position: process in order_ ...
  int scanOutput = 0;           // ... and its next output gate index
  TProcess* current = firstProcess_;
  while (current != nullptr) {
    // Depth-first towards the sources.
    current->visitMark_ = 1;
    TProcess* predecessor = nullptr;
    for (TInputGate& in : current->inputs_) {
      if (in.source == nullptr) continue;
      TProcess* p = in.source->process;
      if (p->visitMark_ == 1) Fatal("process graph is cyclic");
      if (p->visitMark_ == 0) {
        predecessor = p;
        break;
      }
    }
    if (predecessor != nullptr) {
      stack.push_back(current);
      current = predecessor;
      continue;
    }
    current->visitMark_ = 2;
    order_.push_back(current);
    if (!stack.empty()) {
      current = stack.back();
      stack.pop_back();
      continue;
    }
    // Look downstream for a process not yet visited; the scan goes on where it stopped.
    current = nullptr;
    while (current == nullptr && scanProcess < order_.size()) {
      TProcess* p = order_[scanProcess];
      while (scanOutput < 5) {
        TInputGate* target = p->outputs_[scanOutput++].target;
        if (target != nullptr && target->process->visitMark_ == 0) {
          current = target->process;
          break;
        }
      }
      if (current == nullptr) {
        ++scanProcess;
        scanOutput = 0;
      }
    }
  }
  for (TProcess* p = firstProcess_; p != nullptr; p = p->nextInManager_) {
    if (p->visitMark_ != 2) Fatal("process graph is not connected");
  }
  orderValid_ = true;
  sizesValid_ = false;
}

void TProcessManager::ComputeRecordSizes() {
  ComputeOrder();
  if (sizesValid_) return;
  for (TProcess* p : order_) {
    for (TInputGate& in : p->inputs_) {
      if (in.source != nullptr) {
        TProcessGate* root = Find(in.source);
        in.link = root;
        in.effectiveSize = -1;
        root->effectiveSize = std::max(root->effectiveSize, in.declaredSize);
      } else {
        in.link = &in;
        in.effectiveSize = in.declaredSize;
      }
    }
    for (TOutputGate& out : p->outputs_) {
      if (out.mode == 0) continue;
      std::int32_t size = out.declaredSize;
      TProcessGate* head = &out;
      for (int n = 1; n <= 2; ++n) {
        if (!(out.forwardedInputs & (1u << n))) continue;
        TProcessGate* r = Find(&p->inputs_[n - 1]);
        if (head == &out) {
          size = std::max(size, r->effectiveSize);
          head = r;
        } else if (r != head) {
          size = std::max(size, r->effectiveSize);
          r->link = head;
          r->effectiveSize = -1;
        }
      }
      out.link = head;
      out.effectiveSize = -1;
      head->effectiveSize = size;
    }
  }
  sizesValid_ = true;
}

void TProcessManager::OpenAll(TMemorySpace& space) {
  ComputeOrder();
  const std::vector<TProcess*> order = order_;
  for (TProcess* p : order) p->Open(space);
}

void TProcessManager::CloseAll() {
  ComputeOrder();
  const std::vector<TProcess*> order = order_;
  for (TProcess* p : order) p->Close();
}

void TProcessManager::Run(TGenerator& generator, SpaceFactory factory, TMemoryLayer& argument) {
  if (generator.Manager() != this) Fatal("can not run foreign generator");
  current_ = &generator;
  TMemoryLayer* space = factory(argument);
  OpenAll(*space);
  while (current_ != nullptr && current_->Step()) {
  }
  CloseAll();
  result_ = space->Available();
  Free(space);
}

}  // namespace vld
