// The loopback servers the internet layer's tests rely on, checked with
// libcurl and plain sockets: if one of these fails, failures elsewhere are
// about the fixture, not the layer.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "loopback_servers.h"

namespace {

using zemtest::ConnectionEnd;
using zemtest::Reply;

struct Fetched {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string headers;
  std::string body;
  std::string error;
};

size_t Append(char *data, size_t size, size_t count, void *out) {
  static_cast<std::string *>(out)->append(data, size * count);
  return size * count;
}

// One transfer on the given easy handle (so tests can reuse a connection).
Fetched Fetch(CURL *curl, const std::string &url, const std::function<void(CURL *)> &setup = nullptr) {
  Fetched f;
  char error[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &f.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &f.headers);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 20000L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  if (setup) setup(curl);
  f.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &f.status);
  f.error = error;
  curl_easy_reset(curl);
  return f;
}

Fetched Fetch(const std::string &url, const std::function<void(CURL *)> &setup = nullptr) {
  CURL *curl = curl_easy_init();
  Fetched f = Fetch(curl, url, setup);
  curl_easy_cleanup(curl);
  return f;
}

// Sends raw bytes and returns everything the server sends until it closes.
std::string Exchange(int port, const std::string &request) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  timeval tv{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  std::string got;
  if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buf[4096];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return got;
}

TEST(ScriptedServer, RecordsRequestsExactlyAsTheyArrived) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/echo", Reply::Ok("hello"));
  std::string raw =
      "POST /echo?x=1 HTTP/1.1\r\nHost: here\r\nx-lower:  two  spaces\r\nX-Dup: 1\r\nX-Dup: 2\r\n"
      "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n";
  std::string answer = Exchange(server.port(), raw);
  EXPECT_EQ(answer, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello");

  auto got = server.Received();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].method, "POST");
  EXPECT_EQ(got[0].target, "/echo?x=1");
  EXPECT_EQ(got[0].version, "HTTP/1.1");
  std::vector<std::string> expected{"Host: here", "x-lower:  two  spaces", "X-Dup: 1", "X-Dup: 2",
                                    "Transfer-Encoding: chunked", "Connection: close"};
  EXPECT_EQ(got[0].header_lines, expected);
  EXPECT_EQ(got[0].Header("X-LOWER"), "two  spaces");
  EXPECT_EQ(got[0].HeaderCount("x-dup"), 2u);
  EXPECT_EQ(got[0].body, "abcde");
  EXPECT_TRUE(got[0].chunked);
}

TEST(ScriptedServer, RecordsLargeBodiesWhole) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/up", Reply::Status(201));
  std::string upload(4 * 1024 * 1024, '\0');
  for (size_t i = 0; i < upload.size(); ++i) upload[i] = static_cast<char>(i * 31 % 251);
  curl_slist *no_expect = curl_slist_append(nullptr, "Expect:");
  Fetched f = Fetch(server.Url("/up"), [&](CURL *c) {
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, no_expect);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, upload.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(upload.size()));
  });
  curl_slist_free_all(no_expect);
  EXPECT_EQ(f.status, 201) << f.error;
  auto got = server.Received();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0].body == upload) << "recorded " << got[0].body.size() << " of " << upload.size() << " bytes";
}

