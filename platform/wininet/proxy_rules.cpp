#include "proxy_rules.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdlib>
#include <memory>

#include "curl_text.h"
#include "header_list.h"
#include "system_proxy.h"

namespace zem::wininet {
namespace {

std::vector<std::string_view> SplitList(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> items;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find_first_of(separators, start);
    const std::string_view item = text.substr(start, end == std::string_view::npos ? end : end - start);
    if (!item.empty()) items.push_back(item);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return items;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// '*' matches any run of characters, '?' one character; letter case is ignored.
bool WildcardMatch(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || std::tolower(static_cast<unsigned char>(pattern[p])) ==
                                                        std::tolower(static_cast<unsigned char>(text[t])))) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Splits "[scheme://]host[:port]"; the port is 0 when not given. IPv6
// literals keep their brackets.
bool SplitServer(std::string_view text, std::string *scheme, std::string *host, unsigned *port) {
  scheme->clear();
  const size_t marker = text.find("://");
  if (marker != std::string_view::npos) {
    *scheme = Lower(text.substr(0, marker));
    text.remove_prefix(marker + 3);
  }
  while (!text.empty() && text.back() == '/') text.remove_suffix(1);
  *port = 0;
  size_t colon = std::string_view::npos;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return false;
      colon = close + 1;
    }
  } else if (text.find(':') == text.rfind(':')) {
    colon = text.find(':');  // a bare IPv6 literal has several colons and no port
  }
  if (colon != std::string_view::npos) {
    const std::string_view digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return false;
    unsigned value = 0;
    for (char c : digits) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    *port = value;
    text = text.substr(0, colon);
  }
  host->assign(text);
  return !host->empty();
}

std::string Getenv(const char *lower, const char *upper) {
  const char *value = std::getenv(lower);
  if (value == nullptr || *value == '\0') value = std::getenv(upper);
  return value != nullptr ? value : "";
}

struct UrlDeleter {
  void operator()(CURLU *url) const { curl_url_cleanup(url); }
};

// One environment proxy URL in the library's syntax ("host:port", with its
// scheme only when that is not plain HTTP); "" when it cannot be read.
std::string EnvironmentProxy(const std::string &value, std::string *user, std::string *password) {
  if (value.empty()) return "";
  // A proxy written without a scheme is an HTTP proxy.
  const std::string full = value.find("://") == std::string::npos ? "http://" + value : value;
  std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  if (!url || curl_url_set(url.get(), CURLUPART_URL, full.c_str(), 0) != CURLUE_OK) return "";
  const std::string scheme = Lower(CurlUrlPart(url.get(), CURLUPART_SCHEME));
  std::string host = CurlUrlPart(url.get(), CURLUPART_HOST);
  const std::string port = CurlUrlPart(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  if (host.empty()) return "";
  if (user->empty()) {
    *user = CurlUrlPart(url.get(), CURLUPART_USER, CURLU_URLDECODE);
    *password = CurlUrlPart(url.get(), CURLUPART_PASSWORD, CURLU_URLDECODE);
  }
  std::string out = scheme == "http" ? "" : scheme + "://";
  out += host;
  if (!port.empty()) out += ":" + port;
  return out;
}

}  // namespace

bool ProxyRules::Parse(std::string_view proxy_list, std::string_view bypass_list) {
  entries_.clear();
  bypass_.clear();
  for (std::string_view item : SplitList(proxy_list, " \t;")) {
    Entry entry;
    const size_t equals = item.find('=');
    if (equals != std::string_view::npos) {
      entry.scheme = Lower(item.substr(0, equals));
      item.remove_prefix(equals + 1);
    }
    std::string scheme, host;
    unsigned port = 0;
    if (!SplitServer(item, &scheme, &host, &port)) return false;
    if (scheme.empty()) scheme = entry.scheme == "socks" ? "socks4" : "http";
    if (port == 0) port = scheme == "https" ? 443 : scheme.rfind("socks", 0) == 0 ? 1080 : 80;
    entry.url = scheme + "://" + host + ":" + std::to_string(port);
    entries_.push_back(std::move(entry));
  }
  for (std::string_view item : SplitList(bypass_list, " \t;,")) bypass_.emplace_back(item);
  return true;
}

