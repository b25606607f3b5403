// The system's proxy settings, as preconfigured sessions use them: a PAC
// script (ZEMHTTP_PAC_URL, evaluated by the auto-proxy library
// "jsproxy.dll"), the http_proxy/https_proxy/no_proxy environment, and what
// libproxy reads from the desktop's settings.
#ifndef ZEM_WININET_SYSTEM_PROXY_H
#define ZEM_WININET_SYSTEM_PROXY_H

#include <optional>
#include <string>
#include <string_view>

#include "proxy_rules.h"

namespace zem::wininet {

// The PAC URL the environment names (ZEMHTTP_PAC_URL); "" when none.
std::string ConfiguredPacUrl();

// The proxy a PAC script chose for the URL, as a libcurl proxy URL ("" for
// DIRECT); nothing when no script is configured or it could not answer.
std::optional<std::string> ScriptProxyFor(const std::string &url, const std::string &host);

// The first entry of a PAC answer ("PROXY host:port; DIRECT") as a libcurl
// proxy URL; "" for DIRECT, an empty answer or one not understood.
std::string FirstScriptProxy(std::string_view answer);

// libproxy's proxy for the URL as a libcurl proxy URL; "" for direct.
std::string DesktopProxyFor(const std::string &url);

// The static configuration INTERNET_OPTION_PROXY reports with no handle: the
// environment's when it names a proxy, else libproxy's answers for a plain
// and a secure probe URL.
ProxyConfig SystemStaticProxyConfig();

// Forgets what was read and fetched (libproxy's settings, the PAC script), so
// that the next request reads them anew.
void RefreshSystemProxy();

}  // namespace zem::wininet

#endif  // ZEM_WININET_SYSTEM_PROXY_H
