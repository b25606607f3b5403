// Folder paths prepared for a file name to be appended after a backslash.
#include <cstring>

#include "ZemSys.h"
#include "pointer_check.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

void WINAPI SysNormalizePath(char *pszPath) {
  if (!zem::sys::IsAddress(pszPath)) return;
  size_t cch = std::strlen(pszPath);
  // The first character is never removed as a separator: "/" and "\" are the
  // root, and removing it would turn the path into the current folder.
  while (cch > 0 && (IsBlank(pszPath[cch - 1]) || (cch > 1 && IsSeparator(pszPath[cch - 1])))) --cch;
  pszPath[cch] = '\0';
}
