// The status display: step and result names, the progress window's two
// controls, and the status log lines of progress and of errors.
#include "upload/status_display.h"

#include <cstdio>
#include <cstring>

#include "ZemSys.h"
#include "upload/status_log.h"

namespace zem::upload {
namespace {

const char *const kStepNames[] = {
    "Initialization", "Opening Task", "Create Records", "Internet Open", "Internet Connect",
    "Internet Open Request", "Sending Request", "Retry Sending Request Retry", "Receiving Header",
    "Receiving Data", "Write Data", "Closing", "Closed",
};

const char *const kResultNames[] = {
    "Not Started", "Initialized", "Started", "Processing", "Timed Out", "Bad Password",
    "Expired Password", "Need Forced Logout", "System Timed Out", "System Partial", "Success", "Failed",
};

constexpr size_t kLineSize = 80;

template <size_t N>
const char *NameOf(const char *const (&names)[N], int n) {
  return n >= 0 && static_cast<size_t>(n) < N ? names[n] : "";
}

// Appends a text to the line, padded with blanks to nWidth characters.
void Append(char (&szLine)[kLineSize], const char *pszText, size_t nWidth = 0) {
  size_t n = std::strlen(szLine);
  for (const char *p = pszText; *p != '\0' && n + 1 < kLineSize; ++p) szLine[n++] = *p;
  for (size_t nText = std::strlen(pszText); nText < nWidth && n + 1 < kLineSize; ++nText) szLine[n++] = ' ';
  szLine[n] = '\0';
}

// Error mode: an error equal to the last one logged is only counted; the
// count is written once a different error comes.
void LogError(REQUEST_CONTEXT *ctx, DWORD dwError) {
  if (dwError == ctx->dwLastStatusError) {
    ctx->nStatusErrorRepeats = ctx->nStatusErrorRepeats + 1;
    return;
  }
  if (ctx->nStatusErrorRepeats != 0) {
    AddStatusLinef(ctx, SC_MSG_SIZE, "-- Error %d, Occurred %d Times", static_cast<int>(ctx->dwLastStatusError),
                   ctx->nStatusErrorRepeats);
    ctx->nStatusErrorRepeats = 0;
  }
  char *pszMsg = ctx->pszMsg;
  std::snprintf(pszMsg, SC_MSG_SIZE, "-- %s", SysErrorText(dwError, 1));
  if (char *pszReturn = std::strchr(pszMsg, '\r')) *pszReturn = '\0';
  ctx->dwLastStatusError = dwError;
  AddStatusLine(ctx, pszMsg);
}

}  // namespace

const char *StepName(int nStep) { return NameOf(kStepNames, nStep); }
const char *ResultName(int nResult) { return NameOf(kResultNames, nResult); }

void DateText(char (&szDate)[9]) {
  DWORD dwDate = 0;
  char szIso[16] = "";
  SysGetDate(&dwDate);
  SysFormatDate(dwDate, 0, szIso, 0, 0);
  // "YYYY-MM-DD" -> "MM/DD/YY"
  if (std::strlen(szIso) != 10) std::memset(szIso, '?', 10);
  const char szShort[9] = {szIso[5], szIso[6], '/', szIso[8], szIso[9], '/', szIso[2], szIso[3], '\0'};
  std::memcpy(szDate, szShort, sizeof szShort);
}

void TimeText(char (&szTime)[9]) {
  DWORD dwTime = 0;
  char szText[16] = "";
  SysGetTime(&dwTime);
  SysFormatTime(dwTime, szText, 0);
  SysStrCopyN(szTime, szText, 8);
}

void StatusDisplay(REQUEST_CONTEXT *ctx, int nMode) {
  if (ctx == nullptr || ctx->pszMsg == nullptr) return;
  const DWORD dwCallerError = GetLastError();
  char szLine[kLineSize] = "";
  if (nMode & kShowDate) {
    char szDate[9];
    DateText(szDate);
    Append(szLine, szDate, 9);
  }
  if (nMode & kShowTime) {
    char szTime[9];
    TimeText(szTime);
    Append(szLine, szTime, 9);
  }
  const HWND hWnd = ctx->hWnd;
  if (nMode & kShowStep) {
    const char *pszStep = StepName(ctx->nStep);
    Append(szLine, pszStep);
    SetDlgItemTextA(hWnd, kStepTextControl, pszStep);
  }
  if (nMode & kShowResult) {
    char szResult[kLineSize] = "";
    if (nMode == kShowResult) Append(szResult, "-- ");
    Append(szResult, ResultName(ctx->nResult));
    Append(szLine, szResult);
    SetDlgItemTextA(hWnd, kResultTextControl, szResult);
  }
  if (nMode & kShowError) {
    LogError(ctx, dwCallerError);
  } else {
    AddStatusLine(ctx, szLine);
  }
  SetLastError(dwCallerError);
}

void ShowStep(REQUEST_CONTEXT *ctx, int nStep, int nResult) {
  ctx->nStep = nStep;
  ctx->nResult = nResult;
  StatusDisplay(ctx, kShowTimeAndStep);
  StatusDisplay(ctx, kShowResult);
}

}  // namespace zem::upload
