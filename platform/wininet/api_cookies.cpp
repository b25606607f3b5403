// The cookie functions over the process's cookie jar, the one requests use.
#include <curl/curl.h>

#include <memory>

#include "arguments.h"
#include "cookie_jar.h"
#include "curl_text.h"
#include "failure.h"
#include "wininet.h"

using namespace zem::wininet;

namespace {

struct CookieUrl {
  std::string host, path;
  bool secure = false;
};

bool ReadCookieUrl(LPCSTR given, CookieUrl *out) {
  std::string text;
  if (!ReadText(given, "lpszUrl", &text, INTERNET_MAX_URL_LENGTH + 64 * 1024)) return false;
  if (text.empty()) return Fail(ERROR_INVALID_PARAMETER, "lpszUrl names no URL.");
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
  if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
    return Fail(ERROR_INTERNET_INVALID_URL, "\"" + text + "\" is not a URL.");
  }
  const std::string scheme = CurlUrlPart(url.get(), CURLUPART_SCHEME);
  if (scheme != "http" && scheme != "https") {
    return Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME, "Cookies belong to HTTP URLs, not to \"" + text + "\".");
  }
  out->secure = scheme == "https";
  out->host = CurlUrlPart(url.get(), CURLUPART_HOST);
  if (out->host.size() >= 2 && out->host.front() == '[') out->host = out->host.substr(1, out->host.size() - 2);
  out->path = CurlUrlPart(url.get(), CURLUPART_PATH);
  return true;
}

BOOL GetCookies(LPCSTR lpszUrl, LPCSTR lpszCookieName, LPSTR lpszCookieData, LPDWORD lpdwSize, bool http_only) {
  BeginCall();
  if (lpdwSize == nullptr) return Fail(ERROR_INVALID_PARAMETER, "lpdwSize is null.");
  if (!CheckWritable(lpdwSize, sizeof(DWORD), "lpdwSize")) return FALSE;
  CookieUrl url;
  std::string name;
  if (!ReadCookieUrl(lpszUrl, &url) || !ReadText(lpszCookieName, "lpszCookieName", &name)) return FALSE;
  const std::string cookies = CookieJar::Instance().HeaderFor(url.host, url.path, url.secure, http_only, name);
  if (cookies.empty()) return Fail(ERROR_NO_MORE_ITEMS, "No cookie belongs to that URL.");
  const DWORD size = static_cast<DWORD>(cookies.size() + 1);
  if (lpszCookieData == nullptr) {
    *lpdwSize = size;  // asking for the size is no failure
    return Succeed();
  }
  return CopyToCaller(cookies.c_str(), size, size - 1, lpszCookieData, lpdwSize) ? Succeed() : FALSE;
}

}  // namespace

BOOL WINAPI InternetGetCookieA(LPCSTR lpszUrl, LPCSTR, LPSTR lpszCookieData, LPDWORD lpdwSize) {
  // The name is documented as not used; scripts never see HttpOnly cookies.
  return GetCookies(lpszUrl, nullptr, lpszCookieData, lpdwSize, false);
}

BOOL WINAPI InternetGetCookieExA(LPCSTR lpszUrl, LPCSTR lpszCookieName, LPSTR lpszCookieData, LPDWORD lpdwSize,
                                 DWORD dwFlags, LPVOID) {
  return GetCookies(lpszUrl, lpszCookieName, lpszCookieData, lpdwSize, (dwFlags & INTERNET_COOKIE_HTTPONLY) != 0);
}

BOOL WINAPI InternetSetCookieA(LPCSTR lpszUrl, LPCSTR lpszCookieName, LPCSTR lpszCookieData) {
  BeginCall();
  CookieUrl url;
  std::string name, data;
  if (!ReadCookieUrl(lpszUrl, &url) || !ReadText(lpszCookieName, "lpszCookieName", &name) ||
      !ReadText(lpszCookieData, "lpszCookieData", &data)) {
    return FALSE;
  }
  // Without a name the data is a whole "name=value; attributes" text.
  const std::string cookie = name.empty() ? data : name + "=" + data;
  if (cookie.find('=') == std::string::npos || cookie.front() == '=') {
    return Fail(ERROR_INVALID_PARAMETER, "The cookie has no name.");
  }
  if (!CookieJar::Instance().Store(cookie, url.host, url.path)) {
    return Fail(ERROR_INVALID_PARAMETER, "The cookie is malformed, too large, or for a domain \"" + url.host +
                                             "\" may not set cookies for.");
  }
  return Succeed();
}
