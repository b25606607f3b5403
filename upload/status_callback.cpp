// The status callback of an asynchronous run, GetHttpHandleThreader (opens the
// request once the connection handle exists) and GetHttpDataThreader (reads
// the answer once the request completed). The callback may run on the
// caller's thread (handle creation) or on the internet library's own thread;
// it holds the task's run gate while it works on the record.
#include "upload/status_callback.h"

#include <cstring>

#include "upload/inquiry_request.h"
#include "upload/record_fields.h"
#include "upload/run_gate.h"
#include "upload/status_display.h"
#include "upload/status_log.h"
#include "upload/task_list.h"

namespace zem::upload {
namespace {

constexpr size_t kLineSize = SC_MSG_SIZE;
constexpr DWORD kHandleWaitMs = 100000;

int Length(DWORD cb) { return static_cast<int>(cb); }

thread_local int tCallbackDepth = 0;

struct CallbackDepth {
  CallbackDepth() { ++tCallbackDepth; }
  ~CallbackDepth() { --tCallbackDepth; }
  CallbackDepth(const CallbackDepth &) = delete;
  CallbackDepth &operator=(const CallbackDepth &) = delete;
};

void PostClose(REQUEST_CONTEXT *ctx) { PostMessageA(ctx->hWnd, WM_CLOSE, 0, 0); }

// Once the connection handle has arrived: opens the request and asks the
// upload window to send it. Polls the step and result, which the handle
// creation report of the request moves on, for at most 100000 ms.
void GetHttpHandleThreader(REQUEST_CONTEXT *ctx) {
  const DWORD dwStart = GetTickCount();
  AddStatusLine(ctx, "-- GetHttpHandleThreader()");
  while (GetTickCount() - dwStart < kHandleWaitMs) {
    const int nResult = ctx->nResult;
    if (nResult == SC_RESULT_SUCCESS || nResult == SC_RESULT_FAILED) break;
    if (ctx->nStep == SC_STEP_INTERNET_CONNECT) {
      if (ctx->hConnect != nullptr) {
        ctx->nResult = SC_RESULT_SUCCESS;
        StatusDisplay(ctx, kShowResult);
        ctx->nResult = SC_RESULT_STARTED;
        ctx->nStep = SC_STEP_OPEN_REQUEST;
        StatusDisplay(ctx, kShowTimeAndStep);
      } else {
        ctx->nResult = SC_RESULT_PROCESSING;
      }
      StatusDisplay(ctx, kShowResult);
    } else if (ctx->nStep == SC_STEP_OPEN_REQUEST) {
      if (nResult == SC_RESULT_STARTED) {
        ctx->nResult = SC_RESULT_PROCESSING;
        OpenRequest(ctx);
        // The request handle comes back from the open itself; when it did
        // not, nothing will bring it later.
        if (ctx->hRequest == nullptr) ctx->nResult = SC_RESULT_FAILED;
      } else if (ctx->hRequest != nullptr) {
        ctx->nResult = SC_RESULT_SUCCESS;
        StatusDisplay(ctx, kShowResult);
      }
    } else {
      break;
    }
  }
  if (ctx->nResult == SC_RESULT_SUCCESS && ctx->nStep == SC_STEP_OPEN_REQUEST) {
    ctx->dwSendMark = 5;
    ctx->nStep = SC_STEP_SENDING_REQUEST;
    ctx->nResult = SC_RESULT_STARTED;
    PostMessageA(ctx->hWnd, SC_WM_SEND_REQUEST, 0, reinterpret_cast<LPARAM>(ctx));
  } else if (ctx->nResult == SC_RESULT_FAILED) {
    StatusDisplay(ctx, kShowError);
    ctx->nStep = SC_STEP_CLOSING;
    StatusDisplay(ctx, kShowResult);
    PostClose(ctx);
  }
}

// Once the request completed: headers, data, outcome, and the close of the
// upload window.
void GetHttpDataThreader(REQUEST_CONTEXT *ctx) {
  AddStatusLine(ctx, "-- GetHttpDataThreader() - Started");
  const HINTERNET hRequest = ctx->hRequest;
  if (ReadHeaders(hRequest, ctx)) {
    AddStatusLine(ctx, "-- Header Retrieved");
    ctx->nResult = SC_RESULT_PROCESSING;
    StatusDisplay(ctx, kShowResult);
    AddStatusLinef(ctx, kLineSize, "-- Dump(%s)", UsableOrEmpty(ctx->pszAppName));
    DataDump(hRequest, ctx);
    GetInquiryResult(ctx);
    AddStatusLine(ctx, "-- GetHttpDataThreader() - Done");
  }
  // The final step and result are stored before the close is posted.
  ctx->nStep = SC_STEP_CLOSING;
  ctx->nResult = SC_RESULT_SUCCESS;
  PostClose(ctx);
  AddStatusLine(ctx, "-- Posted close message");
}

// Each piece of the kept header text that a CR LF ends, as a line.
void LogTraceHeaders(REQUEST_CONTEXT *ctx) {
  const char *pszText = ctx->pvTraceHeaders;
  if (pszText == nullptr) return;
  for (const char *p = pszText; *p != '\0';) {
    const char *pszEnd = std::strstr(p, "\r\n");
    if (pszEnd == nullptr) break;
    AddStatusLinef(ctx, kLineSize, "--   %.*s", static_cast<int>(pszEnd - p), p);
    p = pszEnd + 2;
  }
}

void OnRequestComplete(REQUEST_CONTEXT *ctx, const INTERNET_ASYNC_RESULT *pResult, DWORD cbInfo) {
  const bool bFailed = pResult != nullptr && (pResult->dwResult == 0 || pResult->dwError != 0);
  if (bFailed) {
    const DWORD dwError = pResult->dwError;
    DWORD dwCode = 0, cchText = 0;
    InternetGetLastResponseInfoA(&dwCode, nullptr, &cchText);
    if (cchText >= 1 && cchText <= 254) {
      char szText[256];
      DWORD cchBuffer = sizeof szText;
      if (InternetGetLastResponseInfoA(&dwCode, szText, &cchBuffer)) AddStatusLinef(ctx, 256, "-- %s", szText);
    }
    // A request that completed with an error will bring nothing more: the
    // run ends now rather than at the window's time-out.
    const int nStep = ctx->nStep;
    if (nStep >= SC_STEP_SENDING_REQUEST && nStep <= SC_STEP_RECEIVING_DATA) {
      AddStatusLinef(ctx, kLineSize, "-- Request complete returned error# %i", static_cast<int>(dwError));
      ctx->nResult = SC_RESULT_FAILED;
      ctx->nStep = SC_STEP_CLOSING;
      StatusDisplay(ctx, kShowResult);
      NotifyTask(ctx, NOTIFY_ERROR, static_cast<INT_PTR>(dwError));
      PostClose(ctx);
      AddStatusLine(ctx, "-- Posted close message");
    }
    return;
  }
  AddStatusLinef(ctx, kLineSize, "-- REQUEST_COMPLETE, LENGTH=%d", Length(cbInfo));
  const int nStep = ctx->nStep;
  if (nStep >= SC_STEP_SENDING_REQUEST && nStep <= SC_STEP_RECEIVING_DATA) {
    GetHttpDataThreader(ctx);
  } else if (const DWORD dwError = GetLastError()) {
    AddStatusLinef(ctx, kLineSize, "-- Request complete returned error# %i", static_cast<int>(dwError));
  } else if (ctx->cbTraceHeaders != 0) {
    AddStatusLine(ctx, "-- Request terminated abnormally!");
    LogTraceHeaders(ctx);
    ctx->nResult = SC_RESULT_FAILED;
    ctx->nStep = SC_STEP_CLOSING;
    StatusDisplay(ctx, kShowResult);
  }
}

void OnResponseProgress(REQUEST_CONTEXT *ctx) {
  const int nStep = ctx->nStep;
  if (nStep != SC_STEP_SENDING_REQUEST && nStep != SC_STEP_RETRY_SENDING) return;
  ctx->nResult = SC_RESULT_SUCCESS;
  StatusDisplay(ctx, kShowResult);
  ShowStep(ctx, SC_STEP_RECEIVING_HEADER, SC_RESULT_STARTED);
}

// The new handle is the first field of what a HANDLE_CREATED report carries:
// one internet library sends an INTERNET_ASYNC_RESULT (its dwResult), another
// the address of the handle alone, which is all that is promised.
HINTERNET CreatedHandle(const void *pvInformation, DWORD cbInformation) {
  if (pvInformation == nullptr || cbInformation < sizeof(HINTERNET)) return nullptr;
  HINTERNET hCreated;
  std::memcpy(&hCreated, pvInformation, sizeof hCreated);
  return hCreated;
}

void OnHandleCreated(REQUEST_CONTEXT *ctx, HINTERNET hCreated) {
  AddStatusLinef(ctx, kLineSize, "-- HANDLE_CREATED (%llx)", HandleBits(hCreated));
  if (ctx->nStep == SC_STEP_INTERNET_CONNECT && ctx->nResult == SC_RESULT_STARTED) {
    ctx->hConnect = hCreated;
    AddStatusLine(ctx, "-- GetHttpHandhreader called from inet thread");
    GetHttpHandleThreader(ctx);
  } else if (ctx->nStep == SC_STEP_OPEN_REQUEST) {
    ctx->hRequest = hCreated;
  }
}

}  // namespace

bool InsideStatusCallback() { return tCallbackDepth > 0; }

void CALLBACK UploadStatusCallback(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwInternetStatus,
                                   LPVOID lpvStatusInformation, DWORD dwStatusInformationLength) {
  const CallbackDepth depth;
  RunGateHold hold(reinterpret_cast<const void *>(dwContext));
  if (!hold.entered()) return;
  auto *ctx = reinterpret_cast<REQUEST_CONTEXT *>(dwContext);
  if (ctx->nStep < SC_STEP_INTERNET_OPEN || ctx->nStep > SC_STEP_CLOSED) return;
  // The answer's reports of a request that an earlier run of this record
  // closed (the internet library may still finish it) are not this run's.
  const bool bAnswerReport = dwInternetStatus == INTERNET_STATUS_REQUEST_COMPLETE ||
                             dwInternetStatus == INTERNET_STATUS_RECEIVING_RESPONSE ||
                             dwInternetStatus == INTERNET_STATUS_RESPONSE_RECEIVED;
  if (bAnswerReport && ctx->hRequest != nullptr && hInternet != ctx->hRequest) return;
  const int nLength = Length(dwStatusInformationLength);
  const auto *pResult = static_cast<const INTERNET_ASYNC_RESULT *>(lpvStatusInformation);
  switch (dwInternetStatus) {
    case INTERNET_STATUS_RESOLVING_NAME:
      AddStatusLinef(ctx, kLineSize, "-- RESOLVING_NAME (%d)", nLength);
      break;
    case INTERNET_STATUS_NAME_RESOLVED:
      AddStatusLinef(ctx, kLineSize, "-- NAME_RESOLVED (%d)", nLength);
      ctx->nResult = SC_RESULT_PROCESSING;
      break;
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
      AddStatusLinef(ctx, kLineSize, "-- CONNECTING_TO_SERVER (%s)", UsableOrEmpty(ctx->pszHostName));
      ctx->nResult = SC_RESULT_PROCESSING;
      break;
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
      AddStatusLinef(ctx, kLineSize, "-- CONNECTED_TO_SERVER (%s)", UsableOrEmpty(ctx->pszHostName));
      ctx->nResult = SC_RESULT_SUCCESS;
      StatusDisplay(ctx, kShowResult);
      break;
    case INTERNET_STATUS_SENDING_REQUEST:
      AddStatusLinef(ctx, kLineSize, "-- SENDING_REQUEST (%d)", nLength);
      break;
    case INTERNET_STATUS_REQUEST_SENT:
      AddStatusLinef(ctx, kLineSize, "-- REQUEST_SENT (%d)", nLength);
      break;
    case INTERNET_STATUS_RECEIVING_RESPONSE:
      AddStatusLinef(ctx, kLineSize, "-- RECEIVING_RESPONSE (%d)", nLength);
      OnResponseProgress(ctx);
      break;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
      AddStatusLinef(ctx, kLineSize, "-- RESPONSE_RECEIVED (%d) ", nLength);
      OnResponseProgress(ctx);
      break;
    case INTERNET_STATUS_CLOSING_CONNECTION:
      AddStatusLinef(ctx, kLineSize, "-- CLOSING_CONNECTION (%d)", nLength);
      break;
    case INTERNET_STATUS_CONNECTION_CLOSED:
      AddStatusLinef(ctx, kLineSize, "-- CONNECTION_CLOSED (%d)", nLength);
      break;
    case INTERNET_STATUS_HANDLE_CREATED:
      OnHandleCreated(ctx, CreatedHandle(lpvStatusInformation, dwStatusInformationLength));
      break;
    case INTERNET_STATUS_HANDLE_CLOSING:
      AddStatusLinef(ctx, kLineSize, "-- HANDLE_CLOSING (%d)", nLength);
      ctx->bClosed = 1;
      break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
      if (hold.HandOverCompletion()) break;  // the end of a download's query
      OnRequestComplete(ctx, dwStatusInformationLength >= sizeof(INTERNET_ASYNC_RESULT) ? pResult : nullptr,
                        dwStatusInformationLength);
      break;
    case INTERNET_STATUS_REDIRECT:
      AddStatusLinef(ctx, kLineSize, "-- REDIRECT (%d)", nLength);
      break;
    case INTERNET_STATUS_INTERMEDIATE_RESPONSE:
      AddStatusLinef(ctx, kLineSize, "-- INTERMEDIATE_RESPONSE (%d)", nLength);
      break;
    case INTERNET_STATUS_STATE_CHANGE:
      AddStatusLinef(ctx, kLineSize, "-- STATE_CHANGE (%d)", nLength);
      break;
    default:
      AddStatusLinef(ctx, kLineSize, "-- INTERNET_STATUS (%d), LENGTH (%d)", static_cast<int>(dwInternetStatus),
                     nLength);
      break;
  }
}

}  // namespace zem::upload
