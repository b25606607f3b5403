// The per-thread last error. It lives here, in one shared object, so that the
// library, the internet layer and any module loaded beside them all see the
// same value for a thread: a code set inside one module is read by its
// caller in another.
#include "windows.h"

namespace {
thread_local DWORD t_last_error = ERROR_SUCCESS;
}  // namespace

DWORD WINAPI GetLastError(void) { return t_last_error; }

void WINAPI SetLastError(DWORD dwErrCode) { t_last_error = dwErrCode; }
