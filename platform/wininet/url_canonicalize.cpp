// InternetCanonicalizeUrlA: the form of a URL that can go on the wire.
//
// By default unsafe characters in the path, query and fragment become %XX,
// "." and ".." segments are resolved, and blanks around the URL are dropped;
// the flags turn each of these off or change it. The scheme and authority are
// kept as written. The result must be a URL that libcurl accepts: what cannot
// be made into one fails with ERROR_INTERNET_INVALID_URL.
#include <algorithm>

#include "arguments.h"
#include "failure.h"
#include "url_parts.h"
#include "windows.h"

namespace zem::wininet {
namespace {

std::string Canonical(std::string_view url, DWORD flags, DWORD &error) {
  const bool browser = (flags & ICU_BROWSER_MODE) != 0;
  while (!url.empty() && IsUrlBlank(url.front())) url.remove_prefix(1);
  // Browser mode keeps what follows a "?" exactly, trailing blanks included.
  if (!browser || url.find('?') == std::string_view::npos)
    while (!url.empty() && IsUrlBlank(url.back())) url.remove_suffix(1);

  // In browser mode the query and fragment are neither decoded nor encoded.
  const size_t tail = browser ? std::min(url.find_first_of("?#"), url.size()) : url.size();
  std::string text = std::string(url.substr(0, tail));
  if (flags & ICU_DECODE) text = Unescape(text);
  text += url.substr(tail);

  UrlParts parts;
  error = LocateParts(text, false, parts);
  if (error) return "";
  const bool encode = (flags & ICU_NO_ENCODE) == 0;
  const EscapeSet set = (flags & ICU_ENCODE_SPACES_ONLY)  ? EscapeSet::kSpacesOnly
                        : (flags & ICU_ENCODE_PERCENT) ? EscapeSet::kUnsafeAndPercent
                                                        : EscapeSet::kUnsafe;
  std::string out(parts.scheme.in(text));
  out += ':';
  std::string path(parts.path.in(text));
  if (parts.hierarchical) {
    out += "//";
    out += parts.authority.in(text);
    if (path.empty()) path = "/";
  }
  if (encode) path = Escape(path, set);
  if (parts.hierarchical && (flags & ICU_NO_META) == 0) path = WithoutDotSegments(path);
  out += path;
  std::string extra(parts.extra.in(text));
  out += encode && !browser ? Escape(extra, set) : extra;

  UrlParts checked;
  error = SplitUrl(out, false, checked);
  return out;
}

}  // namespace
}  // namespace zem::wininet

using namespace zem::wininet;

BOOL WINAPI InternetCanonicalizeUrlA(LPCSTR lpszUrl, LPSTR lpszBuffer, LPDWORD lpdwBufferLength, DWORD dwFlags) {
  BeginCall();
  if (lpszUrl == nullptr || !CheckWritable(lpdwBufferLength, sizeof(DWORD), "lpdwBufferLength"))
    return Fail(ERROR_INVALID_PARAMETER, "InternetCanonicalizeUrlA needs a URL and a buffer length");
  if (IsBadStringPtrA(lpszUrl, ~static_cast<UINT_PTR>(0)))
    return Fail(ERROR_INVALID_PARAMETER, "the URL cannot be read");
  DWORD error = 0;
  const std::string canonical = Canonical(lpszUrl, dwFlags, error);
  if (error) return Fail(ERROR_INTERNET_INVALID_URL, UrlRefusal(ERROR_INTERNET_INVALID_URL, lpszUrl));
  const DWORD size = static_cast<DWORD>(canonical.size());
  return CopyToCaller(canonical.c_str(), size + 1, size, lpszBuffer, lpdwBufferLength) ? Succeed() : FALSE;
}
