// What the request execution, verb and debug log tests share: a client on
// the real internet library next to a scripted loopback server, and a
// recorder for the two notification procedures.
#ifndef ZEM_TESTS_CLIENT_TRANSPORT_TEST_UTIL_H
#define ZEM_TESTS_CLIENT_TRANSPORT_TEST_UTIL_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZemHttp.h"
#include "loopback_servers.h"
#include "tests/client/config_test_util.h"

namespace zemtest {

// Both procedures of a client, recording what reaches them: "R <code>
// <value>" for the result procedure, "S <text>" for the status procedure,
// each checked for its own user pointer and the connection number.
class Notifications {
 public:
  void Attach(CZemHttp &http) {
    http.SetNotifyResultProc(&Notifications::Result, &result_tag_);
    http.SetNotifyStatusProc(&Notifications::Status, &status_tag_);
    self_ = this;
  }
  std::vector<std::string> events;
  INT_PTR connection = -1;

 private:
  static void CALLBACK Result(void *pv, int nCode, INT_PTR nSecond, INT_PTR nValue) {
    EXPECT_EQ(pv, &self_->result_tag_) << "the result procedure gets its own user pointer";
    self_->connection = nSecond;
    self_->events.push_back("R " + std::to_string(nCode) + " " + std::to_string(nValue));
  }
  static void CALLBACK Status(void *pv, int nCode, INT_PTR nSecond, INT_PTR nValue) {
    EXPECT_EQ(pv, &self_->status_tag_) << "the status procedure gets its own user pointer";
    EXPECT_EQ(nCode, NOTIFY_STATUS_TEXT);
    self_->connection = nSecond;
    self_->events.push_back("S " + std::string(reinterpret_cast<const char *>(nValue)));
  }
  static inline Notifications *self_ = nullptr;
  int result_tag_ = 0;
  int status_tag_ = 0;
};

// Whether a list of lines or events holds this one.
inline bool Has(const std::vector<std::string> &items, const std::string &item) {
  for (const std::string &each : items) {
    if (each == item) return true;
  }
  return false;
}

// The body of the last answer, as GetRawData copies it.
inline std::string Body(CZemHttp &http) {
  std::string body(http.GetRawData(nullptr), '\0');
  http.GetRawData(&body[0]);
  return body;
}

// Log lines with the clock texts of the support library blanked out, so a
// run's log can be compared line for line.
inline std::vector<std::string> TimelessLog(CZemHttp &http) {
  auto isClock = [](const std::string &s, size_t i) {
    static const char kShape[] = "99:99:99";
    for (size_t k = 0; k < 8; ++k) {
      const char ch = s[i + k];
      if (kShape[k] == ':' ? ch != ':' : (ch < '0' || ch > '9')) return false;
    }
    return true;
  };
  std::vector<std::string> lines = LogLines(http);
  for (std::string &line : lines) {
    for (size_t i = 0; i + 8 <= line.size(); ++i) {
      if (isClock(line, i)) line.replace(i, 8, "T");
    }
  }
  return lines;
}

// A logging client on the real internet library and a scripted server; the
// proxy method is direct, so no proxy from the environment stands between.
class RealClient : public ::testing::Test {
 protected:
  void SetUp() override {
    if (http.CheckSystemAvailable() == 0) FAIL() << "WININET.DLL could not be loaded (it is always built): " << http.szLastError;
    ASSERT_TRUE(server.ok());
    http.EnableLogging(2000, 200, 200);
    http.SetHttpStr("1", 5);
  }
  std::string Url(const std::string &path) const { return server.Url(path); }
  ScriptedServer server;
  CZemHttp http{0, 0, 0, 0};
};

}  // namespace zemtest

#endif  // ZEM_TESTS_CLIENT_TRANSPORT_TEST_UTIL_H
