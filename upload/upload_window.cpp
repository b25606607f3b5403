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
#include <unordered_map>

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
// that one arrives once the time-out has passed; the window checks it
// itself, so it also holds while another loop (a run started from a notify
// procedure) takes the thread's messages.
constexpr UINT_PTR kTimeoutTimer = 1;
constexpr DWORD kTimerMarginMs = 10;
constexpr DWORD kBusyCloseWaitMs = 5000;
constexpr DWORD kThreadWaitMs = 60000;
constexpr WORD kEscapeCommand = 27;

// The start of each asynchronous run of this thread. Window procedures run on
// the thread that created the window, so a run's window finds its own here.
thread_local std::unordered_map<const SC_TASK *, DWORD> tRunStarts;

// Signed, so that a time stamp from before the start counts as early rather
// than as a wrapped-around late one.
LONG Elapsed(DWORD dwStart, DWORD dwNow) { return static_cast<LONG>(dwNow - dwStart); }

// Read at every check: a dial-up connection handed over by a task released
// during the run gives the run the longer time-out from then on.
LONG RunTimeout(const REQUEST_CONTEXT *ctx) {
  return static_cast<LONG>(ctx->bAutodial ? kAutodialTimeoutMs : kTimeoutMs);
}

// Whether the run's time-out has passed at dwNow.
bool TimedOut(const SC_TASK *node, DWORD dwNow) {
  auto found = tRunStarts.find(node);
  return found != tRunStarts.end() && node->pCtx != nullptr &&
         Elapsed(found->second, dwNow) > RunTimeout(node->pCtx);
}

// Arms the window's timer for the rest of the time-out (at once when it is
// spent already).
void ArmTimeoutTimer(HWND hWnd, const SC_TASK *node) {
  auto found = tRunStarts.find(node);
  if (found == tRunStarts.end() || node->pCtx == nullptr) return;
  const LONG nLeft = RunTimeout(node->pCtx) - Elapsed(found->second, GetTickCount());
  SetTimer(hWnd, kTimeoutTimer, static_cast<UINT>(nLeft > 0 ? nLeft : 0) + kTimerMarginMs, nullptr);
}

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
    AddStatusLinef(ctx, SC_MSG_SIZE, "-- WaitForSingleObject returned:  [%x] ", static_cast<unsigned>(dwWait));
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
    case WM_TIMER:
      if (wParam == kTimeoutTimer) {
        if (SC_TASK *node = NodeOf(hWnd)) {
          if (TimedOut(node, GetTickCount())) {
            PostMessageA(hWnd, WM_CLOSE, 0, 0);
          } else {
            ArmTimeoutTimer(hWnd, node);
          }
        }
        return 0;
      }
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
void MessageLoop(SC_TASK *node, HWND hWnd) {
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
    if (TimedOut(node, msg.time)) PostMessageA(hWnd, WM_CLOSE, 0, 0);
  }
  if (bQuit) PostQuitMessage(nQuitCode);
}

}  // namespace

void RunAsynchronously(SC_TASK *node) {
  REQUEST_CONTEXT *ctx = node->pCtx;
  // The time-out counts from the message being handled when the caller runs
  // the task from a message handler; a thread that has had no message yet
  // has no such time (0), and the run counts from now.
  const DWORD dwMessageTime = static_cast<DWORD>(GetMessageTime());
  tRunStarts[node] = dwMessageTime != 0 ? dwMessageTime : GetTickCount();
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
  // Running before the window's creation: WM_CREATE already notifies.
  node->bRunning = 1;
  const HWND hWnd = CreateWindowExA(0, kClassName, kWindowTitle, 0, 0, 0, 0, 0, nullptr, nullptr, hModule, node);
  if (hWnd != nullptr) {
    ArmTimeoutTimer(hWnd, node);
    MessageLoop(node, hWnd);
  }
  node->bRunning = 0;
  tRunStarts.erase(node);
  {
    // A window destroyed without its close (by someone else) leaves handles
    // open. They go before the gate closes: a read still waiting on the
    // network then fails at once, and its thread leaves the gate.
    RunGateHold hold(ctx);
    const HINTERNET hRequest = ctx->hRequest, hConnect = ctx->hConnect, hInternet = ctx->hInternet;
    ctx->hRequest = nullptr;
    ctx->hConnect = nullptr;
    ctx->hInternet = nullptr;
    RunGateHold::Opening opening(hold);
    for (const HINTERNET hLeft : {hRequest, hConnect, hInternet}) {
      if (hLeft != nullptr) InternetCloseHandle(hLeft);
    }
  }
  CloseRunGate(ctx);
}

}  // namespace zem::upload
