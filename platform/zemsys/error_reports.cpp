// Error texts and reports: the printable text of a system error code, and the
// per-thread record of the last internet error a caller reported.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "ZemSys.h"
#include "pointer_check.h"

namespace {

// Long enough for any message, short enough that a runaway text handed in by
// mistake does not grow without bound.
constexpr size_t kMaxReportedText = 4095;

struct ReportedError {
  DWORD error = 0;
  std::string text;
};

thread_local ReportedError t_reported;
thread_local char t_error_text[1024];

void TrimLineEnd(char *psz) {
  size_t cch = std::strlen(psz);
  while (cch > 0 && (psz[cch - 1] == '\r' || psz[cch - 1] == '\n' || psz[cch - 1] == ' ')) --cch;
  psz[cch] = '\0';
}

}  // namespace

void WINAPI SysReportError(DWORD dwError, const char *pszText) {
  t_reported.error = dwError;
  if (zem::sys::IsAddress(pszText)) {
    t_reported.text.assign(pszText, strnlen(pszText, kMaxReportedText));
  } else {
    t_reported.text.clear();
  }
}

DWORD WINAPI SysGetReportedError(char *pszText, DWORD cchText) {
  if (zem::sys::IsAddress(pszText) && cchText > 0) {
    const size_t cch = std::min<size_t>(t_reported.text.size(), cchText - 1);
    std::memcpy(pszText, t_reported.text.data(), cch);
    pszText[cch] = '\0';
  }
  return t_reported.error;
}

const char *WINAPI SysErrorText(DWORD dwError, int /*nFlags*/) {
  // FormatMessageA overwrites the thread's last error on failure; callers log
  // the text next to the error they are handling and must find it unchanged.
  const DWORD saved_error = GetLastError();
  const DWORD cch = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                                   t_error_text, sizeof t_error_text, nullptr);
  if (cch > 0) TrimLineEnd(t_error_text);
  if (cch == 0 || t_error_text[0] == '\0') {
    std::snprintf(t_error_text, sizeof t_error_text, "Error %u", static_cast<unsigned>(dwError));
  }
  SetLastError(saved_error);
  return t_error_text;
}
