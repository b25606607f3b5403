// Proxy discovery: the internet library's own proxy configuration, and the
// automatic proxy lookup of the auto-proxy library.
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "config/caller_text.h"

namespace {

constexpr int kProxyListMax = 259;  // characters of szProxyNames and szProxyBypass

}  // namespace

int CZemHttp::ConfigProxyUsingWinInet() {
  LogAddLine("CZemHttp::ConfigProxyUsingWinInet()");
  // Calling through a missing entry is the fault this member reports as an
  // unknown exception.
  if (m_WinInet_InternetQueryOptionA == nullptr) {
    SetError(ERROR_PROC_NOT_FOUND, "CZemHttp::ConfigProxyUsingWinInet() - Unknown Exception (%d)", 0);
    return 0;
  }
  // Sizing query: only "buffer too small" with a size means there is an
  // answer to fetch; anything else is a configuration that cannot be read,
  // which is not an error of the client.
  DWORD cbInfo = 0;
  if (m_WinInet_InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, nullptr, &cbInfo) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || cbInfo == 0) {
    return 0;
  }
  // The block is never smaller than the record itself, so a library that
  // reports a short size cannot make the record's members read past it.
  void *pvInfo = nullptr;
  const DWORD cbBlock = cbInfo < sizeof(INTERNET_PROXY_INFO) ? static_cast<DWORD>(sizeof(INTERNET_PROXY_INFO)) : cbInfo;
  if (const DWORD dwStatus = ZemMemAlloc(&pvInfo, cbBlock)) {
    SetLastError(dwStatus);
    SetError(static_cast<int>(GetLastError()), "CZemHttp::ConfigProxyUsingWinInet() - Memory allocation error", 8);
    return 0;
  }
  if (!m_WinInet_InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, pvInfo, &cbInfo)) {
    SetError(static_cast<int>(GetLastError()), "CZemHttp::ConfigProxyUsingWinInet() when calling InternetQueryOption",
             87);
    ZemMemFree(&pvInfo);
    return 0;
  }
  const auto *pInfo = static_cast<const INTERNET_PROXY_INFO *>(pvInfo);
  m_ZemProxyInfo.bInitialized = 1;
  m_ZemProxyInfo.dwProxyAccessType = pInfo->dwAccessType;
  const int nResult = static_cast<int>(pInfo->dwAccessType);
  // Only a named proxy replaces the lists; direct or preconfigured access
  // leaves them as they were.
  if (pInfo->dwAccessType == INTERNET_OPEN_TYPE_PROXY && zem::IsUsableStr(pInfo->lpszProxy)) {
    SysStrCopyN(m_ZemProxyInfo.szProxyNames, pInfo->lpszProxy, kProxyListMax);
    SysStrCopyN(m_ZemProxyInfo.szProxyBypass, pInfo->lpszProxyBypass, kProxyListMax);
    LogAddLine("Named proxy established.");
  }
  LogAddLine("InternetQueryOption( INTERNET_OPTION_PROXY ) - Succeeded");
  ZemMemFree(&pvInfo);
  return nResult;
}

int CZemHttp::AttemptAutoProxyUrl(char *pszHost) {
  LogAddLine("CZemHttp::AttemptAutoProxyUrl()");
  DWORD dwError = 0;
  // Loaded once per object and kept until destruction. A library without the
  // lookup stays loaded and is not asked again.
  if (hJsProxy == nullptr && m_WinInet_InternetGetProxyInfo == nullptr) {
    hJsProxy = LoadLibraryA("jsproxy.dll");
    if (hJsProxy == nullptr) {
      dwError = GetLastError();
      SetError(static_cast<int>(dwError), "CZemHttp::AttemptAutoProxy - LoadLibrary failed to load jsproxy.dll with error: %d.",
               0);
      return 0;
    }
    m_WinInet_InternetGetProxyInfo = reinterpret_cast<pfnInternetGetProxyInfo>(
        reinterpret_cast<void (*)()>(GetProcAddress(hJsProxy, "InternetGetProxyInfo")));
    if (m_WinInet_InternetGetProxyInfo == nullptr) {
      dwError = GetLastError();
      SetError(static_cast<int>(dwError),
               "CZemHttp::AttemptAutoProxy - LoadLibrary failed to find address of \"InternetGetProxyInfo\", error: %d.",
               0);
      return 0;
    }
  }
  if (m_WinInet_InternetGetProxyInfo != nullptr) {
    // A host that cannot be read is not handed on: the library would fault
    // reading it.
    char *pszAsked = !zem::IsUnreadableStr(pszHost) && zem::IsUsableStr(pszHost) ? pszHost : nullptr;
    const DWORD cchHost = pszAsked != nullptr ? static_cast<DWORD>(lstrlenA(pszAsked)) : 0;
    LPSTR pszAnswer = nullptr;
    DWORD cbAnswer = 0;
    // A failure that sets no error is told apart from one that does.
    SetLastError(0);
    const BOOL bOk = m_WinInet_InternetGetProxyInfo(pszAsked, cchHost, pszAsked, cchHost, &pszAnswer, &cbAnswer);
    if (!bOk || cbAnswer == 0) {
      dwError = GetLastError();
      if (dwError != 0) {
        SetError(static_cast<int>(dwError), "CZemHttp::AttemptAutoProxy - Error in call of InternetGEtProxyInfo, error: %d.",
                 0);
      } else {
        LogAddLine("CZemHttp:AttemptAutoProxyUrl - completed without error, but with no results");
      }
    }
    // The answer changes no setting; it belongs to the caller of the lookup,
    // which releases it with the local-memory free the library allocated
    // it for.
    if (pszAnswer != nullptr) LocalFree(pszAnswer);
  }
  return dwError == 0 ? 1 : 0;
}
