// The functions the double exports under the internet library's names. Each
// records its call and answers from its script (double_state.cpp) or with
// its default. None calls another export: inside a process that also holds
// the real library, such a call could reach the real one.
#include <cstdlib>
#include <cstring>

#include "double_state.h"

using namespace zemdouble;

// The exports under their plain names, with the library's calling convention.
// Not the library header's own linkage macros: the SDK's declare imports.
#define DOUBLE_API(type) extern "C" ZEM_EXPORT type WINAPI

namespace {

// A text's length argument as CallBuilder::Text takes it: the marker value
// means the text runs to its NUL.
long long LengthOrWhole(DWORD length, DWORD whole_marker) {
  return length == whole_marker ? -1LL : static_cast<long long>(length);
}

// Answers one call and records it: a scripted return, failure or callback
// as it stands; any other answer, or none, through the function's own
// filler, with the answer's scripted last error set afterwards.
template <typename Fill>
uint64_t Respond(CallBuilder &b, Fill fill, DWORD wanted = 0) {
  Answer a = TakeAnswer(b.Record().function, wanted);
  uint64_t r = 0;
  if (!ApplyGeneric(a, b.Raw(), &r)) {
    r = fill(a);
    if (a.sets_error) SetLastError(a.error);
  }
  return Finish(b, r);
}

// A function whose default is a fixed result and which fills nothing.
uint64_t AnswerPlain(CallBuilder &b, uint64_t result) {
  return Respond(b, [result](const Answer &) { return result; });
}

BOOL AnswerBool(CallBuilder &b) { return static_cast<BOOL>(AnswerPlain(b, TRUE)); }

// A function whose default is a fresh fake handle.
HINTERNET AnswerHandle(CallBuilder &b) {
  uint64_t r = Respond(b, [](const Answer &) -> uint64_t { return reinterpret_cast<uintptr_t>(NewHandle()); });
  return reinterpret_cast<HINTERNET>(static_cast<uintptr_t>(r));
}

// A function that writes a text into a caller's buffer: a data answer writes
// the scripted text, the default the given one.
BOOL AnswerText(CallBuilder &b, const std::string &default_text, char *buffer, DWORD *size) {
  return static_cast<BOOL>(Respond(b, [&](const Answer &a) -> uint64_t {
    return PutText(a.kind == Answer::kData ? a.data : default_text, buffer, size);
  }));
}

}  // namespace

DOUBLE_API(HINTERNET) InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy, LPCSTR lpszProxyBypass,
                                    DWORD dwFlags) {
  CallBuilder b("InternetOpenA");
  b.Text(lpszAgent).Number(dwAccessType).Text(lpszProxy).Text(lpszProxyBypass).Number(dwFlags);
  return AnswerHandle(b);
}

DOUBLE_API(HINTERNET) InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                                       LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                                       DWORD_PTR dwContext) {
  CallBuilder b("InternetConnectA");
  b.Pointer(hInternet).Text(lpszServerName).Number(nServerPort).Text(lpszUserName).Text(lpszPassword);
  b.Number(dwService).Number(dwFlags).Number(dwContext);
  return AnswerHandle(b);
}

DOUBLE_API(BOOL) InternetCloseHandle(HINTERNET hInternet) {
  CallBuilder b("InternetCloseHandle");
  b.Pointer(hInternet);
  return AnswerBool(b);
}

DOUBLE_API(HINTERNET) HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName, LPCSTR lpszVersion,
                                       LPCSTR lpszReferrer, LPCSTR *lplpszAcceptTypes, DWORD dwFlags,
                                       DWORD_PTR dwContext) {
  CallBuilder b("HttpOpenRequestA");
  b.Pointer(hConnect).Text(lpszVerb).Text(lpszObjectName).Text(lpszVersion).Text(lpszReferrer);
  b.Pointer(lplpszAcceptTypes).Number(dwFlags).Number(dwContext);
  return AnswerHandle(b);
}

DOUBLE_API(BOOL) HttpAddRequestHeadersA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength,
                                        DWORD dwModifiers) {
  CallBuilder b("HttpAddRequestHeadersA");
  b.Pointer(hRequest).Text(lpszHeaders, LengthOrWhole(dwHeadersLength, static_cast<DWORD>(-1)));
  b.Number(dwHeadersLength).Number(dwModifiers);
  return AnswerBool(b);
}

