// The internet session of a task: access type check, proxy method survey,
// the WinINet proxy query, the connection parameter lines and the open.
#include "upload/internet_open.h"

#include <cstdio>
#include <cstring>

#include "upload/record_fields.h"
#include "upload/status_callback.h"
#include "upload/status_display.h"
#include "upload/status_log.h"
#include "upload/task_list.h"

namespace zem::upload {
namespace {

constexpr char kAccessChars[] = "0134";
constexpr char kMethodLetters[] = "XMWJI3041";
constexpr size_t kLineSize = SC_MSG_SIZE;

enum Method { kSurvey, kConfigFile, kWinInet, kJsProxy, kIeSettings, kNamedProxy, kPreconfig, kNoAutoProxy, kDirect };

bool IsAccessChar(char ch) { return ch != '\0' && std::strchr(kAccessChars, ch) != nullptr; }

int MethodOf(char ch) {
  if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
  const char *p = ch != '\0' ? std::strchr(kMethodLetters, ch) : nullptr;
  return p != nullptr ? static_cast<int>(p - kMethodLetters) : -1;
}

char AccessDigit(DWORD dwAccessType) {
  return dwAccessType <= 9 ? static_cast<char>('0' + dwAccessType) : ' ';
}

void AccessTypeName(DWORD dwAccessType, char (&szName)[32]) {
  static const char *const kNames[] = {"Preconfig", "Direct", nullptr, "Named Proxy", "No AutoProxy"};
  if (dwAccessType < 5 && kNames[dwAccessType] != nullptr) {
    SysStrCopyN(szName, kNames[dwAccessType], sizeof szName - 1);
  } else {
    std::snprintf(szName, sizeof szName, "unknown(%u)", static_cast<unsigned>(dwAccessType));
  }
}

// Sets one text option on a handle when the text is valid, and logs the
// outcome. True when nothing was to be set or the set succeeded.
bool SetTextOption(REQUEST_CONTEXT *ctx, HINTERNET hInternet, DWORD dwOption, const char *pszText,
                   const char *pszName) {
  if (!IsUsableStr(pszText)) return true;
  const BOOL bSet = !RefusedForTheHead({pszText}) &&
                    InternetSetOptionA(hInternet, dwOption, const_cast<char *>(pszText),
                                       static_cast<DWORD>(std::strlen(pszText)));
  AddStatusLinef(ctx, kLineSize, "-- InternetSetOption(%s) [%s] ", pszName, ResultWord(bSet != FALSE));
  return bSet != FALSE;
}

void ConnectionParameterLines(REQUEST_CONTEXT *ctx) {
  if (ctx->chAccessType == '\0') ctx->chAccessType = ' ';
  char szName[32];
  AccessTypeName(ctx->dwAccessType, szName);
  AddStatusLinef(ctx, kLineSize, "-- InternetAccessType  [%s]", szName);
  AddStatusLinef(ctx, kLineSize, "-- Internet szAccess   [%c] ", ctx->chAccessType);
  AddStatusLinef(ctx, kLineSize, "-- Internet Cfg. modes [%s] ", UsableOrEmpty(ctx->pszProxyCfg));
  AddStatusLinef(ctx, kLineSize, "-- Internet Proxy Svrs [%s] ", UsableOrEmpty(ctx->pszProxyNames));
  AddStatusLinef(ctx, kLineSize, "-- Internet ProxyBypass[%s] ", UsableOrEmpty(ctx->pszProxyBypass));
  AddStatusLinef(ctx, kLineSize, "-- Internet Pxy AuthUsr[%s] ", UsableOrEmpty(ctx->pszProxyUser));
  AddStatusLinef(ctx, kLineSize, "-- Internet Pxy AuthPsw[%s] ", UsableOrEmpty(ctx->pszProxyPassword));
  AddStatusLinef(ctx, kLineSize, "-- Internet User Name  [%s] ", UsableOrEmpty(ctx->pszUserName));
  AddStatusLinef(ctx, kLineSize, "-- Internet User Pswd  [%s] ", UsableOrEmpty(ctx->pszPassword));
  AddStatusLinef(ctx, kLineSize, "-- Internet User Agent [%s] ", UsableOrEmpty(ctx->pszProxyUserAgent));
}

// The internet library's own proxy settings (a query on no handle). Only an
// answer that arrived is read: a failed query leaves the settings alone.
int ConfigProxyUsingWinInet(REQUEST_CONTEXT *ctx) {
  DWORD cbInfo = 0;
  InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, nullptr, &cbInfo);
  if (cbInfo < sizeof(INTERNET_PROXY_INFO)) cbInfo = sizeof(INTERNET_PROXY_INFO);
  char *pbInfo = nullptr;
  if (ZemMemAlloc(&pbInfo, cbInfo) != 0) {
    AddStatusLine(ctx, "-- InternetQueryOption could not allocate memory.");
    return 0;
  }
  const BOOL bQueried = InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, pbInfo, &cbInfo);
  if (!bQueried) {
    AddStatusLinef(ctx, kLineSize, "-- InternetQueryOption error = %d", static_cast<int>(GetLastError()));
  } else {
    INTERNET_PROXY_INFO info;
    std::memcpy(&info, pbInfo, sizeof info);
    if (info.dwAccessType == INTERNET_OPEN_TYPE_PROXY) {
      if (IsValidText(info.lpszProxy)) {
        ctx->dwAccessType = INTERNET_OPEN_TYPE_PROXY;
        ctx->pszProxyNames = ReplacedText(ctx->pszProxyNames, info.lpszProxy);
        const char *pszBypass = IsValidText(info.lpszProxyBypass) ? info.lpszProxyBypass : nullptr;
        ctx->pszProxyBypass = ReplacedText(ctx->pszProxyBypass, pszBypass);
        AddStatusLine(ctx, "-- InternetQueryOption (PROXY INFO), Succeeded");
      }
    } else {
      AddStatusLinef(ctx, kLineSize, "-- InternetQueryOption, InternetAccessType %d",
                     static_cast<int>(info.dwAccessType));
      ctx->dwAccessType = info.dwAccessType;
      ctx->chAccessType = AccessDigit(info.dwAccessType);
    }
  }
  ZemMemFree(&pbInfo);
  return bQueried ? 1 : 0;
}

