// Request settings by selector and the credentials.
#include <gtest/gtest.h>

#include <string>

#include "ZemHttp.h"
#include "tests/client/config_test_util.h"

namespace {

using zemtest::LogLines;

class Settings : public zemtest::LoggingClient {};

TEST_F(Settings, TextBlockSelectorsCopyTheTextAndReleaseOnNullOrEmpty) {
  char *CZemHttp::*const fields[] = {&CZemHttp::pszUserAgent, &CZemHttp::pszFileName, &CZemHttp::pszHostName,
                                     &CZemHttp::pszHttpVersion, &CZemHttp::pszUrlPath};
  const DWORD selectors[] = {0, 1, 2, 3, 17};
  for (int i = 0; i < 5; ++i) {
    std::string value = "value";
    EXPECT_EQ(http.SetHttpStr(value.c_str(), selectors[i]), 1);
    value[0] = 'V';  // a copy was taken, not the caller's text
    EXPECT_STREQ(http.*fields[i], "value") << "selector " << selectors[i];
    EXPECT_EQ(http.SetHttpStr(i % 2 ? "" : nullptr, selectors[i]), 1);
    EXPECT_EQ(http.*fields[i], nullptr) << "a null or empty value releases selector " << selectors[i];
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

TEST_F(Settings, NumberSelectorsCutThePortClampNothingAndCheckTheAccessType) {
  EXPECT_EQ(http.SetHttpDWS(0x12345, 2), 1);
  EXPECT_EQ(http.nPort, 0x2345) << "the port keeps the low 16 bits";
  EXPECT_EQ(http.SetHttpDWS(25, 8), 1);
  EXPECT_EQ(http.dwMaxRetries, 25u) << "selector 8 does not clamp";
  EXPECT_EQ(http.SetMaxRetries(25), 10u);
  EXPECT_EQ(http.SetMaxRetries(0), 1u);
  EXPECT_EQ(LogLines(http).back(), "CZemHttp::SetMaxRetries( 0 )") << "the count is logged as given";
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

TEST_F(Settings, PasswordIsStoredWholeAndLoggedAsAtMost255Asterisks) {
  const std::string password(300, 's');
  EXPECT_EQ(http.SetHttpPswd(password.c_str()), 1);
  EXPECT_EQ(std::string(http.pszPassword), password);
  EXPECT_EQ(LogLines(http).back(), "CZemHttp::SetHttpPswd(" + std::string(255, '*') + ")");
  EXPECT_EQ(http.SetHttpPswd(nullptr), 1);
  EXPECT_EQ(http.pszPassword, nullptr);
  EXPECT_EQ(LogLines(http).back(), "CZemHttp::SetHttpPswd()");
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
  http.SetHttpStr("M", 5);
  EXPECT_EQ(http.SetHttpStr(reinterpret_cast<const char *>(0x10), 5), 0) << "a resource number is no letter";
  EXPECT_EQ(http.m_ZemProxyInfo.chProxyAccessType, 0u);

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
