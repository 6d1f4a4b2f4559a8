#include "Processor.h"

#include "BoardError.h"

namespace board {

namespace {
// The one piece of per-thread state: which simulated processor this host
// thread is executing as. Hardware instructions have no other context.
thread_local Processor* tCurrent = nullptr;
}  // namespace

ProcessorBinding::ProcessorBinding(Processor& processor) : previous_(tCurrent) { tCurrent = &processor; }

ProcessorBinding::~ProcessorBinding() { tCurrent = previous_; }

Processor& CurrentProcessor() {
  if (tCurrent == nullptr) throw BoardError("module code ran on a thread that is bound to no processor");
  return *tCurrent;
}

}  // namespace board
