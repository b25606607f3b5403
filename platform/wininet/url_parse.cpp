// libcurl decides whether a URL is well formed; this file finds where each of
// its parts lies in the caller's text, because the cracker hands out pointers
// into that text and libcurl only gives copies (with the scheme lower-cased,
// numeric hosts rewritten and an empty path turned into "/").
#include <curl/curl.h>

#include <cstring>
#include <memory>

#include "failure.h"
#include "url_parts.h"

namespace zem::wininet {

namespace {

struct SchemeEntry {
  const char *name;
  INTERNET_SCHEME number;
  INTERNET_PORT port;
  bool needs_host;
};

const SchemeEntry kSchemes[] = {
    {"ftp", INTERNET_SCHEME_FTP, INTERNET_DEFAULT_FTP_PORT, true},
    {"gopher", INTERNET_SCHEME_GOPHER, INTERNET_DEFAULT_GOPHER_PORT, true},
    {"http", INTERNET_SCHEME_HTTP, INTERNET_DEFAULT_HTTP_PORT, true},
    {"https", INTERNET_SCHEME_HTTPS, INTERNET_DEFAULT_HTTPS_PORT, true},
    {"file", INTERNET_SCHEME_FILE, 0, false},
    {"news", INTERNET_SCHEME_NEWS, 0, false},
    {"mailto", INTERNET_SCHEME_MAILTO, 0, false},
    {"socks", INTERNET_SCHEME_SOCKS, INTERNET_DEFAULT_SOCKS_PORT, true},
    {"javascript", INTERNET_SCHEME_JAVASCRIPT, 0, false},
    {"vbscript", INTERNET_SCHEME_VBSCRIPT, 0, false},
    {"res", INTERNET_SCHEME_RES, 0, false},
};

const SchemeEntry *FindScheme(INTERNET_SCHEME number) {
  for (const SchemeEntry &e : kSchemes)
    if (e.number == number) return &e;
  return nullptr;
}

struct CurlUrlFree {
  void operator()(CURLU *u) const { curl_url_cleanup(u); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlFree>;

struct CurlText {
  char *text = nullptr;
  ~CurlText() { curl_free(text); }
};

// What libcurl made of the URL, for the parts whose presence it decides.
struct CurlView {
  bool user = false, password = false, port = false, query = false, fragment = false;
  std::string host;
};

bool AskCurl(const std::string &url, CurlView &view) {
  CurlUrl u(curl_url());
  if (!u) return false;
  // Spaces are left for the request's object name to escape; paths are kept
  // as written; any scheme is parsed so that an unknown one can be named as such.
  const unsigned flags = CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE | CURLU_PATH_AS_IS;
  if (curl_url_set(u.get(), CURLUPART_URL, url.c_str(), flags) != CURLUE_OK) return false;
  auto has = [&u](CURLUPart part) {
    CurlText t;
    return curl_url_get(u.get(), part, &t.text, 0) == CURLUE_OK;
  };
  view.user = has(CURLUPART_USER);
  view.password = has(CURLUPART_PASSWORD);
  view.port = has(CURLUPART_PORT);
  view.query = has(CURLUPART_QUERY);
  view.fragment = has(CURLUPART_FRAGMENT);
  CurlText host;
  if (curl_url_get(u.get(), CURLUPART_HOST, &host.text, 0) == CURLUE_OK) view.host = host.text;
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

UrlSlice Slice(size_t begin, size_t end) { return UrlSlice{begin, end - begin, true}; }

bool IsSchemeChar(char c, bool first) {
  bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  return alpha || (!first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
}

// Path, query and fragment from `from` on: the path runs to the first "?" or
// "#", the extra information is the rest with that character.
void SplitTail(std::string_view text, size_t from, UrlParts &parts) {
  size_t extra = text.find_first_of("?#", from);
  if (extra == std::string_view::npos) extra = text.size();
  if (extra > from) parts.path = Slice(from, extra);
  if (extra < text.size()) parts.extra = Slice(extra, text.size());
}

// "user:password@host:port" between begin and end.
bool SplitAuthority(std::string_view text, size_t begin, size_t end, UrlParts &parts) {
  parts.authority = Slice(begin, end);
  size_t at = text.substr(0, end).rfind('@');
  size_t host_begin = begin;
  if (at != std::string_view::npos && at >= begin) {
    size_t colon = text.substr(0, at).find(':', begin);
    if (colon == std::string_view::npos) {
      parts.user = Slice(begin, at);
    } else {
      parts.user = Slice(begin, colon);
      parts.password = Slice(colon + 1, at);
    }
    host_begin = at + 1;
  }
  size_t host_end = end;
  size_t port_colon = std::string_view::npos;
  if (host_begin < end && text[host_begin] == '[') {
    size_t close = text.substr(0, end).find(']', host_begin);
    if (close == std::string_view::npos) return false;
    parts.host = Slice(host_begin + 1, close);
    if (close + 1 < end) {
      if (text[close + 1] != ':') return false;
      port_colon = close + 1;
    }
  } else {
    port_colon = text.substr(0, end).find(':', host_begin);
    if (port_colon != std::string_view::npos) host_end = port_colon;
    parts.host = Slice(host_begin, host_end);
  }
  if (port_colon != std::string_view::npos && port_colon + 1 < end) parts.port = Slice(port_colon + 1, end);
  return true;
}

// libcurl and the split must agree on which parts exist; where they do not,
// the URL is ambiguous and refused rather than guessed at.
bool Agrees(std::string_view text, const UrlParts &parts, const CurlView &view) {
  if (parts.user.present != view.user || parts.password.present != view.password) return false;
  if (parts.port.present != view.port) return false;
  std::string_view extra = parts.extra.in(text);
  bool query = !extra.empty() && extra[0] == '?';
  bool fragment = extra.find('#') != std::string_view::npos;
  if (query != view.query || fragment != view.fragment) return false;
  std::string_view host = parts.host.in(text);
  // An IPv6 host comes back in brackets and without its zone; a numeric IPv4
  // host is rewritten ("127.1" -> "127.0.0.1"). Other names come back as written.
  bool rewritten = view.host.empty() || view.host[0] == '[' ||
                   view.host.find_first_not_of("0123456789.") == std::string::npos;
  return rewritten || EqualsNoCase(host, view.host);
}

}  // namespace

bool CheckStructSize(const URL_COMPONENTSA &components) {
  if (components.dwStructSize == sizeof(URL_COMPONENTSA)) return true;
  Fail(ERROR_INVALID_PARAMETER, "dwStructSize of the URL_COMPONENTSA record is " +
                                    std::to_string(components.dwStructSize) + ", not " +
                                    std::to_string(sizeof(URL_COMPONENTSA)));
  return false;
}

std::string UrlRefusal(DWORD error, std::string_view url) {
  // Long URLs are cut: the description is read by people.
  std::string shown(url.substr(0, 200));
  if (url.size() > shown.size()) shown += "...";
  if (error == ERROR_INTERNET_UNRECOGNIZED_SCHEME) return "the scheme of the URL \"" + shown + "\" is not supported";
  return "\"" + shown + "\" is not a valid URL";
}

bool IsUrlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

INTERNET_SCHEME SchemeNumber(std::string_view name) {
  for (const SchemeEntry &e : kSchemes)
    if (EqualsNoCase(name, e.name)) return e.number;
  return INTERNET_SCHEME_UNKNOWN;
}

INTERNET_SCHEME SchemeFromNumber(int number) {
  if (number == INTERNET_SCHEME_DEFAULT) return INTERNET_SCHEME_DEFAULT;
  for (const SchemeEntry &e : kSchemes)
    if (static_cast<int>(e.number) == number) return e.number;
  return INTERNET_SCHEME_UNKNOWN;
}

const char *SchemeName(INTERNET_SCHEME number) {
  const SchemeEntry *e = FindScheme(number);
  return e ? e->name : nullptr;
}

INTERNET_PORT DefaultPort(INTERNET_SCHEME number) {
  const SchemeEntry *e = FindScheme(number);
  return e ? e->port : 0;
}

DWORD LocateParts(std::string_view text, bool known_scheme_only, UrlParts &parts) {
  parts = UrlParts();
  size_t colon = 0;
  while (colon < text.size() && IsSchemeChar(text[colon], colon == 0)) ++colon;
  if (colon == 0 || colon >= text.size() || text[colon] != ':') return ERROR_INTERNET_INVALID_URL;
  parts.scheme = Slice(0, colon);
  parts.number = SchemeNumber(text.substr(0, colon));
  const SchemeEntry *known = FindScheme(parts.number);
  if (!known && known_scheme_only) return ERROR_INTERNET_UNRECOGNIZED_SCHEME;

  size_t after = colon + 1;
  if (text.substr(after, 2) != "//") {
    // "mailto:someone", "javascript:..." carry no authority; schemes that
    // name a server must.
    if (known && known->needs_host) return ERROR_INTERNET_INVALID_URL;
    SplitTail(text, after, parts);
    return 0;
  }
  parts.hierarchical = true;
  size_t begin = after + 2;
  size_t end = text.find_first_of("/?#", begin);
  if (end == std::string_view::npos) end = text.size();
  if (!SplitAuthority(text, begin, end, parts)) return ERROR_INTERNET_INVALID_URL;
  SplitTail(text, end, parts);
  if (known && known->needs_host && parts.host.size == 0) return ERROR_INTERNET_INVALID_URL;

  parts.port_number = known ? known->port : 0;
  if (parts.port.present) {
    unsigned long port = 0;
    for (char c : parts.port.in(text)) {
      if (c < '0' || c > '9') return ERROR_INTERNET_INVALID_URL;
      port = port * 10 + static_cast<unsigned long>(c - '0');
      if (port > INTERNET_MAX_PORT_NUMBER_VALUE) return ERROR_INTERNET_INVALID_URL;
    }
    parts.port_number = static_cast<INTERNET_PORT>(port);
  }
  return 0;
}

DWORD SplitUrl(std::string_view text, bool known_scheme_only, UrlParts &parts) {
  if (DWORD error = LocateParts(text, known_scheme_only, parts)) return error;
  // libcurl refuses a Windows drive path in a file URL on this platform, and a
  // file URL names no server to check: the split alone answers for it.
  if (parts.hierarchical && parts.number != INTERNET_SCHEME_FILE) {
    CurlView view;
    // libcurl refuses control characters anywhere; in a path or query they
    // are only unsafe (the object name on the wire escapes them), so it
    // judges an escaped copy.
    std::string judged;
    for (char c : text) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
        judged += Escape(std::string_view(&c, 1), EscapeSet::kUnsafe);
      else
        judged += c;
    }
    if (!AskCurl(judged, view) || !Agrees(text, parts, view)) return ERROR_INTERNET_INVALID_URL;
  }
  return 0;
}

std::string WithoutDotSegments(std::string_view path) {
  if (path.empty() || path[0] != '/') return std::string(path);
  CurlUrl u(curl_url());
  std::string url = "http://h" + std::string(path);
  CurlText resolved;
  if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), CURLU_ALLOW_SPACE) != CURLUE_OK ||
      curl_url_get(u.get(), CURLUPART_PATH, &resolved.text, 0) != CURLUE_OK)
    return std::string(path);
  return resolved.text;
}

}  // namespace zem::wininet
