// The functions the double exports under the internet library's names. Each
// records its call and answers from its script (double_state.cpp) or with
// its default. None calls another export: inside a process that also holds
// the real library, such a call could reach the real one.
#include <cstdlib>
#include <cstring>

#include "double_state.h"

using namespace zemdouble;

namespace {

// The scripted last error of an answer that is not a plain return or failure.
void ApplyError(const Answer &answer) {
  if (answer.setsError) SetLastError(answer.error);
}

// A text's length argument as CallBuilder::Text takes it: the marker value
// means the text runs to its NUL.
long long LengthOrWhole(DWORD cch, DWORD dwWholeMarker) { return cch == dwWholeMarker ? -1LL : static_cast<long long>(cch); }

// Answers a function whose default is TRUE and which fills nothing.
BOOL AnswerBool(CallBuilder &b) {
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = TRUE;
  if (!ApplyGeneric(a, b.Raw(), &r)) ApplyError(a);
  return static_cast<BOOL>(Finish(b, r));
}

// Answers a function whose default is a fresh fake handle.
HINTERNET AnswerHandle(CallBuilder &b) {
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = 0;
  if (!ApplyGeneric(a, b.Raw(), &r)) {
    r = reinterpret_cast<uintptr_t>(NewHandle());
    ApplyError(a);
  }
  return reinterpret_cast<HINTERNET>(static_cast<uintptr_t>(Finish(b, r)));
}

// Answers a function that writes a text into a caller's buffer: a data
// answer writes the scripted text, the default the given one.
BOOL AnswerText(CallBuilder &b, const std::string &defaultText, char *pszBuffer, DWORD *pcb) {
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = 0;
  if (!ApplyGeneric(a, b.Raw(), &r)) {
    r = PutText(a.kind == Answer::kData ? a.data : defaultText, pszBuffer, pcb);
    ApplyError(a);
  }
  return static_cast<BOOL>(Finish(b, r));
}

}  // namespace

INTERNETAPI HINTERNET WINAPI InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy,
                                           LPCSTR lpszProxyBypass, DWORD dwFlags) {
  CallBuilder b("InternetOpenA");
  b.Text(lpszAgent).Number(dwAccessType).Text(lpszProxy).Text(lpszProxyBypass).Number(dwFlags);
  return AnswerHandle(b);
}

INTERNETAPI HINTERNET WINAPI InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                                              LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService,
                                              DWORD dwFlags, DWORD_PTR dwContext) {
  CallBuilder b("InternetConnectA");
  b.Pointer(hInternet).Text(lpszServerName).Number(nServerPort).Text(lpszUserName).Text(lpszPassword);
  b.Number(dwService).Number(dwFlags).Number(dwContext);
  return AnswerHandle(b);
}

BOOLAPI InternetCloseHandle(HINTERNET hInternet) {
  CallBuilder b("InternetCloseHandle");
  b.Pointer(hInternet);
  return AnswerBool(b);
}

INTERNETAPI HINTERNET WINAPI HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName,
                                              LPCSTR lpszVersion, LPCSTR lpszReferrer, LPCSTR *lplpszAcceptTypes,
                                              DWORD dwFlags, DWORD_PTR dwContext) {
  CallBuilder b("HttpOpenRequestA");
  b.Pointer(hConnect).Text(lpszVerb).Text(lpszObjectName).Text(lpszVersion).Text(lpszReferrer);
  b.Pointer(lplpszAcceptTypes).Number(dwFlags).Number(dwContext);
  return AnswerHandle(b);
}

BOOLAPI HttpAddRequestHeadersA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength, DWORD dwModifiers) {
  CallBuilder b("HttpAddRequestHeadersA");
  b.Pointer(hRequest).Text(lpszHeaders, LengthOrWhole(dwHeadersLength, static_cast<DWORD>(-1)));
  b.Number(dwHeadersLength).Number(dwModifiers);
  return AnswerBool(b);
}

BOOLAPI HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                         DWORD dwOptionalLength) {
  CallBuilder b("HttpSendRequestA");
  b.Pointer(hRequest).Text(lpszHeaders, LengthOrWhole(dwHeadersLength, static_cast<DWORD>(-1)));
  b.Number(dwHeadersLength).Text(static_cast<const char *>(lpOptional), dwOptionalLength).Number(dwOptionalLength);
  return AnswerBool(b);
}

