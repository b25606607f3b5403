// Proxy discovery: the internet library's proxy configuration (the
// environment on this platform, or the double's scripted answer) and the
// auto-proxy library, found by the module search order.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ZemHttp.h"
#include "tests/client/config_test_util.h"
#include "tests/double/jsproxy_double/jsproxy_double.h"
#include "under_wine.h"

namespace {

using zemtest::LogLines;

// The proxy environment of the process, replaced for the guard's lifetime.
class ProxyEnvironment {
 public:
  explicit ProxyEnvironment(const std::vector<std::pair<std::string, std::string>> &values) {
    for (const char *name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY"}) {
      if (const char *value = getenv(name)) saved_.emplace_back(name, value);
      unsetenv(name);
    }
    for (const auto &value : values) setenv(value.first.c_str(), value.second.c_str(), 1);
    values_ = values;
  }
  ~ProxyEnvironment() {
    for (const auto &value : values_) unsetenv(value.first.c_str());
    for (const auto &value : saved_) setenv(value.first.c_str(), value.second.c_str(), 1);
  }

 private:
  std::vector<std::pair<std::string, std::string>> saved_, values_;
};

class DiscoveryOnRealLibrary : public zemtest::RealLibraryClient {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RealLibraryClient::SetUp());
    http.SetError(0, nullptr, 0);
    http.EnableLogging(50, 50, 0);
  }
};

TEST_F(DiscoveryOnRealLibrary, NoProxyInTheEnvironmentMeansDirectAccess) {
  ProxyEnvironment none({});
  http.SetHttpStr("kept:1", 7);
  http.SetHttpDWS(0, 5);
  EXPECT_EQ(http.ConfigProxyUsingWinInet(), INTERNET_OPEN_TYPE_DIRECT);
  EXPECT_EQ(http.m_ZemProxyInfo.dwProxyAccessType, 1u);
  EXPECT_EQ(http.m_ZemProxyInfo.bInitialized, 1u);
  EXPECT_STREQ(http.m_ZemProxyInfo.szProxyNames, "kept:1");
  const auto lines = LogLines(http);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "CZemHttp::ConfigProxyUsingWinInet()");
  EXPECT_EQ(lines[3], "InternetQueryOption( INTERNET_OPTION_PROXY ) - Succeeded");
}

TEST_F(DiscoveryOnRealLibrary, EnvironmentProxyIsCopiedIntoTheRecord) {
  ZEMTEST_NOT_ON_WINDOWS(zemtest::windows::kEnvironmentProxy);
  ProxyEnvironment proxy({{"http_proxy", "http://gw.example:3128"},
                          {"HTTPS_PROXY", "http://gw.example:3129"},
                          {"no_proxy", "localhost,.lan"}});
  EXPECT_EQ(http.ConfigProxyUsingWinInet(), INTERNET_OPEN_TYPE_PROXY);
  EXPECT_EQ(http.m_ZemProxyInfo.dwProxyAccessType, 3u);
  EXPECT_STREQ(http.m_ZemProxyInfo.szProxyNames, "http=gw.example:3128 https=gw.example:3129");
  EXPECT_STREQ(http.m_ZemProxyInfo.szProxyBypass, "localhost;*.localhost;*.lan");
  const auto lines = LogLines(http);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "Named proxy established.");
  EXPECT_EQ(lines[2], "InternetQueryOption( INTERNET_OPTION_PROXY ) - Succeeded");
}

class DiscoveryCalls : public zemtest::ClientOnDouble {};

TEST_F(DiscoveryCalls, SizesThenFetchesAndCutsLongLists) {
  const std::string longList(300, 'p');
  wininet.ctl().On("InternetQueryOptionA").ProxyInfo(INTERNET_OPEN_TYPE_PROXY, longList, "b");
  EXPECT_EQ(http.ConfigProxyUsingWinInet(), 3);
  const auto calls = wininet.ctl().CallsTo("InternetQueryOptionA");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].Num(0), 0u) << "the library's own settings: no handle";
  EXPECT_EQ(calls[0].Num(1), static_cast<uint64_t>(INTERNET_OPTION_PROXY));
  EXPECT_EQ(calls[0].Num(2), 0u) << "the sizing query has no buffer";
  EXPECT_EQ(calls[0].Num(3), 0u);
  EXPECT_NE(calls[1].Num(2), 0u);
  EXPECT_EQ(calls[1].Num(3), sizeof(INTERNET_PROXY_INFO) + 300 + 1 + 2) << "the size the sizing query reported";
  EXPECT_EQ(std::string(http.m_ZemProxyInfo.szProxyNames), longList.substr(0, 259));
  EXPECT_STREQ(http.m_ZemProxyInfo.szProxyBypass, "b");
}

TEST_F(DiscoveryCalls, UnreadableConfigurationAndFailedFetch) {
  wininet.ctl().On("InternetQueryOptionA").Fail(ERROR_INTERNET_INVALID_OPTION);
  EXPECT_EQ(http.ConfigProxyUsingWinInet(), 0);
  EXPECT_EQ(http.dwLastInetError, 0u) << "a configuration that cannot be sized records nothing";
  EXPECT_EQ(http.m_ZemProxyInfo.bInitialized, 0u);

  wininet.ctl().Reset();
  wininet.ctl().On("InternetQueryOptionA").ProxyInfo(1, "", "").Then().Fail(ERROR_INTERNET_INTERNAL_ERROR);
  EXPECT_EQ(http.ConfigProxyUsingWinInet(), 0);
  EXPECT_EQ(http.dwLastInetError, static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));
  EXPECT_STREQ(http.szLastError, "CZemHttp::ConfigProxyUsingWinInet() when calling InternetQueryOption");

  http.m_WinInet_InternetQueryOptionA = nullptr;
  EXPECT_EQ(http.ConfigProxyUsingWinInet(), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::ConfigProxyUsingWinInet() - Unknown Exception (127)");
}

