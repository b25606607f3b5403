// The asynchronous run: the hidden upload window, its procedure and its
// message loop with the run's time-out, and the close of the run's handles.
//
// Order of events: WM_CREATE opens the session and registers the status
// callback; SC_WM_START_CONNECT connects, and the callback opens the request
// and posts SC_WM_SEND_REQUEST; the window sends; the callback reads the
// answer when the request completes and posts WM_CLOSE; the first WM_CLOSE
// closes the handles and the next one destroys the window, which ends the
// loop.
#include <cstdio>
#include <initializer_list>

#include "upload/inquiry_request.h"
#include "upload/internet_open.h"
#include "upload/record_fields.h"
#include "upload/run_gate.h"
#include "upload/status_display.h"
#include "upload/status_log.h"
#include "upload/task_list.h"
#include "upload/task_runner.h"

namespace zem::upload {
namespace {

constexpr char kClassName[] = "ZemHTTPUploadHandler";
constexpr char kWindowTitle[] = "ZEM Data Service - HTTP Upload";
constexpr WORD kUploadIcon = 303;
constexpr DWORD kTimeoutMs = 45000;
constexpr DWORD kAutodialTimeoutMs = 90000;  // a dial-up line needs longer
// The time-out is checked as messages arrive. A run whose request never
// completes may get no message at all, so a timer on the window makes sure
// that one arrives once the time-out has passed.
constexpr UINT_PTR kTimeoutTimer = 1;
constexpr DWORD kTimerMarginMs = 10;
constexpr DWORD kBusyCloseWaitMs = 5000;
constexpr DWORD kThreadWaitMs = 60000;
constexpr WORD kEscapeCommand = 27;

SC_TASK *NodeOf(HWND hWnd) { return reinterpret_cast<SC_TASK *>(GetWindowLongPtrA(hWnd, GWLP_USERDATA)); }

REQUEST_CONTEXT *RecordOf(HWND hWnd) {
  SC_TASK *node = NodeOf(hWnd);
  return node != nullptr ? node->pCtx : nullptr;
}

// The caller's worker thread (if it gave one), then request, connection and
// session, the session even when the caller supplied it. The gate is open
// while the handles close: a close waits for a callback in progress.
void CloseHandles(REQUEST_CONTEXT *ctx, RunGateHold &hold) {
  if (const HANDLE hThread = ctx->hThread) {
    AddStatusLinef(ctx, SC_MSG_SIZE, "-- Closing Thread   [%llx] ", HandleBits(hThread));
    DWORD dwWait;
    {
      RunGateHold::Opening opening(hold);
      dwWait = WaitForSingleObject(hThread, kThreadWaitMs);
    }
    ctx->dwLastError = dwWait;
    AddStatusLinef(ctx, SC_MSG_SIZE, "-- WaitForSingleObject returned:  [%x] ", dwWait);
    CloseHandle(hThread);
    ctx->hThread = nullptr;
    ctx->dwThreadId = 0;
  }
  const HINTERNET hRequest = ctx->hRequest, hConnect = ctx->hConnect, hInternet = ctx->hInternet;
  for (const HINTERNET hClose : {hRequest, hConnect, hInternet}) {
    if (hClose == nullptr) continue;
    RunGateHold::Opening opening(hold);
    InternetCloseHandle(hClose);
    InternetSetStatusCallbackA(hClose, nullptr);
  }
  ctx->hRequest = nullptr;
  ctx->hConnect = nullptr;
  ctx->hInternet = nullptr;
  ctx->bClosed = 1;
}

void OnCreate(HWND hWnd) {
  SC_TASK *node = NodeOf(hWnd);
  REQUEST_CONTEXT *ctx = node != nullptr ? node->pCtx : nullptr;
  if (ctx == nullptr) {
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
    return;
  }
  RunGateHold hold(ctx);
  ctx->hWnd = hWnd;
  ctx->nResult = SC_RESULT_PROCESSING;
  StatusDisplay(ctx, kShowTimeAndStep);
  StatusDisplay(ctx, kShowResult);
  StatusDisplay(ctx, kShowResult);
  ShowStep(ctx, SC_STEP_INTERNET_OPEN, SC_RESULT_STARTED);
  node->hWnd = hWnd;
  DWORD dwError = ctx->dwLastError;
  const HINTERNET hInternet = OpenTaskInternet(hWnd, &dwError, ctx, kSessionAgent);
  ctx->dwLastError = dwError;
  ctx->hInternet = hInternet;
  ctx->nResult = hInternet != nullptr ? SC_RESULT_SUCCESS : SC_RESULT_FAILED;
  StatusDisplay(ctx, kShowResult);
  if (hInternet != nullptr) {
    PostMessageA(hWnd, SC_WM_START_CONNECT, 0, 0);
  } else {
    ctx->nStep = SC_STEP_CLOSING;
    ctx->nResult = SC_RESULT_FAILED;
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
  }
}

void OnStartConnect(HWND hWnd) {
  REQUEST_CONTEXT *ctx = RecordOf(hWnd);
  if (ctx == nullptr) return;
  RunGateHold hold(ctx);
  ctx->nStep = SC_STEP_OPEN_REQUEST;
  int nStarted = 0;
  if (ctx->hInternet != nullptr) {
    ctx->nResult = SC_RESULT_STARTED;
    nStarted = ScAsyncRunRequest(ctx);
  } else {
    ctx->nResult = SC_RESULT_FAILED;
  }
  if (nStarted) {
    NotifyTask(ctx, NOTIFY_PROGRESS, SC_STEP_RECEIVING_HEADER);
    return;
  }
  const DWORD dwError = GetLastError();
  char szLocal[SC_MSG_SIZE];
  char *pszMsg = ctx->pszMsg != nullptr ? ctx->pszMsg : szLocal;
  std::snprintf(pszMsg, SC_MSG_SIZE, "ERROR #%d, ScAsyncRunRequest returned FALSE", static_cast<int>(dwError));
  AddStatusLine(ctx, pszMsg);
  ctx->nResult = SC_RESULT_FAILED;
  NotifyTask(ctx, NOTIFY_ERROR, static_cast<INT_PTR>(dwError));
  PostMessageA(hWnd, WM_CLOSE, 0, 0);
}

void OnSendRequest(HWND hWnd, LPARAM lParam) {
  REQUEST_CONTEXT *ctx = RecordOf(hWnd);
  // Only the window's own record is sent, whatever a stray message carries.
  if (ctx == nullptr || lParam != reinterpret_cast<LPARAM>(ctx)) return;
  RunGateHold hold(ctx);
  // A send that failed outright leaves nothing to wait for.
  if (!SendInquiryRecord(ctx) && GetLastError() != ERROR_IO_PENDING) PostMessageA(hWnd, WM_CLOSE, 0, 0);
}

// The first close closes the handles and keeps the window; the next one
// destroys it. With the handles closed nothing can arrive any more, so the
// next close is posted at once: a completed run ends as soon as its answer is
// in, not at the time-out.
bool OnClose(HWND hWnd) {
  REQUEST_CONTEXT *ctx = RecordOf(hWnd);
  if (ctx == nullptr) return false;
  RunGateHold hold(ctx);
  if (ctx->bClosed) return false;
  if (ctx->nResult == SC_RESULT_PROCESSING) {
    // Gives a transfer in progress the time to end before its handles go.
    RunGateHold::Opening opening(hold);
    SleepEx(kBusyCloseWaitMs, TRUE);
  }
  ctx->nStep = SC_STEP_CLOSING;
  CloseHandles(ctx, hold);
  PostMessageA(hWnd, WM_CLOSE, 0, 0);
  return true;
}

LRESULT CALLBACK UploadWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_NCCREATE: {
      const auto *pCreate = reinterpret_cast<const CREATESTRUCTA *>(lParam);
      SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pCreate->lpCreateParams));
      break;
    }
    case WM_CREATE:
      OnCreate(hWnd);
      break;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) SendMessageA(hWnd, WM_CLOSE, 0, 0);
      break;
    case WM_CLOSE:
      if (OnClose(hWnd)) return 0;
      break;
    case WM_NCDESTROY:
      if (SC_TASK *node = NodeOf(hWnd)) node->bRunning = 0;
      SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
      break;
    case SC_WM_START_CONNECT:
      OnStartConnect(hWnd);
      return 0;
    case SC_WM_SEND_REQUEST:
      OnSendRequest(hWnd, lParam);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// Takes every message of the thread, so the caller's own windows keep
