// Network failures surface as the library's error codes, at the call where
// they happen, with a description that says what went wrong: refused
// connections when the request is sent, time-outs, resets and aborted
// connections before and during the body.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "internet_test_util.h"
#include "loopback_port.h"
#include "loopback_servers.h"

namespace {

using wintest::OpenRequest;
using zemtest::ConnectionEnd;
using zemtest::Reply;

void SetReceiveTimeout(HINTERNET handle, DWORD ms) {
  ASSERT_TRUE(InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms));
}

class Failures : public wintest::ServedTest {};

TEST_F(Failures, ARefusedConnectionShowsWhenTheRequestIsSent) {
  const int port = zemtest::FreeLoopbackPorts(1).at(0);  // nothing listens there
  OpenRequest r(port, "GET", "/");
  ASSERT_TRUE(r.ok()) << "connecting a handle makes no connection, so it cannot fail yet";
  EXPECT_FALSE(r.Send());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), GetLastError());
  DWORD code = 0;
  const std::string text = wintest::LastResponseText(&code);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), code);
  EXPECT_NE(std::string::npos, text.find("127.0.0.1")) << text;
  EXPECT_NE(std::string::npos, text.find(std::to_string(port))) << "the description names the port: " << text;
}

TEST_F(Failures, AServerSilentBeforeItsAnswerTimesTheSendOut) {
  server.Answer("*", Reply::Ok("late").StallBeforeHeaders(5000));
  OpenRequest r(server.port(), "GET", "/");
  SetReceiveTimeout(r.connection, 300);  // set on the connection, inherited by its request
  EXPECT_FALSE(r.Send());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), GetLastError());
  DWORD code = 0;
  EXPECT_NE(std::string::npos, wintest::LastResponseText(&code).find("300 ms"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), code);
}

TEST_F(Failures, AStallAfterTheHeadTimesTheReadOut) {
  server.Answer("/after-head", Reply::Ok(std::string(1000, 'a')).StallAfterHeaders(5000));
  server.Answer("/mid-body", Reply::Ok(std::string(1000, 'b')).StallMidBody(5000));
  for (const char *path : {"/after-head", "/mid-body"}) {
    OpenRequest r(server.port(), "GET", path);
    SetReceiveTimeout(r.request, 300);
    ASSERT_TRUE(r.Send()) << path << ": the head arrived, so the send succeeds";
    EXPECT_EQ(200u, wintest::StatusCode(r.request));
    DWORD error = 0;
    const std::string body = wintest::ReadBody(r.request, &error);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), error) << path;
    EXPECT_GT(1000u, body.size()) << path;
  }
}

// The final head is due within the receive time-out of the request going
// out, however the server spreads interim answers over it; a head or a body
// may be late, and a body may trickle, each pause within the time-out.
TEST_F(Failures, TheFinalHeadIsDueWithinTheReceiveTimeOut) {
  // Interim answers in three bursts, each pause shorter than the time-out,
  // together longer; the final answer comes last.
  Reply interims = Reply::Ok().StatusLine("HTTP/1.1 100 Continue").StallAfterHeaders(800).StallMidBody(800);
  interims.content_length = false;
  for (int i = 0; i < 40; ++i) interims.body += "HTTP/1.1 100 Continue\r\n\r\n";
  interims.body += "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nlate";
  server.Answer("/interims", interims);
  server.Answer("/trickle", Reply::Ok("patience").StallAfterHeaders(800).StallMidBody(800));
  server.Answer("/late", Reply::Ok("patience").StallBeforeHeaders(200).StallMidBody(200));
  struct Case {
    const char *path;
    DWORD timeout;
    DWORD status;
    const char *body;
  };
  // An interim answer that nothing final follows in time is the response.
  for (const Case &c : {Case{"/interims", 1000, 100, ""}, Case{"/trickle", 1000, 200, "patience"},
                        Case{"/late", 5000, 200, "patience"}}) {
    OpenRequest r(server.port(), "GET", c.path);
    SetReceiveTimeout(r.request, c.timeout);
    ASSERT_TRUE(r.Send()) << c.path << ": " << wintest::LastResponseText();
    EXPECT_EQ(c.status, wintest::StatusCode(r.request)) << c.path;
    DWORD error = 0;
    EXPECT_EQ(c.body, wintest::ReadBody(r.request, &error)) << c.path;
    EXPECT_EQ(0u, error) << c.path;
  }
}

