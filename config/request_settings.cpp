// Request settings: texts and numbers by selector, the HTTP credentials, the
// single-purpose setters and the two notification procedures.
#include <cstdint>
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "config/caller_text.h"

namespace {

// Selectors of SetHttpStr; the gaps are unassigned and refused.
enum StrSelector : DWORD {
  kStrUserAgent = 0,
  kStrFileName = 1,
  kStrHostName = 2,
  kStrHttpVersion = 3,
  kStrVerb = 4,
  kStrProxyMethod = 5,
  kStrProxyNames = 7,
  kStrProxyBypass = 8,
  kStrProxyUser = 10,
  kStrSettingsPassword = 11,
  kStrSettingsUser = 12,
  kStrProxyPassword = 13,
  kStrUrlPath = 17,
  kStrHeaderLine = 18,
};

// Selectors of SetHttpDWS.
enum DwsSelector : DWORD {
  kDwsHttpFlags = 0,
  kDwsInetFlags = 1,
  kDwsPort = 2,
  kDwsService = 3,
  kDwsRequestLength = 4,
  kDwsProxyAccessType = 5,
  kDwsReceiveTimeout = 7,
  kDwsMaxRetries = 8,
};

constexpr int kHeaderLineMax = 259;   // characters of a header line looked at
constexpr int kHeaderBlanksMax = 10;  // blanks skipped after the colon
constexpr int kPasswordMaskMax = 255;

// Replaces a text-block field: released, then a copy of a usable value.
void AssignTextBlock(char **ppszField, const char *pszValue) {
  ZemMemFree(ppszField);
  if (zem::IsUsableStr(pszValue)) SysStrAssign(ppszField, pszValue);
}

bool IsProxyAccessType(DWORD dwType) {
  return dwType == INTERNET_OPEN_TYPE_PRECONFIG || dwType == INTERNET_OPEN_TYPE_DIRECT ||
         dwType == INTERNET_OPEN_TYPE_PROXY || dwType == INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
}

}  // namespace

int CZemHttp::SetHttpStr(const char *pszValue, DWORD dwSelector) {
  LogPrintf("CZemHttp::SetHttpStr( %s, %d )", zem::LoggableStr(pszValue), static_cast<int>(dwSelector));
  // A text that cannot be read is what the member reports as a fault while
  // reading the caller's text. The method letter is read without a usability
  // test, so a resource number faults there too.
  if (dwSelector == kStrProxyMethod ? zem::IsFaultingStr(pszValue) : zem::IsUnreadableStr(pszValue)) {
    if (dwSelector == kStrProxyMethod) {
      m_ZemProxyInfo.chProxyAccessType = 0;
      return 0;
    }
    SetAccessError("CZemHttp::SetHttpStr FAILED , error# %d");
    return 0;
  }

  // The fixed-size proxy texts: cut to the field, always terminated.
  auto setProxyText = [&](char *pszField, size_t cbField) {
    if (zem::IsUsableStr(pszValue)) {
      m_ZemProxyInfo.bInitialized = 1;
      SysStrCopyN(pszField, pszValue, static_cast<int>(cbField) - 1);
    } else {
      pszField[0] = '\0';
    }
    return 1;
  };

  switch (dwSelector) {
    case kStrUserAgent:
      AssignTextBlock(&pszUserAgent, pszValue);
      return 1;
    case kStrFileName:
      AssignTextBlock(&pszFileName, pszValue);
      return 1;
    case kStrHostName:
      AssignTextBlock(&pszHostName, pszValue);
      return 1;
    case kStrHttpVersion:
      AssignTextBlock(&pszHttpVersion, pszValue);
      return 1;
    case kStrUrlPath:
      AssignTextBlock(&pszUrlPath, pszValue);
      return 1;
    case kStrVerb:
      // pszVerb only ever points into the table, never at the caller's text.
      if (!zem::IsUsableStr(pszValue)) return 0;
      for (int i = 0; i < ZEMHTTP_VERB_COUNT; ++i) {
        if (zem::SameTextNoCase(pszValue, ZemHttpVerbTable[i])) {
          pszVerb = ZemHttpVerbTable[i];
          return 1;
        }
      }
      return 0;
    case kStrProxyMethod:
      // The letter is not judged here: the session opening decides what it
      // means, so an empty text simply clears it.
      if (pszValue != nullptr) {
        m_ZemProxyInfo.bInitialized = 1;
        m_ZemProxyInfo.chProxyAccessType = static_cast<unsigned char>(pszValue[0]);
      }
      return 1;
    case kStrProxyNames:
      return setProxyText(m_ZemProxyInfo.szProxyNames, sizeof m_ZemProxyInfo.szProxyNames);
    case kStrProxyBypass:
      return setProxyText(m_ZemProxyInfo.szProxyBypass, sizeof m_ZemProxyInfo.szProxyBypass);
    case kStrProxyUser:
      return setProxyText(m_ZemProxyInfo.szProxyUser, sizeof m_ZemProxyInfo.szProxyUser);
    case kStrSettingsPassword:
      return setProxyText(m_ZemProxyInfo.szPassWord, sizeof m_ZemProxyInfo.szPassWord);
    case kStrSettingsUser:
      return setProxyText(m_ZemProxyInfo.szUserName, sizeof m_ZemProxyInfo.szUserName);
    case kStrProxyPassword:
      return setProxyText(m_ZemProxyInfo.szProxyPswd, sizeof m_ZemProxyInfo.szProxyPswd);
    case kStrHeaderLine: {
      char szLine[kHeaderLineMax + 1];
      SysStrCopyN(szLine, pszValue, kHeaderLineMax);
      char *pszColon = SysStrChr(szLine, ':');
      if (pszColon == nullptr) return 0;
      *pszColon = '\0';
      // The name is taken as written; only plain blanks after the colon are
      // skipped, and no more than ten of them.
      const char *pszHeaderValue = pszColon + 1;
      for (int n = 0; n < kHeaderBlanksMax && *pszHeaderValue == ' '; ++n) ++pszHeaderValue;
      if (szLine[0] == '\0') return 0;
      return AddHttpHeader(HTTP_ADDREQ_FLAG_REPLACE, szLine, pszHeaderValue);
    }
    default:
      SetError(87, "CZemHttp::SetHttpStr FAILED (unrecognized constant value)", 87);
      return 0;
  }
}

