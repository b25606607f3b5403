// Secure requests to nginx with certificates made for the test: a valid
// one, one for another host name and an expired one, all from a test
// authority that SSL_CERT_FILE names. Each leniency flag forgives exactly its
// own fault; nothing forgives an unknown authority.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "internet_test_util.h"
#include "loopback_servers.h"

namespace {

using wintest::OpenRequest;

class Tls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    nginx_ = new zemtest::NginxServer();
    if (nginx_->ok()) nginx_->WriteFile("page.txt", "secure content");
  }
  static void TearDownTestSuite() {
    delete nginx_;
    nginx_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(nginx_->ok());
    setenv("SSL_CERT_FILE", nginx_->ca_file().c_str(), 1);
  }
  void TearDown() override { unsetenv("SSL_CERT_FILE"); }

  // The status of a GET of page.txt, or the error of the send.
  static DWORD Get(int port, DWORD flags, HINTERNET session = nullptr) {
    wintest::Handle own(session == nullptr ? InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)
                                           : nullptr);
    wintest::Handle connection(InternetConnectA(session != nullptr ? session : own.get(), "localhost",
                                                static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                                INTERNET_SERVICE_HTTP, 0, 0));
    wintest::Handle request(
        HttpOpenRequestA(connection, "GET", "/page.txt", nullptr, nullptr, nullptr, INTERNET_FLAG_SECURE | flags, 0));
    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) return GetLastError();
    const DWORD status = wintest::StatusCode(request);
    return wintest::ReadBody(request) == "secure content" ? status : 0;
  }

  static zemtest::NginxServer *nginx_;
};

zemtest::NginxServer *Tls::nginx_ = nullptr;

constexpr DWORD kIgnoreName = INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
constexpr DWORD kIgnoreDate = INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;

TEST_F(Tls, AValidCertificateIsAccepted) { EXPECT_EQ(200u, Get(nginx_->https_port(), 0)); }

TEST_F(Tls, EachLeniencyForgivesOnlyItsOwnFault) {
  const int wrong = nginx_->wrong_host_port(), expired = nginx_->expired_port();
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID), Get(wrong, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID), Get(wrong, kIgnoreDate));
  EXPECT_EQ(200u, Get(wrong, kIgnoreName));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_DATE_INVALID), Get(expired, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_DATE_INVALID), Get(expired, kIgnoreName));
  EXPECT_EQ(200u, Get(expired, kIgnoreDate));
}

TEST_F(Tls, ALenientConnectionNeverServesAStrictRequest) {
  wintest::Handle session(InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  EXPECT_EQ(200u, Get(nginx_->expired_port(), kIgnoreDate, session));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_DATE_INVALID), Get(nginx_->expired_port(), 0, session));
  EXPECT_EQ(200u, Get(nginx_->wrong_host_port(), kIgnoreName, session));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_SEC_CERT_CN_INVALID), Get(nginx_->wrong_host_port(), 0, session));
}

TEST_F(Tls, AnUnknownAuthorityIsNeverForgiven) {
  unsetenv("SSL_CERT_FILE");
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INVALID_CA), Get(nginx_->https_port(), 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INVALID_CA), Get(nginx_->https_port(), kIgnoreName | kIgnoreDate));
  DWORD security = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
  OpenRequest r(nginx_->https_port(), "GET", "/", INTERNET_FLAG_SECURE, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
                "localhost");
  EXPECT_FALSE(InternetSetOptionA(r.request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security));
}

int g_connects = 0;
void CALLBACK CountConnects(HINTERNET, DWORD_PTR, DWORD status, LPVOID, DWORD) {
  if (status == INTERNET_STATUS_CONNECTING_TO_SERVER) ++g_connects;
}

TEST_F(Tls, ASecureConnectionServesLaterRequestsOfTheSession) {
  wintest::Handle session(InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  InternetSetStatusCallbackA(session, &CountConnects);
  g_connects = 0;
  for (int i = 0; i < 3; ++i) {
    // A new connection handle each time, as the client makes after every new URL.
    wintest::Handle connection(InternetConnectA(session, "localhost", static_cast<INTERNET_PORT>(nginx_->https_port()),
                                                nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1));
    wintest::Handle request(
        HttpOpenRequestA(connection, "GET", "/page.txt", nullptr, nullptr, nullptr, INTERNET_FLAG_SECURE, 1));
    ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, nullptr, 0)) << GetLastError();
    EXPECT_EQ("secure content", wintest::ReadBody(request));
  }
  EXPECT_EQ(1, g_connects) << "each request made a TLS connection of its own";
}

TEST_F(Tls, TheSecurityFlagsOptionRelaxesTheHostNameCheckOfOneRequest) {
  OpenRequest r(nginx_->wrong_host_port(), "GET", "/page.txt", INTERNET_FLAG_SECURE, INTERNET_OPEN_TYPE_DIRECT,
                nullptr, nullptr, "localhost");
  DWORD flags = 0, size = sizeof flags;
  ASSERT_TRUE(InternetQueryOptionA(r.request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size));
  EXPECT_EQ(static_cast<DWORD>(SECURITY_FLAG_SECURE), flags);
  flags |= SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
  ASSERT_TRUE(InternetSetOptionA(r.request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags));
  ASSERT_TRUE(r.Send()) << GetLastError();
  EXPECT_EQ("secure content", wintest::ReadBody(r.request));
}

TEST_F(Tls, FilesArePutAndDeletedOverAPlainConnection) {
  OpenRequest put(nginx_->http_port(), "PUT", "/upload.txt");
  ASSERT_TRUE(put.Send("uploaded by the test")) << GetLastError();
  EXPECT_EQ(201u, wintest::StatusCode(put.request));
  OpenRequest get(nginx_->http_port(), "GET", "/upload.txt");
  ASSERT_TRUE(get.Send());
  EXPECT_EQ("uploaded by the test", wintest::ReadBody(get.request));
  OpenRequest del(nginx_->http_port(), "DELETE", "/upload.txt");
  ASSERT_TRUE(del.Send());
  EXPECT_EQ(204u, wintest::StatusCode(del.request));
  OpenRequest again(nginx_->http_port(), "GET", "/upload.txt");
  ASSERT_TRUE(again.Send());
  EXPECT_EQ(404u, wintest::StatusCode(again.request));
}

}  // namespace
