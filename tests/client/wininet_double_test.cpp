// The internet-library double answers as scripted: the client's tests rely on
// these answers, so a broken double shows here first.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/double/double_fixture.h"

namespace {

// The double's export of that name, typed as the library declares it.
#define DOUBLE_EXPORT(name) Fn<decltype(&::name)>(#name)

class DoubleScripts : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(wininet.ok()); }
  // The double's export, called as the client calls it: through its address.
  template <typename F>
  F Fn(const char *pszName) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(wininet.module(), pszName)));
  }
  zemtest::WinInetDouble wininet;
};

TEST_F(DoubleScripts, RecordsCallsAndAnswersOnePerCallRepeatingTheLast) {
  auto open = DOUBLE_EXPORT(InternetOpenA);
  auto send = DOUBLE_EXPORT(HttpSendRequestA);
  wininet.ctl().On("HttpSendRequestA").Fail(ERROR_INTERNET_CANNOT_CONNECT).Then().Return(TRUE);
  HINTERNET hOpen = open("agent", 3, "proxy:8080", nullptr, 0);
  SetLastError(0);
  EXPECT_EQ(send(hOpen, "X-A: 1\r\n", static_cast<DWORD>(-1), const_cast<char *>("body\0more"), 9), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(send(nullptr, nullptr, 0, nullptr, 0), TRUE);
  EXPECT_EQ(send(nullptr, nullptr, 0, nullptr, 0), TRUE) << "the last answer repeats";

  auto calls = wininet.ctl().Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].Text(0), "agent");
  EXPECT_EQ(calls[0].Num(1), 3u);
  EXPECT_TRUE(calls[0].IsNull(3));
  EXPECT_EQ(calls[0].result, reinterpret_cast<uintptr_t>(hOpen));
  EXPECT_EQ(calls[1].Handle(0), hOpen);
  EXPECT_EQ(calls[1].Text(1), "X-A: 1\r\n");
  EXPECT_EQ(calls[1].Text(3), std::string("body\0more", 9)) << "a body is copied by its length";
}

TEST_F(DoubleScripts, ReadDataComesInPartsThenEnds) {
  auto avail = DOUBLE_EXPORT(InternetQueryDataAvailable);
  auto read = DOUBLE_EXPORT(InternetReadFile);
  wininet.ctl().On("InternetReadFile").Data("hello ").Then().Data("world");
  DWORD cbAvail = 0;
  ASSERT_TRUE(avail(nullptr, &cbAvail, 0, 0));
  EXPECT_EQ(cbAvail, 11u) << "unscripted, availability follows the scripted reads";

  std::string body;
  char buffer[4];
  DWORD cbRead = 0;
  do {
    ASSERT_TRUE(read(nullptr, buffer, sizeof buffer, &cbRead));
    body.append(buffer, cbRead);
  } while (cbRead != 0);
  EXPECT_EQ(body, "hello world");
  ASSERT_TRUE(avail(nullptr, &cbAvail, 0, 0));
  EXPECT_EQ(cbAvail, 0u);
}

TEST_F(DoubleScripts, QueryInfoAnswersAMinimalResponseOrTheScriptedValue) {
  auto query = DOUBLE_EXPORT(HttpQueryInfoA);
  DWORD dwStatus = 0;
  DWORD cb = sizeof dwStatus;
  ASSERT_TRUE(query(nullptr, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &dwStatus, &cb, nullptr));
  EXPECT_EQ(dwStatus, 200u);

  wininet.ctl().On("HttpQueryInfoA").Data("Server: test\r\n\r\n");
  char small[4];
  cb = sizeof small;
  EXPECT_FALSE(query(nullptr, HTTP_QUERY_RAW_HEADERS_CRLF, small, &cb, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(cb, 17u) << "the size needed counts the NUL";
  char text[64];
  cb = sizeof text;
  ASSERT_TRUE(query(nullptr, HTTP_QUERY_RAW_HEADERS_CRLF, text, &cb, nullptr));
  EXPECT_STREQ(text, "Server: test\r\n\r\n");
  EXPECT_EQ(cb, 16u);
}

TEST_F(DoubleScripts, CrackUrlFillsBuffersOrPointsIntoTheUrl) {
  auto crack = DOUBLE_EXPORT(InternetCrackUrlA);
  const char *pszUrl = "https://user:pw@host.test:8443/a/b?q=1";
  URL_COMPONENTSA parts;
  std::memset(&parts, 0, sizeof parts);
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = 1;  // asks for a pointer
  char szPath[64];
  parts.lpszUrlPath = szPath;
  parts.dwUrlPathLength = sizeof szPath;
  parts.dwExtraInfoLength = 1;
  ASSERT_TRUE(crack(pszUrl, 0, 0, &parts));
  EXPECT_EQ(parts.nScheme, INTERNET_SCHEME_HTTPS);
  EXPECT_EQ(parts.nPort, 8443);
  EXPECT_EQ(std::string(parts.lpszHostName, parts.dwHostNameLength), "host.test");
  EXPECT_EQ(parts.lpszHostName, pszUrl + 16) << "a pointer answer points into the URL";
  EXPECT_STREQ(szPath, "/a/b");
  EXPECT_EQ(std::string(parts.lpszExtraInfo, parts.dwExtraInfoLength), "?q=1");
}

}  // namespace
