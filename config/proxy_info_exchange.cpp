// Copying the proxy settings record out of a client and into another, so a
// program loads a settings file or discovers the proxy once and hands the
// result to every client it makes.
//
// These members report their errors by writing dwLastOSError and
// szLastError themselves: dwLastInetError keeps its value and no SetError
// line reaches the log.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ZemHttp.h"

namespace {

constexpr DWORD kInvalidArg = 0x80070057;  // E_INVALIDARG: no record given
constexpr char kImportCopyFault[] = "CZemHttp::ImportProxyInfo Exception during MemCopy. (error#: 0x%x): %d";

unsigned long AddressOf(const void *pv) { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pv)); }

// Records an exchange failure. Every text carries the number in hexadecimal;
// the two copy-failure texts show it once more in decimal after the colon.
void RecordError(CZemHttp &http, DWORD dwError, const char *pszFormat) {
  http.dwLastOSError = dwError;
  std::snprintf(http.szLastError, sizeof http.szLastError, pszFormat, dwError, static_cast<int>(dwError));
}

}  // namespace

int CZemHttp::ExportProxyInfo(tagZEMPROXYINFO *pInfo) {
  LogPrintf("CZemHttp::ExportProxyInfo( [0x%lx])", AddressOf(pInfo));
  if (pInfo == nullptr) {
    RecordError(*this, kInvalidArg,
                "CZemHttp::ExportProxyInfo invalid pointer arguement. (error#: 0x%x)");
    return 0;
  }
  if (m_ZemProxyInfo.bInitialized == 0) {
    RecordError(*this, ERROR_INVALID_DATA,
                "CZemHttp::ExportProxyInfo - Proxy info not initialized. (error#: 0x%x)");
    return 0;
  }
  // The caller's record is probed instead of written blindly: an address
  // that cannot take 836 bytes is refused before any byte changes.
  if (IsBadWritePtr(pInfo, sizeof(tagZEMPROXYINFO))) {
    RecordError(*this, ERROR_NOACCESS,
                "CZemHttp::ExportProxyInfo Exception during MemCopy. (error#: 0x%x): %d");
    return 0;
  }
  // memmove: a caller may hand in this object's own record.
  std::memmove(pInfo, &m_ZemProxyInfo, sizeof(tagZEMPROXYINFO));
  LogAddLine("CZemHttp::ExportProxyInfo - Done");
  return 1;
}

int CZemHttp::ImportProxyInfo(tagZEMPROXYINFO *pInfo) {
  LogPrintf("CZemHttp::ImportProxyInfo( ProxyStruc[0x%lx])", AddressOf(pInfo));
  if (pInfo == nullptr) {
    RecordError(*this, kInvalidArg,
                "CZemHttp::ImportProxyInfo invalid pointer arguement. (error#: 0x%x)");
    return 0;
  }
  // Reading the record's first member would already fault on a bad
  // address: the probe comes first and leaves this object's record intact.
  if (IsBadReadPtr(pInfo, sizeof(tagZEMPROXYINFO))) {
    RecordError(*this, ERROR_NOACCESS, kImportCopyFault);
    return 0;
  }
  if (pInfo->bInitialized == 0) {
    RecordError(*this, ERROR_INVALID_DATA,
                "CZemHttp::ImportProxyInfo - Proxy info not initialized. (error#: 0x%x)");
    return 0;
  }
  // Raw bytes, nothing judged: an odd access type or letter is met later by
  // the session opening. memmove: importing the own record is harmless.
  std::memmove(&m_ZemProxyInfo, pInfo, sizeof(tagZEMPROXYINFO));
  LogAddLine("CZemHttp::ImportProxyInfo - Done");
  return 1;
}

int CZemHttp::ImportProxyInfo(CZemHttp *pOther) {
  LogPrintf("CZemHttp::ImportProxyInfo( Class[0x%lx]) ", AddressOf(pOther));
  if (pOther == nullptr) return 0;
  // An object that cannot be read fails as its record would: as a copy.
  if (IsBadReadPtr(pOther, sizeof(CZemHttp))) {
    RecordError(*this, ERROR_NOACCESS, kImportCopyFault);
    return 0;
  }
  if (pOther->m_ZemProxyInfo.bInitialized != 0) {
    ImportProxyInfo(&pOther->m_ZemProxyInfo);
    return 1;
  }
  LogAddLine("CZemHttp::ImportProxyInfo->m_ZemProxyInfo, not initialized for proxy export.");
  return 0;
}
