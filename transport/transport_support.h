// What the request execution and verb members share: the outcome words of
// their log lines, how a handle or pointer is printed, the scratch text, and
// how a call through a missing table entry is turned into its failure path.
#ifndef ZEM_TRANSPORT_TRANSPORT_SUPPORT_H
#define ZEM_TRANSPORT_TRANSPORT_SUPPORT_H

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ZemHttp.h"
#include "client/usable_str.h"

namespace zem {

constexpr DWORD kScratchBytes = 4096;  // bytes of pszMsg

// "FAILED" for a call that returned 0, "SUCCEEDED" for one that did not.
inline const char *OutcomeWord(long long nResult) {
  static const char *const kWords[2] = {"FAILED", "SUCCEEDED"};
  return kWords[nResult != 0 ? 1 : 0];
}

// A handle or pointer as the number a "%lX" or "%lx" prints: all of its
// bits, so that two handles differing only in their upper half read apart.
inline unsigned long PointerValue(const void *pv) {
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pv));
}

// Formats a text into the scratch text without logging it, for the status
// texts the notifications hand out. Nothing happens without a scratch text,
// nor without a status procedure to hand it to.
inline void PutMsg(CZemHttp &http, const char *pszFormat, ...) __attribute__((format(printf, 2, 3)));
inline void PutMsg(CZemHttp &http, const char *pszFormat, ...) {
  if (http.pszMsg == nullptr || http.pfnNotifyStatus == nullptr) return;
  va_list args;
  va_start(args, pszFormat);
  std::vsnprintf(http.pszMsg, kScratchBytes, pszFormat, args);
  va_end(args);
}

// The scratch text as a notification value: a text pointer, or 0 (which
// selects the scratch text anyway) when there is none.
inline INT_PTR MsgValue(const CZemHttp &http) { return reinterpret_cast<INT_PTR>(http.pszMsg); }

// A constant text as a notification value.
inline INT_PTR TextValue(const char *psz) { return reinterpret_cast<INT_PTR>(psz); }

// A table entry that was never bound (no library, or a library without the
// export). Calling through it is the fault the member reports as its failure:
// the last error becomes ERROR_PROC_NOT_FOUND so that the failure path
// records a code.
template <typename Fn>
inline bool IsMissingEntry(Fn pfn) {
  if (pfn != nullptr) return false;
  SetLastError(ERROR_PROC_NOT_FOUND);
  return true;
}

// One of the fixed-size texts of the proxy record, read without running past
// the field when its terminator was overwritten: at most N - 1 characters.
template <size_t N>
struct FieldText {
  explicit FieldText(const char (&szField)[N]) {
    std::memcpy(sz, szField, N - 1);
    sz[N - 1] = '\0';
  }
  char sz[N];
};

}  // namespace zem

#endif  // ZEM_TRANSPORT_TRANSPORT_SUPPORT_H
