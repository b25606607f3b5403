// What the request configuration tests share: a client's log lines and a
// client bound to the internet-library double.
#ifndef ZEM_TESTS_CLIENT_CONFIG_TEST_UTIL_H
#define ZEM_TESTS_CLIENT_CONFIG_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ZemHttp.h"
#include "tests/double/double_fixture.h"

namespace zemtest {

// An address no process can read or write (outside the user address space):
// what a caller's stray pointer looks like to a member.
inline char *UnreadableAddress() { return reinterpret_cast<char *>(static_cast<uintptr_t>(0xFFFF000000001000ULL)); }

// Every service log line of the client, in order.
inline std::vector<std::string> LogLines(CZemHttp &http) {
  std::vector<std::string> lines;
  for (int n = 1; n <= http.GetDbgLineCount(); ++n) {
    std::string line(static_cast<size_t>(http.GetDebugLine(nullptr, n, 0)) + 1, '\0');
    http.GetDebugLine(&line[0], n, 0);
    line.resize(line.size() - 1);
    lines.push_back(line);
  }
  return lines;
}

// A client without a library (the WinHTTP choice binds nothing), logging,
// with the load failure of its construction forgotten.
class LoggingClient : public ::testing::Test {
 protected:
  LoggingClient() {
    http.SetError(0, nullptr, 0);
    http.EnableLogging(500, 50, 50);
  }
  CZemHttp http{0, 0, 0, 1};
};

// A client of the default constructor, which binds WININET.DLL by its bare
// name: the real internet library, always built, so failing to load it is a
// fault of its own.
class RealLibraryClient : public ::testing::Test {
 protected:
  void SetUp() override {
    if (http.CheckSystemAvailable() == 0) {
      FAIL() << "WININET.DLL could not be loaded (it is always built): " << http.szLastError;
    }
  }
  CZemHttp http;
};

// A client bound to the scripted internet library, logging; the double's
// record starts empty after binding.
class ClientOnDouble : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wininet.ok());
    ASSERT_EQ(http.SetModulePath(wininet.folder().c_str()), 1);
    ASSERT_EQ(http.LoadWinInet(), 1) << http.szLastError;
    http.EnableLogging(500, 50, 50);
    wininet.ctl().Reset();
  }
  WinInetDouble wininet;
  CZemHttp http{0, 0, 0, 1};
};

}  // namespace zemtest

#endif  // ZEM_TESTS_CLIENT_CONFIG_TEST_UTIL_H
