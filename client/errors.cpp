// The client's error record: its single writer SetError and the accessors.
#include <cstdio>
#include <cstring>

#include "ZemHttp.h"
#include "ZemSys.h"
#include "client/usable_str.h"

namespace {

constexpr DWORD kLastErrorMax = 255;  // characters of szLastError

// The conversions that make SetError format its text with the code. The
// upper-case forms are read as their lower-case twins.
bool IsCodeConversion(char ch) { return ch != '\0' && std::strchr("dDuUiIxX", ch) != nullptr; }

// Formats pszFormat, whose first "%" starts a code conversion, with nError
// as its only argument. Texts handed in are often already formatted lines
// that carry "%" signs from data: no later "%" ever reads an argument. A
// later "%%" prints one "%", any other "%" is kept as it stands.
void FormatWithCode(char *pszOut, const char *pszFormat, int nError) {
  DWORD n = 0;
  auto put = [&](char ch) {
    if (n < kLastErrorMax) pszOut[n++] = ch;
  };
  const char *p = pszFormat;
  while (*p != '%') put(*p++);
  char number[16];
  switch (p[1]) {
    case 'd': case 'D': case 'i': case 'I':
      std::snprintf(number, sizeof number, "%d", nError);
      break;
    case 'u': case 'U':
      std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(nError));
      break;
    case 'x':
      std::snprintf(number, sizeof number, "%x", static_cast<unsigned>(nError));
      break;
    default:
      std::snprintf(number, sizeof number, "%X", static_cast<unsigned>(nError));
      break;
  }
  for (const char *q = number; *q != '\0'; ++q) put(*q);
  for (p += 2; *p != '\0' && n < kLastErrorMax; ++p) {
    if (p[0] == '%' && p[1] == '%') ++p;
    put(*p);
  }
  pszOut[n] = '\0';
}

}  // namespace

void CZemHttp::SetError(int nError, const char *pszFormat, int nFallback) {
  // A format that cannot be read counts as none: the code is still recorded.
  if (pszFormat != nullptr && IsBadStringPtrA(pszFormat, static_cast<UINT_PTR>(-1))) pszFormat = nullptr;
  if (nError == 0 && nFallback != 0) nError = nFallback;
  if (nError == 0) {
    // Code 0 with a text of its own changes nothing; without one it resets.
    if (!zem::IsUsableStr(pszFormat)) {
      szLastError[0] = '\0';
      dwLastOSError = 0;
      dwLastInetError = 0;
    }
    return;
  }
  if (nError >= INTERNET_ERROR_BASE && nError <= 12999) {
    dwLastInetError = static_cast<DWORD>(nError);
    dwLastOSError = 0;
  } else {
    dwLastOSError = static_cast<DWORD>(nError);
    dwLastInetError = 0;
  }
  szLastError[0] = '\0';
  if (pszFormat == nullptr) return;
  // Only the first "%" decides whether the text is a format.
  const char *pszPercent = SysStrChr(pszFormat, '%');
  if (pszPercent != nullptr && IsCodeConversion(pszPercent[1])) {
    FormatWithCode(szLastError, pszFormat, nError);
  } else {
    SysStrCopyN(szLastError, pszFormat, static_cast<int>(kLastErrorMax));
  }
  LogPrintf("CZemHttp::SetError( %s )", szLastError);
}

DWORD CZemHttp::GetLastOSError() { return dwLastOSError; }

DWORD CZemHttp::GetLastInternetError() {
  if (dwLastInetError >= INTERNET_ERROR_BASE && dwLastInetError <= 12999) {
    char szMessage[1024] = "";
    DWORD cch = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, GetModuleHandleA("WININET.DLL"), dwLastInetError,
                               LANG_USER_DEFAULT, szMessage, sizeof szMessage, nullptr);
    if (cch != 0 && zem::IsUsableStr(szMessage)) SysReportError(dwLastInetError, szMessage);
  }
  return dwLastInetError;
}

int CZemHttp::GetErrorString(char *pszBuffer, unsigned short cchMax) {
  int nLength = zem::IsUsableStr(szLastError) ? static_cast<int>(std::strlen(szLastError)) : 0;
  if (pszBuffer == nullptr) return nLength;
  DWORD cchCopy = nLength == 0 ? 0 : (cchMax == 0 ? static_cast<DWORD>(nLength) : cchMax);
  if (cchCopy > static_cast<DWORD>(nLength)) cchCopy = static_cast<DWORD>(nLength);
  if (IsBadWritePtr(pszBuffer, cchCopy + 1)) {
    SetAccessError("CZemHttp::GetErrorString - buffer not writable, error#: %d");
    return 0;
  }
  if (nLength == 0) {
    pszBuffer[0] = '\0';
  } else {
    SysStrCopyN(pszBuffer, szLastError, cchMax == 0 ? nLength : cchMax);
  }
  return nLength;
}

void CZemHttp::SetAccessError(const char *pszFormat) { SetError(ERROR_NOACCESS, pszFormat, ERROR_INVALID_PARAMETER); }