DOUBLE_API(BOOL) HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                                  DWORD dwOptionalLength) {
  CallBuilder b("HttpSendRequestA");
  b.Pointer(hRequest).Text(lpszHeaders, LengthOrWhole(dwHeadersLength, static_cast<DWORD>(-1)));
  b.Number(dwHeadersLength).Text(static_cast<const char *>(lpOptional), dwOptionalLength).Number(dwOptionalLength);
  return AnswerBool(b);
}

DOUBLE_API(BOOL) HttpSendRequestExA(HINTERNET hRequest, LPINTERNET_BUFFERSA lpBuffersIn,
                                    LPINTERNET_BUFFERSA lpBuffersOut, DWORD dwFlags, DWORD_PTR dwContext) {
  CallBuilder b("HttpSendRequestExA");
  b.Pointer(hRequest).Pointer(lpBuffersIn).Pointer(lpBuffersOut).Number(dwFlags).Number(dwContext);
  return AnswerBool(b);
}

DOUBLE_API(BOOL) HttpEndRequestA(HINTERNET hRequest, LPINTERNET_BUFFERSA lpBuffersOut, DWORD dwFlags,
                                 DWORD_PTR dwContext) {
  CallBuilder b("HttpEndRequestA");
  b.Pointer(hRequest).Pointer(lpBuffersOut).Number(dwFlags).Number(dwContext);
  return AnswerBool(b);
}

DOUBLE_API(BOOL) HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                                LPDWORD lpdwIndex) {
  CallBuilder b("HttpQueryInfoA");
  b.Pointer(hRequest).Number(dwInfoLevel).Pointer(lpBuffer).DwordIn(lpdwBufferLength).DwordIn(lpdwIndex);
  return static_cast<BOOL>(Respond(b, [&](const Answer &a) -> uint64_t {
    if (a.kind != Answer::kData) return QueryInfoDefault(dwInfoLevel, lpBuffer, lpdwBufferLength);
    if (dwInfoLevel & HTTP_QUERY_FLAG_NUMBER) {
      DWORD number = static_cast<DWORD>(std::strtoul(a.data.c_str(), nullptr, 10));
      return PutBytes(std::string(reinterpret_cast<const char *>(&number), sizeof number), lpBuffer, lpdwBufferLength);
    }
    return PutText(a.data, static_cast<char *>(lpBuffer), lpdwBufferLength);
  }));
}

DOUBLE_API(BOOL) InternetQueryDataAvailable(HINTERNET hFile, LPDWORD lpdwNumberOfBytesAvailable, DWORD dwFlags,
                                            DWORD_PTR dwContext) {
  CallBuilder b("InternetQueryDataAvailable");
  b.Pointer(hFile).Pointer(lpdwNumberOfBytesAvailable).Number(dwFlags).Number(dwContext);
  return static_cast<BOOL>(Respond(b, [&](const Answer &a) -> uint64_t {
    // Unscripted, it announces what scripted reads still hold.
    DWORD count = a.kind == Answer::kData ? static_cast<DWORD>(a.data.size()) : PendingReadBytes();
    if (lpdwNumberOfBytesAvailable != nullptr) *lpdwNumberOfBytesAvailable = count;
    return TRUE;
  }));
}

DOUBLE_API(BOOL) InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                                  LPDWORD lpdwNumberOfBytesRead) {
  CallBuilder b("InternetReadFile");
  b.Pointer(hFile).Pointer(lpBuffer).Number(dwNumberOfBytesToRead).Pointer(lpdwNumberOfBytesRead);
  auto deliver = [&](const Answer &a) -> uint64_t {
    // Unscripted or past the scripted data: the end of the body.
    const DWORD count = a.kind == Answer::kData ? static_cast<DWORD>(a.data.size()) : 0;
    if (lpBuffer != nullptr && count != 0) std::memcpy(lpBuffer, a.data.data(), count);
    if (lpdwNumberOfBytesRead != nullptr) *lpdwNumberOfBytesRead = count;
    return TRUE;
  };
  return static_cast<BOOL>(Respond(b, deliver, dwNumberOfBytesToRead));
}

DOUBLE_API(BOOL) InternetReadFileExA(HINTERNET hFile, LPINTERNET_BUFFERSA lpBuffersOut, DWORD dwFlags,
                                     DWORD_PTR dwContext) {
  CallBuilder b("InternetReadFileExA");
  b.Pointer(hFile).Pointer(lpBuffersOut).Number(dwFlags).Number(dwContext);
  return AnswerBool(b);
}

