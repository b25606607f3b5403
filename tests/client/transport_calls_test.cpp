// Request execution against the scripted internet library: the calls each
// step makes, and the failures no real server can produce.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ZemHttp.h"
#include "tests/client/transport_test_util.h"

namespace {

using zemtest::LogLines;

HINTERNET Fake(uintptr_t n) { return reinterpret_cast<HINTERNET>(n); }

class Execution : public zemtest::ClientOnDouble {
 protected:
  // The handles each InternetCloseHandle call closed, in order.
  std::vector<uint64_t> Closed() {
    std::vector<uint64_t> closed;
    for (const auto &call : wininet.ctl().CallsTo("InternetCloseHandle")) closed.push_back(call.Num(0));
    return closed;
  }
  zemtest::Notifications seen;
};

TEST_F(Execution, AccessTypeFollowsTheProxyMethodLetter) {
  struct Case {
    const char *pszLetter;
    const char *pszNames;
    DWORD dwExpected;
  } cases[] = {{"3", "proxy:8080", INTERNET_OPEN_TYPE_PROXY}, {"3", "", INTERNET_OPEN_TYPE_DIRECT},
               {"0", "", INTERNET_OPEN_TYPE_PRECONFIG},        {"4", "", INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY},
               {"M", "", INTERNET_OPEN_TYPE_PRECONFIG},        {"W", "", INTERNET_OPEN_TYPE_PROXY}};
  for (const Case &c : cases) {
    wininet.ctl().Reset();
    wininet.ctl().On("InternetQueryOptionA").ProxyInfo(INTERNET_OPEN_TYPE_PROXY, "lib:3128", "<local>");
    http.CloseInternetHandles(7);
    http.SetHttpDWS(INTERNET_OPEN_TYPE_PRECONFIG, 5);
    http.SetHttpStr(c.pszLetter, 5);
    http.SetHttpStr(c.pszNames, 7);
    ASSERT_NE(http.OpenInternet(nullptr), nullptr) << c.pszLetter;
    const auto open = wininet.ctl().CallsTo("InternetOpenA");
    ASSERT_EQ(open.size(), 1u) << c.pszLetter;
    EXPECT_EQ(open[0].Num(1), c.dwExpected) << "letter " << c.pszLetter << " names \"" << c.pszNames << "\"";
    EXPECT_EQ(open[0].Text(0), "ZEM Data Services");
    if (c.dwExpected == INTERNET_OPEN_TYPE_PROXY) {
      EXPECT_EQ(open[0].Text(2), std::string(c.pszLetter) == "W" ? "lib:3128" : c.pszNames) << c.pszLetter;
    } else {
      EXPECT_TRUE(open[0].IsNull(2) && open[0].IsNull(3)) << "no proxy lists for access type " << c.dwExpected;
    }
  }
}

TEST_F(Execution, CallerHandleIsAdoptedForGoodAndNeverClosed) {
  seen.Attach(http);
  http.SetHandleReleaseMode(7);
  HINTERNET hOwn = http.OpenInternet(nullptr);
  ASSERT_NE(hOwn, nullptr);
  EXPECT_EQ(http.OpenInternet(Fake(0xCA11E4)), Fake(0xCA11E4));
  EXPECT_EQ(Closed(), std::vector<uint64_t>{reinterpret_cast<uintptr_t>(hOwn)})
      << "the handle the object opened itself is closed, not orphaned";
  EXPECT_EQ(http.dwHandleReleaseMode, 3u) << "release of the internet handle is switched off";
  EXPECT_EQ(http.OpenInternet(Fake(0xBEEF00)), Fake(0xCA11E4)) << "a later handle is ignored";
  EXPECT_EQ(http.OpenInternet(nullptr), Fake(0xCA11E4));
  const auto lines = LogLines(http);
  EXPECT_TRUE(zemtest::Has(lines, "Handle release mode not allows InternetOpen called with hOpen parameter."));
  EXPECT_TRUE(zemtest::Has(lines, "Internet handle set from parmeter."));
  EXPECT_TRUE(zemtest::Has(lines, "CZemHttp::OpenInternet( BEEF00)"));
  EXPECT_TRUE(zemtest::Has(lines, "Internet handle already set, parameter ignored."));

  http.hConnect = Fake(0xC0);
  http.hRequest = Fake(0xD0);
  EXPECT_EQ(http.CloseInternetHandles(7), 1);
  EXPECT_EQ(Closed(), (std::vector<uint64_t>{reinterpret_cast<uintptr_t>(hOwn), 0xD0, 0xC0}))
      << "request, then connection; the caller's handle stays";
  EXPECT_EQ(http.hOpen, Fake(0xCA11E4));
}

TEST_F(Execution, ReleaseByMaskClosesChildFirstAndOnlyWhatTheMaskNames) {
  struct Case {
    DWORD dwMask;
    std::vector<uint64_t> closed;
  } cases[] = {{1, {0xD0}}, {2, {0xD0, 0xC0}}, {4, {0xD0, 0xC0, 0xB0}}, {0, {0xD0, 0xC0, 0xB0}}};
  for (const Case &c : cases) {
    wininet.ctl().Reset();
    http.hOpen = Fake(0xB0);
    http.hConnect = Fake(0xC0);
    http.hRequest = Fake(0xD0);
    EXPECT_EQ(http.CloseInternetHandles(c.dwMask), 1);
    EXPECT_EQ(Closed(), c.closed) << "mask " << c.dwMask;
    EXPECT_EQ(wininet.ctl().CallsTo("InternetSetStatusCallbackA").size(), c.closed.size())
        << "each handle loses its callback before it is closed";
  }
  EXPECT_EQ(LogLines(http)[LogLines(http).size() - 4], "CZemHttp::CloseInternetHandles( 7 )") << "0 means 7";
  EXPECT_EQ(http.CloseInternetHandles(1), 0) << "nothing held, nothing released";
  EXPECT_EQ(http.CloseInternetHandle(nullptr), 0);
  EXPECT_EQ(http.CloseInternetHandle(reinterpret_cast<void **>(zemtest::UnreadableAddress())), 0);
}

TEST_F(Execution, ConnectionCarriesCredentialsTimeOutAndProxyCredentials) {
  std::strcpy(http.m_ZemProxyInfo.szUserName, "fileuser");
  std::strcpy(http.m_ZemProxyInfo.szPassWord, "filepass");
  std::strcpy(http.m_ZemProxyInfo.szProxyUser, "pu");
  http.m_ZemProxyInfo.bInitialized = 1;
  http.SetHttpUser("explicit");
  http.SetHttpStr("host.example", 2);
  http.SetHttpDWS(1500, 7);
  ASSERT_EQ(http.InternetMakeConnection(Fake(0xB0)), 1);
  const auto connect = wininet.ctl().CallsTo("InternetConnectA");
  ASSERT_EQ(connect.size(), 1u);
  EXPECT_EQ(connect[0].Text(1), "host.example");
  EXPECT_EQ(connect[0].Text(3), "explicit") << "an explicit user name wins over the settings file";
  EXPECT_EQ(connect[0].Text(4), "filepass") << "a missing password comes from the settings file";
  EXPECT_EQ(connect[0].Num(5), static_cast<uint64_t>(INTERNET_SERVICE_HTTP));
  const auto options = wininet.ctl().CallsTo("InternetSetOptionA");
  ASSERT_EQ(options.size(), 2u) << "time-out and proxy user; no empty proxy password";
  EXPECT_EQ(options[0].Num(1), static_cast<uint64_t>(INTERNET_OPTION_RECEIVE_TIMEOUT));
  EXPECT_EQ(options[0].Num(3), 4u);
  EXPECT_EQ(options[1].Num(1), static_cast<uint64_t>(INTERNET_OPTION_PROXY_USERNAME));
  char szTimeoutLine[160];
  std::snprintf(szTimeoutLine, sizeof szTimeoutLine,
                "CZemHttp::InternetMakeConnection - Setting Receive Timeout to 1500 on hConnect(%8.8lX).",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(http.hConnect)));
  const auto lines = LogLines(http);
  EXPECT_TRUE(zemtest::Has(lines, szTimeoutLine)) << "the handle at its full width";
  EXPECT_TRUE(zemtest::Has(lines, "CZemHttp::InternetMakeConnection setting 1 proxy options SUCCEEDED"));

