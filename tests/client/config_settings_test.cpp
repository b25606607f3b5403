// Request settings by selector, the credentials and the small setters.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ZemHttp.h"
#include "tests/client/config_test_util.h"

namespace {

using zemtest::LogLines;

class Settings : public zemtest::LoggingClient {};

TEST_F(Settings, TextBlockSelectorsCopyTheTextAndReleaseOnNullOrEmpty) {
  struct Case {
    DWORD dwSelector;
    char *CZemHttp::*field;
  } cases[] = {{0, &CZemHttp::pszUserAgent}, {1, &CZemHttp::pszFileName}, {2, &CZemHttp::pszHostName},
               {3, &CZemHttp::pszHttpVersion}, {17, &CZemHttp::pszUrlPath}};
  for (const Case &c : cases) {
    std::string value = "value " + std::to_string(c.dwSelector);
    EXPECT_EQ(http.SetHttpStr(value.c_str(), c.dwSelector), 1) << "selector " << c.dwSelector;
    value[0] = 'V';  // a copy was taken, not the caller's text
    EXPECT_STREQ(http.*c.field, ("value " + std::to_string(c.dwSelector)).c_str()) << "selector " << c.dwSelector;
    EXPECT_EQ(http.SetHttpStr(nullptr, c.dwSelector), 1) << "selector " << c.dwSelector;
    EXPECT_EQ(http.*c.field, nullptr) << "a null value releases selector " << c.dwSelector;
    http.SetHttpStr("again", c.dwSelector);
    EXPECT_EQ(http.SetHttpStr("", c.dwSelector), 1);
    EXPECT_EQ(http.*c.field, nullptr) << "an empty value releases selector " << c.dwSelector;
  }
}

TEST_F(Settings, VerbIsMatchedInAnyCaseAndAlwaysPointsIntoTheTable) {
  EXPECT_EQ(http.SetHttpStr("delete", 4), 1);
  EXPECT_EQ(http.pszVerb, ZemHttpVerbTable[ZEMHTTP_VERB_DELETE]);
  for (const char *refused : {"PATCH", "", "GETX", "GE"}) {
    EXPECT_EQ(http.SetHttpStr(refused, 4), 0) << refused;
    EXPECT_EQ(http.pszVerb, ZemHttpVerbTable[ZEMHTTP_VERB_DELETE]) << "a refused verb keeps the previous one";
  }
  EXPECT_EQ(http.SetHttpStr(nullptr, 4), 0);
  EXPECT_EQ(http.dwLastOSError, 0u) << "an unknown verb records no error";
}

TEST_F(Settings, MethodLetterTakesTheFirstCharacterUnjudged) {
  EXPECT_EQ(http.SetHttpStr("Jxyz", 5), 1);
  EXPECT_EQ(http.m_ZemProxyInfo.chProxyAccessType, static_cast<DWORD>('J'));
  EXPECT_EQ(http.m_ZemProxyInfo.bInitialized, 1u);
  EXPECT_EQ(http.SetHttpStr("\xE9", 5), 1);
  EXPECT_EQ(http.m_ZemProxyInfo.chProxyAccessType, 0xE9u) << "the letter is an unsigned byte";
  EXPECT_EQ(http.SetHttpStr(nullptr, 5), 1);
  EXPECT_EQ(http.m_ZemProxyInfo.chProxyAccessType, 0xE9u) << "null changes nothing";
  EXPECT_EQ(http.SetHttpStr("", 5), 1);
  EXPECT_EQ(http.m_ZemProxyInfo.chProxyAccessType, 0u) << "an empty text clears the letter";
}

TEST_F(Settings, ProxyTextsAreCutToTheirFieldsAndAnEmptyValueClearsOnlyTheField) {
  struct Case {
    DWORD dwSelector;
    char *pszField;
    size_t cchMax;
  } cases[] = {{7, http.m_ZemProxyInfo.szProxyNames, 259}, {8, http.m_ZemProxyInfo.szProxyBypass, 259},
               {10, http.m_ZemProxyInfo.szProxyUser, 31},  {11, http.m_ZemProxyInfo.szPassWord, 31},
               {12, http.m_ZemProxyInfo.szUserName, 31},   {13, http.m_ZemProxyInfo.szProxyPswd, 31}};
  const std::string longText(300, 'p');
  for (const Case &c : cases) {
    http.m_ZemProxyInfo.bInitialized = 0;
    EXPECT_EQ(http.SetHttpStr(longText.c_str(), c.dwSelector), 1);
    EXPECT_EQ(std::string(c.pszField), longText.substr(0, c.cchMax)) << "selector " << c.dwSelector;
    EXPECT_EQ(http.m_ZemProxyInfo.bInitialized, 1u) << "selector " << c.dwSelector;
    http.m_ZemProxyInfo.bInitialized = 0;
    EXPECT_EQ(http.SetHttpStr(nullptr, c.dwSelector), 1);
    EXPECT_EQ(c.pszField[0], '\0') << "selector " << c.dwSelector;
    EXPECT_EQ(c.pszField[1], 'p') << "only the first character is cleared";
    EXPECT_EQ(http.m_ZemProxyInfo.bInitialized, 0u) << "clearing does not mark the record";
  }
}

TEST_F(Settings, UnassignedSelectorsAreRefusedWithTheirText) {
  for (DWORD dwSelector : {6u, 9u, 14u, 15u, 16u, 19u, 0xFFFFFFFFu}) {
    http.SetError(0, nullptr, 0);
    EXPECT_EQ(http.SetHttpStr("x", dwSelector), 0) << "selector " << dwSelector;
    EXPECT_EQ(http.dwLastOSError, 87u) << "selector " << dwSelector;
    EXPECT_STREQ(http.szLastError, "CZemHttp::SetHttpStr FAILED (unrecognized constant value)");
  }
  for (DWORD dwSelector : {6u, 9u, 100u}) {
    http.SetError(0, nullptr, 0);
    EXPECT_EQ(http.SetHttpDWS(1, dwSelector), 0) << "selector " << dwSelector;
    EXPECT_STREQ(http.szLastError, "CZemHttp::SetHttpDWS FAILED (unrecognized constant value)");
  }
}

TEST_F(Settings, NumberSelectorsStoreTheirValues) {
  EXPECT_EQ(http.SetHttpDWS(0x04800000, 0), 1);
  EXPECT_EQ(http.dwHttpFlags, 0x04800000u);
  EXPECT_EQ(http.SetHttpDWS(0x10, 1), 1);
  EXPECT_EQ(http.dwInetFlags, 0x10u);
  EXPECT_EQ(http.SetHttpDWS(0x12345, 2), 1);
  EXPECT_EQ(http.nPort, 0x2345) << "the port keeps the low 16 bits";
  EXPECT_EQ(http.SetHttpDWS(1, 3), 1);
  EXPECT_EQ(http.dwService, 1u);
  EXPECT_EQ(http.SetHttpDWS(777, 4), 1);
  EXPECT_EQ(http.cbRequest, 777u);
  EXPECT_EQ(http.SetHttpDWS(30000, 7), 1);
  EXPECT_EQ(http.dwReceiveTimeout, 30000u);
  EXPECT_EQ(http.SetHttpDWS(25, 8), 1);
  EXPECT_EQ(http.dwMaxRetries, 25u) << "selector 8 does not clamp";
  EXPECT_EQ(LogLines(http).front(), "CZemHttp::SetHttpDWS( 75497472, 0 )");
}

TEST_F(Settings, ProxyAccessTypeAcceptsOnlyTheFourOpenTypes) {
  for (DWORD dwType : {0u, 1u, 3u, 4u}) {
    EXPECT_EQ(http.SetHttpDWS(dwType, 5), 1) << dwType;
    EXPECT_EQ(http.m_ZemProxyInfo.dwProxyAccessType, dwType);
  }
  for (DWORD dwType : {2u, 5u, 0xFFFFFFFFu}) {
    EXPECT_EQ(http.SetHttpDWS(dwType, 5), 0) << dwType;
    EXPECT_EQ(http.m_ZemProxyInfo.dwProxyAccessType, 4u) << "a refused type is not stored";
    EXPECT_STREQ(http.szLastError, "CZemHttp::SetHttpDWS FAILED - 87 Not valid proxy option");
  }
}

TEST_F(Settings, RetriesAreClampedOnlyBySetMaxRetries) {
  EXPECT_EQ(http.SetMaxRetries(25), 10u);
  EXPECT_EQ(http.SetMaxRetries(0), 1u);
  EXPECT_EQ(http.SetMaxRetries(4), 4u);
  EXPECT_EQ(http.dwMaxRetries, 4u);
  EXPECT_EQ(LogLines(http).front(), "CZemHttp::SetMaxRetries( 25 )") << "the count is logged as given";
}

TEST_F(Settings, PasswordIsStoredWholeAndLoggedAsAtMost255Asterisks) {
  const std::string password(300, 's');
  EXPECT_EQ(http.SetHttpPswd(password.c_str()), 1);
  EXPECT_EQ(std::string(http.pszPassword), password);
  EXPECT_EQ(LogLines(http).back(), "CZemHttp::SetHttpPswd(" + std::string(255, '*') + ")");
  EXPECT_EQ(http.SetHttpPswd(nullptr), 1);
  EXPECT_EQ(http.pszPassword, nullptr);
  EXPECT_EQ(LogLines(http).back(), "CZemHttp::SetHttpPswd()");
  EXPECT_EQ(http.SetHttpUser("alice"), 1);
  EXPECT_STREQ(http.pszUserName, "alice");
  EXPECT_EQ(LogLines(http).back(), "CZemHttp::SetHttpUser(alice)");
}

TEST_F(Settings, SmallSettersStoreUncheckedAndLogTheirLines) {
  auto proc = [](void *, int, INT_PTR, INT_PTR) {};
  int context = 0;
  EXPECT_EQ(http.SetHttpFlag(5), 1);
  EXPECT_EQ(http.SetInetFlag(6), 1);
  EXPECT_EQ(http.SetIpPort(0x10050), 1);
  http.SetNoContentLength(1);
  EXPECT_EQ(http.SetWindowParent(reinterpret_cast<HWND>(0xab)), 1);
  http.SetNotifyResultProc(proc, &context);
  http.SetNotifyStatusProc(proc, nullptr);
  EXPECT_EQ(http.dwHttpFlags, 5u);
  EXPECT_EQ(http.dwInetFlags, 6u);
  EXPECT_EQ(http.nPort, 0x50);
  EXPECT_EQ(http.bNoContentLength, 1);
  EXPECT_EQ(http.hWndParent, reinterpret_cast<HWND>(0xab));
  EXPECT_EQ(http.pfnNotifyResult, static_cast<ZEMNOTIFYPROC>(proc));
  EXPECT_EQ(http.pvNotifyResultData, &context);
  EXPECT_EQ(http.pvNotifyStatusData, nullptr);
  const auto lines = LogLines(http);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "CZemHttp::SetHttpFlag( 5 )");
  EXPECT_EQ(lines[2], "CZemHttp::SetIpPort( 65616 )");
  EXPECT_EQ(lines[3], "CZemHttp::SetNoContentLength( 1 )");
  EXPECT_EQ(lines[4], "CZemHttp::SetWindowParent( ab )");
  // Procedure addresses print whole, not cut to 32 bits.
  char szExpected[96];
  std::snprintf(szExpected, sizeof szExpected, "CZemHttp::SetNotifyStatusProc( %lX, 0)",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(http.pfnNotifyStatus)));
  EXPECT_EQ(lines[6], szExpected);
}

