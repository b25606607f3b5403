#include "cookie_jar.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <libpsl.h>

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

bool IsAddress(const std::string &host) {
  unsigned char address[16];
  return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// Controls, and the separators of the Cookie header, cannot stand in a
// cookie's name or value.
bool IsCookieText(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return (c < 0x20 && c != '\t') || c == 0x7F || c == ';';
  });
}

// The public suffix list: the system's latest, else the one built into libpsl.
const psl_ctx_t *PublicSuffixes() {
  static const psl_ctx_t *const list = [] {
    const psl_ctx_t *latest = psl_latest(nullptr);
    return latest != nullptr ? latest : psl_builtin();
  }();
  return list;
}

// Whether a host may set a cookie for a Domain attribute's domain: its own
// name, or a parent of it that is not a public suffix ("com", "co.uk"); an
// address only for itself.
bool MaySetFor(const std::string &host, const std::string &domain) {
  if (host == domain) return true;
  if (IsAddress(host) || !DomainMatches(host, domain)) return false;
  const psl_ctx_t *list = PublicSuffixes();
  return list != nullptr && psl_is_cookie_domain_acceptable(list, host.c_str(), domain.c_str()) == 1;
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

bool CookieJar::Store(const std::string &set_cookie, const std::string &host_name, const std::string &request_path) {
  std::string_view text(set_cookie);
  const size_t end = text.find(';');
  const std::string_view pair = text.substr(0, end);
  const size_t equals = pair.find('=');
  if (equals == std::string_view::npos) return false;
  Cookie cookie;
  cookie.name.assign(TrimBlanks(pair.substr(0, equals)));
  cookie.value.assign(TrimBlanks(pair.substr(equals + 1)));
  if (cookie.name.empty() || cookie.name.size() + cookie.value.size() > kMaxCookieBytes ||
      !IsCookieText(cookie.name) || !IsCookieText(cookie.value)) {
    return false;
  }
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
      if (domain.empty() || !MaySetFor(host, domain)) return false;
      // A host that is itself a public suffix, or an address, sets cookies
      // for itself alone.
      cookie.host_only = IsAddress(host) || psl_is_public_suffix(PublicSuffixes(), domain.c_str()) == 1;
      cookie.domain = domain;
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
  if (expired) return true;
  // The oldest of its domain makes room, then the oldest of all.
  const auto same_domain = [&](const Cookie &old) { return old.domain == cookie.domain; };
  if (static_cast<size_t>(std::count_if(cookies_.begin(), cookies_.end(), same_domain)) >= kMaxCookiesPerDomain) {
    cookies_.erase(std::find_if(cookies_.begin(), cookies_.end(), same_domain));
  }
  if (cookies_.size() >= kMaxCookies) cookies_.erase(cookies_.begin());
  cookie.order = next_order_++;
  cookies_.push_back(std::move(cookie));
  return true;
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