  wininet.ctl().Reset();
  EXPECT_EQ(http.InternetMakeConnection(Fake(0xB0)), 1) << "release mode 1 keeps the connection";
  EXPECT_TRUE(wininet.ctl().Calls().empty());
  http.CloseInternetHandles(2);
  EXPECT_EQ(http.InternetMakeConnection(nullptr), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::InternetMakeConnection - Valid internet handle must be passed in");
  EXPECT_EQ(http.dwLastOSError, 87u);
}

TEST_F(Execution, FailingOpenRecordsTheLibrarysNumberAndNotifiesIt) {
  seen.Attach(http);
  wininet.ctl().On("InternetOpenA").Fail(ERROR_INTERNET_INTERNAL_ERROR);
  wininet.ctl().On("InternetGetLastResponseInfoA").Response(0, "");
  EXPECT_EQ(http.Get("http://h/a", nullptr), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::OpenInternet - Unknown Exception (12004)");
  EXPECT_EQ(seen.events.back(), "S CZemHttp::OpenInternet - Unknown Exception (12004)");
  EXPECT_EQ(seen.events[seen.events.size() - 2], "R 32 12004");

  seen.events.clear();
  wininet.ctl().On("InternetGetLastResponseInfoA").Response(12031, "reset by peer");
  EXPECT_EQ(http.Get(nullptr, nullptr), 0);
  EXPECT_EQ(http.dwLastInetError, 12031u) << "the response number replaces the open's error";
  EXPECT_EQ(seen.events[seen.events.size() - 2], "R 32 12031");
  EXPECT_TRUE(zemtest::Has(LogLines(http), "reset by peer"));
  EXPECT_TRUE(zemtest::Has(LogLines(http), "CZemHttp::InternetRun() - Opening Internet failed"));
}

TEST_F(Execution, FailingRequestOpenSendsNothingAndKeepsTheBody) {
  seen.Attach(http);
  wininet.ctl().On("HttpOpenRequestA").Fail(ERROR_INTERNET_INVALID_OPERATION);
  wininet.ctl().On("InternetGetLastResponseInfoA").Response(12110, "server said no");
  EXPECT_EQ(http.Post("http://h/a", "body", 4), 0);
  EXPECT_EQ(http.dwLastInetError, 12110u);
  EXPECT_STREQ(http.szLastError, "server said no");
  EXPECT_EQ(seen.events[seen.events.size() - 2], "R 32 12110");
  EXPECT_TRUE(wininet.ctl().CallsTo("HttpSendRequestA").empty());
  EXPECT_EQ(http.cbPostData, 4u) << "the body stays pending for the next send";
}

TEST_F(Execution, UnreadableStatusOrContentLengthAreHandledWithoutASecondGuess) {
  wininet.ctl().On("HttpQueryInfoA").Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  EXPECT_EQ(http.Get("http://h/a", nullptr), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::GetHttpStatusCode FAILED, error# 12019");
  EXPECT_EQ(http.QueryHttpStatusCode(), 0u);

  // A length no 32-bit field can hold is refused before any buffer is sized
  // from it.
  wininet.ctl().Reset();
  wininet.ctl().On("HttpQueryInfoA").Do([](const zemdouble::Invocation &inv) -> uint64_t {
    const DWORD dwLevel = inv.Dword(1) & HTTP_QUERY_HEADER_MASK;
    if (dwLevel == HTTP_QUERY_STATUS_CODE || dwLevel == HTTP_QUERY_CONTENT_LENGTH) {
      *inv.Ptr<DWORD>(2) = dwLevel == HTTP_QUERY_STATUS_CODE ? 200 : 0xFFFFFFFF;
      return TRUE;
    }
    SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
    return FALSE;
  });
  wininet.ctl().On("InternetQueryDataAvailable").Data("abc");
  EXPECT_EQ(http.Get(nullptr, nullptr), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::DataDump() - exception 8");
  EXPECT_TRUE(wininet.ctl().CallsTo("InternetReadFile").empty());
}

// A download cut short keeps what arrived, still counts as answered, and
// leaves its error in the record as well as in the notification: after the
// run the caller can tell a cut body from a whole one.
TEST_F(Execution, DownloadCutShortKeepsItsBytesAndRecordsWhy) {
  seen.Attach(http);
  struct Case {
    const char *pszFailing;
    DWORD dwError;
    const char *pszText;
  } cases[] = {
      {"InternetQueryDataAvailable", ERROR_INTERNET_CONNECTION_ABORTED,
       "CZemHttp::Datadump() Error 12030 calling InternetQueryDataAvailable."},
      {"InternetReadFile", ERROR_INTERNET_CONNECTION_RESET,
       "CZemHttp::Datadump() Error 12031 calling InternetReadFile."},
  };
  for (const Case &c : cases) {
    wininet.ctl().Reset();
    seen.events.clear();
    http.SetError(0, nullptr, 0);
    // "abc" arrives; then the next query, or the read after it, fails.
    const bool bQueryFails = std::string(c.pszFailing) == "InternetQueryDataAvailable";
    zemdouble::Script &query = wininet.ctl().On("InternetQueryDataAvailable").Data("abc").Then();
    zemdouble::Script &read = wininet.ctl().On("InternetReadFile").Data("abc");
    if (bQueryFails) {
      query.Fail(c.dwError);
    } else {
      query.Data("def");
      read.Then().Fail(c.dwError);
    }
    EXPECT_EQ(http.Get("http://h/a", nullptr), 1) << c.pszFailing;
    ASSERT_EQ(http.GetRawData(nullptr), 3u) << c.pszFailing;
    EXPECT_EQ(std::string(static_cast<const char *>(http.pvResponse), 3), "abc");
    EXPECT_EQ(http.GetLastInternetError(), c.dwError) << c.pszFailing;
    EXPECT_STREQ(http.szLastError, c.pszText);
    EXPECT_TRUE(zemtest::Has(seen.events, "R 32 " + std::to_string(c.dwError))) << c.pszFailing;
  }
}

TEST_F(Execution, HeldRequestIsClosedBeforeANewOneWhenReleaseBitZeroIsClear) {
  http.SetURL("http://h/a");
  http.SetHandleReleaseMode(0);
  ASSERT_EQ(http.Get(nullptr, nullptr), 1);
  const HINTERNET hFirst = http.hRequest;
  wininet.ctl().Reset();
  ASSERT_EQ(http.Get(nullptr, nullptr), 1);
  EXPECT_TRUE(zemtest::Has(LogLines(http), "Existing HTTP request handle wil be resused"));
  const auto names = wininet.ctl().Names();
  const auto close = std::find(names.begin(), names.end(), "InternetCloseHandle");
  ASSERT_NE(close, names.end()) << "the held request handle is not left open";
  EXPECT_LT(close - names.begin(), std::find(names.begin(), names.end(), "HttpOpenRequestA") - names.begin());
  EXPECT_EQ(Closed(), std::vector<uint64_t>{reinterpret_cast<uintptr_t>(hFirst)});
}

TEST_F(Execution, RequestLengthSetByNumberNeverReachesPastTheBody) {
  http.SetPostData("12345", 5);
  http.SetHttpDWS(1000, 4);
  EXPECT_EQ(http.Post("http://h/a", nullptr, 0), 1);
  const auto send = wininet.ctl().CallsTo("HttpSendRequestA");
  ASSERT_EQ(send.size(), 1u);
  EXPECT_EQ(send[0].Text(3), "12345");
  EXPECT_EQ(send[0].Num(4), 5u);
}

TEST(ExecutionWithoutLibrary, EachStepFailsAsItsCaughtFaultWould) {
  CZemHttp http(0, 0, 0, 1);
  http.EnableLogging(200, 50, 50);
  zemtest::Notifications seen;
  seen.Attach(http);
  EXPECT_EQ(http.Get("http://h/a", nullptr), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::OpenInternet - Unknown Exception (127)");
  EXPECT_EQ(seen.events[seen.events.size() - 2], "R 32 127");

  EXPECT_EQ(http.InternetMakeConnection(Fake(0xB0)), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::InternetMakeConnection - Failed Error: 127.");
  http.hRequest = Fake(0xD0);
  EXPECT_EQ(http.GetHttpStatusCode(), 0u);
  EXPECT_STREQ(http.szLastError, "CZemHttp::GetHttpStatusCode FAILED, error# 127");
  EXPECT_EQ(http.DataDump(), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::DataDump() - exception 127");
  char *pszHeaders = nullptr;
  EXPECT_EQ(http.GetHttpResponseHeaders(reinterpret_cast<void **>(&pszHeaders), 0), 0u);
  EXPECT_EQ(http.dwLastOSError, 127u);
  http.hRequest = nullptr;
}

}  // namespace
