// The internet session: adopting a caller's handle, keeping the one held, or
// opening one with the access type the proxy record selects.
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "transport/transport_support.h"

namespace {

// The access type the method letter of the proxy record asks for, starting
// from the record's own number.
DWORD AccessTypeFor(CZemHttp &http) {
  const DWORD dwLetter = http.m_ZemProxyInfo.chProxyAccessType;
  switch (dwLetter) {
    case 'X':
    case 'I':
    case 'W':
      // The library's own configuration decides; 0 when it cannot be read.
      return static_cast<DWORD>(http.ConfigProxyUsingWinInet());
    case 'J':
      if (zem::IsUsableStr(http.pszHostName)) {
        // The lookup is asked for the record; its answer changes no setting.
        http.AttemptAutoProxyUrl(http.pszHostName);
      }
      return http.m_ZemProxyInfo.dwProxyAccessType;
    case '3': {
      const zem::FieldText<sizeof http.m_ZemProxyInfo.szProxyNames> names(http.m_ZemProxyInfo.szProxyNames);
      return names.sz[0] != '\0' ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT;
    }
    default:
      // The digits of "0134" are the access type numbers themselves.
      if (dwLetter < 0x100 && dwLetter != 0 && std::strchr("0134", static_cast<int>(dwLetter)) != nullptr) {
        return dwLetter - '0';
      }
      return http.m_ZemProxyInfo.dwProxyAccessType;
  }
}

}  // namespace

HINTERNET CZemHttp::OpenInternet(HINTERNET hInternet) {
  zem::PutMsg(*this, "Establishing an internet connection");
  Notify(NOTIFY_PROGRESS, NOTIFY_TO_RESULT | NOTIFY_TO_STATUS, 1);
  LogPrintf("CZemHttp::OpenInternet( %lX)", zem::PointerValue(hInternet));

  if (hOpenParam != nullptr) {
    // A caller's handle, once adopted, serves the object for good.
    hOpen = hOpenParam;
    if (hInternet != nullptr) LogPrintf("Internet handle already set, parameter ignored.");
    if ((dwHandleReleaseMode & 4) != 0) {
      LogPrintf("Handle release not allowed for existing hOpen, changed!");
      dwHandleReleaseMode &= 3;
    }
    zem::PutMsg(*this, "Using existing internet handle");
    return hOpenParam;
  }

  if (hInternet != nullptr) {
    if ((dwHandleReleaseMode & 4) != 0) {
      LogPrintf("Handle release mode not allows InternetOpen called with hOpen parameter.");
      dwHandleReleaseMode &= 3;
    }
    // A handle the object opened itself would be left open with no field
    // referring to it; it goes, with the connection and request made on it.
    if (hOpen != nullptr) CloseInternetHandles(4);
    hOpenParam = hInternet;
    hOpen = hInternet;
    LogPrintf("Internet handle set from parmeter.");
    Notify(NOTIFY_PROGRESS, NOTIFY_TO_RESULT | NOTIFY_TO_STATUS, 9);
    return hInternet;
  }

  if (hOpen == nullptr) {
    LogPrintf("Creating Internet handle");
  } else if ((dwHandleReleaseMode & 4) != 0) {
    LogPrintf("Closing existing Internet conn handle");
    CloseInternetHandles(4);
  } else {
    LogPrintf("Existing Internet connection resused");
    return hOpen;
  }

  const DWORD dwAccessType = AccessTypeFor(*this);
  DWORD dwOpenError = 0;
  if (dwAccessType == INTERNET_OPEN_TYPE_PROXY) {
    LogPrintf("Opening Internet using Proxy");
    Notify(NOTIFY_PROGRESS, NOTIFY_TO_STATUS, 9);
    const zem::FieldText<sizeof m_ZemProxyInfo.szProxyNames> names(m_ZemProxyInfo.szProxyNames);
    const zem::FieldText<sizeof m_ZemProxyInfo.szProxyBypass> bypass(m_ZemProxyInfo.szProxyBypass);
    if (zem::BreaksTheHead(pszUserAgent) || zem::BreaksTheHead(names.sz) || zem::BreaksTheHead(bypass.sz)) {
      SetLastError(ERROR_INVALID_PARAMETER);
    } else if (!zem::IsMissingEntry(m_WinInet_InternetOpenA)) {
      hOpen = m_WinInet_InternetOpenA(pszUserAgent, INTERNET_OPEN_TYPE_PROXY, names.sz, bypass.sz, dwInetFlags);
    }
  } else {
    LogPrintf("Opening Internet using Direct Access");
    if (zem::BreaksTheHead(pszUserAgent)) {
      SetLastError(ERROR_INVALID_PARAMETER);
    } else if (!zem::IsMissingEntry(m_WinInet_InternetOpenA)) {
      hOpen = m_WinInet_InternetOpenA(pszUserAgent, dwAccessType, nullptr, nullptr, dwInetFlags);
    }
  }
  if (hOpen != nullptr) {
    LogPrintf("Internet handle established. Ready to connect.");
    Notify(NOTIFY_PROGRESS, NOTIFY_TO_RESULT | NOTIFY_TO_STATUS, 2);
    return hOpen;
  }
  // The open's own error, kept before the description is asked for: that
  // query reports its own success through the last error.
  dwOpenError = GetLastError();

  LogPrintf("A connectiion to the internet cannot be established");
  LogPrintf("Trying to get extended error information");
  DWORD dwInfoError = 0;
  if (m_WinInet_InternetGetLastResponseInfoA != nullptr) {
    DWORD cchInfo = 0;
    m_WinInet_InternetGetLastResponseInfoA(&dwInfoError, nullptr, &cchInfo);
    char *pszInfo = nullptr;
    if (cchInfo != 0 && cchInfo < 0xFFFFFFFFu && ZemMemAlloc(&pszInfo, cchInfo + 1) == 0) {
      if (m_WinInet_InternetGetLastResponseInfoA(&dwInfoError, pszInfo, &cchInfo)) {
        LogPrintf("%s", pszInfo);
        SetError(static_cast<int>(dwInfoError), pszInfo, static_cast<int>(dwOpenError));
      }
    }
    ZemMemFree(&pszInfo);
  }
  SetError(static_cast<int>(dwInfoError), "CZemHttp::OpenInternet - Unknown Exception (%d)",
           static_cast<int>(dwOpenError));
  Notify(NOTIFY_ERROR, NOTIFY_TO_RESULT | NOTIFY_TO_STATUS,
         static_cast<INT_PTR>(dwInfoError != 0 ? dwInfoError : dwOpenError));
  return nullptr;
}