BOOLAPI HttpSendRequestExA(HINTERNET hRequest, LPINTERNET_BUFFERSA lpBuffersIn, LPINTERNET_BUFFERSA lpBuffersOut,
                           DWORD dwFlags, DWORD_PTR dwContext) {
  CallBuilder b("HttpSendRequestExA");
  b.Pointer(hRequest).Pointer(lpBuffersIn).Pointer(lpBuffersOut).Number(dwFlags).Number(dwContext);
  return AnswerBool(b);
}

BOOLAPI HttpEndRequestA(HINTERNET hRequest, LPINTERNET_BUFFERSA lpBuffersOut, DWORD dwFlags, DWORD_PTR dwContext) {
  CallBuilder b("HttpEndRequestA");
  b.Pointer(hRequest).Pointer(lpBuffersOut).Number(dwFlags).Number(dwContext);
  return AnswerBool(b);
}

BOOLAPI HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                       LPDWORD lpdwIndex) {
  CallBuilder b("HttpQueryInfoA");
  b.Pointer(hRequest).Number(dwInfoLevel).Pointer(lpBuffer).DwordIn(lpdwBufferLength).DwordIn(lpdwIndex);
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = 0;
  if (!ApplyGeneric(a, b.Raw(), &r)) {
    if (a.kind != Answer::kData) {
      r = QueryInfoDefault(dwInfoLevel, lpBuffer, lpdwBufferLength);
    } else if (dwInfoLevel & HTTP_QUERY_FLAG_NUMBER) {
      DWORD dwNumber = static_cast<DWORD>(std::strtoul(a.data.c_str(), nullptr, 10));
      r = PutBytes(std::string(reinterpret_cast<const char *>(&dwNumber), sizeof dwNumber), lpBuffer,
                   lpdwBufferLength);
    } else {
      r = PutText(a.data, static_cast<char *>(lpBuffer), lpdwBufferLength);
    }
    ApplyError(a);
  }
  return static_cast<BOOL>(Finish(b, r));
}

BOOLAPI InternetQueryDataAvailable(HINTERNET hFile, LPDWORD lpdwNumberOfBytesAvailable, DWORD dwFlags,
                                   DWORD_PTR dwContext) {
  CallBuilder b("InternetQueryDataAvailable");
  b.Pointer(hFile).Pointer(lpdwNumberOfBytesAvailable).Number(dwFlags).Number(dwContext);
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = 0;
  if (!ApplyGeneric(a, b.Raw(), &r)) {
    // Unscripted, it announces what scripted reads still hold.
    DWORD cb = a.kind == Answer::kData ? static_cast<DWORD>(a.data.size()) : PendingReadBytes();
    if (lpdwNumberOfBytesAvailable != nullptr) *lpdwNumberOfBytesAvailable = cb;
    r = TRUE;
    ApplyError(a);
  }
  return static_cast<BOOL>(Finish(b, r));
}

BOOLAPI InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                         LPDWORD lpdwNumberOfBytesRead) {
  CallBuilder b("InternetReadFile");
  b.Pointer(hFile).Pointer(lpBuffer).Number(dwNumberOfBytesToRead).Pointer(lpdwNumberOfBytesRead);
  Answer a = TakeAnswer(b.Record().function, dwNumberOfBytesToRead);
  uint64_t r = 0;
  if (!ApplyGeneric(a, b.Raw(), &r)) {
    // Unscripted or past the scripted data: the end of the body.
    const std::string &part = a.kind == Answer::kData ? a.data : std::string();
    if (lpBuffer != nullptr && !part.empty()) std::memcpy(lpBuffer, part.data(), part.size());
    if (lpdwNumberOfBytesRead != nullptr) *lpdwNumberOfBytesRead = static_cast<DWORD>(part.size());
    r = TRUE;
    ApplyError(a);
  }
  return static_cast<BOOL>(Finish(b, r));
}

BOOLAPI InternetReadFileExA(HINTERNET hFile, LPINTERNET_BUFFERSA lpBuffersOut, DWORD dwFlags, DWORD_PTR dwContext) {
  CallBuilder b("InternetReadFileExA");
  b.Pointer(hFile).Pointer(lpBuffersOut).Number(dwFlags).Number(dwContext);
  return AnswerBool(b);
}

