#include "connection_pool.h"

#include "engine.h"

namespace zem::wininet {

ConnectionPool::ConnectionPool() {
  EnsureCurlInitialized();
  share_ = curl_share_init();
  if (share_ == nullptr) return;
  curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &ConnectionPool::Lock);
  curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &ConnectionPool::Unlock);
  curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
  for (curl_lock_data data : {CURL_LOCK_DATA_CONNECT, CURL_LOCK_DATA_SSL_SESSION, CURL_LOCK_DATA_DNS}) {
    curl_share_setopt(share_, CURLSHOPT_SHARE, data);
  }
}

ConnectionPool::~ConnectionPool() {
  // Every transfer that used the pool holds it, so none is left when this runs.
  if (share_ != nullptr) curl_share_cleanup(share_);
}

void ConnectionPool::Lock(CURL *, curl_lock_data data, curl_lock_access, void *pool) {
  static_cast<ConnectionPool *>(pool)->locks_[data].lock();
}

void ConnectionPool::Unlock(CURL *, curl_lock_data data, void *pool) {
  static_cast<ConnectionPool *>(pool)->locks_[data].unlock();
}

}  // namespace zem::wininet
