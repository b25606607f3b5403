// What a secure request accepts of the server's certificate. The chain must
// always lead to a trusted authority: the system's store, plus what the
// conventional SSL_CERT_FILE and SSL_CERT_DIR name. The host-name check can be
// skipped (libcurl's own switch), and expired or not-yet-valid certificates
// forgiven, each on its own flag.
#ifndef ZEM_WININET_TLS_POLICY_H
#define ZEM_WININET_TLS_POLICY_H

#include <curl/curl.h>

namespace zem::wininet {

struct TlsPolicy {
  bool forgive_dates = false;
  // The first fault found in the server's certificate chain (an X509_V_ERR_*
  // value), X509_V_OK when it verified: a refused handshake with a chain that
  // verified was refused for the host name.
  int chain_error = 0;
};

// libcurl's SSL context callback (CURLOPT_SSL_CTX_FUNCTION); the data is the
// request's TlsPolicy.
CURLcode ApplyTlsPolicy(CURL *easy, void *ssl_ctx, void *policy);

}  // namespace zem::wininet

#endif
