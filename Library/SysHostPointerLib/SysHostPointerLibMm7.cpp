/** @file
  SysHostPointerLib, MM7 instance: the static pointer table lives in a GUID
  HOB, and its address in MM7 of every processor. The table moves with the
  HOB list when permanent memory is installed; then MM7 is reloaded, the set
  pointers take their new addresses and the APs receive the new MM7 value.
  The APs are loaded only after the move, so they never hold the address of
  the table in temporary memory.

  Every MM7 access is followed at once by EMMS: MM7 shares its register with
  the x87 unit, which must be left empty for any floating-point code after us.
**/
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>
#include <Library/PeiServicesLib.h>
#include <Ppi/MemoryDiscovered.h>
#include <Ppi/MpServices.h>

#include "SysHostPointerLibMm7.h"

CONST EFI_PEI_NOTIFY_DESCRIPTOR  mMemoryDiscoveredNotifyList = {
  (EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST),
  const_cast<EFI_GUID *>(&gEfiPeiMemoryDiscoveredPpiGuid),
  MemoryDiscoveredNotify
};

CONST EFI_PEI_NOTIFY_DESCRIPTOR  mMpServicesNotifyList = {
  (EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST),
  const_cast<EFI_GUID *>(&gEfiPeiMpServicesPpiGuid),
  MpServicesNotify
};

/// Loads this processor's MM7 with Value, then empties the x87 state.
STATIC VOID InternalLoadMm7 (IN UINT64 Value)
{
  AsmWriteMm7 (Value);
  AsmEmms ();
}

/// Returns this processor's MM7, then empties the x87 state.
STATIC UINT64 InternalReadMm7 (VOID)
{
  UINT64 Value = AsmReadMm7 ();
  AsmEmms ();
  return Value;
}

/// The MM7 value that publishes Table: its address, zero-extended.
STATIC UINT64 InternalMm7ValueOf (IN CONST STATIC_POINTER_TABLE *Table)
{
  return (UINT64)(UINTN)Table;
}

VOID EFIAPI ValidateStaticPointerTable (IN STATIC_POINTER_TABLE *StaticPointerTable)
{
  if (StaticPointerTable == NULL) {
    ASSERT (StaticPointerTable != ((void *) 0));
    CpuDeadLoop ();
  }

  // A table address below the header size has no HOB before it: taking 24
  // from it would wrap around to the top of the address space.
  STATIC_POINTER_TABLE_HOB *StaticPointerTableHob = NULL;
  if ((UINTN)StaticPointerTable >= sizeof (EFI_HOB_GUID_TYPE)) {
    StaticPointerTableHob = (STATIC_POINTER_TABLE_HOB *)((UINTN)StaticPointerTable - sizeof (EFI_HOB_GUID_TYPE));
  }
  if (StaticPointerTableHob == NULL) {
    ASSERT (StaticPointerTableHob != ((void *) 0));
    CpuDeadLoop ();
  }

  BOOLEAN DoesGuidMatch = CompareGuid (&StaticPointerTableHob->Header.Name, &gStaticPointerTableHobGuid);
  BOOLEAN DoesSizeMatch = (BOOLEAN)(StaticPointerTableHob->Header.Header.HobLength == sizeof (STATIC_POINTER_TABLE_HOB));
  if (!(DoesGuidMatch && DoesSizeMatch)) {
    ASSERT (DoesGuidMatch && DoesSizeMatch);
    CpuDeadLoop ();
  }
}

