// Small text helpers around libcurl's URL API.
#ifndef ZEM_WININET_CURL_TEXT_H
#define ZEM_WININET_CURL_TEXT_H

#include <curl/curl.h>

#include <string>
#include <string_view>

namespace zem::wininet {

// A part of a parsed URL, or "" when it has none.
std::string CurlUrlPart(CURLU *url, CURLUPart part, unsigned flags = 0);

}  // namespace zem::wininet

#endif
