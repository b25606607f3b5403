// Synchronous runs against real servers on 127.0.0.1: what goes on the wire,
// the answer handed back, the outcome class, the notices and the status log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ZemSys.h"
#include "loopback_servers.h"
#include "under_wine.h"
#include "upload_test_util.h"

namespace {

using uploadtest::Notice;
using uploadtest::NoticeLog;
using uploadtest::StatusLinesWithoutTime;
using uploadtest::Task;
using zemtest::Reply;

constexpr INT_PTR kSecond = 0x5EC0;

std::string ControlText(HWND hDialog, int nId) {
  char szText[128] = "";
  GetDlgItemTextA(hDialog, nId, szText, sizeof szText);
  return szText;
}

std::string ErrorLine(DWORD dwError) { return std::string("-- ") + SysErrorText(dwError, 1); }

TEST(SyncRun, PostsTheRecordAndHandsBackTheAnswer) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/inquiry", Reply::Ok("answer=yes"));
  NoticeLog notices;
  uploadtest::WatchedTask task(1, notices, kSecond, server.port());
  ASSERT_TRUE(task.created);
  ASSERT_EQ(1, ScSetConnStrings(task.doc, SC_STR_ADD_HEADER, "X-PASSWORD: secret"));
  // The progress dialog a caller may show: the run writes step and result
  // into its controls 404 and 505.
  const HWND hDialog = uploadtest::ProgressDialog();
  ASSERT_NE(nullptr, hDialog);
  EXPECT_EQ("Initializing", ControlText(hDialog, 404));
  task.ctx()->hWnd = hDialog;

  EXPECT_EQ(1, ScraRunCompany(task.doc));

  const auto got = server.Received();
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ("POST", got[0].method);
  EXPECT_EQ("/inquiry", got[0].target);
  EXPECT_EQ("127.0.0.1", got[0].Header("Host"));
  EXPECT_EQ("ZEM Data Services", got[0].Header("Referer")) << "the user agent text goes out as the referrer";
  EXPECT_EQ("application/x-www-form-urlencoded", got[0].Header("Content-Type"));
  EXPECT_EQ("14", got[0].Header("Content-length"));
  EXPECT_EQ("no-cache", got[0].Header("Cache-control"));
  EXPECT_EQ("secret", got[0].Header("X-PASSWORD")) << "only the log line is masked";
  EXPECT_EQ("name=Ann&id=42", got[0].body);

  EXPECT_EQ("answer=yes", task.Answer());
  EXPECT_EQ(task.response, ScQueryTuRspPtr(task.doc));
  EXPECT_EQ(static_cast<char *>(task.response)[10], '\0') << "the answer is NUL-terminated";
  EXPECT_EQ(SC_OUTCOME_SUCCESS, uploadtest::Field(task.ctx()->dwResultFlags));
  EXPECT_EQ("Closing", ControlText(hDialog, 404));
  EXPECT_EQ("-- Started", ControlText(hDialog, 505));

  const std::vector<std::string> expected = uploadtest::Concat({{
      "-- Success",
      "<time> Create Records",
      "-- Success",
      "-- Upload Host name set to 127.0.0.1",
      "-- Server Application name set to /inquiry",
      "-- Upload Server port set to " + std::to_string(server.port()) + ".",
      "-- Upload Server HTTP Flags set to 71315456.",
      "-- Header Added: X-PASSWORD: secret",
  }, uploadtest::DirectOpenLines(), {
      "<time> Internet Connect",
      "-- Started",
      "<time> Sending Request",
      "-- Started",
      "-- Creating HTTP Request handle",
      "<time> Internet Open Request",
      "-- Started",
      "-- SendInquiryRecord() - Started",
      "-- HttpAddRequestHeaders(HOST: 127.0.0.1)",
      "-- HttpAddRequestHeaders(Content-Type: application/x-www-form-urlencoded)",
      "-- HttpAddRequestHeaders(X-PASSWORD:********",
      "-- HttpAddRequestHeaders(Content-length: 14)",
      "-- HttpAddRequestHeaders(Cache-control: no-cache)",
      "-- SendInquiryRecord() - Done",
      "-- Processing",
      "-- Getting internet status code.",
      "-- Checking Status Code (Pass 0)",
      "-- Status Code Pass 200 received",
      "<time> Receiving Header",
      "-- Started",
      "-- HTTP_QUERY_CONTENT_LENGTH = 10 ",
      "-- HTTP_STATUS_CODE RECEIVED (200) ",
      "<time> Receiving Data",
      "-- Started",
      "<time> Receiving Data",
      "-- Started",
      "-- DataDump() Started ",
      "-- Downloaded 10 of 10",
      "<time> Closing",
      "-- Success",
      "-- GetInquiryResult(), succeeded",
      "-- Success",
      "<time> Closing",
      "-- Started",
      "-- Shutting down internet connections.",
      "-- Closing down Http Request handle.",
      "-- Closing down Internet Connection handle.",
      "-- Closing down Internet application handle.",
  }});
  EXPECT_EQ(uploadtest::Joined(expected), uploadtest::Joined(StatusLinesWithoutTime(task.doc)));

