// Bounded copies and searches over NUL-terminated texts.
#include <cstring>

#include "ZemSys.h"
#include "pointer_check.h"

using zem::sys::IsAddress;

namespace {

char *CopyBounded(char *pszDest, const char *pszSrc, int nMax) {
  if (!IsAddress(pszDest)) return pszDest;
  size_t cch = IsAddress(pszSrc) ? std::strlen(pszSrc) : 0;
  // -1 is the documented "no limit". Other negative counts arrive when a
  // caller narrows a large unsigned buffer size to int; they mean the same.
  if (nMax >= 0 && cch > static_cast<size_t>(nMax)) cch = static_cast<size_t>(nMax);
  // memmove: a caller may shorten a text into itself.
  if (cch > 0) std::memmove(pszDest, pszSrc, cch);
  pszDest[cch] = '\0';
  return pszDest;
}

}  // namespace

char *WINAPI SysStrCopyN(char *pszDest, const char *pszSrc, int nMax) { return CopyBounded(pszDest, pszSrc, nMax); }

char *WINAPI SysStrCopyLimit(char *pszDest, const char *pszSrc, int nMax) {
  return CopyBounded(pszDest, pszSrc, nMax);
}

char *WINAPI SysStrChr(const char *psz, int ch) {
  // Callers ask whether a character of their data belongs to a set of letters;
  // the terminator must not count as a member.
  if (!IsAddress(psz) || static_cast<char>(ch) == '\0') return nullptr;
  return const_cast<char *>(std::strchr(psz, ch));
}

char *WINAPI SysStrStr(const char *psz, const char *pszFind) {
  if (!IsAddress(psz) || !IsAddress(pszFind) || *pszFind == '\0') return nullptr;
  return const_cast<char *>(std::strstr(psz, pszFind));
}
