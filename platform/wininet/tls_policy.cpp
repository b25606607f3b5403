#include "tls_policy.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <cstdlib>
#include <string>

namespace zem::wininet {
namespace {

int PolicyIndex() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

// Notes the chain's first fault and forgives only the validity-period ones,
// when the request asked for that. Clearing the error matters: the
// handshake's verdict is the last error left in the store context, and
// libcurl checks that verdict after the handshake.
int VerifyChain(int preverified, X509_STORE_CTX *context) {
  if (preverified) return 1;
  auto *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(context, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto *policy = ssl != nullptr ? static_cast<TlsPolicy *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), PolicyIndex()))
                                : nullptr;
  const int error = X509_STORE_CTX_get_error(context);
  if (policy == nullptr) return 0;
  if (policy->chain_error == X509_V_OK) policy->chain_error = error;
  if (policy->forgive_dates && (error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID)) {
    X509_STORE_CTX_set_error(context, X509_V_OK);
    return 1;
  }
  return 0;
}

void AddTrustFromEnvironment(SSL_CTX *context) {
  X509_STORE *store = SSL_CTX_get_cert_store(context);
  if (store == nullptr) return;
  const char *file = std::getenv("SSL_CERT_FILE");
  if (file != nullptr && *file != '\0') X509_STORE_load_file(store, file);
  const char *dirs = std::getenv("SSL_CERT_DIR");
  if (dirs == nullptr || *dirs == '\0') return;
  const std::string list(dirs);
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = list.find(':', start);
    const std::string dir = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty()) X509_STORE_load_path(store, dir.c_str());
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

}  // namespace

CURLcode ApplyTlsPolicy(CURL *, void *ssl_ctx, void *policy) {
  auto *context = static_cast<SSL_CTX *>(ssl_ctx);
  AddTrustFromEnvironment(context);
  static_cast<TlsPolicy *>(policy)->chain_error = X509_V_OK;
  SSL_CTX_set_ex_data(context, PolicyIndex(), policy);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, &VerifyChain);
  // The errors X509_STORE_load_* leave for files that are missing would
  // otherwise be taken for errors of the handshake.
  ERR_clear_error();
  return CURLE_OK;
}

}  // namespace zem::wininet