bool ProxyRules::Bypassed(std::string_view scheme, std::string_view host, INTERNET_PORT port) const {
  for (const std::string &pattern : bypass_) {
    if (EqualsNoCase(pattern, "<local>")) {
      if (host.find('.') == std::string_view::npos && host.find(':') == std::string_view::npos) return true;
      continue;
    }
    std::string pattern_scheme, pattern_host;
    unsigned pattern_port = 0;
    if (!SplitServer(pattern, &pattern_scheme, &pattern_host, &pattern_port)) continue;
    if (!pattern_scheme.empty() && !EqualsNoCase(pattern_scheme, scheme)) continue;
    if (pattern_port != 0 && pattern_port != port) continue;
    if (WildcardMatch(pattern_host, host)) return true;
  }
  return false;
}

std::string ProxyRules::ProxyFor(std::string_view scheme, std::string_view host, INTERNET_PORT port) const {
  if (!system_) return ListedProxyFor(scheme, host, port);
  // The script sees the request's origin: the path is not known here.
  const bool literal6 = host.find(':') != std::string_view::npos && host.front() != '[';
  const std::string url = std::string(scheme) + "://" + (literal6 ? "[" + std::string(host) + "]" : std::string(host)) +
                          ":" + std::to_string(port) + "/";
  if (auto_proxy_) {
    if (std::optional<std::string> proxy = ScriptProxyFor(url, std::string(host))) return *proxy;
  }
  if (!entries_.empty()) return ListedProxyFor(scheme, host, port);
  return DesktopProxyFor(url);
}

std::string ProxyRules::ListedProxyFor(std::string_view scheme, std::string_view host, INTERNET_PORT port) const {
  if (entries_.empty() || Bypassed(scheme, host, port)) return "";
  const Entry *generic = nullptr;
  const Entry *socks = nullptr;
  for (const Entry &entry : entries_) {
    if (EqualsNoCase(entry.scheme, scheme)) return entry.url;
    if (entry.scheme.empty() && generic == nullptr) generic = &entry;
    if (entry.scheme == "socks" && socks == nullptr) socks = &entry;
  }
  if (generic != nullptr) return generic->url;
  return socks != nullptr ? socks->url : "";
}

ProxyConfig PlatformProxyConfig() {
  ProxyConfig config;
  const std::string http = EnvironmentProxy(Getenv("http_proxy", "HTTP_PROXY"), &config.user_name, &config.password);
  const std::string https =
      EnvironmentProxy(Getenv("https_proxy", "HTTPS_PROXY"), &config.user_name, &config.password);
  if (!http.empty()) config.proxy_list = "http=" + http;
  if (!https.empty()) config.proxy_list += (config.proxy_list.empty() ? "https=" : " https=") + https;
  if (config.proxy_list.empty()) {
    config.user_name.clear();
    config.password.clear();
    return config;
  }
  config.access_type = INTERNET_OPEN_TYPE_PROXY;
  // no_proxy names a domain with its subdomains; the bypass list needs both
  // patterns for that.
  const std::string no_proxy = Getenv("no_proxy", "NO_PROXY");
  for (std::string_view item : SplitList(no_proxy, ", \t")) {
    std::string patterns;
    if (item == "*") {
      patterns = "*";
    } else if (item.front() == '.') {
      patterns = "*" + std::string(item);
    } else if (std::isdigit(static_cast<unsigned char>(item.front())) || item.front() == '[' ||
               item.find(':') != std::string_view::npos) {
      patterns = std::string(item);
    } else {
      patterns = std::string(item) + ";*." + std::string(item);
    }
    config.bypass_list += (config.bypass_list.empty() ? "" : ";") + patterns;
  }
  return config;
}

}  // namespace zem::wininet
