// Exports that have no work to do on this platform: there are no dialogs
// and no dial-up connections.
#include "failure.h"
#include "wininet.h"

using namespace zem::wininet;

DWORD WINAPI InternetErrorDlg(HWND, HINTERNET, DWORD, DWORD, LPVOID *) {
  BeginCall();
  Fail(ERROR_CALL_NOT_IMPLEMENTED);
  return ERROR_CALL_NOT_IMPLEMENTED;
}

// Bound by name only: there is no such routine to call.
void WINAPI InternetStatusCallbackA(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) {
  BeginCall();
  Fail(ERROR_CALL_NOT_IMPLEMENTED);
}

// No connection of this library is ever dialled, so there is none to hang up.
BOOL WINAPI InternetAutodialHangup(DWORD) {
  BeginCall();
  return Succeed();
}
