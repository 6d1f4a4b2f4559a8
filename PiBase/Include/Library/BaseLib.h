/** @file
  BaseLib subset: unaligned access, and the processor operations the modules
  use (IDT register, MM7, EMMS, dead loop). The processor operations have two
  instances: real instructions (firmware) and the simulated board (hosted).
**/
#ifndef PI_BASE_LIBRARY_BASE_LIB_H_
#define PI_BASE_LIBRARY_BASE_LIB_H_

#include <Base.h>

#pragma pack(push, 1)
/// Value of the GDTR or IDTR register.
typedef struct {
  UINT16  Limit;
  UINTN   Base;
} IA32_DESCRIPTOR;
#pragma pack(pop)

extern "C" {

/** Reads a 16-bit value from a possibly unaligned address. **/
UINT16 EFIAPI ReadUnaligned16 (IN CONST UINT16 *Buffer);
/** Writes a 16-bit value to a possibly unaligned address; returns Value. **/
UINT16 EFIAPI WriteUnaligned16 (OUT UINT16 *Buffer, IN UINT16 Value);
/** Reads a 32-bit value from a possibly unaligned address. **/
UINT32 EFIAPI ReadUnaligned32 (IN CONST UINT32 *Buffer);
/** Writes a 32-bit value to a possibly unaligned address; returns Value. **/
UINT32 EFIAPI WriteUnaligned32 (OUT UINT32 *Buffer, IN UINT32 Value);
/** Reads a 64-bit value from a possibly unaligned address. **/
UINT64 EFIAPI ReadUnaligned64 (IN CONST UINT64 *Buffer);
/** Writes a 64-bit value to a possibly unaligned address; returns Value. **/
UINT64 EFIAPI WriteUnaligned64 (OUT UINT64 *Buffer, IN UINT64 Value);

/** Stores the current processor's IDTR into Idtr. **/
VOID EFIAPI AsmReadIdtr (OUT IA32_DESCRIPTOR *Idtr);

/** Returns the current processor's MM7 (one 64-bit move). **/
UINT64 EFIAPI AsmReadMm7 (VOID);

/** Loads the current processor's MM7 with Value (one 64-bit move). **/
VOID EFIAPI AsmWriteMm7 (IN UINT64 Value);

/** Executes EMMS: leaves the x87 unit in its empty state after MMX use. **/
VOID EFIAPI AsmEmms (VOID);

/** Halts the current processor in a loop that never ends. Never returns. **/
[[noreturn]] VOID EFIAPI CpuDeadLoop (VOID);

}

#endif
