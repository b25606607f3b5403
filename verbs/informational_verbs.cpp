// OPTIONS, HEAD and TRACE: requests that ask about a resource and copy a
// piece of the answer to the caller.
#include <cstring>

#include "ZemHttp.h"
#include "ZemSys.h"
#include "config/caller_text.h"
#include "transport/transport_support.h"
#include "verbs/verb_support.h"

namespace {

constexpr DWORD kHeaderTextMin = 5;  // header texts this short are never searched

// Copies a text into the caller's buffer of cchBuffer characters, the NUL
// counted, so that sizeof(buffer) is always a safe size; 0 writes nothing.
void CopyText(char *pszBuffer, unsigned int cchBuffer, const char *pszText) {
  if (cchBuffer == 0) return;
  SysStrCopyN(pszBuffer, pszText, static_cast<int>(cchBuffer > 0x7FFFFFFFu ? 0x7FFFFFFE : cchBuffer - 1));
}

// HEAD and TRACE hand back the whole response header text.
void CopyHeaders(CZemHttp &http, char *pszBuffer, unsigned int cchBuffer, const char *pszFailText) {
  if (pszBuffer == nullptr || http.pvResponseHeaders == nullptr) return;
  if (IsBadWritePtr(pszBuffer, cchBuffer)) {
    http.SetError(ERROR_NOACCESS, pszFailText, ERROR_INVALID_PARAMETER);
    return;
  }
  CopyText(pszBuffer, cchBuffer, http.pvResponseHeaders);
}

}  // namespace

int CZemHttp::GetOptions(const char *pszUrl, char *pszBuffer, unsigned int cchBuffer) {
  LogPrintf("CZemHttp::GetOptions( [%016lX] , %x, %d)", zem::PointerValue(pszBuffer), cchBuffer,
            static_cast<int>(cchBuffer));
  if (pszUrl != nullptr) SetURL(pszUrl);
  pszVerb = ZemHttpVerbTable[ZEMHTTP_VERB_OPTIONS];
  LogPrintf("CZemHttp::GetAccept() - VERB = \"OPTIONS\" ");
  zem::ReleaseResponse(*this);
  int nResult = 0;
  if (zem::AssignObjectName(*this, pszUrlPath, "CZemHttp::GetOptions() - pszObjectName not allocated")) {
    nResult = InternetRun();
  }
  if (pszBuffer != nullptr) {
    const char *pszBody = static_cast<const char *>(pvResponse);
    const char *pszAllow = nullptr;
    if (!zem::IsUsableStr(pszBody) && zem::IsUsableStr(pvResponseHeaders) && cbResponseHeaders > kHeaderTextMin) {
      pszAllow = SysStrStr(pvResponseHeaders, "Allow:");
    }
    if ((zem::IsUsableStr(pszBody) || pszAllow != nullptr) && IsBadWritePtr(pszBuffer, cchBuffer)) {
      SetAccessError("CZemHttp::GetOptions() - buffer not writable, error# %d");
    } else if (zem::IsUsableStr(pszBody)) {
      CopyText(pszBuffer, cchBuffer, pszBody);
    } else if (pszAllow != nullptr) {
      // The whole "Allow:" line, name included, up to its line end; a line
      // that fills the buffer is left without a terminator.
      for (unsigned int n = 0; n < cchBuffer; ++n) {
        const unsigned char ch = static_cast<unsigned char>(pszAllow[n]);
        if (ch < 0x20 || ch > 0x7F) {
          pszBuffer[n] = '\0';
          break;
        }
        pszBuffer[n] = static_cast<char>(ch);
      }
    }
  }
  LogPrintf("CZemHttp::GetOptions() - %s", zem::OutcomeWord(nResult));
  return nResult != 0 && pvResponse != nullptr ? 1 : 0;
}

int CZemHttp::GetHead(const char *pszUrl, char *pszBuffer, unsigned int cchBuffer) {
  LogPrintf("CZemHttp::GetHead() - %s", zem::LoggableStr(pszUrl));
  if (pszUrl != nullptr) SetURL(pszUrl);
  pszVerb = ZemHttpVerbTable[ZEMHTTP_VERB_HEAD];
  LogPrintf("CZemHttp::GetAccept() - VERB = \"HEAD\" ");
  zem::ReleaseResponse(*this);
  int nResult = 0;
  if (zem::AssignObjectName(*this, pszUrlPath, "CZemHttp::GetHead() - pszObjectName not allocated")) {
    nResult = InternetRun();
  }
  CopyHeaders(*this, pszBuffer, cchBuffer, "CZemHttp::GetHead() - buffer not writable, error# %d");
  LogPrintf("CZemHttp::GetHead() - %s", zem::OutcomeWord(nResult != 0 && cbResponseHeaders != 0));
  return static_cast<int>(cbResponseHeaders);
}

int CZemHttp::Trace(const char *pszUrl, char *pszBuffer, unsigned int cchBuffer) {
  LogPrintf("CZemHttp::Trace() - %s", zem::LoggableStr(pszUrl));
  if (pszUrl != nullptr) SetURL(pszUrl);
  pszVerb = ZemHttpVerbTable[ZEMHTTP_VERB_TRACE];
  LogPrintf("CZemHttp::TRACE() - VERB = \"TRACE\" ");
  const bool bNamed = zem::AssignObjectName(*this, pszUrlPath, "CZemHttp::Trace() - pszObjectName not allocated");
  zem::ReleaseResponse(*this);
  const int nResult = bNamed ? InternetRun() : 0;
  CopyHeaders(*this, pszBuffer, cchBuffer, "CZemHttp::Trace() - buffer not writable, error# %d");
  LogPrintf("CZemHttp::Trace() - %s", zem::OutcomeWord(nResult != 0 && cbResponseHeaders != 0));
  return static_cast<int>(cbResponseHeaders);
}
