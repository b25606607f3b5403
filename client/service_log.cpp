// The in-memory service log: bounded line store, its growth and freeze rules,
// and reading lines back.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "client/log_lines.h"
#include "client/usable_str.h"

namespace {

constexpr DWORD kScratchSize = 4096;  // bytes of pszMsg

}  // namespace

void CZemHttp::LogPrintf(const char *pszFormat, ...) {
  // A line is built only when somebody can see it: the log keeps it, or a
  // status procedure may be handed the scratch text it is built in. Building
  // every line of every request costs a small request a good part of its time.
  if (!zem::LogLineSeen(*this)) return;
  // Without a scratch text (its allocation failed) the line is still built,
  // in a buffer of the same size, so logging never writes through null.
  char szLocal[kScratchSize];
  char *pszLine = pszMsg != nullptr ? pszMsg : szLocal;
  va_list args;
  va_start(args, pszFormat);
  std::vsnprintf(pszLine, kScratchSize, pszFormat, args);
  va_end(args);
  StoreLogLine(pszLine, false);
}

int CZemHttp::EnableLogging(int nMaxLines, int nFirstAlloc, int nGrowBy) {
  if (nLogLines == 0) {
    nLogMaxLines = nMaxLines;
    nLogCapacity = 0;
    int nResult = 1;
    if (nFirstAlloc != 0) {
      nLogGrowBy = nFirstAlloc;
      nResult = AllocLogLines();
    }
    nLogGrowBy = nGrowBy;
    return nResult;
  }
  if (nMaxLines == 0) {
    DeleteLogLines();
  } else if (nMaxLines < nLogLines) {
    // Freeze: the lines held stay, nothing more is kept.
    nLogGrowBy = 0;
    nLogCapacity = nLogLines;
    nLogMaxLines = nLogLines;
  } else if (nMaxLines >= nLogMaxLines) {
    if (nGrowBy == 0) {
      // The next line finds no free slot and may not grow: logging stops.
      nLogCapacity = nLogLines;
    } else {
      nLogMaxLines = nMaxLines;
    }
    nLogGrowBy = nGrowBy;
  }
  return 1;
}

int CZemHttp::LogAddLine(const char *pszText) { return StoreLogLine(pszText, true); }

int CZemHttp::StoreLogLine(const char *pszText, bool bProbe) {
  int ok = nLogMaxLines > nLogLines ? 1 : 0;
  if (ok && nLogLines >= nLogCapacity) ok = AllocLogLines();
  if (!ok) return 0;
  // A caller's text that cannot be read is dropped and reported rather than
  // copied; a line that would be dropped anyway is not looked at. Null is an
  // empty line (the support library's rule).
  if (bProbe && pszText != nullptr && IsBadStringPtrA(pszText, static_cast<UINT_PTR>(-1))) {
    SetAccessError("CZemHttp::LogAddLine - text not readable, error#: %d");
    return 0;
  }
  char *pszLine = nullptr;
  SysStrAssign(&pszLine, pszText);
  // A line that could not be copied is not counted: a null slot among the
  // lines held would hide the lines after it from the release.
  if (pszLine == nullptr) return 0;
  ppszLogLines[nLogLines++] = pszLine;
  return 1;
}

int CZemHttp::AllocLogLines() {
  if (nLogMaxLines <= 0 || nLogGrowBy <= 0 || nLogCapacity >= nLogMaxLines) return 0;
  const int nOldCapacity = nLogCapacity;
  long long nNew = static_cast<long long>(nLogCapacity) + nLogGrowBy;
  if (nNew > nLogMaxLines) {
    nNew = nLogMaxLines;
    nLogGrowBy = 0;
  }
  nLogCapacity = static_cast<int>(nNew);
  char **ppszNew = nullptr;
  const unsigned long long cbNew = static_cast<unsigned long long>(nNew) * sizeof(char *);
  DWORD status = cbNew > 0xFFFFFFF0ULL ? ERROR_NOT_ENOUGH_MEMORY
                                       : ZemMemAlloc(&ppszNew, static_cast<DWORD>(cbNew));
  if (status != 0) {
    nLogCapacity = nOldCapacity;
    SetLastError(status);
    // SetError logs its line, which would ask for this same growth again:
    // growth is held off meanwhile, so that line is simply dropped.
    const int nGrowBy = nLogGrowBy;
    nLogGrowBy = 0;
    SetError(static_cast<int>(GetLastError()), "CZemHttp::AllocLogLines OS exception error: %d", 87);
    nLogGrowBy = nGrowBy;
    return 0;
  }
  if (ppszLogLines != nullptr && nLogLines > 0) {
    std::memcpy(ppszNew, ppszLogLines, static_cast<size_t>(nLogLines) * sizeof(char *));
  }
  ZemMemFree(&ppszLogLines);
  ppszLogLines = ppszNew;
  return 1;
}

int CZemHttp::DeleteLogLines() {
  if (ppszLogLines != nullptr) {
    for (int i = 0; i < nLogLines; ++i) ZemMemFree(&ppszLogLines[i]);
    ZemMemFree(&ppszLogLines);
  }
  nLogLines = 0;
  nLogGrowBy = 0;
  nLogCapacity = 0;
  nLogMaxLines = 0;
  return 1;
}

int CZemHttp::GetDbgLineCount() { return nLogLines; }

int CZemHttp::GetDebugLine(char *pszBuffer, int nLine, int nMax) {
  if (nLine < 1 || nLine > nLogLines) return 0;
  const char *pszLine = ppszLogLines[nLine - 1];
  const int nLength = pszLine != nullptr ? static_cast<int>(std::strlen(pszLine)) : 0;
  if (nLength > 0 && pszBuffer != nullptr) {
    // nMax 0 (or a meaningless negative count) copies the whole line.
    const int nCopy = nMax > 0 && nMax < nLength ? nMax : nLength;
    if (IsBadWritePtr(pszBuffer, static_cast<UINT_PTR>(nCopy) + 1)) {
      SetAccessError("CZemHttp::GetDebugLine - buffer not writable, error#: %d");
      return 0;
    }
    SysStrCopyN(pszBuffer, pszLine, nCopy);
  }
  return nLength;
}

int CZemHttp::GetDebugBuffer(char *pszBuffer) {
  size_t cbTotal = 0;
  for (int i = 0; i < nLogLines; ++i) {
    if (zem::IsUsableStr(ppszLogLines[i])) cbTotal += std::strlen(ppszLogLines[i]) + 2;
  }
  if (pszBuffer == nullptr) return static_cast<int>(cbTotal);
  // The lines are appended to the caller's text: the probe covers that text,
  // everything appended and the terminator.
  if (IsBadStringPtrA(pszBuffer, static_cast<UINT_PTR>(-1)) ||
      IsBadWritePtr(pszBuffer, std::strlen(pszBuffer) + cbTotal + 1)) {
    SetAccessError("CZemHttp::GetDebugBuffer - buffer not writable, error#: %d");
    return 0;
  }
  char *pszEnd = pszBuffer + std::strlen(pszBuffer);
  for (int i = 0; i < nLogLines; ++i) {
    const char *pszLine = ppszLogLines[i];
    if (!zem::IsUsableStr(pszLine)) continue;
    const size_t cch = std::strlen(pszLine);
    std::memcpy(pszEnd, pszLine, cch);
    pszEnd += cch;
    *pszEnd++ = '\r';
    *pszEnd++ = '\n';
  }
  *pszEnd = '\0';
  return static_cast<int>(cbTotal);
}
