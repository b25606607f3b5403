// The URL work shared by the cracker, the canonicaliser and the URL builder:
// where each part of a URL lies in the caller's text, the scheme table, and
// percent-escaping.
#ifndef ZEM_WININET_URL_PARTS_H
#define ZEM_WININET_URL_PARTS_H

#include <cstddef>
#include <string>
#include <string_view>

#include "wininet.h"

namespace zem::wininet {

// A part of a URL as a range of the text it was found in.
struct UrlSlice {
  size_t begin = 0;
  size_t size = 0;
  bool present = false;

  std::string_view in(std::string_view text) const { return present ? text.substr(begin, size) : std::string_view(); }
};

struct UrlParts {
  UrlSlice scheme;
  UrlSlice user;
  UrlSlice password;
  UrlSlice host;      // an IPv6 literal without its brackets
  UrlSlice port;      // the digits after the host, when written
  UrlSlice path;
  UrlSlice extra;     // query and fragment with their leading "?" or "#"
  UrlSlice authority; // everything between "scheme://" and the path
  bool hierarchical = false;  // "scheme://authority..." rather than "scheme:opaque"
  INTERNET_SCHEME number = INTERNET_SCHEME_UNKNOWN;
  INTERNET_PORT port_number = 0;  // the written port, else the scheme's default
};

// Finds the parts of a URL (no surrounding blanks) by its delimiters alone.
// Returns 0, ERROR_INTERNET_INVALID_URL, or ERROR_INTERNET_UNRECOGNIZED_SCHEME
// when known_scheme_only is set and the scheme is not one of INTERNET_SCHEME's.
DWORD LocateParts(std::string_view text, bool known_scheme_only, UrlParts &parts);
// LocateParts, and libcurl must accept the URL and see the same parts in it.
DWORD SplitUrl(std::string_view text, bool known_scheme_only, UrlParts &parts);

// Dot segments removed the way libcurl resolves a path: "/a/./b/../c" -> "/a/c".
std::string WithoutDotSegments(std::string_view path);

INTERNET_SCHEME SchemeNumber(std::string_view name);
// The scheme for a number a caller gave; INTERNET_SCHEME_UNKNOWN when the
// number names none (INTERNET_SCHEME_DEFAULT is kept).
INTERNET_SCHEME SchemeFromNumber(int number);
// "http" for INTERNET_SCHEME_HTTP ...; nullptr for numbers without a name.
const char *SchemeName(INTERNET_SCHEME number);
INTERNET_PORT DefaultPort(INTERNET_SCHEME number);

// A URL_COMPONENTSA record must carry this layout's size. One built for the
// 32-bit layout (60 bytes) has its pointers where this layout keeps lengths:
// reading or writing parts through it would touch the wrong memory, so it is
// refused (ERROR_INVALID_PARAMETER recorded) rather than guessed at.
bool CheckStructSize(const URL_COMPONENTSA &components);

// The description of a refused URL for InternetGetLastResponseInfoA.
std::string UrlRefusal(DWORD error, std::string_view url);

// Blanks, tabs and line ends around a URL are not part of it.
bool IsUrlBlank(char c);

enum class EscapeSet {
  kSpacesOnly,        // only " "
  kUnsafe,            // blanks, controls, non-ASCII and "<>\"\\^`{|}"
  kUnsafeAndPercent,  // kUnsafe and "%" itself
};
std::string Escape(std::string_view text, EscapeSet set);
// %XX sequences become their bytes; %00 and malformed sequences stay as they
// are, so the result never holds a NUL that would cut a C string short. With
// keep_delimiters, the escapes of "%" and of the URL's delimiters
// (":/?#[]@!$&'()*+,;=") stay too: decoding them would change where a part
// ends, so the result, escaped again for the wire, names the same resource.
std::string Unescape(std::string_view text, bool keep_delimiters = false);

}  // namespace zem::wininet

#endif