DOUBLE_API(BOOL) InternetWriteFile(HINTERNET hFile, LPCVOID lpBuffer, DWORD dwNumberOfBytesToWrite,
                                   LPDWORD lpdwNumberOfBytesWritten) {
  CallBuilder b("InternetWriteFile");
  b.Pointer(hFile).Text(static_cast<const char *>(lpBuffer), dwNumberOfBytesToWrite).Number(dwNumberOfBytesToWrite);
  b.Pointer(lpdwNumberOfBytesWritten);
  return static_cast<BOOL>(Respond(b, [&](const Answer &) -> uint64_t {
    if (lpdwNumberOfBytesWritten != nullptr) *lpdwNumberOfBytesWritten = dwNumberOfBytesToWrite;
    return TRUE;
  }));
}

DOUBLE_API(BOOL) InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
  CallBuilder b("InternetSetOptionA");
  b.Pointer(hInternet).Number(dwOption).Text(static_cast<const char *>(lpBuffer), dwBufferLength);
  // A number option is also readable as a value.
  if (lpBuffer != nullptr && dwBufferLength == sizeof(DWORD) && !IsBadReadPtr(lpBuffer, sizeof(DWORD))) {
    DWORD value;
    std::memcpy(&value, lpBuffer, sizeof value);
    b.Record().args.back().number = value;
  }
  b.Number(dwBufferLength);
  return AnswerBool(b);
}

DOUBLE_API(BOOL) InternetQueryOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength) {
  CallBuilder b("InternetQueryOptionA");
  b.Pointer(hInternet).Number(dwOption).Pointer(lpBuffer).DwordIn(lpdwBufferLength);
  return static_cast<BOOL>(Respond(b, [&](const Answer &a) -> uint64_t {
    if (a.kind == Answer::kProxy || (a.kind == Answer::kDefault && dwOption == INTERNET_OPTION_PROXY)) {
      return QueryProxy(a, lpBuffer, lpdwBufferLength);
    }
    if (a.kind == Answer::kData) return PutBytes(a.data, lpBuffer, lpdwBufferLength);
    DWORD zero = 0;
    return PutBytes(std::string(reinterpret_cast<const char *>(&zero), sizeof zero), lpBuffer, lpdwBufferLength);
  }));
}

DOUBLE_API(INTERNET_STATUS_CALLBACK) InternetSetStatusCallbackA(HINTERNET hInternet,
                                                                INTERNET_STATUS_CALLBACK lpfnInternetCallback) {
  CallBuilder b("InternetSetStatusCallbackA");
  b.Pointer(hInternet).Number(reinterpret_cast<uintptr_t>(lpfnInternetCallback));
  uint64_t r = AnswerPlain(b, 0);  // no callback was set before
  return reinterpret_cast<INTERNET_STATUS_CALLBACK>(static_cast<uintptr_t>(r));
}

DOUBLE_API(void) InternetStatusCallbackA(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwInternetStatus,
                                         LPVOID lpvStatusInformation, DWORD dwStatusInformationLength) {
  CallBuilder b("InternetStatusCallbackA");
  b.Pointer(hInternet).Number(dwContext).Number(dwInternetStatus).Pointer(lpvStatusInformation);
  b.Number(dwStatusInformationLength);
  AnswerPlain(b, 0);
}

DOUBLE_API(BOOL) InternetGetLastResponseInfoA(LPDWORD lpdwError, LPSTR lpszBuffer, LPDWORD lpdwBufferLength) {
  CallBuilder b("InternetGetLastResponseInfoA");
  b.Pointer(lpdwError).Pointer(lpszBuffer).DwordIn(lpdwBufferLength);
  return static_cast<BOOL>(Respond(b, [&](const Answer &a) -> uint64_t {
    const bool scripted = a.kind == Answer::kResponse || a.kind == Answer::kData;
    if (lpdwError != nullptr) *lpdwError = a.kind == Answer::kResponse ? static_cast<DWORD>(a.result) : 0;
    return PutText(scripted ? a.data : std::string(), lpszBuffer, lpdwBufferLength);
  }));
}

