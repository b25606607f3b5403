// The one table from libcurl's and OpenSSL's failures to the library's codes.
#ifndef ZEM_WININET_ERROR_MAP_H
#define ZEM_WININET_ERROR_MAP_H

#include <curl/curl.h>

#include "windows.h"

namespace zem::wininet {

struct CurlFailure {
  CURLcode code = CURLE_OK;
  long os_error = 0;       // CURLINFO_OS_ERRNO
  long verify_result = 0;  // CURLINFO_SSL_VERIFYRESULT (an X509_V_ERR_* value)
};

DWORD MapCurlFailure(const CurlFailure &failure);

}  // namespace zem::wininet

#endif
