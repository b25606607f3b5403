// Small helpers around libcurl: the texts of its URL API, and what the
// libcurl the process runs with can do.
#ifndef ZEM_WININET_CURL_TEXT_H
#define ZEM_WININET_CURL_TEXT_H

#include <curl/curl.h>

#include <string>
#include <string_view>

namespace zem::wininet {

// A part of a parsed URL, or "" when it has none.
std::string CurlUrlPart(CURLU *url, CURLUPart part, unsigned flags = 0);

// Whether the libcurl loaded (not the one built against) is at least
// major.minor.patch: the one way to ask for a capability or a fix that
// came with a version.
bool CurlAtLeast(unsigned major, unsigned minor, unsigned patch);

}  // namespace zem::wininet

#endif
