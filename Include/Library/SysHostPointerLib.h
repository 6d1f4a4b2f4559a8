/** @file
  SysHostPointerLib: keeps the static pointer table (the data of the static
  pointer table HOB) and publishes its address in MM7 of every processor.
  A module that carries the library calls its constructor before its own
  entry work.
**/
#ifndef OEM_LIBRARY_SYS_HOST_POINTER_LIB_H_
#define OEM_LIBRARY_SYS_HOST_POINTER_LIB_H_

#include <PiPei.h>

extern "C" {

/**
  Creates the static pointer table, or adopts the one an earlier module
  created, and loads the boot processor's MM7 with its address. Only the
  module that creates the table registers for permanent memory, when the
  table is found again, its pointers are migrated and MM7 reaches every
  processor.

  An adopted table that fails validation halts the processor.

  @retval EFI_SUCCESS           The table exists and MM7 holds its address.
  @retval EFI_OUT_OF_RESOURCES  The table HOB could not be built; MM7 is untouched
                                and nothing is registered.
**/
EFI_STATUS EFIAPI SysHostPointerLibConstructor (VOID);

}

#endif
