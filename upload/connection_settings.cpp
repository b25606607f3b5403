// ScSetConnStrings and ScSetConnDWord: a task's text and number settings, each
// confirmed by a status log line.
#include <cstdio>
#include <cstring>

#include "upload/record_fields.h"
#include "upload/status_log.h"
#include "upload/task_list.h"

using namespace zem::upload;

namespace {

constexpr size_t kStringLineSize = 256;
constexpr size_t kNumberLineSize = 80;

// Selector 1 joins a folder and a name: a stored name without "." that ends
// in "/" is a folder, and a new name with "." goes into it.
char *JoinedFileName(char *pszOld, const char *pszText) {
  const bool bFolder = pszOld != nullptr && std::strchr(pszOld, '.') == nullptr && pszOld[0] != '\0' &&
                       pszOld[std::strlen(pszOld) - 1] == '/';
  if (!bFolder || std::strchr(pszText, '.') == nullptr) return ReplacedText(pszOld, pszText);
  const size_t cbFolder = std::strlen(pszOld), cbName = std::strlen(pszText);
  char *pszJoined = nullptr;
  if (cbFolder + cbName >= 0xFFFFFFF0u || ZemMemAlloc(&pszJoined, static_cast<DWORD>(cbFolder + cbName + 1)) != 0) {
    return pszOld;
  }
  std::memcpy(pszJoined, pszOld, cbFolder);
  std::memcpy(pszJoined + cbFolder, pszText, cbName + 1);
  ZemMemFree(&pszOld);
  return pszJoined;
}

// The "HOST: " header line in slot 0.
void SetHostHeader(REQUEST_CONTEXT *ctx, const char *pszHost) {
  char **ppszHeaders = ctx->ppszHeaders;
  if (ppszHeaders == nullptr) return;
  char szLocal[SC_MSG_SIZE];
  char *pszLine = ctx->pszMsg != nullptr ? ctx->pszMsg : szLocal;
  std::snprintf(pszLine, SC_MSG_SIZE, "HOST: %s", pszHost);
  ppszHeaders[0] = ReplacedText(ppszHeaders[0], pszLine);
}

// The first empty slot among 1 to 9, or -1.
int FreeHeaderSlot(const REQUEST_CONTEXT *ctx) {
  char **ppszHeaders = ctx->ppszHeaders;
  if (ppszHeaders == nullptr) return -1;
  for (int i = 1; i < SC_HEADER_SLOTS; ++i) {
    if (ppszHeaders[i] == nullptr) return i;
  }
  return -1;
}

}  // namespace

