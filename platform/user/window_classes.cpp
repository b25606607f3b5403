// Window classes: registration and removal.
#include "user_state.h"

#include "winbase.h"

namespace zem::user {
namespace {

// WNDCLASSA and WNDCLASSEXA share the fields that matter here.
template <typename Record>
ATOM Register(const Record &record) {
  WindowClass cls;
  cls.style = record.style;
  cls.proc = record.lpfnWndProc;
  cls.window_extra = record.cbWndExtra;
  cls.instance = record.hInstance;
  cls.icon = record.hIcon;
  cls.cursor = record.hCursor;
  const LPCSTR name = record.lpszClassName;
  if (cls.proc == nullptr || !IsReadableText(name) || *name == '\0' || cls.window_extra < 0 ||
      cls.window_extra > kMaxWindowExtra) {
    return Fail<ATOM>(ERROR_INVALID_PARAMETER, 0);
  }
  cls.name = name;
  State &state = State::Get();
  Lock lock = state.Acquire();
  const auto stored = state.AddClass(std::move(cls));
  return stored ? stored->atom : Fail<ATOM>(ERROR_CLASS_ALREADY_EXISTS, 0);
}

}  // namespace
}  // namespace zem::user

using namespace zem::user;

ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass) {
  if (IS_INTRESOURCE(lpWndClass)) return Fail<ATOM>(ERROR_INVALID_PARAMETER, 0);
  return Register(*lpWndClass);
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *lpWndClass) {
  if (IS_INTRESOURCE(lpWndClass) || lpWndClass->cbSize != sizeof(WNDCLASSEXA)) {
    return Fail<ATOM>(ERROR_INVALID_PARAMETER, 0);
  }
  return Register(*lpWndClass);
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
  if (!IS_INTRESOURCE(lpClassName) && !IsReadableText(lpClassName)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  State &state = State::Get();
  Lock lock = state.Acquire();
  const auto cls = state.FindClass(lpClassName);
  if (!cls || cls->built_in) return Fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
  if (cls->window_count > 0) return Fail(ERROR_CLASS_HAS_WINDOWS, FALSE);
  state.RemoveClass(cls);
  return TRUE;
}
