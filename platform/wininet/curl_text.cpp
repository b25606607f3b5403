#include "curl_text.h"

namespace zem::wininet {

std::string CurlUrlPart(CURLU *url, CURLUPart part, unsigned flags) {
  char *value = nullptr;
  if (curl_url_get(url, part, &value, flags) != CURLUE_OK || value == nullptr) return "";
  std::string out(value);
  curl_free(value);
  return out;
}

bool CurlAtLeast(unsigned major, unsigned minor, unsigned patch) {
  return curl_version_info(CURLVERSION_NOW)->version_num >= (major << 16 | minor << 8 | patch);
}

}  // namespace zem::wininet
