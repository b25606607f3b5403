// Kernel services: last error, modules, messages, time, threads, profile
// files and caller-memory probes.
#ifndef ZEM_WINBASE_H
#define ZEM_WINBASE_H

#include "windef.h"
#include "winerror.h"

#include <stdarg.h>

// ---- last error (per thread) ----
WINBASEAPI DWORD WINAPI GetLastError(void);
WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode);

// ---- modules ----
// Folders may be separated by backslashes or slashes. A path with a folder
// loads exactly that file; a bare name is searched for in the executable's
// folder, then among the platform's own system libraries, then in the current
// folder. A file name missing in its folder is matched without regard to case.
WINBASEAPI HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE hLibModule);
WINBASEAPI FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
WINBASEAPI HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
WINBASEAPI DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

// ---- messages ----
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define LANG_USER_DEFAULT 0x0400

WINBASEAPI DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                       LPSTR lpBuffer, DWORD nSize, va_list *Arguments);

// Local memory: FormatMessageA's allocated buffers come from here. Only fixed
// blocks exist; LocalFree answers a pointer it did not hand out with the
// pointer itself and ERROR_INVALID_HANDLE instead of freeing it.
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
typedef HANDLE HLOCAL;
WINBASEAPI HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
WINBASEAPI HLOCAL WINAPI LocalFree(HLOCAL hMem);

// A module that carries messages for FormatMessageA exports this symbol: an
// array of entries ending with one whose text is null.
typedef struct tagZEM_MESSAGE_ENTRY {
  DWORD dwMessageId;
  LPCSTR pszText;
} ZEM_MESSAGE_ENTRY;
#define ZEM_MESSAGE_TABLE_SYMBOL "ZemMessageTable"

// ---- time ----
WINBASEAPI DWORD WINAPI GetTickCount(void);
WINBASEAPI ULONGLONG WINAPI GetTickCount64(void);
WINBASEAPI DWORD WINAPI SleepEx(DWORD dwMilliseconds, BOOL bAlertable);
WINBASEAPI void WINAPI Sleep(DWORD dwMilliseconds);

// ---- strings ----
WINBASEAPI int WINAPI lstrlenA(LPCSTR lpString);

// ---- threads and waits ----
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define STILL_ACTIVE 259
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

typedef DWORD(WINAPI *PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;
typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

WINBASEAPI HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                                      LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                      DWORD dwCreationFlags, LPDWORD lpThreadId);
WINBASEAPI DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
WINBASEAPI BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
WINBASEAPI BOOL WINAPI CloseHandle(HANDLE hObject);
WINBASEAPI DWORD WINAPI GetCurrentThreadId(void);
WINBASEAPI DWORD WINAPI GetCurrentProcessId(void);

// ---- profile (INI) files ----
// A file name without a folder is looked for in the current folder; a file
// name missing in its folder is matched without regard to case. Section and
// key names match without regard to case; values lose surrounding blanks and
// one pair of surrounding quotes. A missing file or key gives the default
// and ERROR_FILE_NOT_FOUND.
WINBASEAPI DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                                 LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);

// ---- caller-memory probes ----
// Tell whether the whole range can be read (or written) without touching it:
// an unmapped or protected address is reported, never faulted on. A null
// pointer with a non-zero size is bad; a zero size is never bad.
WINBASEAPI BOOL WINAPI IsBadReadPtr(const void *lp, UINT_PTR ucb);
WINBASEAPI BOOL WINAPI IsBadWritePtr(LPVOID lp, UINT_PTR ucb);
WINBASEAPI BOOL WINAPI IsBadStringPtrA(LPCSTR lpsz, UINT_PTR ucchMax);

// Copies that never fault, for the current process (GetCurrentProcess())
// only: memory that cannot be read or written ends the copy with
// ERROR_NOACCESS (nothing copied) or ERROR_PARTIAL_COPY. Another process
// handle gives ERROR_INVALID_HANDLE.
WINBASEAPI HANDLE WINAPI GetCurrentProcess(void);
WINBASEAPI BOOL WINAPI ReadProcessMemory(HANDLE hProcess, LPCVOID lpBaseAddress, LPVOID lpBuffer, SIZE_T nSize,
                                         SIZE_T *lpNumberOfBytesRead);
WINBASEAPI BOOL WINAPI WriteProcessMemory(HANDLE hProcess, LPVOID lpBaseAddress, LPCVOID lpBuffer, SIZE_T nSize,
                                          SIZE_T *lpNumberOfBytesWritten);

#endif  // ZEM_WINBASE_H
