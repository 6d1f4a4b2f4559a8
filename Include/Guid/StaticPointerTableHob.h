/** @file
  The static pointer table HOB: a GUID extension HOB whose data is a table of
  14 pointers, each with the record of where it moves once permanent memory is
  installed. The table's address is published in MM7 of every processor; the
  owners of the pointer types fill in the pointers and their new addresses.
**/
#ifndef OEM_GUID_STATIC_POINTER_TABLE_HOB_H_
#define OEM_GUID_STATIC_POINTER_TABLE_HOB_H_

#include <PiPei.h>

#define STATIC_POINTER_TABLE_HOB_GUID \
  { 0xa6a8d25b, 0xfab2, 0x411a, { 0x98, 0x77, 0xfe, 0x9f, 0xe4, 0x07, 0xc7, 0xba } }

inline constexpr EFI_GUID gStaticPointerTableHobGuid = STATIC_POINTER_TABLE_HOB_GUID;

/// Pointer types are plain indexes 0 .. STATIC_POINTER_TYPE_COUNT - 1.
#define STATIC_POINTER_TYPE_COUNT  14

/// Where one pointer type moves once permanent memory is installed.
typedef struct {
  UINT8   Reserved[8];  ///< The owner's; the library leaves it unchanged.
  UINT32  NewAddress;   ///< The value Pointer takes after memory discovery.
} STATIC_POINTER_MIGRATION;

/// The data of the static pointer table HOB; all zero when created.
typedef struct {
  UINT64                    Pointer[STATIC_POINTER_TYPE_COUNT];    ///< 0 = not set; the high half is written as 0.
  STATIC_POINTER_MIGRATION  Migration[STATIC_POINTER_TYPE_COUNT];
} STATIC_POINTER_TABLE;

/// The whole HOB: the GUID extension header, then the table at offset 24.
typedef struct {
  EFI_HOB_GUID_TYPE     Header;
  STATIC_POINTER_TABLE  Table;
} STATIC_POINTER_TABLE_HOB;

// The layout is the same on IA32 and x86-64: other firmware reads it.
static_assert (sizeof (STATIC_POINTER_MIGRATION) == 12);
static_assert (OFFSET_OF (STATIC_POINTER_MIGRATION, Reserved) == 0);
static_assert (OFFSET_OF (STATIC_POINTER_MIGRATION, NewAddress) == 8);

static_assert (sizeof (STATIC_POINTER_TABLE) == 0x118);
static_assert (OFFSET_OF (STATIC_POINTER_TABLE, Pointer) == 0x00);
static_assert (sizeof (STATIC_POINTER_TABLE::Pointer) == 14 * 8);
static_assert (OFFSET_OF (STATIC_POINTER_TABLE, Migration) == 0x70);
static_assert (sizeof (STATIC_POINTER_TABLE::Migration) == 14 * 12);

static_assert (sizeof (STATIC_POINTER_TABLE_HOB) == 0x130);
static_assert (OFFSET_OF (STATIC_POINTER_TABLE_HOB, Header.Header.HobType) == 0);
static_assert (OFFSET_OF (STATIC_POINTER_TABLE_HOB, Header.Header.HobLength) == 2);
static_assert (OFFSET_OF (STATIC_POINTER_TABLE_HOB, Header.Header.Reserved) == 4);
static_assert (OFFSET_OF (STATIC_POINTER_TABLE_HOB, Header.Name) == 8);
static_assert (OFFSET_OF (STATIC_POINTER_TABLE_HOB, Table) == 24);
static_assert (OFFSET_OF (STATIC_POINTER_TABLE_HOB, Table) == sizeof (EFI_HOB_GUID_TYPE));

#endif
