// A client object's defaults, its small state members and what its
// destruction releases.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "ZemSys.h"
#include "tests/client/config_test_util.h"

namespace {

// The defaults a caller relies on without setting anything.
TEST(ClientDefaults, FreshObjectKeepsItsNumbersAndPostsDirectlyOnce) {
  CZemHttp http(11, 22, 33, 1);
  EXPECT_EQ(http.uDocument, 11u);
  EXPECT_EQ(http.uCompanyID, 22u);
  EXPECT_EQ(http.uConnection, 33u);
  EXPECT_EQ(http.pszVerb, ZemHttpVerbTable[ZEMHTTP_VERB_POST]);
  EXPECT_STREQ(http.pszUserAgent, "ZEM Data Services");
  EXPECT_STREQ(http.pszHttpVersion, "HTTP/1.1");
  EXPECT_STREQ(http.pszProxyIniFile, "ZEMPROXY.INI");
  EXPECT_EQ(http.dwMaxRetries, 1u);
  EXPECT_EQ(http.dwHandleReleaseMode, 1u);
  EXPECT_EQ(http.m_ZemProxyInfo.dwProxyAccessType, 1u);
  EXPECT_EQ(http.m_ZemProxyInfo.chProxyAccessType, static_cast<DWORD>('W'));
  ASSERT_NE(http.pszMsg, nullptr);
  EXPECT_EQ(ZemMemSize(http.pszMsg), 4096u) << "the scratch text is a 4096-byte checked block";
  EXPECT_EQ(http.IsConnected(), 0);
}

TEST(HandleReleaseMode, KeepsOnlyTheThreeLowBitsAndLogsNothing) {
  CZemHttp http(0, 0, 0, 1);
  http.EnableLogging(10, 10, 0);
  struct Case {
    DWORD dwMode;
    DWORD dwStored;
  } cases[] = {{0xFF, 7}, {8, 0}, {5, 5}, {0xFFFFFFFA, 2}};
  for (const Case &c : cases) {
    EXPECT_EQ(http.SetHandleReleaseMode(c.dwMode), c.dwStored) << "mode " << c.dwMode;
    EXPECT_EQ(http.dwHandleReleaseMode, c.dwStored) << "mode " << c.dwMode;
  }
  EXPECT_EQ(http.GetDbgLineCount(), 0);
}

class ModulePath : public zemtest::LoggingClient {};

TEST_F(ModulePath, IsStoredWithoutTrailingSeparatorAndForgottenOnNull) {
  ASSERT_EQ(http.SetModulePath("/opt/libraries/"), 1);
  EXPECT_STREQ(http.pszModulePath, "/opt/libraries");
  EXPECT_EQ(http.SetModulePath(nullptr), 1);
  EXPECT_EQ(http.pszModulePath, nullptr);
  EXPECT_EQ(http.SetModulePath(""), 1);
  ASSERT_NE(http.pszModulePath, nullptr);
  EXPECT_STREQ(http.pszModulePath, "") << "an empty path is stored empty";
  std::vector<std::string> expected = {
      "CZemHttp::SetModulePath(/opt/libraries/)", "CZemHttp::SetModulePath  - done.",
      "CZemHttp::SetModulePath()",                "CZemHttp::SetModulePath  - done.",
      "CZemHttp::SetModulePath()",                "CZemHttp::SetModulePath  - done.",
  };
  EXPECT_EQ(zemtest::LogLines(http), expected);
}

TEST_F(ModulePath, UnreadablePathIsTheMembersExceptionPath) {
  ASSERT_EQ(http.SetModulePath("/opt/libraries"), 1);
  const size_t nLines = zemtest::LogLines(http).size();
  EXPECT_EQ(http.SetModulePath(reinterpret_cast<const char *>(0x10)), 0);
  EXPECT_EQ(http.dwLastOSError, static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_STREQ(http.szLastError, "CZemHttp::SetModulePath, exception, error#: 998");
  EXPECT_EQ(zemtest::LogLines(http).size(), nLines) << "the exception path logs nothing";
  EXPECT_STREQ(http.pszModulePath, "/opt/libraries") << "the stored path is kept";
}

// Destruction, watched through the double: which handles are closed, in
// which order, and which are not.
class Destruction : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wininet.ok());
    http = std::make_unique<CZemHttp>(0, 0, 0, 1);
    ASSERT_EQ(http->SetModulePath(wininet.folder().c_str()), 1);
    ASSERT_EQ(http->LoadWinInet(), 1);
    wininet.ctl().Reset();
  }
  static HINTERNET Fake(uintptr_t value) { return reinterpret_cast<HINTERNET>(value); }
  // "function(handle)" for every call, in order.
  std::vector<std::string> CallsSeen() {
    std::vector<std::string> seen;
    for (const zemdouble::Call &call : wininet.ctl().Calls()) {
      char szHandle[32];
      std::snprintf(szHandle, sizeof szHandle, "%llx", static_cast<unsigned long long>(call.Num(0)));
      std::string line = call.function + "(" + szHandle;
      if (call.function == "InternetSetStatusCallbackA") line += call.Num(1) == 0 ? ", null" : ", set";
      seen.push_back(line + ")");
    }
    return seen;
  }
  zemtest::WinInetDouble wininet;
  std::unique_ptr<CZemHttp> http;
};

