// The internet session of a task: the access type check, the proxy method
// survey over the letters of pszProxyCfg, and the open itself.
#ifndef ZEM_UPLOAD_INTERNET_OPEN_H
#define ZEM_UPLOAD_INTERNET_OPEN_H

#include "ZemUpload.h"

namespace zem::upload {

constexpr char kSessionAgent[] = "ZEM Data Services";

// The words of a result in log lines: index 0 and 1.
const char *ResultWord(bool bSucceeded);

// Opens the task's session (or takes the caller's hInternetIn) and, for an
// asynchronous task (hWnd given), registers the status callback on it.
// *pdwError is set to 0, or to the error of a failed asynchronous open.
// Returns the session handle, or null with the failure logged and notified.
HINTERNET OpenTaskInternet(HWND hWnd, DWORD *pdwError, REQUEST_CONTEXT *ctx, const char *pszAgent);

// Checks chAccessType and, depending on which handles exist, sets the access
// type or the credentials options. 1 when the settings were usable as given
// and every option could be set; 0 when access fell back to direct.
int AccessCheck(REQUEST_CONTEXT *ctx);

}  // namespace zem::upload

#endif  // ZEM_UPLOAD_INTERNET_OPEN_H