BOOLAPI InternetWriteFile(HINTERNET hFile, LPCVOID lpBuffer, DWORD dwNumberOfBytesToWrite,
                          LPDWORD lpdwNumberOfBytesWritten) {
  CallBuilder b("InternetWriteFile");
  b.Pointer(hFile).Text(static_cast<const char *>(lpBuffer), dwNumberOfBytesToWrite).Number(dwNumberOfBytesToWrite);
  b.Pointer(lpdwNumberOfBytesWritten);
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = TRUE;
  if (!ApplyGeneric(a, b.Raw(), &r)) {
    if (lpdwNumberOfBytesWritten != nullptr) *lpdwNumberOfBytesWritten = dwNumberOfBytesToWrite;
    ApplyError(a);
  }
  return static_cast<BOOL>(Finish(b, r));
}

BOOLAPI InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
  CallBuilder b("InternetSetOptionA");
  b.Pointer(hInternet).Number(dwOption).Text(static_cast<const char *>(lpBuffer), dwBufferLength);
  // A number option is also readable as a value.
  if (lpBuffer != nullptr && dwBufferLength == sizeof(DWORD) && !IsBadReadPtr(lpBuffer, sizeof(DWORD))) {
    DWORD dwValue;
    std::memcpy(&dwValue, lpBuffer, sizeof dwValue);
    b.Record().args.back().number = dwValue;
  }
  b.Number(dwBufferLength);
  return AnswerBool(b);
}

BOOLAPI InternetQueryOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength) {
  CallBuilder b("InternetQueryOptionA");
  b.Pointer(hInternet).Number(dwOption).Pointer(lpBuffer).DwordIn(lpdwBufferLength);
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = 0;
  if (!ApplyGeneric(a, b.Raw(), &r)) {
    if (a.kind == Answer::kProxy || (a.kind == Answer::kDefault && dwOption == INTERNET_OPTION_PROXY)) {
      r = QueryProxy(a, lpBuffer, lpdwBufferLength);
    } else if (a.kind == Answer::kData) {
      r = PutBytes(a.data, lpBuffer, lpdwBufferLength);
    } else {
      DWORD dwZero = 0;
      r = PutBytes(std::string(reinterpret_cast<const char *>(&dwZero), sizeof dwZero), lpBuffer, lpdwBufferLength);
    }
    ApplyError(a);
  }
  return static_cast<BOOL>(Finish(b, r));
}

INTERNETAPI INTERNET_STATUS_CALLBACK WINAPI InternetSetStatusCallbackA(HINTERNET hInternet,
                                                                       INTERNET_STATUS_CALLBACK lpfnInternetCallback) {
  CallBuilder b("InternetSetStatusCallbackA");
  b.Pointer(hInternet).Number(reinterpret_cast<uintptr_t>(lpfnInternetCallback));
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = 0;  // no callback was set before
  if (!ApplyGeneric(a, b.Raw(), &r)) ApplyError(a);
  return reinterpret_cast<INTERNET_STATUS_CALLBACK>(static_cast<uintptr_t>(Finish(b, r)));
}

INTERNETAPI void WINAPI InternetStatusCallbackA(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwInternetStatus,
                                                LPVOID lpvStatusInformation, DWORD dwStatusInformationLength) {
  CallBuilder b("InternetStatusCallbackA");
  b.Pointer(hInternet).Number(dwContext).Number(dwInternetStatus).Pointer(lpvStatusInformation);
  b.Number(dwStatusInformationLength);
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = 0;
  if (!ApplyGeneric(a, b.Raw(), &r)) ApplyError(a);
  Finish(b, r);
}

BOOLAPI InternetGetLastResponseInfoA(LPDWORD lpdwError, LPSTR lpszBuffer, LPDWORD lpdwBufferLength) {
  CallBuilder b("InternetGetLastResponseInfoA");
  b.Pointer(lpdwError).Pointer(lpszBuffer).DwordIn(lpdwBufferLength);
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = 0;
  if (!ApplyGeneric(a, b.Raw(), &r)) {
    const bool bScripted = a.kind == Answer::kResponse || a.kind == Answer::kData;
    if (lpdwError != nullptr) *lpdwError = a.kind == Answer::kResponse ? static_cast<DWORD>(a.result) : 0;
    r = PutText(bScripted ? a.data : std::string(), lpszBuffer, lpdwBufferLength);
    ApplyError(a);
  }
  return static_cast<BOOL>(Finish(b, r));
}

