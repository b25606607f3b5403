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

TEST(Failures, ARefusedConnectionShowsWhenTheRequestIsSent) {
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

TEST(Failures, AServerSilentBeforeItsAnswerTimesTheSendOut) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("*", Reply::Ok("late").StallBeforeHeaders(5000));
  OpenRequest r(server.port(), "GET", "/");
  SetReceiveTimeout(r.connection, 300);  // set on the connection, inherited by its request
  EXPECT_FALSE(r.Send());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), GetLastError());
  DWORD code = 0;
  EXPECT_NE(std::string::npos, wintest::LastResponseText(&code).find("300 ms"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), code);
}

TEST(Failures, AStallWithinTheTimeoutIsWaitedFor) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("*", Reply::Ok("patience").StallBeforeHeaders(200).StallMidBody(200));
  OpenRequest r(server.port(), "GET", "/");
  SetReceiveTimeout(r.request, 5000);
  ASSERT_TRUE(r.Send()) << GetLastError();
  EXPECT_EQ("patience", wintest::ReadBody(r.request));
}

TEST(Failures, AStallAfterTheHeadTimesTheReadOut) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
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

TEST(Failures, TheReceiveTimeOutCountsFromTheReadNotFromTheLastByte) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
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

TEST(Failures, ResetsAndAbortsHaveTheirOwnCodes) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  const std::string body(20000, 'c');
  server.Answer("/reset-early", Reply::Ok(body).CutAfter(0, ConnectionEnd::Reset));
  server.Answer("/reset-mid", Reply::Ok(body).CutAfter(5000, ConnectionEnd::Reset));
  server.Answer("/close-mid", Reply::Ok(body).CutAfter(5000, ConnectionEnd::Close));
  {
    OpenRequest r(server.port(), "GET", "/reset-early");
    EXPECT_FALSE(r.Send());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CONNECTION_RESET), GetLastError());
  }
  struct Case {
    const char *path;
    DWORD error;
  };
  for (const Case &c : {Case{"/reset-mid", ERROR_INTERNET_CONNECTION_RESET},
                        Case{"/close-mid", ERROR_INTERNET_CONNECTION_ABORTED}}) {
    OpenRequest r(server.port(), "GET", c.path);
    ASSERT_TRUE(r.Send()) << c.path;
    DWORD error = 0;
    const std::string got = wintest::ReadBody(r.request, &error);
    EXPECT_EQ(c.error, error) << c.path;
    EXPECT_GT(body.size(), got.size()) << c.path;
    EXPECT_EQ(got, body.substr(0, got.size())) << "bytes read before the failure are the body's own";
  }
}

TEST(Failures, ClosingTheRequestWhileASendWaitsCancelsIt) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
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