TEST_F(Settings, UnreadableTextsAreReportedNotRead) {
  char *bad = zemtest::UnreadableAddress();
  EXPECT_EQ(http.SetHttpStr(bad, 0), 0);
  EXPECT_EQ(http.dwLastOSError, static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_STREQ(http.szLastError, "CZemHttp::SetHttpStr FAILED , error# 998");
  EXPECT_STREQ(http.pszUserAgent, "ZEM Data Services") << "nothing is released on a fault";

  http.SetError(0, nullptr, 0);
  http.SetHttpStr("M", 5);
  EXPECT_EQ(http.SetHttpStr(bad, 5), 0);
  EXPECT_EQ(http.m_ZemProxyInfo.chProxyAccessType, 0u) << "a fault on the letter clears it";
  EXPECT_EQ(http.dwLastOSError, 0u) << "and records nothing";

  EXPECT_EQ(http.SetHttpUser(bad), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::SetHttpUser FAILED. (error# 998)");
  EXPECT_EQ(http.SetHttpPswd(bad), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::SetHttpPswd FAILED. (error# 998)");
}

class HeaderLineSetting : public zemtest::ClientOnDouble {};

TEST_F(HeaderLineSetting, SplitsAtTheFirstColonAndSkipsAtMostTenBlanks) {
  EXPECT_EQ(http.SetHttpStr("X-Four:    four: more", 18), 1);
  EXPECT_EQ(http.SetHttpStr("X-Twelve:            twelve", 18), 1);
  ASSERT_NE(http.pHttpHeaders, nullptr);
  EXPECT_STREQ(http.pHttpHeaders->pszName, "X-Four");
  EXPECT_STREQ(http.pHttpHeaders->pszValue, "four: more");
  EXPECT_EQ(http.pHttpHeaders->dwModifiers, static_cast<DWORD>(HTTP_ADDREQ_FLAG_REPLACE));
  ASSERT_NE(http.pHttpHeaders->pNext, nullptr);
  EXPECT_STREQ(http.pHttpHeaders->pNext->pszValue, "  twelve") << "blanks beyond the tenth stay";

  EXPECT_EQ(http.SetHttpStr("x-four:\tnew", 18), 1);
  EXPECT_STREQ(http.pHttpHeaders->pszValue, "\tnew") << "a tab is not a blank; the entry is replaced";

  for (const char *refused : {"No colon here", ": value", "", static_cast<const char *>(nullptr)}) {
    EXPECT_EQ(http.SetHttpStr(refused, 18), 0) << (refused ? refused : "(null)");
  }
  // A line longer than 259 characters is cut before the colon is looked for.
  const std::string longLine = std::string(259, 'n') + ":value";
  EXPECT_EQ(http.SetHttpStr(longLine.c_str(), 18), 0);
}

}  // namespace
