// Requests at the library's interface against the scripted server: what
// goes on the wire for each method, and how bodies come back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "internet_test_util.h"
#include "loopback_servers.h"

namespace {

using wintest::OpenRequest;
using zemtest::Reply;

class Requests : public wintest::ServedTest {};

TEST_F(Requests, GetSendsOnlyHostAgentAndTheCallersHeaders) {
  server.Answer("/a", Reply::Ok("hello"));
  OpenRequest r(server.port(), "GET", "/a?x=1");
  ASSERT_TRUE(r.ok());
  ASSERT_TRUE(HttpAddRequestHeadersA(r.request, "X-One: 1\r\nX-Two: 2\r\n", static_cast<DWORD>(-1),
                                     HTTP_ADDREQ_FLAG_ADD));
  ASSERT_TRUE(r.Send()) << GetLastError() << " " << wintest::LastResponseText();
  EXPECT_EQ(200u, wintest::StatusCode(r.request));
  EXPECT_EQ("hello", wintest::ReadBody(r.request));
  auto got = server.Received();
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ("GET", got[0].method);
  EXPECT_EQ("/a?x=1", got[0].target);
  const std::vector<std::string> expected = {"Host: 127.0.0.1:" + std::to_string(server.port()), "X-One: 1",
                                             "X-Two: 2", "User-Agent: zemtest agent"};
  EXPECT_EQ(expected, got[0].header_lines);
}

TEST_F(Requests, BodiesGoOutFramedWithTheirTrueLengthWhateverTheCallerSaid) {
  server.Answer("*", Reply::Status(201, "made"));
  struct Case {
    const char *verb;
    const char *caller_length;  // a Content-Length header the caller added, or null
    std::string body;
    const char *wire_length;    // what must arrive, "" for none
  };
  const Case cases[] = {
      {"POST", nullptr, "a=1&b=2", "7"},
      {"POST", "Content-Length: 999", "abc", "3"},
      {"PUT", "content-length: 1", std::string(70000, 'p'), "70000"},
      {"POST", nullptr, "", "0"},
      {"DELETE", nullptr, "", ""},
  };
  for (const Case &c : cases) {
    server.ClearReceived();
    OpenRequest r(server.port(), c.verb, "/thing");
    ASSERT_TRUE(r.ok());
    if (c.caller_length != nullptr) {
      ASSERT_TRUE(HttpAddRequestHeadersA(r.request, c.caller_length, static_cast<DWORD>(-1),
                                         HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE));
    }
    ASSERT_TRUE(r.Send(c.body)) << c.verb << ": error " << GetLastError();
    EXPECT_EQ(201u, wintest::StatusCode(r.request));
    EXPECT_EQ("made", wintest::ReadBody(r.request));
    auto got = server.Received();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(c.verb, got[0].method);
    EXPECT_EQ(c.body, got[0].body) << c.verb;
    EXPECT_EQ(c.wire_length, got[0].Header("Content-Length")) << c.verb << " with " << (c.caller_length ? c.caller_length : "no header");
    EXPECT_GE(1u, got[0].HeaderCount("Content-Length")) << "two Content-Length headers for " << c.verb;
    EXPECT_EQ(0u, got[0].HeaderCount("Expect")) << "libcurl's Expect went out for " << c.verb;
    EXPECT_EQ(0u, got[0].HeaderCount("Content-Type")) << "a Content-Type nobody asked for, " << c.verb;
    EXPECT_EQ(0u, got[0].HeaderCount("Accept")) << "libcurl's Accept went out for " << c.verb;
    EXPECT_FALSE(got[0].chunked) << c.verb;
  }
}

TEST_F(Requests, HeadGetsHeadersWithoutBody) {
  server.Answer("/h", Reply::Ok("").Header("Content-Length: 1234").Header("X-Kind: head"));
  OpenRequest r(server.port(), "HEAD", "/h");
  ASSERT_TRUE(r.Send());
  EXPECT_EQ("head", wintest::QueryCustom(r.request, "X-Kind"));
  DWORD length = 0, size = sizeof length;
  ASSERT_TRUE(HttpQueryInfoA(r.request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr));
  EXPECT_EQ(1234u, length);
  DWORD error = 0;
  EXPECT_EQ("", wintest::ReadBody(r.request, &error));
  EXPECT_EQ(0u, error);
  EXPECT_EQ("HEAD", server.Received().at(0).method);
}

TEST_F(Requests, CallersHostAndAgentReplaceTheLayersOwn) {
  server.Answer("*", Reply::Ok("x"));
  OpenRequest r(server.port(), "GET", "/");
  ASSERT_TRUE(HttpAddRequestHeadersA(r.request, "Host: example.test\r\nUser-Agent: mine\r\nhost: second\r\n",
                                     static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD));
  ASSERT_TRUE(r.Send());
  auto got = server.Received().at(0);
  EXPECT_EQ(1u, got.HeaderCount("Host"));
  EXPECT_EQ("example.test", got.Header("Host"));
  EXPECT_EQ(1u, got.HeaderCount("User-Agent"));
  EXPECT_EQ("mine", got.Header("User-Agent"));
}

TEST_F(Requests, ReferrerAndAcceptTypesOfTheOpenGoOnTheWire) {
  server.Answer("*", Reply::Ok("x"));
  wintest::Handle session(InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  wintest::Handle connection(InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(server.port()),
                                              nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  LPCSTR types[] = {"text/*", "application/json", nullptr};
  wintest::Handle request(
      HttpOpenRequestA(connection, "POST", "form", "HTTP/1.0", "ZEM Data Services", types, 0, 0));
  ASSERT_NE(nullptr, request.get());
  ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, const_cast<char *>("q"), 1));
  auto got = server.Received().at(0);
  EXPECT_EQ("/form", got.target);
  EXPECT_EQ("HTTP/1.0", got.version);
  EXPECT_EQ("ZEM Data Services", got.Header("Referer"));
  EXPECT_EQ("text/*, application/json", got.Header("Accept"));
  EXPECT_EQ(0u, got.HeaderCount("User-Agent")) << "a session opened without an agent sends none";
}

TEST_F(Requests, ModifierFlagsShapeTheHeaderList) {
  server.Answer("*", Reply::Ok("x"));
  OpenRequest r(server.port(), "GET", "/");
  auto add = [&](const char *line, DWORD flags) {
    return HttpAddRequestHeadersA(r.request, line, static_cast<DWORD>(-1), flags) ? 0u : GetLastError();
  };
  EXPECT_EQ(0u, add("Accept: text/*", HTTP_ADDREQ_FLAG_ADD));
  EXPECT_EQ(0u, add("accept: audio/*", HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA));
  EXPECT_EQ(0u, add("X-Cookie-Ish: a=1", HTTP_ADDREQ_FLAG_ADD));
  EXPECT_EQ(0u, add("X-Cookie-Ish: b=2", HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON));
  EXPECT_EQ(0u, add("X-Once: first", HTTP_ADDREQ_FLAG_ADD_IF_NEW));
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_HEADER_ALREADY_EXISTS), add("x-once: second", HTTP_ADDREQ_FLAG_ADD_IF_NEW));
  EXPECT_EQ(0u, add("X-Replace: old", HTTP_ADDREQ_FLAG_ADD));
  EXPECT_EQ(0u, add("X-REPLACE: new", HTTP_ADDREQ_FLAG_REPLACE));
  EXPECT_EQ(0u, add("X-Gone: soon", HTTP_ADDREQ_FLAG_ADD));
  EXPECT_EQ(0u, add("X-Gone:", HTTP_ADDREQ_FLAG_REPLACE));
  EXPECT_EQ(0u, add("X-Never:", HTTP_ADDREQ_FLAG_REPLACE)) << "removing an absent header is not an error";
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND), add("X-Absent: v", HTTP_ADDREQ_FLAG_REPLACE));
  EXPECT_EQ(0u, add("X-Absent: v", HTTP_ADDREQ_FLAG_REPLACE | HTTP_ADDREQ_FLAG_ADD));
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER), add("no colon here", HTTP_ADDREQ_FLAG_ADD));
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER), add("Bad Name: v", HTTP_ADDREQ_FLAG_ADD));
  ASSERT_TRUE(r.Send(""));
  const std::vector<std::string> expected = {"Host: 127.0.0.1:" + std::to_string(server.port()),
                                             "Accept: text/*, audio/*",
                                             "X-Cookie-Ish: a=1; b=2",
                                             "X-Once: first",
                                             "X-Replace: new",
                                             "X-Absent: v",
                                             "User-Agent: zemtest agent"};
  EXPECT_EQ(expected, server.Received().at(0).header_lines);
  // What was sent can be read back from the request.
  EXPECT_EQ("text/*, audio/*", wintest::QueryText(r.request, HTTP_QUERY_ACCEPT | HTTP_QUERY_FLAG_REQUEST_HEADERS));
  EXPECT_EQ("GET", wintest::QueryText(r.request, HTTP_QUERY_REQUEST_METHOD | HTTP_QUERY_FLAG_REQUEST_HEADERS));
}