  ASSERT_EQ(1, ScraCloseTask(task.doc));
  EXPECT_EQ(nullptr, task.response) << "the release frees the answer and clears the caller's pointer";
  const std::vector<Notice> expectedNotices = {
      {NOTIFY_PROGRESS, kSecond, 8}, {NOTIFY_COMPLETE, kSecond, 0}, {NOTIFY_RELEASED, kSecond, 0}};
  EXPECT_EQ(expectedNotices, notices.Notices()) << uploadtest::Describe(notices.Notices());
  DestroyWindow(hDialog);
}

TEST(SyncRun, OutcomeClassFollowsTheStatusCode) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  struct Case {
    int status;
    DWORD outcome;
    INT_PTR released;  // the value of the release notice
  };
  const Case cases[] = {{200, SC_OUTCOME_SUCCESS, 0},
                        {404, SC_OUTCOME_DENIED, static_cast<INT_PTR>(SC_OUTCOME_DENIED)},
                        {503, SC_OUTCOME_SERVER, static_cast<INT_PTR>(SC_OUTCOME_SERVER)}};
  for (const Case &c : cases) {
    server.Answer("/inquiry", Reply::Status(c.status, "body of " + std::to_string(c.status)));
    NoticeLog notices;
    {
      uploadtest::WatchedTask task(2, notices, kSecond, server.port());
      ASSERT_TRUE(task.created);
      EXPECT_EQ(1, ScraRunCompany(task.doc));
      EXPECT_EQ(c.outcome, uploadtest::Field(task.ctx()->dwResultFlags)) << "status " << c.status;
      EXPECT_EQ(static_cast<DWORD>(c.status), uploadtest::Field(task.ctx()->dwStatusCode));
      EXPECT_EQ("body of " + std::to_string(c.status), task.Answer()) << "every answer with data is handed back";
      const auto lines = StatusLinesWithoutTime(task.doc);
      EXPECT_EQ(c.status != 200, uploadtest::HasLine(lines, "-- GetInquiryResult(), Failed")) << "status " << c.status;
    }
    const auto got = notices.Notices();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ((Notice{NOTIFY_RELEASED, kSecond, c.released}), got.back()) << uploadtest::Describe(got);
  }
}

TEST(SyncRun, SendsThreeTimesWhileTheServerAnswersNoContent) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/inquiry", Reply::Status(204));
  Task task(3);
  ASSERT_TRUE(task.created);
  task.AimAt(server.port());
  // A length beyond the data is taken; no more than the data is sent.
  ASSERT_EQ(1, ScSetConnDWord(task.doc, SC_DW_DATA_LENGTH, 1000));
  EXPECT_EQ(1, ScraRunCompany(task.doc));
  EXPECT_EQ(3u, server.RequestCount()) << "one send and two more attempts";
  EXPECT_EQ("name=Ann&id=42", server.Received()[0].body);
  EXPECT_EQ("14", server.Received()[0].Header("Content-length"));
  const auto lines = StatusLinesWithoutTime(task.doc);
  EXPECT_EQ(2, std::count(lines.begin(), lines.end(), "<time> Retry Sending Request Retry"));
  EXPECT_EQ(3, std::count(lines.begin(), lines.end(), "-- Status Code Pass 204 received"));
  EXPECT_EQ(0, std::count(lines.begin(), lines.end(), "<time> Receiving Header")) << "no data is read after a 204";
  EXPECT_EQ(1u, task.ctx()->dwRetryFlags & 1);
  EXPECT_EQ(nullptr, task.response);
  EXPECT_EQ("-- Shutting down internet connections.", uploadtest::LinesFrom(lines, "<time> Closing").at(2));
}

