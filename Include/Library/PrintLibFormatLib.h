/** @file
  The PrintLib format syntax for ASCII output, freestanding: %d %u %x %X %p
  %a %s %S %c %g %r %%, the flags "-+ 0,lL", width, '*' and .precision; hex
  digits in lower case. Characters go to a sink one at a time, so nothing
  needs a buffer of the whole text.
**/
#ifndef OEM_PRINT_LIB_FORMAT_LIB_H_
#define OEM_PRINT_LIB_FORMAT_LIB_H_

#include <Base.h>

typedef VOID (EFIAPI *PRINT_FORMAT_PUT)(VOID *Context, CHAR8 Character);

/** Formats Format with the arguments of Marker into Put; returns the characters put. **/
UINTN EFIAPI PrintLibFormat (IN PRINT_FORMAT_PUT Put, IN VOID *Context, IN CONST CHAR8 *Format, IN VA_LIST Marker);

#endif
