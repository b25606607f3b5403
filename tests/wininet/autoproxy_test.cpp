// Proxy auto-config: the auto-proxy library "jsproxy.dll" evaluating scripts
// given to it or served by nginx, preconfigured sessions that follow the
// script (tinyproxy carries what it sends through a proxy), and the internet
// library's own auto-proxy exports. Scripts that do not compile, never
// return or cannot be fetched end in an error, never in a wait.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "internet_test_util.h"
#include "loopback_port.h"
#include "loopback_servers.h"
#include "pac_scripts.h"
#include "platform/jsproxy/jsproxy.h"
#include "platform/kernel/bound_export.h"

namespace {

using wintest::OpenRequest;
using zem::platform::BoundExport;
using zemtest::Reply;

using zemtest::SplittingScript;
constexpr const char *kSyntaxError = zemtest::kPacSyntaxError;
constexpr const char *kNeverReturns = zemtest::kPacNeverReturns;

class AutoProxy : public ::testing::Test {
 protected:
  void SetUp() override {
    zemtest::ClearProxyEnvironment();
    module = LoadLibraryA("jsproxy.dll");
    ASSERT_NE(module, nullptr) << "the platform provides the auto-proxy library: " << GetLastError();
    init = BoundExport<pfnInternetInitializeAutoProxyDll>(module, "InternetInitializeAutoProxyDll");
    lookup = BoundExport<pfnInternetGetProxyInfo>(module, "InternetGetProxyInfo");
    deinit = BoundExport<pfnInternetDeInitializeAutoProxyDll>(module, "InternetDeInitializeAutoProxyDll");
    ASSERT_TRUE(init != nullptr && lookup != nullptr && deinit != nullptr);
  }
  void TearDown() override {
    if (deinit != nullptr) deinit(nullptr, 0);
    if (module != nullptr) FreeLibrary(module);
    zemtest::ClearProxyEnvironment();
  }
  // Points the configuration at a URL and lets the next lookup fetch it.
  void UsePacUrl(const std::string &url) {
    setenv("ZEMHTTP_PAC_URL", url.c_str(), 1);
    ASSERT_TRUE(InternetInitializeAutoProxyDll(0));
  }
  BOOL UseScript(const std::string &script) {
    AUTO_PROXY_SCRIPT_BUFFER buffer{sizeof buffer, const_cast<char *>(script.c_str()),
                                    static_cast<DWORD>(script.size() + 1)};
    return init(1, nullptr, nullptr, nullptr, &buffer);
  }
  // The answer for a URL, or "" with the error in *error.
  std::string Lookup(const std::string &url, std::string host, DWORD *error) {
    LPSTR answer = nullptr;
    DWORD length = 0;
    SetLastError(0);
    const BOOL ok = lookup(url.c_str(), static_cast<DWORD>(url.size()), host.data(),
                           static_cast<DWORD>(host.size()), &answer, &length);
    *error = ok ? 0 : GetLastError();
    std::string text = ok && answer != nullptr ? std::string(answer) : "";
    if (ok) {
      EXPECT_EQ(length, text.size() + 1) << "the length counts the terminating zero";
    }
    if (answer != nullptr) {
      EXPECT_EQ(LocalFree(answer), nullptr) << "the answer is a local-memory block";
    }
    return text;
  }
  HMODULE module = nullptr;
  pfnInternetInitializeAutoProxyDll init = nullptr;
  pfnInternetGetProxyInfo lookup = nullptr;
  pfnInternetDeInitializeAutoProxyDll deinit = nullptr;
};

TEST_F(AutoProxy, TheLibraryAnswersWhatTheScriptSaysOrAClearError) {
  zemtest::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  nginx.WriteFile("split.pac", SplittingScript("127.0.0.1:3128"));
  nginx.WriteFile("broken.pac", kSyntaxError);
  const int closed = zemtest::FreeLoopbackPorts(1).at(0);
  zemtest::TempDir dir;
  const std::string file = dir.write("file.pac", SplittingScript("10.0.0.1:8080"));
  struct Case {
    const char *what;
    std::string script, pac_url;  // a script handed over, or the URL configured
    const char *host;
    DWORD error;
    std::string answer;
  };
  const Case cases[] = {
      {"given script, matching host", SplittingScript("127.0.0.1:3128"), "", "localhost", 0,
       "PROXY 127.0.0.1:3128; DIRECT"},
      {"given script, other host", SplittingScript("127.0.0.1:3128"), "", "127.0.0.1", 0, "DIRECT"},
      {"host taken from the URL", SplittingScript("127.0.0.1:3128"), "", "", 0, "PROXY 127.0.0.1:3128; DIRECT"},
      {"helpers", "function FindProxyForURL(u, h) { return isInNet(dnsResolve(h), \"127.0.0.0\", \"255.0.0.0\") "
                  "&& myIpAddress() != \"\" ? \"PROXY in:1\" : \"DIRECT\"; }",
       "", "127.0.0.1", 0, "PROXY in:1"},
      {"syntax error", kSyntaxError, "", "localhost", ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT, ""},
      {"no FindProxyForURL", "var x = 1;", "", "localhost", ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT, ""},
      {"never returns", kNeverReturns, "", "localhost", ERROR_INTERNET_TIMEOUT, ""},
      {"served script", "", nginx.HttpUrl("/split.pac"), "localhost", 0, "PROXY 127.0.0.1:3128; DIRECT"},
      {"served script, syntax error", "", nginx.HttpUrl("/broken.pac"), "localhost",
       ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT, ""},
      {"script file", "", "file://" + file, "localhost", 0, "PROXY 10.0.0.1:8080; DIRECT"},
      {"script not on the server", "", nginx.HttpUrl("/missing.pac"), "localhost",
       ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT, ""},
      {"server unreachable", "", "http://127.0.0.1:" + std::to_string(closed) + "/proxy.pac", "localhost",
       ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT, ""},
      {"nothing configured", "", "", "localhost", ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT, ""},
  };
  for (const Case &c : cases) {
    deinit(nullptr, 0);
    if (c.pac_url.empty()) {
      unsetenv("ZEMHTTP_PAC_URL");
    } else {
      setenv("ZEMHTTP_PAC_URL", c.pac_url.c_str(), 1);
    }
    if (!c.script.empty()) {
      ASSERT_TRUE(UseScript(c.script)) << c.what;
    }
    for (int round = 0; round < 2; ++round) {  // a fetched script, or its failure, is kept
      DWORD error = 0;
      const std::string url = *c.host != '\0' ? "http://" + std::string(c.host) + "/x" : "http://u@localhost:81/x";
      EXPECT_EQ(c.answer, Lookup(url, c.host, &error)) << c.what;
      EXPECT_EQ(c.error, error) << c.what << ", round " << round;
    }
  }
  // A script file works as a buffer does; an unreadable one is refused.
  std::string given = file;
  ASSERT_TRUE(init(1, given.data(), nullptr, nullptr, nullptr));
  DWORD error = 0;
  EXPECT_EQ("PROXY 10.0.0.1:8080; DIRECT", Lookup("http://localhost/", "localhost", &error));
  std::string missing = dir.file("none.pac");
  EXPECT_FALSE(init(1, missing.data(), nullptr, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT), GetLastError());
  // Arguments that cannot be read or written are refused.
  LPSTR answer = nullptr;
  DWORD length = 0;
  char host[] = "localhost";
  const auto unreadable = reinterpret_cast<LPSTR>(static_cast<uintptr_t>(0x10));
  EXPECT_FALSE(lookup(nullptr, 0, nullptr, 0, &answer, &length));
  EXPECT_FALSE(lookup("http://localhost/", 17, host, 9, &answer, nullptr));
  EXPECT_FALSE(lookup(unreadable, 17, host, 9, &answer, &length));
  EXPECT_FALSE(init(1, unreadable, nullptr, nullptr, nullptr));
  EXPECT_FALSE(init(1, nullptr, nullptr, nullptr, reinterpret_cast<LPAUTO_PROXY_SCRIPT_BUFFER>(unreadable)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, answer);
}

TEST_F(AutoProxy, PreconfiguredRequestsGoTheWayTheScriptSays) {
  zemtest::NginxServer nginx;
  zemtest::ScriptedServer server;
  zemtest::TinyProxy proxy;
  ASSERT_TRUE(nginx.ok() && server.ok() && proxy.ok());
  server.Answer("*", Reply::Ok("answered"));
  nginx.WriteFile("split.pac", SplittingScript(proxy.Address()));
  nginx.WriteFile("broken.pac", kSyntaxError);
  nginx.WriteFile("endless.pac", kNeverReturns);
  const std::string unreachable = "http://127.0.0.1:" + std::to_string(zemtest::FreeLoopbackPorts(1).at(0)) + "/p";
  struct Case {
    std::string pac_url;
    DWORD access;
    const char *host;
    bool environment_proxy;  // http_proxy names tinyproxy as well
    bool proxied;
  };
  // The script decides before the environment; a script that cannot answer
  // leaves the request to the environment, and without it the request goes
  // direct.
  const Case cases[] = {
      {nginx.HttpUrl("/split.pac"), INTERNET_OPEN_TYPE_PRECONFIG, "localhost", false, true},
      {nginx.HttpUrl("/split.pac"), INTERNET_OPEN_TYPE_PRECONFIG, "127.0.0.1", false, false},
      {nginx.HttpUrl("/split.pac"), INTERNET_OPEN_TYPE_PRECONFIG, "127.0.0.1", true, false},
      {nginx.HttpUrl("/split.pac"), INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, "localhost", false, false},
      {nginx.HttpUrl("/split.pac"), INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY, "127.0.0.1", true, true},
      {nginx.HttpUrl("/broken.pac"), INTERNET_OPEN_TYPE_PRECONFIG, "localhost", false, false},
      {nginx.HttpUrl("/broken.pac"), INTERNET_OPEN_TYPE_PRECONFIG, "127.0.0.1", true, true},
      {nginx.HttpUrl("/endless.pac"), INTERNET_OPEN_TYPE_PRECONFIG, "localhost", false, false},
      {unreachable, INTERNET_OPEN_TYPE_PRECONFIG, "localhost", false, false},
  };
  int n = 0;
  for (const Case &c : cases) {
    if (c.environment_proxy) {
      setenv("http_proxy", proxy.Address().c_str(), 1);
    } else {
      unsetenv("http_proxy");
    }
    UsePacUrl(c.pac_url);
    server.ClearReceived();
    const std::string path = "/request-" + std::to_string(++n);
    OpenRequest r(server.port(), "GET", path.c_str(), 0, c.access, nullptr, nullptr, c.host);
    ASSERT_TRUE(r.Send()) << c.pac_url << " " << c.host << ": " << GetLastError();
    EXPECT_EQ("answered", wintest::ReadBody(r.request));
    ASSERT_EQ(1u, server.RequestCount());
    const bool via = server.Received()[0].Header("Via").find("zemproxy") != std::string::npos;
    EXPECT_EQ(c.proxied, via) << c.pac_url << ", access " << c.access << ", host " << c.host << ", environment "
                              << c.environment_proxy;
    EXPECT_EQ(c.proxied, proxy.Log().find(path) != std::string::npos) << "tinyproxy's log, " << path;
  }
}

TEST_F(AutoProxy, TheInternetLibraryNamesTheConfiguredScript) {
  char url[256];
  struct Case {
    const char *pac_url;  // null: none configured
    DWORD flags, size;
    BOOL ok;
    DWORD error;
  };
  // Without the name lookup no network is asked, so "none" fails at once.
  const Case cases[] = {
      {"http://127.0.0.1:1/proxy.pac", PROXY_AUTO_DETECT_TYPE_DNS_A, sizeof url, TRUE, 0},
      {"http://127.0.0.1:1/proxy.pac", PROXY_AUTO_DETECT_TYPE_DHCP, sizeof url, TRUE, 0},
      {"http://127.0.0.1:1/proxy.pac", PROXY_AUTO_DETECT_TYPE_DHCP, 10, FALSE, ERROR_INSUFFICIENT_BUFFER},
      {"http://127.0.0.1:1/proxy.pac", 0, sizeof url, FALSE, ERROR_INVALID_PARAMETER},
      {nullptr, PROXY_AUTO_DETECT_TYPE_DHCP, sizeof url, FALSE, ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT},
  };
  for (const Case &c : cases) {
    if (c.pac_url != nullptr) {
      setenv("ZEMHTTP_PAC_URL", c.pac_url, 1);
    } else {
      unsetenv("ZEMHTTP_PAC_URL");
    }
    std::memset(url, 0, sizeof url);
    EXPECT_EQ(c.ok, DetectAutoProxyUrl(url, c.size, c.flags)) << c.flags << "/" << c.size;
    EXPECT_EQ(c.error, GetLastError()) << c.flags << "/" << c.size;
    if (c.ok) {
      EXPECT_STREQ(c.pac_url, url);
    }
  }
  EXPECT_FALSE(DetectAutoProxyUrl(nullptr, 10, PROXY_AUTO_DETECT_TYPE_DNS_A));
}

}  // namespace
