// Reading the answer: status code, headers, the body download, and the
// accessors the caller reads the results with.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "transport/transport_support.h"

namespace {

constexpr DWORD kStatusCodeNumber = HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER;
constexpr DWORD kFirstBuffer = 2048;  // working buffer when no length was announced
constexpr DWORD kFirstHeaders = 1024;  // the buffer a head is first asked into
// The largest body a 32-bit length can describe with the zero byte stored
// after it.
constexpr uint64_t kBodyMax = 0xFFFFFFFEu;
constexpr uint64_t kBlockMax = 0xFFFFFFFFu;
constexpr int kWaitPassesMax = 10;
constexpr int kPendingReadsMax = 2000;
constexpr DWORD kWaitIoCompletion = 0xC0;  // SleepEx ended by an I/O completion routine
constexpr char kQueryFailed[] = "CZemHttp::Datadump() Error %d calling InternetQueryDataAvailable.";

// A caller's header text variable holds either null or a checked block this
// library handed out: its size words must be readable and agree before the
// block can be released (the trailing word is the release's own guard).
bool IsReleasableBlock(const void *pv) {
  const char *pData = static_cast<const char *>(pv);
  if (reinterpret_cast<uintptr_t>(pData) < ZEMMEM_HEADER || IsBadReadPtr(pData - 2 * sizeof(DWORD), 2 * sizeof(DWORD))) {
    return false;
  }
  const DWORD cbAlloc = ZemMemReadWord(pData - sizeof(DWORD));
  return ZemMemReadWord(pData - 2 * sizeof(DWORD)) == static_cast<DWORD>(~cbAlloc) &&
         !IsBadReadPtr(pData, static_cast<UINT_PTR>(cbAlloc) + sizeof(DWORD));
}

// Changes the size of a body buffer without copying its bytes where both
// sizes are mapped blocks; false leaves the block as it was, and the caller
// copies.
bool ResizeInPlace(char **ppBuffer, DWORD cbNew) {
  void *pv = *ppBuffer;
  if (!ZemMemResizeMapped(&pv, cbNew)) return false;
  *ppBuffer = static_cast<char *>(pv);
  return true;
}

}  // namespace

DWORD CZemHttp::GetHttpStatusCode() {
  LogPrintf("CZemHttp::GetHttpStatusCode");
  if (hRequest == nullptr) return 0;
  dwStatusCode = 0;
  DWORD dwCode = 0;
  DWORD cbCode = sizeof dwCode;
  BOOL bRead = FALSE;
  if (!zem::IsMissingEntry(m_WinInet_HttpQueryInfoA)) {
    bRead = m_WinInet_HttpQueryInfoA(hRequest, kStatusCodeNumber, &dwCode, &cbCode, nullptr);
  }
  if (!bRead) {
    const DWORD dwError = GetLastError();
    if (dwError != 0) {
      SetError(static_cast<int>(dwError), "CZemHttp::GetHttpStatusCode FAILED, error# %d", ERROR_INVALID_PARAMETER);
    } else {
      LogPrintf("CZemHttp::GetHttpStatusCodefailed. GetLastError returned zero.");
    }
    return 0;
  }
  if (dwCode != 0) {
    LogPrintf("Status Code Pass %u received", static_cast<unsigned>(dwCode));
    dwStatusCode = dwCode;
  }
  return dwCode;
}

DWORD CZemHttp::QueryHttpStatusCode() { return dwStatusCode; }

