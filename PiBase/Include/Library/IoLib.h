/** @file
  IoLib: port I/O and memory-mapped I/O. Two instances: real instructions
  (firmware) and the simulated board's devices (hosted).
**/
#ifndef PI_BASE_LIBRARY_IO_LIB_H_
#define PI_BASE_LIBRARY_IO_LIB_H_

#include <Base.h>

extern "C" {

/** Reads an 8-bit I/O port. **/
UINT8 EFIAPI IoRead8 (IN UINTN Port);
/** Writes an 8-bit I/O port; returns Value. **/
UINT8 EFIAPI IoWrite8 (IN UINTN Port, IN UINT8 Value);
/** Writes a 16-bit I/O port (Port and Port + 1 where a device decodes bytes); returns Value. **/
UINT16 EFIAPI IoWrite16 (IN UINTN Port, IN UINT16 Value);
/** Reads Count bytes from one 8-bit I/O port into Buffer, in order. **/
VOID EFIAPI IoReadFifo8 (IN UINTN Port, IN UINTN Count, OUT VOID *Buffer);

/** Reads an 8-bit MMIO register. **/
UINT8 EFIAPI MmioRead8 (IN UINTN Address);
/** Writes an 8-bit MMIO register; returns Value. **/
UINT8 EFIAPI MmioWrite8 (IN UINTN Address, IN UINT8 Value);
/** Reads a 16-bit MMIO register. **/
UINT16 EFIAPI MmioRead16 (IN UINTN Address);
/** Writes a 16-bit MMIO register; returns Value. **/
UINT16 EFIAPI MmioWrite16 (IN UINTN Address, IN UINT16 Value);
/** Reads a 32-bit MMIO register. **/
UINT32 EFIAPI MmioRead32 (IN UINTN Address);
/** Writes a 32-bit MMIO register; returns Value. **/
UINT32 EFIAPI MmioWrite32 (IN UINTN Address, IN UINT32 Value);

}

#endif
