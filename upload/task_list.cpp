// The task list and the exported functions that create, find and release
// tasks.
//
// The list has a lock of its own for its links, so that the internet
// library's callback thread can look a task up (for its notify procedure)
// while a caller's thread adds or releases other tasks. The records are not
// covered by it.
#include "upload/task_list.h"

#include <mutex>
#include <unordered_set>

#include "ZemMem.h"
#include "upload/record_fields.h"
#include "upload/status_log.h"
#include "upload/task_record.h"

namespace zem::upload {
namespace {

std::mutex &ListLock() {
  static std::mutex lock;
  return lock;
}

SC_TASK *gHead = nullptr;

// Tasks in a run, from before its first notification to after its last use
// of the record. A busy task is neither released nor run again.
std::unordered_set<const SC_TASK *> &BusyLocked() {
  static std::unordered_set<const SC_TASK *> busy;
  return busy;
}

// Under the list lock.
SC_TASK *FindLocked(int nDocument) {
  for (SC_TASK *node = gHead; node != nullptr; node = node->pNext) {
    if (node->uDocument == static_cast<DWORD>(nDocument)) return node;
  }
  return nullptr;
}

SC_TASK *PreviousLocked(const SC_TASK *target) {
  for (SC_TASK *node = gHead; node != nullptr; node = node->pNext) {
    if (node->pNext == target) return node;
  }
  return nullptr;
}

void UnlinkLocked(SC_TASK *target) {
  if (gHead == target) {
    gHead = target->pNext;
  } else if (SC_TASK *previous = PreviousLocked(target)) {
    previous->pNext = target->pNext;
  }
  target->pNext = nullptr;
}

// Refuses a new task while another one has a record but no upload window:
// that task has been neither run asynchronously nor released yet.
bool SomeTaskAwaitsItsRun() {
  for (SC_TASK *node = gHead; node != nullptr; node = node->pNext) {
    if (node->pCtx != nullptr && node->hWnd == nullptr) return true;
  }
  return false;
}

// Takes an idle task out of the list, under the list lock, and hands its
// dial-up connection to the task before it. Tells whether the task was the
// first one, whose release hangs the connection up.
bool UnlinkForRelease(SC_TASK *node) {
  REQUEST_CONTEXT *ctx = node->pCtx;
  SC_TASK *previous = PreviousLocked(node);
  const bool bHangUp = ctx != nullptr && ctx->bAutodial && previous == nullptr;
  if (ctx != nullptr && ctx->bAutodial && previous != nullptr && previous->pCtx != nullptr) {
    previous->pCtx->bAutodial = 1;
  }
  UnlinkLocked(node);
  return bHangUp;
}

// The task is out of the list before its notify procedure hears of the
// release, so a close or run asked for from inside the notice finds nothing.
void ReleaseUnlinked(SC_TASK *node, bool bHangUp) {
  if (REQUEST_CONTEXT *ctx = node->pCtx) {
    const DWORD dwOutcome = ctx->dwResultFlags;
    if (const ZEMNOTIFYPROC pfnNotify = ctx->pfnNotify) {
      pfnNotify(ctx->pvNotifyData1, NOTIFY_RELEASED, ctx->pvNotifyData2,
                dwOutcome == SC_OUTCOME_SUCCESS ? 0 : static_cast<INT_PTR>(dwOutcome));
    }
    if (bHangUp) InternetAutodialHangup(0);
    FreeRecord(ctx);
  }
  ZemMemFree(&node);
}

}  // namespace

SC_TASK *FindTask(int nDocument) {
  std::lock_guard<std::mutex> hold(ListLock());
  return FindLocked(nDocument);
}

REQUEST_CONTEXT *FindRecord(int nDocument) {
  std::lock_guard<std::mutex> hold(ListLock());
  SC_TASK *node = FindLocked(nDocument);
  return node != nullptr ? node->pCtx : nullptr;
}

SC_TASK *BeginTaskRun(int nDocument) {
  std::lock_guard<std::mutex> hold(ListLock());
  SC_TASK *node = FindLocked(nDocument);
  if (node == nullptr || node->pCtx == nullptr) return nullptr;
  if (!BusyLocked().insert(node).second) {
    SetLastError(ERROR_BUSY);
    return nullptr;
  }
  return node;
}

void EndTaskRun(const SC_TASK *node) {
  std::lock_guard<std::mutex> hold(ListLock());
  BusyLocked().erase(node);
}

void NotifyTask(const REQUEST_CONTEXT *ctx, int nCode, INT_PTR nValue) {
  if (ctx == nullptr) return;
  REQUEST_CONTEXT *target = FindRecord(static_cast<int>(ctx->uDocument));
  if (target == nullptr) return;
  const ZEMNOTIFYPROC pfnNotify = target->pfnNotify;
  if (pfnNotify != nullptr) pfnNotify(target->pvNotifyData1, nCode, target->pvNotifyData2, nValue);
}

}  // namespace zem::upload

