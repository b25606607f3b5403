// nginx on 127.0.0.1, started for a test by the server launcher: plain HTTP
// and three HTTPS ports (a valid certificate, one for another host name, an
// expired one), all serving one folder that also accepts PUT and DELETE. The
// certificates and their test CA are made at start by the openssl command.
#ifndef ZEM_TEST_NGINX_SERVER_H
#define ZEM_TEST_NGINX_SERVER_H

#include <memory>
#include <string>

#include "temp_dir.h"

namespace zemtest {

class LaunchedServer;

class NginxServer {
 public:
  NginxServer();
  ~NginxServer();
  NginxServer(const NginxServer &) = delete;
  NginxServer &operator=(const NginxServer &) = delete;

  bool ok() const { return ok_; }
  int http_port() const { return http_port_; }
  int https_port() const { return https_port_; }              // valid for 127.0.0.1 and localhost
  int wrong_host_port() const { return wrong_host_port_; }    // valid, but for another host name
  int expired_port() const { return expired_port_; }          // right host, validity period over
  // The test CA that signed all three certificates: point SSL_CERT_FILE at it.
  const std::string &ca_file() const { return ca_file_; }
  // The folder served at "/".
  std::string root() const { return folder_ + "/www"; }

  // "http://127.0.0.1:<http port>" + path, "https://localhost:<port>" + path.
  std::string HttpUrl(const std::string &path = "/") const;
  std::string HttpsUrl(const std::string &path = "/", int port = 0) const;

  // Writes a file below the served folder; returns its full path.
  std::string WriteFile(const std::string &relative, const std::string &content) const;
  // A file of exactly `size` bytes (zeros, made sparse) for large downloads
  // that should not be held in memory first; returns its full path.
  std::string MakeFile(const std::string &relative, unsigned long long size) const;
  std::string ErrorLog() const;

 private:
  std::unique_ptr<LaunchedServer> server_;
  std::string folder_;
  bool ok_ = false;
  int http_port_ = 0, https_port_ = 0, wrong_host_port_ = 0, expired_port_ = 0;
  std::string ca_file_;
};

}  // namespace zemtest

#endif
