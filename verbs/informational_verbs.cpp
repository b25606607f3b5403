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

// The bytes a copy of cchText characters and its end writes into a buffer
// of cchBuffer characters: only those must be writable, whatever size the
// caller claims.
UINT_PTR WrittenBytes(size_t cchText, unsigned int cchBuffer) {
  return static_cast<UINT_PTR>(cchText + 1 < cchBuffer ? cchText + 1 : cchBuffer);
}

// Copies a text into the caller's buffer of cchBuffer characters, the NUL
// counted, so that sizeof(buffer) is always a safe size; 0 writes nothing.
// A buffer that cannot take the copy is refused with 998 under the verb's
// own text.
void CopyText(CZemHttp &http, char *pszBuffer, unsigned int cchBuffer, const char *pszText, const char *pszFailText) {
  if (cchBuffer == 0) return;
  if (IsBadWritePtr(pszBuffer, WrittenBytes(std::strlen(pszText), cchBuffer))) {
    http.SetError(ERROR_NOACCESS, pszFailText, ERROR_INVALID_PARAMETER);
    return;
  }
  SysStrCopyN(pszBuffer, pszText, static_cast<int>(cchBuffer > 0x7FFFFFFFu ? 0x7FFFFFFE : cchBuffer - 1));
}

// HEAD and TRACE hand back the whole response header text.
void CopyHeaders(CZemHttp &http, char *pszBuffer, unsigned int cchBuffer, const char *pszFailText) {
  if (pszBuffer != nullptr && http.pvResponseHeaders != nullptr) {
    CopyText(http, pszBuffer, cchBuffer, http.pvResponseHeaders, pszFailText);
  }
}

// The "Allow:" line of a header text, up to (not including) the first
// character outside 0x20..0x7F.
size_t AllowLineLength(const char *pszAllow) {
  size_t n = 0;
  while (static_cast<unsigned char>(pszAllow[n]) >= 0x20 && static_cast<unsigned char>(pszAllow[n]) <= 0x7F) ++n;
  return n;
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
    static const char kFailText[] = "CZemHttp::GetOptions() - buffer not writable, error# %d";
    if (zem::IsUsableStr(pszBody)) {
      CopyText(*this, pszBuffer, cchBuffer, pszBody, kFailText);
    } else if (pszAllow != nullptr) {
      // The whole "Allow:" line, name included, its line end replaced by a
      // NUL; a line that fills the buffer is left without a terminator.
      const size_t cchLine = AllowLineLength(pszAllow);
      if (IsBadWritePtr(pszBuffer, WrittenBytes(cchLine, cchBuffer))) {
        SetAccessError(kFailText);
      } else {
        const size_t cchCopy = cchLine < cchBuffer ? cchLine : cchBuffer;
        std::memcpy(pszBuffer, pszAllow, cchCopy);
        if (cchCopy < cchBuffer) pszBuffer[cchCopy] = '\0';
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