using namespace zem::upload;

int WINAPI ScraAddNewDoc(LPVOID *ppvData, LPVOID *ppvResponse, DWORD cbData, DWORD_PTR dwCallerValue, int nDocument,
                         INT_PTR pvNotifyData2) {
  if (nDocument < 1) return 0;
  SC_TASK *node = nullptr;
  if (ZemMemAlloc(&node, sizeof(SC_TASK)) != 0) return 0;
  node->uDocument = static_cast<DWORD>(nDocument);
  {
    std::lock_guard<std::mutex> hold(ListLock());
    if (FindLocked(nDocument) != nullptr || SomeTaskAwaitsItsRun()) {
      ZemMemFree(&node);
      return 0;
    }
    SC_TASK **ppLink = &gHead;
    while (*ppLink != nullptr) ppLink = &(*ppLink)->pNext;
    *ppLink = node;
  }
  REQUEST_CONTEXT *ctx = BuildRecord(ppvData, ppvResponse, cbData, dwCallerValue);
  if (ctx == nullptr) {
    std::lock_guard<std::mutex> hold(ListLock());
    UnlinkLocked(node);
    ZemMemFree(&node);
    return 0;
  }
  ctx->uDocument = static_cast<DWORD>(nDocument);
  ctx->hModule = GetModuleHandleA("ZEMHTTP.DLL");
  ctx->pvNotifyData2 = 0;
  ctx->cbRequestData = cbData;
  ctx->pvNotifyData2 = pvNotifyData2;
  ctx->hWnd = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));
  std::lock_guard<std::mutex> hold(ListLock());
  node->pCtx = ctx;
  return 1;
}

REQUEST_CONTEXT *WINAPI ScQueryRqCtxPtr(int nDocument) { return FindRecord(nDocument); }

LPVOID WINAPI ScQueryTuRspPtr(int nDocument) { return PublishedResponse(FindRecord(nDocument)); }

void WINAPI ScraSetClassNotifyProc(ZEMNOTIFYPROC pfnNotify, LPVOID pvNotifyData1, INT_PTR pvNotifyData2,
                                   int nDocument) {
  REQUEST_CONTEXT *ctx = FindRecord(nDocument);
  if (ctx == nullptr) return;
  ctx->pfnNotify = pfnNotify;
  ctx->pvNotifyData1 = pvNotifyData1;
  ctx->pvNotifyData2 = pvNotifyData2;
}

int WINAPI ScraGetMsgStr(LPSTR pszBuffer, int nLine, int nDocument) {
  REQUEST_CONTEXT *ctx = FindRecord(nDocument);
  if (ctx == nullptr || pszBuffer == nullptr) return 0;
  if (IsBadWritePtr(pszBuffer, SC_MSG_LINE_MAX + 1)) {
    SetLastError(ERROR_NOACCESS);
    return 0;
  }
  return CopyStatusLine(ctx, nLine, pszBuffer, SC_MSG_LINE_MAX);
}

int WINAPI ScraCloseTask(int nDocument) {
  SC_TASK *node = nullptr;
  bool bHangUp = false;
  {
    std::lock_guard<std::mutex> hold(ListLock());
    node = FindLocked(nDocument);
    if (node == nullptr) return 0;
    // A notify procedure or a window of the caller may ask during the task's
    // own run; the run still uses the record, so the release is refused.
    if (BusyLocked().count(node) != 0) {
      SetLastError(ERROR_BUSY);
      return 0;
    }
    bHangUp = UnlinkForRelease(node);
  }
  ReleaseUnlinked(node, bHangUp);
  return 1;
}
