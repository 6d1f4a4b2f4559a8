/** @file
  The processor operations of BaseLib as real IA32 instructions: the
  firmware instance of BaseLibCpu. The hosted build takes the board's instead.
**/
#include <Library/BaseLib.h>

static_assert (sizeof (IA32_DESCRIPTOR) == 6, "SIDT stores a 16-bit limit and a 32-bit base");

/**
  Stores the current processor's IDTR into Idtr.

  @param[out] Idtr  Receives the limit and base of the IDT.
**/
VOID EFIAPI AsmReadIdtr (OUT IA32_DESCRIPTOR *Idtr)
{
  __asm__ __volatile__ ("sidtl %0" : "=m" (*Idtr));
}

/**
  Returns MM7, read with one 64-bit move.

  @return The 64-bit value of MM7.
**/
UINT64 EFIAPI AsmReadMm7 (VOID)
{
  UINT64 Value;

  __asm__ __volatile__ ("movq %%mm7, %0" : "=m" (Value));
  return Value;
}

/**
  Loads MM7 with one 64-bit move.

  @param[in] Value  The value MM7 receives.
**/
VOID EFIAPI AsmWriteMm7 (IN UINT64 Value)
{
  __asm__ __volatile__ ("movq %0, %%mm7" : : "m" (Value));
}

/**
  Executes EMMS, which leaves the x87 unit empty after MMX use.
**/
VOID EFIAPI AsmEmms (VOID)
{
  __asm__ __volatile__ ("emms");
}

/**
  Halts the current processor in a loop that never ends.

  The loop body is a volatile asm statement, a side effect the compiler must
  keep: an empty infinite loop may be removed in C++.
**/
VOID EFIAPI CpuDeadLoop (VOID)
{
  for (;;) {
    __asm__ __volatile__ ("pause" : : : "memory");
  }
}
