// Construction, defaults and destruction of a client object, and its small
// state members.
#include <cstdio>
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "client/usable_str.h"

CZemHttp::CZemHttp(DWORD uDoc, DWORD uCompany, DWORD uConn, int bWinHttp) {
  SetDefaultUploadInfo();
  uDocument = uDoc;
  uCompanyID = uCompany;
  uConnection = uConn;
  bUseWinHttp = bWinHttp;
  if (bUseWinHttp != 0) {
    LoadWinHttp();
  } else {
    LoadWinInet();
  }
}

CZemHttp::CZemHttp() {
  SetDefaultUploadInfo();
  LoadWinInet();
}

int CZemHttp::SetDefaultUploadInfo() {
  // Runs on fresh storage only (from the constructors): owned pointers are
  // overwritten, not released. The bound table is not listed among the
  // defaults but must read null until a library is bound.
  m_WinInet_DetectAutoProxyUrl = nullptr;
  m_WinInet_HttpAddRequestHeadersA = nullptr;
  m_WinInet_HttpEndRequestA = nullptr;
  m_WinInet_HttpOpenRequestA = nullptr;
  m_WinInet_HttpQueryInfoA = nullptr;
  m_WinInet_HttpSendRequestA = nullptr;
  m_WinInet_HttpSendRequestExA = nullptr;
  m_WinInet_InternetCanonicalizeUrlA = nullptr;
  m_WinInet_InternetCrackUrl = nullptr;
  m_WinInet_InternetCreateUrlA = nullptr;
  m_WinInet_InternetCloseHandle = nullptr;
  m_WinInet_InternetConnectA = nullptr;
  m_WinInet_InternetErrorDlg = nullptr;
  m_WinInet_InternetGetCookieA = nullptr;
  m_WinInet_InternetGetCookieExA = nullptr;
  m_WinInet_InternetGetProxyInfo = nullptr;
  m_WinInet_InternetGetLastResponseInfoA = nullptr;
  m_WinInet_InternetInitializeAutoProxyDll = nullptr;
  m_WinInet_InternetOpenA = nullptr;
  m_WinInet_InternetQueryDataAvailable = nullptr;
  m_WinInet_InternetQueryOptionA = nullptr;
  m_WinInet_InternetReadFile = nullptr;
  m_WinInet_InternetReadFileExA = nullptr;
  m_WinInet_InternetSetCookieA = nullptr;
  m_WinInet_InternetSetOptionA = nullptr;
  m_WinInet_InternetSetStatusCallbackA = nullptr;
  m_WinInet_InternetStatusCallbackA = nullptr;
  m_WinInet_InternetWriteFile = nullptr;

  uDocument = 0;
  uCompanyID = 0;
  uConnection = 0;
  std::memset(szConnectionName, 0, sizeof szConnectionName);

  pszMsg = nullptr;
  ZemMemAlloc(&pszMsg, 4096);

  dwStatusCode = 0;
  dwLastOSError = 0;
  dwLastInetError = 0;
  dwMaxRetries = 1;
  dwHandleReleaseMode = 1;

  std::memset(szLastError, 0, sizeof szLastError);
  std::memset(&urlComponents, 0, sizeof urlComponents);

  pvResponse = nullptr;
  pvRequest = nullptr;
  pvPostData = nullptr;
  pvQueryData = nullptr;
  pvResponseHeaders = nullptr;
  pszScheme = nullptr;

  pszHttpVersion = nullptr;
  SysStrAssign(&pszHttpVersion, "HTTP/1.1");
  pszUserAgent = nullptr;
  SysStrAssign(&pszUserAgent, "ZEM Data Services");

  pszFileName = nullptr;
  pszHostName = nullptr;
  pszUrlPath = nullptr;
  pszUserName = nullptr;
  pszPassword = nullptr;
  pszObjectName = nullptr;
  cbRequest = 0;
  cbResponse = 0;
  cbQueryData = 0;
  cbResponseHeaders = 0;
  cbPostData = 0;
  nDumpLineWidth = 50;

  std::memset(&m_ZemProxyInfo, 0, sizeof m_ZemProxyInfo);
  m_ZemProxyInfo.chProxyAccessType = 'W';
  m_ZemProxyInfo.dwProxyAccessType = INTERNET_OPEN_TYPE_DIRECT;

  pszProxySection = nullptr;
  SysStrAssign(&pszProxySection, "PROXY");
  pszProxyIniFile = nullptr;
  SysStrAssign(&pszProxyIniFile, "ZEMPROXY.INI");

  pHttpHeaders = nullptr;
  bUseWinHttp = 0;
  bNoContentLength = 0;
  dwReceiveTimeout = 0;
  dwService = INTERNET_SERVICE_HTTP;
  dwInetFlags = 0;
  dwHttpFlags = 0;
  nPort = 0;
  pszVerb = ZemHttpVerbTable[ZEMHTTP_VERB_POST];

  hOpenParam = nullptr;
  hOpen = nullptr;
  hConnect = nullptr;
  hRequest = nullptr;
  hWndParent = nullptr;
  hJsProxy = nullptr;
  hWinInet = nullptr;
  pszModulePath = nullptr;
  pfnNotifyResult = nullptr;
  pfnNotifyStatus = nullptr;
  pvNotifyResultData = nullptr;
  pvNotifyStatusData = nullptr;

  // Growth 0: nothing is kept until the caller enables logging.
  ppszLogLines = nullptr;
  nLogLines = 0;
  nLogGrowBy = 0;
  nLogCapacity = 0;
  nLogMaxLines = 200;
  return 1;
}

