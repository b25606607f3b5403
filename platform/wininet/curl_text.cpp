#include "curl_text.h"

namespace zem::wininet {

std::string CurlUrlPart(CURLU *url, CURLUPart part, unsigned flags) {
  char *value = nullptr;
  if (curl_url_get(url, part, &value, flags) != CURLUE_OK || value == nullptr) return "";
  std::string out(value);
  curl_free(value);
  return out;
}

std::string EscapeRequestTarget(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || std::string_view("\"<>\\^`{|}").find(ch) != std::string_view::npos) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace zem::wininet
