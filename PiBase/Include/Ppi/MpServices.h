/** @file
  EFI_PEI_MP_SERVICES_PPI: run procedures on the application processors.
**/
#ifndef PI_BASE_PPI_MP_SERVICES_H_
#define PI_BASE_PPI_MP_SERVICES_H_

#include <PiPei.h>

#define EFI_PEI_MP_SERVICES_PPI_GUID \
  { 0xee16160a, 0xe8be, 0x47a6, { 0x82, 0x0a, 0xc6, 0x90, 0x0d, 0xb0, 0x25, 0x0a } }

typedef struct _EFI_PEI_MP_SERVICES_PPI EFI_PEI_MP_SERVICES_PPI;

/// A procedure run on an application processor.
typedef VOID (EFIAPI *EFI_AP_PROCEDURE)(IN OUT VOID *Buffer);

#define PROCESSOR_AS_BSP_BIT         0x00000001
#define PROCESSOR_ENABLED_BIT        0x00000002
#define PROCESSOR_HEALTH_STATUS_BIT  0x00000004

typedef struct {
  UINT32  Package;
  UINT32  Core;
  UINT32  Thread;
} EFI_CPU_PHYSICAL_LOCATION;

typedef struct {
  UINT32  Package;
  UINT32  Module;
  UINT32  Tile;
  UINT32  Die;
  UINT32  Core;
  UINT32  Thread;
} EFI_CPU_PHYSICAL_LOCATION2;

typedef union {
  EFI_CPU_PHYSICAL_LOCATION2  Location2;
} EXTENDED_PROCESSOR_INFORMATION;

typedef struct {
  UINT64                          ProcessorId;
  UINT32                          StatusFlag;
  EFI_CPU_PHYSICAL_LOCATION       Location;
  EXTENDED_PROCESSOR_INFORMATION  ExtendedInformation;
} EFI_PROCESSOR_INFORMATION;

typedef EFI_STATUS (EFIAPI *EFI_PEI_MP_SERVICES_GET_NUMBER_OF_PROCESSORS)(
  IN CONST EFI_PEI_SERVICES **PeiServices, IN EFI_PEI_MP_SERVICES_PPI *This,
  OUT UINTN *NumberOfProcessors, OUT UINTN *NumberOfEnabledProcessors);
typedef EFI_STATUS (EFIAPI *EFI_PEI_MP_SERVICES_GET_PROCESSOR_INFO)(
  IN CONST EFI_PEI_SERVICES **PeiServices, IN EFI_PEI_MP_SERVICES_PPI *This,
  IN UINTN ProcessorNumber, OUT EFI_PROCESSOR_INFORMATION *ProcessorInfoBuffer);
/**
  Runs Procedure on every enabled AP. With SingleThread FALSE all APs run it
  at once; with TimeoutInMicroSeconds 0 the call returns when all have finished.
**/
typedef EFI_STATUS (EFIAPI *EFI_PEI_MP_SERVICES_STARTUP_ALL_APS)(
  IN CONST EFI_PEI_SERVICES **PeiServices, IN EFI_PEI_MP_SERVICES_PPI *This,
  IN EFI_AP_PROCEDURE Procedure, IN BOOLEAN SingleThread, IN UINTN TimeoutInMicroSeconds,
  IN VOID *ProcedureArgument);
typedef EFI_STATUS (EFIAPI *EFI_PEI_MP_SERVICES_STARTUP_THIS_AP)(
  IN CONST EFI_PEI_SERVICES **PeiServices, IN EFI_PEI_MP_SERVICES_PPI *This,
  IN EFI_AP_PROCEDURE Procedure, IN UINTN ProcessorNumber, IN UINTN TimeoutInMicroseconds,
  IN VOID *ProcedureArgument);
typedef EFI_STATUS (EFIAPI *EFI_PEI_MP_SERVICES_SWITCH_BSP)(
  IN CONST EFI_PEI_SERVICES **PeiServices, IN EFI_PEI_MP_SERVICES_PPI *This,
  IN UINTN ProcessorNumber, IN BOOLEAN EnableOldBSP);
typedef EFI_STATUS (EFIAPI *EFI_PEI_MP_SERVICES_ENABLEDISABLEAP)(
  IN CONST EFI_PEI_SERVICES **PeiServices, IN EFI_PEI_MP_SERVICES_PPI *This,
  IN UINTN ProcessorNumber, IN BOOLEAN EnableAP, IN UINT32 *HealthFlag OPTIONAL);
typedef EFI_STATUS (EFIAPI *EFI_PEI_MP_SERVICES_WHOAMI)(
  IN CONST EFI_PEI_SERVICES **PeiServices, IN EFI_PEI_MP_SERVICES_PPI *This,
  OUT UINTN *ProcessorNumber);

struct _EFI_PEI_MP_SERVICES_PPI {
  EFI_PEI_MP_SERVICES_GET_NUMBER_OF_PROCESSORS  GetNumberOfProcessors;
  EFI_PEI_MP_SERVICES_GET_PROCESSOR_INFO        GetProcessorInfo;
  EFI_PEI_MP_SERVICES_STARTUP_ALL_APS           StartupAllAPs;
  EFI_PEI_MP_SERVICES_STARTUP_THIS_AP           StartupThisAP;
  EFI_PEI_MP_SERVICES_SWITCH_BSP                SwitchBSP;
  EFI_PEI_MP_SERVICES_ENABLEDISABLEAP           EnableDisableAP;
  EFI_PEI_MP_SERVICES_WHOAMI                    WhoAmI;
};

inline constexpr EFI_GUID gEfiPeiMpServicesPpiGuid = EFI_PEI_MP_SERVICES_PPI_GUID;

#endif
