// What the verb members share: dropping the previous answer, building the
// object name, and the probe that keeps a caller's unreadable body from
// being sent as something else.
#ifndef ZEM_VERBS_VERB_SUPPORT_H
#define ZEM_VERBS_VERB_SUPPORT_H

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "client/usable_str.h"

namespace zem {

// Every verb starts without the previous answer's body and headers.
inline void ReleaseResponse(CZemHttp &http) {
  ZemMemFree(&http.pvResponse);
  http.cbResponse = 0;
  ZemMemFree(&http.pvResponseHeaders);
  http.cbResponseHeaders = 0;
}

// Replaces the object name with a copy of the text (the empty text for an
// unusable one). When memory runs out the request cannot be addressed at
// all: error 8 under the verb's own text, and false.
inline bool AssignObjectName(CZemHttp &http, const char *pszText, const char *pszFailText) {
  ZemMemFree(&http.pszObjectName);
  SysStrAssign(&http.pszObjectName, IsUsableStr(pszText) ? pszText : nullptr);
  if (http.pszObjectName != nullptr) return true;
  http.SetError(ERROR_NOT_ENOUGH_MEMORY, pszFailText, ERROR_NOT_ENOUGH_MEMORY);
  return false;
}

// A caller's body that cannot be read. SetPostData refuses it; a verb then
// sends nothing rather than the body held from an earlier request.
inline bool IsUnreadableBody(const void *pvData, unsigned int cbData) {
  return pvData != nullptr && cbData != 0 && IsBadReadPtr(pvData, cbData);
}

}  // namespace zem

#endif  // ZEM_VERBS_VERB_SUPPORT_H
