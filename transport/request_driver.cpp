// The request driver and the dispatch of notifications to the caller's two
// procedures.
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "client/log_lines.h"
#include "config/caller_text.h"
#include "transport/transport_support.h"

namespace {

constexpr DWORD kContentLengthNumber = HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER;
constexpr int kBothTargets = NOTIFY_TO_RESULT | NOTIFY_TO_STATUS;
// Codes whose status text is the last error text rather than the scratch text.
constexpr int kErrorTextCodes = 0xAC;

// The time of day as the support library prints it, taken fresh for each
// line that anybody will see (the clock is not read for a line not built).
struct TimeText {
  explicit TimeText(const CZemHttp &http) {
    if (!zem::LogLineSeen(http)) return;
    DWORD dwTime = 0;
    SysGetTime(&dwTime);
    SysFormatTime(dwTime, sz, 0x2222);
  }
  char sz[32] = "";
};

}  // namespace

int CZemHttp::InternetRun() {
  LogPrintf("CZemHttp::InternetRun() - Opening Internet");
  // Every run is synchronous: the driver waits in the library's calls.
  dwInetFlags &= ~static_cast<DWORD>(INTERNET_FLAG_ASYNC);
  dwStatusCode = 0;
  HINTERNET hInternet = OpenInternet(nullptr);
  if (hInternet == nullptr) {
    LogPrintf("CZemHttp::InternetRun() - Opening Internet failed");
    return 0;
  }
  LogPrintf("Attempting to connect at %s", TimeText(*this).sz);
  InternetMakeConnection(hInternet);
  if (hConnect == nullptr) {
    LogPrintf("Attempt failed. Time=%s WinError=%d InternetError=%d", TimeText(*this).sz, static_cast<int>(dwLastOSError),
              static_cast<int>(dwLastInetError));
    return 0;
  }
  LogPrintf("Connected at %s", TimeText(*this).sz);
  Notify(NOTIFY_PROGRESS, kBothTargets, 9);

  const DWORD dwSavedReleaseMode = dwHandleReleaseMode;
  DWORD nAttempts = 0;
  DWORD dwCode = 0;
  for (;;) {
    ++nAttempts;
    if (SendRequest(pszObjectName) == 0) return 0;
    dwCode = GetHttpStatusCode();
    if (dwCode >= 100 && dwCode <= 199) {
      // An interim answer: the next send needs a request handle of its own.
      dwHandleReleaseMode |= 1;
      if (nAttempts < dwMaxRetries) continue;
      return 0;
    }
    if (dwCode >= 200 && dwCode <= 600) break;
    return 0;
  }

  int nResult = 1;
  dwHandleReleaseMode = dwSavedReleaseMode;
  LogPrintf("Response received %s, status code %d", TimeText(*this).sz, static_cast<int>(dwCode));

  DWORD dwLength = 0;
  GetHttpResponseHeaders(reinterpret_cast<void **>(&dwLength), kContentLengthNumber);
  if (dwLength != 0) {
    // Sizes the first download buffer.
    cbResponse = dwLength;
    zem::PutMsg(*this, "Response length %d bytes", static_cast<int>(dwLength));
  } else {
    zem::PutMsg(*this, "Response size could not be determined by calling HttpQueryInfo.");
  }
  Notify(NOTIFY_STATUS_TEXT, NOTIFY_TO_STATUS, zem::MsgValue(*this));

  const DWORD cbHeaders =
      GetHttpResponseHeaders(reinterpret_cast<void **>(&pvResponseHeaders), HTTP_QUERY_RAW_HEADERS_CRLF);
  if (cbHeaders != 0 && pvResponseHeaders != nullptr) {
    // The text just stored is a block of this object's own, terminated
    // within its size: it needs no probe.
    cbResponseHeaders = static_cast<DWORD>(strnlen(pvResponseHeaders, ZemMemSize(pvResponseHeaders)));
  } else if (!zem::IsFaultingStr(pvResponseHeaders) && zem::IsUsableStr(pvResponseHeaders)) {
    cbResponseHeaders = static_cast<DWORD>(lstrlenA(pvResponseHeaders));
  }

  if (DataDump() != 0) {
    zem::PutMsg(*this, "Response downloaded %d bytes", static_cast<int>(cbResponse));
    Notify(NOTIFY_COMPLETE, kBothTargets, 0);
  } else {
    nResult = 0;
  }
  return nResult;
}

void CZemHttp::Notify(int nCode, int nTargets, INT_PTR nValue) {
  // The connection number travels as the int it is documented as.
  const INT_PTR nConnection = static_cast<int>(uConnection);
  if (pfnNotifyResult != nullptr && (nTargets & NOTIFY_TO_RESULT) != 0 && (nCode & NOTIFY_STATUS_TEXT) == 0) {
    pfnNotifyResult(pvNotifyResultData, nCode, nConnection, nValue);
  }
  if (pfnNotifyStatus == nullptr || (nTargets & NOTIFY_TO_STATUS) == 0) return;
  const char *pszText;
  if (nTargets == NOTIFY_TO_STATUS && nValue > NOTIFY_STATUS_TEXT) {
    pszText = reinterpret_cast<const char *>(nValue);
    // A value handed in by a caller may not be a text at all.
    if (zem::IsUnreadableStr(pszText)) return;
  } else if ((nCode & kErrorTextCodes) != 0) {
    pszText = szLastError;
  } else {
    pszText = pszMsg;
  }
  if (zem::IsUsableStr(pszText)) pfnNotifyStatus(pvNotifyStatusData, NOTIFY_STATUS_TEXT, nConnection, zem::TextValue(pszText));
}
