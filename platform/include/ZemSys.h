// The suite's support library: text blocks and string helpers, library
// loading, file writing, date and time texts and the guard failure report.
#ifndef ZEM_ZEMSYS_H
#define ZEM_ZEMSYS_H

#include "windows.h"

#define ZEMSYSAPI ZEM_EXTERN_C ZEM_EXPORT

// Reports a failed guard ("expression", source name, line) on standard error.
// Returns 0 when the caller should go on as if the guard held (a checked block
// is freed anyway), non-zero when it should leave the damaged data alone.
ZEMSYSAPI int WINAPI SysAssertFail(const char *pszExpression, const char *pszSource, int nLine);

// Chooses what SysAssertFail returns from now on (it prints either way); the
// previous choice is returned. The default is 0.
ZEMSYSAPI int WINAPI SysSetAssertResult(int nResult);
// How many times SysAssertFail has been called in this process.
ZEMSYSAPI int WINAPI SysGetAssertCount(void);

// Stores in *ppsz a new text block (a checked block, see ZemMem.h) holding a
// copy of psz; a null psz stores a block holding the empty text. The block
// *ppsz held before is not released. On exhausted memory *ppsz is null.
ZEMSYSAPI void WINAPI SysStrAssign(char **ppsz, const char *psz);

// Copy at most nMax characters of pszSrc to pszDest and terminate it with a
// NUL (so pszDest needs nMax + 1 bytes); nMax -1 copies the whole text.
// Returns pszDest. A null source copies the empty text; a null destination
// copies nothing.
ZEMSYSAPI char *WINAPI SysStrCopyN(char *pszDest, const char *pszSrc, int nMax);
// The same contract, used for fixed fields: at most nMax characters plus NUL.
ZEMSYSAPI char *WINAPI SysStrCopyLimit(char *pszDest, const char *pszSrc, int nMax);

// First occurrence of a character or a text; null when absent or when an
// argument is null.
ZEMSYSAPI char *WINAPI SysStrChr(const char *psz, int ch);
ZEMSYSAPI char *WINAPI SysStrStr(const char *psz, const char *pszFind);

// Normalises a folder path in place, so that a file name can be appended after
// a backslash: separators become backslashes and trailing separators and
// blanks are removed (a root stays a root).
ZEMSYSAPI void WINAPI SysNormalizePath(char *pszPath);

// Loads a library by name or path: 0 with *phModule set, else the system
// error code with *phModule null.
ZEMSYSAPI DWORD WINAPI SysLoadLibrary(HMODULE *phModule, const char *pszName);

// Receives an internet error code and its message text (kept as the last
// reported error of the calling thread, readable with SysGetReportedError).
ZEMSYSAPI void WINAPI SysReportError(DWORD dwError, const char *pszText);
ZEMSYSAPI DWORD WINAPI SysGetReportedError(char *pszText, DWORD cchText);

// A printable message for a system error code (nFlags is 1 at every call
// site). The text lives in thread-local storage until the next call.
ZEMSYSAPI const char *WINAPI SysErrorText(DWORD dwError, int nFlags);

// 0 when the file exists (*pwAttr receives its attributes), else a system
// error code. Paths may use backslashes.
ZEMSYSAPI int WINAPI SysFileStatus(const char *pszPath, WORD *pwAttr);

// File handles are positive integers. Open (mode 3 = read and write) an
// existing file, or create a new empty one; 0 or a system error code.
ZEMSYSAPI DWORD WINAPI SysFileOpen(int *phFile, const char *pszPath, int nMode, int nAttributes);
ZEMSYSAPI DWORD WINAPI SysFileCreate(int *phFile, const char *pszPath, int nAttributes);
// Origin 0 = start, 1 = current, 2 = end; the new position goes to plNewPos
// when it is not null.
ZEMSYSAPI DWORD WINAPI SysFileSeek(int hFile, LONG lOffset, int nOrigin, LONG *plNewPos);
ZEMSYSAPI DWORD WINAPI SysFileWrite(int hFile, const void *pvData, DWORD cbData, DWORD *pcbWritten);
ZEMSYSAPI DWORD WINAPI SysFileClose(int *phFile);

// Today's date and the time of day as opaque 32-bit values, and their texts:
// "YYYY-MM-DD" and "HH:MM:SS" (fixed width, under 12 characters).
ZEMSYSAPI void WINAPI SysGetDate(DWORD *pdwDate);
ZEMSYSAPI int WINAPI SysFormatDate(DWORD dwDate, DWORD dwDate2, char *pszBuffer, int nStyle, int nFlags);
ZEMSYSAPI void WINAPI SysGetTime(DWORD *pdwTime);
ZEMSYSAPI int WINAPI SysFormatTime(DWORD dwTime, char *pszBuffer, DWORD dwFlags);

#endif  // ZEM_ZEMSYS_H
