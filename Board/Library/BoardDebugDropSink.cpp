// The hosted instance of DebugDropSinkLib: the board's console keeps every
// message a module's level mask dropped, marked as dropped.
#include <Library/DebugDropSinkLib.h>

#include "../Board.h"
#include "../PrintFormat.h"

extern "C" VOID EFIAPI DebugPrintDropped (IN UINTN ErrorLevel, IN CONST CHAR8 *Format, IN VA_LIST Marker)
{
  board::Board& board = board::Board::Current();
  board::VaListArgumentReader arguments(Marker);
  board.Console().Dropped(board.RunningModule(), static_cast<uint32_t>(ErrorLevel),
                          board::FormatPrintLib(Format == nullptr ? "" : Format, arguments));
}
