// InternetCrackUrlA: splits a URL into the parts a caller asks for.
//
// Per part, the caller says what it wants through the pointer and length:
// both zero, nothing; a null pointer with a length, a pointer into its own URL
// text and the part's length; a buffer with its size, a copy with its
// terminator. A buffer too small gets the size it needs (terminator included)
// written back, and the call fails with ERROR_INSUFFICIENT_BUFFER only once
// every part has been handled, so that one call sizes all of them: callers
// allocate from those sizes and call again.
#include <cstring>

#include "arguments.h"
#include "failure.h"
#include "url_parts.h"
#include "windows.h"

namespace zem::wininet {
namespace {

enum class Delivery { kDone, kTooSmall, kBadBuffer };

// `raw` is the part as written in the URL at `url_base`; `copy` is what a
// buffer receives (escaped or decoded as the flags ask).
Delivery Deliver(const char *url_base, const UrlSlice &raw, const std::string &copy, LPSTR &pointer, DWORD &length) {
  if (pointer == nullptr) {
    if (length == 0) return Delivery::kDone;
    pointer = raw.present ? const_cast<LPSTR>(url_base + raw.begin) : nullptr;
    length = raw.present ? static_cast<DWORD>(raw.size) : 0;
    return Delivery::kDone;
  }
  const size_t needed = copy.size() + 1;
  if (length < needed) {
    length = static_cast<DWORD>(needed);
    return Delivery::kTooSmall;
  }
  if (!CheckWritable(pointer, needed, "a URL part's buffer")) return Delivery::kBadBuffer;
  std::memcpy(pointer, copy.data(), copy.size());
  pointer[copy.size()] = '\0';
  length = static_cast<DWORD>(copy.size());
  return Delivery::kDone;
}

}  // namespace
}  // namespace zem::wininet

using namespace zem::wininet;

BOOL WINAPI InternetCrackUrlA(LPCSTR lpszUrl, DWORD dwUrlLength, DWORD dwFlags, LPURL_COMPONENTSA lpUrlComponents) {
  BeginCall();
  if (lpszUrl == nullptr) return Fail(ERROR_INVALID_PARAMETER, "InternetCrackUrlA was given no URL");
  if (!CheckWritable(lpUrlComponents, sizeof(URL_COMPONENTSA), "lpUrlComponents") ||
      !CheckStructSize(*lpUrlComponents))
    return FALSE;
  const UINT_PTR limit = dwUrlLength != 0 ? dwUrlLength : ~static_cast<UINT_PTR>(0);
  if (IsBadStringPtrA(lpszUrl, limit)) return Fail(ERROR_INVALID_PARAMETER, "the URL cannot be read");

  URL_COMPONENTSA &uc = *lpUrlComponents;
  uc.nScheme = INTERNET_SCHEME_UNKNOWN;
  uc.nPort = 0;
  std::string_view whole(lpszUrl, strnlen(lpszUrl, limit));
  size_t first = 0;
  while (first < whole.size() && IsUrlBlank(whole[first])) ++first;
  size_t last = whole.size();
  while (last > first && IsUrlBlank(whole[last - 1])) --last;
  const std::string_view text = whole.substr(first, last - first);
  const char *base = lpszUrl + first;

  UrlParts parts;
  if (DWORD error = text.empty() ? ERROR_INTERNET_INVALID_URL : SplitUrl(text, true, parts))
    return Fail(error, UrlRefusal(error, text));
  uc.nScheme = parts.number;
  uc.nPort = parts.port_number;

  // ICU_DECODE decodes every escape. ICU_ESCAPE, for this function, decodes
  // the path and extra information too, but leaves the escapes of "%" and of
  // delimiters: the object name a caller builds from them then goes out
  // (escaped again where unsafe) as the same resource.
  auto copy_of = [&](const UrlSlice &slice, bool path_or_extra) {
    const std::string_view value = slice.in(text);
    if (dwFlags & ICU_DECODE) return Unescape(value);
    if (path_or_extra && (dwFlags & ICU_ESCAPE)) return Unescape(value, true);
    return std::string(value);
  };
  const Delivery results[] = {
      Deliver(base, parts.scheme, std::string(parts.scheme.in(text)), uc.lpszScheme, uc.dwSchemeLength),
      Deliver(base, parts.host, std::string(parts.host.in(text)), uc.lpszHostName, uc.dwHostNameLength),
      Deliver(base, parts.user, copy_of(parts.user, false), uc.lpszUserName, uc.dwUserNameLength),
      Deliver(base, parts.password, copy_of(parts.password, false), uc.lpszPassword, uc.dwPasswordLength),
      Deliver(base, parts.path, copy_of(parts.path, true), uc.lpszUrlPath, uc.dwUrlPathLength),
      Deliver(base, parts.extra, copy_of(parts.extra, true), uc.lpszExtraInfo, uc.dwExtraInfoLength),
  };
  bool too_small = false;
  for (Delivery d : results) {
    if (d == Delivery::kBadBuffer) return FALSE;
    too_small |= d == Delivery::kTooSmall;
  }
  return too_small ? Fail(ERROR_INSUFFICIENT_BUFFER) : Succeed();
}
