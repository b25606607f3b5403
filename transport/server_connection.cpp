// The connection to the server of the current URL, with its credentials,
// receive time-out and proxy credentials.
#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "transport/transport_support.h"

int CZemHttp::InternetMakeConnection(HINTERNET hInternet) {
  LogPrintf("CZemHttp::InternetMakeConnection - Opening %s", zem::UsableOrEmpty(pszHostName));
  if (hConnect != nullptr) {
    if ((dwHandleReleaseMode & 2) == 0) {
      LogPrintf("CZemHttp::InternetMakeConnection - Connection releasemode is off, reusing connection.");
      return 1;
    }
    CloseInternetHandles(2);
  }

  DWORD dwError = 0;
  if (hInternet == nullptr) {
    // The message names the fault; the outcome below adds nothing to it.
    SetError(ERROR_INVALID_PARAMETER, "CZemHttp::InternetMakeConnection - Valid internet handle must be passed in", 0);
  } else {
    if (m_ZemProxyInfo.bInitialized != 0) {
      // Credentials set explicitly win; once copied, the settings file's stay
      // in the fields for later runs.
      const zem::FieldText<sizeof m_ZemProxyInfo.szUserName> user(m_ZemProxyInfo.szUserName);
      const zem::FieldText<sizeof m_ZemProxyInfo.szPassWord> password(m_ZemProxyInfo.szPassWord);
      if (!zem::IsUsableStr(pszUserName) && zem::IsUsableStr(user.sz)) {
        LogPrintf("CZemHttp::InternetMakeConnection - Using Http Username from settings file");
        ZemMemFree(&pszUserName);
        SysStrAssign(&pszUserName, user.sz);
      }
      if (!zem::IsUsableStr(pszPassword) && zem::IsUsableStr(password.sz)) {
        LogPrintf("CZemHttp::InternetMakeConnection - Using Http password from settings file");
        ZemMemFree(&pszPassword);
        SysStrAssign(&pszPassword, password.sz);
      }
    }
    if (zem::BreaksTheHead(pszHostName) || zem::BreaksTheHead(pszUserName) || zem::BreaksTheHead(pszPassword)) {
      SetLastError(ERROR_INVALID_PARAMETER);
    } else if (!zem::IsMissingEntry(m_WinInet_InternetConnectA)) {
      hConnect = m_WinInet_InternetConnectA(hInternet, pszHostName, nPort, pszUserName, pszPassword, dwService,
                                            dwInetFlags, 0);
    }
    if (hConnect == nullptr) dwError = GetLastError();
  }

  if (hConnect != nullptr && dwReceiveTimeout != 0) {
    LogPrintf("CZemHttp::InternetMakeConnection - Setting Receive Timeout to %d on hConnect(%8.8lX).",
              static_cast<int>(dwReceiveTimeout), zem::PointerValue(hConnect));
    BOOL bSet = FALSE;
    if (m_WinInet_InternetSetOptionA != nullptr) {
      bSet = m_WinInet_InternetSetOptionA(hConnect, INTERNET_OPTION_RECEIVE_TIMEOUT, &dwReceiveTimeout,
                                          sizeof dwReceiveTimeout);
    }
    LogPrintf("CZemHttp::InternetMakeConnection - Setting Receive Timeout %s", zem::OutcomeWord(bSet));
  }

  if (hConnect != nullptr && m_ZemProxyInfo.bInitialized != 0) {
    const zem::FieldText<sizeof m_ZemProxyInfo.szProxyUser> proxyUser(m_ZemProxyInfo.szProxyUser);
    const zem::FieldText<sizeof m_ZemProxyInfo.szProxyPswd> proxyPassword(m_ZemProxyInfo.szProxyPswd);
    int nOptions = 0;
    BOOL bAll = TRUE;
    auto setOption = [&](DWORD dwOption, const char *pszValue) {
      if (!zem::IsUsableStr(pszValue)) return;
      ++nOptions;
      BOOL bSet = FALSE;
      if (m_WinInet_InternetSetOptionA != nullptr) {
        bSet = m_WinInet_InternetSetOptionA(hConnect, dwOption, const_cast<char *>(pszValue),
                                            static_cast<DWORD>(lstrlenA(pszValue)));
      }
      bAll = bAll && bSet;
    };
    setOption(INTERNET_OPTION_PROXY_USERNAME, proxyUser.sz);
    setOption(INTERNET_OPTION_PROXY_PASSWORD, proxyPassword.sz);
    if (nOptions != 0) {
      LogPrintf("CZemHttp::InternetMakeConnection setting %d proxy options %s", nOptions, zem::OutcomeWord(bAll));
    }
  }

  if (hConnect == nullptr) {
    // A code of 0 leaves the error already recorded.
    SetError(static_cast<int>(dwError), "CZemHttp::InternetMakeConnection - Failed Error: %d.", 0);
    if (dwError != 0 && m_WinInet_InternetGetLastResponseInfoA != nullptr && pszMsg != nullptr) {
      DWORD dwResponseError = 0;
      DWORD cchResponse = 256;
      if (m_WinInet_InternetGetLastResponseInfoA(&dwResponseError, pszMsg, &cchResponse)) {
        // An empty answer with no number would clear the record instead of
        // adding to it.
        if (dwResponseError != 0 || pszMsg[0] != '\0') {
          SetError(static_cast<int>(dwResponseError), pszMsg, static_cast<int>(GetLastError()));
        }
        Notify(NOTIFY_ERROR, NOTIFY_TO_RESULT | NOTIFY_TO_STATUS, static_cast<INT_PTR>(dwResponseError));
      }
    }
  } else {
    LogPrintf("CZemHttp::InternetMakeConnection - Connected.");
    Notify(NOTIFY_PROGRESS, NOTIFY_TO_RESULT | NOTIFY_TO_STATUS, 9);
  }
  return IsConnected();
}
