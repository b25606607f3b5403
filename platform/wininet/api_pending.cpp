// Exports whose work is not built yet: they fail cleanly until it is.
#include "failure.h"
#include "wininet.h"

using namespace zem::wininet;

BOOL WINAPI HttpSendRequestExA(HINTERNET, LPINTERNET_BUFFERSA, LPINTERNET_BUFFERSA, DWORD, DWORD_PTR) {
  BeginCall();
  return Fail(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI HttpEndRequestA(HINTERNET, LPINTERNET_BUFFERSA, DWORD, DWORD_PTR) {
  BeginCall();
  return Fail(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI InternetWriteFile(HINTERNET, LPCVOID, DWORD, LPDWORD) {
  BeginCall();
  return Fail(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI InternetReadFileExA(HINTERNET, LPINTERNET_BUFFERSA, DWORD, DWORD_PTR) {
  BeginCall();
  return Fail(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI InternetGetCookieA(LPCSTR, LPCSTR, LPSTR, LPDWORD) {
  BeginCall();
  return Fail(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI InternetGetCookieExA(LPCSTR, LPCSTR, LPSTR, LPDWORD, DWORD, LPVOID) {
  BeginCall();
  return Fail(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI InternetSetCookieA(LPCSTR, LPCSTR, LPCSTR) {
  BeginCall();
  return Fail(ERROR_CALL_NOT_IMPLEMENTED);
}
