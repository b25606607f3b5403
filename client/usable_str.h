// The test every part of the client applies to a text pointer before it uses
// or prints it.
#ifndef ZEM_CLIENT_USABLE_STR_H
#define ZEM_CLIENT_USABLE_STR_H

#include <cstring>

#include "windows.h"

namespace zem {

// A usable text is not null, is not a resource identifier (values below
// 0x10000 name resources, not addresses) and is not empty.
inline bool IsUsableStr(const char *psz) {
  return psz != nullptr && reinterpret_cast<ULONG_PTR>(psz) >= 0x10000 && psz[0] != '\0';
}

// What a log line prints for a text argument: the text, or the empty text in
// place of an unusable one.
inline const char *UsableOrEmpty(const char *psz) { return IsUsableStr(psz) ? psz : ""; }

// True for a text bound for the request's head (header entries, user agent,
// HTTP version, credentials, proxy lists) that holds a CR or LF: the caller's
// line would go out as a header of its own. The client refuses a header entry
// as a header that cannot be set; the client and the upload engine refuse the
// other texts with the error the internet library gives them (87), before it
// sees them, since some builds of that library take them as they stand.
inline bool BreaksTheHead(const char *psz) { return IsUsableStr(psz) && std::strpbrk(psz, "\r\n") != nullptr; }

}  // namespace zem

#endif  // ZEM_CLIENT_USABLE_STR_H