// The auto-proxy library's answer for the task's host: the first entry of
// the script's answer becomes a named proxy, or direct access for DIRECT.
int ConfigProxyUsingJsProxy(REQUEST_CONTEXT *ctx) {
  static const pfnInternetGetProxyInfo pfnLookup = [] {
    HMODULE hJsProxy = LoadLibraryA("jsproxy.dll");
    return hJsProxy == nullptr ? nullptr
                               : reinterpret_cast<pfnInternetGetProxyInfo>(reinterpret_cast<void (*)()>(
                                     GetProcAddress(hJsProxy, "InternetGetProxyInfo")));
  }();
  if (pfnLookup == nullptr) {
    AddStatusLine(ctx, "-- AutoProxy using jsProxy.dll not available.");
    return 0;
  }
  char szHost[INTERNET_MAX_HOST_NAME_LENGTH + 1] = "";
  if (IsUsableStr(ctx->pszHostName)) SysStrCopyN(szHost, ctx->pszHostName, INTERNET_MAX_HOST_NAME_LENGTH);
  char szUrl[INTERNET_MAX_HOST_NAME_LENGTH + 16];
  std::snprintf(szUrl, sizeof szUrl, "http://%s/", szHost);
  LPSTR pszAnswer = nullptr;
  DWORD cbAnswer = 0;
  if (!pfnLookup(szUrl, static_cast<DWORD>(std::strlen(szUrl)), szHost, static_cast<DWORD>(std::strlen(szHost)),
                 &pszAnswer, &cbAnswer) ||
      pszAnswer == nullptr) {
    AddStatusLinef(ctx, kLineSize, "-- AutoProxy using jsProxy.dll failed, error = %d", static_cast<int>(GetLastError()));
    return 0;
  }
  AddStatusLinef(ctx, kLineSize, "-- AutoProxy using jsProxy.dll [%s]", pszAnswer);
  // "PROXY host:port; DIRECT": the first entry decides.
  char szProxy[INTERNET_MAX_HOST_NAME_LENGTH + 8] = "";
  if (std::sscanf(pszAnswer, " PROXY %263[^; ]", szProxy) == 1) {
    ctx->dwAccessType = INTERNET_OPEN_TYPE_PROXY;
    ctx->chAccessType = '3';
    ctx->pszProxyNames = ReplacedText(ctx->pszProxyNames, szProxy);
  } else {
    ctx->dwAccessType = INTERNET_OPEN_TYPE_DIRECT;
    ctx->chAccessType = '1';
  }
  LocalFree(pszAnswer);
  return 1;
}

// A method that names its access type outright: its status line, then the
// type as a number and as the character the settings use. Always succeeds.
int UseAccessType(REQUEST_CONTEXT *ctx, const char *pszLine, DWORD dwAccessType, char chAccessType) {
  AddStatusLine(ctx, pszLine);
  ctx->dwAccessType = dwAccessType;
  ctx->chAccessType = chAccessType;
  return 1;
}

