// How a call of the internet library reports failure: the thread's last
// error, and a readable description of what went wrong that
// InternetGetLastResponseInfoA hands back until the thread's next call.
#ifndef ZEM_WININET_FAILURE_H
#define ZEM_WININET_FAILURE_H

#include <string>

#include "windows.h"

namespace zem::wininet {

// Every exported function starts with this: the description of an earlier
// failure must not be mistaken for one of the call now running.
void BeginCall();

// Sets the thread's last error and description and returns FALSE, so that a
// BOOL function can end with `return Fail(...)`. Without a detail the
// description is the code's standard message.
BOOL Fail(DWORD error);
BOOL Fail(DWORD error, const std::string &detail);

// Success: the thread's last error becomes 0 (callers of this library test
// GetLastError after a call that succeeded, as they may on Windows).
BOOL Succeed();

// The thread's failure description for InternetGetLastResponseInfoA.
struct ResponseInfo {
  DWORD error = 0;
  std::string text;
};
const ResponseInfo &LastResponseInfo();

// The standard message of a code this library sets, without a line end;
// "Unknown error" for any other.
const char *MessageText(DWORD code);

}  // namespace zem::wininet

#endif
