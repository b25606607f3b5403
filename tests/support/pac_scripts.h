// PAC scripts for the auto-proxy tests, and the environment they run in: a
// short time limit for scripts and no proxy settings but the script's.
#ifndef ZEM_TEST_PAC_SCRIPTS_H
#define ZEM_TEST_PAC_SCRIPTS_H

#include <cstdlib>
#include <string>

namespace zemtest {

constexpr unsigned kPacLimitMs = 500;

// Sends the host names "local..." without dots through the proxy and every
// other request direct.
inline std::string SplittingScript(const std::string &proxy) {
  return "function FindProxyForURL(url, host) {\n"
         "  if (shExpMatch(host, \"local*\") && isPlainHostName(host)) return \"PROXY " + proxy + "; DIRECT\";\n"
         "  return \"DIRECT\";\n}\n";
}
constexpr char kPacSyntaxError[] = "function FindProxyForURL(url, host) { return \"DIRECT\"; ";
constexpr char kPacNeverReturns[] = "function FindProxyForURL(url, host) { while (true) {} }";

// No proxy settings but the test's own: no environment proxies, no PAC URL,
// and none of libproxy's desktop plugins (the machine's desktop settings
// would otherwise reach preconfigured requests).
inline void ClearProxyEnvironment() {
  for (const char *name : {"http_proxy", "https_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY", "NO_PROXY",
                           "ZEMHTTP_PAC_URL"}) {
    unsetenv(name);
  }
  setenv("ZEMHTTP_PAC_TIMEOUT_MS", std::to_string(kPacLimitMs).c_str(), 1);
  setenv("PX_MODULE_PATH", "/nonexistent", 1);
}

}  // namespace zemtest

#endif  // ZEM_TEST_PAC_SCRIPTS_H
