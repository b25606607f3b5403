// The process's cookies: what servers set with Set-Cookie, and what
// InternetSetCookieA adds, sent back with every request that matches them
// (unless it was opened with INTERNET_FLAG_NO_COOKIES) and read with
// InternetGetCookieA. They live in memory for the life of the process.
#ifndef ZEM_WININET_COOKIE_JAR_H
#define ZEM_WININET_COOKIE_JAR_H

#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace zem::wininet {

class CookieJar {
 public:
  static CookieJar &Instance();

  // A Set-Cookie value received from (or set for) a host and request path.
  // A cookie already expired removes the one it names. False when the
  // cookie is refused: malformed, too large, or for a domain the host may
  // not set cookies for (a public suffix, another host, another address).
  bool Store(const std::string &set_cookie, const std::string &host, const std::string &request_path);
  // "name=value; name2=value2" for a request, most specific path first; ""
  // when none matches. HttpOnly cookies only for requests, not for scripts.
  std::string HeaderFor(const std::string &host, const std::string &path, bool secure, bool with_http_only,
                        const std::string &only_name = "") const;

 private:
  struct Cookie {
    std::string name, value, domain, path;
    bool host_only = true;
    bool secure = false;
    bool http_only = false;
    time_t expires = 0;  // 0: ends with the process
    unsigned long long order = 0;
  };
  // Upper bounds so that a server cannot grow the jar without limit, nor
  // one domain crowd out the others; the bytes count name and value.
  static constexpr size_t kMaxCookies = 3000;
  static constexpr size_t kMaxCookiesPerDomain = 50;
  static constexpr size_t kMaxCookieBytes = 4096;

  mutable std::mutex mutex_;
  std::vector<Cookie> cookies_;
  unsigned long long next_order_ = 0;
};

}  // namespace zem::wininet

#endif
