// Reading a response body: what can be read now, and the bytes themselves.
#include "arguments.h"
#include "failure.h"
#include "handles.h"
#include "transfer.h"

using namespace zem::wininet;

namespace {

// The transfer of a sent request, or null with the failure recorded.
std::shared_ptr<Transfer> SentTransfer(HINTERNET handle) {
  std::lock_guard<std::mutex> lock(HandleLock());
  DWORD error = 0;
  auto request = FindHandleOf<Request>(handle, HandleKind::kRequest, &error);
  if (!request) {
    Fail(error);
    return nullptr;
  }
  if (!request->transfer) {
    Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "The request has not been sent.");
    return nullptr;
  }
  return request->transfer;
}

}  // namespace

BOOL WINAPI InternetQueryDataAvailable(HINTERNET hFile, LPDWORD lpdwNumberOfBytesAvailable, DWORD, DWORD_PTR) {
  BeginCall();
  if (!CheckWritable(lpdwNumberOfBytesAvailable, sizeof(DWORD), "lpdwNumberOfBytesAvailable")) return FALSE;
  *lpdwNumberOfBytesAvailable = 0;
  auto transfer = SentTransfer(hFile);
  if (!transfer) return FALSE;
  std::string detail;
  const DWORD error = transfer->Available(lpdwNumberOfBytesAvailable, &detail);
  if (error != 0) return Fail(error, detail);
  return Succeed();
}

BOOL WINAPI InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                             LPDWORD lpdwNumberOfBytesRead) {
  BeginCall();
  if (lpdwNumberOfBytesRead == nullptr) return Fail(ERROR_INVALID_PARAMETER, "lpdwNumberOfBytesRead is null.");
  if (!CheckWritable(lpdwNumberOfBytesRead, sizeof(DWORD), "lpdwNumberOfBytesRead")) return FALSE;
  *lpdwNumberOfBytesRead = 0;
  if (lpBuffer == nullptr && dwNumberOfBytesToRead > 0) return Fail(ERROR_INVALID_PARAMETER, "lpBuffer is null.");
  auto transfer = SentTransfer(hFile);
  if (!transfer) return FALSE;
  if (dwNumberOfBytesToRead == 0) return Succeed();
  std::string detail;
  const DWORD error = transfer->Read(static_cast<char *>(lpBuffer), dwNumberOfBytesToRead, lpdwNumberOfBytesRead,
                                     &detail, true);
  if (error != 0) return Fail(error, detail);
  return Succeed();
}

BOOL WINAPI InternetReadFileExA(HINTERNET hFile, LPINTERNET_BUFFERSA lpBuffersOut, DWORD dwFlags, DWORD_PTR) {
  BeginCall();
  if (!CheckWritable(lpBuffersOut, sizeof(DWORD), "lpBuffersOut")) return FALSE;
  // A record laid out for 32-bit pointers would be read in the wrong places.
  if (lpBuffersOut->dwStructSize != sizeof(INTERNET_BUFFERSA)) {
    return Fail(ERROR_INVALID_PARAMETER,
                "lpBuffersOut->dwStructSize is not " + std::to_string(sizeof(INTERNET_BUFFERSA)) + ".");
  }
  if (!CheckWritable(lpBuffersOut, sizeof(INTERNET_BUFFERSA), "lpBuffersOut")) return FALSE;
  if (lpBuffersOut->lpvBuffer == nullptr && lpBuffersOut->dwBufferLength > 0) {
    return Fail(ERROR_INVALID_PARAMETER, "lpBuffersOut->lpvBuffer is null.");
  }
  auto transfer = SentTransfer(hFile);
  if (!transfer) return FALSE;
  const DWORD size = lpBuffersOut->dwBufferLength;
  lpBuffersOut->dwBufferLength = 0;
  if (size == 0) return Succeed();
  DWORD read = 0;
  std::string detail;
  // IRF_NO_WAIT takes what has arrived; otherwise the buffer is filled as by
  // InternetReadFile.
  const DWORD error = transfer->Read(static_cast<char *>(lpBuffersOut->lpvBuffer), size, &read, &detail,
                                     (dwFlags & IRF_NO_WAIT) == 0);
  if (error != 0) return Fail(error, detail);
  lpBuffersOut->dwBufferLength = read;
  return Succeed();
}
