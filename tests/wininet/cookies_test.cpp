// Cookies: set by servers, sent back by later requests of any session,
// read and written with the cookie functions. The jar is the process's, so
// each test keeps to paths of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

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

class Cookies : public wintest::ServedTest {};

TEST_F(Cookies, AServersCookiesGoBackWithLaterRequestsOfAnySession) {
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

TEST_F(Cookies, TheCookieFunctionsShareTheJarWithRequests) {
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

// Which hosts a cookie set by one host goes back to: a Domain must be the
// host or a parent of it that is no public suffix, an address sets cookies
// for itself only, and malformed or oversized cookies are refused.
TEST_F(Cookies, AHostSetsCookiesOnlyForItselfAndItsRegistrableParents) {
  const std::vector<std::string> probes = {"a.example.com", "b.example.com", "example.com", "other.com",
                                           "com", "a.b.co.uk", "b.co.uk", "x.co.uk", "site.github.io",
                                           "other.github.io", "127.0.0.2", "127.0.0.3"};
  struct Row {
    const char *host;
    std::string attributes;  // after "name=v"
    std::set<std::string> visible;
  };
  const std::set<std::string> example = {"a.example.com", "b.example.com", "example.com"};
  const Row rows[] = {
      {"a.example.com", "; Domain=com", {}},
      {"a.example.com", "; Domain=.com", {}},
      {"a.example.com", "; Domain=example.com", example},
      {"a.example.com", "; domain=.EXAMPLE.com", example},
      {"a.example.com", "", {"a.example.com"}},
      {"a.example.com", "; Domain=b.example.com", {}},
      {"a.example.com", "; Domain=ample.com", {}},
      {"a.example.com", "; Domain=a.example.com.evil", {}},
      {"com", "; Domain=com", {"com"}},
      {"a.b.co.uk", "; Domain=co.uk", {}},
      {"a.b.co.uk", "; Domain=b.co.uk", {"a.b.co.uk", "b.co.uk"}},
      {"site.github.io", "; Domain=github.io", {}},
      {"site.github.io", "; Domain=site.github.io", {"site.github.io"}},
      {"127.0.0.2", "; Domain=127.0.0.2", {"127.0.0.2"}},
      {"127.0.0.2", "; Domain=0.0.2", {}},
  };
  int n = 0;
  for (const Row &row : rows) {
    const std::string name = "psl" + std::to_string(n++);
    const std::string url = std::string("http://") + row.host + "/";
    const BOOL stored = InternetSetCookieA(url.c_str(), nullptr, (name + "=v" + row.attributes).c_str());
    EXPECT_EQ(!row.visible.empty(), stored != FALSE) << row.host << row.attributes;
    for (const std::string &probe : probes) {
      DWORD error = 0;
      const std::string got = GetCookie("http://" + probe + "/", &error, 0, name.c_str());
      EXPECT_EQ(row.visible.count(probe) ? name + "=v" : "", got) << row.host << row.attributes << " at " << probe;
    }
  }
  // Sizes and contents: name and value share 4096 bytes; no controls.
  struct Limit {
    std::string cookie;
    bool stored;
  };
  const Limit limits[] = {
      {"big=" + std::string(4093, 'v'), true},
      {"big2=" + std::string(4093, 'v'), false},
      {"crlf=a\r\nX-Injected: 1", false},
      {"nul=a\x01" "b", false},
  };
  for (const Limit &limit : limits) {
    EXPECT_EQ(limit.stored, InternetSetCookieA("http://limits.example.com/", nullptr, limit.cookie.c_str()) != FALSE)
        << limit.cookie.substr(0, 12);
  }
}

TEST_F(Cookies, EachDomainKeepsItsNewestFifty) {
  const std::string url = "http://count.test/";
  for (int i = 0; i < 60; ++i) {
    ASSERT_TRUE(InternetSetCookieA(url.c_str(), ("n" + std::to_string(i)).c_str(), "v"));
  }
  ASSERT_TRUE(InternetSetCookieA("http://other.test/", "kept", "v"));
  DWORD error = 0;
  const std::string all = GetCookie(url, &error);
  EXPECT_EQ(std::string::npos, all.find("n9=")) << "the oldest of the domain went";
  EXPECT_EQ(0u, all.find("n10=v; ")) << all;
  EXPECT_NE(std::string::npos, all.find("; n59=v")) << all;
  EXPECT_EQ(50u, static_cast<size_t>(std::count(all.begin(), all.end(), '=')));
  EXPECT_EQ("kept=v", GetCookie("http://other.test/", &error)) << "other domains keep theirs";
}

// A server reached through a proxy under a public name: its cookie for a
// public suffix is dropped, the one for its own parent domain kept.
TEST_F(Cookies, AServerCannotSetCookiesForAPublicSuffix) {
  // The server plays the proxy, answering for any host.
  server.Answer("*", Reply::Ok("x").Header("Set-Cookie: wide=1; Domain=com").Header(
                         "Set-Cookie: narrow=1; Domain=served.com"));
  const std::string proxy = "127.0.0.1:" + std::to_string(server.port());
  for (const char *host : {"a.served.com", "b.served.com"}) {
    OpenRequest r(80, "GET", "/", 0, INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), nullptr, host);
    ASSERT_TRUE(r.Send()) << GetLastError();
  }
  const auto got = server.Received();
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ("narrow=1", got[1].Header("Cookie"));
  DWORD error = 0;
  EXPECT_EQ("", GetCookie("http://elsewhere.com/", &error, 0, "wide"));
}

}  // namespace
