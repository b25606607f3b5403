// Message boxes without a display: the text goes to standard error.
#include "user_state.h"

#include <cstdio>

using namespace zem::user;

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  const char *caption = IsReadableText(lpCaption) ? lpCaption : "Error";
  const char *text = IsReadableText(lpText) ? lpText : "";
  std::fprintf(stderr, "%s: %s\n", caption, text);
  // Nobody can press a button: the answer is the box's first one.
  switch (uType & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    case MB_CANCELTRYCONTINUE: return IDCANCEL;
    default: return IDOK;
  }
}
