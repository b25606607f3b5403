// Text blocks: checked blocks holding a copy of a NUL-terminated text, so that
// every owner releases them with ZemMemFree like any other block.
#include <cstring>
#include <limits>

#include "ZemMem.h"
#include "ZemSys.h"
#include "pointer_check.h"

void WINAPI SysStrAssign(char **ppsz, const char *psz) {
  if (!zem::sys::IsAddress(ppsz)) return;
  *ppsz = nullptr;
  const size_t cch = zem::sys::IsAddress(psz) ? std::strlen(psz) : 0;
  // The block size is a 32-bit word: a longer text cannot be held.
  if (cch >= std::numeric_limits<DWORD>::max()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return;
  }
  char *block = nullptr;
  const DWORD status = ZemMemAlloc(&block, static_cast<DWORD>(cch + 1));
  if (status != 0) {
    SetLastError(status);
    return;
  }
  if (cch > 0) std::memcpy(block, psz, cch);
  *ppsz = block;
}
