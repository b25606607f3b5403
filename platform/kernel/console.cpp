// The standard handles and the console behind them: a terminal on a
// standard stream is the console.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "windows.h"

namespace {

// The descriptor a standard pseudo-handle names, or -1.
int DescriptorOf(HANDLE handle) {
  switch (static_cast<DWORD>(reinterpret_cast<LONG_PTR>(handle))) {
    case STD_INPUT_HANDLE: return STDIN_FILENO;
    case STD_OUTPUT_HANDLE: return STDOUT_FILENO;
    case STD_ERROR_HANDLE: return STDERR_FILENO;
    default: return -1;
  }
}

// The terminal on the handle's descriptor, or -1 with the error set.
int TerminalOf(HANDLE handle) {
  const int fd = DescriptorOf(handle);
  if (fd >= 0 && ::isatty(fd) == 1) return fd;
  SetLastError(ERROR_INVALID_HANDLE);
  return -1;
}

SHORT Clamped(unsigned n) { return static_cast<SHORT>(std::min(n, 0x7FFFu)); }

}  // namespace

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
  // The values that name the streams serve as their handles, as they do on
  // Windows for a process started without real ones.
  if (nStdHandle != STD_INPUT_HANDLE && nStdHandle != STD_OUTPUT_HANDLE && nStdHandle != STD_ERROR_HANDLE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(static_cast<LONG>(nStdHandle)));
}

BOOL WINAPI GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
  if (TerminalOf(hConsoleHandle) < 0) return FALSE;
  if (lpMode != nullptr) *lpMode = 0;
  return TRUE;
}

BOOL WINAPI GetConsoleScreenBufferInfo(HANDLE hConsoleOutput, PCONSOLE_SCREEN_BUFFER_INFO lpConsoleScreenBufferInfo) {
  const int fd = TerminalOf(hConsoleOutput);
  if (fd < 0) return FALSE;
  struct winsize size {};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpConsoleScreenBufferInfo == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  CONSOLE_SCREEN_BUFFER_INFO info{};
  info.dwSize = {Clamped(size.ws_col), Clamped(size.ws_row)};
  info.srWindow = {0, 0, static_cast<SHORT>(info.dwSize.X - 1), static_cast<SHORT>(std::max<SHORT>(info.dwSize.Y, 1) - 1)};
  info.dwMaximumWindowSize = info.dwSize;
  *lpConsoleScreenBufferInfo = info;
  return TRUE;
}
