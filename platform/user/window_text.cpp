// Window texts and the controls of a dialog, found by identifier.
//
// A text set or read that succeeds leaves the caller's last error alone: a
// progress display may set a control's text between a failing call and the
// read of that call's error.
#include "user_state.h"

using namespace zem::user;

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  if (!IsWindow(hWnd)) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  if (lpString != nullptr && !IsReadableText(lpString)) return Fail(ERROR_NOACCESS, FALSE);
  return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  if (nMaxCount <= 0) return 0;
  if (!IsWritableBuffer(lpString, static_cast<size_t>(nMaxCount))) return Fail(ERROR_NOACCESS, 0);
  lpString[0] = '\0';
  if (!IsWindow(hWnd)) return Fail(ERROR_INVALID_WINDOW_HANDLE, 0);
  const LRESULT copied = SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                      reinterpret_cast<LPARAM>(lpString));
  // A window procedure of the caller's own may answer anything.
  if (copied <= 0) return 0;
  return copied < nMaxCount ? static_cast<int>(copied) : nMaxCount - 1;
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
  if (!IsWindow(hWnd)) return Fail(ERROR_INVALID_WINDOW_HANDLE, 0);
  const LRESULT length = SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0);
  return length < 0 || length > 0x7FFFFFFF ? 0 : static_cast<int>(length);
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  const Window *dialog = state.FindWindow(hDlg);
  if (dialog == nullptr) return Fail<HWND>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
  for (uintptr_t child : dialog->children) {
    const Window *control = state.FindWindow(child);
    if (control != nullptr && static_cast<int>(control->id) == nIDDlgItem) return ToHwnd(child);
  }
  return Fail<HWND>(ERROR_CONTROL_ID_NOT_FOUND, nullptr);
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  const Window *window = state.FindWindow(hWnd);
  if (window == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE, 0);
  return static_cast<int>(window->id);
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
  const HWND control = GetDlgItem(hDlg, nIDDlgItem);
  return control != nullptr && SetWindowTextA(control, lpString);
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
  if (cchMax > 0 && IsWritableBuffer(lpString, static_cast<size_t>(cchMax))) lpString[0] = '\0';
  const HWND control = GetDlgItem(hDlg, nIDDlgItem);
  return control == nullptr ? 0 : static_cast<UINT>(GetWindowTextA(control, lpString, cchMax));
}
