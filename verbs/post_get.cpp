// The request body, the query, and the POST and GET verbs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "client/log_lines.h"
#include "config/caller_text.h"
#include "transport/transport_support.h"
#include "verbs/verb_support.h"

namespace {

// The query's length was kept in a 16-bit count: a longer text could never
// be described by it.
constexpr size_t kQueryMax = 65535;

// A query the caller handed in that SetQueryData refuses as a fault rather
// than as exhausted memory: unreadable, or too long for its count.
bool IsRefusedQuery(const char *pszQuery) {
  if (zem::IsUnreadableStr(pszQuery)) return true;
  return zem::IsUsableStr(pszQuery) && strnlen(pszQuery, kQueryMax + 1) > kQueryMax;
}

}  // namespace

int CZemHttp::SetPostData(const void *pvData, unsigned int cbData) {
  LogPrintf("CZemHttp::SetPostData()");
  if (cbData == 0) {
    // Clearing the body also drops the one held for resending: the next
    // request goes without a body.
    ZemMemFree(&pvPostData);
    cbPostData = 0;
    ZemMemFree(&pvRequest);
    cbRequest = 0;
    LogPrintf("CZemHttp::SetPostData() - Data cleared");
    return 1;
  }
  if (pvData == nullptr || IsBadReadPtr(pvData, cbData)) {
    ZemMemFree(&pvPostData);
    cbPostData = 0;
    if (pvData == nullptr) {
      SetError(ERROR_INVALID_DATA, "CZemHttp::SetPostData() - size specified for NULL data", 0);
    } else {
      SetAccessError("CZemHttp::SetPostData() - data not readable, error# %d");
    }
    return 0;
  }
  // The old body is released only after the copy, so data taken from the
  // block being replaced is still there to be read.
  void *pvNew = nullptr;
  SetLastError(0);
  if (ZemMemAlloc(&pvNew, cbData) != 0) {
    ZemMemFree(&pvPostData);
    cbPostData = 0;
    SetError(static_cast<int>(GetLastError()), "CZemHttp::SetPostData() - pvPostData not allocated", ERROR_OUTOFMEMORY);
    return 0;
  }
  std::memmove(pvNew, pvData, cbData);
  ZemMemFree(&pvPostData);
  pvPostData = pvNew;
  cbPostData = cbData;
  LogPrintf("CZemHttp::SetPostData() - Data set");
  return 1;
}

int CZemHttp::SetQueryData(const char *pszQuery) {
  LogPrintf("CZemHttp::SetQueryData()");
  ZemMemFree(&pvQueryData);
  cbQueryData = 0;
  if (zem::IsUnreadableStr(pszQuery)) {
    SetAccessError("CZemHttp::SetQueryData() - query not readable, error# %d");
    return 0;
  }
  const size_t cchQuery = zem::IsUsableStr(pszQuery) ? strnlen(pszQuery, kQueryMax + 1) : 0;
  if (cchQuery == 0) {
    LogPrintf("CZemHttp::SetQueryData() - Data cleared");
    return 1;
  }
  if (cchQuery > kQueryMax) {
    SetError(ERROR_INVALID_PARAMETER, "CZemHttp::SetQueryData() - query of 65536 characters or more, error# %d", 0);
    return 0;
  }
  SetLastError(0);
  SysStrAssign(&pvQueryData, pszQuery);
  if (pvQueryData == nullptr) {
    SetError(static_cast<int>(GetLastError()), "CZemHttp::SetQueryData() - pvQueryData not allocated",
             ERROR_OUTOFMEMORY);
    return 0;
  }
  cbQueryData = static_cast<DWORD>(cchQuery);
  LogPrintf("CZemHttp::SetQueryData() - Data set");
  return 1;
}

