/** @file
  Null instance of DebugDropSinkLib: a dropped message goes nowhere.
**/
#include <Library/DebugDropSinkLib.h>

VOID EFIAPI DebugPrintDropped (IN UINTN ErrorLevel, IN CONST CHAR8 *Format, IN VA_LIST Marker)
{
  (VOID)ErrorLevel;
  (VOID)Format;
  (VOID)Marker;
}
