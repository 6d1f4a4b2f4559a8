// What the emulated processors saw that the hosted board cannot: faults,
// writes to flash, and per module the stack it used and the instructions it
// executed.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace board::emulator {

// Where an address lies: "TraceGate!GetDebugPrintErrorLevel+0x1c", or the address alone.
struct CodeLocation {
  uint32_t address = 0;
  std::string where;
};

struct FaultRecord {
  std::string module;
  unsigned processor = 0;
  std::string kind;          // "read of unmapped memory", "processor exception 0 (#DE)", ...
  CodeLocation instruction;
  std::string access;        // "read 4 bytes at 0x30000000", or empty
  std::optional<CodeLocation> calledFrom;  // a fetch fault reached by a call
  bool inEntry = false;      // it ended the module's entry point (not a callback or AP procedure)
};

struct FlashWriteRecord {
  std::string module;
  unsigned processor = 0;
  CodeLocation instruction;
  uint32_t address = 0;
  std::vector<uint8_t> bytes;  // what the write tried to store, in memory order
  std::string target;          // the symbol written to, if the map names it
};

struct ModuleRunStats {
  uint64_t instructions = 0;
  uint32_t deepestStack = 0;  // bytes below the stack pointer the run began with
  unsigned runs = 0;
};

struct EmulationRecord {
  std::vector<FaultRecord> faults;
  std::vector<FlashWriteRecord> flashWrites;
  std::map<std::string, ModuleRunStats> modules;
  uint64_t traps = 0;
};

}  // namespace board::emulator
