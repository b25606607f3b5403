// Cookies: set by servers, sent back by later requests of any session,
// read and written with the cookie functions. The jar is the process's, so
// each test keeps to paths of its own.
#include <gtest/gtest.h>

#include <string>

#include "internet_test_util.h"
#include "loopback_servers.h"

namespace {

using wintest::OpenRequest;
using zemtest::Reply;

std::string GetCookie(const std::string &url, DWORD *error, DWORD flags = 0, const char *name = nullptr) {
  DWORD size = 0;
  *error = 0;
  if (!InternetGetCookieExA(url.c_str(), name, nullptr, &size, flags, nullptr)) {
    *error = GetLastError();
    return "";
  }
  std::string text(size, '\0');
  if (!InternetGetCookieExA(url.c_str(), name, text.data(), &size, flags, nullptr)) {
    *error = GetLastError();
    return "";
  }
  text.resize(size);
  return text;
}

TEST(Cookies, AServersCookiesGoBackWithLaterRequestsOfAnySession) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/jar1/login", Reply::Ok("in")
                                   .Header("Set-Cookie: sid=abc123; Path=/jar1")
                                   .Header("Set-Cookie: secret=s; Path=/jar1; HttpOnly")
                                   .Header("Set-Cookie: narrow=n; Path=/jar1/admin")
                                   .Header("Set-Cookie: other=o; Domain=elsewhere.example"));
  server.Answer("*", Reply::Ok("page"));
  {
    OpenRequest login(server.port(), "GET", "/jar1/login");
    ASSERT_TRUE(login.Send());
  }
  OpenRequest next(server.port(), "GET", "/jar1/page");
  ASSERT_TRUE(next.Send());
  EXPECT_EQ("sid=abc123; secret=s", server.Received().back().Header("Cookie"));
  OpenRequest admin(server.port(), "GET", "/jar1/admin/x");
  ASSERT_TRUE(admin.Send());
  EXPECT_EQ("narrow=n; sid=abc123; secret=s", server.Received().back().Header("Cookie"))
      << "the most specific path comes first";
  OpenRequest elsewhere(server.port(), "GET", "/unrelated");
  ASSERT_TRUE(elsewhere.Send());
  EXPECT_EQ(0u, server.Received().back().HeaderCount("Cookie"));

  const std::string url = server.Url("/jar1/page");
  DWORD error = 0;
  EXPECT_EQ("sid=abc123", GetCookie(url, &error)) << "HttpOnly cookies are not for the cookie functions";
  EXPECT_EQ("sid=abc123; secret=s", GetCookie(url, &error, INTERNET_COOKIE_HTTPONLY));
  EXPECT_EQ("secret=s", GetCookie(url, &error, INTERNET_COOKIE_HTTPONLY, "secret"));
}

TEST(Cookies, TheCookieFunctionsShareTheJarWithRequests) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/jar2/forget", Reply::Ok("gone").Header("Set-Cookie: pref=; Path=/jar2; Max-Age=0"));
  server.Answer("*", Reply::Ok("x"));
  const std::string url = server.Url("/jar2/");
  DWORD error = 0;
  EXPECT_EQ("", GetCookie(url, &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), error);

  ASSERT_TRUE(InternetSetCookieA(url.c_str(), "pref", "dark; Path=/jar2"));
  ASSERT_TRUE(InternetSetCookieA(url.c_str(), nullptr, "lang=en; Path=/jar2"));
  EXPECT_EQ("pref=dark; lang=en", GetCookie(url, &error));
  DWORD size = 3;
  char small[3];
  EXPECT_FALSE(InternetGetCookieA(url.c_str(), nullptr, small, &size));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(19u, size) << "the size needed, terminator included";

  OpenRequest with(server.port(), "GET", "/jar2/a");
  ASSERT_TRUE(with.Send());
  EXPECT_EQ("pref=dark; lang=en", server.Received().back().Header("Cookie"));
  OpenRequest without(server.port(), "GET", "/jar2/a", INTERNET_FLAG_NO_COOKIES);
  ASSERT_TRUE(without.Send());
  EXPECT_EQ(0u, server.Received().back().HeaderCount("Cookie")) << "INTERNET_FLAG_NO_COOKIES sends none";

  OpenRequest forget(server.port(), "GET", "/jar2/forget");
  ASSERT_TRUE(forget.Send());
  EXPECT_EQ("lang=en", GetCookie(url, &error)) << "an expired cookie removes the one it names";

  EXPECT_FALSE(InternetSetCookieA("ftp://127.0.0.1/", "a", "b"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_UNRECOGNIZED_SCHEME), GetLastError());
  EXPECT_FALSE(InternetGetCookieA(nullptr, nullptr, small, &size));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

}  // namespace
