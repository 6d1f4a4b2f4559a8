// The hosted instances of the hardware library classes (BaseLib's processor
// operations and IoLib): each instruction acts on the simulated processor
// that the calling thread runs as, and on its board's devices.
#include <Library/BaseLib.h>
#include <Library/IoLib.h>

#include "../Board.h"
#include "../BoardError.h"

using board::Board;
using board::CurrentProcessor;

extern "C" {

VOID EFIAPI AsmReadIdtr (OUT IA32_DESCRIPTOR *Idtr)
{
  const board::Processor& cpu = CurrentProcessor();
  Idtr->Limit = cpu.idtrLimit;
  Idtr->Base = static_cast<UINTN>(cpu.idtrBase);
}

UINT64 EFIAPI AsmReadMm7 (VOID)
{
  board::Processor& cpu = CurrentProcessor();
  cpu.mmxStateActive = true;
  ++cpu.mm7Accesses;
  return cpu.mm7;
}

VOID EFIAPI AsmWriteMm7 (IN UINT64 Value)
{
  board::Processor& cpu = CurrentProcessor();
  cpu.mmxStateActive = true;
  ++cpu.mm7Accesses;
  cpu.mm7 = Value;
}

VOID EFIAPI AsmEmms (VOID)
{
  CurrentProcessor().mmxStateActive = false;
}

VOID EFIAPI CpuDeadLoop (VOID)
{
  throw board::ProcessorHalted{CurrentProcessor().number};
}

UINT8 EFIAPI IoRead8 (IN UINTN Port)
{
  return Board::Current().Ports().Read8(static_cast<uint16_t>(Port));
}

UINT8 EFIAPI IoWrite8 (IN UINTN Port, IN UINT8 Value)
{
  Board::Current().Ports().Write8(static_cast<uint16_t>(Port), Value);
  return Value;
}

// The board's ports are bytes: a word goes to Port and Port + 1, low byte first, as on x86.
UINT16 EFIAPI IoWrite16 (IN UINTN Port, IN UINT16 Value)
{
  auto& ports = Board::Current().Ports();
  ports.Write8(static_cast<uint16_t>(Port), static_cast<uint8_t>(Value));
  ports.Write8(static_cast<uint16_t>(Port + 1), static_cast<uint8_t>(Value >> 8));
  return Value;
}

VOID EFIAPI IoReadFifo8 (IN UINTN Port, IN UINTN Count, OUT VOID *Buffer)
{
  auto& ports = Board::Current().Ports();
  auto* bytes = static_cast<UINT8*>(Buffer);
  for (UINTN index = 0; index < Count; ++index) bytes[index] = ports.Read8(static_cast<uint16_t>(Port));
}

UINT8 EFIAPI MmioRead8 (IN UINTN Address)
{
  return static_cast<UINT8>(Board::Current().Mmio().Read(Address, 1));
}

UINT8 EFIAPI MmioWrite8 (IN UINTN Address, IN UINT8 Value)
{
  Board::Current().Mmio().Write(Address, 1, Value);
  return Value;
}

UINT16 EFIAPI MmioRead16 (IN UINTN Address)
{
  return static_cast<UINT16>(Board::Current().Mmio().Read(Address, 2));
}

UINT16 EFIAPI MmioWrite16 (IN UINTN Address, IN UINT16 Value)
{
  Board::Current().Mmio().Write(Address, 2, Value);
  return Value;
}

UINT32 EFIAPI MmioRead32 (IN UINTN Address)
{
  return static_cast<UINT32>(Board::Current().Mmio().Read(Address, 4));
}

UINT32 EFIAPI MmioWrite32 (IN UINTN Address, IN UINT32 Value)
{
  Board::Current().Mmio().Write(Address, 4, Value);
  return Value;
}

}
