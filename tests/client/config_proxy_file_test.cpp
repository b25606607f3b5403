// Loading the proxy record from a settings file: the nine keys with their
// limits and log lines, the method letters, and files that are missing,
// oddly written or garbage.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ZemHttp.h"
#include "tests/client/config_test_util.h"
#include "under_wine.h"

namespace {

using zemtest::LogLines;

class ProxyFile : public zemtest::LoggingClient {
 protected:
  // The lines logged after the call's own line.
  std::vector<std::string> LinesOfLoad(const std::string &content, const char *pszSection = nullptr) {
    const std::string path = dir.write("proxy.ini", content);
    const size_t nBefore = LogLines(http).size();
    http.GetProxyIniFile(path.c_str(), pszSection);
    const auto lines = LogLines(http);
    return std::vector<std::string>(lines.begin() + static_cast<long>(nBefore) + 1, lines.end());
  }
  zemtest::TempDir dir;
};

TEST_F(ProxyFile, NineKeysAreReadWithTheirLogLinesInOrder) {
  const auto lines = LinesOfLoad(
      "; settings\r\n"
      "[other]\r\nszProxyNames=wrong\r\n"
      "  [ proxy ]  \r\n"
      "SZPROXYCFG =  W J x 1\r\n"
      "chproxyaccesstype=3abc\r\n"
      "szProxyNames = http=gw:8080;https=gw:8443 \r\n"
      "szProxyBypass=<local>;*.lan\r\n"
      "szUsrAgt=\"Agent 1.0\"\r\n"
      "szProxyUser=" + std::string(40, 'u') + "\r\n"
      "szPassWord=abc\r\n"
      "szUserName=web\r\n"
      "szProxyPswd=secret\r\n");
  const tagZEMPROXYINFO &info = http.m_ZemProxyInfo;
  EXPECT_EQ(info.bInitialized, 1u);
  const DWORD cfg[4] = {'W', 'J', '1', 0};
  EXPECT_TRUE(std::equal(cfg, cfg + 4, info.szProxyCfg)) << "blanks and the lower-case x are skipped";
  EXPECT_EQ(info.chProxyAccessType, static_cast<DWORD>('3'));
  EXPECT_EQ(info.dwProxyAccessType, 0u) << "the file carries no access type number";
  EXPECT_STREQ(info.szProxyNames, "http=gw:8080;https=gw:8443");
  EXPECT_STREQ(info.szProxyBypass, "<local>;*.lan");
  EXPECT_STREQ(info.szUsrAgt, "Agent 1.0");
  EXPECT_EQ(std::string(info.szProxyUser), std::string(31, 'u'));
  EXPECT_STREQ(info.szPassWord, "abc");
  EXPECT_STREQ(info.szUserName, "web");
  EXPECT_STREQ(info.szProxyPswd, "secret");
  const std::vector<std::string> expected = {
      "CZemHttp::GetProxyIniFile() - File exists.",
      "CZemHttp::GetProxyIniFile() SetUpString = W J x 1",
      "CZemHttp::GetProxyIniFile() Proxy Access type(char) = 3abc",
      "CZemHttp::GetProxyIniFile() - Named Proxy URL = http=gw:8080;https=gw:8443",
      "CZemHttp::GetProxyIniFile() - Proxy bypass URL(s) = <local>;*.lan",
      "CZemHttp::GetProxyIniFile() - Named User Agent = Agent 1.0",
      "CZemHttp::GetProxyIniFile() - Http User name = " + std::string(40, 'u'),
      "CZemHttp::GetProxyIniFile() - Http Password = XXX",
      "CZemHttp::GetProxyIniFile() - Proxy Username = web",
      "CZemHttp::GetProxyIniFile() - Proxy Password = XXXXXX",
  };
  EXPECT_EQ(lines, expected);
}

TEST_F(ProxyFile, LettersAreFilteredAndLimited) {
  auto lines = LinesOfLoad("[PROXY]\nszProxyCfg=XMWJI3041XMWJI\nchProxyAccessType=w\n");
  EXPECT_EQ(std::count_if(http.m_ZemProxyInfo.szProxyCfg, http.m_ZemProxyInfo.szProxyCfg + 12,
                          [](DWORD d) { return d != 0; }),
            11) << "at most 11 letters, the last slot stays 0";
  EXPECT_EQ(http.m_ZemProxyInfo.szProxyCfg[10], static_cast<DWORD>('M'));
  EXPECT_EQ(http.m_ZemProxyInfo.chProxyAccessType, 0u) << "a lower-case letter is no method letter";
  EXPECT_EQ(lines.size(), 2u) << "the ignored access type logs nothing";

  lines = LinesOfLoad("[PROXY]\nszProxyCfg=abc 2 5\nchProxyAccessType=3\n");
  EXPECT_EQ(http.m_ZemProxyInfo.szProxyCfg[0], 0u);
  EXPECT_EQ(http.m_ZemProxyInfo.chProxyAccessType, static_cast<DWORD>('3'));
  EXPECT_EQ(lines, (std::vector<std::string>{"CZemHttp::GetProxyIniFile() - File exists.",
                                             "CZemHttp::GetProxyIniFile() Proxy Access type(char) = 3"}))
      << "a list without letters is not logged";
}

TEST_F(ProxyFile, LongValuesArriveCutByTheReaderThenByTheMember) {
  LinesOfLoad("[PROXY]\nszProxyNames=" + std::string(300, 'n') + "\nszUsrAgt=" + std::string(200, 'a') + "\n");
  EXPECT_EQ(std::string(http.m_ZemProxyInfo.szProxyNames), std::string(254, 'n')) << "the 255-byte read buffer";
  EXPECT_EQ(std::string(http.m_ZemProxyInfo.szUsrAgt), std::string(127, 'a'));
}

TEST_F(ProxyFile, ALoadReplacesTheRecordEvenWhenTheFileIsMissing) {
  http.SetHttpStr("gw:1", 7);
  http.SetHttpDWS(3, 5);
  http.GetProxyIniFile(dir.file("absent.ini").c_str(), "PROXY");
  EXPECT_EQ(http.dwLastOSError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_STREQ(http.szLastError, "CZemHttp::GetProxyIniFile FAILED in SetURL, error# 2");
  EXPECT_EQ(http.m_ZemProxyInfo.bInitialized, 0u);
  EXPECT_EQ(http.m_ZemProxyInfo.szProxyNames[0], '\0');
  EXPECT_EQ(http.m_ZemProxyInfo.dwProxyAccessType, 0u) << "the defaults are not restored";
  tagZEMPROXYINFO out;
  EXPECT_EQ(http.ExportProxyInfo(&out), 0);
  EXPECT_EQ(http.dwLastOSError, 13u);

  http.GetProxyIniFile("", nullptr);
  EXPECT_STREQ(http.szLastError, "CZemHttp::GetProxyIniFile FAILED in SetURL, error# 2");
  EXPECT_EQ(http.pszProxyIniFile, nullptr) << "an empty name releases the file name";
  EXPECT_STREQ(http.pszProxySection, "PROXY");
}

TEST_F(ProxyFile, BareNameIsFoundInTheCurrentFolderWhateverItsCase) {
  ZEMTEST_NOT_ON_WINDOWS(zemtest::windows::kBareProfileName);
  dir.write("zemproxy.ini", "[Proxy]\nszProxyNames=from-current-folder\n");
  dir.write("other.ini", "[MINE]\nszUserName=mine\n");
  zemtest::CurrentFolder here(dir.path());
  http.GetProxyIniFile(nullptr, nullptr);  // the defaults "ZEMPROXY.INI", "PROXY"
  EXPECT_STREQ(http.m_ZemProxyInfo.szProxyNames, "from-current-folder") << http.szLastError;
  http.GetProxyIniFile("other.ini", "mine");
  EXPECT_STREQ(http.m_ZemProxyInfo.szUserName, "mine");
  EXPECT_EQ(http.m_ZemProxyInfo.szProxyNames[0], '\0');
  http.GetProxyIniFile(nullptr, nullptr);
  EXPECT_STREQ(http.m_ZemProxyInfo.szUserName, "mine") << "null arguments keep the names used before";
  EXPECT_STREQ(http.pszProxySection, "mine");
}

TEST_F(ProxyFile, GarbageFilesAndUnreadableNamesDoNoHarm) {
  // Under the sanitizer build an overrun or leak here fails the test.
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
  LinesOfLoad("[PROXY]\nszProxyCfg=" + garbage + "\n" + garbage);
  LinesOfLoad("[PROXY]\nszProxyNames=" + std::string(1 << 20, 'e'));  // one endless line
  EXPECT_EQ(std::string(http.m_ZemProxyInfo.szProxyNames), std::string(254, 'e'));
  LinesOfLoad(std::string("[PROXY]\nszProxyBypass=a\0b\nszUserName=z\n", 34));

  const std::string before = http.pszProxyIniFile;
  http.GetProxyIniFile(zemtest::UnreadableAddress(), "PROXY");
  EXPECT_EQ(http.dwLastOSError, static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_EQ(std::string(http.pszProxyIniFile), before) << "the names used before stay";
  EXPECT_EQ(http.m_ZemProxyInfo.bInitialized, 0u);
}

}  // namespace
