/** @file
  EFI_PEI_READ_ONLY_VARIABLE2_PPI: read access to UEFI variables during PEI.
**/
#ifndef PI_BASE_PPI_READ_ONLY_VARIABLE2_H_
#define PI_BASE_PPI_READ_ONLY_VARIABLE2_H_

#include <PiPei.h>

#define EFI_PEI_READ_ONLY_VARIABLE2_PPI_GUID \
  { 0x2ab86ef5, 0xecb5, 0x4134, { 0xb5, 0x56, 0x38, 0x54, 0xca, 0x1f, 0xe1, 0xb4 } }

typedef struct _EFI_PEI_READ_ONLY_VARIABLE2_PPI EFI_PEI_READ_ONLY_VARIABLE2_PPI;

/**
  Reads the variable named VariableName under VendorGuid.

  @retval EFI_SUCCESS           Data holds the variable; *DataSize its size.
  @retval EFI_NOT_FOUND         No such variable.
  @retval EFI_BUFFER_TOO_SMALL  *DataSize was too small; it now holds the size needed.
  @retval EFI_INVALID_PARAMETER A required pointer is NULL.
  @retval EFI_DEVICE_ERROR      The store could not be read.
**/
typedef EFI_STATUS (EFIAPI *EFI_PEI_GET_VARIABLE2)(
  IN CONST EFI_PEI_READ_ONLY_VARIABLE2_PPI  *This,
  IN CONST CHAR16                           *VariableName,
  IN CONST EFI_GUID                         *VariableGuid,
  OUT UINT32                                *Attributes OPTIONAL,
  IN OUT UINTN                              *DataSize,
  OUT VOID                                  *Data OPTIONAL
  );

typedef EFI_STATUS (EFIAPI *EFI_PEI_GET_NEXT_VARIABLE_NAME2)(
  IN CONST EFI_PEI_READ_ONLY_VARIABLE2_PPI  *This,
  IN OUT UINTN                              *VariableNameSize,
  IN OUT CHAR16                             *VariableName,
  IN OUT EFI_GUID                           *VariableGuid
  );

struct _EFI_PEI_READ_ONLY_VARIABLE2_PPI {
  EFI_PEI_GET_VARIABLE2            GetVariable;
  EFI_PEI_GET_NEXT_VARIABLE_NAME2  NextVariableName;
};

inline constexpr EFI_GUID gEfiPeiReadOnlyVariable2PpiGuid = EFI_PEI_READ_ONLY_VARIABLE2_PPI_GUID;

#endif