TEST_F(Failures, TheReceiveTimeOutCountsFromTheReadNotFromTheLastByte) {
  server.Answer("*", Reply::Ok(std::string(1000, 'p')).StallMidBody(1500));
  OpenRequest r(server.port(), "GET", "/");
  SetReceiveTimeout(r.request, 1000);
  ASSERT_TRUE(r.Send());
  // The caller is busy elsewhere for a while; the server's pause began when
  // the head went out, but the read starts its own wait.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  DWORD error = 0;
  EXPECT_EQ(std::string(1000, 'p'), wintest::ReadBody(r.request, &error));
  EXPECT_EQ(0u, error);
}

// Every way a body can be cut short ends in an error from the reads, after
// the bytes that did arrive, never in a clean end; a head whose framing
// cannot be trusted fails the send.
TEST_F(Failures, NoBodyCutShortEndsCleanly) {
  const std::string body(20000, 'c');
  const std::string ok = "HTTP/1.1 200 OK\r\n";
  const std::string chunked = ok + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n";
  struct Case {
    const char *path;
    Reply reply;
    bool sent;        // whether the head is good enough for the send to succeed
    DWORD error;      // of the read (or of the send)
    std::string got;  // what the reads hand out first
    const char *why;  // in the description
  };
  const Case cases[] = {
      {"/reset-early", Reply::Ok(body).CutAfter(0, ConnectionEnd::Reset), false, ERROR_INTERNET_CONNECTION_RESET,
       "", "reset"},
      {"/reset-mid", Reply::Ok(body).CutAfter(5000, ConnectionEnd::Reset), true, ERROR_INTERNET_CONNECTION_RESET,
       "", "reset"},  // a reset may take unread bytes with it
      {"/close-mid", Reply::Ok(body).CutAfter(5000, ConnectionEnd::Close), true, ERROR_INTERNET_CONNECTION_ABORTED,
       "c", "remaining"},
      {"/short-length", Reply::Raw(ok + "Content-Length: 100\r\n\r\nhello"), true,
       ERROR_INTERNET_CONNECTION_ABORTED, "hello", "95 bytes remaining"},
      {"/bad-chunk", Reply::Raw(chunked + "zz\r\nmore\r\n0\r\n\r\n"), true, ERROR_HTTP_INVALID_SERVER_RESPONSE,
       "hello", "chunked"},
      {"/huge-chunk", Reply::Raw(chunked + "FFFFFFFFFFFFFFFFFFFFFFFF\r\nmore"), true,
       ERROR_HTTP_INVALID_SERVER_RESPONSE, "hello", "chunked"},
      {"/negative-chunk", Reply::Raw(chunked + "-5\r\nmore\r\n0\r\n\r\n"), true,
       ERROR_HTTP_INVALID_SERVER_RESPONSE, "hello", "chunked"},
      {"/no-last-chunk", Reply::Raw(chunked), true, ERROR_INTERNET_CONNECTION_ABORTED, "hello", "remaining"},
      {"/close-in-chunk", Reply::Raw(chunked + "10\r\nabc"), true, ERROR_INTERNET_CONNECTION_ABORTED, "helloabc",
       "remaining"},
      {"/negative-length", Reply::Raw(ok + "Content-Length: -5\r\n\r\nhello"), false,
       ERROR_HTTP_INVALID_SERVER_RESPONSE, "", "Content-Length"},
      {"/huge-length", Reply::Raw(ok + "Content-Length: 99999999999999999999999\r\n\r\nhello"), false,
       ERROR_HTTP_INVALID_SERVER_RESPONSE, "", "Content-Length"},
      {"/word-length", Reply::Raw(ok + "Content-Length: five\r\n\r\nhello"), false,
       ERROR_HTTP_INVALID_SERVER_RESPONSE, "", "Content-Length"},
      {"/two-lengths", Reply::Raw(ok + "Content-Length: 5\r\nContent-Length: 10\r\n\r\nhellohello"), false,
       ERROR_HTTP_INVALID_SERVER_RESPONSE, "", "Content-Length"},
      {"/listed-lengths", Reply::Raw(ok + "Content-Length: 5, 10\r\n\r\nhellohello"), false,
       ERROR_HTTP_INVALID_SERVER_RESPONSE, "", "Content-Length"},
      // The controls: lengths that agree, and a body that ends with the connection.
      {"/same-lengths", Reply::Raw(ok + "Content-Length: 5\r\nContent-Length: 5\r\n\r\nhello"), true, 0, "hello",
       ""},
      {"/close-delimited", Reply::Raw(ok + "\r\nhello"), true, 0, "hello", ""},
  };
  for (const Case &c : cases) {
    server.Answer(c.path, c.reply);
    OpenRequest r(server.port(), "GET", c.path);
    DWORD error = 0;
    std::string got;
    if (r.Send()) {
      EXPECT_TRUE(c.sent) << c.path;
      got = wintest::ReadBody(r.request, &error);
    } else {
      error = GetLastError();
      EXPECT_FALSE(c.sent) << c.path << ": " << wintest::LastResponseText();
    }
    EXPECT_EQ(c.error, error) << c.path;
    EXPECT_EQ(c.got, got.substr(0, c.got.size())) << c.path << ": the bytes that arrived come first";
    if (c.error == 0) {
      EXPECT_EQ(c.got, got) << c.path;
      continue;
    }
    EXPECT_GT(c.sent ? body.size() : 1, got.size()) << c.path;
    const std::string text = wintest::LastResponseText();
    EXPECT_NE(std::string::npos, text.find(c.why)) << c.path << ": " << text;
    // The failure stays: asking again does not turn it into an end of body.
    if (c.sent) {
      DWORD available = 1;
      EXPECT_FALSE(InternetQueryDataAvailable(r.request, &available, 0, 0)) << c.path;
      EXPECT_EQ(c.error, GetLastError()) << c.path;
    }
  }
}

