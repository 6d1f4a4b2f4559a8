/** @file
  Root include of the PI base layer: fixed-width types, status codes, the
  variable-argument helpers and the small macros every module uses.

  Shapes follow MdePkg/Include/Base.h. The firmware build targets IA32
  (i686, MSVC ABI); the hosted build targets x86-64 System V.
**/
#ifndef PI_BASE_BASE_H_
#define PI_BASE_BASE_H_

#if defined(__i386__)
  #define MDE_CPU_IA32 1
#elif defined(__x86_64__)
  #define MDE_CPU_X64 1
#else
  #error "Only IA32 (firmware) and X64 (hosted) are supported."
#endif

typedef unsigned long long UINT64;
typedef long long          INT64;
typedef unsigned int       UINT32;
typedef int                INT32;
typedef unsigned short     UINT16;
typedef short              INT16;
typedef unsigned char      BOOLEAN;
typedef unsigned char      UINT8;
typedef signed char        INT8;
typedef char               CHAR8;
// char16_t so that u"..." literals are CHAR16 strings on both builds.
typedef char16_t           CHAR16;
typedef void               VOID;
typedef __UINTPTR_TYPE__   UINTN;
typedef __INTPTR_TYPE__    INTN;

static_assert (sizeof (UINT64) == 8 && sizeof (UINT32) == 4 && sizeof (UINT16) == 2 && sizeof (UINT8) == 1);
static_assert (sizeof (CHAR16) == 2 && sizeof (UINTN) == sizeof (VOID *));

#define IN
#define OUT
#define OPTIONAL
#define CONST     const
#define STATIC    static
#define GLOBAL_REMOVE_IF_UNREFERENCED

#define TRUE   ((BOOLEAN)(1 == 1))
#define FALSE  ((BOOLEAN)(0 == 1))
#undef NULL
#define NULL   nullptr

// IA32 firmware uses the C calling convention, which is the default; the
// hosted build uses the native System V convention throughout.
#define EFIAPI

#define MAX_BIT      ((UINTN)1 << (sizeof (UINTN) * 8 - 1))
#define MAX_UINT8    ((UINT8)0xFF)
#define MAX_UINT16   ((UINT16)0xFFFF)
#define MAX_UINT32   ((UINT32)0xFFFFFFFF)
#define MAX_UINT64   ((UINT64)0xFFFFFFFFFFFFFFFFULL)
#define MAX_ADDRESS  ((UINTN)~(UINTN)0)

#define BIT0   0x00000001
#define BIT7   0x00000080

#define BASE_4KB  0x00001000

typedef UINTN RETURN_STATUS;

#define ENCODE_ERROR(StatusCode)    ((RETURN_STATUS)(MAX_BIT | (StatusCode)))
#define ENCODE_WARNING(StatusCode)  ((RETURN_STATUS)(StatusCode))
#define RETURN_ERROR(StatusCode)    (((INTN)(RETURN_STATUS)(StatusCode)) < 0)

