// Windows: creation, destruction, relations and the values kept with them.
#include "user_state.h"

#include <algorithm>
#include <type_traits>

namespace zem::user {
namespace {

// Window values travel as LONG_PTR; a 32-bit style is sign-extended as the
// LONG it is.
template <typename T>
LONG_PTR AsLong(T value) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<LONG_PTR>(value);
  } else if constexpr (std::is_same_v<T, DWORD>) {
    return static_cast<LONG>(value);
  } else {
    return static_cast<LONG_PTR>(value);
  }
}

template <typename T>
T FromLong(LONG_PTR value) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(value);
  } else {
    return static_cast<T>(value);
  }
}

template <typename T>
void Exchange(T &field, const LONG_PTR *replacement, LONG_PTR *old) {
  *old = AsLong(field);
  if (replacement != nullptr) field = FromLong<T>(*replacement);
}

// Reads the value at an index into *old and, given a replacement, stores it.
bool AccessLong(Window &window, int index, const LONG_PTR *replacement, LONG_PTR *old) {
  switch (index) {
    case GWLP_WNDPROC: Exchange(window.proc, replacement, old); return true;
    case GWLP_HINSTANCE: Exchange(window.instance, replacement, old); return true;
    case GWLP_ID: Exchange(window.id, replacement, old); return true;
    case GWL_STYLE: Exchange(window.style, replacement, old); return true;
    case GWL_EXSTYLE: Exchange(window.ex_style, replacement, old); return true;
    case GWLP_USERDATA: Exchange(window.user_data, replacement, old); return true;
    case GWLP_HWNDPARENT:
      if (replacement != nullptr) return false;  // re-parenting is not offered
      *old = static_cast<LONG_PTR>(window.parent);
      return true;
    default:
      if (replacement != nullptr) return WriteExtra(window, index, *replacement, old);
      *old = ReadExtra(window, index);
      return index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= window.extra.size();
  }
}

LONG_PTR WindowLong(HWND handle, int index, const LONG_PTR *replacement) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  Window *window = state.FindWindow(handle);
  if (window == nullptr) return Fail<LONG_PTR>(ERROR_INVALID_WINDOW_HANDLE, 0);
  LONG_PTR old = 0;
  if (!AccessLong(*window, index, replacement, &old)) return Fail<LONG_PTR>(ERROR_INVALID_INDEX, 0);
  return old;
}

// Sends WM_DESTROY (unless creation never got that far) down the tree and
// WM_NCDESTROY back up it, removing each record after its last message.
BOOL Destroy(HWND handle, bool send_destroy) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  Window *window = state.FindWindow(handle);
  if (window == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  if (window->thread != ThisThread()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (window->destroying) return TRUE;  // a procedure destroying what is already going
  const std::vector<uintptr_t> members = state.Subtree(FromHwnd(handle));
  for (uintptr_t member : members) state.FindWindow(member)->destroying = true;
  state.PurgeWindows(members);
  lock.unlock();

  if (send_destroy) {
    for (uintptr_t member : members) CallProcedure(ToHwnd(member), WM_DESTROY, 0, 0);
  }
  for (auto it = members.rbegin(); it != members.rend(); ++it) {
    CallProcedure(ToHwnd(*it), WM_NCDESTROY, 0, 0);
    lock.lock();
    state.RemoveWindow(*it);
    lock.unlock();
  }
  return TRUE;
}

}  // namespace
}  // namespace zem::user

using namespace zem::user;

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
  if (!IS_INTRESOURCE(lpClassName) && !IsReadableText(lpClassName)) {
    return Fail<HWND>(ERROR_CANNOT_FIND_WND_CLASS, nullptr);
  }
  State &state = State::Get();
  Lock lock = state.Acquire();
  const auto cls = state.FindClass(lpClassName);
  if (!cls) return Fail<HWND>(ERROR_CANNOT_FIND_WND_CLASS, nullptr);
  if ((dwStyle & WS_CHILD) != 0 && hWndParent == nullptr) return Fail<HWND>(ERROR_TLW_WITH_WSCHILD, nullptr);
  if (hWndParent != nullptr && state.FindWindow(hWndParent) == nullptr) {
    return Fail<HWND>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
  }
  // Messages posted to the window wait in its thread's queue: make sure there
  // is one from the start.
  state.ThisThreadQueue();
  Window window;
  window.window_class = cls;
  window.proc = cls->proc;
  window.instance = hInstance;
  window.style = dwStyle;
  window.ex_style = dwExStyle;
  window.parent = FromHwnd(hWndParent);
  // A child's "menu" is its control identifier.
  window.id = (dwStyle & WS_CHILD) != 0 ? reinterpret_cast<LONG_PTR>(hMenu) : 0;
  window.extra.assign(static_cast<size_t>(cls->window_extra), 0);
  window.thread = ThisThread();
  const HWND handle = ToHwnd(state.AddWindow(std::move(window)));
  lock.unlock();

  CREATESTRUCTA create{lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X,
                       static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
  const LPARAM create_param = reinterpret_cast<LPARAM>(&create);
  if (CallProcedure(handle, WM_NCCREATE, 0, create_param) == FALSE) {
    Destroy(handle, false);
    return nullptr;
  }
  if (CallProcedure(handle, WM_CREATE, 0, create_param) == -1) {
    Destroy(handle, true);
    return nullptr;
  }
  // A procedure may have destroyed the window while it was being made.
  return IsWindow(handle) ? handle : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hWnd) { return Destroy(hWnd, true); }

BOOL WINAPI IsWindow(HWND hWnd) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  return state.FindWindow(hWnd) != nullptr;
}

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  const Window *window = state.FindWindow(hWnd);
  while (window != nullptr && (window->style & WS_CHILD) != 0) {
    if (window->parent == FromHwnd(hWndParent)) return hWndParent != nullptr;
    window = state.FindWindow(window->parent);
  }
  return FALSE;
}

HWND WINAPI GetParent(HWND hWnd) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  const Window *window = state.FindWindow(hWnd);
  if (window == nullptr) return Fail<HWND>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
  return ToHwnd(window->parent);
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  DWORD thread;
  {
    State &state = State::Get();
    Lock lock = state.Acquire();
    const Window *window = state.FindWindow(hWnd);
    if (window == nullptr) return Fail<DWORD>(ERROR_INVALID_WINDOW_HANDLE, 0);
    thread = window->thread;
  }
  if (lpdwProcessId != nullptr && IsWritableBuffer(lpdwProcessId, sizeof *lpdwProcessId)) {
    *lpdwProcessId = GetCurrentProcessId();
  }
  return thread;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) { return WindowLong(hWnd, nIndex, nullptr); }

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  return WindowLong(hWnd, nIndex, &dwNewLong);
}

LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return lpPrevWndFunc == nullptr ? 0 : lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  Window *window = state.FindWindow(hWnd);
  if (window == nullptr) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  const BOOL was_visible = (window->style & WS_VISIBLE) != 0;
  if (nCmdShow == SW_HIDE) {
    window->style &= ~static_cast<DWORD>(WS_VISIBLE);
  } else {
    window->style |= WS_VISIBLE;
  }
  return was_visible;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
  return IsWindow(hWnd) ? TRUE : Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
}
