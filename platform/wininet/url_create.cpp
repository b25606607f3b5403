// InternetCreateUrlA: a URL from its parts, the reverse of the cracker.
//
// A part is wanted when its pointer is set; its length is then the text's
// length, or 0 for a NUL-terminated text. The scheme comes from lpszScheme,
// else from nScheme (INTERNET_SCHEME_DEFAULT meaning http). The port is
// written only when it differs from the scheme's default, and a host holding
// a ":" (an IPv6 literal, as the cracker returns it) is put in brackets.
#include <cstring>

#include "arguments.h"
#include "failure.h"
#include "url_parts.h"
#include "windows.h"

namespace zem::wininet {
namespace {

// The text of one part; false (with the error recorded) when its pointer
// cannot be read.
bool PartText(LPCSTR pointer, DWORD length, const char *name, std::string &out, bool &wanted) {
  wanted = pointer != nullptr;
  out.clear();
  if (!wanted) return true;
  if (length == 0) {
    if (IsBadStringPtrA(pointer, ~static_cast<UINT_PTR>(0))) return CheckReadable(nullptr, 1, name);
    out = pointer;
    return true;
  }
  if (!CheckReadable(pointer, length, name)) return false;
  out.assign(pointer, strnlen(pointer, length));
  return true;
}

}  // namespace
}  // namespace zem::wininet

using namespace zem::wininet;

BOOL WINAPI InternetCreateUrlA(LPURL_COMPONENTSA lpUrlComponents, DWORD dwFlags, LPSTR lpszUrl, LPDWORD lpdwUrlLength) {
  BeginCall();
  if (!CheckReadable(lpUrlComponents, sizeof(URL_COMPONENTSA), "lpUrlComponents") ||
      !CheckWritable(lpdwUrlLength, sizeof(DWORD), "lpdwUrlLength") || !CheckStructSize(*lpUrlComponents))
    return FALSE;
  const URL_COMPONENTSA &uc = *lpUrlComponents;

  std::string scheme, host, user, password, path, extra;
  bool has_scheme, has_host, has_user, has_password, has_path, has_extra;
  if (!PartText(uc.lpszScheme, uc.dwSchemeLength, "lpszScheme", scheme, has_scheme) ||
      !PartText(uc.lpszHostName, uc.dwHostNameLength, "lpszHostName", host, has_host) ||
      !PartText(uc.lpszUserName, uc.dwUserNameLength, "lpszUserName", user, has_user) ||
      !PartText(uc.lpszPassword, uc.dwPasswordLength, "lpszPassword", password, has_password) ||
      !PartText(uc.lpszUrlPath, uc.dwUrlPathLength, "lpszUrlPath", path, has_path) ||
      !PartText(uc.lpszExtraInfo, uc.dwExtraInfoLength, "lpszExtraInfo", extra, has_extra))
    return FALSE;

  // nScheme is read as a plain integer: a caller's value outside the
  // enumeration must be refused, not loaded as an enumerator.
  int given = 0;
  std::memcpy(&given, &uc.nScheme, sizeof given);
  INTERNET_SCHEME number = has_scheme ? SchemeNumber(scheme) : SchemeFromNumber(given);
  if (!has_scheme) {
    if (number == INTERNET_SCHEME_DEFAULT) number = INTERNET_SCHEME_HTTP;
    const char *name = SchemeName(number);
    if (name == nullptr)
      return Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME, "nScheme " + std::to_string(given) + " names no scheme");
    scheme = name;
  }
  if (scheme.empty()) return Fail(ERROR_INVALID_PARAMETER, "the scheme is empty");
  if (has_password && !has_user) return Fail(ERROR_INVALID_PARAMETER, "a password needs a user name");
  // Schemes that name a server need one; "mailto:" and the like have none.
  const bool hierarchical = has_host || DefaultPort(number) != 0 || number == INTERNET_SCHEME_FILE;
  if (hierarchical && !has_host && number != INTERNET_SCHEME_FILE)
    return Fail(ERROR_INVALID_PARAMETER, "a " + scheme + " URL needs a host name");

  std::string url = scheme + ":";
  if (hierarchical) {
    url += "//";
    if (has_user) url += user + (has_password ? ":" + password : "") + "@";
    url += host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host;
    if (uc.nPort != 0 && uc.nPort != DefaultPort(number)) url += ":" + std::to_string(uc.nPort);
    if (has_path && !path.empty() && path.front() != '/') url += '/';
  }
  const bool escape = (dwFlags & ICU_ESCAPE) != 0;
  url += escape ? Escape(path, EscapeSet::kUnsafe) : path;
  url += escape ? Escape(extra, EscapeSet::kUnsafe) : extra;

  const DWORD size = static_cast<DWORD>(url.size());
  return CopyToCaller(url.c_str(), size + 1, size, lpszUrl, lpdwUrlLength) ? Succeed() : FALSE;
}
