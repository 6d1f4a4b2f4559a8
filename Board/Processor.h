// The board's processors: the state a module's code can see of the processor
// it runs on (MM7, the x87/MMX tag state, the IDT register).
#pragma once

#include <cstdint>

namespace board {

class Board;

struct Processor {
  unsigned number = 0;
  bool bootProcessor = false;
  uint64_t mm7 = 0;
  bool mmxStateActive = false;  // set by an MM7 access, cleared by EMMS
  uint64_t mm7Accesses = 0;
  uint64_t idtrBase = 0;
  uint16_t idtrLimit = 0;
  Board* board = nullptr;
};

// Binds the calling thread to a processor for the lifetime of the object:
// the thread is then "running on" that processor. Bindings nest.
class ProcessorBinding {
 public:
  explicit ProcessorBinding(Processor& processor);
  ~ProcessorBinding();
  ProcessorBinding(const ProcessorBinding&) = delete;
  ProcessorBinding& operator=(const ProcessorBinding&) = delete;

 private:
  Processor* previous_;
};

// The processor the calling thread runs on; throws BoardError when the thread
// is not bound to one (module code called outside a board).
Processor& CurrentProcessor();

}  // namespace board