// Applies the method letters of pszProxyCfg in order. Without "X" the first
// method that succeeds ends the survey; with "X" (while no session exists)
// every letter is applied and the last one's result counts.
int ProxyMethodSurvey(REQUEST_CONTEXT *ctx) {
  const char *pszCfg = ctx->pszProxyCfg;
  if (!IsUsableStr(pszCfg)) {
    ConnectionParameterLines(ctx);
    return 0;
  }
  int nResult = 0;
  bool bSurvey = false;
  for (const char *p = pszCfg; *p != '\0'; ++p) {
    switch (MethodOf(*p)) {
      case kSurvey:
        AddStatusLine(ctx, "-- Proxy configuation method survey activated.");
        bSurvey = ctx->hInternet == nullptr;
        break;
      case kConfigFile:
      case kNamedProxy:
        AddStatusLine(ctx, "-- Proxy settings loading from ZEM configuation file.");
        ctx->chAccessType = '3';
        nResult = AccessCheck(ctx);
        break;
      case kWinInet:
        nResult = ConfigProxyUsingWinInet(ctx);
        AddStatusLinef(ctx, kLineSize, "-- Proxy set from NULL handle using wininet [%s]", ResultWord(nResult != 0));
        break;
      case kJsProxy:
        nResult = ConfigProxyUsingJsProxy(ctx);
        break;
      case kIeSettings:
        AddStatusLine(ctx, "-- AutoProxy(I) using IE settings not available.");
        nResult = 0;
        break;
      case kPreconfig:
        nResult = UseAccessType(ctx, "-- Using registry proxy defaults.(''0'')", INTERNET_OPEN_TYPE_PRECONFIG, '0');
        break;
      case kNoAutoProxy:
        nResult = UseAccessType(ctx, "-- Using registry proxy defaults (NO AUTOPROXY).(''4'')",
                                INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, '4');
        break;
      case kDirect:
        nResult = UseAccessType(ctx, "-- Using Direct conection(NO PROXY).(''1'')", INTERNET_OPEN_TYPE_DIRECT, '1');
        break;
      default:
        break;
    }
    ConnectionParameterLines(ctx);
    if (p[1] == '\0' || (nResult != 0 && !bSurvey)) break;
  }
  return nResult;
}

// The server's last text for a failed open, as a status line. Returns whether
// there was one. The caller's last error is kept.
bool LogLastResponseText(REQUEST_CONTEXT *ctx) {
  const DWORD dwError = GetLastError();
  DWORD dwCode = 0, cchText = 0;
  InternetGetLastResponseInfoA(&dwCode, nullptr, &cchText);
  char *pszText = nullptr;
  if (cchText != 0 && cchText < 0xFFFFFFF0u && ZemMemAlloc(&pszText, cchText + 1) == 0) {
    DWORD cchBuffer = cchText + 1;
    if (InternetGetLastResponseInfoA(&dwCode, pszText, &cchBuffer)) AddStatusLine(ctx, pszText);
  }
  ZemMemFree(&pszText);
  SetLastError(dwError);
  return cchText != 0;
}

}  // namespace

const char *ResultWord(bool bSucceeded) { return bSucceeded ? "Succeeded" : "Failed   "; }

int AccessCheck(REQUEST_CONTEXT *ctx) {
  bool bUsable = true;
  if (!IsAccessChar(ctx->chAccessType)) {
    AddStatusLine(ctx, "-- Invalid or missing accessmode !");
    AddStatusLine(ctx, "--   Valid chProxyAccessType values are 0,1,3 or 4.");
    AddStatusLine(ctx, "--   0=Use Default. 1=Force Direct,4=Auto(no J-Script)");
    AddStatusLine(ctx, "--   3=Force Named proxy (MUST SUPPLY VALID PROXY SERVER NAME)");
    bUsable = false;
  } else if (ctx->chAccessType == '3' && !IsUsableStr(ctx->pszProxyNames)) {
    AddStatusLine(ctx, "--   szProxyNames must be set to use Named Proxy");
    AddStatusLine(ctx, "--     example --> \\proxy:8080");
    bUsable = false;
  }
  if (!bUsable) {
    ctx->chAccessType = '1';
    AddStatusLine(ctx, "--  Setting access to DIRECT");
  }
  bool bOptions = true;
  const HINTERNET hConnect = ctx->hConnect;
  if (ctx->hRequest != nullptr) {
    bOptions &= SetTextOption(ctx, hConnect, INTERNET_OPTION_PROXY_USERNAME, ctx->pszProxyUser, "PROXYUSERNAME");
    bOptions &= SetTextOption(ctx, hConnect, INTERNET_OPTION_PROXY_PASSWORD, ctx->pszProxyPassword, "PROXYPASSWORD");
  } else if (hConnect != nullptr) {
    bOptions &= SetTextOption(ctx, hConnect, INTERNET_OPTION_USER_AGENT, ctx->pszProxyUserAgent, "USERAGENT");
    bOptions &= SetTextOption(ctx, hConnect, INTERNET_OPTION_USERNAME, ctx->pszUserName, "USERNAME");
    bOptions &= SetTextOption(ctx, hConnect, INTERNET_OPTION_PASSWORD, ctx->pszPassword, "PASSWORD");
  } else if (ctx->hInternet == nullptr) {
    switch (ctx->chAccessType) {
      case '0': ctx->dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG; break;
      case '3': ctx->dwAccessType = INTERNET_OPEN_TYPE_PROXY; break;
      case '4': ctx->dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY; break;
      default: ctx->dwAccessType = INTERNET_OPEN_TYPE_DIRECT; break;
    }
    ctx->chAccessType = AccessDigit(ctx->dwAccessType);
  }
  return bUsable && bOptions ? 1 : 0;
}

