// ScraRunCompany and the synchronous run: open, connect, up to three send
// attempts, status code, headers, download, outcome, shutdown.
#include "upload/task_runner.h"

#include "upload/inquiry_request.h"
#include "upload/internet_open.h"
#include "upload/status_callback.h"
#include "upload/status_display.h"
#include "upload/status_log.h"
#include "upload/task_list.h"

namespace zem::upload {
namespace {

constexpr int kMaxAttempts = 3;

// Status codes that ask for the request to be sent again.
bool AsksToResend(DWORD dwStatus) {
  return (dwStatus >= HTTP_STATUS_PARTIAL && dwStatus <= HTTP_STATUS_PARTIAL_CONTENT) || dwStatus == HTTP_STATUS_MOVED;
}

void ShowResult(REQUEST_CONTEXT *ctx, int nResult) {
  ctx->nResult = nResult;
  StatusDisplay(ctx, kShowResult);
}

// Headers, data and outcome of an answer with a final status code.
void ReceiveAnswer(REQUEST_CONTEXT *ctx) {
  ShowStep(ctx, SC_STEP_RECEIVING_HEADER, SC_RESULT_STARTED);
  if (!ReadHeaders(ctx->hRequest, ctx)) {
    ctx->nResult = SC_RESULT_FAILED;
  } else {
    ShowStep(ctx, SC_STEP_RECEIVING_DATA, SC_RESULT_STARTED);
    if (!DataDump(ctx->hRequest, ctx)) {
      ctx->nResult = SC_RESULT_FAILED;
    } else {
      GetInquiryResult(ctx);
    }
  }
  StatusDisplay(ctx, kShowResult);
}

void SendAttempts(REQUEST_CONTEXT *ctx) {
  for (int nAttempt = 1;; ++nAttempt) {
    ShowStep(ctx, nAttempt == 1 ? SC_STEP_SENDING_REQUEST : SC_STEP_RETRY_SENDING, SC_RESULT_STARTED);
    if (!SendInquiryRecord(ctx)) {
      DWORD dwError = GetLastError();
      if (dwError == 0) dwError = ERROR_INTERNET_SERVER_UNREACHABLE;
      AddStatusLinef(ctx, SC_MSG_SIZE, "-- SendInquiryRecord(REQUEST_CONTEXT) returned FALSE, error #%d.",
                     static_cast<int>(dwError));
      ShowResult(ctx, SC_RESULT_FAILED);
      return;
    }
    ShowResult(ctx, SC_RESULT_PROCESSING);
    const DWORD dwStatus = StatusCodePasses(ctx);
    if (AsksToResend(dwStatus)) {
      ctx->dwRetryFlags = ctx->dwRetryFlags | 1;
      if (nAttempt < kMaxAttempts) continue;
      return;
    }
    if (dwStatus == 0) return;
    ReceiveAnswer(ctx);
    return;
  }
}

// Closes the handles of the run. The fields keep their (now stale) values
// and the callback stays, as the report of the last connection shows them.
void Shutdown(REQUEST_CONTEXT *ctx) {
  ShowStep(ctx, SC_STEP_CLOSING, SC_RESULT_STARTED);
  AddStatusLine(ctx, "-- Shutting down internet connections.");
  if (const HINTERNET hRequest = ctx->hRequest) {
    AddStatusLine(ctx, "-- Closing down Http Request handle.");
    InternetCloseHandle(hRequest);
  }
  if (const HINTERNET hConnect = ctx->hConnect) {
    AddStatusLine(ctx, "-- Closing down Internet Connection handle.");
    InternetCloseHandle(hConnect);
  }
  if (ctx->hInternetIn != nullptr) {
    ctx->hInternet = nullptr;
    AddStatusLine(ctx, "-- Internet handle was passed in-It will NOT be closed.");
  } else {
    AddStatusLine(ctx, "-- Closing down Internet application handle.");
    InternetCloseHandle(ctx->hInternet);
  }
}

// Returns 1, or the error of a failed open or connect. The task stays in the
// list, as after an asynchronous run: the caller writes its logs and releases
// it.
int RunSynchronously(REQUEST_CONTEXT *ctx) {
  // Handles an earlier run of the task left in the record were closed by its
  // shutdown: a request handle still set would be taken as this run's.
  ctx->hRequest = nullptr;
  ctx->hConnect = nullptr;
  ctx->dwInetFlags = ctx->dwInetFlags & ~static_cast<DWORD>(INTERNET_FLAG_ASYNC);
  ShowStep(ctx, SC_STEP_INTERNET_OPEN, SC_RESULT_STARTED);
  DWORD dwError = ctx->dwLastError;
  const HINTERNET hInternet = OpenTaskInternet(nullptr, &dwError, ctx, kSessionAgent);
  ctx->dwLastError = dwError;
  ctx->hInternet = hInternet;
  if (hInternet == nullptr) {
    const DWORD dwOpenError = GetLastError();
    ShowResult(ctx, SC_RESULT_FAILED);
    return static_cast<int>(dwOpenError);
  }
  const HINTERNET hConnect = ConnectTask(ctx);
  ctx->hConnect = hConnect;
  if (hConnect == nullptr) {
    DWORD dwConnectError = GetLastError();
    if (dwConnectError == 0) dwConnectError = ERROR_INTERNET_SERVER_UNREACHABLE;
    ShowResult(ctx, SC_RESULT_FAILED);
    // The session this run opened goes with it (a caller's stays open), or
    // its handle and the library's thread would outlive the task.
    if (ctx->hInternetIn == nullptr) InternetCloseHandle(hInternet);
    return static_cast<int>(dwConnectError);
  }
  SendAttempts(ctx);
  Shutdown(ctx);
  return 1;
}

}  // namespace
}  // namespace zem::upload

using namespace zem::upload;

int WINAPI ScraRunCompany(int nDocument) {
  // From the first notification of the run to its end the task is busy: a
  // notify procedure can neither release it nor run it a second time.
  SC_TASK *node = BeginTaskRun(nDocument);
  if (node == nullptr) return 1;
  REQUEST_CONTEXT *ctx = node->pCtx;
  ctx->dwResultFlags = 0;
  int nRun = 1;
  if (ctx->nResult != SC_RESULT_SUCCESS) {
    // Only a task created with data runs.
  } else if (!ctx->bAsync) {
    node->bRunning = 1;
    nRun = RunSynchronously(ctx);
    node->bRunning = 0;
  } else if (InsideStatusCallback()) {
    // On the internet library's thread the run's own reports would wait
    // behind its message loop until the time-out.
    SetLastError(ERROR_BUSY);
  } else {
    RunAsynchronously(node);
  }
  EndTaskRun(node);
  return nRun > 0 ? nRun : 1;
}
