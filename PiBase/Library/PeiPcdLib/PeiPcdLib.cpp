/** @file
  PcdLib over the PCD PPI. Every access locates the PPI anew; a missing PPI
  is reported by ASSERT_EFI_ERROR and the access then yields 0 (or the locate
  status for a set) instead of calling through a pointer that was never set.
**/
#include <Library/DebugLib.h>
#include <Library/PcdLib.h>
#include <Library/PeiServicesLib.h>
#include <Ppi/Pcd.h>

/// Returns the PCD PPI, or NULL after the assertion when it is not installed.
STATIC PCD_PPI * GetPcdPpi (OUT EFI_STATUS *LocateStatus)
{
  PCD_PPI *PcdPpi = NULL;

  EFI_STATUS Status = PeiServicesLocatePpi (&gPcdPpiGuid, 0, NULL, (VOID **)&PcdPpi);
  ASSERT_EFI_ERROR (Status);
  if (LocateStatus != NULL) {
    *LocateStatus = Status;
  }
  return EFI_ERROR (Status) ? NULL : PcdPpi;
}

UINT8 EFIAPI LibPcdGet8 (IN UINTN TokenNumber)
{
  PCD_PPI *Ppi = GetPcdPpi (NULL);
  return (Ppi == NULL) ? 0 : Ppi->Get8 (TokenNumber);
}

UINT16 EFIAPI LibPcdGet16 (IN UINTN TokenNumber)
{
  PCD_PPI *Ppi = GetPcdPpi (NULL);
  return (Ppi == NULL) ? 0 : Ppi->Get16 (TokenNumber);
}

UINT32 EFIAPI LibPcdGet32 (IN UINTN TokenNumber)
{
  PCD_PPI *Ppi = GetPcdPpi (NULL);
  return (Ppi == NULL) ? 0 : Ppi->Get32 (TokenNumber);
}

UINT64 EFIAPI LibPcdGet64 (IN UINTN TokenNumber)
{
  PCD_PPI *Ppi = GetPcdPpi (NULL);
  return (Ppi == NULL) ? 0 : Ppi->Get64 (TokenNumber);
}

BOOLEAN EFIAPI LibPcdGetBool (IN UINTN TokenNumber)
{
  PCD_PPI *Ppi = GetPcdPpi (NULL);
  return (Ppi == NULL) ? FALSE : Ppi->GetBool (TokenNumber);
}

RETURN_STATUS EFIAPI LibPcdSet8S (IN UINTN TokenNumber, IN UINT8 Value)
{
  EFI_STATUS Status;
  PCD_PPI    *Ppi = GetPcdPpi (&Status);
  return (Ppi == NULL) ? Status : Ppi->Set8 (TokenNumber, Value);
}

RETURN_STATUS EFIAPI LibPcdSet16S (IN UINTN TokenNumber, IN UINT16 Value)
{
  EFI_STATUS Status;
  PCD_PPI    *Ppi = GetPcdPpi (&Status);
  return (Ppi == NULL) ? Status : Ppi->Set16 (TokenNumber, Value);
}

RETURN_STATUS EFIAPI LibPcdSet32S (IN UINTN TokenNumber, IN UINT32 Value)
{
  EFI_STATUS Status;
  PCD_PPI    *Ppi = GetPcdPpi (&Status);
  return (Ppi == NULL) ? Status : Ppi->Set32 (TokenNumber, Value);
}

RETURN_STATUS EFIAPI LibPcdSet64S (IN UINTN TokenNumber, IN UINT64 Value)
{
  EFI_STATUS Status;
  PCD_PPI    *Ppi = GetPcdPpi (&Status);
  return (Ppi == NULL) ? Status : Ppi->Set64 (TokenNumber, Value);
}

RETURN_STATUS EFIAPI LibPcdSetBoolS (IN UINTN TokenNumber, IN BOOLEAN Value)
{
  EFI_STATUS Status;
  PCD_PPI    *Ppi = GetPcdPpi (&Status);
  return (Ppi == NULL) ? Status : Ppi->SetBool (TokenNumber, Value);
}
