/** @file
  DebugLib: the DEBUG and ASSERT macros and the functions behind them.
  The macros are MdePkg's; a library instance supplies the functions.
**/
#ifndef PI_BASE_LIBRARY_DEBUG_LIB_H_
#define PI_BASE_LIBRARY_DEBUG_LIB_H_

#include <Uefi/UefiBaseType.h>

#define DEBUG_INIT      0x00000001
#define DEBUG_WARN      0x00000002
#define DEBUG_LOAD      0x00000004
#define DEBUG_FS        0x00000008
#define DEBUG_POOL      0x00000010
#define DEBUG_PAGE      0x00000020
#define DEBUG_INFO      0x00000040
#define DEBUG_DISPATCH  0x00000080
#define DEBUG_VARIABLE  0x00000100
#define DEBUG_BM        0x00000400
#define DEBUG_BLKIO     0x00001000
#define DEBUG_NET       0x00004000
#define DEBUG_UNDI      0x00010000
#define DEBUG_LOADFILE  0x00020000
#define DEBUG_EVENT     0x00080000
#define DEBUG_GCD       0x00100000
#define DEBUG_CACHE     0x00200000
#define DEBUG_VERBOSE   0x00400000
#define DEBUG_MANAGEABILITY 0x00800000
#define DEBUG_SECURITY  0x01000000
#define DEBUG_PAGING    0x02000000
#define DEBUG_ERROR     0x80000000

extern "C" {

/** Prints a message when ErrorLevel passes the current level mask. **/
VOID EFIAPI DebugPrint (IN UINTN ErrorLevel, IN CONST CHAR8 *Format, ...);

/** Reports a failed assertion: file, line and the failed expression. **/
VOID EFIAPI DebugAssert (IN CONST CHAR8 *FileName, IN UINTN LineNumber, IN CONST CHAR8 *Description);

/** TRUE when ASSERT and its relatives are compiled in and active. **/
BOOLEAN EFIAPI DebugAssertEnabled (VOID);

/** TRUE when DEBUG messages are compiled in and active. **/
BOOLEAN EFIAPI DebugPrintEnabled (VOID);

/** TRUE when messages of ErrorLevel may be handed to DebugPrint. **/
BOOLEAN EFIAPI DebugPrintLevelEnabled (IN CONST UINTN ErrorLevel);

}

#define _ASSERT(Expression)  DebugAssert (__FILE__, __LINE__, #Expression)

#define _DEBUG_PRINT(PrintLevel, ...)              \
  do {                                             \
    if (DebugPrintLevelEnabled (PrintLevel)) {     \
      DebugPrint (PrintLevel, ##__VA_ARGS__);      \
    }                                              \
  } while (FALSE)

#define _DEBUG(Expression)  _DEBUG_PRINT Expression

#define ASSERT(Expression)        \
  do {                            \
    if (DebugAssertEnabled ()) {  \
      if (!(Expression)) {        \
        _ASSERT (Expression);     \
      }                           \
    }                             \
  } while (FALSE)

#define DEBUG(Expression)        \
  do {                           \
    if (DebugPrintEnabled ()) {  \
      _DEBUG (Expression);       \
    }                            \
  } while (FALSE)

#define ASSERT_EFI_ERROR(StatusParameter)                                              \
  do {                                                                                 \
    if (DebugAssertEnabled ()) {                                                       \
      if (EFI_ERROR (StatusParameter)) {                                               \
        DEBUG ((DEBUG_ERROR, "\nASSERT_EFI_ERROR (Status = %r)\n", StatusParameter));  \
        _ASSERT (!EFI_ERROR (StatusParameter));                                        \
      }                                                                                \
    }                                                                                  \
  } while (FALSE)

#define ASSERT_RETURN_ERROR(StatusParameter)                                              \
  do {                                                                                    \
    if (DebugAssertEnabled ()) {                                                          \
      if (RETURN_ERROR (StatusParameter)) {                                               \
        DEBUG ((DEBUG_ERROR, "\nASSERT_RETURN_ERROR (Status = %r)\n", StatusParameter));  \
        _ASSERT (!RETURN_ERROR (StatusParameter));                                        \
      }                                                                                   \
    }                                                                                     \
  } while (FALSE)

#endif