// Held handles are closed child first, each after losing its callback; the
// caller's internet handle is never closed.
TEST_F(Destruction, ClosesHeldHandlesChildFirstButNeverTheCallers) {
  struct Row {
    const char *name;
    uintptr_t request, connect, open, openParam;
    std::vector<std::string> calls;
  } rows[] = {
      {"all three held", 0x111, 0x222, 0x333, 0,
       {"InternetSetStatusCallbackA(111, null)", "InternetCloseHandle(111)", "InternetSetStatusCallbackA(222, null)",
        "InternetCloseHandle(222)", "InternetSetStatusCallbackA(333, null)", "InternetCloseHandle(333)"}},
      {"the caller's internet handle", 0, 0x222, 0x333, 0x333,
       {"InternetSetStatusCallbackA(222, null)", "InternetCloseHandle(222)"}},
      {"never ran a request", 0, 0, 0, 0, {}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_NO_FATAL_FAILURE(SetUp());  // a fresh object for each row
    http->hRequest = Fake(row.request);
    http->hConnect = Fake(row.connect);
    http->hOpen = Fake(row.open);
    http->hOpenParam = Fake(row.openParam);
    http.reset();
    EXPECT_EQ(CallsSeen(), row.calls);
  }
}

TEST_F(Destruction, ReleasesTheHeaderListAndEveryBlock) {
  // Entries built as the header members build them; the sanitizer build
  // reports any block the destructor leaves behind.
  ZEMHTTPHDR **ppLink = &http->pHttpHeaders;
  for (const char *pszName : {"Accept", "X-Trace", "Accept"}) {
    ZEMHTTPHDR *pEntry = nullptr;
    ASSERT_EQ(ZemMemAlloc(&pEntry, sizeof(ZEMHTTPHDR)), 0u);
    SysStrAssign(&pEntry->pszName, pszName);
    SysStrAssign(&pEntry->pszValue, "value");
    *ppLink = pEntry;
    ppLink = &pEntry->pNext;
  }
  SysStrAssign(&http->pszHostName, "example.test");
  ASSERT_EQ(ZemMemAlloc(&http->pvResponse, 100), 0u);
  http->EnableLogging(10, 2, 2);
  http->LogAddLine("a line");
  const int nAssertsBefore = SysGetAssertCount();
  http.reset();
  EXPECT_EQ(SysGetAssertCount(), nAssertsBefore) << "every block released intact";
}

}  // namespace