// working during the run. A quit message ends the run and is posted again
// for the caller's loop.
void MessageLoop(SC_TASK *node, HWND hWnd, DWORD dwStart, DWORD dwTimeout) {
  bool bQuit = false;
  int nQuitCode = 0;
  MSG msg;
  while (node->bRunning) {
    const BOOL bGot = GetMessageA(&msg, nullptr, 0, 0);
    if (bGot == -1) {
      DestroyWindow(hWnd);
      break;
    }
    if (bGot == 0) {
      bQuit = true;
      nQuitCode = static_cast<int>(msg.wParam);
      PostMessageA(hWnd, WM_CLOSE, 0, 0);
      continue;
    }
    if (msg.message == WM_COMMAND && (LOWORD(msg.wParam) == IDCANCEL || LOWORD(msg.wParam) == kEscapeCommand)) {
      PostMessageA(hWnd, WM_CLOSE, 0, 0);
    }
    if (msg.message != WM_NULL) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    // Signed, so that a message queued before the run started counts as
    // early rather than as a wrapped-around late one.
    if (static_cast<LONG>(msg.time - dwStart) > static_cast<LONG>(dwTimeout)) PostMessageA(hWnd, WM_CLOSE, 0, 0);
  }
  if (bQuit) PostQuitMessage(nQuitCode);
}

}  // namespace

