// SetURL: checks a URL with the internet library's canonicaliser, splits it
// with the library's URL cracker into the parts the client's requests use,
// and derives the request flags and port from its scheme.
#include <cstring>
#include <vector>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "config/caller_text.h"

namespace {

constexpr DWORD kCanonicalFirstSize = 16;
// The request flag sets for a secure and for a plain target.
constexpr DWORD kSecureHttpFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_SECURE;
constexpr DWORD kPlainHttpFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                                  INTERNET_FLAG_IGNORE_CERT_DATE_INVALID | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
// A reported size this large cannot be a URL part (and size + 1 would wrap).
constexpr DWORD kPartSizeMax = 0x7FFFFFFF;

// A zero-filled block one byte longer than the size the cracker asked for,
// stored in *ppszField with the record's pointer aimed at it. A part the URL
// lacks (size 0 or 1: nothing, or only the terminator) gets none.
void PreparePart(char **ppszField, LPSTR *ppszPart, DWORD cchReported) {
  if (cchReported <= 1) return;
  if (cchReported <= kPartSizeMax) ZemMemAlloc(ppszField, cchReported + 1);
  *ppszPart = *ppszField;
}

// The six text parts of the cracker's record.
constexpr LPSTR URL_COMPONENTSA::*kTextParts[] = {
    &URL_COMPONENTSA::lpszScheme,   &URL_COMPONENTSA::lpszHostName, &URL_COMPONENTSA::lpszUserName,
    &URL_COMPONENTSA::lpszPassword, &URL_COMPONENTSA::lpszUrlPath,  &URL_COMPONENTSA::lpszExtraInfo,
};

bool IsNonEmpty(const char *psz) { return psz != nullptr && psz[0] != '\0'; }

// Their lengths, in the same order.
constexpr DWORD URL_COMPONENTSA::*kTextLengths[] = {
    &URL_COMPONENTSA::dwSchemeLength,   &URL_COMPONENTSA::dwHostNameLength, &URL_COMPONENTSA::dwUserNameLength,
    &URL_COMPONENTSA::dwPasswordLength, &URL_COMPONENTSA::dwUrlPathLength,  &URL_COMPONENTSA::dwExtraInfoLength,
};

// Some crackers (Wine's) refuse one-byte buffers without saying what each
// part needs, or which scheme the URL has. Then one pass with room for every part (escaping at most
// triples the URL; the parts share the room, only their lengths count)
// measures them, and each size is given as a short buffer would have been
// told it: with the terminator. A failure leaves the scheme unknown.
void MeasureWithRoom(decltype(CZemHttp::m_WinInet_InternetCrackUrl) crack, const char *pszUrl,
                     URL_COMPONENTSA *parts) {
  std::vector<char> room(static_cast<size_t>(lstrlenA(pszUrl)) * 3 + 1);
  for (LPSTR URL_COMPONENTSA::*part : kTextParts) parts->*part = room.data();
  for (DWORD URL_COMPONENTSA::*length : kTextLengths) parts->*length = static_cast<DWORD>(room.size());
  const BOOL bMeasured = crack(pszUrl, 0, ICU_ESCAPE, parts);
  for (DWORD URL_COMPONENTSA::*length : kTextLengths) {
    if (!bMeasured) {
      parts->*length = 0;
    } else if (parts->*length != 0) {
      parts->*length += 1;
    }
  }
  if (!bMeasured) parts->nScheme = INTERNET_SCHEME_UNKNOWN;
}

}  // namespace

