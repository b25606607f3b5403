// libcurl handles kept for reuse: making and freeing one for every request
// costs more than resetting one.
#ifndef ZEM_WININET_EASY_HANDLES_H
#define ZEM_WININET_EASY_HANDLES_H

#include <curl/curl.h>

namespace zem::wininet {

// A handle with libcurl's defaults, or null without memory.
CURL *TakeEasyHandle();
// Back for reuse (or freed when enough are kept). Not while in a multi handle.
void GiveEasyHandle(CURL *easy);

}  // namespace zem::wininet

#endif