#define RETURN_SUCCESS               (RETURN_STATUS)(0)
#define RETURN_LOAD_ERROR            ENCODE_ERROR (1)
#define RETURN_INVALID_PARAMETER     ENCODE_ERROR (2)
#define RETURN_UNSUPPORTED           ENCODE_ERROR (3)
#define RETURN_BAD_BUFFER_SIZE       ENCODE_ERROR (4)
#define RETURN_BUFFER_TOO_SMALL      ENCODE_ERROR (5)
#define RETURN_NOT_READY             ENCODE_ERROR (6)
#define RETURN_DEVICE_ERROR          ENCODE_ERROR (7)
#define RETURN_WRITE_PROTECTED       ENCODE_ERROR (8)
#define RETURN_OUT_OF_RESOURCES      ENCODE_ERROR (9)
#define RETURN_VOLUME_CORRUPTED      ENCODE_ERROR (10)
#define RETURN_VOLUME_FULL           ENCODE_ERROR (11)
#define RETURN_NO_MEDIA              ENCODE_ERROR (12)
#define RETURN_MEDIA_CHANGED         ENCODE_ERROR (13)
#define RETURN_NOT_FOUND             ENCODE_ERROR (14)
#define RETURN_ACCESS_DENIED         ENCODE_ERROR (15)
#define RETURN_NO_RESPONSE           ENCODE_ERROR (16)
#define RETURN_NO_MAPPING            ENCODE_ERROR (17)
#define RETURN_TIMEOUT               ENCODE_ERROR (18)
#define RETURN_NOT_STARTED           ENCODE_ERROR (19)
#define RETURN_ALREADY_STARTED       ENCODE_ERROR (20)
#define RETURN_ABORTED               ENCODE_ERROR (21)
#define RETURN_ICMP_ERROR            ENCODE_ERROR (22)
#define RETURN_TFTP_ERROR            ENCODE_ERROR (23)
#define RETURN_PROTOCOL_ERROR        ENCODE_ERROR (24)
#define RETURN_INCOMPATIBLE_VERSION  ENCODE_ERROR (25)
#define RETURN_SECURITY_VIOLATION    ENCODE_ERROR (26)
#define RETURN_CRC_ERROR             ENCODE_ERROR (27)
#define RETURN_END_OF_MEDIA          ENCODE_ERROR (28)
#define RETURN_END_OF_FILE           ENCODE_ERROR (31)
#define RETURN_INVALID_LANGUAGE      ENCODE_ERROR (32)
#define RETURN_COMPROMISED_DATA      ENCODE_ERROR (33)
#define RETURN_IP_ADDRESS_CONFLICT   ENCODE_ERROR (34)
#define RETURN_HTTP_ERROR            ENCODE_ERROR (35)

#define RETURN_WARN_UNKNOWN_GLYPH    ENCODE_WARNING (1)
#define RETURN_WARN_DELETE_FAILURE   ENCODE_WARNING (2)
#define RETURN_WARN_WRITE_FAILURE    ENCODE_WARNING (3)
#define RETURN_WARN_BUFFER_TOO_SMALL ENCODE_WARNING (4)
#define RETURN_WARN_STALE_DATA       ENCODE_WARNING (5)
#define RETURN_WARN_FILE_SYSTEM      ENCODE_WARNING (6)
#define RETURN_WARN_RESET_REQUIRED   ENCODE_WARNING (7)

/// 128-bit buffer containing a unique identifier value.
typedef struct {
  UINT32  Data1;
  UINT16  Data2;
  UINT16  Data3;
  UINT8   Data4[8];
} GUID;

static_assert (sizeof (GUID) == 16 && alignof (GUID) == 4);

typedef UINT64 PHYSICAL_ADDRESS;

// Variable arguments: the compiler's own list type, which is a plain pointer
// on IA32 (so an argument list can be handed to another image) and the
// System V register-save structure on X64.
typedef __builtin_va_list VA_LIST;
#define VA_START(Marker, Parameter)  __builtin_va_start (Marker, Parameter)
#define VA_ARG(Marker, TYPE)         __builtin_va_arg (Marker, TYPE)
#define VA_END(Marker)               __builtin_va_end (Marker)
#define VA_COPY(Dest, Start)         __builtin_va_copy (Dest, Start)

#define OFFSET_OF(TYPE, Field)  ((UINTN) __builtin_offsetof (TYPE, Field))
#define ARRAY_SIZE(Array)       (sizeof (Array) / sizeof ((Array)[0]))

/// Returns a pointer to the structure of TYPE that contains Record at Field.
#define BASE_CR(Record, TYPE, Field) \
  ((TYPE *) ((CHAR8 *) (Record) - OFFSET_OF (TYPE, Field)))

#define ALIGN_VALUE(Value, Alignment)  ((Value) + (((Alignment) - (Value)) & ((Alignment) - 1)))

#endif