void RunAsynchronously(SC_TASK *node) {
  REQUEST_CONTEXT *ctx = node->pCtx;
  // The time-out counts from now: the time stamp of the thread's last
  // message may be arbitrarily old when the caller runs no loop of its own.
  const DWORD dwStart = GetTickCount();
  const HMODULE hModule = ctx->hModule;
  ctx->hIcon = LoadIconA(hModule, MAKEINTRESOURCEA(kUploadIcon));
  ctx->hWnd = nullptr;
  node->dwSpare1 = 0;
  node->dwSpare2 = 0;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = UploadWindowProc;
  wc.hInstance = hModule;
  wc.hIcon = ctx->hIcon;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  // Registered by the first run; a later registration fails and is ignored.
  RegisterClassA(&wc);
  OpenRunGate(ctx);
  const HWND hWnd = CreateWindowExA(0, kClassName, kWindowTitle, 0, 0, 0, 0, 0, nullptr, nullptr, hModule, node);
  if (hWnd != nullptr) {
    node->bRunning = 1;
    const DWORD dwTimeout = ctx->bAutodial ? kAutodialTimeoutMs : kTimeoutMs;
    SetTimer(hWnd, kTimeoutTimer, dwTimeout + kTimerMarginMs, nullptr);
    MessageLoop(node, hWnd, dwStart, dwTimeout);
  }
  node->bRunning = 0;
  CloseRunGate(ctx);
  // A window destroyed without its close (by someone else) leaves handles
  // open: they go now, when no callback can enter any more.
  for (const HINTERNET hLeft : {ctx->hRequest, ctx->hConnect, ctx->hInternet}) {
    if (hLeft != nullptr) InternetCloseHandle(hLeft);
  }
  ctx->hRequest = nullptr;
  ctx->hConnect = nullptr;
  ctx->hInternet = nullptr;
}

}  // namespace zem::upload
