// Percent-escaping for the URL functions. A URL that goes on the wire may
// carry only printable ASCII without blanks; everything else travels as %XX.
#include "url_parts.h"

namespace zem::wininet {

namespace {

bool IsUnsafe(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return true;
  switch (c) {
    case '"': case '<': case '>': case '\\': case '^': case '`': case '{': case '|': case '}':
      return true;
    default:
      return false;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Escape(std::string_view text, EscapeSet set) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    bool escape = set == EscapeSet::kSpacesOnly ? c == ' ' : IsUnsafe(c) || (set == EscapeSet::kUnsafeAndPercent && c == '%');
    if (escape) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out;
}

std::string Unescape(std::string_view text, bool keep_delimiters) {
  static constexpr std::string_view kDelimiters = "%:/?#[]@!$&'()*+,;=";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    int hi = -1, lo = -1;
    if (text[i] == '%' && i + 2 < text.size()) {
      hi = HexValue(text[i + 1]);
      lo = HexValue(text[i + 2]);
    }
    const char decoded = static_cast<char>(hi * 16 + lo);
    if (hi >= 0 && lo >= 0 && (hi | lo) != 0 &&
        !(keep_delimiters && kDelimiters.find(decoded) != std::string_view::npos)) {
      out += decoded;
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace zem::wininet
