/** @file
  The verbosity scratch register: the scratch register of the first legacy
  serial port. Bits 0-3 the debug level, bits 4-7 the RAS log level.
**/
#ifndef OEM_REGISTER_VERBOSITY_SCRATCH_H_
#define OEM_REGISTER_VERBOSITY_SCRATCH_H_

#define VERBOSITY_SCRATCH_PORT        0x3FF
#define VERBOSITY_SCRATCH_LEVEL_MASK  0x0F
#define VERBOSITY_SCRATCH_RAS_MASK    0xF0
#define VERBOSITY_SCRATCH_RAS_SHIFT   4

#endif
