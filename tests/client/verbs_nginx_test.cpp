// The verbs against nginx on loopback: files stored, fetched and deleted
// over HTTP and HTTPS, a certificate for the wrong host, a named proxy, and
// the memory a large download takes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "ZemHttp.h"
#include "tests/client/transport_test_util.h"
#include "under_wine.h"

namespace {

// The process's peak resident memory in KiB since the last reset; -1 where
// the system does not tell.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    long value = 0;
    if (key == "VmHWM:" && status >> value) return value;
  }
  return -1;
}

bool ResetPeakResident() { return static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5"); }

bool FileExists(const std::string &path) { return static_cast<bool>(std::ifstream(path)); }

class OnNginx : public zemtest::RealLibraryClient {
 protected:
  static void SetUpTestSuite() { nginx_ = new zemtest::NginxServer(); }
  static void TearDownTestSuite() {
    delete nginx_;
    nginx_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RealLibraryClient::SetUp());
    ASSERT_TRUE(nginx_->ok());
    setenv("SSL_CERT_FILE", nginx_->ca_file().c_str(), 1);
    http.EnableLogging(500, 100, 100);
    http.SetHttpStr("1", 5);
  }
  void TearDown() override { unsetenv("SSL_CERT_FILE"); }

  static zemtest::NginxServer *nginx_;
};

zemtest::NginxServer *OnNginx::nginx_ = nullptr;

TEST_F(OnNginx, FileIsStoredFetchedAndDeletedOverHttpAndHttps) {
  zemtest::WineRows rows;
  for (const std::string &base : {nginx_->HttpUrl("/"), nginx_->HttpsUrl("/")}) {
    if (base.rfind("https:", 0) == 0 && !rows.Runs("HTTPS", zemtest::wine::kTestCertificates)) continue;
    ASSERT_EQ(http.FilePut(base.c_str(), "stored.txt", "file content", 12), 1) << base << ": " << http.szLastError;
    EXPECT_TRUE(http.QueryHttpStatusCode() == 201 || http.QueryHttpStatusCode() == 204) << http.QueryHttpStatusCode();
    EXPECT_EQ(zemtest::read_file(nginx_->root() + "/stored.txt"), "file content");

    ASSERT_EQ(http.Get((base + "stored.txt").c_str(), nullptr), 1) << http.szLastError;
    EXPECT_EQ(http.QueryHttpStatusCode(), 200u);
    EXPECT_EQ(zemtest::Body(http), "file content");

    ASSERT_EQ(http.FileDelete(base.c_str(), "stored.txt"), 1) << http.szLastError;
    EXPECT_FALSE(FileExists(nginx_->root() + "/stored.txt")) << base;
    ASSERT_EQ(http.Get((base + "stored.txt").c_str(), nullptr), 1);
    EXPECT_EQ(http.QueryHttpStatusCode(), 404u);
  }
}

TEST_F(OnNginx, CertificateForAnotherHostFailsTheRun) {
  ZEMTEST_NOT_UNDER_WINE(zemtest::wine::kTestCertificates);
  zemtest::Notifications seen;
  seen.Attach(http);
  nginx_->WriteFile("page.txt", "secure");
  EXPECT_EQ(http.Get(nginx_->HttpsUrl("/page.txt", nginx_->wrong_host_port()).c_str(), nullptr), 0);
  EXPECT_EQ(http.dwLastInetError, static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID)) << http.szLastError;
  EXPECT_TRUE(zemtest::Has(seen.events, "R 32 12038"));
  EXPECT_EQ(http.pvResponse, nullptr);
}

TEST_F(OnNginx, NamedProxyCarriesTheRequest) {
  ZEMTEST_NOT_UNDER_WINE(zemtest::wine::kProxyAfterDirect);
  zemtest::TinyProxy proxy;
  ASSERT_TRUE(proxy.ok());
  nginx_->WriteFile("proxied.txt", "via proxy");
  http.SetHttpStr("3", 5);
  http.SetHttpStr(proxy.Address().c_str(), 7);
  ASSERT_EQ(http.Get(nginx_->HttpUrl("/proxied.txt").c_str(), nullptr), 1) << http.szLastError;
  EXPECT_EQ(zemtest::Body(http), "via proxy");
  EXPECT_NE(proxy.Log().find("proxied.txt"), std::string::npos) << "the request went through the proxy";
  EXPECT_TRUE(zemtest::Has(zemtest::LogLines(http), "Opening Internet using Proxy"));
}

TEST_F(OnNginx, LargeDownloadTakesAboutTwiceItsSizeAtMost) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own bookkeeping would be measured";
#endif
  constexpr unsigned long long kSize = 64ull << 20;
  nginx_->MakeFile("large.bin", kSize);
  http.EnableLogging(0, 0, 0);
  if (!ResetPeakResident()) GTEST_SKIP() << "the peak resident size cannot be reset here";
  const long nBefore = PeakResidentKiB();
  ASSERT_EQ(http.Get(nginx_->HttpUrl("/large.bin").c_str(), nullptr), 1) << http.szLastError;
  const long nGrowth = PeakResidentKiB() - nBefore;
  EXPECT_EQ(http.cbResponse, kSize);
  // The working buffer fills as data arrives and the stored body is one
  // more copy; a few MiB of slack for the library's queue and the heap.
  EXPECT_LE(nGrowth, static_cast<long>(kSize / 1024 * 22 / 10)) << "peak grew by " << nGrowth << " KiB";
}

}  // namespace
