// Small text helpers around libcurl's URL API.
#ifndef ZEM_WININET_CURL_TEXT_H
#define ZEM_WININET_CURL_TEXT_H

#include <curl/curl.h>

#include <string>
#include <string_view>

namespace zem::wininet {

// A part of a parsed URL, or "" when it has none.
std::string CurlUrlPart(CURLU *url, CURLUPart part, unsigned flags = 0);

// Percent-escapes the bytes that may not stand in a request target (blanks,
// control characters, bytes above 0x7E and the few excluded signs); '%' and
// the URL's own delimiters stay as they are, so escapes already made survive.
std::string EscapeRequestTarget(std::string_view text);

}  // namespace zem::wininet

#endif
