// tinyproxy on 127.0.0.1, started for a test by the server launcher: a forwarding HTTP proxy (CONNECT
// to any port included) that adds "Via: 1.1 zemproxy (...)" to what it
// forwards, so a server can tell a request came through it. With a user
// name it demands Basic proxy credentials: 407 without them, and (tinyproxy
// 1.11) 401 for wrong ones.
#ifndef ZEM_TEST_TINY_PROXY_H
#define ZEM_TEST_TINY_PROXY_H

#include <memory>
#include <string>

namespace zemtest {

class LaunchedServer;

class TinyProxy {
 public:
  explicit TinyProxy(const std::string &user = "", const std::string &password = "");
  ~TinyProxy();
  TinyProxy(const TinyProxy &) = delete;
  TinyProxy &operator=(const TinyProxy &) = delete;

  bool ok() const { return port_ != 0; }
  int port() const { return port_; }
  // "127.0.0.1:<port>"
  std::string Address() const;
  std::string Log() const;

 private:
  std::unique_ptr<LaunchedServer> server_;
  int port_ = 0;
};

}  // namespace zemtest

#endif
