// The suite's support library: text blocks and string helpers, library
// loading, file writing, date and time texts and the guard failure report.
#ifndef ZEM_ZEMSYS_H
#define ZEM_ZEMSYS_H

#include "ZemApi.h"

// Reports a failed guard ("expression", source name, line) as one line on
// standard error and counts it. Returns 0 when the caller should go on as if
// the guard held (a checked block is freed anyway), non-zero when it should
// leave the damaged data alone.
ZEMSYSAPI int WINAPI SysAssertFail(const char *pszExpression, const char *pszSource, int nLine);

// Chooses what SysAssertFail returns from now on (it prints either way); the
// previous choice is returned. The default is 0.
ZEMSYSAPI int WINAPI SysSetAssertResult(int nResult);
// How many times SysAssertFail has been called in this process.
ZEMSYSAPI int WINAPI SysGetAssertCount(void);

// Stores in *ppsz a new text block (a checked block, see ZemMem.h) holding a
// copy of psz; a null psz (or one below 0x10000) stores a block holding the
// empty text. The block size is the text length + 1. The block *ppsz held
// before is not released. On exhausted memory *ppsz is null and the last error
// is 8 (ERROR_NOT_ENOUGH_MEMORY). A null ppsz does nothing.
ZEMSYSAPI void WINAPI SysStrAssign(char **ppsz, const char *psz);

// Copy at most nMax characters of pszSrc to pszDest and terminate it with a
// NUL (so pszDest needs nMax + 1 bytes); nMax -1 (any negative value) copies
// the whole text.
// Returns pszDest. A null source copies the empty text; a null destination
// copies nothing. Pointers below 0x10000 count as null.
ZEMSYSAPI char *WINAPI SysStrCopyN(char *pszDest, const char *pszSrc, int nMax);
// The same contract, used for fixed fields: at most nMax characters plus NUL.
ZEMSYSAPI char *WINAPI SysStrCopyLimit(char *pszDest, const char *pszSrc, int nMax);

// First occurrence of a character or a text; null when absent or when an
// argument is null. The NUL character and the empty text are never found.
ZEMSYSAPI char *WINAPI SysStrChr(const char *psz, int ch);
ZEMSYSAPI char *WINAPI SysStrStr(const char *psz, const char *pszFind);

// Normalises a folder path in place, so that a backslash and a file name can
// be appended without doubling a separator: trailing separators ("\\" or "/")
// and trailing blanks are removed, every other character stays as given (the
// platform accepts both separators). A root ("/" or "\\") stays a root. A null
// pointer is ignored.
ZEMSYSAPI void WINAPI SysNormalizePath(char *pszPath);

// Loads a library by name or path: 0 with *phModule set, else the system
// error code with *phModule null (126 when the system gave no code; 87 for a
// null or empty name or a null phModule).
ZEMSYSAPI DWORD WINAPI SysLoadLibrary(HMODULE *phModule, const char *pszName);

// Receives an internet error code and its message text. Nothing is printed:
// the pair is kept as the last reported error of the calling thread (texts cut
// to 4095 characters).
ZEMSYSAPI void WINAPI SysReportError(DWORD dwError, const char *pszText);
// The code of the calling thread's last reported error (0 when none), its text
// copied to pszText when that is not null: at most cchText - 1 characters and
// a NUL (cchText counts the NUL; 0 writes nothing).
ZEMSYSAPI DWORD WINAPI SysGetReportedError(char *pszText, DWORD cchText);

// A printable message for a system error code, without a line end ("Error %u"
// for a code the system has no text for). nFlags is 1 at every call site and
// does not change the text. The text lives in thread-local storage until the
// calling thread's next call.
ZEMSYSAPI const char *WINAPI SysErrorText(DWORD dwError, int nFlags);

// 0 when the path names an existing regular file, else a system error code
// (a folder gives 5). *pwAttr, when pwAttr is not null, receives the
// attributes: 0x20 for a file, with 0x01 when it is read-only; 0x10 for a
// folder. Paths may use backslashes; a file name missing in its folder is
// matched without regard to case.
ZEMSYSAPI int WINAPI SysFileStatus(const char *pszPath, WORD *pwAttr);

// File handles are positive integers; a failed open or create leaves 0 in
// *phFile. SysFileOpen opens an existing file (nMode bit 0 = read, bit 1 =
// write, 3 = both; 0 reads), its name matched without regard to case when the
// exact spelling is missing. SysFileCreate creates the file under exactly the
// name given, or truncates an existing one, open for reading and writing
// (nAttributes 0x01 makes a new file read-only). Both return 0 or a system
// error code; nAttributes of SysFileOpen is not used.
ZEMSYSAPI DWORD WINAPI SysFileOpen(int *phFile, const char *pszPath, int nMode, int nAttributes);
ZEMSYSAPI DWORD WINAPI SysFileCreate(int *phFile, const char *pszPath, int nAttributes);
// Origin 0 = start, 1 = current, 2 = end; the new position goes to plNewPos
// when it is not null (534 when it does not fit: the move is made all the same).
// SysFileWrite writes all cbData bytes or reports why not; the count written
// goes to pcbWritten when it is not null. SysFileClose closes *phFile and sets
// it to 0, so a second close reports 6 instead of closing someone else's file.
ZEMSYSAPI DWORD WINAPI SysFileSeek(int hFile, LONG lOffset, int nOrigin, LONG *plNewPos);
ZEMSYSAPI DWORD WINAPI SysFileWrite(int hFile, const void *pvData, DWORD cbData, DWORD *pcbWritten);
ZEMSYSAPI DWORD WINAPI SysFileClose(int *phFile);

// Today's date and the time of day (local time) as opaque 32-bit values, and
// their texts: "YYYY-MM-DD" and "HH:MM:SS", fixed width, under 12 characters;
// "????-??-??" and "??:??:??" for a value that does not decode. pszBuffer needs
// 12 bytes; the result is the text length (0 for a null buffer). The second
// date, the style and the flags do not change the text.
ZEMSYSAPI void WINAPI SysGetDate(DWORD *pdwDate);
ZEMSYSAPI int WINAPI SysFormatDate(DWORD dwDate, DWORD dwDate2, char *pszBuffer, int nStyle, int nFlags);
ZEMSYSAPI void WINAPI SysGetTime(DWORD *pdwTime);
ZEMSYSAPI int WINAPI SysFormatTime(DWORD dwTime, char *pszBuffer, DWORD dwFlags);

#endif  // ZEM_ZEMSYS_H
