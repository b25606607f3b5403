// The default window procedure and the procedure of the built-in controls.
#include "user_state.h"

#include <algorithm>
#include <cstring>

namespace zem::user {
namespace {

LRESULT StoreText(HWND handle, LPCSTR text) {
  if (text != nullptr && !IsReadableText(text)) return FALSE;
  State &state = State::Get();
  Lock lock = state.Acquire();
  Window *window = state.FindWindow(handle);
  if (window == nullptr) return FALSE;
  window->text.assign(text == nullptr ? "" : text);
  return TRUE;
}

// Copies at most size - 1 characters and a NUL; answers the characters copied.
LRESULT CopyText(HWND handle, WPARAM size, LPSTR buffer) {
  if (size == 0 || !IsWritableBuffer(buffer, size)) return 0;
  State &state = State::Get();
  Lock lock = state.Acquire();
  const Window *window = state.FindWindow(handle);
  const size_t count = window == nullptr ? 0 : std::min<size_t>(window->text.size(), size - 1);
  if (count > 0) std::memcpy(buffer, window->text.data(), count);
  buffer[count] = '\0';
  return static_cast<LRESULT>(count);
}

LRESULT TextLength(HWND handle) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  const Window *window = state.FindWindow(handle);
  return window == nullptr ? 0 : static_cast<LRESULT>(window->text.size());
}

LRESULT ExchangeIcon(HWND handle, const HICON *replacement) {
  State &state = State::Get();
  Lock lock = state.Acquire();
  Window *window = state.FindWindow(handle);
  if (window == nullptr) return 0;
  const HICON old = window->icon;
  if (replacement != nullptr) window->icon = *replacement;
  return reinterpret_cast<LRESULT>(old);
}

}  // namespace

LRESULT CALLBACK ControlProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case STM_SETICON: {
      const HICON icon = reinterpret_cast<HICON>(wParam);
      return ExchangeIcon(hWnd, &icon);
    }
    case STM_GETICON:
      return ExchangeIcon(hWnd, nullptr);
    default:
      return DefWindowProcA(hWnd, message, wParam, lParam);
  }
}

}  // namespace zem::user

using namespace zem::user;

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_NCCREATE: {
      // The creation record's name becomes the window text.
      const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
      if (IsReadableBuffer(create, sizeof *create) && IsReadableText(create->lpszName)) {
        StoreText(hWnd, create->lpszName);
      }
      return TRUE;
    }
    case WM_SETTEXT:
      return StoreText(hWnd, reinterpret_cast<LPCSTR>(lParam));
    case WM_GETTEXT:
      return CopyText(hWnd, wParam, reinterpret_cast<LPSTR>(lParam));
    case WM_GETTEXTLENGTH:
      return TextLength(hWnd);
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    default:
      return 0;
  }
}