DWORD CZemHttp::GetHttpResponseHeaders(void **ppvResult, DWORD dwQuery) {
  LogPrintf("CZemHttp::GetHttpResponseHeaders()");
  if (ppvResult == nullptr) return 0;
  const bool bNumber = (dwQuery & HTTP_QUERY_FLAG_NUMBER) != 0;
  if (dwQuery == 0) dwQuery = HTTP_QUERY_RAW_HEADERS_CRLF;

  if (bNumber) {
    // The caller's variable is a 32-bit number: exactly 4 bytes are written,
    // whatever the pointer type of the argument says.
    if (IsBadWritePtr(ppvResult, sizeof(DWORD))) {
      SetAccessError("CZemHttp::GetHttpResponseHeaders() FAILED (Nothing to do!).  Error# %d");
      return 0;
    }
    DWORD dwValue = 0;
    std::memcpy(ppvResult, &dwValue, sizeof dwValue);
    DWORD cbValue = sizeof dwValue;
    if (m_WinInet_HttpQueryInfoA != nullptr) {
      m_WinInet_HttpQueryInfoA(hRequest, dwQuery, &dwValue, &cbValue, nullptr);
    }
    std::memcpy(ppvResult, &dwValue, sizeof dwValue);
    return sizeof dwValue;
  }

  // A variable inside this object (the run passes its own header field) is
  // known to be writable; only a caller's variable is probed.
  const uintptr_t uObject = reinterpret_cast<uintptr_t>(this);
  const uintptr_t uVariable = reinterpret_cast<uintptr_t>(ppvResult);
  const bool bOwnField = uVariable >= uObject && uVariable + sizeof(void *) <= uObject + sizeof *this;
  if ((!bOwnField && IsBadWritePtr(ppvResult, sizeof(void *))) ||
      (*ppvResult != nullptr && !IsReleasableBlock(*ppvResult))) {
    SetAccessError("CZemHttp::GetHttpResponseHeaders() FAILED (Nothing to do!).  Error# %d");
    return 0;
  }
  ZemMemFree(ppvResult);
  // The first pass asks into a small buffer of the member's own, which a head
  // usually fits: one query then answers, where asking for the size first
  // takes two. What it answers is stored in the block the size question
  // would have made (the text, its terminator and one byte more). Aligned to
  // its size, the buffer lies within one page, so the copy into it needs no
  // probe through the kernel.
  alignas(kFirstHeaders) char szFirst[kFirstHeaders];
  char *pBuffer = szFirst;
  DWORD cbText = sizeof szFirst;
  // Each pass either answers or reports the size it needs; a library that
  // keeps asking for more cannot hold the member in a loop.
  for (int nPass = 0; nPass < 4; ++nPass) {
    if (zem::IsMissingEntry(m_WinInet_HttpQueryInfoA)) break;
    if (m_WinInet_HttpQueryInfoA(hRequest, dwQuery, pBuffer, &cbText, nullptr)) {
      if (pBuffer != szFirst) return cbText;
      // Never more than the buffer holds, whatever length comes back.
      const DWORD cbCopy = std::min<DWORD>(cbText, sizeof szFirst - 1);
      if (ZemMemAlloc(ppvResult, cbCopy + 2) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        break;
      }
      std::memcpy(*ppvResult, szFirst, cbCopy);
      return cbText;
    }
    const DWORD dwError = GetLastError();
    if (dwError == ERROR_HTTP_HEADER_NOT_FOUND) {
      SetError(ERROR_HTTP_HEADER_NOT_FOUND,
               "CZemHttp::GetHttpResponseHeaders() FAILED (Header not found).  Error# %d", 0);
      return 0;
    }
    if (dwError != ERROR_INSUFFICIENT_BUFFER) break;
    ZemMemFree(ppvResult);
    if (cbText >= kBlockMax || ZemMemAlloc(ppvResult, cbText + 1) != 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      break;
    }
    pBuffer = static_cast<char *>(*ppvResult);
    if (nPass == 3) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  }
  SetError(static_cast<int>(GetLastError()), "CZemHttp::GetHttpResponseHeaders() FAILED (Nothing to do!).  Error# %d",
           ERROR_INVALID_PARAMETER);
  return 0;
}