TEST(SyncRun, FailuresToOpenAndToConnectEndTheRunWithTheirError) {
  zemtest::WineRows rows;
  if (rows.Runs("an unreadable proxy list", zemtest::wine::kProxyListAtOpen)) {
    // A named proxy list the internet library cannot read: no session.
    NoticeLog notices;
    uploadtest::WatchedTask task(4, notices, kSecond, 1);
    ASSERT_TRUE(task.created);
    ScSetConnStrings(task.doc, SC_STR_ACCESS_CHAR, "3");
    ScSetConnStrings(task.doc, SC_STR_PROXY_NAMES, "proxy:notaport");
    EXPECT_EQ(ERROR_INVALID_PARAMETER, ScraRunCompany(task.doc));
    EXPECT_EQ(SC_OUTCOME_OPEN_FAILED, uploadtest::Field(task.ctx()->dwResultFlags));
    const std::vector<std::string> tail = {"-- Opening Internet using Proxy", "-- Error, no internet connection.",
                                           "-- Failed", ErrorLine(ERROR_INVALID_PARAMETER), "-- Failed"};
    EXPECT_EQ(uploadtest::Joined(tail),
              uploadtest::Joined(uploadtest::LinesFrom(StatusLinesWithoutTime(task.doc), tail[0])));
    EXPECT_EQ((std::vector<Notice>{{NOTIFY_ERROR, kSecond, ERROR_INVALID_PARAMETER}}), notices.Notices());
  }
  {
    // No host name: no connection.
    Task task(5);
    ASSERT_TRUE(task.created);
    ScSetConnStrings(task.doc, SC_STR_APP_NAME, "/inquiry");
    EXPECT_EQ(ERROR_INVALID_PARAMETER, ScraRunCompany(task.doc));
    // The internet library's description of the failure may come between.
    auto tail = uploadtest::LinesFrom(StatusLinesWithoutTime(task.doc), "<time> Internet Connect");
    if (tail.size() == 6) tail.erase(tail.begin() + 2);
    const std::vector<std::string> expected = {"<time> Internet Connect", "-- Started", "-- Failed", "<time> Failed",
                                               "-- Failed"};
    EXPECT_EQ(uploadtest::Joined(expected), uploadtest::Joined(tail));
  }
}

// A text bound for the request's head that holds a line break never reaches
// the wire: the call it was meant for fails with 87 before the internet
// library sees it, whichever library that is, and no request goes out.
TEST(SyncRun, LineBreaksInHeadTextsAreRefusedBeforeAnyRequest) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/inquiry", Reply::Ok("answer=yes"));
  const std::string proxy = "127.0.0.1:" + std::to_string(server.port());
  struct Row {
    const char *name;
    int nSetting;
    std::string text;
    bool bNamedProxy;
    int nRun;  // 87 when the session or connection is refused; a refused request is a failed send
  };
  const Row rows[] = {
      {"proxy list", SC_STR_PROXY_NAMES, proxy + "\r\nX-Injected: 1", true, ERROR_INVALID_PARAMETER},
      {"proxy bypass list", SC_STR_PROXY_BYPASS, "<local>\nX-Injected: 1", true, ERROR_INVALID_PARAMETER},
      {"host name", SC_STR_HOST_NAME, "127.0.0.1\r\nX-Injected: 1", false, ERROR_INVALID_PARAMETER},
      {"user name", SC_STR_USER_NAME, "ann\r\nX-Injected: 1", false, ERROR_INVALID_PARAMETER},
      {"password", SC_STR_PASSWORD, "secret\rX-Injected: 1", false, ERROR_INVALID_PARAMETER},
      {"HTTP version", SC_STR_HTTP_VERSION, "HTTP/1.1\r\nX-Injected: 1", false, 1},
      {"referrer", SC_STR_USER_AGENT, "agent\r\nX-Injected: 1", false, 1},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    Task task(7);
    ASSERT_TRUE(task.created);
    task.AimAt(server.port());
    if (row.bNamedProxy) {
      ScSetConnStrings(task.doc, SC_STR_ACCESS_CHAR, "3");
      ScSetConnStrings(task.doc, SC_STR_PROXY_NAMES, proxy.c_str());
    }
    ScSetConnStrings(task.doc, row.nSetting, row.text.c_str());
    EXPECT_EQ(row.nRun, ScraRunCompany(task.doc));
    EXPECT_TRUE(server.Received().empty()) << "a request went out";
    EXPECT_EQ("", task.Answer());
  }
}

