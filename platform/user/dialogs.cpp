// Modeless dialogs built from a module's templates, and the dialog manager's
// procedure that hands messages to the caller's dialog procedure.
#include "resources.h"
#include "user_state.h"

namespace zem::user {
namespace {

DLGPROC DialogProcedureOf(HWND handle) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  const Window *dialog = state.FindWindow(handle);
  return dialog == nullptr ? nullptr : reinterpret_cast<DLGPROC>(ReadExtra(*dialog, DWLP_DLGPROC));
}

// What a dialog procedure that handled a message left in DWLP_MSGRESULT.
LRESULT MessageResultOf(HWND handle) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  const Window *dialog = state.FindWindow(handle);
  return dialog == nullptr ? 0 : ReadExtra(*dialog, DWLP_MSGRESULT);
}

// Closing a dialog is a Cancel: posted as the command the Cancel button
// would send, so that a message loop watching for IDCANCEL sees it too.
void PostCancel(HWND handle) {
  HWND cancel = nullptr;
  {
    State &state = State::Get();
    Lock lock = state.Acquire();
    const Window *dialog = state.FindWindow(handle);
    for (uintptr_t child : dialog == nullptr ? std::vector<uintptr_t>() : dialog->children) {
      const Window *control = state.FindWindow(child);
      if (control != nullptr && control->id == IDCANCEL) cancel = ToHwnd(child);
    }
  }
  PostMessageA(handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), reinterpret_cast<LPARAM>(cancel));
}

HWND CreateControls(HWND owner, HINSTANCE instance, const ZEM_DIALOG_TEMPLATE &dialog) {
  HWND first = nullptr;
  HWND first_tab_stop = nullptr;
  for (UINT i = 0; i < dialog.nControls; ++i) {
    const ZEM_DIALOG_CONTROL &item = dialog.pControls[i];
    const HWND control = CreateWindowExA(0, item.pszClass, item.pszText, WS_CHILD | WS_VISIBLE | item.dwStyle, 0, 0,
                                         0, 0, owner, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.wId)),
                                         instance, nullptr);
    if (control == nullptr) return nullptr;
    if (item.wIconId != 0) {
      const HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(item.wIconId));
      if (icon != nullptr) SendMessageA(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
    if (first == nullptr) first = control;
    if (first_tab_stop == nullptr && (item.dwStyle & WS_TABSTOP) != 0) first_tab_stop = control;
  }
  // The control that would take the focus: WM_INITDIALOG names it.
  return first_tab_stop != nullptr ? first_tab_stop : (first != nullptr ? first : owner);
}

}  // namespace
}  // namespace zem::user

using namespace zem::user;

HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam) {
  DWORD error = 0;
  const ZEM_DIALOG_TEMPLATE *dialog = FindDialogTemplate(hInstance, lpTemplateName, &error);
  if (dialog == nullptr) return Fail<HWND>(error, nullptr);
  const HWND handle = CreateWindowExA(0, kDialogClassName, dialog->pszTitle, dialog->dwStyle, 0, 0, 0, 0, hWndParent,
                                    nullptr, hInstance, nullptr);
  if (handle == nullptr) return nullptr;
  SetWindowLongPtrA(handle, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(lpDialogFunc));
  const HWND focus = CreateControls(handle, hInstance, *dialog);
  if (focus == nullptr) {
    const DWORD failure = GetLastError();
    DestroyWindow(handle);
    return Fail<HWND>(failure, nullptr);
  }
  CallProcedure(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), dwInitParam);
  // The dialog procedure may have ended the dialog already.
  return IsWindow(handle) ? handle : nullptr;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR) { return DestroyWindow(hDlg); }

LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  const DLGPROC dialog_procedure = DialogProcedureOf(hDlg);
  if (dialog_procedure != nullptr) {
    const INT_PTR handled = dialog_procedure(hDlg, Msg, wParam, lParam);
    if (handled != 0) return Msg == WM_INITDIALOG ? handled : MessageResultOf(hDlg);
  }
  if (Msg == WM_CLOSE) {
    PostCancel(hDlg);
    return 0;
  }
  return DefWindowProcA(hDlg, Msg, wParam, lParam);
}
