/** @file
  PeiServicesTablePointerLib: where a PEIM finds the PEI Services table.
  This instance keeps the pointer just below the IDT base, as IA32 PEI cores do.
**/
#ifndef PI_BASE_LIBRARY_PEI_SERVICES_TABLE_POINTER_LIB_H_
#define PI_BASE_LIBRARY_PEI_SERVICES_TABLE_POINTER_LIB_H_

#include <PiPei.h>

extern "C" {

/** Returns the pointer to the PEI Services table pointer (asserts when it is NULL). **/
CONST EFI_PEI_SERVICES ** EFIAPI GetPeiServicesTablePointer (VOID);

/** Stores PeiServicesTablePointer just below the current IDT base. **/
VOID EFIAPI SetPeiServicesTablePointer (IN CONST EFI_PEI_SERVICES **PeiServicesTablePointer);

}

#endif