// A caller may run a failed task again by setting its result back: a failure
// that repeats is logged once, and its count once a different one follows.
// The error lines also show that the status display kept the network error
// while it wrote to a window without the two controls.
TEST(SyncRun, RepeatedFailureIsLoggedOnceWithItsCount) {
  ZEMTEST_NOT_UNDER_WINE(zemtest::wine::kRequestWithoutConnection);
  const int closed_port = zemtest::ScriptedServer().port();  // stopped again at once
  Task task(6);
  ASSERT_TRUE(task.created);
  task.AimAt(closed_port);
  for (int run = 0; run < 3; ++run) {
    task.ctx()->nResult = SC_RESULT_SUCCESS;
    EXPECT_EQ(1, ScraRunCompany(task.doc)) << "a failed send is no failure of the run itself";
  }
  // PUT names the file, which is not set: no request handle to send on.
  ScSetConnStrings(task.doc, SC_STR_VERB, "PUT");
  task.ctx()->nResult = SC_RESULT_SUCCESS;
  EXPECT_EQ(1, ScraRunCompany(task.doc));

  std::vector<std::string> errors;
  for (const std::string &line : StatusLinesWithoutTime(task.doc)) {
    if (line.rfind("-- SendInquiryRecord(REQUEST_CONTEXT)", 0) == 0 || line.rfind("-- Error ", 0) == 0 ||
        line == ErrorLine(ERROR_INTERNET_CANNOT_CONNECT) || line == ErrorLine(ERROR_INVALID_HANDLE)) {
      errors.push_back(line);
    }
  }
  const std::vector<std::string> expected = {
      ErrorLine(ERROR_INTERNET_CANNOT_CONNECT),
      "-- SendInquiryRecord(REQUEST_CONTEXT) returned FALSE, error #12029.",
      "-- SendInquiryRecord(REQUEST_CONTEXT) returned FALSE, error #12029.",
      "-- SendInquiryRecord(REQUEST_CONTEXT) returned FALSE, error #12029.",
      "-- Error 12029, Occurred 2 Times",
      ErrorLine(ERROR_INVALID_HANDLE),
      "-- SendInquiryRecord(REQUEST_CONTEXT) returned FALSE, error #6.",
  };
  EXPECT_EQ(uploadtest::Joined(expected), uploadtest::Joined(errors));
}

TEST(SyncRun, DefaultFlagsReachATlsServer) {
  ZEMTEST_NOT_UNDER_WINE(zemtest::wine::kTestCertificates);
  zemtest::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  nginx.WriteFile("answer.txt", "over TLS");
  setenv("SSL_CERT_FILE", nginx.ca_file().c_str(), 1);
  {
    Task task(7);
    ASSERT_TRUE(task.created);
    ScSetConnStrings(task.doc, SC_STR_HOST_NAME, "localhost");
    ScSetConnStrings(task.doc, SC_STR_APP_NAME, "/answer.txt");
    ScSetConnStrings(task.doc, SC_STR_VERB, "GET");
    ScSetConnDWord(task.doc, SC_DW_PORT, static_cast<DWORD>(nginx.https_port()));
    EXPECT_EQ(1, ScraRunCompany(task.doc));
    EXPECT_EQ("over TLS", task.Answer()) << uploadtest::Joined(uploadtest::StatusLines(task.doc));
    EXPECT_EQ(SC_OUTCOME_SUCCESS, uploadtest::Field(task.ctx()->dwResultFlags));
    const auto lines = StatusLinesWithoutTime(task.doc);
    EXPECT_EQ(0, std::count(lines.begin(), lines.end(), "-- HttpAddRequestHeaders(Cache-control: no-cache)"))
        << "only POST adds the length and cache headers";
  }
  unsetenv("SSL_CERT_FILE");
}

