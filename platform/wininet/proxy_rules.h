// Proxy configuration in the library's terms: a proxy list such as
// "http=host:port https=host:port" or "host:port" (every scheme), and a bypass
// list such as "<local>;*.example.com;10.*" naming hosts reached directly.
#ifndef ZEM_WININET_PROXY_RULES_H
#define ZEM_WININET_PROXY_RULES_H

#include <string>
#include <string_view>
#include <vector>

#include "wininet.h"

namespace zem::wininet {

// A session's configuration as InternetOpenA or INTERNET_OPTION_PROXY give it.
struct ProxyConfig {
  DWORD access_type = INTERNET_OPEN_TYPE_DIRECT;  // DIRECT or PROXY
  std::string proxy_list;
  std::string bypass_list;
  // Credentials written in the platform's proxy URLs; empty otherwise.
  std::string user_name;
  std::string password;
};

class ProxyRules {
 public:
  // false when an entry of the proxy list cannot be understood.
  bool Parse(std::string_view proxy_list, std::string_view bypass_list);
  // The proxy for a request as a URL ("http://host:port"), or "" when the
  // request goes direct: no proxy serves the scheme, or the host is bypassed.
  std::string ProxyFor(std::string_view scheme, std::string_view host, INTERNET_PORT port) const;
  bool empty() const { return entries_.empty(); }
  // A preconfigured session's rules: each request also asks the system. With
  // auto_proxy a configured PAC script decides first; where it cannot answer,
  // or without it, the parsed lists decide, and with no lists libproxy does.
  void UseSystem(bool auto_proxy) {
    system_ = true;
    auto_proxy_ = auto_proxy;
  }

 private:
  struct Entry {
    std::string scheme;  // the request scheme served; "" serves every one
    std::string url;
  };
  bool Bypassed(std::string_view scheme, std::string_view host, INTERNET_PORT port) const;
  std::string ListedProxyFor(std::string_view scheme, std::string_view host, INTERNET_PORT port) const;
  std::vector<Entry> entries_;
  std::vector<std::string> bypass_;
  bool system_ = false;
  bool auto_proxy_ = false;
};

// The platform's own configuration: the conventional http_proxy, https_proxy
// and no_proxy environment (lower case first, then upper case). With a proxy
// set the access type is PROXY and the lists are in the library's syntax;
// without one it is DIRECT.
ProxyConfig PlatformProxyConfig();

}  // namespace zem::wininet

#endif
