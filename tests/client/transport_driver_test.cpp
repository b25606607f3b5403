// The request driver end to end on the real internet library against the
// scripted loopback server: the log and notifications of a run, status
// handling, interim answers, connection reuse and the failures a user meets.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ZemHttp.h"
#include "loopback_port.h"
#include "tests/client/transport_test_util.h"
#include "under_wine.h"

namespace {

using zemtest::Body;
using zemtest::ConnectionEnd;
using zemtest::Reply;
using Lines = std::vector<std::string>;

// The lines from the first line equal to `from` on.
Lines From(const Lines &lines, const std::string &from) {
  auto start = std::find(lines.begin(), lines.end(), from);
  return Lines(start, lines.end());
}

class Driver : public zemtest::RealClient {
 protected:
  zemtest::Notifications seen;
};

TEST_F(Driver, SuccessfulRunLogsAndNotifiesEveryStepInOrder) {
  server.Answer("/a", Reply::Ok("hello"));
  seen.Attach(http);
  http.SetConnectionID(1, 2, 77, "conn");
  ASSERT_EQ(http.Get(Url("/a").c_str(), "x=1"), 1) << http.szLastError;
  EXPECT_EQ(From(zemtest::TimelessLog(http), "CZemHttp::InternetRun() - Opening Internet"),
            (Lines{"CZemHttp::InternetRun() - Opening Internet", "CZemHttp::OpenInternet( 0)",
                   "Creating Internet handle", "Opening Internet using Direct Access",
                   "Internet handle established. Ready to connect.", "Attempting to connect at T",
                   "CZemHttp::InternetMakeConnection - Opening 127.0.0.1",
                   "CZemHttp::InternetMakeConnection - Connected.", "Connected at T",
                   "CZemHttp::SendRequest() - Started.", "Creating HTTP Request",
                   "HttpOpenRequest - Opening resource /a?x=1", "CZemHttp::GetHttpStatusCode",
                   "Status Code Pass 200 received", "Response received T, status code 200",
                   "CZemHttp::GetHttpResponseHeaders()", "CZemHttp::GetHttpResponseHeaders()",
                   "CZemHttp::DataDump() - Started.", "Downloaded 5 of 5", "CZemHttp::Get() - SUCCEEDED"}));
  EXPECT_EQ(seen.events, (Lines{"R 128 1", "R 128 2", "R 128 9", "R 128 9", "S Creating HTTP Request",
                                "S Setting Headers...", "S Response length 5 bytes", "S Downloaded 5 of 5", "R 2 0",
                                "S Response downloaded 5 bytes"}));
  EXPECT_EQ(seen.connection, 77);
  EXPECT_EQ(Body(http), "hello");
  EXPECT_EQ(static_cast<const char *>(http.pvResponse)[5], '\0') << "the body is stored with a zero byte after it";
  EXPECT_NE(std::string(http.pvResponseHeaders).find("Content-Length: 5\r\n"), std::string::npos);
  EXPECT_EQ(http.cbResponseHeaders, std::string(http.pvResponseHeaders).size());

  // The default release mode keeps session and connection; only the
  // request handle is opened anew. No new internet handle, no progress 2.
  http.SetHandleReleaseMode(1);
  seen.events.clear();
  const HINTERNET hConnect = http.hConnect;
  ASSERT_EQ(http.Get(nullptr, nullptr), 1);
  EXPECT_EQ(http.hConnect, hConnect);
  EXPECT_EQ(From(zemtest::TimelessLog(http), "CZemHttp::Get(  , )"),
            (Lines{"CZemHttp::Get(  , )", "CZemHttp::GetAccept() - VERB = \"GET\" ",
                   "CZemHttp::InternetRun() - Opening Internet", "CZemHttp::OpenInternet( 0)",
                   "Existing Internet connection resused", "Attempting to connect at T",
                   "CZemHttp::InternetMakeConnection - Opening 127.0.0.1",
                   "CZemHttp::InternetMakeConnection - Connection releasemode is off, reusing connection.",
                   "Connected at T", "CZemHttp::SendRequest() - Started.", "Closing existing HTTP request handle",
                   "CZemHttp::CloseInternetHandles( 1 )", "CZemHttp::CloseInternetHandles - Closing request handle",
                   "HttpOpenRequest - Opening resource /a?x=1", "CZemHttp::GetHttpStatusCode",
                   "Status Code Pass 200 received", "Response received T, status code 200",
                   "CZemHttp::GetHttpResponseHeaders()", "CZemHttp::GetHttpResponseHeaders()",
                   "CZemHttp::DataDump() - Started.", "Downloaded 5 of 5", "CZemHttp::Get() - SUCCEEDED"}));
  EXPECT_EQ(seen.events, (Lines{"R 128 1", "R 128 9", "S Setting Headers...", "S Response length 5 bytes",
                                "S Downloaded 5 of 5", "R 2 0", "S Response downloaded 5 bytes"}));
  const auto received = server.Received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].target, "/a?x=1") << "the query held is sent again";
  EXPECT_EQ(received[1].connection, received[0].connection) << "one TCP connection serves both";

  // A new URL releases the connection handle and connects anew.
  ASSERT_EQ(http.Get(Url("/a").c_str(), nullptr), 1);
  EXPECT_TRUE(zemtest::Has(From(zemtest::LogLines(http), "CZemHttp::InternetMakeConnection - Opening 127.0.0.1"),
                           "CZemHttp::CloseInternetHandles - Closing connection handle"));
}

