/** @file
  The part of the memory reference code's host structure that the modules
  read: the memory warning log and, for each DIMM slot, whether a DIMM is
  present and whether its channel may be reported. The structure lives at
  the address in PcdSysHostMemoryAddress; everything else in it belongs to
  the memory reference code and is kept here as reserved bytes.

  The host structure is written by another module: a reader trusts none of
  its counts and lengths, and indexes the per-slot data only below the
  dimensions defined here.
**/
#ifndef OEM_SYS_HOST_H_
#define OEM_SYS_HOST_H_

#include <Base.h>

/// Dimensions of the host structure: sockets, channels of a socket, DIMM slots of a channel.
#define SYS_HOST_MAX_SOCKETS        8
#define SYS_HOST_MAX_CHANNELS       8
#define SYS_HOST_MAX_DIMM_SLOTS     2

/// Bytes of the warning log's entry area: from the first entry to the first socket's data.
#define SYS_HOST_WARNING_LOG_SIZE   0x16A6

/// DIMM presence byte value of a populated slot.
#define SYS_HOST_DIMM_PRESENT       1

#pragma pack(push, 1)

/// One warning-log entry: the fields that are read. An entry is Length bytes long.
typedef struct {
  INT32   Type;          ///< Entry type, compared as a signed value.
  UINT16  Length;        ///< Size of the whole entry; the step to the next one.
  UINT8   Reserved[6];
  UINT8   MajorCode;
  UINT8   MinorCode;
  UINT8   Socket;
  UINT8   Channel;       ///< Channel within the socket.
  UINT8   Dimm;          ///< DIMM within the channel; 0xFF for every DIMM of the channel.
  UINT8   Rank;
} MemWarningLogEntry;

/// The bytes an entry needs for its type and length to be read.
#define MEM_WARNING_LOG_ENTRY_HEADER_SIZE  (OFFSET_OF (MemWarningLogEntry, Length) + sizeof (UINT16))

/// The value of Dimm that stands for every DIMM of the channel.
#define MEM_WARNING_LOG_ALL_DIMMS  0xFF

/// One DIMM slot's block.
typedef struct {
  UINT8  DimmPresent;   ///< SYS_HOST_DIMM_PRESENT when a DIMM is in the slot.
  UINT8  Reserved[0x6A0];
} SysHostDimmSlot;

/// One channel's block.
typedef struct {
  UINT8            ChannelGate;   ///< 0: the slots of this channel may be reported.
  UINT8            Reserved0[0x3D];
  SysHostDimmSlot  Slot[SYS_HOST_MAX_DIMM_SLOTS];
  UINT8            Reserved1[0x1FC0];
} SysHostChannel;

/// One socket's block.
typedef struct {
  SysHostChannel  Channel[SYS_HOST_MAX_CHANNELS];
  UINT8           Reserved[0x10A];
} SysHostSocket;

/// The host structure.
typedef struct {
  UINT8          Reserved0[0x1F140];
  UINT32         UsedSize;      ///< Bytes of entries in use, counted from the first entry.
  UINT8          Reserved1[8];
  UINT8          WarningLog[SYS_HOST_WARNING_LOG_SIZE];
  SysHostSocket  Socket[SYS_HOST_MAX_SOCKETS];
} SysHost;

#pragma pack(pop)

static_assert (OFFSET_OF (MemWarningLogEntry, Type) == 0x00);
static_assert (OFFSET_OF (MemWarningLogEntry, Length) == 0x04);
static_assert (OFFSET_OF (MemWarningLogEntry, MajorCode) == 0x0C);
static_assert (OFFSET_OF (MemWarningLogEntry, MinorCode) == 0x0D);
static_assert (OFFSET_OF (MemWarningLogEntry, Socket) == 0x0E);
static_assert (OFFSET_OF (MemWarningLogEntry, Channel) == 0x0F);
static_assert (OFFSET_OF (MemWarningLogEntry, Dimm) == 0x10);
static_assert (OFFSET_OF (MemWarningLogEntry, Rank) == 0x11);
static_assert (sizeof (MemWarningLogEntry) == 0x12);
static_assert (MEM_WARNING_LOG_ENTRY_HEADER_SIZE == 6);

static_assert (sizeof (SysHostDimmSlot) == 0x6A1);
static_assert (sizeof (SysHostChannel) == 0x2D40);
static_assert (sizeof (SysHostSocket) == 0x16B0A);

static_assert (OFFSET_OF (SysHost, UsedSize) == 0x1F140);
static_assert (OFFSET_OF (SysHost, WarningLog) == 0x1F14C);
static_assert (OFFSET_OF (SysHost, Socket) == OFFSET_OF (SysHost, WarningLog) + SYS_HOST_WARNING_LOG_SIZE);

// The per-slot fields where the memory reference code keeps them:
// 0x207F2 + Socket * 0x16B0A + Channel * 0x2D40 (gate) and
// 0x20830 + Socket * 0x16B0A + Channel * 0x2D40 + Slot * 0x6A1 (presence).
static_assert (OFFSET_OF (SysHost, Socket[0].Channel[0].ChannelGate) == 0x207F2);
static_assert (OFFSET_OF (SysHost, Socket[1].Channel[3].ChannelGate) == 0x207F2 + 1 * 0x16B0A + 3 * 0x2D40);
static_assert (OFFSET_OF (SysHost, Socket[0].Channel[0].Slot[0].DimmPresent) == 0x20830);
static_assert (OFFSET_OF (SysHost, Socket[7].Channel[7].Slot[1].DimmPresent) ==
               0x20830 + 7 * 0x16B0A + 7 * 0x2D40 + 1 * 0x6A1);
static_assert (sizeof (SysHost) == 0x207F2 + SYS_HOST_MAX_SOCKETS * 0x16B0A);

#endif