CZemHttp::~CZemHttp() {
  ClearHttpHdrs(nullptr);
  // Children before parents; a caller-supplied internet handle stays open.
  CloseInternetHandles(7);
  if (hJsProxy != nullptr) FreeLibrary(hJsProxy);
  if (hWinInet != nullptr) FreeLibrary(hWinInet);
  hJsProxy = nullptr;
  hWinInet = nullptr;
  DeleteLogLines();
  ZemMemFree(&pszMsg);
  ZemMemFree(&pszModulePath);
  ZemMemFree(&pszProxySection);
  ZemMemFree(&pszProxyIniFile);
  ZemMemFree(&pvResponse);
  ZemMemFree(&pvRequest);
  ZemMemFree(&pvPostData);
  ZemMemFree(&pvQueryData);
  ZemMemFree(&pszScheme);
  ZemMemFree(&pszUserAgent);
  ZemMemFree(&pszHttpVersion);
  ZemMemFree(&pszFileName);
  ZemMemFree(&pszHostName);
  ZemMemFree(&pszUrlPath);
  ZemMemFree(&pszObjectName);
  ZemMemFree(&pszUserName);
  ZemMemFree(&pszPassword);
  ZemMemFree(&pvResponseHeaders);
}

int CZemHttp::CheckSystemAvailable() { return hWinInet != nullptr && m_WinInet_InternetOpenA != nullptr ? 1 : 0; }

int CZemHttp::IsConnected() { return hConnect != nullptr ? 1 : 0; }

DWORD CZemHttp::SetHandleReleaseMode(DWORD dwMode) {
  dwHandleReleaseMode = dwMode & 7;
  return dwHandleReleaseMode;
}

int CZemHttp::SetModulePath(const char *pszPath) {
  // A path that cannot be read is the fault the member reports as its
  // exception, before anything is logged or released.
  if (pszPath != nullptr && IsBadStringPtrA(pszPath, static_cast<UINT_PTR>(-1))) {
    dwLastOSError = ERROR_NOACCESS;
    std::snprintf(szLastError, sizeof szLastError, "CZemHttp::SetModulePath, exception, error#: %d",
                  static_cast<int>(dwLastOSError));
    return 0;
  }
  LogPrintf("CZemHttp::SetModulePath(%s)", zem::UsableOrEmpty(pszPath));
  ZemMemFree(&pszModulePath);
  if (pszPath != nullptr) {
    SysStrAssign(&pszModulePath, pszPath);
    if (pszModulePath != nullptr) SysNormalizePath(pszModulePath);
  }
  LogPrintf("CZemHttp::SetModulePath  - done.");
  return 1;
}
