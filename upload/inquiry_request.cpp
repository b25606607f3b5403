// The request of a task: connect, open, headers, send, status code, headers
// and data of the answer, and its outcome class. Both run modes use these
// routines; in an asynchronous run the status callback drives them.
#include "upload/inquiry_request.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "upload/internet_open.h"
#include "upload/record_fields.h"
#include "upload/run_gate.h"
#include "upload/status_display.h"
#include "upload/status_log.h"
#include "upload/task_list.h"
#include "upload/task_record.h"

namespace zem::upload {
namespace {

constexpr size_t kLineSize = SC_MSG_SIZE;
constexpr size_t kHeaderLineSize = 256;
constexpr DWORD kAddOrReplace = HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE;
constexpr DWORD kFirstCapacity = 2048;  // download buffer when no length was announced
constexpr int kSleepingWaits = 10;      // pending answers waited for with a sleep
constexpr int kReadPendingLimit = 2000;  // pending answers of one read, at most
constexpr DWORD kPendingSliceMs = 20;    // checks for the close while a query is pending
constexpr int kStatusPasses = 3;
constexpr DWORD kPassWaitMs = 300;

// The server's last text after a failed call, as a line; the caller's last
// error is kept.
void LogResponseText(REQUEST_CONTEXT *ctx) {
  const DWORD dwError = GetLastError();
  DWORD dwCode = 0;
  char szText[256];
  DWORD cchText = sizeof szText;
  if (InternetGetLastResponseInfoA(&dwCode, szText, &cchText)) {
    szText[sizeof szText - 1] = '\0';
    AddStatusLine(ctx, szText);
  }
  SetLastError(dwError);
}

// One header for the request. Its log line hides a password: after the word
// "PASSWORD" and the character that follows it, everything is shown as "*".
BOOL AddHeader(REQUEST_CONTEXT *ctx, const char *pszHeader) {
  char szLine[kHeaderLineSize];
  std::snprintf(szLine, sizeof szLine, "-- HttpAddRequestHeaders(%s)", pszHeader);
  if (char *pszWord = std::strstr(szLine, "PASSWORD")) {
    char *pszAfter = pszWord + std::strlen("PASSWORD");
    if (*pszAfter != '\0') {
      for (char *p = pszAfter + 1; *p != '\0'; ++p) *p = '*';
    }
  }
  AddStatusLine(ctx, szLine);
  const BOOL bAdded = HttpAddRequestHeadersA(ctx->hRequest, pszHeader, static_cast<DWORD>(std::strlen(pszHeader)),
                                             kAddOrReplace);
  if (!bAdded) AddStatusLinef(ctx, kLineSize, "--  HttpAddRequestHdr failed, error %d", static_cast<int>(GetLastError()));
  return bAdded;
}

bool AsksToWait(DWORD dwStatus) {
  return dwStatus == 0 || dwStatus == HTTP_STATUS_CONTINUE || dwStatus == HTTP_STATUS_ACCEPTED ||
         dwStatus == HTTP_STATUS_AMBIGUOUS || dwStatus == HTTP_STATUS_REDIRECT;
}

bool QueryNumber(HINTERNET hRequest, DWORD dwLevel, DWORD *pdwValue) {
  DWORD dwValue = 0, cbValue = sizeof dwValue;
  if (!HttpQueryInfoA(hRequest, dwLevel | HTTP_QUERY_FLAG_NUMBER, &dwValue, &cbValue, nullptr)) return false;
  *pdwValue = dwValue;
  return true;
}

// The raw header text, or null: with *pbFailed set for a failure other than a
// missing header (its error is the last error), the missing header logged.
char *QueryRawHeaders(HINTERNET hRequest, REQUEST_CONTEXT *ctx, DWORD *pcbHeaders, bool *pbFailed) {
  char *pszHeaders = nullptr;
  DWORD dwError = ERROR_INSUFFICIENT_BUFFER;
  // Two rounds are enough (size, then text); a few more cover headers that
  // grew in between.
  for (int nTry = 0; nTry < 4 && dwError == ERROR_INSUFFICIENT_BUFFER; ++nTry) {
    const DWORD cbBuffer = ZemMemSize(pszHeaders);
    DWORD cbHeaders = cbBuffer;
    if (HttpQueryInfoA(hRequest, HTTP_QUERY_RAW_HEADERS_CRLF, pszHeaders, &cbHeaders, nullptr)) {
      if (pszHeaders == nullptr) {
        dwError = ERROR_INVALID_DATA;
        break;
      }
      *pcbHeaders = cbHeaders < cbBuffer ? cbHeaders : cbBuffer - 1;
      return pszHeaders;
    }
    dwError = GetLastError();
    if (dwError == ERROR_INSUFFICIENT_BUFFER) {
      ZemMemFree(&pszHeaders);
      if (cbHeaders >= 0xFFFFFFF0u || ZemMemAlloc(&pszHeaders, cbHeaders + 1) != 0) dwError = ERROR_NOT_ENOUGH_MEMORY;
    }
  }
  ZemMemFree(&pszHeaders);
  if (dwError == ERROR_HTTP_HEADER_NOT_FOUND) {
    AddStatusLinef(ctx, kLineSize, "-- ERROR_HTTP_HEADER_NOT_FOUND (#%d)", static_cast<int>(dwError));
  } else {
    *pbFailed = true;
  }
  SetLastError(dwError);
  return nullptr;
}

// Where a download's query writes the bytes available.
struct CountSlot {
  DWORD *pcb = new DWORD(0);
  bool bLeftToLibrary = false;  // a query it gave up on may still write there
  CountSlot() = default;
  ~CountSlot() {
    if (!bLeftToLibrary) delete pcb;
  }
  CountSlot(const CountSlot &) = delete;
  CountSlot &operator=(const CountSlot &) = delete;
};

// Waits with the gate open until the pending query of the download ended
// (true) or the run's handles were closed (the time-out, the caller's
// Cancel).
bool QueryEnded(RunGateHold &hold, const REQUEST_CONTEXT *ctx, HINTERNET hRequest) {
  while (!hold.CompletionArrived()) {
    if (ctx->hRequest != hRequest || ctx->bClosed) return false;
    RunGateHold::Opening opening(hold);
    SleepEx(kPendingSliceMs, TRUE);
  }
  return true;
}

// The download loop of DataDump: appends to the working block, growing it to
// twice what it must hold. Returns the bytes held; *ppbWork may be replaced.
//
// In an asynchronous run the gate of the run is let go while the loop waits
// on the network, so that the upload window can close the handles at its
// time-out or the caller's Cancel; the waiting call then fails at once. The
// run's time-out is what bounds the wait for a server that sends slowly or
// not at all.
//
// A query that the internet library finishes later (ERROR_IO_PENDING) is not
// asked again: the library writes the count when it ends and reports that to
// the status callback, which hands the report over. Until then the loop waits
// with the gate open; when the run's handles close first, the download is
// cancelled. The count's slot outlives the loop then, as the library may
// still write there.
DWORD DownloadInto(HINTERNET hRequest, REQUEST_CONTEXT *ctx, char **ppbWork) {
  RunGateHold hold(ctx);
  CountSlot slot;
  DWORD cbHeld = 0;
  int nWaits = 0;
  for (;;) {
    DWORD &cbAvailable = *slot.pcb;
    cbAvailable = 0;
    SetLastError(0);
    for (;;) {
      BOOL bAvailable;
      DWORD dwError = 0;
      hold.AwaitCompletion(true);
      {
        // The error is taken before the gate is taken back: waiting for the
        // gate may change the thread's last error.
        RunGateHold::Opening opening(hold);
        bAvailable = InternetQueryDataAvailable(hRequest, &cbAvailable, 0, 0);
        if (!bAvailable) dwError = GetLastError();
      }
      if (dwError == ERROR_IO_PENDING && hold.entered()) {
        if (QueryEnded(hold, ctx, hRequest)) break;
        slot.bLeftToLibrary = true;
        dwError = ERROR_INTERNET_OPERATION_CANCELLED;
      }
      hold.AwaitCompletion(false);
      if (bAvailable) break;
      if (dwError != ERROR_IO_PENDING) {
        AddStatusLinef(ctx, kLineSize, "Error %d encountered by InternetQueryDataAvailable", static_cast<int>(dwError));
        ctx->nResult = SC_RESULT_FAILED;
        return cbHeld;
      }
      if (nWaits++ < kSleepingWaits) SleepEx(10, TRUE);
      cbAvailable = 0;
    }
    if (cbAvailable == 0) return cbHeld;
    const unsigned long long cbNeeded = static_cast<unsigned long long>(cbHeld) + cbAvailable;
    if (cbNeeded > ZemMemSize(*ppbWork)) {
      char *pbNew = nullptr;
      if (cbNeeded * 2 >= 0xFFFFFFF0ull || ZemMemAlloc(&pbNew, static_cast<DWORD>(cbNeeded * 2)) != 0) {
        throw std::bad_alloc();
      }
      std::memcpy(pbNew, *ppbWork, cbHeld);
      ZemMemFree(ppbWork);
      *ppbWork = pbNew;
    }
    DWORD cbRead = 0;
    BOOL bRead = FALSE;
    DWORD dwError = 0;
    {
      RunGateHold::Opening opening(hold);
      bRead = InternetReadFile(hRequest, *ppbWork + cbHeld, cbAvailable, &cbRead);
      if (!bRead) dwError = GetLastError();
      for (int nRetry = 0; !bRead && dwError == ERROR_IO_PENDING && nRetry < kReadPendingLimit; ++nRetry) {
        cbRead = 0;
        bRead = InternetReadFile(hRequest, *ppbWork + cbHeld, cbAvailable, &cbRead);
        if (!bRead) dwError = GetLastError();
      }
    }
    if (!bRead) {
      nWaits = 0;
      if (dwError != ERROR_IO_PENDING) {
        AddStatusLinef(ctx, kLineSize, "-- Error %d encountered by InternetReadFile", static_cast<int>(dwError));
        ctx->nResult = SC_RESULT_FAILED;
        return cbHeld;
      }
    }
    if (cbRead > cbAvailable) cbRead = cbAvailable;
    if (cbRead != 0) {
      AddStatusLinef(ctx, kLineSize, "-- Downloaded %d of %d", static_cast<int>(cbRead), static_cast<int>(cbAvailable));
      cbHeld += cbRead;
    }
  }
}

}  // namespace

HINTERNET ConnectTask(REQUEST_CONTEXT *ctx) {
  ShowStep(ctx, SC_STEP_INTERNET_CONNECT, SC_RESULT_STARTED);
  HINTERNET hConnect = nullptr;
  const HINTERNET hInternet = ctx->hInternet;
  if (hInternet != nullptr && !RefusedForTheHead({ctx->pszHostName, ctx->pszUserName, ctx->pszPassword})) {
    const DWORD_PTR dwContext = ctx->bAsync ? reinterpret_cast<DWORD_PTR>(ctx) : 0;
    hConnect = InternetConnectA(hInternet, ctx->pszHostName, ctx->nPort, ctx->pszUserName, ctx->pszPassword,
                                ctx->dwService, ctx->dwInetFlags, dwContext);
  }
  if (hConnect == nullptr) {
    const DWORD dwError = GetLastError();
    if (dwError != 0 && dwError != ERROR_IO_PENDING) {
      LogResponseText(ctx);
      ctx->nResult = SC_RESULT_FAILED;
      ctx->nStep = SC_STEP_CLOSING;
      StatusDisplay(ctx, kShowResult);
    }
    StatusDisplay(ctx, kShowTime | kShowResult);
  }
  return hConnect;
}

int ScAsyncRunRequest(REQUEST_CONTEXT *ctx) { return ConnectTask(ctx) != nullptr ? 1 : 0; }

void OpenRequest(REQUEST_CONTEXT *ctx) {
  if (HINTERNET hOld = ctx->hRequest) {
    InternetCloseHandle(hOld);
    ctx->hRequest = nullptr;
  }
  const char *pszObject = EqualsNoCase(ctx->szVerb, "PUT") ? ctx->pszFileName : ctx->pszAppName;
  if (!IsUsableStr(pszObject)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return;
  }
  HINTERNET hRequest = nullptr;
  if (!RefusedForTheHead({ctx->szVerb, ctx->szHttpVersion, ctx->szUserAgent})) {
    hRequest = HttpOpenRequestA(ctx->hConnect, ctx->szVerb, pszObject, ctx->szHttpVersion, ctx->szUserAgent, nullptr,
                                ctx->dwHttpFlags, reinterpret_cast<DWORD_PTR>(ctx));
  }
  ctx->hRequest = hRequest;
  const char *pszCfg = ctx->pszProxyCfg;
  const bool bNamedProxy = IsUsableStr(pszCfg) && (std::strpbrk(pszCfg, "M3") != nullptr);
  if (bNamedProxy && hRequest != nullptr && IsUsableStr(ctx->pszProxyUser)) {
    ctx->chAccessType = '3';
    const int nChecked = AccessCheck(ctx);
    AddStatusLinef(ctx, kLineSize, "-- Setting Proxy Server access parameters %s", ResultWord(nChecked != 0));
  }
}

BOOL SendInquiryRecord(REQUEST_CONTEXT *ctx) {
  if (ctx->hConnect != nullptr && ctx->hRequest == nullptr) {
    AddStatusLine(ctx, "-- Creating HTTP Request handle");
    ShowStep(ctx, SC_STEP_OPEN_REQUEST, SC_RESULT_STARTED);
    OpenRequest(ctx);
  }
  AddStatusLine(ctx, "-- SendInquiryRecord() - Started");
  if (char **ppszHeaders = ctx->ppszHeaders) {
    for (int i = 0; i < SC_HEADER_SLOTS && ppszHeaders[i] != nullptr; ++i) AddHeader(ctx, ppszHeaders[i]);
  }
  const DWORD cbData = SendableLength(ctx);
  if (EqualsNoCase(ctx->szVerb, "POST")) {
    char szLength[32];
    std::snprintf(szLength, sizeof szLength, "Content-length: %d", static_cast<int>(cbData));
    if (char *pszMsg = ctx->pszMsg) SysStrCopyN(pszMsg, szLength, SC_MSG_SIZE - 1);
    AddHeader(ctx, szLength);
    AddHeader(ctx, "Cache-control: no-cache");
  }
  const BOOL bSent = HttpSendRequestA(ctx->hRequest, nullptr, 0, cbData != 0 ? ctx->pvRequestData : nullptr, cbData);
  if (!bSent) {
    const DWORD dwError = GetLastError();
    if (dwError != ERROR_IO_PENDING) {
      ctx->nResult = SC_RESULT_FAILED;
      ctx->nStep = SC_STEP_CLOSING;
      StatusDisplay(ctx, kShowError);
      NotifyTask(ctx, NOTIFY_ERROR, static_cast<INT_PTR>(dwError));
      SetLastError(dwError);
      return FALSE;
    }
  }
  AddStatusLine(ctx, "-- SendInquiryRecord() - Done");
  NotifyTask(ctx, NOTIFY_PROGRESS, SC_STEP_RECEIVING_HEADER);
  if (!bSent) SetLastError(ERROR_IO_PENDING);
  return bSent;
}

DWORD StatusCodePasses(REQUEST_CONTEXT *ctx) {
  if (ctx == nullptr || ctx->hRequest == nullptr) return 0;
  AddStatusLine(ctx, "-- Getting internet status code.");
  DWORD dwStatus = 0;
  for (unsigned nPass = 0; nPass < kStatusPasses; ++nPass) {
    AddStatusLinef(ctx, kLineSize, "-- Checking Status Code (Pass %u)", nPass);
    DWORD dwCode = 0;
    if (QueryNumber(ctx->hRequest, HTTP_QUERY_STATUS_CODE, &dwCode)) {
      dwStatus = dwCode;
      AddStatusLinef(ctx, kLineSize, "-- Status Code Pass %u received", static_cast<unsigned>(dwCode));
      if (!AsksToWait(dwCode)) break;
      SleepEx(kPassWaitMs, FALSE);
    } else {
      AddStatusLinef(ctx, kLineSize, "-- HttpQueryInfo - error %u returned",
                     static_cast<unsigned>(GetLastError()));
    }
  }
  return dwStatus;
}

int ReadHeaders(HINTERNET hRequest, REQUEST_CONTEXT *ctx) {
  DWORD cbHeaders = 0;
  bool bFailed = false;
  char *pszHeaders = QueryRawHeaders(hRequest, ctx, &cbHeaders, &bFailed);
  if (pszHeaders == nullptr) {
    if (bFailed) {
      AddStatusLinef(ctx, kLineSize, "-- Error %d encountered", static_cast<int>(GetLastError()));
      ctx->nResult = SC_RESULT_FAILED;
      StatusDisplay(ctx, kShowResult);
    }
    return 0;
  }
  DWORD cbContent = 0;
  if (QueryNumber(hRequest, HTTP_QUERY_CONTENT_LENGTH, &cbContent)) {
    AddStatusLinef(ctx, kLineSize, "-- HTTP_QUERY_CONTENT_LENGTH = %d ", static_cast<int>(cbContent));
  } else {
    AddStatusLinef(ctx, kLineSize, "-- HttpQueryInfo error %d encountered", static_cast<int>(GetLastError()));
  }
  DWORD dwStatus = 0;
  if (QueryNumber(ctx->hRequest, HTTP_QUERY_STATUS_CODE, &dwStatus)) {
    AddStatusLinef(ctx, kLineSize, "-- HTTP_STATUS_CODE RECEIVED (%d) ", static_cast<int>(dwStatus));
    ctx->dwStatusCode = dwStatus;
  } else {
    AddStatusLinef(ctx, kLineSize, "-- HTTP_STATUS_CODE not received error #%d", static_cast<int>(GetLastError()));
  }
  ctx->pvRespHeaders = Released(ctx->pvRespHeaders);
  ctx->cbRespHeaders = 0;
  ctx->cbContentLength = 0;
  if (dwStatus > 0) {
    ctx->pvRespHeaders = pszHeaders;
    ctx->cbRespHeaders = cbHeaders;
    ctx->cbContentLength = cbContent;
    ShowStep(ctx, SC_STEP_RECEIVING_DATA, SC_RESULT_STARTED);
    return 1;
  }
  // Headers without a status code are kept apart for the report.
  ctx->pvTraceHeaders = Released(ctx->pvTraceHeaders);
  ctx->pvTraceHeaders = pszHeaders;
  ctx->cbTraceHeaders = cbHeaders;
  ctx->nResult = SC_RESULT_FAILED;
  StatusDisplay(ctx, kShowResult);
  return 0;
}

int DataDump(HINTERNET hRequest, REQUEST_CONTEXT *ctx) {
  char *pbWork = nullptr;
  DWORD cbHeld = 0;
  try {
    const unsigned long long cbFirst =
        ctx->cbContentLength != 0 ? 2ull * ctx->cbContentLength : static_cast<unsigned long long>(kFirstCapacity);
    if (cbFirst >= 0xFFFFFFF0ull || ZemMemAlloc(&pbWork, static_cast<DWORD>(cbFirst)) != 0) throw std::bad_alloc();
    AddStatusLine(ctx, "-- DataDump() Started ");
    cbHeld = DownloadInto(hRequest, ctx, &pbWork);
    if (cbHeld == 0) {
      AddStatusLine(ctx, "-- No Data Returned");
      ctx->nResult = SC_RESULT_FAILED;
    } else {
      ctx->nResult = SC_RESULT_SUCCESS;
      // One byte longer than the data, so that a text answer is terminated.
      char *pbAnswer = nullptr;
      if (ZemMemAlloc(&pbAnswer, cbHeld + 1) != 0) throw std::bad_alloc();
      std::memcpy(pbAnswer, pbWork, cbHeld);
      PublishResponse(ctx, pbAnswer, cbHeld);
      SetLastError(0);
    }
  } catch (...) {
    AddStatusLine(ctx, "-- Program exception in DataDump()");
    ctx->nResult = SC_RESULT_FAILED;
    StatusDisplay(ctx, kShowResult);
    cbHeld = 0;
  }
  ZemMemFree(&pbWork);
  ctx->nStep = SC_STEP_CLOSING;
  StatusDisplay(ctx, kShowTimeAndStep);
  StatusDisplay(ctx, kShowResult);
  ctx->bClosed = 0;
  return cbHeld != 0 ? 1 : 0;
}

void GetInquiryResult(REQUEST_CONTEXT *ctx) {
  bool bSuccess = false;
  if (ctx->pvRespHeaders != nullptr) {
    const DWORD dwStatus = ctx->dwStatusCode;
    if ((dwStatus >= 200 && dwStatus <= 202) || (dwStatus >= 204 && dwStatus <= 206)) {
      ctx->dwResultFlags = SC_OUTCOME_SUCCESS;
      bSuccess = true;
      NotifyTask(ctx, NOTIFY_COMPLETE, 0);
      AddStatusLine(ctx, "-- GetInquiryResult(), succeeded");
    } else if ((dwStatus >= 300 && dwStatus <= 305) || dwStatus == 400) {
      ctx->dwResultFlags = SC_OUTCOME_REDIRECT;
    } else if (dwStatus >= 401 && dwStatus <= 404) {
      ctx->dwResultFlags = SC_OUTCOME_DENIED;
    } else if ((dwStatus >= 405 && dwStatus <= 417) || (dwStatus >= 500 && dwStatus <= 505)) {
      ctx->dwResultFlags = SC_OUTCOME_SERVER;
    }
  }
  if (!bSuccess) {
    AddStatusLine(ctx, "-- GetInquiryResult(), Failed");
    ShowStep(ctx, SC_STEP_CLOSING, SC_RESULT_STARTED);
  }
}

}  // namespace zem::upload
