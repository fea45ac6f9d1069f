// The process manager: holds the processes of one pipeline and runs it.
//
// Run(generator, factory, argument): obtains the run's memory space from the factory (the
// engine passes PushLayer with the current phase layer), opens every process in run order,
// steps the current generator until it reports that it is exhausted, closes every process, notes
// the space's Available() as `result` and frees the space with everything allocated during the
// run. The run order lists every process after all processes that feed it; a cycle is the
// fatal error "process graph is cyclic", a process connected to nothing else "process graph is
// not connected". Record-size classes make a buffer allocated at the start of a chain of sends
// and forwards large enough for the largest record any gate of the chain declares.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/runtime/layers.h"
#include "engine/runtime/process.h"

namespace vld {

class TProcessManager : public TOrigin {
 public:
  using SpaceFactory = TMemoryLayer* (*)(TMemoryLayer& argument);

  void Run(TGenerator& generator, SpaceFactory factory, TMemoryLayer& argument);
  void OpenAll(TMemorySpace& space);
  void CloseAll();

  // The generator the run loop steps; a merging process may hand the role to one of its sources.
  TGenerator* Current() const { return current_; }
  void SetCurrent(TGenerator* generator) { current_ = generator; }
  // Available() of the last run's space.
  std::int64_t Result() const { return result_; }

  // Invalidates the cached order and sizes.
  void InvalidateOrder() { orderValid_ = false; sizesValid_ = false; }
  void ComputeOrder();
  void ComputeRecordSizes();
  const std::vector<TProcess*>& RunOrder() { ComputeOrder(); return order_; }
  bool SizesValid() const { return orderValid_ && sizesValid_; }

 protected:
  // Frees every registered process (each detached from the manager first).
  void FreeContents() override;

 private:
  friend void Register(TProcess& process, TProcessManager* manager);
  friend class TProcess;

  void Unlink(TProcess& process);

  TProcess* firstProcess_ = nullptr;
  std::vector<TProcess*> order_;
  bool orderValid_ = false;
  bool sizesValid_ = false;
  std::int64_t result_ = 0;
  TGenerator* current_ = nullptr;
};

}  // namespace vld