int CZemHttp::Post(const char *pszUrl, const void *pvData, unsigned int cbData) {
  LogPrintf("CZemHttp::Post( %s, %lx, %d", zem::SeenLoggableStr(*this, pszUrl), zem::PointerValue(pvData),
            static_cast<int>(cbData));
  pszVerb = ZemHttpVerbTable[ZEMHTTP_VERB_POST];
  LogPrintf("CZemHttp::Post() - VERB = \"POST\" ");
  if (pszUrl != nullptr) SetURL(pszUrl);
  zem::ReleaseResponse(*this);
  int nResult = 0;
  if (pvData != nullptr && cbData != 0) {
    const bool bUnreadable = zem::IsUnreadableBody(pvData, cbData);
    SetPostData(pvData, cbData);
    if (bUnreadable) {
      LogPrintf("CZemHttp::Post() - %s", zem::OutcomeWord(0));
      return 0;
    }
  }
  // The query is not part of a POST's object name.
  if (zem::AssignObjectName(*this, pszUrlPath, "CZemHttp::Post() - pszObjectName not allocated")) {
    nResult = InternetRun();
  }
  LogPrintf("CZemHttp::Post() - %s", zem::OutcomeWord(nResult));
  return nResult;
}

int CZemHttp::PostText(const char *pszUrl, const char *pszText) {
  if (zem::IsUnreadableStr(pszText)) {
    SetAccessError("CZemHttp::PostText - text not readable, error# %d");
    return 0;
  }
  if (!zem::IsUsableStr(pszText)) return Post(pszUrl, pszText, 0);
  const size_t cchText = std::strlen(pszText);
  // The text, CR LF and a NUL must be described by a 32-bit length.
  if (cchText > 0xFFFFFFFFu - 3) {
    SetError(ERROR_NOT_ENOUGH_MEMORY, "CZemHttp::PostText - text too long for a request body, error# %d", 0);
    return 0;
  }
  char *pszBody = nullptr;
  if (ZemMemAlloc(&pszBody, static_cast<DWORD>(cchText + 3)) != 0) {
    return Post(pszUrl, pszText, static_cast<unsigned int>(cchText));
  }
  std::memcpy(pszBody, pszText, cchText);
  pszBody[cchText] = '\r';
  pszBody[cchText + 1] = '\n';
  pszBody[cchText + 2] = '\0';
  const int nResult = Post(pszUrl, pszBody, static_cast<unsigned int>(cchText + 2));
  ZemMemFree(&pszBody);
  return nResult;
}

int CZemHttp::Get(const char *pszUrl, const char *pszQuery) {
  LogPrintf("CZemHttp::Get( %s , %s)", zem::SeenLoggableStr(*this, pszUrl), zem::SeenLoggableStr(*this, pszQuery));
  if (pszUrl != nullptr) SetURL(pszUrl);
  pszVerb = ZemHttpVerbTable[ZEMHTTP_VERB_GET];
  LogPrintf("CZemHttp::GetAccept() - VERB = \"GET\" ");
  zem::ReleaseResponse(*this);
  if (zem::IsUnreadableStr(pszQuery) || zem::IsUsableStr(pszQuery)) {
    // A query that cannot be taken would leave the request asking for
    // something else (an earlier query, or none): nothing is sent.
    const bool bRefused = IsRefusedQuery(pszQuery);
    SetQueryData(pszQuery);
    if (bRefused) {
      LogPrintf("CZemHttp::Get() - %s", zem::OutcomeWord(0));
      return 0;
    }
  }

  const char *pszPath = zem::IsUsableStr(pszUrlPath) ? pszUrlPath : "";
  bool bNamed;
  if (zem::IsUsableStr(pvQueryData)) {
    // Sized by the text itself as well as by its count, so a count that
    // disagrees with the text can never cut or overrun the name.
    const uint64_t cbName = static_cast<uint64_t>(std::strlen(pszPath)) +
                            std::max<uint64_t>(cbQueryData, std::strlen(pvQueryData)) + 2;
    ZemMemFree(&pszObjectName);
    if (cbName <= 0xFFFFFFFFu && ZemMemAlloc(&pszObjectName, static_cast<DWORD>(cbName)) == 0) {
      std::snprintf(pszObjectName, static_cast<size_t>(cbName), pvQueryData[0] == '?' ? "%s%s" : "%s?%s", pszPath,
                    pvQueryData);
      bNamed = true;
    } else {
      SetError(ERROR_NOT_ENOUGH_MEMORY, "CZemHttp::Get() - pszObjectName not allocated", ERROR_NOT_ENOUGH_MEMORY);
      bNamed = false;
    }
  } else {
    bNamed = zem::AssignObjectName(*this, pszUrlPath, "CZemHttp::Get() - pszObjectName not allocated");
  }
  const int nResult = bNamed ? InternetRun() : 0;
  LogPrintf("CZemHttp::Get() - %s", zem::OutcomeWord(nResult));
  return nResult;
}
