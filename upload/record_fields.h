// Helpers for the owned fields of a task record. The record is byte-packed,
// so its fields are only ever read and assigned as values: a helper takes the
// old value and returns the new one instead of taking a field's address.
#ifndef ZEM_UPLOAD_RECORD_FIELDS_H
#define ZEM_UPLOAD_RECORD_FIELDS_H

#include <initializer_list>

#include "ZemMem.h"
#include "ZemSys.h"
#include "ZemUpload.h"
#include "client/usable_str.h"

namespace zem::upload {

using zem::IsUsableStr;
using zem::UsableOrEmpty;
using zem::BreaksTheHead;

// Frees an owned text or block; returns the null to store in its field.
template <typename T>
inline T *Released(T *pv) {
  ZemMemFree(&pv);
  return pv;
}

// Frees the old text and returns a fresh copy of pszText (null when memory ran
// out).
inline char *ReplacedText(char *pszOld, const char *pszText) {
  ZemMemFree(&pszOld);
  char *pszNew = nullptr;
  SysStrAssign(&pszNew, pszText);
  return pszNew;
}

// An address a caller hands in as text: not null and not a resource number.
inline bool IsTextAddress(const char *psz) { return psz != nullptr && reinterpret_cast<ULONG_PTR>(psz) >= 0x10000; }

// A text a caller hands in: usable (IsUsableStr), its readability probed
// before its first character is looked at.
inline bool IsValidText(const char *psz) {
  return IsTextAddress(psz) && !IsBadStringPtrA(psz, static_cast<UINT_PTR>(-1)) && IsUsableStr(psz);
}

// True, with the last error 87, when one of the texts bound for the request's
// head holds a line break (see BreaksTheHead); the call it was meant for is
// then not made and fails as the internet library fails it.
inline bool RefusedForTheHead(std::initializer_list<const char *> texts) {
  for (const char *psz : texts) {
    if (IsValidText(psz) && BreaksTheHead(psz)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return true;
    }
  }
  return false;
}

// A handle or pointer as the number log lines print in hexadecimal.
inline unsigned long long HandleBits(const void *h) {
  return static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(h));
}

inline bool EqualsNoCase(const char *a, const char *b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    char ca = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 32) : *a;
    char cb = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 32) : *b;
    if (ca != cb) return false;
  }
  return *a == *b;
}

}  // namespace zem::upload

#endif  // ZEM_UPLOAD_RECORD_FIELDS_H