int CZemHttp::DataDump() {
  LogPrintf("CZemHttp::DataDump() - Started.");
  int nResult = 1;
  uint64_t cbTotal = 0;
  bool bAnnounced = false;
  char *pBuffer = nullptr;
  uint64_t cbCapacity = 0;

  // The download's fault path: whatever ends it this way (a missing entry, a
  // body no 32-bit length can hold, exhausted memory) is recorded, and the
  // body is not stored: the run does not report a response it cannot hand
  // out.
  auto fail = [&]() {
    LogPrintf("Program exception in DataDump()");
    SetError(static_cast<int>(GetLastError()), "CZemHttp::DataDump() - exception %d", ERROR_NOT_ENOUGH_MEMORY);
    ZemMemFree(&pBuffer);
    return 0;
  };
  if (zem::IsMissingEntry(m_WinInet_InternetQueryDataAvailable) || zem::IsMissingEntry(m_WinInet_InternetReadFile)) {
    return fail();
  }
  // A known length sizes the first buffer for the body and its zero byte,
  // so a body that keeps its announcement becomes the stored block as it is:
  // one copy of the body in memory, not two, and no copy at the end. The
  // buffer is made when the first bytes arrive, so an answer without a body
  // (HEAD) costs nothing. Sizes are reckoned in 64 bits and checked against
  // the 32-bit fields before anything is allocated.
  const uint64_t cbFirst = cbResponse != 0 ? static_cast<uint64_t>(cbResponse) + 1 : kFirstBuffer;

  // A download cut short (a short body, broken chunking, a reset, a handle
  // closed under the wait) keeps what arrived as the body and the run still
  // counts as answered; the error is recorded as well as notified, so that a
  // caller reading the record after the run can tell a cut body from a whole
  // one.
  auto cut = [&](DWORD dwError, const char *pszFormat) {
    SetError(static_cast<int>(dwError), pszFormat, 0);
    Notify(NOTIFY_ERROR, NOTIFY_TO_RESULT | NOTIFY_TO_STATUS, static_cast<INT_PTR>(dwError));
  };

  int nWaits = 0;
  for (;;) {
    DWORD cbAvailable = 0;
    SetLastError(0);
    if (!m_WinInet_InternetQueryDataAvailable(hRequest, &cbAvailable, 0, 0)) {
      const DWORD dwError = GetLastError();
      if (dwError != ERROR_IO_PENDING) {
        cut(dwError, kQueryFailed);
        break;
      }
      // Only an asynchronous handle answers pending. Ten short alertable
      // waits, each followed by another query; after them the download is
      // given up as an error rather than polled without end.
      bool bGaveUp = false;
      for (;;) {
        if (++nWaits > kWaitPassesMax) {
          bGaveUp = true;
          break;
        }
        if (SleepEx(10, TRUE) == kWaitIoCompletion) break;
        SetLastError(0);
        cbAvailable = 0;
        m_WinInet_InternetQueryDataAvailable(hRequest, &cbAvailable, 0, 0);
        if (cbAvailable != 0) bAnnounced = true;
        if (GetLastError() != ERROR_IO_PENDING) break;
      }
      if (bGaveUp) {
        cut(ERROR_IO_PENDING, kQueryFailed);
        break;
      }
      continue;
    }

    // A body announced or grown past what a 32-bit length can hold is
    // refused as soon as it starts to arrive.
    const uint64_t cbNeeded = cbTotal + cbAvailable;
    if (cbNeeded > kBodyMax || (cbAvailable != 0 && cbResponse > kBodyMax)) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return fail();
    }
    if (cbNeeded > cbCapacity) {
      // Geometric growth: twice what is needed, never past a 32-bit block.
      uint64_t cbNew = pBuffer == nullptr ? std::max(cbFirst, cbNeeded) : 2 * cbNeeded;
      cbNew = std::min(cbNew, kBlockMax);
      if (pBuffer == nullptr || !ResizeInPlace(&pBuffer, static_cast<DWORD>(cbNew))) {
        char *pNew = nullptr;
        SetLastError(0);
        if (ZemMemAlloc(&pNew, static_cast<DWORD>(cbNew)) != 0) return fail();
        if (cbTotal != 0) std::memcpy(pNew, pBuffer, static_cast<size_t>(cbTotal));
        ZemMemFree(&pBuffer);
        pBuffer = pNew;
      }
      cbCapacity = cbNew;
    }

    DWORD cbRead = 0;
    // The read that tells the end of the body asks for 0 bytes; it still
    // gets a place to write to before the first buffer exists.
    char chNone = 0;
    char *pWrite = pBuffer != nullptr ? pBuffer + cbTotal : &chNone;
    if (!m_WinInet_InternetReadFile(hRequest, pWrite, cbAvailable, &cbRead)) {
      nWaits = 0;
      const DWORD dwError = GetLastError();
      if (dwError != ERROR_IO_PENDING) {
        cut(dwError, "CZemHttp::Datadump() Error %d calling InternetReadFile.");
        break;
      }
      for (int n = 0; n < kPendingReadsMax; ++n) {
        cbRead = 0;
        if (m_WinInet_InternetReadFile(hRequest, pWrite, cbAvailable, &cbRead) || GetLastError() != ERROR_IO_PENDING) {
          break;
        }
      }
    }
    if (cbRead > cbAvailable) cbRead = cbAvailable;  // never past what the buffer was sized for
    if (cbRead != 0) {
      LogPrintf("Downloaded %d of %d", static_cast<int>(cbRead), static_cast<int>(cbAvailable));
      Notify(NOTIFY_STATUS_TEXT, NOTIFY_TO_STATUS, 0);
    }
    cbTotal += cbRead;
    if (cbAvailable == 0) break;
    // A read that succeeds with nothing while data was announced is the end
    // of the body all the same; asking again would only spin.
    if (cbRead == 0) break;
  }

  if (cbTotal > 0) {
    // The stored block is exactly the body and one zero byte (the buffer is
    // zero-filled, and nothing was written past the body).
    char *pBody = nullptr;
    if (ZemMemSize(pBuffer) == cbTotal + 1 || ResizeInPlace(&pBuffer, static_cast<DWORD>(cbTotal + 1))) {
      std::swap(pBody, pBuffer);
    } else {
      SetLastError(0);
      if (ZemMemAlloc(&pBody, static_cast<DWORD>(cbTotal + 1)) != 0) return fail();
      std::memcpy(pBody, pBuffer, static_cast<size_t>(cbTotal));
    }
    ZemMemFree(&pvResponse);
    pvResponse = pBody;
    cbResponse = static_cast<DWORD>(cbTotal);
    SetLastError(0);
  } else if (bAnnounced) {
    nResult = 0;
    LogPrintf("Error - No Data Returned");
    Notify(NOTIFY_STATUS_TEXT, NOTIFY_TO_STATUS, zem::TextValue("Download error."));
  } else {
    LogPrintf("No Data was sent by server.");
  }
  ZemMemFree(&pBuffer);
  return nResult;
}

unsigned int CZemHttp::GetRawData(char *pBuffer) {
  LogPrintf("CZemHttp::GetRawData( ptr_data(%lx) )", zem::PointerValue(pBuffer));
  if (pvResponse == nullptr || cbResponse == 0) return 0;
  // A length announced by a run that stored no body of its own never
  // reaches past the block held.
  const DWORD cbBody = std::min(cbResponse, ZemMemSize(pvResponse));
  if (pBuffer != nullptr) {
    if (IsBadWritePtr(pBuffer, cbBody)) {
      SetError(ERROR_NOACCESS, "CZemHttp::GetRawData FAILED, error# %d", ERROR_INVALID_PARAMETER);
    } else {
      std::memcpy(pBuffer, pvResponse, cbBody);
    }
  }
  return cbBody;
}
