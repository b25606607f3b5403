// A session's pool of live connections (with their TLS sessions and
// resolved names). Connections belong to the session, not to a connection
// handle: a request reuses a kept-alive connection to the same server even
// after the connection handle it came from was closed.
#ifndef ZEM_WININET_CONNECTION_POOL_H
#define ZEM_WININET_CONNECTION_POOL_H

#include <curl/curl.h>

#include <mutex>

namespace zem::wininet {

class ConnectionPool {
 public:
  ConnectionPool();
  ~ConnectionPool();
  ConnectionPool(const ConnectionPool &) = delete;
  ConnectionPool &operator=(const ConnectionPool &) = delete;

  // Null when the pool could not be made; requests then connect afresh.
  CURLSH *share() const { return share_; }

 private:
  static void Lock(CURL *, curl_lock_data data, curl_lock_access, void *pool);
  static void Unlock(CURL *, curl_lock_data data, void *pool);

  CURLSH *share_ = nullptr;
  std::mutex locks_[CURL_LOCK_DATA_LAST];
};

}  // namespace zem::wininet

#endif
