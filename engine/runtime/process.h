// Processes and gates: the stages of the engine's pipelines.
//
// A process has up to two input gates and up to five output gates. Records flow from an output
// gate to the connected input gate by a direct, synchronous call:
// - send: the sender hands over a buffer holding one record and continues with the buffer the
//   receiver returns (the receiver may keep the handed-over buffer and return another one it
//   owns), so records pass without copying;
// - call: the receiver copies what it wants to keep; the buffer stays the sender's.
// Every transfer carries the record size, a tag that travels with the records of one stream
// (the input-file entry of the producing file) and the record address.
//
// Setup order of a process: Register (with its manager), then activate its gates, then connect
// outputs to inputs (Connect). The manager (process_manager.h) orders, opens, runs and closes
// the pipeline. Misuse is the fatal error with the texts below ("gate can not send", ...).
#pragma once

#include <cstdint>

#include "engine/runtime/origin.h"

namespace vld {

class TProcess;
class TProcessManager;
class TOutputGate;

enum : std::uint8_t { kModeSend = 1, kModeCall = 2 };

using SendCode = std::uint8_t* (*)(void* object, std::int32_t size, const void* tag,
                                   std::uint8_t* record);
using CallCode = void (*)(void* object, std::int32_t size, const void* tag, std::uint8_t* record);

// A method pointer: code plus object.
struct SendEntry {
  SendCode code = nullptr;
  void* object = nullptr;
  explicit operator bool() const { return code != nullptr; }
};
struct CallEntry {
  CallCode code = nullptr;
  void* object = nullptr;
  explicit operator bool() const { return code != nullptr; }
};

// Binds a member function `std::uint8_t* P::M(std::int32_t, const void*, std::uint8_t*)`.
template <auto Method, typename P>
SendEntry BindSend(P* object) {
  return {[](void* o, std::int32_t size, const void* tag, std::uint8_t* record) {
            return (static_cast<P*>(o)->*Method)(size, tag, record);
          },
          object};
}
// Binds a member function `void P::M(std::int32_t, const void*, std::uint8_t*)`.
template <auto Method, typename P>
CallEntry BindCall(P* object) {
  return {[](void* o, std::int32_t size, const void* tag, std::uint8_t* record) {
            (static_cast<P*>(o)->*Method)(size, tag, record);
          },
          object};
}

class TProcessGate : public TOrigin {
 public:
  TProcess* process = nullptr;
  int number = 0;            // 1..2 for inputs, 1..5 for outputs
  std::uint8_t mode = 0;     // kModeSend | kModeCall; 0 = not activated
  std::int32_t declaredSize = 0;  // bytes; 0 = records of varying length
  std::int32_t effectiveSize = -1;
  TProcessGate* link = nullptr;  // size class (union-find)
};

class TInputGate : public TProcessGate {
 public:
  std::uint8_t forwardSet = 0;  // bit n: records of this input leave unchanged through output n
  SendEntry sendEntry;
  CallEntry callEntry;
  TOutputGate* source = nullptr;
};

class TOutputGate : public TProcessGate {
 public:
  TOutputGate();
  // Sends a record; returns the buffer for the next one.
  std::uint8_t* Send(std::int32_t size, const void* tag, std::uint8_t* record) {
    return send.code(send.object, size, tag, record);
  }
  void Call(std::int32_t size, const void* tag, std::uint8_t* record) {
    call.code(call.object, size, tag, record);
  }
  bool IsConnected() const { return target != nullptr; }

  std::uint8_t forwardedInputs = 0;  // bit n: records of input n leave through this output
  TInputGate* target = nullptr;
  SendEntry send;
  CallEntry call;
  CallEntry adaptedCall;  // the target's call entry when sends are mapped onto calls
};

class TProcess : public TOrigin {
 public:
  TProcess();
  ~TProcess() override;

  // The generator that drives this process: follows input 1 to its source; empty when input 1
  // is unconnected.
  virtual TProcess* DriverOf();
  virtual bool HasNoInput() const;
  // Notification after one of this process's gates was connected (`other` the partner gate) or
  // disconnected (`other` empty).
  virtual void GatesChanged(TProcessGate& gate, TProcessGate* other);
  // Start of a run; `space` is the run's memory.
  virtual void Open(TMemorySpace& space);
  // End of a run.
  virtual void Close();
  // Closes and frees this process when it has no connected input any more, and passes the
  // release on to every process behind its outputs.
  virtual void ReleaseChain();
  virtual bool IsGenerator() const { return false; }

  TInputGate& InputGate(int n);    // 1..2, fatal "invalid input gate index"
  TOutputGate& OutputGate(int n);  // 1..5, fatal "invalid output gate index"
  void ConnectOutput(int n, TInputGate& input);

  TProcessManager* Manager() const { return manager_; }

 protected:
  // Gate activation, called by a process's setup after Register.
  void ActivateInput(int n, std::int32_t recordSize, std::uint8_t forwardSet, CallEntry call,
                     SendEntry send);
  void ActivateOutput(int n, std::uint8_t mode, std::int32_t recordSize);

 private:
  friend class TProcessManager;
  friend void Register(TProcess& process, TProcessManager* manager);

  TInputGate inputs_[2];
  TOutputGate outputs_[5];
  TProcessManager* manager_ = nullptr;
  TProcess* prevInManager_ = nullptr;
  TProcess* nextInManager_ = nullptr;
  std::uint8_t visitMark_ = 0;
};

class TGenerator : public TProcess {
 public:
  TProcess* DriverOf() override { return this; }
  bool IsGenerator() const override { return true; }
  // One unit of work (as a rule: produce one record and send it on); false when there is
  // nothing more to produce.
  virtual bool Step() = 0;
};

// Gate activation on a gate (the process's own helpers call these).
void ActivateInput(TInputGate& gate, std::int32_t recordSize, std::uint8_t forwardSet,
                   CallEntry call, SendEntry send);
void ActivateOutput(TOutputGate& gate, std::uint8_t mode, std::int32_t recordSize);

// Connects an output to an input (disconnecting both from any previous partner first).
void Connect(TOutputGate& output, TInputGate& input);
void Disconnect(TOutputGate& output);
void Disconnect(TInputGate& input);

// Registers `process` with `manager`: fatal "process init: no manager" when empty.
void Register(TProcess& process, TProcessManager* manager);

// The driving generator of a process; fatal "can not find generator" when there is none.
TGenerator& GeneratorOf(TProcess& process);

// The size every buffer travelling through this gate must have.
std::int32_t EffectiveRecordSize(TProcessGate& gate);

}  // namespace vld
