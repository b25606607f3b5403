// The library's own auto-proxy exports: where the PAC script is, and a
// refresh of the system's proxy settings.
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>

#include "arguments.h"
#include "failure.h"
#include "system_proxy.h"

using namespace zem::wininet;

namespace {

// The conventional WPAD name, found through the resolver's search domains.
// Only asked for when no PAC URL is configured.
bool WpadHostResolves() {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  const bool ok = getaddrinfo("wpad", "80", &hints, &found) == 0;
  if (found != nullptr) freeaddrinfo(found);
  return ok;
}

}  // namespace

// A configured PAC URL is the answer for either kind of detection; "wpad" or
// none lets the name lookup (PROXY_AUTO_DETECT_TYPE_DNS_A) find the
// conventional host. DHCP offers of a script are not read on this platform.
BOOL WINAPI DetectAutoProxyUrl(LPSTR lpszAutoProxyUrl, DWORD dwAutoProxyUrlLength, DWORD dwDetectFlags) {
  BeginCall();
  if (lpszAutoProxyUrl == nullptr || dwAutoProxyUrlLength == 0) {
    return Fail(ERROR_INVALID_PARAMETER, "lpszAutoProxyUrl names no buffer.");
  }
  if ((dwDetectFlags & (PROXY_AUTO_DETECT_TYPE_DHCP | PROXY_AUTO_DETECT_TYPE_DNS_A)) == 0) {
    return Fail(ERROR_INVALID_PARAMETER, "dwDetectFlags asks for no kind of detection.");
  }
  if (!CheckWritable(lpszAutoProxyUrl, dwAutoProxyUrlLength, "lpszAutoProxyUrl")) return FALSE;
  std::string url = ConfiguredPacUrl();
  if (url.empty() || url == "wpad") {
    if (!(dwDetectFlags & PROXY_AUTO_DETECT_TYPE_DNS_A) || !WpadHostResolves()) {
      return Fail(ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT,
                  "No automatic proxy script was found: ZEMHTTP_PAC_URL is not set and no host \"wpad\" answers.");
    }
    url = "http://wpad/wpad.dat";
  }
  if (url.size() + 1 > dwAutoProxyUrlLength) {
    return Fail(ERROR_INSUFFICIENT_BUFFER, "The script's URL needs " + std::to_string(url.size() + 1) + " bytes.");
  }
  std::memcpy(lpszAutoProxyUrl, url.c_str(), url.size() + 1);
  return Succeed();
}

// Reads the system's proxy settings anew and lets the PAC script be fetched
// again on the next request.
BOOL WINAPI InternetInitializeAutoProxyDll(DWORD) {
  BeginCall();
  RefreshSystemProxy();
  return Succeed();
}