int CZemHttp::SetHttpDWS(DWORD dwValue, DWORD dwSelector) {
  LogPrintf("CZemHttp::SetHttpDWS( %d, %d )", static_cast<int>(dwValue), static_cast<int>(dwSelector));
  switch (dwSelector) {
    case kDwsHttpFlags:
      dwHttpFlags = dwValue;
      return 1;
    case kDwsInetFlags:
      dwInetFlags = dwValue;
      return 1;
    case kDwsPort:
      nPort = static_cast<INTERNET_PORT>(dwValue & 0xFFFF);
      return 1;
    case kDwsService:
      dwService = dwValue;
      return 1;
    case kDwsRequestLength:
      cbRequest = dwValue;
      return 1;
    case kDwsProxyAccessType:
      if (!IsProxyAccessType(dwValue)) {
        // The message carries the error number, not the refused value.
        SetError(87, "CZemHttp::SetHttpDWS FAILED - %d Not valid proxy option", 0);
        return 0;
      }
      m_ZemProxyInfo.dwProxyAccessType = dwValue;
      return 1;
    case kDwsReceiveTimeout:
      dwReceiveTimeout = dwValue;
      return 1;
    case kDwsMaxRetries:
      // Stored as given: only SetMaxRetries clamps.
      dwMaxRetries = dwValue;
      return 1;
    default:
      SetError(87, "CZemHttp::SetHttpDWS FAILED (unrecognized constant value)", 87);
      return 0;
  }
}

int CZemHttp::SetHttpUser(const char *pszUser) {
  LogPrintf("CZemHttp::SetHttpUser(%s)", zem::LoggableStr(pszUser));
  if (zem::IsUnreadableStr(pszUser)) {
    SetAccessError("CZemHttp::SetHttpUser FAILED. (error# %d)");
    return 0;
  }
  AssignTextBlock(&pszUserName, pszUser);
  return 1;
}

int CZemHttp::SetHttpPswd(const char *pszPasswordIn) {
  // The log learns only how long the password is.
  char szMask[kPasswordMaskMax + 1] = "";
  const char *pszReadable = zem::LoggableStr(pszPasswordIn);
  int nMask = 0;
  while (nMask < kPasswordMaskMax && pszReadable[nMask] != '\0') szMask[nMask++] = '*';
  szMask[nMask] = '\0';
  LogPrintf("CZemHttp::SetHttpPswd(%s)", szMask);
  if (zem::IsUnreadableStr(pszPasswordIn)) {
    SetAccessError("CZemHttp::SetHttpPswd FAILED. (error# %d)");
    return 0;
  }
  AssignTextBlock(&pszPassword, pszPasswordIn);
  return 1;
}

int CZemHttp::SetHttpFlag(DWORD dwFlags) {
  LogPrintf("CZemHttp::SetHttpFlag( %d )", static_cast<int>(dwFlags));
  dwHttpFlags = dwFlags;
  return 1;
}

int CZemHttp::SetInetFlag(DWORD dwFlags) {
  LogPrintf("CZemHttp::SetInetFlag( %d )", static_cast<int>(dwFlags));
  dwInetFlags = dwFlags;
  return 1;
}

int CZemHttp::SetIpPort(DWORD dwPort) {
  LogPrintf("CZemHttp::SetIpPort( %d )", static_cast<int>(dwPort));
  nPort = static_cast<INTERNET_PORT>(dwPort & 0xFFFF);
  return 1;
}

void CZemHttp::SetNoContentLength(int bOn) {
  LogPrintf("CZemHttp::SetNoContentLength( %d )", bOn);
  bNoContentLength = bOn;
}

DWORD CZemHttp::SetMaxRetries(DWORD dwCount) {
  LogPrintf("CZemHttp::SetMaxRetries( %d )", static_cast<int>(dwCount));
  dwMaxRetries = dwCount > 10 ? 10 : (dwCount == 0 ? 1 : dwCount);
  return dwMaxRetries;
}

int CZemHttp::SetWindowParent(HWND hWnd) {
  LogPrintf("CZemHttp::SetWindowParent( %lx )", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hWnd)));
  hWndParent = hWnd;
  return 1;
}

void CZemHttp::SetNotifyResultProc(ZEMNOTIFYPROC pfnNotify, void *pvData) {
  LogPrintf("CZemHttp::SetNotifyResultProc( %lX, %lX)",
            static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pfnNotify)),
            static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pvData)));
  pfnNotifyResult = pfnNotify;
  pvNotifyResultData = pvData;
}

void CZemHttp::SetNotifyStatusProc(ZEMNOTIFYPROC pfnNotify, void *pvData) {
  // Registered first, so that the scratch text holds this line when a
  // procedure is set (lines are built only for a log or a status procedure).
  pfnNotifyStatus = pfnNotify;
  pvNotifyStatusData = pvData;
  LogPrintf("CZemHttp::SetNotifyStatusProc( %lX, %lX)",
            static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pfnNotify)),
            static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pvData)));
}
