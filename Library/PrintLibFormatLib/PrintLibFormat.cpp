/** @file
  PrintLibFormat: the shared formatter over an argument list of this
  processor (VA_LIST), strings and GUIDs read where their pointers point.
**/
#include <Library/PrintLibFormatLib.h>

#include "PrintLibFormatCore.h"

namespace {

class VaListArgs {
public:
  explicit VaListArgs (VA_LIST *Marker) : mMarker (Marker) {}
  INT32 NextInt () { return VA_ARG (*mMarker, INT32); }
  INT64 NextInt64 () { return VA_ARG (*mMarker, INT64); }
  UINT64 NextUintn () { return VA_ARG (*mMarker, UINTN); }
  UINTN UintnBits () const { return sizeof (UINTN) * 8; }
  CHAR8 AsciiAt (UINT64 Address, UINTN Index) const { return ((CONST CHAR8 *)(UINTN)Address)[Index]; }
  UINT16 Ucs2At (UINT64 Address, UINTN Index) const { return ((CONST UINT16 *)(UINTN)Address)[Index]; }
  UINT8 ByteAt (UINT64 Address, UINTN Index) const { return ((CONST UINT8 *)(UINTN)Address)[Index]; }

private:
  VA_LIST *mMarker;
};

class CallbackSink {
public:
  CallbackSink (PRINT_FORMAT_PUT Put, VOID *Context) : mPut (Put), mContext (Context) {}
  VOID Put (CHAR8 Character)
  {
    mPut (mContext, Character);
    ++mCount;
  }
  UINTN Count () const { return mCount; }

private:
  PRINT_FORMAT_PUT  mPut;
  VOID              *mContext;
  UINTN             mCount = 0;
};

}  // namespace

UINTN EFIAPI PrintLibFormat (IN PRINT_FORMAT_PUT Put, IN VOID *Context, IN CONST CHAR8 *Format, IN VA_LIST Marker)
{
  VA_LIST Copy;
  VA_COPY (Copy, Marker);
  VaListArgs   Args (&Copy);
  CallbackSink Out (Put, Context);
  print_lib_format::Format (Out, Format, nullptr, Args);
  VA_END (Copy);
  return Out.Count ();
}
