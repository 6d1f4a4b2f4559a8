/** @file
  QEMU's firmware configuration device through its I/O ports (selector 0x510,
  data 0x511): how a board file's bytes reach firmware running under QEMU
  (`-fw_cfg name=opt/...,file=...`).
**/
#ifndef QEMU_FW_CFG_LIB_H_
#define QEMU_FW_CFG_LIB_H_

#include <PiPei.h>

/// Longest file name the device's directory holds, its terminating NUL included.
#define QEMU_FW_CFG_NAME_SIZE  56

/**
  Finds a file in the device's directory.

  @retval EFI_SUCCESS      Selector and Size describe the file.
  @retval EFI_UNSUPPORTED  No fw_cfg device answers (its signature is not "QEMU").
  @retval EFI_NOT_FOUND    The directory has no file of that name.
**/
EFI_STATUS QemuFwCfgFindFile (IN CONST CHAR8 *Name, OUT UINT16 *Selector, OUT UINT32 *Size);

/** Reads the first Size bytes of the item Selector into Buffer. **/
VOID QemuFwCfgRead (IN UINT16 Selector, OUT VOID *Buffer, IN UINT32 Size);

#endif