TEST(ScriptedServer, TellsConnectionsApartAndKeepsThemAlive) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("*", Reply::Ok("x"));
  CURL *curl = curl_easy_init();
  EXPECT_EQ(Fetch(curl, server.Url("/a")).code, CURLE_OK);
  EXPECT_EQ(Fetch(curl, server.Url("/b")).code, CURLE_OK);
  curl_easy_cleanup(curl);
  EXPECT_EQ(Fetch(server.Url("/c")).code, CURLE_OK);

  auto got = server.Received();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].connection, got[1].connection) << "a kept-alive connection should carry both requests";
  EXPECT_NE(got[1].connection, got[2].connection);
  EXPECT_EQ(server.ConnectionCount(), 2);
  EXPECT_EQ(Exchange(server.port(), "GET /d HTTP/1.0\r\n\r\n"), "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1\r\n\r\nx")
      << "an HTTP/1.0 request without keep-alive gets its connection closed";
  server.ClearReceived();
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST(ScriptedServer, UsesQueuedAnswersOnceInOrderThenTheStandingOne) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/q", Reply::Ok("standing"));
  server.Enqueue("/q", Reply::Status(503, "first"));
  server.Enqueue("/q", Reply::Ok("second"));
  Fetched a = Fetch(server.Url("/q?any=query")), b = Fetch(server.Url("/q")), c = Fetch(server.Url("/q"));
  EXPECT_EQ(a.status, 503);
  EXPECT_EQ(a.body, "first");
  EXPECT_EQ(b.body, "second");
  EXPECT_EQ(c.body, "standing");
  EXPECT_EQ(Fetch(server.Url("/unscripted")).status, 404);
}

TEST(ScriptedServer, FramesBodiesEveryWayWithoutLosingBytes) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  std::string body(100000, 'b');
  for (size_t i = 0; i < body.size(); i += 7) body[i] = static_cast<char>('a' + i % 26);
  server.Answer("/length", Reply::Ok(body).StallMidBody(50));
  server.Answer("/chunked", Reply::Ok(body).Chunked(3000).StallAfterHeaders(20));
  server.Answer("/close", Reply::Ok(body).CloseDelimited());
  for (const char *path : {"/length", "/chunked", "/close"}) {
    Fetched f = Fetch(server.Url(path));
    EXPECT_EQ(f.code, CURLE_OK) << path << ": " << f.error;
    EXPECT_TRUE(f.body == body) << path << ": got " << f.body.size() << " bytes, expected " << body.size();
  }
  Fetched chunked = Fetch(server.Url("/chunked"));
  EXPECT_NE(chunked.headers.find("Transfer-Encoding: chunked"), std::string::npos) << chunked.headers;
  EXPECT_EQ(chunked.headers.find("Content-Length"), std::string::npos) << chunked.headers;

  Fetched head = Fetch(server.Url("/length"), [](CURL *c) { curl_easy_setopt(c, CURLOPT_NOBODY, 1L); });
  EXPECT_EQ(head.code, CURLE_OK) << "a HEAD answer must carry no body: " << head.error;
  EXPECT_NE(head.headers.find("Content-Length: 100000"), std::string::npos);
}

TEST(ScriptedServer, BreaksConnectionsWhereTold) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/reset", Reply::Ok(std::string(1000, 'r')).CutAfter(60, ConnectionEnd::Reset));
  server.Answer("/cut", Reply::Ok(std::string(1000, 'c')).CutAfter(80, ConnectionEnd::Close));
  server.Answer("/raw", Reply::Raw("HTTP/1.1 2OO Okay?\r\n\r\n"));
  Fetched reset = Fetch(server.Url("/reset"));
  EXPECT_TRUE(reset.code == CURLE_RECV_ERROR || reset.code == CURLE_PARTIAL_FILE) << reset.error;
  Fetched cut = Fetch(server.Url("/cut"));
  EXPECT_EQ(cut.code, CURLE_PARTIAL_FILE) << cut.error;
  EXPECT_EQ(Exchange(server.port(), "GET /raw HTTP/1.1\r\nHost: x\r\n\r\n"), "HTTP/1.1 2OO Okay?\r\n\r\n");
}