int WINAPI ScSetConnStrings(int nDocument, int nSelector, LPCSTR pszText) {
  if (!IsValidText(pszText)) {
    if (IsTextAddress(pszText) && IsBadStringPtrA(pszText, static_cast<UINT_PTR>(-1))) SetLastError(ERROR_NOACCESS);
    return 0;
  }
  REQUEST_CONTEXT *ctx = FindRecord(nDocument);
  if (ctx == nullptr || nSelector < 0 || nSelector > SC_STR_ADD_HEADER) return 0;
  const char *pszLine = nullptr;
  switch (nSelector) {
    case SC_STR_USER_AGENT:
      SysStrCopyLimit(ctx->szUserAgent, pszText, sizeof ctx->szUserAgent - 1);
      pszLine = "-- Internet User Agent set to %s";
      break;
    case SC_STR_FILE_NAME:
      ctx->pszFileName = JoinedFileName(ctx->pszFileName, pszText);
      AddStatusLinef(ctx, kStringLineSize, "-- Upload FILE name set to %s", UsableOrEmpty(ctx->pszFileName));
      return 1;
    case SC_STR_HOST_NAME:
      ctx->pszHostName = ReplacedText(ctx->pszHostName, pszText);
      SetHostHeader(ctx, pszText);
      pszLine = "-- Upload Host name set to %s";
      break;
    case SC_STR_HTTP_VERSION:
      SysStrCopyLimit(ctx->szHttpVersion, pszText, sizeof ctx->szHttpVersion - 1);
      pszLine = "-- HTTP version string %s";
      break;
    case SC_STR_VERB:
      SysStrCopyLimit(ctx->szVerb, pszText, sizeof ctx->szVerb - 1);
      pszLine = "-- Internet Verb set to %s";
      break;
    case SC_STR_ACCESS_CHAR:
      ctx->chAccessType = pszText[0];
      pszLine = "-- Proxy Access type (char) %s.";
      break;
    case SC_STR_PROXY_CFG:
      ctx->pszProxyCfg = ReplacedText(ctx->pszProxyCfg, pszText);
      pszLine = "-- Proxy configuration string = %s.";
      break;
    case SC_STR_PROXY_NAMES:
      ctx->pszProxyNames = ReplacedText(ctx->pszProxyNames, pszText);
      pszLine = "-- Proxy name(s) set to %s.";
      break;
    case SC_STR_PROXY_BYPASS:
      ctx->pszProxyBypass = ReplacedText(ctx->pszProxyBypass, pszText);
      pszLine = "-- Proxy bypass name(s) set to %s.";
      break;
    case SC_STR_PROXY_USER_AGENT:
      ctx->pszProxyUserAgent = ReplacedText(ctx->pszProxyUserAgent, pszText);
      pszLine = "-- Proxy User Agent Name set to %s.";
      break;
    case SC_STR_PROXY_USER:
      ctx->pszProxyUser = ReplacedText(ctx->pszProxyUser, pszText);
      pszLine = "-- Proxy server User Name set to %s.";
      break;
    case SC_STR_PROXY_PASSWORD:
      ctx->pszProxyPassword = ReplacedText(ctx->pszProxyPassword, pszText);
      pszLine = "-- Proxy server password set to %s.";
      break;
    case SC_STR_USER_NAME:
    case 14:
      ctx->pszUserName = ReplacedText(ctx->pszUserName, pszText);
      pszLine = "-- Internet Username set to %s.";
      break;
    case SC_STR_PASSWORD:
    case 15:
      ctx->pszPassword = ReplacedText(ctx->pszPassword, pszText);
      pszLine = "-- Internet password set to %s.";
      break;
    case SC_STR_COOKIE:
      ctx->pszCookie = ReplacedText(ctx->pszCookie, pszText);
      pszLine = "-- Cookie forced to %s.";
      break;
    case SC_STR_APP_NAME:
      ctx->pszAppName = ReplacedText(ctx->pszAppName, pszText);
      pszLine = "-- Server Application name set to %s";
      break;
    case SC_STR_ADD_HEADER: {
      const int nSlot = FreeHeaderSlot(ctx);
      if (nSlot < 0) return 0;
      ctx->ppszHeaders[nSlot] = ReplacedText(nullptr, pszText);
      pszLine = "-- Header Added: %s";
      break;
    }
  }
  AddStatusLinef(ctx, kStringLineSize, pszLine, pszText);
  return 1;
}

int WINAPI ScSetConnDWord(int nDocument, int nSelector, DWORD dwValue) {
  REQUEST_CONTEXT *ctx = FindRecord(nDocument);
  if (ctx == nullptr || nSelector < 0 || nSelector > SC_DW_ASYNC) return 0;
  const char *pszLine = nullptr;
  switch (nSelector) {
    case SC_DW_HTTP_FLAGS:
      ctx->dwHttpFlags = dwValue;
      pszLine = "-- Upload Server HTTP Flags set to %d.";
      break;
    case SC_DW_INET_FLAGS:
      ctx->dwInetFlags = dwValue;
      pszLine = "-- Upload Server connection Flags set to %d.";
      break;
    case SC_DW_PORT:
      ctx->nPort = static_cast<WORD>(dwValue & 0xFFFF);
      pszLine = "-- Upload Server port set to %d.";
      break;
    case SC_DW_SERVICE:
      ctx->dwService = dwValue;
      pszLine = "-- Upload Server service type set to %d.";
      break;
    case SC_DW_DATA_LENGTH:
      // Stored as given; a request never sends more than the data block
      // holds (SendableLength).
      ctx->cbRequestData = dwValue;
      pszLine = "-- Upload Server service Size set to %d.";
      break;
    case SC_DW_ACCESS_TYPE:
      ctx->dwAccessType = dwValue;
      pszLine = "-- Proxy access type set to (DWORD)%d.";
      break;
    case SC_DW_ASYNC:
      ctx->bAsync = static_cast<BOOL>(dwValue);
      pszLine = "-- Asychronous Flag: %d.";
      break;
  }
  AddStatusLinef(ctx, kNumberLineSize, pszLine, static_cast<int>(dwValue));
  return 1;
}
