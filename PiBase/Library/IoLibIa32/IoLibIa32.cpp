/** @file
  IoLib as real IA32 accesses: the firmware instance of IoLib. Port I/O uses
  IN and OUT; each MMIO access is one volatile access of exactly its width,
  kept in program order with the memory accesses around it.
**/
#include <Library/IoLib.h>

/// Keeps the compiler from moving memory accesses across an I/O access.
#define IO_COMPILER_BARRIER()  __asm__ __volatile__ ("" : : : "memory")

/**
  Reads an 8-bit I/O port.

  @param[in] Port  The I/O port; only its low 16 bits are used.

  @return The byte read.
**/
UINT8 EFIAPI IoRead8 (IN UINTN Port)
{
  UINT8 Data;

  __asm__ __volatile__ ("inb %w1, %b0" : "=a" (Data) : "Nd" ((UINT16)Port) : "memory");
  return Data;
}

/**
  Writes an 8-bit I/O port.

  @param[in] Port   The I/O port; only its low 16 bits are used.
  @param[in] Value  The byte to write.

  @return Value.
**/
UINT8 EFIAPI IoWrite8 (IN UINTN Port, IN UINT8 Value)
{
  __asm__ __volatile__ ("outb %b0, %w1" : : "a" (Value), "Nd" ((UINT16)Port) : "memory");
  return Value;
}

/**
  Writes a 16-bit I/O port.

  @param[in] Port   The I/O port; only its low 16 bits are used.
  @param[in] Value  The word to write.

  @return Value.
**/
UINT16 EFIAPI IoWrite16 (IN UINTN Port, IN UINT16 Value)
{
  __asm__ __volatile__ ("outw %w0, %w1" : : "a" (Value), "Nd" ((UINT16)Port) : "memory");
  return Value;
}

/**
  Reads bytes from one 8-bit I/O port with a single string instruction.

  @param[in]  Port    The I/O port; only its low 16 bits are used.
  @param[in]  Count   How many bytes to read.
  @param[out] Buffer  Where they go, in the order read.
**/
VOID EFIAPI IoReadFifo8 (IN UINTN Port, IN UINTN Count, OUT VOID *Buffer)
{
  __asm__ __volatile__ ("cld\n\trep insb" : "+D" (Buffer), "+c" (Count) : "d" ((UINT16)Port) : "memory");
}

/**
  Reads an 8-bit MMIO register.

  @param[in] Address  The register's address.

  @return The byte read.
**/
UINT8 EFIAPI MmioRead8 (IN UINTN Address)
{
  IO_COMPILER_BARRIER ();
  UINT8 Value = *(volatile UINT8 *)Address;
  IO_COMPILER_BARRIER ();
  return Value;
}

/**
  Writes an 8-bit MMIO register.

  @param[in] Address  The register's address.
  @param[in] Value    The byte to write.

  @return Value.
**/
UINT8 EFIAPI MmioWrite8 (IN UINTN Address, IN UINT8 Value)
{
  IO_COMPILER_BARRIER ();
  *(volatile UINT8 *)Address = Value;
  IO_COMPILER_BARRIER ();
  return Value;
}

/**
  Reads a 16-bit MMIO register.

  @param[in] Address  The register's address, 2-byte aligned.

  @return The value read.
**/
UINT16 EFIAPI MmioRead16 (IN UINTN Address)
{
  IO_COMPILER_BARRIER ();
  UINT16 Value = *(volatile UINT16 *)Address;
  IO_COMPILER_BARRIER ();
  return Value;
}

/**
  Writes a 16-bit MMIO register.

  @param[in] Address  The register's address, 2-byte aligned.
  @param[in] Value    The value to write.

  @return Value.
**/
UINT16 EFIAPI MmioWrite16 (IN UINTN Address, IN UINT16 Value)
{
  IO_COMPILER_BARRIER ();
  *(volatile UINT16 *)Address = Value;
  IO_COMPILER_BARRIER ();
  return Value;
}

/**
  Reads a 32-bit MMIO register.

  @param[in] Address  The register's address, 4-byte aligned.

  @return The value read.
**/
UINT32 EFIAPI MmioRead32 (IN UINTN Address)
{
  IO_COMPILER_BARRIER ();
  UINT32 Value = *(volatile UINT32 *)Address;
  IO_COMPILER_BARRIER ();
  return Value;
}

/**
  Writes a 32-bit MMIO register.

  @param[in] Address  The register's address, 4-byte aligned.
  @param[in] Value    The value to write.

  @return Value.
**/
UINT32 EFIAPI MmioWrite32 (IN UINTN Address, IN UINT32 Value)
{
  IO_COMPILER_BARRIER ();
  *(volatile UINT32 *)Address = Value;
  IO_COMPILER_BARRIER ();
  return Value;
}
