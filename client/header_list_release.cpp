// Dropping entries of the client's request-header list.
#include <cctype>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "client/usable_str.h"

namespace {

// Header names compare without regard to letter case, as HTTP has them.
bool SameHeaderName(const char *pszA, const char *pszB) {
  for (; *pszA != '\0' && *pszB != '\0'; ++pszA, ++pszB) {
    if (std::tolower(static_cast<unsigned char>(*pszA)) != std::tolower(static_cast<unsigned char>(*pszB))) {
      return false;
    }
  }
  return *pszA == *pszB;
}

}  // namespace

int CZemHttp::ClearHttpHdrs(const char *pszName) {
  const bool bByName = zem::IsUsableStr(pszName);
  LogPrintf("CZemHttp::ClearHttpHdrs( %s )", bByName ? pszName : "");
  // ppLink is the pNext of the last entry kept (or the list head), so a run
  // of adjacent matching entries is unlinked completely.
  ZEMHTTPHDR **ppLink = &pHttpHeaders;
  while (ZEMHTTPHDR *pEntry = *ppLink) {
    const bool bRemove = !bByName || (pEntry->pszName != nullptr && SameHeaderName(pEntry->pszName, pszName));
    if (!bRemove) {
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
