// The client's own request-header list: adding, updating and emptying
// entries with the internet library's header modifiers, and removal by name.
// The list outlives every request handle; each request hands every entry to
// the library with the entry's own modifiers.
#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "config/caller_text.h"

namespace {

// Entries of a coalescing add are never looked up: such an add always
// appends, so the library sees every value and joins them itself.
constexpr DWORD kCoalesceFlags = HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA | HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON;

bool HasName(const ZEMHTTPHDR *pEntry, const char *pszName) {
  return pEntry->pszName != nullptr && zem::SameTextNoCase(pEntry->pszName, pszName);
}

}  // namespace

int CZemHttp::AddHttpHeader(DWORD dwModifiers, const char *pszName, const char *pszValue) {
  LogPrintf("CZemHttp::AddHttpHeader( %s, %s )", zem::LoggableStr(pszName), zem::LoggableStr(pszValue));
  DWORD dwError = 0;
  // An unreadable value must not pass for an empty one, which would turn the
  // add into the header's removal.
  if (zem::IsUnreadableStr(pszName) || zem::IsUnreadableStr(pszValue)) {
    dwError = ERROR_NOACCESS;
  } else if (dwModifiers == 0 || !zem::IsUsableStr(pszName)) {
    SetError(87, "CZemHttp::AddHttpHeader - nothing to do", 0);
    return 1;
  } else if (m_WinInet_HttpAddRequestHeadersA == nullptr) {
    // Without the library the list could never be sent: it is left alone.
    SetError(126, "CZemHttp::AddHttpHeader", 0);
    return 1;
  }

  if (dwError == 0) {
    ZEMHTTPHDR **ppLink = &pHttpHeaders;
    ZEMHTTPHDR *pEntry = nullptr;
    if ((dwModifiers & kCoalesceFlags) == 0) {
      for (; *ppLink != nullptr; ppLink = &(*ppLink)->pNext) {
        if (HasName(*ppLink, pszName)) {
          pEntry = *ppLink;
          break;
        }
      }
      if (pEntry != nullptr && (dwModifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 0) return 1;
    } else {
      while (*ppLink != nullptr) ppLink = &(*ppLink)->pNext;
    }

    if (pEntry == nullptr) {
      // A new name without a value has nothing to remove either.
      if (!zem::IsUsableStr(pszValue)) return 1;
      if (ZemMemAlloc(&pEntry, sizeof(ZEMHTTPHDR)) == 0) {
        SysStrAssign(&pEntry->pszName, pszName);
        if (pEntry->pszName == nullptr) ZemMemFree(&pEntry);
      }
      if (pEntry == nullptr) {
        dwError = ERROR_NOT_ENOUGH_MEMORY;
      } else {
        *ppLink = pEntry;  // the end of the list: entries keep their order
      }
    }
    if (pEntry != nullptr) {
      pEntry->dwModifiers = dwModifiers;
      ZemMemFree(&pEntry->pszValue);
      if (zem::IsUsableStr(pszValue)) SysStrAssign(&pEntry->pszValue, pszValue);
    }
  }

  if (dwError != 0) {
    SetError(static_cast<int>(dwError), "CZemHttp::AddHttpHeader FAILED. (error# %d)", 0);
    return 0;
  }
  return 1;
}

int CZemHttp::ClearHttpHdrs(const char *pszName) {
  LogPrintf("CZemHttp::ClearHttpHdrs( %s )", zem::LoggableStr(pszName));
  if (zem::IsUnreadableStr(pszName)) {
    SetError(ERROR_NOACCESS, "CZemHttp::ClearHttpHdrs FAILED (error# %d)", 0);
    return 0;
  }
  const bool bByName = zem::IsUsableStr(pszName);
  // ppLink is the pNext of the last entry kept (or the list head), so a run
  // of adjacent matching entries is unlinked completely.
  ZEMHTTPHDR **ppLink = &pHttpHeaders;
  while (ZEMHTTPHDR *pEntry = *ppLink) {
    if (bByName && !HasName(pEntry, pszName)) {
      ppLink = &pEntry->pNext;
      continue;
    }
    *ppLink = pEntry->pNext;
    ZemMemFree(&pEntry->pszName);
    ZemMemFree(&pEntry->pszValue);
    ZemMemFree(&pEntry);
  }
  return 1;
}
