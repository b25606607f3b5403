// PUT and DELETE of a named file below the URL path.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "config/caller_text.h"
#include "transport/transport_support.h"
#include "verbs/verb_support.h"

namespace {

// Names of two characters or fewer are taken as no name: the object uses
// the name of an earlier call.
constexpr size_t kFileNameMin = 3;

bool IsSlash(char ch) { return ch == '/' || ch == '\\'; }

// Keeps the file name for this and later calls, without one leading slash.
void TakeFileName(CZemHttp &http, const char *pszFile) {
  if (!zem::IsUsableStr(pszFile) || std::strlen(pszFile) < kFileNameMin) return;
  ZemMemFree(&http.pszFileName);
  SysStrAssign(&http.pszFileName, IsSlash(pszFile[0]) ? pszFile + 1 : pszFile);
}

// "path/name": the path loses one trailing slash (in the field itself), so
// the two never double it. Without a usable path the name alone is the
// object. False when memory ran out (error 8 recorded).
bool BuildFileObjectName(CZemHttp &http, const char *pszFailText) {
  if (!zem::IsUsableStr(http.pszUrlPath)) return zem::AssignObjectName(http, http.pszFileName, pszFailText);
  const size_t cchPath = std::strlen(http.pszUrlPath);
  if (IsSlash(http.pszUrlPath[cchPath - 1])) http.pszUrlPath[cchPath - 1] = '\0';
  if (!zem::IsUsableStr(http.pszFileName)) return zem::AssignObjectName(http, http.pszUrlPath, pszFailText);
  const uint64_t cbName = static_cast<uint64_t>(cchPath) + std::strlen(http.pszFileName) + 2;
  ZemMemFree(&http.pszObjectName);
  if (cbName > 0xFFFFFFFFu || ZemMemAlloc(&http.pszObjectName, static_cast<DWORD>(cbName)) != 0) {
    http.SetError(ERROR_NOT_ENOUGH_MEMORY, pszFailText, ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  std::snprintf(http.pszObjectName, static_cast<size_t>(cbName), "%s/%s", http.pszUrlPath, http.pszFileName);
  return true;
}

}  // namespace

int CZemHttp::FilePut(const char *pszUrl, const char *pszFile, const void *pvData, unsigned int cbData) {
  const char *pszName = zem::LoggableStr(pszFile);
  LogPrintf("CZemHttp::Put( %s%s%s Ptr[%lx], %u bytes", zem::LoggableStr(pszUrl), pszName[0] != '\0' ? "/" : "",
            pszName, zem::PointerValue(pvData), cbData);
  pszVerb = ZemHttpVerbTable[ZEMHTTP_VERB_PUT];
  LogPrintf("CZemHttp::Put() - VERB = \"PUT\" ");
  if (pszUrl != nullptr) SetURL(pszUrl);
  zem::ReleaseResponse(*this);
  if (pvData != nullptr && cbData != 0) {
    const bool bUnreadable = zem::IsUnreadableBody(pvData, cbData);
    SetPostData(pvData, cbData);
    if (bUnreadable) {
      LogPrintf("CZemHttp::Put() - %s", zem::OutcomeWord(0));
      return 0;
    }
  }
  // An unreadable name must not fall back on the name of an earlier call:
  // that would store the data as another file.
  if (zem::IsUnreadableStr(pszFile)) {
    SetAccessError("CZemHttp::Put() - file name not readable, error# %d");
    LogPrintf("CZemHttp::Put() - %s", zem::OutcomeWord(0));
    return 0;
  }
  TakeFileName(*this, pszName);
  const int nResult = BuildFileObjectName(*this, "CZemHttp::Put() - pszObjectName not allocated") ? InternetRun() : 0;
  LogPrintf("CZemHttp::Put() - %s", zem::OutcomeWord(nResult));
  return nResult;
}

int CZemHttp::FileDelete(const char *pszUrl, const char *pszFile) {
  const char *pszName = zem::LoggableStr(pszFile);
  LogPrintf("CZemHttp::FileDelete( %s/%s )", zem::LoggableStr(pszUrl), pszName);
  pszVerb = ZemHttpVerbTable[ZEMHTTP_VERB_DELETE];
  LogPrintf("CZemHttp::Put() - VERB = \"DELETE\" ");
  if (pszUrl != nullptr) SetURL(pszUrl);
  zem::ReleaseResponse(*this);
  SetPostData(nullptr, 0);
  if (zem::IsUnreadableStr(pszFile)) {
    SetAccessError("CZemHttp::FileDelete() - file name not readable, error# %d");
    LogPrintf("CZemHttp::FileDelete() - %s", zem::OutcomeWord(0));
    return 0;
  }
  TakeFileName(*this, pszName);
  const int nResult =
      BuildFileObjectName(*this, "CZemHttp::FileDelete() - pszObjectName not allocated") ? InternetRun() : 0;
  LogPrintf("CZemHttp::FileDelete() - %s", zem::OutcomeWord(nResult));
  return nResult;
}