int CZemHttp::SetURL(const char *pszUrl) {
  LogPrintf("CZemHttp::SetURL( %s )", zem::LoggableStr(pszUrl));
  ZemMemFree(&pszHostName);
  ZemMemFree(&pszUrlPath);
  ZemMemFree(&pszScheme);
  if (m_WinInet_InternetCanonicalizeUrlA == nullptr || m_WinInet_InternetCrackUrl == nullptr) {
    LogAddLine("CZemHttp internet functions not loaded");
    return 1;
  }

  // Canonical test: the canonical text only proves the URL acceptable; the
  // URL is split as the caller wrote it.
  char *pszCanonical = nullptr;
  DWORD dwCanonicalError = 0;
  if (zem::IsFaultingStr(pszUrl)) {
    dwCanonicalError = ERROR_NOACCESS;
  } else {
    // One byte more than the size announced keeps the text terminated
    // whatever the library leaves in the buffer.
    char szFirst[kCanonicalFirstSize + 1];
    std::memset(szFirst, ' ', kCanonicalFirstSize);
    szFirst[kCanonicalFirstSize] = '\0';
    DWORD cchCanonical = kCanonicalFirstSize;
    if (m_WinInet_InternetCanonicalizeUrlA(pszUrl, szFirst, &cchCanonical, ICU_DECODE)) {
      SysStrAssign(&pszCanonical, szFirst);
    } else if ((dwCanonicalError = GetLastError()) == ERROR_INSUFFICIENT_BUFFER) {
      // The library reported the size it needs: one more try with that.
      if (cchCanonical <= kPartSizeMax && ZemMemAlloc(&pszCanonical, cchCanonical + 1) == 0) {
        m_WinInet_InternetCanonicalizeUrlA(pszUrl, pszCanonical, &cchCanonical, ICU_DECODE);
        dwCanonicalError = GetLastError();
      } else {
        dwCanonicalError = ERROR_NOT_ENOUGH_MEMORY;
      }
    }
  }
  if (!zem::IsUsableStr(pszCanonical)) {
    SetLastError(dwCanonicalError);
    SetError(static_cast<int>(GetLastError()), "CZemHttp::m_WinInet_InternetCanonicalizeUrlA - FAILED", 12005);
    LogAddLine(szLastError);
    ZemMemFree(&pszCanonical);
    return 0;
  }

  // Sizing pass: every part gets a one-byte buffer, so the cracker reports
  // the size each part needs. The credentials ask with size 0: a cracker
  // reports them only when the URL carries them.
  char szScratch[7] = "";
  std::memset(&urlComponents, 0, sizeof urlComponents);
  urlComponents.dwStructSize = sizeof(URL_COMPONENTSA);
  urlComponents.dwSchemeLength = 1;
  urlComponents.dwHostNameLength = 1;
  urlComponents.dwUrlPathLength = 1;
  urlComponents.dwExtraInfoLength = 1;
  for (LPSTR URL_COMPONENTSA::*part : kTextParts) urlComponents.*part = szScratch;
  // A record the cracker left as it was (the zeroed scheme, every size
  // still 1) says it measured nothing.
  if (!m_WinInet_InternetCrackUrl(pszUrl, 0, ICU_ESCAPE, &urlComponents) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER && urlComponents.nScheme == 0 &&
      urlComponents.dwSchemeLength == 1 && urlComponents.dwHostNameLength == 1 && urlComponents.dwUrlPathLength == 1) {
    MeasureWithRoom(m_WinInet_InternetCrackUrl, pszUrl, &urlComponents);
  }
  for (LPSTR URL_COMPONENTSA::*part : kTextParts) urlComponents.*part = nullptr;

  DWORD dwPending = 0;
  bool bParsed = false;
  if (urlComponents.nScheme == INTERNET_SCHEME_UNKNOWN) {
    dwPending = GetLastError();
  } else {
    if (nPort == 0 && urlComponents.nPort != 0) nPort = urlComponents.nPort;
    PreparePart(&pszScheme, &urlComponents.lpszScheme, urlComponents.dwSchemeLength);
    PreparePart(&pszHostName, &urlComponents.lpszHostName, urlComponents.dwHostNameLength);
    PreparePart(&pszUrlPath, &urlComponents.lpszUrlPath, urlComponents.dwUrlPathLength);
    // The query and the credentials are replaced only when the URL has
    // them: credentials set by the caller survive a URL without any.
    if (urlComponents.dwExtraInfoLength > 1) {
      ZemMemFree(&pvQueryData);
      cbQueryData = 0;
      PreparePart(&pvQueryData, &urlComponents.lpszExtraInfo, urlComponents.dwExtraInfoLength);
      if (pvQueryData != nullptr) cbQueryData = urlComponents.dwExtraInfoLength;
    }
    if (urlComponents.dwUserNameLength > 1) {
      ZemMemFree(&pszUserName);
      PreparePart(&pszUserName, &urlComponents.lpszUserName, urlComponents.dwUserNameLength);
    }
    if (urlComponents.dwPasswordLength > 1) {
      ZemMemFree(&pszPassword);
      PreparePart(&pszPassword, &urlComponents.lpszPassword, urlComponents.dwPasswordLength);
    }
    if (m_WinInet_InternetCrackUrl(pszUrl, 0, ICU_ESCAPE, &urlComponents)) {
      bParsed = true;
    } else {
      dwPending = GetLastError();
    }
  }

  if (!bParsed) {
    if (dwPending != 0) {
      SetLastError(dwPending);
      SetError(static_cast<int>(GetLastError()), "CZemHttp::m_WinInet_InternetCrackUrl FAILED in SetURL, error# %d",
               87);
      LogAddLine(szLastError);
    }
    ZemMemFree(&pszCanonical);
    return dwPending != 0 ? 0 : 1;
  }

  // A new target: the next request connects afresh with flags and port
  // derived anew.
  if (IsNonEmpty(pszHostName) || IsNonEmpty(pszScheme)) {
    dwHandleReleaseMode |= 2;
    dwHandleReleaseMode |= 1;
    SetHttpFlag(0);
    SetInetFlag(0);
    SetIpPort(0);
  }
  if (dwHttpFlags == 0 || IsNonEmpty(pszScheme)) {
    if (IsNonEmpty(pszScheme) && zem::SameTextNoCase(pszScheme, "https")) {
      dwHttpFlags = kSecureHttpFlags;
    } else if (IsNonEmpty(pszScheme) && urlComponents.nPort == INTERNET_DEFAULT_HTTPS_PORT) {
      dwHttpFlags = kSecureHttpFlags;
    } else {
      dwHttpFlags = kPlainHttpFlags;
    }
    if (nPort == 0 && urlComponents.nPort != 0) nPort = urlComponents.nPort;
  }
  ZemMemFree(&pszCanonical);
  return 1;
}
