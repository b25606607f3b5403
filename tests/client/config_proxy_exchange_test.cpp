// Copying the proxy record between clients and callers: the exact bytes, and
// the errors that bypass the usual error writer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ZemHttp.h"
#include "tests/client/config_test_util.h"

namespace {

using zemtest::LogLines;

class ProxyExchange : public zemtest::LoggingClient {
 protected:
  // A record with every member set, as the settings file or the caller
  // would leave it.
  static tagZEMPROXYINFO FullRecord() {
    tagZEMPROXYINFO info;
    std::memset(&info, 0xA5, sizeof info);  // padding-free: every byte is some member's
    info.bInitialized = 1;
    for (int i = 0; i < 12; ++i) info.szProxyCfg[i] = i < 3 ? "WJ1"[i] : 0;
    info.dwProxyAccessType = 3;
    info.chProxyAccessType = '3';
    std::strcpy(info.szProxyNames, "http=proxy:8080");
    std::strcpy(info.szProxyUser, "puser");
    return info;
  }
};

TEST_F(ProxyExchange, ExportCopiesTheWhole836BytesAndLogsDone) {
  const tagZEMPROXYINFO source = FullRecord();
  ASSERT_EQ(http.ImportProxyInfo(const_cast<tagZEMPROXYINFO *>(&source)), 1);
  tagZEMPROXYINFO out;
  std::memset(&out, 0x5A, sizeof out);
  EXPECT_EQ(http.ExportProxyInfo(&out), 1);
  EXPECT_EQ(std::memcmp(&out, &source, sizeof out), 0) << "the record travels as raw bytes";
  const auto lines = LogLines(http);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "CZemHttp::ImportProxyInfo - Done");
  EXPECT_EQ(lines[3], "CZemHttp::ExportProxyInfo - Done");
}

TEST_F(ProxyExchange, UninitializedRecordsAreRefusedWithError13BothWays) {
  http.dwLastInetError = 12002;
  tagZEMPROXYINFO out;
  std::memset(&out, 0x5A, sizeof out);
  EXPECT_EQ(http.ExportProxyInfo(&out), 0) << "a fresh client holds no settings";
  EXPECT_EQ(http.dwLastOSError, 13u);
  EXPECT_STREQ(http.szLastError, "CZemHttp::ExportProxyInfo - Proxy info not initialized. (error#: 0xd)");
  EXPECT_EQ(reinterpret_cast<unsigned char *>(&out)[0], 0x5A) << "the caller's record is not touched";

  tagZEMPROXYINFO empty = FullRecord();
  empty.bInitialized = 0;
  const tagZEMPROXYINFO before = http.m_ZemProxyInfo;
  EXPECT_EQ(http.ImportProxyInfo(&empty), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::ImportProxyInfo - Proxy info not initialized. (error#: 0xd)");
  EXPECT_EQ(std::memcmp(&before, &http.m_ZemProxyInfo, sizeof before), 0);
  EXPECT_EQ(http.dwLastInetError, 12002u) << "these errors leave the internet code alone";
  for (const std::string &line : LogLines(http)) {
    EXPECT_EQ(line.find("SetError"), std::string::npos) << "no SetError line: " << line;
  }
}

TEST_F(ProxyExchange, NullAndUnusableAddressesGiveTheirErrors) {
  EXPECT_EQ(http.ExportProxyInfo(static_cast<tagZEMPROXYINFO *>(nullptr)), 0);
  EXPECT_EQ(http.dwLastOSError, 0x80070057u);
  EXPECT_STREQ(http.szLastError, "CZemHttp::ExportProxyInfo invalid pointer arguement. (error#: 0x80070057)");
  EXPECT_EQ(http.ImportProxyInfo(static_cast<tagZEMPROXYINFO *>(nullptr)), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::ImportProxyInfo invalid pointer arguement. (error#: 0x80070057)");

  auto *bad = reinterpret_cast<tagZEMPROXYINFO *>(zemtest::UnreadableAddress());
  const tagZEMPROXYINFO before = http.m_ZemProxyInfo;
  EXPECT_EQ(http.ImportProxyInfo(bad), 0);
  EXPECT_EQ(http.dwLastOSError, static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_STREQ(http.szLastError, "CZemHttp::ImportProxyInfo Exception during MemCopy. (error#: 0x3e6): 998");
  EXPECT_EQ(std::memcmp(&before, &http.m_ZemProxyInfo, sizeof before), 0);

  // A record in read-only memory cannot take an export.
  static const tagZEMPROXYINFO kReadOnly = {};
  http.SetHttpStr("proxy:1", 7);
  EXPECT_EQ(http.ExportProxyInfo(const_cast<tagZEMPROXYINFO *>(&kReadOnly)), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::ExportProxyInfo Exception during MemCopy. (error#: 0x3e6): 998");
}

TEST_F(ProxyExchange, ImportFromAnotherClientHandsItsRecordOver) {
  CZemHttp other(0, 0, 0, 1);
  EXPECT_EQ(http.ImportProxyInfo(&other), 0) << "the other client holds no settings";
  EXPECT_EQ(LogLines(http).back(), "CZemHttp::ImportProxyInfo->m_ZemProxyInfo, not initialized for proxy export.");
  EXPECT_EQ(http.ImportProxyInfo(static_cast<CZemHttp *>(nullptr)), 0);
  EXPECT_EQ(http.ImportProxyInfo(reinterpret_cast<CZemHttp *>(zemtest::UnreadableAddress())), 0);
  EXPECT_EQ(http.dwLastOSError, static_cast<DWORD>(ERROR_NOACCESS)) << "an unreadable client fails as a copy";

  other.SetHttpStr("J", 5);
  other.SetHttpStr("gateway:3128", 7);
  EXPECT_EQ(http.ImportProxyInfo(&other), 1);
  EXPECT_EQ(std::memcmp(&http.m_ZemProxyInfo, &other.m_ZemProxyInfo, sizeof(tagZEMPROXYINFO)), 0);
  EXPECT_EQ(LogLines(http).back(), "CZemHttp::ImportProxyInfo - Done");

  EXPECT_EQ(http.ImportProxyInfo(&http), 1) << "importing from itself keeps the record";
  EXPECT_STREQ(http.m_ZemProxyInfo.szProxyNames, "gateway:3128");
}

}  // namespace
