#include "cookie_jar.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "header_list.h"

namespace zem::wininet {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool DomainMatches(const std::string &host, const std::string &domain) {
  return host == domain ||
         (host.size() > domain.size() && host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
          host[host.size() - domain.size() - 1] == '.');
}

bool PathMatches(const std::string &request_path, const std::string &cookie_path) {
  if (request_path.compare(0, cookie_path.size(), cookie_path) != 0) return false;
  return request_path.size() == cookie_path.size() || cookie_path.back() == '/' ||
         request_path[cookie_path.size()] == '/';
}

// The directory of the request's path: where a cookie without a Path applies.
std::string DefaultPath(const std::string &request_path) {
  const size_t slash = request_path.rfind('/');
  if (request_path.empty() || request_path.front() != '/' || slash == 0) return "/";
  return request_path.substr(0, slash);
}

}  // namespace

CookieJar &CookieJar::Instance() {
  static CookieJar *jar = new CookieJar();
  return *jar;
}

void CookieJar::Store(const std::string &set_cookie, const std::string &host_name, const std::string &request_path) {
  std::string_view text(set_cookie);
  const size_t end = text.find(';');
  const std::string_view pair = text.substr(0, end);
  const size_t equals = pair.find('=');
  if (equals == std::string_view::npos) return;
  Cookie cookie;
  cookie.name.assign(TrimBlanks(pair.substr(0, equals)));
  cookie.value.assign(TrimBlanks(pair.substr(equals + 1)));
  if (cookie.name.empty()) return;
  const std::string host = Lower(host_name);
  cookie.domain = host;
  cookie.path = DefaultPath(request_path);
  const time_t now = time(nullptr);
  bool expired = false;
  bool has_max_age = false;
  std::string_view rest = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  while (!rest.empty()) {
    const size_t next = rest.find(';');
    const std::string_view attribute = TrimBlanks(rest.substr(0, next));
    rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
    const size_t sign = attribute.find('=');
    const std::string key = Lower(TrimBlanks(attribute.substr(0, sign)));
    const std::string value(sign == std::string_view::npos ? std::string_view() : TrimBlanks(attribute.substr(sign + 1)));
    if (key == "max-age") {
      has_max_age = true;
      const long long seconds = std::atoll(value.c_str());
      expired = seconds <= 0;
      cookie.expires = expired ? 0 : now + static_cast<time_t>(seconds);
    } else if (key == "expires" && !has_max_age) {
      const time_t when = curl_getdate(value.c_str(), nullptr);
      if (when != -1) {
        expired = when <= now;
        cookie.expires = when;
      }
    } else if (key == "domain" && !value.empty()) {
      std::string domain = Lower(value);
      if (domain.front() == '.') domain.erase(0, 1);
      // A server may set cookies for itself and its parent domains only.
      if (domain.empty() || !DomainMatches(host, domain)) return;
      cookie.domain = domain;
      cookie.host_only = false;
    } else if (key == "path" && !value.empty() && value.front() == '/') {
      cookie.path = value;
    } else if (key == "secure") {
      cookie.secure = true;
    } else if (key == "httponly") {
      cookie.http_only = true;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                [&](const Cookie &old) {
                                  return old.name == cookie.name && old.domain == cookie.domain &&
                                         old.path == cookie.path;
                                }),
                 cookies_.end());
  if (expired) return;
  if (cookies_.size() >= kMaxCookies) cookies_.erase(cookies_.begin());  // the oldest goes
  cookie.order = next_order_++;
  cookies_.push_back(std::move(cookie));
}

std::string CookieJar::HeaderFor(const std::string &host_name, const std::string &path, bool secure,
                                 bool with_http_only, const std::string &only_name) const {
  const std::string host = Lower(host_name);
  const time_t now = time(nullptr);
  std::vector<const Cookie *> matching;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Cookie &cookie : cookies_) {
    if (cookie.expires != 0 && cookie.expires <= now) continue;
    if (cookie.host_only ? host != cookie.domain : !DomainMatches(host, cookie.domain)) continue;
    if (!PathMatches(path.empty() ? "/" : path, cookie.path)) continue;
    if ((cookie.secure && !secure) || (cookie.http_only && !with_http_only)) continue;
    if (!only_name.empty() && cookie.name != only_name) continue;
    matching.push_back(&cookie);
  }
  std::stable_sort(matching.begin(), matching.end(), [](const Cookie *a, const Cookie *b) {
    return a->path.size() != b->path.size() ? a->path.size() > b->path.size() : a->order < b->order;
  });
  std::string header;
  for (const Cookie *cookie : matching) {
    if (!header.empty()) header += "; ";
    header += cookie->name + "=" + cookie->value;
  }
  return header;
}

}  // namespace zem::wininet