TEST_F(Driver, CallersInternetHandleServesRunsAndOutlivesTheClient) {
  server.Answer("/c", Reply::Ok("c"));
  HINTERNET hSession = InternetOpenA("caller", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(hSession, nullptr);
  {
    CZemHttp client;
    ASSERT_EQ(client.OpenInternet(hSession), hSession);
    client.SetHttpStr("1", 5);
    ASSERT_EQ(client.Get(Url("/c").c_str(), nullptr), 1) << client.szLastError;
    client.SetHandleReleaseMode(7);
    ASSERT_EQ(client.Get(nullptr, nullptr), 1);
    EXPECT_EQ(client.dwHandleReleaseMode, 3u) << "a caller's handle is never released by mode";
  }
  HINTERNET hConnect = InternetConnectA(hSession, "127.0.0.1", static_cast<INTERNET_PORT>(server.port()), nullptr,
                                        nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  EXPECT_NE(hConnect, nullptr) << "the caller's handle was closed (error " << GetLastError() << ")";
  InternetCloseHandle(hConnect);
  InternetCloseHandle(hSession);
}

TEST_F(Driver, ErrorStatusesAreResponsesWithTheirBodies) {
  server.Answer("/missing", Reply::Status(404, "no such page"));
  server.Answer("/broken", Reply::Status(500, "it broke").Chunked(3));
  for (const auto &[path, status, body] :
       {std::tuple<const char *, DWORD, const char *>{"/missing", 404, "no such page"}, {"/broken", 500, "it broke"}}) {
    EXPECT_EQ(http.Get(Url(path).c_str(), nullptr), 1) << path << ": " << http.szLastError;
    EXPECT_EQ(http.QueryHttpStatusCode(), status);
    EXPECT_EQ(Body(http), body) << path;
  }
}

TEST_F(Driver, InterimAnswersAreSentAgainUpToTheRetryCount) {
  const Reply interim = Reply::Ok().Interim("HTTP/1.1 100 Continue").NoFinalAnswer().Then(ConnectionEnd::Close);
  server.Enqueue("/i", interim);
  server.Enqueue("/i", interim);
  server.Answer("/i", Reply::Ok("final"));
  http.SetURL(Url("/i").c_str());
  http.SetHandleReleaseMode(0);
  EXPECT_EQ(http.Get(nullptr, nullptr), 0) << "one send allowed, and it got 100";
  EXPECT_EQ(http.QueryHttpStatusCode(), 100u);
  EXPECT_EQ(http.dwHandleReleaseMode, 1u) << "the next send opens a request handle of its own";
  EXPECT_EQ(server.RequestCount(), 1u);

  http.SetMaxRetries(3);
  EXPECT_EQ(http.Get(nullptr, nullptr), 1) << http.szLastError;
  EXPECT_EQ(server.RequestCount(), 3u) << "a 100, then a final answer on the second send";
  EXPECT_EQ(Body(http), "final");
  EXPECT_EQ(http.dwHandleReleaseMode, 1u) << "the mode of the run's start is put back";
}

TEST_F(Driver, FailuresEndWithTheirErrorAndNotification) {
  seen.Attach(http);
  struct Case {
    const char *pszPath;
    Reply reply;
    DWORD dwError;
  } cases[] = {
      {"/stall", Reply::Ok("late").StallBeforeHeaders(3000), ERROR_INTERNET_TIMEOUT},
      {"/silent", Reply::Ok("x").CutAfter(0, ConnectionEnd::Close), ERROR_HTTP_INVALID_SERVER_RESPONSE},
  };
  http.SetHttpDWS(300, 7);
  zemtest::WineRows rows;
  for (const Case &c : cases) {
    if (!rows.Runs(c.pszPath, zemtest::wine::kFailureErrors)) continue;
    server.Answer(c.pszPath, c.reply);
    seen.events.clear();
    EXPECT_EQ(http.Get(Url(c.pszPath).c_str(), nullptr), 0) << c.pszPath;
    EXPECT_EQ(http.dwLastInetError, c.dwError) << c.pszPath << ": " << http.szLastError;
    EXPECT_TRUE(zemtest::Has(seen.events, "R 32 " + std::to_string(c.dwError))) << c.pszPath;
    EXPECT_EQ(http.pvResponse, nullptr);
  }

  // A closed port: refused at the send, and the error text reaches the status
  // procedure with the next progress notification.
  const int nPort = zemtest::FreeLoopbackPorts(1)[0];
  seen.events.clear();
  EXPECT_EQ(http.Get(("http://127.0.0.1:" + std::to_string(nPort) + "/").c_str(), nullptr), 0);
  EXPECT_EQ(http.dwLastInetError, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT)) << http.szLastError;
  EXPECT_TRUE(zemtest::Has(seen.events, "R 32 12029"));
  const std::string lastError = http.szLastError;
  seen.events.clear();
  http.Get(nullptr, nullptr);
  ASSERT_GE(seen.events.size(), 2u);
  EXPECT_EQ(seen.events[1], "S " + lastError) << "progress carries the last error text";
}

// A line break inside any text that reaches the request head never puts a
// line of its own on the wire. A header entry holding one is a header that
// cannot be set: recorded, and the request goes without it. The other texts
// are refused by the library, and the run fails with that error recorded.
TEST_F(Driver, LineBreaksInHeadTextsNeverReachTheWire) {
  server.Answer("*", Reply::Ok("fine"));
  const std::string kInjected = "X-Injected: 1";
  const std::string proxy = "127.0.0.1:" + std::to_string(server.port());
  struct Case {
    const char *pszText;
    bool bHeaderEntry;
    void (*apply)(CZemHttp &, const std::string &, const std::string &);
  } cases[] = {
      {"header name", true,
       [](CZemHttp &h, const std::string &t, const std::string &) {
         h.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE, ("X-A: a" + t).c_str(), "b");
       }},
      {"header value", true,
       [](CZemHttp &h, const std::string &t, const std::string &) {
         h.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE, "X-A", ("a" + t).c_str());
       }},
      {"header line", true,
       [](CZemHttp &h, const std::string &t, const std::string &) { h.SetHttpStr(("X-A: a" + t).c_str(), 18); }},
      {"user agent", false,
       [](CZemHttp &h, const std::string &t, const std::string &) { h.SetHttpStr(("agent" + t).c_str(), 0); }},
      {"HTTP version", false,
       [](CZemHttp &h, const std::string &t, const std::string &) { h.SetHttpStr(("HTTP/1.1" + t).c_str(), 3); }},
      {"user", false,
       [](CZemHttp &h, const std::string &t, const std::string &) {
         h.SetHttpUser(("u" + t).c_str());
         h.SetHttpPswd("p");
       }},
      {"password", false,
       [](CZemHttp &h, const std::string &t, const std::string &) {
         h.SetHttpUser("u");
         h.SetHttpPswd(("p" + t).c_str());
       }},
      {"proxy names", false,
       [](CZemHttp &h, const std::string &t, const std::string &proxy) {
         h.SetHttpStr("3", 5);
         h.SetHttpStr((proxy + t).c_str(), 7);
         h.SetHttpDWS(INTERNET_OPEN_TYPE_PROXY, 5);
       }},
  };
  for (const Case &c : cases) {
    for (const char *pszBreak : {"\r\n", "\n", "\r"}) {
      const char *pszShown = pszBreak[1] == '\n' ? "CRLF" : pszBreak[0] == '\n' ? "LF" : "CR";
      const std::string where = std::string(c.pszText) + " with " + pszShown;
      server.ClearReceived();
      CZemHttp client(0, 0, 0, 0);
      client.SetHttpStr("1", 5);
      c.apply(client, pszBreak + kInjected, proxy);
      const int nResult = client.Get(Url("/h").c_str(), nullptr);
      for (const auto &got : server.Received()) {
        std::string head = got.method + " " + got.target + " " + got.version + "\n";
        for (const std::string &line : got.header_lines) head += line + "\n";
        EXPECT_EQ(head.find("X-Injected"), std::string::npos) << where << " reached the wire:\n" << head;
      }
      if (c.bHeaderEntry) {
        EXPECT_EQ(nResult, 1) << where << ": the request goes on without the header";
        EXPECT_EQ(client.dwLastInetError, static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER)) << where;
        EXPECT_STREQ(client.szLastError, "CZemHttp::SendRequest - Error(#12153) while setting a request header.");
      } else {
        EXPECT_EQ(nResult, 0) << where << ": the library refuses the text";
        EXPECT_NE(client.dwLastInetError + client.dwLastOSError, 0u) << where << ": no error recorded";
      }
    }
  }
}

}  // namespace
