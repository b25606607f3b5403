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

TEST(ScriptedServer, AnswersAsScriptedAndTellsConnectionsApart) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/q", Reply::Ok("standing"));
  server.Enqueue("/q", Reply::Status(503, "first"));
  server.Enqueue("/q", Reply::Ok("second"));
  CURL *curl = curl_easy_init();
  Fetched a = Fetch(curl, server.Url("/q?any=query")), b = Fetch(curl, server.Url("/q"));
  curl_easy_cleanup(curl);
  Fetched c = Fetch(server.Url("/q"));
  EXPECT_EQ(a.status, 503);
  EXPECT_EQ(a.body, "first");
  EXPECT_EQ(b.body, "second") << "queued answers go once, in order";
  EXPECT_EQ(c.body, "standing");
  EXPECT_EQ(Fetch(server.Url("/unscripted")).status, 404);

  auto got = server.Received();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].connection, got[1].connection) << "a kept-alive connection should carry both requests";
  EXPECT_NE(got[1].connection, got[2].connection);
  EXPECT_EQ(server.ConnectionCount(), 3);
}

// Each answer is checked by what arrives on the wire or what libcurl makes of it.
TEST(ScriptedServer, FramesStallsBreaksAndInterimAnswersAsTold) {
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
  Fetched head = Fetch(server.Url("/length"), [](CURL *c) { curl_easy_setopt(c, CURLOPT_NOBODY, 1L); });
  EXPECT_EQ(head.code, CURLE_OK) << "a HEAD answer must carry no body: " << head.error;

  server.Answer("/cut", Reply::Ok(std::string(1000, 'c')).CutAfter(80, ConnectionEnd::Close));
  server.Answer("/raw", Reply::Raw("HTTP/1.1 2OO Okay?\r\n\r\n"));
  server.Answer("/only", Reply::Ok().Interim("HTTP/1.1 100 Continue").NoFinalAnswer().Then(ConnectionEnd::Close, 50));
  server.Answer("/both", Reply::Ok("final").Interim("HTTP/1.1 100 Continue").Interim("HTTP/1.1 102 Processing"));
  EXPECT_EQ(Fetch(server.Url("/cut")).code, CURLE_PARTIAL_FILE);
  EXPECT_EQ(Exchange(server.port(), "GET /raw HTTP/1.1\r\nHost: x\r\n\r\n"), "HTTP/1.1 2OO Okay?\r\n\r\n");
  EXPECT_EQ(Exchange(server.port(), "GET /only HTTP/1.1\r\nHost: x\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
  EXPECT_EQ(Fetch(server.Url("/both")).body, "final");
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
  EXPECT_EQ(Fetch(server.Url("/digest?a=1"), with("bob:pw 2", CURLAUTH_DIGEST)).body, "secret");
  EXPECT_EQ(Fetch(server.Url("/digest"), with("bob:bad", CURLAUTH_DIGEST)).status, 401);
}

TEST(NginxServer, ServesFilesTakesPutsAndOffersItsThreeCertificates) {
  zemtest::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  nginx.WriteFile("dir/a.txt", "alpha");
  EXPECT_EQ(Fetch(nginx.HttpUrl("/dir/a.txt")).body, "alpha");
  std::string upload = "uploaded bytes";
  Fetched put = Fetch(nginx.HttpUrl("/new/b.bin"), [&](CURL *c) {
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "PUT");
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, upload.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(upload.size()));
  });
  EXPECT_EQ(put.status, 201) << put.body;
  EXPECT_EQ(zemtest::read_file(nginx.root() + "/new/b.bin"), upload);

  auto trust = [&](bool check_host) {
    return [&nginx, check_host](CURL *c) {
      curl_easy_setopt(c, CURLOPT_CAINFO, nginx.ca_file().c_str());
      curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, check_host ? 2L : 0L);
    };
  };
  Fetched good = Fetch(nginx.HttpsUrl("/"), trust(true));
  EXPECT_EQ(good.code, CURLE_OK) << good.error;
  EXPECT_EQ(Fetch(nginx.HttpsUrl("/", nginx.wrong_host_port()), trust(true)).code, CURLE_PEER_FAILED_VERIFICATION);
  EXPECT_EQ(Fetch(nginx.HttpsUrl("/", nginx.wrong_host_port()), trust(false)).code, CURLE_OK)
      << "the other-host certificate should fail on its name only";
  Fetched expired = Fetch(nginx.HttpsUrl("/", nginx.expired_port()), trust(false));
  EXPECT_NE(expired.error.find("expired"), std::string::npos) << expired.error;
}

TEST(TinyProxy, ForwardsOnlyWithItsCredentialsAndMarksWhatItForwards) {
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
  Fetched ok = Fetch(server.Url("/p"), via_proxy("puser:ppass"));
  EXPECT_EQ(ok.body, "through") << ok.error;
  auto got = server.Received();
  ASSERT_EQ(got.size(), 1u) << "refused requests must not reach the server";
  EXPECT_NE(got[0].Header("Via").find("zemproxy"), std::string::npos) << got[0].Header("Via");
}

}  // namespace
