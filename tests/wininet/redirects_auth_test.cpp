// Redirections followed (or not, on request) and server and proxy
// challenges answered with the credentials the caller gave.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "internet_test_util.h"
#include "loopback_servers.h"

namespace {

using wintest::OpenRequest;
using zemtest::AuthScheme;
using zemtest::Reply;

class Redirects : public wintest::ServedTest {};

TEST_F(Redirects, AreFollowedToTheFinalAnswer) {
  server.Answer("/start", Reply::Redirect(302, "/middle").Body("moved"));
  server.Answer("/middle", Reply::Redirect(301, server.Url("/end?q=1")));
  server.Answer("/end", Reply::Ok("arrived"));
  OpenRequest r(server.port(), "GET", "/start");
  ASSERT_TRUE(r.Send());
  EXPECT_EQ(200u, wintest::StatusCode(r.request));
  EXPECT_EQ("arrived", wintest::ReadBody(r.request)) << "the bodies of the redirections are not the answer";
  auto got = server.Received();
  ASSERT_EQ(3u, got.size());
  EXPECT_EQ("/end?q=1", got[2].target);
  EXPECT_EQ(1, got[2].connection) << "the steps share a kept-alive connection";
  char url[256];
  DWORD size = sizeof url;
  ASSERT_TRUE(InternetQueryOptionA(r.request, INTERNET_OPTION_URL, url, &size));
  EXPECT_EQ(server.Url("/end?q=1"), url);
}

TEST_F(Redirects, ChangeAPostToAGetOnlyWhereTheStatusSaysSo) {
  server.Answer("/see-other", Reply::Redirect(303, "/target"));
  server.Answer("/temporary", Reply::Redirect(307, "/target"));
  server.Answer("/target", Reply::Ok("done"));
  struct Case {
    const char *path;
    const char *method;
    const char *body;
  };
  for (const Case &c : {Case{"/see-other", "GET", ""}, Case{"/temporary", "POST", "payload"}}) {
    server.ClearReceived();
    OpenRequest r(server.port(), "POST", c.path);
    ASSERT_TRUE(r.Send("payload")) << c.path;
    auto got = server.Received();
    ASSERT_EQ(2u, got.size()) << c.path;
    EXPECT_EQ(c.method, got[1].method) << c.path;
    EXPECT_EQ(c.body, got[1].body) << c.path;
    if (std::string(c.method) == "GET") {
      EXPECT_EQ(0u, got[1].HeaderCount("Content-Length")) << c.path;
    }
  }
}

TEST_F(Redirects, AreLeftToTheCallerWithNoAutoRedirect) {
  server.Answer("/start", Reply::Redirect(302, "/elsewhere").Body("see elsewhere"));
  OpenRequest r(server.port(), "GET", "/start", INTERNET_FLAG_NO_AUTO_REDIRECT);
  ASSERT_TRUE(r.Send());
  EXPECT_EQ(302u, wintest::StatusCode(r.request));
  EXPECT_EQ("/elsewhere", wintest::QueryText(r.request, HTTP_QUERY_LOCATION));
  EXPECT_EQ("see elsewhere", wintest::ReadBody(r.request));
  EXPECT_EQ(1u, server.RequestCount());
}

TEST_F(Redirects, EndlessOrUnusableOnesFail) {
  server.Answer("/loop", Reply::Redirect(302, "/loop"));
  server.Answer("/ftp", Reply::Redirect(302, "ftp://127.0.0.1/file"));
  for (const char *path : {"/loop", "/ftp"}) {
    OpenRequest r(server.port(), "GET", path);
    EXPECT_FALSE(r.Send()) << path;
    EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_REDIRECT_FAILED), GetLastError()) << path;
  }
}

struct Credentials {
  const char *user;
  const char *password;
};

DWORD SendWithCredentials(int port, const Credentials &connect, const Credentials *options,
                          const std::string &body = "") {
  wintest::Handle session(InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  wintest::Handle connection(InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(port), connect.user,
                                              connect.password, INTERNET_SERVICE_HTTP, 0, 0));
  wintest::Handle request(HttpOpenRequestA(connection, body.empty() ? "GET" : "POST", "/secret", nullptr, nullptr,
                                           nullptr, 0, 0));
  if (options != nullptr) {
    EXPECT_TRUE(InternetSetOptionA(request, INTERNET_OPTION_USERNAME, const_cast<char *>(options->user),
                                   static_cast<DWORD>(strlen(options->user))));
    EXPECT_TRUE(InternetSetOptionA(request, INTERNET_OPTION_PASSWORD, const_cast<char *>(options->password),
                                   static_cast<DWORD>(strlen(options->password))));
  }
  if (!HttpSendRequestA(request, nullptr, 0, body.empty() ? nullptr : const_cast<char *>(body.data()),
                        static_cast<DWORD>(body.size()))) {
    return GetLastError();
  }
  const DWORD status = wintest::StatusCode(request);
  wintest::ReadBody(request);
  return status;
}

TEST(Authentication, ServerChallengesAreAnsweredWithTheCallersCredentials) {
  for (AuthScheme scheme : {AuthScheme::Basic, AuthScheme::Digest}) {
    const char *name = scheme == AuthScheme::Basic ? "Basic" : "Digest";
    zemtest::ScriptedServer server;
    ASSERT_TRUE(server.ok());
    server.Answer("/secret", Reply::Ok("the secret"));
    server.RequireCredentials("/secret", scheme, "alice", "s3cret");
    const Credentials right{"alice", "s3cret"}, wrong{"alice", "guess"}, none{nullptr, nullptr};
    EXPECT_EQ(200u, SendWithCredentials(server.port(), right, nullptr)) << name << " from InternetConnectA";
    EXPECT_EQ(200u, SendWithCredentials(server.port(), none, &right)) << name << " from the options";
    EXPECT_EQ(200u, SendWithCredentials(server.port(), right, nullptr, "a body sent twice")) << name << " POST";
    EXPECT_EQ(401u, SendWithCredentials(server.port(), wrong, nullptr)) << name << ": a refusal is the answer";
    EXPECT_EQ(401u, SendWithCredentials(server.port(), none, nullptr)) << name << " without credentials";
    bool posted = false;
    for (const auto &request : server.Received()) {
      if (request.method == "POST" && request.authorized == 1) {
        posted = true;
        EXPECT_EQ("a body sent twice", request.body) << name;
      }
    }
    EXPECT_TRUE(posted) << name << ": the POST was never accepted";
  }
}

}  // namespace
