// How the configuration members look at texts a caller hands in: whether
// they can be read at all, what a log line prints for them, and how names
// are compared.
#ifndef ZEM_CONFIG_CALLER_TEXT_H
#define ZEM_CONFIG_CALLER_TEXT_H

#include "client/usable_str.h"
#include "windows.h"

namespace zem {

// A pointer that claims to be a text (not null, not a resource number) but
// cannot be read to its terminator. Members probe instead of reading, so a
// bad pointer is reported with an error instead of faulting.
inline bool IsUnreadableStr(const char *psz) {
  return reinterpret_cast<ULONG_PTR>(psz) >= 0x10000 && IsBadStringPtrA(psz, ~static_cast<UINT_PTR>(0));
}

// A text that would fault if read unconditionally: a resource number as well
// as an unreadable address. Members that read a text without first asking
// IsUsableStr guard with this.
inline bool IsFaultingStr(const char *psz) {
  return psz != nullptr && (reinterpret_cast<ULONG_PTR>(psz) < 0x10000 || IsUnreadableStr(psz));
}

// What a log line prints for a caller's text: the text itself, or the empty
// text for one that is null, a resource number, empty or unreadable.
inline const char *LoggableStr(const char *psz) { return IsUnreadableStr(psz) ? "" : UsableOrEmpty(psz); }

// Verbs, header names and schemes are matched without regard to letter case
// (ASCII only: these are protocol tokens, not user text).
inline bool SameTextNoCase(const char *pszA, const char *pszB) {
  auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; };
  for (; *pszA != '\0' && *pszB != '\0'; ++pszA, ++pszB) {
    if (lower(*pszA) != lower(*pszB)) return false;
  }
  return *pszA == *pszB;
}

}  // namespace zem

#endif  // ZEM_CONFIG_CALLER_TEXT_H