// A read or query waiting for bytes fails as soon as its request handle is
// closed, in either kind of session, instead of waiting for the server.
TEST_F(Failures, ClosingTheRequestEndsAWaitingReadAtOnce) {
  server.Answer("*", Reply::Ok(std::string(1000, 'w')).StallMidBody(15000));
  for (const bool async : {false, true}) {
    for (const bool query : {false, true}) {
      wintest::Handle session(InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
                                            async ? INTERNET_FLAG_ASYNC : 0));
      wintest::Handle connection(InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(server.port()),
                                                  nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
      HINTERNET request = HttpOpenRequestA(connection, "GET", "/", nullptr, nullptr, nullptr, 0, 0);
      ASSERT_NE(nullptr, request);
      SetReceiveTimeout(request, 30000);
      const BOOL sent = HttpSendRequestA(request, nullptr, 0, nullptr, 0);
      ASSERT_TRUE(sent || (async && GetLastError() == ERROR_IO_PENDING)) << GetLastError();
      DWORD error = 0;
      std::string body;
      std::thread reader([&] {
        // Reads until the stall in the middle of the body, then waits there.
        char buffer[4096];
        for (;;) {
          DWORD n = 0;
          const BOOL ok = query ? InternetQueryDataAvailable(request, &n, 0, 0)
                                : InternetReadFile(request, buffer, sizeof buffer, &n);
          if (!ok) {
            error = GetLastError();
            return;
          }
          if (n == 0) return;
          if (query && !InternetReadFile(request, buffer, n, &n)) return;
          body.append(buffer, n);
        }
      });
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      EXPECT_TRUE(InternetCloseHandle(request));
      reader.join();
      EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED), error) << async << query;
      EXPECT_GT(1000u, body.size()) << "the wait ended before the server's pause did";
    }
  }
}

TEST_F(Failures, ClosingTheRequestWhileASendWaitsCancelsIt) {
  server.Answer("*", Reply::Ok("x").StallBeforeHeaders(10000));
  OpenRequest r(server.port(), "GET", "/");
  HINTERNET request = r.request.release();
  DWORD error = 0;
  std::thread sender([&] {
    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) error = GetLastError();
  });
  ASSERT_TRUE(server.WaitForRequests(1));
  EXPECT_TRUE(InternetCloseHandle(request));
  sender.join();
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED), error);
}

}  // namespace
