// libFuzzer's entry for one harness (FUZZ_RUN names it).
#include <cstddef>
#include <cstdint>

#include "Harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FUZZ_RUN({data, size});
  return 0;
}
