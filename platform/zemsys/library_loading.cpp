// Library loading with a status code instead of a null handle.
#include "ZemSys.h"
#include "pointer_check.h"

DWORD WINAPI SysLoadLibrary(HMODULE *phModule, const char *pszName) {
  if (!zem::sys::IsAddress(phModule)) return ERROR_INVALID_PARAMETER;
  *phModule = nullptr;
  if (!zem::sys::IsAddress(pszName) || *pszName == '\0') return ERROR_INVALID_PARAMETER;
  SetLastError(0);
  HMODULE module = LoadLibraryA(pszName);
  if (module == nullptr) {
    // The caller treats 0 as success, so a failure must never report 0.
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_MOD_NOT_FOUND;
  }
  *phModule = module;
  return 0;
}
