// Releasing the client's internet handles, child before parent.
#include "ZemHttp.h"

int CZemHttp::CloseInternetHandle(void **phInternet) {
  // The slot address comes from a caller too: one that cannot be read holds
  // no handle to close.
  if (phInternet == nullptr || IsBadReadPtr(phInternet, sizeof *phInternet)) return 0;
  // Without a bound library there is nothing to close through; the caller
  // clears the slot all the same.
  if (m_WinInet_InternetCloseHandle == nullptr) return 0;
  return m_WinInet_InternetCloseHandle(*phInternet);
}

int CZemHttp::CloseInternetHandles(DWORD dwMask) {
  if (dwMask == 0) dwMask = 7;
  LogPrintf("CZemHttp::CloseInternetHandles( %d )", static_cast<int>(dwMask));
  int bReleased = 0;
  // The status callback is removed before the close so that no report
  // reaches a procedure for a handle the object no longer holds. Results are
  // not examined: the field is cleared in every case.
  auto release = [&](HINTERNET &hSlot, const char *pszLine) {
    LogAddLine(pszLine);
    if (m_WinInet_InternetSetStatusCallbackA != nullptr) m_WinInet_InternetSetStatusCallbackA(hSlot, nullptr);
    CloseInternetHandle(&hSlot);
    hSlot = nullptr;
    bReleased = 1;
  };
  if (hRequest != nullptr && (dwMask & 7) != 0) {
    release(hRequest, "CZemHttp::CloseInternetHandles - Closing request handle");
  }
  if (hConnect != nullptr && (dwMask & 6) != 0) {
    release(hConnect, "CZemHttp::CloseInternetHandles - Closing connection handle");
  }
  if (hOpen != nullptr && hOpenParam == nullptr && (dwMask & 4) != 0) {
    release(hOpen, "CZemHttp::CloseInternetHandles - Closing Internet handle");
  }
  return bReleased;
}
