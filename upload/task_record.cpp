// Building a task record with its defaults, the answer it publishes, and
// freeing what it owns.
#include "upload/task_record.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "upload/record_fields.h"
#include "upload/status_display.h"
#include "upload/status_log.h"

namespace zem::upload {
namespace {

constexpr char kDefaultAgent[] = "ZEM Data Services";
constexpr char kDefaultContentType[] = "Content-Type: application/x-www-form-urlencoded";
constexpr DWORD kDefaultInetFlags = INTERNET_FLAG_ASYNC;
// No cache write, TLS, keep-alive, and lenient about the certificate's dates
// and host name: the data-service servers the suite talks to are often
// reached under names their certificates do not carry.
constexpr DWORD kDefaultHttpFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE |
                                    INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                                    INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
static_assert(kDefaultHttpFlags == 0x04C03000, "default request flags");
constexpr INTERNET_PORT kDefaultPort = INTERNET_DEFAULT_HTTPS_PORT;

// The caller's data, or null when there is none that can be read.
const void *CallerData(LPVOID *ppvData, DWORD cbData) {
  if (ppvData == nullptr || cbData == 0 || IsBadReadPtr(ppvData, sizeof *ppvData)) return nullptr;
  const void *pvData = *ppvData;
  if (pvData == nullptr) return nullptr;
  if (IsBadReadPtr(pvData, cbData)) {
    SetLastError(ERROR_NOACCESS);
    return nullptr;
  }
  return pvData;
}

// Answers of tasks without a response address the library can write to: kept
// here, beside the record, until the next answer or the release.
std::mutex &KeptLock() {
  static std::mutex lock;
  return lock;
}

std::unordered_map<const REQUEST_CONTEXT *, LPVOID> &KeptAnswers() {
  static std::unordered_map<const REQUEST_CONTEXT *, LPVOID> kept;
  return kept;
}

LPVOID KeptAnswer(const REQUEST_CONTEXT *ctx) {
  std::lock_guard<std::mutex> hold(KeptLock());
  auto found = KeptAnswers().find(ctx);
  return found != KeptAnswers().end() ? found->second : nullptr;
}

// Replaces the kept answer; returns the one kept before.
LPVOID SwapKeptAnswer(const REQUEST_CONTEXT *ctx, LPVOID pvBlock) {
  std::lock_guard<std::mutex> hold(KeptLock());
  LPVOID pvOld = nullptr;
  auto found = KeptAnswers().find(ctx);
  if (found != KeptAnswers().end()) {
    pvOld = found->second;
    KeptAnswers().erase(found);
  }
  if (pvBlock != nullptr) KeptAnswers()[ctx] = pvBlock;
  return pvOld;
}

}  // namespace

REQUEST_CONTEXT *BuildRecord(LPVOID *ppvData, LPVOID *ppvResponse, DWORD cbData, DWORD_PTR dwCallerValue) {
  REQUEST_CONTEXT *ctx = nullptr;
  if (ZemMemAlloc(&ctx, sizeof(REQUEST_CONTEXT)) != 0) return nullptr;
  ctx->nStep = SC_STEP_OPENING_TASK;
  ctx->nResult = SC_RESULT_STARTED;
  ctx->dwCallerValue = dwCallerValue;
  ctx->cbRequestData = cbData;
  ctx->bClosed = 0;
  StatusDisplay(ctx, kShowTimeAndStep);
  StatusDisplay(ctx, kShowResult);

  char *pszMsg = nullptr;
  ZemMemAlloc(&pszMsg, SC_MSG_SIZE);
  ctx->pszMsg = pszMsg;

  SysStrCopyLimit(ctx->szUserAgent, kDefaultAgent, sizeof ctx->szUserAgent - 1);
  SysStrCopyLimit(ctx->szHttpVersion, "HTTP/1.1", sizeof ctx->szHttpVersion - 1);
  SysStrCopyLimit(ctx->szVerb, "POST", sizeof ctx->szVerb - 1);

  char **ppszHeaders = nullptr;
  if (ZemMemAlloc(&ppszHeaders, SC_HEADER_SLOTS * sizeof(char *)) == 0) {
    SysStrAssign(&ppszHeaders[1], kDefaultContentType);
  }
  ctx->ppszHeaders = ppszHeaders;

  ctx->bAsync = 0;
  ctx->nPort = kDefaultPort;
  ctx->dwService = INTERNET_SERVICE_HTTP;
  ctx->dwInetFlags = kDefaultInetFlags;
  ctx->dwHttpFlags = kDefaultHttpFlags;

  // The library sends its own copy; a failed allocation leaves no block and
  // the length as given.
  void *pvData = nullptr;
  if (ZemMemAlloc(&pvData, cbData) == 0) {
    if (const void *pvCaller = CallerData(ppvData, cbData)) std::memcpy(pvData, pvCaller, cbData);
  }
  ctx->pvRequestData = pvData;
  ctx->cbResponse = 0;
  // An address the answer could not be written to is not kept.
  if (ppvResponse != nullptr && !IsBadWritePtr(ppvResponse, sizeof *ppvResponse)) ctx->ppResponse = ppvResponse;

  ctx->nResult = SC_RESULT_SUCCESS;
  StatusDisplay(ctx, kShowResult);
  ctx->nStep = SC_STEP_CREATE_RECORDS;
  ctx->nResult = SC_RESULT_STARTED;
  StatusDisplay(ctx, kShowTimeAndStep);
  if (ctx->cbRequestData != 0) {
    ctx->nResult = SC_RESULT_SUCCESS;
  } else {
    ctx->nResult = SC_RESULT_FAILED;
    StatusDisplay(ctx, kShowError);
    ctx->dwResultFlags = SC_OUTCOME_NO_DATA;
  }
  StatusDisplay(ctx, kShowResult);
  return ctx;
}

void FreeRecord(REQUEST_CONTEXT *ctx) {
  if (ctx == nullptr) return;
  ClearStatusLog(ctx);
  ctx->nStatusCapacity = 0;
  // Every slot is freed, not only those before the first empty one: without
  // a host name slot 0 is empty while slot 1 holds the content type.
  if (char **ppszHeaders = ctx->ppszHeaders) {
    for (int i = 0; i < SC_HEADER_SLOTS; ++i) ZemMemFree(&ppszHeaders[i]);
    ctx->ppszHeaders = Released(ppszHeaders);
  }
  ctx->pvRespHeaders = Released(ctx->pvRespHeaders);
  ctx->pvTraceHeaders = Released(ctx->pvTraceHeaders);
  ctx->pvRequestData = Released(ctx->pvRequestData);
  ctx->pszProxyCfg = Released(ctx->pszProxyCfg);
  ctx->pszProxyNames = Released(ctx->pszProxyNames);
  ctx->pszProxyBypass = Released(ctx->pszProxyBypass);
  ctx->pszProxyUserAgent = Released(ctx->pszProxyUserAgent);
  ctx->pszProxyUser = Released(ctx->pszProxyUser);
  ctx->pszProxyPassword = Released(ctx->pszProxyPassword);
  ctx->pszHostName = Released(ctx->pszHostName);
  ctx->pszAppName = Released(ctx->pszAppName);
  ctx->pszFileName = Released(ctx->pszFileName);
  ctx->pszMsg = Released(ctx->pszMsg);
  ctx->pszCookie = Released(ctx->pszCookie);
  ctx->pszUserName = Released(ctx->pszUserName);
  ctx->pszPassword = Released(ctx->pszPassword);
  ctx->pszReserved1 = Released(ctx->pszReserved1);
  ctx->pszReserved2 = Released(ctx->pszReserved2);
  PublishResponse(ctx, nullptr, 0);
  ZemMemFree(&ctx);
}

LPVOID PublishedResponse(const REQUEST_CONTEXT *ctx) {
  if (ctx == nullptr) return nullptr;
  LPVOID *ppResponse = ctx->ppResponse;
  if (ppResponse != nullptr && !IsBadReadPtr(ppResponse, sizeof *ppResponse) && *ppResponse != nullptr) {
    return *ppResponse;
  }
  return KeptAnswer(ctx);
}

void PublishResponse(REQUEST_CONTEXT *ctx, LPVOID pvBlock, DWORD cb) {
  LPVOID pvKept = SwapKeptAnswer(ctx, nullptr);
  ZemMemFree(&pvKept);
  LPVOID *ppResponse = ctx->ppResponse;
  const bool bWritable = ppResponse != nullptr && !IsBadWritePtr(ppResponse, sizeof *ppResponse);
  // An answer held in the caller's pointer is the library's, whatever
  // cbResponse says (a caller may have reset it).
  if (bWritable && *ppResponse != nullptr) {
    LPVOID pvOld = *ppResponse;
    ZemMemFree(&pvOld);
    *ppResponse = nullptr;
  }
  if (pvBlock != nullptr) {
    if (bWritable) {
      *ppResponse = pvBlock;
    } else {
      SwapKeptAnswer(ctx, pvBlock);
    }
  }
  ctx->cbResponse = cb;
}

DWORD SendableLength(const REQUEST_CONTEXT *ctx) {
  const DWORD cbBlock = ZemMemSize(ctx->pvRequestData);
  const DWORD cb = ctx->cbRequestData;
  return cb < cbBlock ? cb : cbBlock;
}

}  // namespace zem::upload