TEST_F(Requests, ExtraHeadersOfTheSendJoinTheRequest) {
  server.Answer("*", Reply::Ok("x"));
  OpenRequest r(server.port(), "POST", "/");
  ASSERT_TRUE(HttpAddRequestHeadersA(r.request, "X-A: 1", static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD));
  ASSERT_TRUE(r.Send("body", "X-A: 2\r\nContent-Type: text/plain\r\n"));
  auto got = server.Received().at(0);
  EXPECT_EQ("2", got.Header("X-A"));
  EXPECT_EQ(1u, got.HeaderCount("X-A"));
  EXPECT_EQ("text/plain", got.Header("Content-Type"));
}

TEST_F(Requests, BodiesComeBackWhateverTheirFraming) {
  const std::string text = "0123456789abcdef" + std::string(100000, 'z') + "end";
  server.Answer("/length", Reply::Ok(text));
  server.Answer("/chunked", Reply::Ok(text).Chunked(1000));
  server.Answer("/close", Reply::Ok(text).CloseDelimited());
  server.Answer("/empty", Reply::Status(204));
  for (const char *path : {"/length", "/chunked", "/close"}) {
    OpenRequest r(server.port(), "GET", path);
    ASSERT_TRUE(r.Send()) << path;
    DWORD error = 0;
    EXPECT_EQ(text, wintest::ReadBody(r.request, &error)) << path;
    EXPECT_EQ(0u, error) << path;
  }
  OpenRequest r(server.port(), "GET", "/empty");
  ASSERT_TRUE(r.Send());
  EXPECT_EQ(204u, wintest::StatusCode(r.request));
  EXPECT_EQ("", wintest::ReadBody(r.request));
}

