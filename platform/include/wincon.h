// The console services the command-line tool uses: the standard handles and
// what the console behind one of them says about itself.
#ifndef ZEM_WINCON_H
#define ZEM_WINCON_H

#include "windef.h"

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

typedef struct _COORD {
  SHORT X;
  SHORT Y;
} COORD, *PCOORD;

typedef struct _SMALL_RECT {
  SHORT Left;
  SHORT Top;
  SHORT Right;
  SHORT Bottom;
} SMALL_RECT, *PSMALL_RECT;

typedef struct _CONSOLE_SCREEN_BUFFER_INFO {
  COORD dwSize;
  COORD dwCursorPosition;
  WORD wAttributes;
  SMALL_RECT srWindow;
  COORD dwMaximumWindowSize;
} CONSOLE_SCREEN_BUFFER_INFO, *PCONSOLE_SCREEN_BUFFER_INFO;

// Handles of the process's standard streams (pseudo-handles that name the
// stream, never a kernel object to close).
WINBASEAPI HANDLE WINAPI GetStdHandle(DWORD nStdHandle);
// TRUE when the handle is a console (a terminal); its mode is 0 here.
// FALSE with ERROR_INVALID_HANDLE for a file, a pipe or a handle that is no
// standard stream.
WINBASEAPI BOOL WINAPI GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode);
// The terminal's size in columns and rows: the window spans the whole buffer.
WINBASEAPI BOOL WINAPI GetConsoleScreenBufferInfo(HANDLE hConsoleOutput,
                                                  PCONSOLE_SCREEN_BUFFER_INFO lpConsoleScreenBufferInfo);

#endif  // ZEM_WINCON_H
