/** @file
  HOB types of the PI specification (volume 3): the generic header, the
  handoff information table, memory allocation, pool and GUID extension HOBs.
**/
#ifndef PI_BASE_PI_PI_HOB_H_
#define PI_BASE_PI_PI_HOB_H_

#include <Pi/PiMultiPhase.h>

#define EFI_HOB_TYPE_HANDOFF              0x0001
#define EFI_HOB_TYPE_MEMORY_ALLOCATION    0x0002
#define EFI_HOB_TYPE_RESOURCE_DESCRIPTOR  0x0003
#define EFI_HOB_TYPE_GUID_EXTENSION       0x0004
#define EFI_HOB_TYPE_FV                   0x0005
#define EFI_HOB_TYPE_CPU                  0x0006
#define EFI_HOB_TYPE_MEMORY_POOL          0x0007
#define EFI_HOB_TYPE_FV2                  0x0009
#define EFI_HOB_TYPE_LOAD_PEIM_UNUSED     0x000A
#define EFI_HOB_TYPE_UEFI_CAPSULE         0x000B
#define EFI_HOB_TYPE_FV3                  0x000C
#define EFI_HOB_TYPE_UNUSED               0xFFFE
#define EFI_HOB_TYPE_END_OF_HOB_LIST      0xFFFF

#define EFI_HOB_HANDOFF_TABLE_VERSION  0x0009

/// Header shared by every HOB.
typedef struct {
  UINT16  HobType;
  UINT16  HobLength;
  UINT32  Reserved;
} EFI_HOB_GENERIC_HEADER;

/// The first HOB of the list: describes the memory PEI runs in.
typedef struct {
  EFI_HOB_GENERIC_HEADER  Header;
  UINT32                  Version;
  EFI_BOOT_MODE           BootMode;
  EFI_PHYSICAL_ADDRESS    EfiMemoryTop;
  EFI_PHYSICAL_ADDRESS    EfiMemoryBottom;
  EFI_PHYSICAL_ADDRESS    EfiFreeMemoryTop;
  EFI_PHYSICAL_ADDRESS    EfiFreeMemoryBottom;
  EFI_PHYSICAL_ADDRESS    EfiEndOfHobList;
} EFI_HOB_HANDOFF_INFO_TABLE;

typedef struct {
  EFI_GUID              Name;
  EFI_PHYSICAL_ADDRESS  MemoryBaseAddress;
  UINT64                MemoryLength;
  EFI_MEMORY_TYPE       MemoryType;
  UINT8                 Reserved[4];
} EFI_HOB_MEMORY_ALLOCATION_HEADER;

typedef struct {
  EFI_HOB_GENERIC_HEADER            Header;
  EFI_HOB_MEMORY_ALLOCATION_HEADER  AllocDescriptor;
} EFI_HOB_MEMORY_ALLOCATION;

typedef struct {
  EFI_HOB_GENERIC_HEADER  Header;
} EFI_HOB_MEMORY_POOL;

/// A GUID extension HOB: the name, then the owner's data at offset 24.
typedef struct {
  EFI_HOB_GENERIC_HEADER  Header;
  EFI_GUID                Name;
} EFI_HOB_GUID_TYPE;

typedef union {
  EFI_HOB_GENERIC_HEADER      *Header;
  EFI_HOB_HANDOFF_INFO_TABLE  *HandoffInformationTable;
  EFI_HOB_MEMORY_ALLOCATION   *MemoryAllocation;
  EFI_HOB_MEMORY_POOL         *Pool;
  EFI_HOB_GUID_TYPE           *Guid;
  UINT8                       *Raw;
} EFI_PEI_HOB_POINTERS;

#define GET_HOB_TYPE(HobStart)    ((*(EFI_HOB_GENERIC_HEADER **)&(HobStart))->HobType)
#define GET_HOB_LENGTH(HobStart)  ((*(EFI_HOB_GENERIC_HEADER **)&(HobStart))->HobLength)
#define GET_NEXT_HOB(HobStart)    (VOID *)(*(UINT8 **)&(HobStart) + GET_HOB_LENGTH (HobStart))
#define END_OF_HOB_LIST(HobStart) (GET_HOB_TYPE (HobStart) == (UINT16)EFI_HOB_TYPE_END_OF_HOB_LIST)
#define GET_GUID_HOB_DATA(HobStart)  (VOID *)(*(UINT8 **)&(HobStart) + sizeof (EFI_HOB_GUID_TYPE))
#define GET_GUID_HOB_DATA_SIZE(HobStart) \
  (UINT16)(GET_HOB_LENGTH (HobStart) - sizeof (EFI_HOB_GUID_TYPE))

#endif
