// File access for logs and settings: Windows-style paths, positive handles
// and Windows error codes, over the system's file service (native_files.h).
#include <cstdint>

#include "ZemSys.h"
#include "native_files.h"
#include "pointer_check.h"

using zem::sys::IsAddress;

int WINAPI SysFileStatus(const char *pszPath, WORD *pwAttr) {
  if (!IsAddress(pszPath)) return ERROR_INVALID_PARAMETER;
  // A path that does not exist leaves the caller's word alone.
  constexpr WORD kUnset = 0xFFFF;
  WORD attributes = kUnset;
  const DWORD status = zem::sys::NativeFileStatus(pszPath, &attributes);
  if (IsAddress(pwAttr) && attributes != kUnset) *pwAttr = attributes;
  return static_cast<int>(status);
}

DWORD WINAPI SysFileOpen(int *phFile, const char *pszPath, int nMode, int /*nAttributes*/) {
  if (!IsAddress(phFile)) return ERROR_INVALID_PARAMETER;
  *phFile = 0;
  if (!IsAddress(pszPath)) return ERROR_INVALID_PARAMETER;
  return zem::sys::NativeFileOpen(phFile, pszPath, nMode);
}

DWORD WINAPI SysFileCreate(int *phFile, const char *pszPath, int nAttributes) {
  if (!IsAddress(phFile)) return ERROR_INVALID_PARAMETER;
  *phFile = 0;
  if (!IsAddress(pszPath)) return ERROR_INVALID_PARAMETER;
  return zem::sys::NativeFileCreate(phFile, pszPath, (nAttributes & zem::sys::kAttrReadOnly) != 0);
}

DWORD WINAPI SysFileSeek(int hFile, LONG lOffset, int nOrigin, LONG *plNewPos) {
  if (hFile <= 0) return ERROR_INVALID_HANDLE;
  if (nOrigin < 0 || nOrigin > 2) return ERROR_INVALID_PARAMETER;
  std::int64_t position = 0;
  const DWORD status = zem::sys::NativeFileSeek(hFile, lOffset, nOrigin, &position);
  if (status != 0) return status;
  if (IsAddress(plNewPos)) {
    if (position > INT32_MAX) return ERROR_ARITHMETIC_OVERFLOW;
    *plNewPos = static_cast<LONG>(position);
  }
  return 0;
}

DWORD WINAPI SysFileWrite(int hFile, const void *pvData, DWORD cbData, DWORD *pcbWritten) {
  DWORD written = 0;
  DWORD status = 0;
  if (hFile <= 0) {
    status = ERROR_INVALID_HANDLE;
  } else if (cbData > 0 && !IsAddress(pvData)) {
    status = ERROR_INVALID_PARAMETER;
  } else {
    status = zem::sys::NativeFileWrite(hFile, pvData, cbData, &written);
  }
  if (IsAddress(pcbWritten)) *pcbWritten = written;
  return status;
}

DWORD WINAPI SysFileClose(int *phFile) {
  if (!IsAddress(phFile)) return ERROR_INVALID_PARAMETER;
  const int hFile = *phFile;
  if (hFile <= 0) return ERROR_INVALID_HANDLE;
  *phFile = 0;
  return zem::sys::NativeFileClose(hFile);
}
