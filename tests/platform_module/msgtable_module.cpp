// A small loadable module for the kernel tests: a message table, an export
// of its own, and a way to set the last error from inside another module.
#include "windows.h"

extern "C" ZEM_EXPORT const ZEM_MESSAGE_ENTRY ZemMessageTable[] = {
    {100, "Plain message without inserts"},
    {101, "Host %1 refused port %2!u!"},
    {102, "Already ends in a line break\r\n"},
    {103, "First line%nSecond line"},
    {0, nullptr},
};

extern "C" ZEM_EXPORT int WINAPI MsgTableModuleAnswer(void) { return 42; }

extern "C" ZEM_EXPORT void WINAPI MsgTableModuleSetLastError(DWORD code) { SetLastError(code); }