// The survey reads its letters in either case; the request sets the proxy
// credentials only for the letters "M" and "3".
TEST(SyncRun, ConfigurationLetterMGoesThroughTheNamedProxy) {
  zemtest::ScriptedServer server;
  zemtest::TinyProxy proxy;
  ASSERT_TRUE(server.ok() && proxy.ok());
  server.Answer("/inquiry", Reply::Ok("via proxy"));
  for (const char *letters : {"M", "m"}) {
    SCOPED_TRACE(letters);
    server.ClearReceived();
    Task task(8);
    ASSERT_TRUE(task.created);
    task.AimAt(server.port());
    ScSetConnStrings(task.doc, SC_STR_PROXY_CFG, letters);
    ScSetConnStrings(task.doc, SC_STR_PROXY_NAMES, proxy.Address().c_str());
    ScSetConnStrings(task.doc, SC_STR_PROXY_USER, "pxuser");
    EXPECT_EQ(1, ScraRunCompany(task.doc));
    EXPECT_EQ("via proxy", task.Answer());
    const auto got = server.Received();
    ASSERT_EQ(1u, got.size());
    EXPECT_NE(std::string::npos, got[0].Header("Via").find("zemproxy")) << "the request did not pass the proxy";
    const auto lines = StatusLinesWithoutTime(task.doc);
    const std::vector<std::string> survey = {"-- Proxy settings loading from ZEM configuation file.",
                                             "-- InternetAccessType  [Named Proxy]", "-- Internet szAccess   [3] ",
                                             std::string("-- Internet Cfg. modes [") + letters + "] ",
                                             "-- Internet Proxy Svrs [" + proxy.Address() + "] "};
    const auto from = uploadtest::LinesFrom(lines, survey[0]);
    ASSERT_GE(from.size(), survey.size());
    EXPECT_EQ(uploadtest::Joined(survey), uploadtest::Joined({from.begin(), from.begin() + 5}));
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "-- Opening Internet using Proxy"));
    const bool bSet = std::any_of(lines.begin(), lines.end(), [](const std::string &line) {
      return line.rfind("-- Setting Proxy Server access parameters ", 0) == 0;
    });
    EXPECT_EQ(letters[0] == 'M', bSet);
  }
}

// The answer of a later run replaces the earlier one, which is freed (the
// sanitizer build reports a leak otherwise) whatever the caller did to
// cbResponse; a task without a response address keeps its answer itself.
TEST(SyncRun, LaterAnswerReplacesTheEarlierOneWithOrWithoutAResponseAddress) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  for (const bool bAddress : {true, false}) {
    SCOPED_TRACE(bAddress ? "with an address" : "without one");
    std::string data = "id=1";
    void *pvData = &data[0];
    void *pvAnswer = nullptr;
    ASSERT_EQ(1, ScraAddNewDoc(&pvData, bAddress ? &pvAnswer : nullptr, 4, 0, 9, 0));
    ScSetConnStrings(9, SC_STR_HOST_NAME, "127.0.0.1");
    ScSetConnStrings(9, SC_STR_APP_NAME, "/inquiry");
    ScSetConnDWord(9, SC_DW_PORT, static_cast<DWORD>(server.port()));
    ScSetConnDWord(9, SC_DW_HTTP_FLAGS, uploadtest::kPlainHttpFlags);
    for (const char *answer : {"first", "second"}) {
      server.Answer("/inquiry", Reply::Ok(answer));
      REQUEST_CONTEXT *ctx = ScQueryRqCtxPtr(9);
      ctx->nResult = SC_RESULT_SUCCESS;
      ctx->cbResponse = 0;
      EXPECT_EQ(1, ScraRunCompany(9));
      const char *pszHeld = static_cast<const char *>(ScQueryTuRspPtr(9));
      ASSERT_NE(nullptr, pszHeld);
      EXPECT_STREQ(answer, pszHeld);
      if (bAddress) {
        EXPECT_EQ(pvAnswer, static_cast<const void *>(pszHeld));
      }
    }
    EXPECT_EQ(1, ScraCloseTask(9));
    EXPECT_EQ(nullptr, pvAnswer);
  }
}

}  // namespace