DOUBLE_API(BOOL) InternetCanonicalizeUrlA(LPCSTR lpszUrl, LPSTR lpszBuffer, LPDWORD lpdwBufferLength, DWORD dwFlags) {
  CallBuilder b("InternetCanonicalizeUrlA");
  b.Text(lpszUrl).Pointer(lpszBuffer).DwordIn(lpdwBufferLength).Number(dwFlags);
  if (lpszUrl == nullptr) {
    return static_cast<BOOL>(Respond(b, [](const Answer &) -> uint64_t {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }));
  }
  // Unscripted, the URL comes back as it was given.
  return AnswerText(b, lpszUrl, lpszBuffer, lpdwBufferLength);
}

DOUBLE_API(BOOL) InternetCrackUrlA(LPCSTR lpszUrl, DWORD dwUrlLength, DWORD dwFlags,
                                   LPURL_COMPONENTSA lpUrlComponents) {
  CallBuilder b("InternetCrackUrlA");
  b.Text(lpszUrl, LengthOrWhole(dwUrlLength, 0)).Number(dwUrlLength).Number(dwFlags);
  b.Pointer(lpUrlComponents);
  return static_cast<BOOL>(
      Respond(b, [&](const Answer &) -> uint64_t { return CrackUrl(lpszUrl, dwUrlLength, lpUrlComponents); }));
}

DOUBLE_API(BOOL) InternetCreateUrlA(LPURL_COMPONENTSA lpUrlComponents, DWORD dwFlags, LPSTR lpszUrl,
                                    LPDWORD lpdwUrlLength) {
  CallBuilder b("InternetCreateUrlA");
  b.Pointer(lpUrlComponents).Number(dwFlags).Pointer(lpszUrl).DwordIn(lpdwUrlLength);
  return AnswerText(b, "", lpszUrl, lpdwUrlLength);
}

DOUBLE_API(BOOL) InternetGetCookieA(LPCSTR lpszUrl, LPCSTR lpszCookieName, LPSTR lpszCookieData, LPDWORD lpdwSize) {
  CallBuilder b("InternetGetCookieA");
  b.Text(lpszUrl).Text(lpszCookieName).Pointer(lpszCookieData).DwordIn(lpdwSize);
  return AnswerText(b, "", lpszCookieData, lpdwSize);
}

DOUBLE_API(BOOL) InternetGetCookieExA(LPCSTR lpszUrl, LPCSTR lpszCookieName, LPSTR lpszCookieData, LPDWORD lpdwSize,
                                      DWORD dwFlags, LPVOID lpReserved) {
  CallBuilder b("InternetGetCookieExA");
  b.Text(lpszUrl).Text(lpszCookieName).Pointer(lpszCookieData).DwordIn(lpdwSize).Number(dwFlags);
  b.Pointer(lpReserved);
  return AnswerText(b, "", lpszCookieData, lpdwSize);
}

DOUBLE_API(BOOL) InternetSetCookieA(LPCSTR lpszUrl, LPCSTR lpszCookieName, LPCSTR lpszCookieData) {
  CallBuilder b("InternetSetCookieA");
  b.Text(lpszUrl).Text(lpszCookieName).Text(lpszCookieData);
  return AnswerBool(b);
}

DOUBLE_API(DWORD) InternetErrorDlg(HWND hWnd, HINTERNET hRequest, DWORD dwError, DWORD dwFlags, LPVOID *lppvData) {
  CallBuilder b("InternetErrorDlg");
  b.Pointer(hWnd).Pointer(hRequest).Number(dwError).Number(dwFlags).Pointer(lppvData);
  return static_cast<DWORD>(AnswerPlain(b, ERROR_SUCCESS));
}

DOUBLE_API(BOOL) DetectAutoProxyUrl(LPSTR lpszAutoProxyUrl, DWORD dwAutoProxyUrlLength, DWORD dwDetectFlags) {
  CallBuilder b("DetectAutoProxyUrl");
  b.Pointer(lpszAutoProxyUrl).Number(dwAutoProxyUrlLength).Number(dwDetectFlags);
  return AnswerBool(b);
}

DOUBLE_API(BOOL) InternetInitializeAutoProxyDll(DWORD dwReserved) {
  CallBuilder b("InternetInitializeAutoProxyDll");
  b.Number(dwReserved);
  return AnswerBool(b);
}

DOUBLE_API(BOOL) InternetAutodialHangup(DWORD dwReserved) {
  CallBuilder b("InternetAutodialHangup");
  b.Number(dwReserved);
  return AnswerBool(b);
}