HINTERNET OpenTaskInternet(HWND hWnd, DWORD *pdwError, REQUEST_CONTEXT *ctx, const char *pszAgent) {
  *pdwError = 0;
  if (ctx == nullptr) return nullptr;
  HINTERNET hInternet = nullptr;
  DWORD dwOpenError = 0;
  if (ctx->hInternetIn != nullptr) {
    AddStatusLine(ctx, "-- Internet Connection Handle passed in.");
    hInternet = ctx->hInternetIn;
  } else {
    if (IsAccessChar(ctx->chAccessType)) {
      AccessCheck(ctx);
    } else if (ProxyMethodSurvey(ctx) == 0) {
      ctx->dwAccessType = INTERNET_OPEN_TYPE_DIRECT;
    }
    if (ctx->dwAccessType == INTERNET_OPEN_TYPE_PROXY) {
      AddStatusLine(ctx, "-- Opening Internet using Proxy");
      if (!RefusedForTheHead({pszAgent, ctx->pszProxyNames, ctx->pszProxyBypass})) {
        hInternet = InternetOpenA(pszAgent, INTERNET_OPEN_TYPE_PROXY, ctx->pszProxyNames, ctx->pszProxyBypass,
                                  ctx->dwInetFlags);
      }
    } else {
      AddStatusLine(ctx, "-- Opening Internet using Direct Access");
      if (!RefusedForTheHead({pszAgent})) {
        hInternet = InternetOpenA(pszAgent, ctx->dwAccessType, nullptr, nullptr, ctx->dwInetFlags);
      }
    }
    dwOpenError = hInternet != nullptr ? 0 : GetLastError();
    if (hWnd == nullptr) ctx->bAsync = 0;
    if (ctx->bAsync) {
      ctx->dwRetryFlags = 0;
      if (hInternet != nullptr) {
        NotifyTask(ctx, NOTIFY_PROGRESS, 2);
        InternetSetStatusCallbackA(hInternet, UploadStatusCallback);
      } else {
        *pdwError = dwOpenError;
        SetLastError(dwOpenError);
        if (LogLastResponseText(ctx)) ctx->dwResultFlags = SC_OUTCOME_OPEN_RESPONSE;
        ctx->nResult = SC_RESULT_FAILED;
        StatusDisplay(ctx, kShowResult);
        StatusDisplay(ctx, kShowError);
        NotifyTask(ctx, NOTIFY_ERROR, static_cast<INT_PTR>(dwOpenError));
      }
    }
  }
  if (hInternet == nullptr) {
    AddStatusLine(ctx, "-- Error, no internet connection.");
    ctx->dwResultFlags = SC_OUTCOME_OPEN_FAILED;
    NotifyTask(ctx, NOTIFY_ERROR, static_cast<INT_PTR>(dwOpenError));
    ctx->nResult = SC_RESULT_FAILED;
    SetLastError(dwOpenError);
    StatusDisplay(ctx, kShowResult);
    StatusDisplay(ctx, kShowError);
    SetLastError(dwOpenError);
    return nullptr;
  }
  return hInternet;
}

}  // namespace zem::upload

HINTERNET WINAPI ScOpenInternet(HWND /*hWnd*/, DWORD *pdwError) {
  if (pdwError != nullptr && !IsBadWritePtr(pdwError, sizeof *pdwError)) *pdwError = 0;
  return nullptr;
}
