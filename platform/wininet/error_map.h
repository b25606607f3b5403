// The one table from libcurl's and OpenSSL's failures to the library's codes.
#ifndef ZEM_WININET_ERROR_MAP_H
#define ZEM_WININET_ERROR_MAP_H

#include <curl/curl.h>

#include "windows.h"

namespace zem::wininet {

struct CurlFailure {
  CURLcode code = CURLE_OK;
  long os_error = 0;       // CURLINFO_OS_ERRNO
  long verify_result = 0;  // the first X509_V_ERR_* of the certificate chain, X509_V_OK when it verified
};

DWORD MapCurlFailure(const CurlFailure &failure);

}  // namespace zem::wininet

#endif