EFI_STATUS EFIAPI SysHostPointerLibConstructor (VOID)
{
  STATIC_POINTER_TABLE *StaticPointerTable;

  VOID *GuidHob = GetFirstGuidHob (&gStaticPointerTableHobGuid);
  if (GuidHob != NULL) {
    // An earlier module created the table and registered for its move.
    StaticPointerTable = (STATIC_POINTER_TABLE *)GET_GUID_HOB_DATA (GuidHob);
    ValidateStaticPointerTable (StaticPointerTable);
  } else {
    StaticPointerTable = (STATIC_POINTER_TABLE *)BuildGuidHob (&gStaticPointerTableHobGuid, sizeof (STATIC_POINTER_TABLE));
    if (StaticPointerTable == NULL) {
      ASSERT (StaticPointerTable != ((void *) 0));
      return EFI_OUT_OF_RESOURCES;
    }
    ZeroMem (StaticPointerTable, sizeof (STATIC_POINTER_TABLE));

    EFI_STATUS Status = PeiServicesNotifyPpi (&mMemoryDiscoveredNotifyList);
    ASSERT_EFI_ERROR (Status);
  }

  InternalLoadMm7 (InternalMm7ValueOf (StaticPointerTable));
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MemoryDiscoveredNotify (IN EFI_PEI_SERVICES **PeiServices,
                                          IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, IN VOID *Ppi)
{
  (VOID)NotifyDescriptor;
  (VOID)Ppi;

  VOID *GuidHob = GetFirstGuidHob (&gStaticPointerTableHobGuid);
  if (GuidHob == NULL) {
    ASSERT (GuidHob != ((void *) 0));
    return EFI_INVALID_PARAMETER;
  }
  STATIC_POINTER_TABLE *StaticPointerTable = (STATIC_POINTER_TABLE *)GET_GUID_HOB_DATA (GuidHob);
  ValidateStaticPointerTable (StaticPointerTable);

  UINT64 OldMm7 = InternalReadMm7 ();
  DEBUG ((DEBUG_INFO, "Reload MM7 with new pointer: %p => %p\n", (VOID *)(UINTN)(UINT32)OldMm7,
          (VOID *)StaticPointerTable));
  InternalLoadMm7 (InternalMm7ValueOf (StaticPointerTable));

  for (UINT32 Index = 0; Index < STATIC_POINTER_TYPE_COUNT; Index++) {
    UINT64 OldPointer = StaticPointerTable->Pointer[Index];
    if (OldPointer == 0) {
      continue;
    }
    UINT32 NewAddress = StaticPointerTable->Migration[Index].NewAddress;
    DEBUG ((DEBUG_INFO, "Migration pointer type %x: %p => %p\n", Index, (VOID *)(UINTN)(UINT32)OldPointer,
            (VOID *)(UINTN)NewAddress));
    StaticPointerTable->Pointer[Index] = (UINT64)NewAddress;
  }

  CONST EFI_PEI_SERVICES  **Services   = (CONST EFI_PEI_SERVICES **)PeiServices;
  EFI_PEI_MP_SERVICES_PPI *MpServices = NULL;
  EFI_STATUS Status = (*Services)->LocatePpi (Services, &gEfiPeiMpServicesPpiGuid, 0, NULL, (VOID **)&MpServices);
  if (!EFI_ERROR (Status) && (MpServices != NULL)) {
    // A failed sync leaves the APs without the table; nothing here can mend it.
    (VOID)MpServicesNotify (PeiServices, NULL, MpServices);
  } else {
    Status = (*Services)->NotifyPpi (Services, &mMpServicesNotifyList);
    ASSERT_EFI_ERROR (Status);
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MpServicesNotify (IN EFI_PEI_SERVICES **PeiServices,
                                    IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, IN VOID *Ppi)
{
  (VOID)NotifyDescriptor;

  EFI_PEI_MP_SERVICES_PPI *MpServices = (EFI_PEI_MP_SERVICES_PPI *)Ppi;
  // The APs read this value while StartupAllAPs waits for all of them
  // (timeout 0), so it stays valid on this stack for as long as they need it.
  UINT64 Mm7Value = InternalReadMm7 ();
  DEBUG ((DEBUG_INFO, "Sync MM7: %x\n", (UINT32)Mm7Value));
  return MpServices->StartupAllAPs ((CONST EFI_PEI_SERVICES **)PeiServices, MpServices, ApLoadMm7, FALSE, 0,
                                    &Mm7Value);
}

VOID EFIAPI ApLoadMm7 (IN OUT VOID *Buffer)
{
  InternalLoadMm7 (*(CONST UINT64 *)Buffer);
}