TEST(ScriptedServer, SendsInformationalAnswersWithOrWithoutAFinalOne) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/both", Reply::Ok("final").Interim("HTTP/1.1 100 Continue").Interim("HTTP/1.1 102 Processing"));
  server.Answer("/only", Reply::Ok().Interim("HTTP/1.1 100 Continue").NoFinalAnswer().Then(ConnectionEnd::Close, 50));
  Fetched both = Fetch(server.Url("/both"));
  EXPECT_EQ(both.status, 200);
  EXPECT_EQ(both.body, "final");
  EXPECT_EQ(Exchange(server.port(), "GET /only HTTP/1.1\r\nHost: x\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
}

TEST(ScriptedServer, CarriesHugeHeadersAndRedirects) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  std::string big(60000, 'h');
  server.Answer("/big", Reply::Ok("ok").Header("X-Big: " + big));
  server.Answer("/from", Reply::Redirect(302, "/to"));
  server.Answer("/to", Reply::Ok("arrived"));
  Fetched f = Fetch(server.Url("/big"));
  EXPECT_NE(f.headers.find("X-Big: " + big + "\r\n"), std::string::npos) << "the 60000-byte header was cut";
  Fetched r = Fetch(server.Url("/from"), [](CURL *c) { curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L); });
  EXPECT_EQ(r.body, "arrived");
}

TEST(ScriptedServer, ChallengesAndChecksCredentials) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("*", Reply::Ok("secret"));
  server.RequireCredentials("/basic", zemtest::AuthScheme::Basic, "ann", "pw:1");
  server.RequireCredentials("/digest", zemtest::AuthScheme::Digest, "bob", "pw 2");
  auto with = [](const char *userpwd, long how) {
    return [=](CURL *c) {
      curl_easy_setopt(c, CURLOPT_USERPWD, userpwd);
      curl_easy_setopt(c, CURLOPT_HTTPAUTH, how);
    };
  };
  EXPECT_EQ(Fetch(server.Url("/basic")).status, 401);
  EXPECT_EQ(Fetch(server.Url("/basic"), with("ann:pw:1", CURLAUTH_BASIC)).body, "secret");
  EXPECT_EQ(Fetch(server.Url("/basic"), with("ann:wrong", CURLAUTH_BASIC)).status, 401);
  Fetched digest = Fetch(server.Url("/digest?a=1"), with("bob:pw 2", CURLAUTH_DIGEST));
  EXPECT_EQ(digest.body, "secret");
  EXPECT_NE(digest.headers.find("WWW-Authenticate: Digest realm=\"zemtest\""), std::string::npos);
  EXPECT_EQ(Fetch(server.Url("/digest"), with("bob:bad", CURLAUTH_DIGEST)).status, 401);

  auto got = server.Received();
  ASSERT_EQ(got.size(), 7u);  // the digest exchanges take two requests each
  std::vector<int> authorized;
  for (const auto &r : got) authorized.push_back(r.authorized);
  EXPECT_EQ(authorized, (std::vector<int>{0, 1, 0, 0, 1, 0, 0}));
}

TEST(NginxServer, ServesPutsAndDeletesFiles) {
  zemtest::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  nginx.WriteFile("dir/a.txt", "alpha");
  Fetched get = Fetch(nginx.HttpUrl("/dir/a.txt"));
  EXPECT_EQ(get.status, 200);
  EXPECT_EQ(get.body, "alpha");

  std::string upload = "uploaded bytes";
  Fetched put = Fetch(nginx.HttpUrl("/new/b.bin"), [&](CURL *c) {
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "PUT");
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, upload.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(upload.size()));
  });
  EXPECT_EQ(put.status, 201) << put.body;
  EXPECT_EQ(zemtest::read_file(nginx.root() + "/new/b.bin"), upload);
  Fetched del = Fetch(nginx.HttpUrl("/new/b.bin"), [](CURL *c) { curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "DELETE"); });
  EXPECT_EQ(del.status, 204);
  EXPECT_EQ(Fetch(nginx.HttpUrl("/new/b.bin")).status, 404);
  EXPECT_NE(nginx.AccessLog().find("\"DELETE /new/b.bin HTTP/1.1\" 204"), std::string::npos) << nginx.AccessLog();

  nginx.MakeFile("big.bin", 3u << 20);
  Fetched big = Fetch(nginx.HttpUrl("/big.bin"), [](CURL *c) { curl_easy_setopt(c, CURLOPT_NOBODY, 1L); });
  EXPECT_NE(big.headers.find("Content-Length: 3145728"), std::string::npos) << big.headers;
}

