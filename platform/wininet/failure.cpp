#include "failure.h"

#include <cstring>

#include "wininet.h"

namespace zem::wininet {
namespace {

thread_local ResponseInfo t_info;

}  // namespace

void BeginCall() {
  t_info.error = 0;
  t_info.text.clear();
}

BOOL Fail(DWORD error) { return Fail(error, MessageText(error)); }

BOOL Fail(DWORD error, const std::string &detail) {
  t_info.error = error;
  t_info.text = detail;
  SetLastError(error);
  return FALSE;
}

BOOL Succeed() {
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

const ResponseInfo &LastResponseInfo() { return t_info; }

}  // namespace zem::wininet

using zem::wininet::LastResponseInfo;

BOOL WINAPI InternetGetLastResponseInfoA(LPDWORD lpdwError, LPSTR lpszBuffer, LPDWORD lpdwBufferLength) {
  // Deliberately no BeginCall: asking for the description must not clear it.
  if (lpdwError == nullptr || lpdwBufferLength == nullptr || IsBadWritePtr(lpdwError, sizeof(DWORD)) ||
      IsBadWritePtr(lpdwBufferLength, sizeof(DWORD))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto &info = LastResponseInfo();
  *lpdwError = info.error;
  const DWORD length = static_cast<DWORD>(info.text.size());
  if (length == 0) {
    if (lpszBuffer != nullptr && *lpdwBufferLength > 0 && !IsBadWritePtr(lpszBuffer, 1)) lpszBuffer[0] = '\0';
    *lpdwBufferLength = 0;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  }
  // The buffer must hold the text and its terminating zero; the size reported
  // back counts both, the length after success only the text.
  if (lpszBuffer == nullptr || *lpdwBufferLength < length + 1) {
    *lpdwBufferLength = length + 1;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (IsBadWritePtr(lpszBuffer, length + 1)) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  memcpy(lpszBuffer, info.text.c_str(), length + 1);
  *lpdwBufferLength = length;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
