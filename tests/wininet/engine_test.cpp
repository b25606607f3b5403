// The engine's driving role shared between callers: whoever waits gets its
// answer whether it drives, waits while another caller drives, or waits
// beside an asynchronous transfer the engine thread drives; a caller whose
// time is up gives up while another keeps driving.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "internet_test_util.h"
#include "loopback_servers.h"

namespace {

using zemtest::Reply;

struct Caller {
  const char *path;
  DWORD receive_timeout;  // ms
  DWORD error;            // expected: 0 for the whole body
};

struct Case {
  const char *what;
  bool async_beside;  // an asynchronous transfer runs meanwhile
  std::vector<Caller> callers;
};

// One synchronous request on its own connection of the shared session:
// sent, its body read whole. Returns the first failure, or 0.
DWORD FetchOn(HINTERNET session, int port, const Caller &caller, std::string *body) {
  wintest::Handle connection(InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr,
                                              nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  wintest::Handle request(HttpOpenRequestA(connection, "GET", caller.path, nullptr, nullptr, nullptr, 0, 0));
  DWORD timeout = caller.receive_timeout;
  if (!InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout)) return GetLastError();
  if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) return GetLastError();
  DWORD error = 0;
  *body = wintest::ReadBody(request, &error);
  return error;
}

TEST(Engine, CallersSharingTheDrivingRoleAllGetTheirAnswers) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/quick", Reply::Ok("quick").StallBeforeHeaders(300));
  server.Answer("/slow", Reply::Ok("slow").StallBeforeHeaders(1000).StallMidBody(300));
  server.Answer("/late", Reply::Ok("late").StallBeforeHeaders(8000));
  server.Answer("/beside", Reply::Ok(std::string(64 * 1024, 'b')).StallBeforeHeaders(200).StallMidBody(1200));
  const Case cases[] = {
      {"two synchronous callers waiting at once", false, {{"/slow", 10000, 0}, {"/quick", 10000, 0}}},
      {"a synchronous caller beside an asynchronous transfer", true, {{"/quick", 10000, 0}}},
      {"a caller that times out while another drives", false,
       {{"/slow", 10000, 0}, {"/late", 300, ERROR_INTERNET_TIMEOUT}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    wintest::Handle async_session, async_connection, async_request;
    if (c.async_beside) {
      async_session.reset(InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC));
      async_connection.reset(InternetConnectA(async_session, "127.0.0.1", static_cast<INTERNET_PORT>(server.port()),
                                              nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
      async_request.reset(HttpOpenRequestA(async_connection, "GET", "/beside", nullptr, nullptr, nullptr, 0, 0));
      ASSERT_FALSE(HttpSendRequestA(async_request, nullptr, 0, nullptr, 0));
      ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
    }
    wintest::Handle session(InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    std::vector<DWORD> errors(c.callers.size(), ~0u);
    std::vector<std::string> bodies(c.callers.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < c.callers.size(); ++i) {
      threads.emplace_back([&, i] { errors[i] = FetchOn(session, server.port(), c.callers[i], &bodies[i]); });
    }
    for (std::thread &thread : threads) thread.join();
    for (size_t i = 0; i < c.callers.size(); ++i) {
      const Caller &caller = c.callers[i];
      EXPECT_EQ(caller.error, errors[i]) << caller.path;
      if (caller.error == 0) {
        EXPECT_EQ(std::string(caller.path + 1), bodies[i]);
      }
    }
    if (c.async_beside) {
      DWORD error = 0;
      EXPECT_EQ(std::string(64 * 1024, 'b'), wintest::ReadBody(async_request, &error));
      EXPECT_EQ(0u, error);
    }
  }
}

}  // namespace