TEST(NginxServer, OffersOneGoodAndTwoFaultyCertificatesFromItsCa) {
  zemtest::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  auto trust = [&](bool check_host) {
    return [&nginx, check_host](CURL *c) {
      curl_easy_setopt(c, CURLOPT_CAINFO, nginx.ca_file().c_str());
      curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, check_host ? 2L : 0L);
    };
  };
  Fetched good = Fetch(nginx.HttpsUrl("/"), trust(true));
  EXPECT_EQ(good.code, CURLE_OK) << good.error;
  EXPECT_NE(good.body.find("zemtest"), std::string::npos);
  Fetched by_address = Fetch("https://127.0.0.1:" + std::to_string(nginx.https_port()) + "/", trust(true));
  EXPECT_EQ(by_address.code, CURLE_OK) << by_address.error;

  Fetched wrong = Fetch(nginx.HttpsUrl("/", nginx.wrong_host_port()), trust(true));
  EXPECT_EQ(wrong.code, CURLE_PEER_FAILED_VERIFICATION) << wrong.error;
  EXPECT_EQ(Fetch(nginx.HttpsUrl("/", nginx.wrong_host_port()), trust(false)).code, CURLE_OK)
      << "the other-host certificate should fail on its name only";

  Fetched expired = Fetch(nginx.HttpsUrl("/", nginx.expired_port()), trust(false));
  EXPECT_EQ(expired.code, CURLE_PEER_FAILED_VERIFICATION) << expired.error;
  EXPECT_NE(expired.error.find("expired"), std::string::npos) << expired.error;
}

TEST(TinyProxy, ForwardsToLoopbackServersAndMarksWhatItForwards) {
  zemtest::ScriptedServer server;
  zemtest::TinyProxy proxy;
  ASSERT_TRUE(server.ok() && proxy.ok());
  server.Answer("/p", Reply::Ok("through"));
  Fetched f = Fetch(server.Url("/p"), [&](CURL *c) {
    curl_easy_setopt(c, CURLOPT_PROXY, proxy.Address().c_str());
    curl_easy_setopt(c, CURLOPT_NOPROXY, "");
  });
  EXPECT_EQ(f.body, "through") << f.error;
  auto got = server.Received();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_NE(got[0].Header("Via").find("zemproxy"), std::string::npos) << got[0].Header("Via");
}

TEST(TinyProxy, DemandsItsBasicCredentialsWhenGivenAUser) {
  zemtest::ScriptedServer server;
  zemtest::TinyProxy proxy("puser", "ppass");
  ASSERT_TRUE(server.ok() && proxy.ok());
  server.Answer("/p", Reply::Ok("through"));
  auto via_proxy = [&](const char *credentials) {
    return [&proxy, credentials](CURL *c) {
      curl_easy_setopt(c, CURLOPT_PROXY, proxy.Address().c_str());
      curl_easy_setopt(c, CURLOPT_NOPROXY, "");
      if (credentials) curl_easy_setopt(c, CURLOPT_PROXYUSERPWD, credentials);
    };
  };
  EXPECT_EQ(Fetch(server.Url("/p"), via_proxy(nullptr)).status, 407);
  // This tinyproxy answers wrong credentials with 401 (missing ones with 407).
  long wrong = Fetch(server.Url("/p"), via_proxy("puser:wrong")).status;
  EXPECT_TRUE(wrong == 401 || wrong == 407) << "wrong proxy credentials got " << wrong;
  Fetched ok = Fetch(server.Url("/p"), via_proxy("puser:ppass"));
  EXPECT_EQ(ok.status, 200);
  EXPECT_EQ(ok.body, "through");
  EXPECT_EQ(server.RequestCount(), 1u) << "refused requests must not reach the server";
}

}  // namespace