// ---- the auto-proxy library ----

class AutoProxy : public zemtest::LoggingClient {
 protected:
  // Puts the double into the current folder as jsproxy.dll and takes hold of
  // its control through the same file the client will load.
  zemjsproxy::Control *InstallDouble() {
    const std::string path = dir.copy_in(ZEM_TEST_JSPROXY_DOUBLE_PATH, "jsproxy.dll");
    module = LoadLibraryA(path.c_str());
    if (module == nullptr) return nullptr;
    auto entry = reinterpret_cast<zemjsproxy::ControlEntry>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, ZEM_JSPROXY_CONTROL_SYMBOL)));
    zemjsproxy::Control *control = entry != nullptr ? entry() : nullptr;
    if (control != nullptr) control->Reset();
    return control;
  }
  void TearDown() override {
    if (module != nullptr) FreeLibrary(module);
  }
  zemtest::TempDir dir;
  zemtest::CurrentFolder here{dir.path()};
  HMODULE module = nullptr;
  char szHost[16] = "www.example.com";
};

TEST_F(AutoProxy, LoadFailureIsRecordedAndTriedAgainNextTime) {
  ZEMTEST_NOT_ON_WINDOWS(zemtest::windows::kSystemFolderFirst);
  // The platform provides the library, but a program's own copy in the
  // current folder comes first: here one that cannot be loaded.
  dir.write("jsproxy.dll", "not a module");
  EXPECT_EQ(http.AttemptAutoProxyUrl(szHost), 0);
  EXPECT_EQ(http.hJsProxy, nullptr);
  EXPECT_EQ(http.dwLastOSError, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_STREQ(http.szLastError, "CZemHttp::AttemptAutoProxy - LoadLibrary failed to load jsproxy.dll with error: 193.");

  zemjsproxy::Control *control = InstallDouble();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(http.AttemptAutoProxyUrl(szHost), 1) << "the library now in the search order is loaded";
  EXPECT_NE(http.hJsProxy, nullptr);
  EXPECT_EQ(control->Calls().size(), 1u);
}

TEST_F(AutoProxy, AnswerIsFreedAndChangesNoSetting) {
  zemjsproxy::Control *control = InstallDouble();
  ASSERT_NE(control, nullptr);
  control->Script(TRUE, 0, true, "PROXY gw.example:8080");
  const tagZEMPROXYINFO before = http.m_ZemProxyInfo;
  EXPECT_EQ(http.AttemptAutoProxyUrl(szHost), 1);
  const auto calls = control->Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].url, "www.example.com");
  EXPECT_EQ(calls[0].cchUrl, 15u);
  EXPECT_EQ(calls[0].host, "www.example.com");
  EXPECT_EQ(calls[0].cchHost, 15u);
  ASSERT_NE(calls[0].pszAnswer, nullptr);
  // The platform refuses to free a block that is no longer live: the
  // client released the answer already.
  EXPECT_EQ(LocalFree(calls[0].pszAnswer), calls[0].pszAnswer) << "the answer was not freed";
  EXPECT_EQ(std::memcmp(&before, &http.m_ZemProxyInfo, sizeof before), 0);
  EXPECT_EQ(LogLines(http).size(), 1u) << "a query that answered logs only the call's line";
}

TEST_F(AutoProxy, QueryErrorsAndEmptyAnswers) {
  zemjsproxy::Control *control = InstallDouble();
  ASSERT_NE(control, nullptr);
  control->Script(FALSE, ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT, false, "");
  EXPECT_EQ(http.AttemptAutoProxyUrl(szHost), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::AttemptAutoProxy - Error in call of InternetGEtProxyInfo, error: 12166.");

  control->Script(TRUE, 0, false, "");
  EXPECT_EQ(http.AttemptAutoProxyUrl(nullptr), 1);
  EXPECT_EQ(LogLines(http).back(), "CZemHttp:AttemptAutoProxyUrl - completed without error, but with no results");
  EXPECT_TRUE(control->Calls().back().bNullHost);
  EXPECT_EQ(control->Calls().back().cchHost, 0u);
  EXPECT_EQ(http.AttemptAutoProxyUrl(zemtest::UnreadableAddress()), 1);
  EXPECT_TRUE(control->Calls().back().bNullUrl) << "an unreadable host is not handed on";
}

TEST_F(AutoProxy, LibraryWithoutTheLookupIsKeptButNeverAsked) {
  ZEMTEST_NOT_ON_WINDOWS(zemtest::windows::kSystemFolderFirst);
  // A module of another kind under the name: it loads but lacks the export.
  dir.copy_in(ZEM_TEST_DOUBLE_PATH, "jsproxy.dll");
  EXPECT_EQ(http.AttemptAutoProxyUrl(szHost), 0);
  EXPECT_NE(http.hJsProxy, nullptr) << "the library stays loaded";
  EXPECT_STREQ(http.szLastError,
               "CZemHttp::AttemptAutoProxy - LoadLibrary failed to find address of \"InternetGetProxyInfo\", "
               "error: 127.");
  const HMODULE hLoaded = http.hJsProxy;
  EXPECT_EQ(http.AttemptAutoProxyUrl(szHost), 1);
  EXPECT_EQ(http.hJsProxy, hLoaded) << "not loaded again";
}

}  // namespace
