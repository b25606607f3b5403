#include "terminal.h"

#include <cstdlib>

#include "windows.h"

namespace zemtool {

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns > 0) return columns;
  }
  if (const char *columns = std::getenv("COLUMNS")) {
    int n = std::atoi(columns);
    if (n > 0) return n;
  }
  return 80;
}

}  // namespace zemtool
