// One table of hostile server behaviours, each run against every way a
// program meets the network here: the client object (GET and POST), the
// upload engine (a synchronous task) and the zemhttp tool. A careful library
// records an error for every broken answer, never hands out a cut body as a
// whole one, and never hangs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "ZemHttp.h"
#include "ZemUpload.h"
#include "loopback_servers.h"
#include "tests/tools/tool_run.h"
#include "tests/upload/upload_test_util.h"

namespace {

using zemtest::ConnectionEnd;
using zemtest::Reply;
using Codes = std::vector<DWORD>;

// Short enough that the silent and trickling rows end in about a second.
constexpr DWORD kReceiveTimeoutMs = 800;
// A hang guard, not a speed measure: no row may outlast it.
constexpr auto kHangGuard = std::chrono::seconds(20);

const std::string kBody(20000, 'x');

// What each runner must see for one row. `errors` lists the codes a careful
// library may record for that fault; empty means a clean answer.
struct Expected {
  int client_result;   // Get/Post: 1 once a head arrived (the body may be cut), else 0
  Codes errors;
  std::string body;    // the body a clean answer carries; a cut body must be a prefix of it
  int tool_exit;
};

struct Row {
  // A greeting (bytes sent to every new connection, which is then closed)
  // makes a row of a server that is not what the client expects: those rows
  // are spoken to over https.
  Row(const char *row_name, Reply row_reply, Expected row_expected, std::string row_greeting = "")
      : name(row_name),
        reply(std::move(row_reply)),
        expected(std::move(row_expected)),
        greeting(std::move(row_greeting)),
        tls(!greeting.empty()) {}
  const char *name;
  Reply reply;
  Expected expected;
  std::string greeting;
  bool tls;
};

const Codes kBadHead = {ERROR_HTTP_INVALID_SERVER_RESPONSE};
// A head too large to take: refused as invalid, or as a connection given up.
const Codes kHugeHead = {ERROR_HTTP_INVALID_SERVER_RESPONSE, ERROR_INTERNET_CONNECTION_ABORTED};
const Codes kCutBody = {ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_CONNECTION_RESET};
const Codes kBadBody = {ERROR_INTERNET_CONNECTION_ABORTED, ERROR_HTTP_INVALID_SERVER_RESPONSE};
const Codes kTimeout = {ERROR_INTERNET_TIMEOUT};
const Codes kRedirect = {ERROR_HTTP_REDIRECT_FAILED};
const Codes kTls = {ERROR_INTERNET_SECURITY_CHANNEL_ERROR};

Reply Raw(const std::string &bytes) { return Reply::Raw(bytes); }
Reply Head(const std::string &lines, const std::string &rest = "") {
  return Reply::Raw("HTTP/1.1 200 OK\r\n" + lines + "\r\n" + rest);
}

std::vector<Row> Rows() {
  const std::string big_line(300000, 'h');
  std::string many;
  for (int i = 0; i < 60000; ++i) many += "X-" + std::to_string(i) + ": v\r\n";
  return {
      {"no status line", Raw("\r\n\r\n"), {0, kBadHead, "", 1}},
      {"bad status line", Raw("HTTP/1.1 abc OK\r\nContent-Length: 2\r\n\r\nhi"),
       {0, kBadHead, "", 1}},
      {"HTTP/0.9 garbage", Raw("garbage without any head at all"), {0, kBadHead, "", 1}},
      {"huge header line", Head("X-Big: " + big_line + "\r\nContent-Length: 2\r\n", "hi"),
       {0, kHugeHead, "", 1}},
      {"huge header count", Head(many + "Content-Length: 2\r\n", "hi"), {0, kHugeHead, "", 1}},
      {"NUL in a header", Head(std::string("X-A: a") + '\0' + "b\r\nContent-Length: 2\r\n", "hi"),
       {0, kBadHead, "", 1}},
      {"Content-Length larger than the body",
       Reply::Ok(kBody).Header("Content-Length: 30000").Then(ConnectionEnd::Close),
       {1, kCutBody, kBody, 1}},
      {"Content-Length smaller than the body",
       Reply::Ok(kBody + "extra").Header("Content-Length: 20000").Then(ConnectionEnd::Close),
       {1, {}, kBody, 0}},
      {"Content-Length negative", Head("Content-Length: -5\r\n", "hello"), {0, kBadHead, "", 1}},
      {"Content-Length overflowing",
       Head("Content-Length: 184467440737095516160\r\n", "hello"), {0, kBadHead, "", 1}},
      {"Content-Length twice, conflicting",
       Head("Content-Length: 5\r\nContent-Length: 6\r\n", "hello!"), {0, kBadHead, "", 1}},
      {"bad chunk size",
       Head("Transfer-Encoding: chunked\r\n", "5\r\nhello\r\nzz\r\nhi\r\n0\r\n\r\n"),
       {1, kBadBody, "hello", 1}},
      {"huge chunk size",
       Head("Transfer-Encoding: chunked\r\n", "5\r\nhello\r\nffffffffffffffffff\r\nhi\r\n"),
       {1, kBadBody, "hello", 1}},
      {"no final chunk",
       Head("Transfer-Encoding: chunked\r\n", "5\r\nhello\r\n"), {1, kBadBody, "hello", 1}},
      // Interim answers that never end in a final one: the last 1xx is what
      // the run gets, and it is no answer.
      {"interim flood",
       Reply::Ok().InterimFlood(200, 10).NoFinalAnswer().Then(ConnectionEnd::Close),
       {0, {}, "", 1}},
      {"redirect loop", Reply::Redirect(302, "/row"), {0, kRedirect, "", 1}},
      {"redirect to ftp:", Reply::Redirect(302, "ftp://127.0.0.1/x"), {0, kRedirect, "", 1}},
      {"redirect to file:", Reply::Redirect(302, "file:///etc/passwd"), {0, kRedirect, "", 1}},
      {"reset in the head", Reply::Raw("HTTP/1.1 200 OK\r\nContent-Le").Then(ConnectionEnd::Reset),
       {0, {ERROR_INTERNET_CONNECTION_RESET, ERROR_HTTP_INVALID_SERVER_RESPONSE}, "", 1}},
      {"reset mid-body", Reply::Ok(kBody).CutAfter(5000, ConnectionEnd::Reset),
       {1, kCutBody, kBody, 1}},
      {"trickling head", Reply::Ok("late").Trickle(4, 2 * kReceiveTimeoutMs, true),
       {0, kTimeout, "", 1}},
      {"trickling body", Reply::Ok(kBody).Trickle(5000, 2 * kReceiveTimeoutMs),
       {1, kTimeout, kBody, 1}},
      {"silence", Reply::Ok("never").StallBeforeHeaders(10000), {0, kTimeout, "", 1}},
      {"https to a plain-text server", Reply::Ok("plain"), {0, kTls, "", 1},
       "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"},
      {"https port answering garbage", Reply::Ok("plain"), {0, kTls, "", 1},
       std::string("\x16\x03\x01") + '\0' + "\x05garbage and more garbage\r\n"},
  };
}

std::string Where(const Row &row, const char *runner) { return std::string(row.name) + " / " + runner; }

std::string Url(const zemtest::ScriptedServer &server, const Row &row) {
  const std::string url = server.Url("/row");
  return row.tls ? "https" + url.substr(4) : url;
}

// A cut body keeps only what arrived: a prefix of the whole one.
bool IsPrefix(const std::string &part, const std::string &whole) { return whole.compare(0, part.size(), part) == 0; }

void CheckClient(const Row &row, const char *runner, int result, CZemHttp &http) {
  const Expected &e = row.expected;
  const std::string where = Where(row, runner);
  EXPECT_EQ(result, e.client_result) << where << ": " << http.szLastError;
  const DWORD recorded = http.dwLastInetError != 0 ? http.dwLastInetError : http.dwLastOSError;
  const std::string body = http.pvResponse == nullptr ? "" : std::string(static_cast<const char *>(http.pvResponse),
                                                                         http.GetRawData(nullptr));
  if (e.errors.empty()) {
    EXPECT_EQ(recorded, 0u) << where << ": " << http.szLastError;
    if (e.client_result == 1) {
      EXPECT_EQ(body, e.body) << where;
    }
    return;
  }
  EXPECT_NE(std::find(e.errors.begin(), e.errors.end(), recorded), e.errors.end())
      << where << ": recorded " << recorded << " \"" << http.szLastError << "\"";
  EXPECT_TRUE(IsPrefix(body, e.body)) << where << ": the body is not what arrived";
}

void RunClient(const zemtest::ScriptedServer &server, const Row &row, bool post) {
  CZemHttp http(0, 0, 0, 0);
  http.SetHttpStr("1", 5);
  http.SetHttpDWS(kReceiveTimeoutMs, 7);
  const std::string url = Url(server, row);
  const int result = post ? http.Post(url.c_str(), "name=Ann", 8) : http.Get(url.c_str(), nullptr);
  CheckClient(row, post ? "client POST" : "client GET", result, http);
}

void RunUpload(const zemtest::ScriptedServer &server, const Row &row, int doc) {
  uploadtest::Task task(doc);
  ASSERT_TRUE(task.created);
  task.AimAt(server.port(), "/row");
  if (row.tls) ScSetConnDWord(task.doc, SC_DW_HTTP_FLAGS, uploadtest::kPlainHttpFlags | INTERNET_FLAG_SECURE);
  ScraRunCompany(task.doc);
  const std::string where = Where(row, "upload");
  const REQUEST_CONTEXT *ctx = task.ctx();
  ASSERT_NE(ctx, nullptr);
  const Expected &e = row.expected;
  const bool success = uploadtest::Field(ctx->dwResultFlags) == SC_OUTCOME_SUCCESS;
  const std::string log = uploadtest::Joined(uploadtest::StatusLines(task.doc));
  if (e.errors.empty() && e.client_result == 1) {
    EXPECT_TRUE(success) << where << "\n" << log;
    EXPECT_EQ(task.Answer(), e.body) << where;
    return;
  }
  if (e.client_result == 1) {
    // A body cut short after its head: the task's outcome is its status
    // code's, as for any answer, so the cut must show in the status log, with
    // the failing read's code, and the answer holds only what arrived.
    const bool logged = std::any_of(e.errors.begin(), e.errors.end(), [&](DWORD code) {
      return log.find("Error " + std::to_string(code) + " encountered by Internet") != std::string::npos;
    });
    EXPECT_TRUE(logged) << where << ": the cut is not in the status log\n" << log;
    EXPECT_TRUE(IsPrefix(task.Answer(), e.body)) << where << ": the answer is not what arrived";
    return;
  }
  EXPECT_FALSE(success) << where << ": a broken answer counted as success\n" << log;
  if (!e.errors.empty()) {
    const DWORD logged = uploadtest::Field(ctx->dwLastStatusError);
    EXPECT_NE(std::find(e.errors.begin(), e.errors.end(), logged), e.errors.end())
        << where << ": logged error " << logged << "\n" << log;
  }
}

void RunTool(const zemtest::ScriptedServer &server, const Row &row) {
  const zemtest::ToolRun run =
      zemtest::RunTool({"get", Url(server, row), "--timeout", std::to_string(kReceiveTimeoutMs), "--no-progress"});
  EXPECT_EQ(run.exit_code, row.expected.tool_exit) << Where(row, "tool") << "\nstderr: " << run.err;
  if (row.expected.tool_exit == 1) {
    EXPECT_NE(run.err.find("zemhttp: "), std::string::npos) << Where(row, "tool") << ": no reason given";
  }
}

class FaultMatrix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Every session of the process (the upload engine opens its own) waits
    // this long for the server before it gives up.
    DWORD timeout = kReceiveTimeoutMs;
    InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(nullptr, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"}) unsetenv(name);
  }
  zemtest::ScriptedServer server;
};

