#include "system_proxy.h"

#include <proxy.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "../kernel/bound_export.h"
#include "windows.h"

namespace zem::wininet {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

// The auto-proxy library, loaded by its module name on first use and kept for
// the life of the process (its script cache is per process).
struct AutoProxyLibrary {
  std::once_flag loaded;
  pfnInternetGetProxyInfo lookup = nullptr;
  BOOL(CALLBACK *forget)(LPSTR, DWORD) = nullptr;
};

AutoProxyLibrary &Library() {
  static AutoProxyLibrary library;
  std::call_once(library.loaded, [] {
    const DWORD error = GetLastError();
    if (HMODULE module = LoadLibraryA("jsproxy.dll")) {
      library.lookup = zem::platform::BoundExport<pfnInternetGetProxyInfo>(module, "InternetGetProxyInfo");
      library.forget = zem::platform::BoundExport<decltype(library.forget)>(module, "InternetDeInitializeAutoProxyDll");
    }
    SetLastError(error);
  });
  return library;
}

// libproxy's factory reads the settings when made; it is made again after a
// refresh. Its lookups are serialised here.
std::mutex g_factory_lock;
pxProxyFactory *g_factory = nullptr;

// libproxy's answer ("http://host:port", "socks5://host:port", "direct://")
// as a libcurl proxy URL.
std::string CurlProxyOf(const std::string &answer) {
  const size_t marker = answer.find("://");
  if (marker == std::string::npos) return "";
  const std::string scheme = Lower(answer.substr(0, marker));
  std::string rest = answer.substr(marker + 3);
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (rest.empty()) return "";
  if (scheme == "socks") return "socks4://" + rest;
  for (const char *known : {"http", "https", "socks4", "socks4a", "socks5", "socks5h"}) {
    if (scheme == known) return scheme + "://" + rest;
  }
  return "";  // direct://, and kinds libcurl cannot use
}

}  // namespace

std::string ConfiguredPacUrl() {
  const char *url = std::getenv("ZEMHTTP_PAC_URL");
  return url != nullptr ? std::string(Trim(url)) : std::string();
}

std::string FirstScriptProxy(std::string_view answer) {
  const size_t end = answer.find(';');
  const std::string_view entry = Trim(answer.substr(0, end));
  const size_t space = entry.find_first_of(" \t");
  if (space == std::string_view::npos) return "";  // DIRECT, or nothing usable
  const std::string kind = Lower(entry.substr(0, space));
  const std::string_view server = Trim(entry.substr(space));
  if (server.empty()) return "";
  if (kind == "proxy" || kind == "http") return "http://" + std::string(server);
  if (kind == "https") return "https://" + std::string(server);
  if (kind == "socks" || kind == "socks4") return "socks4://" + std::string(server);
  if (kind == "socks5") return "socks5://" + std::string(server);
  return "";
}

std::optional<std::string> ScriptProxyFor(const std::string &url, const std::string &host) {
  if (ConfiguredPacUrl().empty()) return std::nullopt;
  AutoProxyLibrary &library = Library();
  if (library.lookup == nullptr) return std::nullopt;
  const DWORD error = GetLastError();
  LPSTR answer = nullptr;
  DWORD length = 0;
  std::string host_copy = host;
  const BOOL ok = library.lookup(url.c_str(), static_cast<DWORD>(url.size()), host_copy.data(),
                                 static_cast<DWORD>(host_copy.size()), &answer, &length);
  std::optional<std::string> proxy;
  if (ok && answer != nullptr) proxy = FirstScriptProxy(std::string_view(answer, strnlen(answer, length)));
  if (answer != nullptr) LocalFree(answer);
  SetLastError(error);
  return proxy;
}

std::string DesktopProxyFor(const std::string &url) {
  std::lock_guard<std::mutex> lock(g_factory_lock);
  if (g_factory == nullptr) g_factory = px_proxy_factory_new();
  if (g_factory == nullptr) return "";
  char **answers = px_proxy_factory_get_proxies(g_factory, url.c_str());
  const std::string proxy = answers != nullptr && answers[0] != nullptr ? CurlProxyOf(answers[0]) : "";
  px_proxy_factory_free_proxies(answers);
  return proxy;
}

ProxyConfig SystemStaticProxyConfig() {
  ProxyConfig config = PlatformProxyConfig();
  if (config.access_type == INTERNET_OPEN_TYPE_PROXY) return config;
  // libproxy answers per URL: a probe of each scheme stands for its setting.
  // The probe names no real host, so no desktop bypass rule matches it.
  for (const char *scheme : {"http", "https"}) {
    std::string proxy = DesktopProxyFor(std::string(scheme) + "://zemhttp.invalid/");
    if (proxy.empty()) continue;
    if (proxy.rfind("http://", 0) == 0) proxy.erase(0, 7);
    config.proxy_list += (config.proxy_list.empty() ? "" : " ") + std::string(scheme) + "=" + proxy;
  }
  if (!config.proxy_list.empty()) config.access_type = INTERNET_OPEN_TYPE_PROXY;
  return config;
}

void RefreshSystemProxy() {
  {
    std::lock_guard<std::mutex> lock(g_factory_lock);
    if (g_factory != nullptr) px_proxy_factory_free(g_factory);
    g_factory = nullptr;
  }
  AutoProxyLibrary &library = Library();
  if (library.forget != nullptr) library.forget(nullptr, 0);
}

}  // namespace zem::wininet