BOOLAPI InternetCanonicalizeUrlA(LPCSTR lpszUrl, LPSTR lpszBuffer, LPDWORD lpdwBufferLength, DWORD dwFlags) {
  CallBuilder b("InternetCanonicalizeUrlA");
  b.Text(lpszUrl).Pointer(lpszBuffer).DwordIn(lpdwBufferLength).Number(dwFlags);
  if (lpszUrl == nullptr) {
    Answer a = TakeAnswer(b.Record().function);
    uint64_t r = 0;
    if (!ApplyGeneric(a, b.Raw(), &r)) SetLastError(ERROR_INVALID_PARAMETER);
    return static_cast<BOOL>(Finish(b, r));
  }
  // Unscripted, the URL comes back as it was given.
  return AnswerText(b, lpszUrl, lpszBuffer, lpdwBufferLength);
}

BOOLAPI InternetCrackUrlA(LPCSTR lpszUrl, DWORD dwUrlLength, DWORD dwFlags, LPURL_COMPONENTSA lpUrlComponents) {
  CallBuilder b("InternetCrackUrlA");
  b.Text(lpszUrl, LengthOrWhole(dwUrlLength, 0)).Number(dwUrlLength).Number(dwFlags);
  b.Pointer(lpUrlComponents);
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = 0;
  if (!ApplyGeneric(a, b.Raw(), &r)) {
    r = CrackUrl(lpszUrl, dwUrlLength, lpUrlComponents, a.kind == Answer::kUrl ? &a.url : nullptr);
    ApplyError(a);
  }
  return static_cast<BOOL>(Finish(b, r));
}

BOOLAPI InternetCreateUrlA(LPURL_COMPONENTSA lpUrlComponents, DWORD dwFlags, LPSTR lpszUrl, LPDWORD lpdwUrlLength) {
  CallBuilder b("InternetCreateUrlA");
  b.Pointer(lpUrlComponents).Number(dwFlags).Pointer(lpszUrl).DwordIn(lpdwUrlLength);
  return AnswerText(b, "", lpszUrl, lpdwUrlLength);
}

BOOLAPI InternetGetCookieA(LPCSTR lpszUrl, LPCSTR lpszCookieName, LPSTR lpszCookieData, LPDWORD lpdwSize) {
  CallBuilder b("InternetGetCookieA");
  b.Text(lpszUrl).Text(lpszCookieName).Pointer(lpszCookieData).DwordIn(lpdwSize);
  return AnswerText(b, "", lpszCookieData, lpdwSize);
}

BOOLAPI InternetGetCookieExA(LPCSTR lpszUrl, LPCSTR lpszCookieName, LPSTR lpszCookieData, LPDWORD lpdwSize,
                             DWORD dwFlags, LPVOID lpReserved) {
  CallBuilder b("InternetGetCookieExA");
  b.Text(lpszUrl).Text(lpszCookieName).Pointer(lpszCookieData).DwordIn(lpdwSize).Number(dwFlags);
  b.Pointer(lpReserved);
  return AnswerText(b, "", lpszCookieData, lpdwSize);
}

BOOLAPI InternetSetCookieA(LPCSTR lpszUrl, LPCSTR lpszCookieName, LPCSTR lpszCookieData) {
  CallBuilder b("InternetSetCookieA");
  b.Text(lpszUrl).Text(lpszCookieName).Text(lpszCookieData);
  return AnswerBool(b);
}

INTERNETAPI DWORD WINAPI InternetErrorDlg(HWND hWnd, HINTERNET hRequest, DWORD dwError, DWORD dwFlags,
                                          LPVOID *lppvData) {
  CallBuilder b("InternetErrorDlg");
  b.Pointer(hWnd).Pointer(hRequest).Number(dwError).Number(dwFlags).Pointer(lppvData);
  Answer a = TakeAnswer(b.Record().function);
  uint64_t r = ERROR_SUCCESS;
  if (!ApplyGeneric(a, b.Raw(), &r)) ApplyError(a);
  return static_cast<DWORD>(Finish(b, r));
}

BOOLAPI DetectAutoProxyUrl(LPSTR lpszAutoProxyUrl, DWORD dwAutoProxyUrlLength, DWORD dwDetectFlags) {
  CallBuilder b("DetectAutoProxyUrl");
  b.Pointer(lpszAutoProxyUrl).Number(dwAutoProxyUrlLength).Number(dwDetectFlags);
  return AnswerBool(b);
}

BOOLAPI InternetInitializeAutoProxyDll(DWORD dwReserved) {
  CallBuilder b("InternetInitializeAutoProxyDll");
  b.Number(dwReserved);
  return AnswerBool(b);
}

BOOLAPI InternetAutodialHangup(DWORD dwReserved) {
  CallBuilder b("InternetAutodialHangup");
  b.Number(dwReserved);
  return AnswerBool(b);
}