TEST_F(FaultMatrix, EveryRunnerRecordsEveryBrokenAnswerAndNeverHangs) {
  ASSERT_TRUE(server.ok());
  int doc = 100;
  for (const Row &row : Rows()) {
    SCOPED_TRACE(row.name);
    server.Greet(row.greeting);
    server.Answer("/row", row.reply);
    const auto start = std::chrono::steady_clock::now();
    RunClient(server, row, false);
    RunClient(server, row, true);
    RunUpload(server, row, ++doc);
    RunTool(server, row);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kHangGuard) << row.name << " hung";
  }
  server.Greet("");
}

// A proxy that refuses the credentials given: its refusal is the answer
// (a status of 400 or above), not a silent success and not a hang.
TEST_F(FaultMatrix, ProxyRefusingCredentialsIsAnAnswerOfItsOwn) {
  zemtest::TinyProxy proxy("zem", "right");
  ASSERT_TRUE(server.ok() && proxy.ok());
  server.Answer("/row", Reply::Ok("secret"));

  CZemHttp http(0, 0, 0, 0);
  http.SetHttpStr("3", 5);
  http.SetHttpStr(proxy.Address().c_str(), 7);
  http.SetHttpDWS(INTERNET_OPEN_TYPE_PROXY, 5);
  http.SetHttpStr("zem", 10);
  http.SetHttpStr("wrong", 13);
  EXPECT_EQ(http.Get(server.Url("/row").c_str(), nullptr), 1) << http.szLastError;
  EXPECT_GE(http.QueryHttpStatusCode(), 400u);
  const std::string body = http.pvResponse == nullptr ? "" : static_cast<const char *>(http.pvResponse);
  EXPECT_EQ(body.find("secret"), std::string::npos);

  uploadtest::Task task(99);
  ASSERT_TRUE(task.created);
  task.AimAt(server.port(), "/row");
  ScSetConnStrings(task.doc, SC_STR_PROXY_CFG, "M");
  ScSetConnStrings(task.doc, SC_STR_PROXY_NAMES, proxy.Address().c_str());
  ScSetConnStrings(task.doc, SC_STR_PROXY_USER, "zem");
  ScSetConnStrings(task.doc, SC_STR_PROXY_PASSWORD, "wrong");
  ScraRunCompany(task.doc);
  EXPECT_NE(uploadtest::Field(task.ctx()->dwResultFlags), SC_OUTCOME_SUCCESS);
  EXPECT_GE(uploadtest::Field(task.ctx()->dwStatusCode), 400u);

  zemtest::TempDir folder;
  folder.write("proxy.ini", "[PROXY]\nchProxyAccessType=3\nszProxyNames=" + proxy.Address() +
                                "\nszProxyUser=zem\nszProxyPswd=wrong\n");
  const zemtest::ToolRun run =
      zemtest::RunTool({"get", server.Url("/row"), "--proxy-file", "proxy.ini", "--no-progress"}, folder.path());
  EXPECT_EQ(run.exit_code, 3) << run.err;
  EXPECT_EQ(run.out.find("secret"), std::string::npos);
}

}  // namespace
