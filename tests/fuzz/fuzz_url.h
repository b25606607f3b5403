// The six text parts of URL_COMPONENTSA as (pointer, length) member pairs, so
// the URL targets can walk them in a loop.
#ifndef ZEM_FUZZ_URL_H
#define ZEM_FUZZ_URL_H

#include <cstddef>

#include "windows.h"
#include "wininet.h"

namespace zemfuzz {

struct UrlPart {
  LPSTR URL_COMPONENTSA::*text;
  DWORD URL_COMPONENTSA::*length;
};
constexpr UrlPart kUrlParts[] = {
    {&URL_COMPONENTSA::lpszScheme, &URL_COMPONENTSA::dwSchemeLength},
    {&URL_COMPONENTSA::lpszHostName, &URL_COMPONENTSA::dwHostNameLength},
    {&URL_COMPONENTSA::lpszUserName, &URL_COMPONENTSA::dwUserNameLength},
    {&URL_COMPONENTSA::lpszPassword, &URL_COMPONENTSA::dwPasswordLength},
    {&URL_COMPONENTSA::lpszUrlPath, &URL_COMPONENTSA::dwUrlPathLength},
    {&URL_COMPONENTSA::lpszExtraInfo, &URL_COMPONENTSA::dwExtraInfoLength},
};
constexpr size_t kUrlPartCount = sizeof(kUrlParts) / sizeof(kUrlParts[0]);

}  // namespace zemfuzz

#endif
