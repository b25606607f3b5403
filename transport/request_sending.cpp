// Sending one request: the request handle, the header list, Content-Length
// and the body.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "config/caller_text.h"
#include "transport/transport_support.h"

namespace {

constexpr DWORD kAddOrReplace = HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE;

// After a failed library call: the server's last response, when the library
// has one, replaces the operating-system code in the record and in the
// error notification.
DWORD AskLastResponse(CZemHttp &http, DWORD dwError, DWORD cchBuffer) {
  if (http.m_WinInet_InternetGetLastResponseInfoA == nullptr || http.pszMsg == nullptr) return dwError;
  DWORD dwResponseError = 0;
  if (http.m_WinInet_InternetGetLastResponseInfoA(&dwResponseError, http.pszMsg, &cchBuffer) &&
      dwResponseError != 0) {
    dwError = dwResponseError;
    http.SetError(static_cast<int>(dwError), http.pszMsg, static_cast<int>(GetLastError()));
  }
  return dwError;
}

}  // namespace

int CZemHttp::SendRequest(const char *pszObject) {
  LogPrintf("CZemHttp::SendRequest() - Started.");
  if (hConnect != nullptr && hRequest == nullptr) {
    LogPrintf("Creating HTTP Request");
    Notify(NOTIFY_STATUS_TEXT, NOTIFY_TO_STATUS, zem::TextValue("Creating HTTP Request"));
  } else if ((dwHandleReleaseMode & 1) != 0) {
    LogPrintf("Closing existing HTTP request handle");
    CloseInternetHandles(1);
  } else {
    LogPrintf("Existing HTTP request handle wil be resused");
  }
  // The object name is probed once: the log line and the open both go by it.
  const bool bObjectFaults = zem::IsFaultingStr(pszObject);
  LogPrintf("HttpOpenRequest - Opening resource %s", bObjectFaults ? "" : zem::UsableOrEmpty(pszObject));

  if (hConnect != nullptr) {
    const zem::FieldText<sizeof m_ZemProxyInfo.szUsrAgt> agent(m_ZemProxyInfo.szUsrAgt);
    if (zem::IsUsableStr(agent.sz) && !zem::IsUsableStr(pszUserAgent)) {
      ZemMemFree(&pszUserAgent);
      SysStrAssign(&pszUserAgent, agent.sz);
    }
    // A request handle kept from the last send (release bit 0 clear) is let
    // go here rather than sent again: the verb, object name and headers may
    // have changed since, and a handle no field refers to would stay open.
    if (hRequest != nullptr) {
      if (m_WinInet_InternetSetStatusCallbackA != nullptr) m_WinInet_InternetSetStatusCallbackA(hRequest, nullptr);
      CloseInternetHandle(&hRequest);
      hRequest = nullptr;
    }
    DWORD dwOpenError = 0;
    if (bObjectFaults) {
      // An object name that cannot be read is refused as the open's fault.
      dwOpenError = ERROR_NOACCESS;
    } else if (zem::BreaksTheHead(pszHttpVersion) || zem::BreaksTheHead(pszUserAgent)) {
      dwOpenError = ERROR_INVALID_PARAMETER;
    } else if (zem::IsMissingEntry(m_WinInet_HttpOpenRequestA)) {
      dwOpenError = GetLastError();
    } else {
      const char *pszName = pszObject;
      if (zem::IsUsableStr(pszName) && (pszName[0] == '/' || pszName[0] == '\\')) ++pszName;
      hRequest = m_WinInet_HttpOpenRequestA(hConnect, pszVerb, pszName, pszHttpVersion, pszUserAgent, nullptr,
                                            dwHttpFlags, 0);
      if (hRequest == nullptr) dwOpenError = GetLastError();
    }
    if (hRequest == nullptr) {
      SetError(static_cast<int>(dwOpenError), "CZemHttp::SendRequest - Failed calling HttpOpenRequestA, Error: %d.",
               0);
      dwOpenError = AskLastResponse(*this, dwOpenError, 256);
      Notify(NOTIFY_ERROR, NOTIFY_TO_RESULT | NOTIFY_TO_STATUS, static_cast<INT_PTR>(dwOpenError));
      return 0;
    }

    Notify(NOTIFY_STATUS_TEXT, NOTIFY_TO_STATUS, zem::TextValue("Setting Headers..."));
    for (ZEMHTTPHDR *pHeader = pHttpHeaders; pHeader != nullptr; pHeader = pHeader->pNext) {
      if (pHeader->dwModifiers == 0 || !zem::IsUsableStr(pHeader->pszName)) continue;
      const bool bValue = zem::IsUsableStr(pHeader->pszValue);
      const uint64_t cbLine =
          static_cast<uint64_t>(std::strlen(pHeader->pszName)) + (bValue ? std::strlen(pHeader->pszValue) : 0) + 3;
      char *pszLine = nullptr;
      DWORD dwHeaderError = 0;
      if (zem::BreaksTheHead(pHeader->pszName) || (bValue && zem::BreaksTheHead(pHeader->pszValue))) {
        // The library takes a block of several lines in one call: a line
        // break inside an entry would put a header line of the caller's data
        // on the wire. Such an entry is a header that cannot be set.
        dwHeaderError = ERROR_HTTP_INVALID_HEADER;
      } else if (cbLine > 0xFFFFFFFFu || ZemMemAlloc(&pszLine, static_cast<DWORD>(cbLine)) != 0) {
        dwHeaderError = ERROR_NOT_ENOUGH_MEMORY;
      } else {
        // "Name: value", or "Name:" alone, which removes that header.
        std::snprintf(pszLine, static_cast<size_t>(cbLine), bValue ? "%s: %s" : "%s:", pHeader->pszName,
                      bValue ? pHeader->pszValue : "");
        const DWORD dwModifiers = bValue ? pHeader->dwModifiers : HTTP_ADDREQ_FLAG_REPLACE;
        if (zem::IsMissingEntry(m_WinInet_HttpAddRequestHeadersA)) {
          dwHeaderError = GetLastError();
        } else if (!m_WinInet_HttpAddRequestHeadersA(hRequest, pszLine, static_cast<DWORD>(lstrlenA(pszLine)),
                                                     dwModifiers)) {
          dwHeaderError = GetLastError();
        }
      }
      // A header that cannot be set is recorded; the request goes on.
      if (dwHeaderError != 0) {
        SetError(static_cast<int>(dwHeaderError), "CZemHttp::SendRequest - Error(#%d) while setting a request header.",
                 0);
      }
      ZemMemFree(&pszLine);
    }
  }

  if (pvPostData != nullptr) {
    ZemMemFree(&pvRequest);
    cbRequest = 0;
    pvRequest = pvPostData;
    cbRequest = cbPostData;
    pvPostData = nullptr;
    cbPostData = 0;
  }
  if (hRequest == nullptr) return 0;

  // A length set by number never reaches past the body it describes.
  if (cbRequest > ZemMemSize(pvRequest)) cbRequest = ZemMemSize(pvRequest);

  if (m_WinInet_HttpAddRequestHeadersA != nullptr) {
    if (bNoContentLength != 0) {
      m_WinInet_HttpAddRequestHeadersA(hRequest, "Content-Length:", 15, HTTP_ADDREQ_FLAG_REPLACE);
    } else if (pvRequest != nullptr && cbRequest != 0) {
      char szLength[32];
      std::snprintf(szLength, sizeof szLength, "Content-Length: %u", static_cast<unsigned>(cbRequest));
      m_WinInet_HttpAddRequestHeadersA(hRequest, szLength, static_cast<DWORD>(lstrlenA(szLength)), kAddOrReplace);
    }
  }

  BOOL bSent = FALSE;
  if (!zem::IsMissingEntry(m_WinInet_HttpSendRequestA)) {
    bSent = m_WinInet_HttpSendRequestA(hRequest, nullptr, 0, pvRequest, cbRequest);
  }
  if (!bSent) {
    DWORD dwError = GetLastError();
    SetError(static_cast<int>(dwError), "CZemHttp::SendRequest - Failed in HttpSendRequestA, Error: %d.", 0);
    dwError = AskLastResponse(*this, dwError, 255);
    Notify(NOTIFY_ERROR, NOTIFY_TO_RESULT | NOTIFY_TO_STATUS, static_cast<INT_PTR>(dwError));
  }
  return bSent;
}