TEST_F(Requests, ReadFileFillsTheBufferUntilTheBodyEnds) {
  const std::string text(50000, 'r');
  server.Answer("/slow", Reply::Ok(text).Chunked(7000).StallMidBody(50));
  OpenRequest r(server.port(), "GET", "/slow");
  ASSERT_TRUE(r.Send());
  std::string buffer(30000, '\0');
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(r.request, buffer.data(), 30000, &read));
  EXPECT_EQ(30000u, read) << "a synchronous read waits until its buffer is full";
  ASSERT_TRUE(InternetReadFile(r.request, buffer.data(), 30000, &read));
  EXPECT_EQ(20000u, read) << "the last read returns what is left";
  ASSERT_TRUE(InternetReadFile(r.request, buffer.data(), 30000, &read));
  EXPECT_EQ(0u, read) << "the end of the body reads as zero bytes";
}

// No CR or LF a caller passes reaches the request's head: each text that
// could carry one into it is refused by the call that takes it (87, or 12153
// for header lines, with nothing of that call applied); the object name is
// escaped instead. Every refused call is followed by a send where one is
// still possible, and the server must never see the injected line.
TEST_F(Requests, NoLineBreakOfACallersTextReachesTheWire) {
  server.Answer("*", Reply::Ok("x"));
  const INTERNET_PORT port = static_cast<INTERNET_PORT>(server.port());
  // The texts of a whole road from session to sent request; the code of the
  // first call that fails, 0 when the request went out.
  struct Texts {
    const char *agent = "zemtest", *proxy = nullptr, *bypass = nullptr, *server = "127.0.0.1", *user = nullptr,
               *password = nullptr, *verb = "POST", *object = "/", *version = nullptr, *referrer = nullptr,
               *accept = nullptr, *headers = nullptr;
    DWORD option = 0;  // a text option set on the request, to the text under test
    const char *option_text = nullptr;
  };
  auto send = [&](const Texts &t) -> DWORD {
    const DWORD access = t.proxy != nullptr ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT;
    wintest::Handle session(InternetOpenA(t.agent, access, t.proxy, t.bypass, 0));
    if (session.get() == nullptr) return GetLastError();
    wintest::Handle connection(
        InternetConnectA(session, t.server, port, t.user, t.password, INTERNET_SERVICE_HTTP, 0, 0));
    if (connection.get() == nullptr) return GetLastError();
    const char *types[] = {t.accept, nullptr};
    wintest::Handle request(HttpOpenRequestA(connection, t.verb, t.object, t.version, t.referrer, types, 0, 0));
    if (request.get() == nullptr) return GetLastError();
    DWORD error = 0;
    if (t.option != 0 && !InternetSetOptionA(request, t.option, const_cast<char *>(t.option_text),
                                             static_cast<DWORD>(strlen(t.option_text)))) {
      error = GetLastError();
    }
    // A refused header call is followed by a send all the same: nothing of it may show.
    if (t.headers != nullptr && !HttpAddRequestHeadersA(request, t.headers, static_cast<DWORD>(-1),
                                                         HTTP_ADDREQ_FLAG_ADD) && error == 0) {
      error = GetLastError();
    }
    if (!HttpSendRequestA(request, t.headers, t.headers ? static_cast<DWORD>(-1) : 0, nullptr, 0) && error == 0) {
      error = GetLastError();
    }
    if (t.headers != nullptr) HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    return error;
  };
  using Setter = void (*)(Texts &, const char *);
  struct Row {
    const char *where;
    Setter set;
    DWORD expected;
    bool lines = false;  // a block of header lines, where CR LF separates lines
    DWORD option = 0;    // a text option of the request instead of a setter
  };
  const Row rows[] = {
      {"header value", [](Texts &t, const char *s) { t.headers = s; }, ERROR_HTTP_INVALID_HEADER, true},
      {"verb", [](Texts &t, const char *s) { t.verb = s; }, ERROR_INVALID_PARAMETER},
      {"version", [](Texts &t, const char *s) { t.version = s; }, ERROR_INVALID_PARAMETER},
      {"referrer", [](Texts &t, const char *s) { t.referrer = s; }, ERROR_INVALID_PARAMETER},
      {"accept type", [](Texts &t, const char *s) { t.accept = s; }, ERROR_INVALID_PARAMETER},
      {"agent", [](Texts &t, const char *s) { t.agent = s; }, ERROR_INVALID_PARAMETER},
      {"proxy", [](Texts &t, const char *s) { t.proxy = s; }, ERROR_INVALID_PARAMETER},
      {"proxy bypass", [](Texts &t, const char *s) { t.proxy = "127.0.0.1:1", t.bypass = s; }, ERROR_INVALID_PARAMETER},
      {"server", [](Texts &t, const char *s) { t.server = s; }, ERROR_INVALID_PARAMETER},
      {"user", [](Texts &t, const char *s) { t.user = s, t.password = "p"; }, ERROR_INVALID_PARAMETER},
      {"password", [](Texts &t, const char *s) { t.user = "u", t.password = s; }, ERROR_INVALID_PARAMETER},
      {"INTERNET_OPTION_USERNAME", nullptr, ERROR_INVALID_PARAMETER, false, INTERNET_OPTION_USERNAME},
      {"INTERNET_OPTION_PASSWORD", nullptr, ERROR_INVALID_PARAMETER, false, INTERNET_OPTION_PASSWORD},
      {"INTERNET_OPTION_PROXY_USERNAME", nullptr, ERROR_INVALID_PARAMETER, false, INTERNET_OPTION_PROXY_USERNAME},
      {"INTERNET_OPTION_PROXY_PASSWORD", nullptr, ERROR_INVALID_PARAMETER, false, INTERNET_OPTION_PROXY_PASSWORD},
      {"INTERNET_OPTION_USER_AGENT", nullptr, ERROR_INVALID_PARAMETER, false, INTERNET_OPTION_USER_AGENT},
      // The object name is escaped on its way out, so it may hold anything.
      {"object", [](Texts &t, const char *s) { t.object = s; }, 0},
  };
  for (const Row &row : rows) {
    for (const std::string breaker : {"\r\n", "\n", "\r"}) {
      if (row.lines && breaker == "\r\n") continue;
      const std::string text = (row.lines ? "X-Before: 1\r\nX-Value: a" : "/a") + breaker + "X-Injected: 1";
      Texts texts;
      if (row.option != 0) {
        texts.option = row.option, texts.option_text = text.c_str();
      } else {
        row.set(texts, text.c_str());
      }
      EXPECT_EQ(row.expected, send(texts)) << row.where << " with " << breaker.size() << "-byte " << int(breaker[0]);
    }
  }
  wintest::Handle session(InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  INTERNET_PROXY_INFO info{INTERNET_OPEN_TYPE_PROXY, "a\r\nX-Injected: 1", nullptr};
  EXPECT_FALSE(InternetSetOptionA(session, INTERNET_OPTION_PROXY, &info, sizeof info));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << "INTERNET_OPTION_PROXY";
  for (const zemtest::ReceivedRequest &got : server.Received()) {
    EXPECT_EQ(0u, got.HeaderCount("X-Injected")) << got.target;
    EXPECT_EQ(0u, got.HeaderCount("X-Before")) << "nothing of a refused header call is applied";
    EXPECT_EQ(std::string::npos, got.target.find_first_of("\r\n")) << got.target;
  }
  EXPECT_LT(10u, server.RequestCount()) << "the requests after each refusal were sent";
}

bool EqualsNoCase(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The client's road from a URL to the wire: crack it with ICU_ESCAPE into
// buffers, open the request with path and extra information as the object
// name. Escapes come out decoded, but those of "%" and of delimiters stay, so
// the server is asked for the same resource.
TEST_F(Requests, ACrackedPathGoesOutAsTheSameResource) {
  server.Answer("*", Reply::Ok("x"));
  struct Row {
    const char *path;    // as written in the URL
    const char *object;  // path and extra information as cracked
    const char *target;  // what the server receives
  };
  const Row rows[] = {
      {"/dir%20one/file%41.txt", "/dir one/fileA.txt", "/dir%20one/fileA.txt"},
      {"/a%2Fb%3Fc%23d", "/a%2Fb%3Fc%23d", "/a%2Fb%3Fc%23d"},
      {"/p%2541%25", "/p%2541%25", "/p%2541%25"},
      {"/q?x=%26y&z=%41%20", "/q?x=%26y&z=A ", "/q?x=%26y&z=A%20"},
      {"/%C3%A9t%C3%A9", "/\xC3\xA9t\xC3\xA9", "/%C3%A9t%C3%A9"},
      {"/a%zz%0", "/a%zz%0", "/a%zz%0"},
      {"/f?a#frag", "/f?a#frag", "/f?a"},
  };
  for (const Row &row : rows) {
    const std::string url = server.Url(row.path);
    char path[256] = "", extra[256] = "";
    URL_COMPONENTSA uc{};
    uc.dwStructSize = sizeof uc;
    uc.lpszUrlPath = path;
    uc.dwUrlPathLength = sizeof path;
    uc.lpszExtraInfo = extra;
    uc.dwExtraInfoLength = sizeof extra;
    ASSERT_TRUE(InternetCrackUrlA(url.c_str(), 0, ICU_ESCAPE, &uc)) << row.path << ": " << GetLastError();
    const std::string object = std::string(path) + extra;
    EXPECT_EQ(row.object, object) << row.path;
    OpenRequest r(server.port(), "GET", object.c_str());
    ASSERT_TRUE(r.Send()) << row.path << ": " << wintest::LastResponseText();
    // libcurl may write the hex digits of escapes in small letters: the same URL.
    EXPECT_TRUE(EqualsNoCase(row.target, server.Received().back().target))
        << row.path << " went out as " << server.Received().back().target;
  }
}

}  // namespace
