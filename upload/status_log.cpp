// The status log store: lines kept in the record's own array, grown by 100
// slots at a time.
//
// In an asynchronous run lines arrive from the caller's thread and from the
// internet library's callback thread. The record must stay plain (its layout
// is an interface), so the store keeps a lock of its own, outside the record,
// around every change and every reading of the array.
#include "upload/status_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "upload/record_fields.h"

namespace zem::upload {
namespace {

constexpr int kGrowBy = 100;
constexpr size_t kLongestBuffer = SC_MSG_SIZE;

std::mutex &StoreLock() {
  static std::mutex lock;
  return lock;
}

// Makes room for one more line. When the new array cannot be allocated the
// old one is kept as it is, so the lines held are neither lost nor read
// through a missing array; the new line is refused.
bool MakeRoom(REQUEST_CONTEXT *ctx) {
  const int nLines = ctx->nStatusLines;
  char **ppszOld = ctx->ppszStatusLines;
  if (nLines < 0) return false;
  if (nLines != 0 && nLines % kGrowBy != 0 && ppszOld != nullptr && nLines < ctx->nStatusCapacity) return true;
  const long long nCapacity = static_cast<long long>(ctx->nStatusCapacity) + kGrowBy;
  if (nCapacity < nLines + 1 || nCapacity > 0x7FFFFFFF / static_cast<long long>(sizeof(char *))) return false;
  char **ppszNew = nullptr;
  if (ZemMemAlloc(&ppszNew, static_cast<DWORD>(nCapacity * sizeof(char *))) != 0) return false;
  if (ppszOld != nullptr && nLines > 0) std::memcpy(ppszNew, ppszOld, static_cast<size_t>(nLines) * sizeof(char *));
  ZemMemFree(&ppszOld);
  ctx->ppszStatusLines = ppszNew;
  ctx->nStatusCapacity = static_cast<int>(nCapacity);
  return true;
}

}  // namespace

int AddStatusLine(REQUEST_CONTEXT *ctx, const char *pszText) {
  if (ctx == nullptr || pszText == nullptr || pszText[0] == '\0') return 0;
  char *pszCopy = nullptr;
  SysStrAssign(&pszCopy, pszText);
  if (pszCopy == nullptr) return 0;
  {
    std::lock_guard<std::mutex> hold(StoreLock());
    // After "Closing" the log takes no more lines.
    if (ctx->nStep <= SC_STEP_CLOSING && MakeRoom(ctx)) {
      const int nLine = ctx->nStatusLines;
      ctx->ppszStatusLines[nLine] = pszCopy;
      ctx->nStatusLines = nLine + 1;
      return 1;
    }
  }
  ZemMemFree(&pszCopy);
  return 0;
}

int AddStatusLinef(REQUEST_CONTEXT *ctx, size_t cbBuffer, const char *pszFormat, ...) {
  char szLine[kLongestBuffer];
  if (cbBuffer > sizeof szLine) cbBuffer = sizeof szLine;
  va_list args;
  va_start(args, pszFormat);
  std::vsnprintf(szLine, cbBuffer, pszFormat, args);
  va_end(args);
  return AddStatusLine(ctx, szLine);
}

void ClearStatusLog(REQUEST_CONTEXT *ctx) {
  if (ctx == nullptr) return;
  std::lock_guard<std::mutex> hold(StoreLock());
  char **ppszLines = ctx->ppszStatusLines;
  if (ppszLines != nullptr) {
    for (int i = 0; i < ctx->nStatusLines; ++i) ZemMemFree(&ppszLines[i]);
  }
  ctx->ppszStatusLines = Released(ppszLines);
  ctx->nStatusLines = 0;
}

int CopyStatusLine(REQUEST_CONTEXT *ctx, int nLine, char *pszBuffer, int cchMax) {
  if (ctx == nullptr || pszBuffer == nullptr) return 0;
  std::lock_guard<std::mutex> hold(StoreLock());
  char **ppszLines = ctx->ppszStatusLines;
  if (ppszLines == nullptr || nLine < 0 || nLine >= ctx->nStatusLines || ppszLines[nLine] == nullptr) return 0;
  SysStrCopyN(pszBuffer, ppszLines[nLine], cchMax);
  return 1;
}

void VisitStatusLines(REQUEST_CONTEXT *ctx, const std::function<void(const char *)> &visit) {
  if (ctx == nullptr) return;
  std::lock_guard<std::mutex> hold(StoreLock());
  char **ppszLines = ctx->ppszStatusLines;
  if (ppszLines == nullptr) return;
  for (int i = 0; i < ctx->nStatusLines; ++i) visit(ppszLines[i]);
}

}  // namespace zem::upload
