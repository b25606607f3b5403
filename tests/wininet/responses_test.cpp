// Reading responses back: HttpQueryInfoA's levels, modifiers, index and
// sizing contract, and the answers that are odd on purpose (informational
// answers alone, bad status lines, very large heads).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "internet_test_util.h"
#include "loopback_servers.h"

namespace {

using wintest::OpenRequest;
using wintest::QueryText;
using zemtest::Reply;

class Responses : public wintest::ServedTest {};

TEST_F(Responses, QueryLevelsGiveTheStatusLineAndNamedHeaders) {
  server.Answer("*", Reply::Status(404, "missing page")
                         .Header("Content-Type: text/html")
                         .Header("Set-Cookie: a=1")
                         .Header("Set-Cookie: b=2")
                         .Header("Allow: GET, POST")
                         .Header("Date: Sun, 06 Nov 1994 08:49:37 GMT")
                         .Header("X-Folded: one")
                         .Header(" two"));
  OpenRequest r(server.port(), "GET", "/nothing");
  ASSERT_TRUE(r.Send()) << "a 404 is a successful send";
  EXPECT_EQ(404u, wintest::StatusCode(r.request));
  EXPECT_EQ("404", QueryText(r.request, HTTP_QUERY_STATUS_CODE));
  EXPECT_EQ("Not Found", QueryText(r.request, HTTP_QUERY_STATUS_TEXT));
  EXPECT_EQ("HTTP/1.1", QueryText(r.request, HTTP_QUERY_VERSION));
  EXPECT_EQ("text/html", QueryText(r.request, HTTP_QUERY_CONTENT_TYPE));
  EXPECT_EQ("GET, POST", QueryText(r.request, HTTP_QUERY_ALLOW));
  EXPECT_EQ("one two", wintest::QueryCustom(r.request, "x-folded"));

  // Repeated headers by index; the index moves on after each hit.
  DWORD index = 0, error = 0;
  EXPECT_EQ("a=1", QueryText(r.request, HTTP_QUERY_SET_COOKIE, &error, index));
  EXPECT_EQ("b=2", QueryText(r.request, HTTP_QUERY_SET_COOKIE, &error, 1));
  EXPECT_EQ("", QueryText(r.request, HTTP_QUERY_SET_COOKIE, &error, 2));
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND), error);
  char value[64];
  DWORD size = sizeof value;
  ASSERT_TRUE(HttpQueryInfoA(r.request, HTTP_QUERY_SET_COOKIE, value, &size, &index));
  EXPECT_EQ(1u, index);

  EXPECT_EQ("", QueryText(r.request, HTTP_QUERY_LOCATION, &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND), error) << "a missing header";

  WORD date[8] = {};
  size = sizeof date;
  ASSERT_TRUE(HttpQueryInfoA(r.request, HTTP_QUERY_DATE | HTTP_QUERY_FLAG_SYSTEMTIME, date, &size, nullptr));
  // Year, month, day of the week (a Sunday), day, hour.
  EXPECT_EQ((std::vector<WORD>{1994, 11, 0, 6, 8}), std::vector<WORD>(date, date + 5));
}

TEST_F(Responses, RawHeadersComeAsLinesWithTheirSeparators) {
  server.Answer("*", Reply::Ok("12345").Header("X-A: 1"));
  OpenRequest r(server.port(), "GET", "/");
  ASSERT_TRUE(r.Send());
  const std::string crlf = QueryText(r.request, HTTP_QUERY_RAW_HEADERS_CRLF);
  EXPECT_EQ(0u, crlf.find("HTTP/1.1 200 OK\r\n")) << crlf;
  EXPECT_NE(std::string::npos, crlf.find("\r\nX-A: 1\r\n")) << crlf;
  EXPECT_EQ("\r\n\r\n", crlf.substr(crlf.size() - 4)) << "the head ends with an empty line";

  const std::string raw = QueryText(r.request, HTTP_QUERY_RAW_HEADERS);
  EXPECT_EQ(0, raw.compare(0, 16, std::string("HTTP/1.1 200 OK\0", 16)));
  EXPECT_EQ(std::string::npos, raw.find('\r'));
  EXPECT_EQ('\0', raw.back()) << "every line, the last included, ends with a zero";
}

TEST_F(Responses, SizingReportsWhatIsNeededAndFillsNothingShort) {
  server.Answer("*", Reply::Ok("x", "text/plain; charset=utf-8"));
  OpenRequest r(server.port(), "GET", "/");
  ASSERT_TRUE(r.Send());
  const DWORD needed = static_cast<DWORD>(strlen("text/plain; charset=utf-8") + 1);

  DWORD size = 0;
  EXPECT_FALSE(HttpQueryInfoA(r.request, HTTP_QUERY_CONTENT_TYPE, nullptr, &size, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(needed, size) << "the size needed counts the terminating zero";

  char buffer[64];
  memset(buffer, '#', sizeof buffer);
  size = needed - 1;
  EXPECT_FALSE(HttpQueryInfoA(r.request, HTTP_QUERY_CONTENT_TYPE, buffer, &size, nullptr));
  EXPECT_EQ(needed, size);
  EXPECT_EQ('#', buffer[0]) << "a short buffer is left alone";

  size = needed;
  ASSERT_TRUE(HttpQueryInfoA(r.request, HTTP_QUERY_CONTENT_TYPE, buffer, &size, nullptr));
  EXPECT_EQ(needed - 1, size) << "the length returned leaves out the terminator";
  EXPECT_STREQ("text/plain; charset=utf-8", buffer);

  DWORD number = 0;
  size = 2;
  EXPECT_FALSE(HttpQueryInfoA(r.request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(4u, size);
  size = 4;
  EXPECT_FALSE(HttpQueryInfoA(r.request, HTTP_QUERY_CONTENT_TYPE | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_INVALID_HEADER), GetLastError()) << "text is no number";
  EXPECT_FALSE(HttpQueryInfoA(r.request, 71, buffer, &size, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_INVALID_QUERY_REQUEST), GetLastError()) << "a level without a header";
}

TEST_F(Responses, NothingCanBeQueriedOrReadBeforeTheSend) {
  OpenRequest r(server.port(), "GET", "/");
  DWORD value = 0, size = sizeof value;
  EXPECT_FALSE(HttpQueryInfoA(r.request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE), GetLastError());
  EXPECT_FALSE(InternetQueryDataAvailable(r.request, &value, 0, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE), GetLastError());
  char buffer[8];
  EXPECT_FALSE(InternetReadFile(r.request, buffer, sizeof buffer, &value));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE), GetLastError());
}

TEST_F(Responses, AnInformationalAnswerThatNothingFollowsIsTheResponse) {
  server.Answer("/closed", Reply::Ok().Interim("HTTP/1.1 100 Continue").NoFinalAnswer().Then(zemtest::ConnectionEnd::Close));
  server.Answer("/silent", Reply::Ok().Interim("HTTP/1.1 100 Continue").NoFinalAnswer().Then(zemtest::ConnectionEnd::Close, 3000));
  server.Answer("/both", Reply::Ok("final").Interim("HTTP/1.1 100 Continue").Interim("HTTP/1.1 102 Processing"));
  for (const char *path : {"/closed", "/silent"}) {
    OpenRequest r(server.port(), "POST", path);
    DWORD timeout = 300;
    ASSERT_TRUE(InternetSetOptionA(r.request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
    ASSERT_TRUE(r.Send("data")) << path << ": error " << GetLastError() << " " << wintest::LastResponseText();
    EXPECT_EQ(100u, wintest::StatusCode(r.request)) << path;
    EXPECT_EQ("", wintest::ReadBody(r.request)) << path;
  }
  OpenRequest r(server.port(), "POST", "/both");
  ASSERT_TRUE(r.Send("data"));
  EXPECT_EQ(200u, wintest::StatusCode(r.request)) << "interim answers before a final one are passed over";
  EXPECT_EQ("final", wintest::ReadBody(r.request));
}

TEST_F(Responses, MalformedStatusLinesAreInvalidServerResponses) {
  const char *const lines[] = {"HTTP/1.1 abc OK", "FOO 200 OK", "HTTP/1.1", "garbage"};
  for (const char *line : lines) {
    server.Answer("*", Reply::Ok("x").StatusLine(line).Then(zemtest::ConnectionEnd::Close));
    OpenRequest r(server.port(), "GET", "/");
    EXPECT_FALSE(r.Send()) << "\"" << line << "\" was taken for a status line";
    EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_INVALID_SERVER_RESPONSE), GetLastError()) << line;
  }
  server.Answer("*", Reply::Ok("x").CutAfter(0, zemtest::ConnectionEnd::Close));
  OpenRequest r(server.port(), "GET", "/");
  EXPECT_FALSE(r.Send());
  EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_INVALID_SERVER_RESPONSE), GetLastError()) << "a server that says nothing";
}

TEST_F(Responses, LargeHeadsAreReadWhole) {
  Reply reply = Reply::Ok("body");
  for (int i = 0; i < 200; ++i) reply.Header("X-Filler-" + std::to_string(i) + ": " + std::string(200, 'f'));
  reply.Header("X-Big: " + std::string(60000, 'b'));
  server.Answer("*", reply);
  OpenRequest r(server.port(), "GET", "/");
  ASSERT_TRUE(r.Send()) << GetLastError();
  EXPECT_EQ(60000u, wintest::QueryCustom(r.request, "X-Big").size()) << "a 60 KB header";
  const std::string raw = QueryText(r.request, HTTP_QUERY_RAW_HEADERS_CRLF);
  EXPECT_LT(100000u, raw.size());
  EXPECT_EQ("body", wintest::ReadBody(r.request));
}

// A head too large to hold, or holding a NUL, is a malformed answer with a
// description of why, not memory taken without bound.
TEST_F(Responses, OversizedOrNulHeadsAreRefused) {
  Reply many = Reply::Ok("x"), wide = Reply::Ok("x"), long_line = Reply::Ok("x");
  for (int i = 0; i < 2000; ++i) many.Header("X-" + std::to_string(i) + ": v");
  for (int i = 0; i < 6; ++i) wide.Header("X-" + std::to_string(i) + ": " + std::string(60000, 'w'));
  long_line.Header("X-Long: " + std::string(200000, 'l'));
  struct Case {
    const char *path;
    Reply reply;
    const char *why;
  };
  const Case cases[] = {
      {"/many", many, "lines"},
      {"/wide", wide, "bytes"},
      {"/long-line", long_line, "100 KiB"},
      {"/nul", Reply::Ok("x").Header(std::string("X-Nul: a\0b", 11)), "Nul byte"},
  };
  for (const Case &c : cases) {
    server.Answer(c.path, c.reply);
    OpenRequest r(server.port(), "GET", c.path);
    EXPECT_FALSE(r.Send()) << c.path;
    EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_INVALID_SERVER_RESPONSE), GetLastError()) << c.path;
    const std::string text = wintest::LastResponseText();
    EXPECT_NE(std::string::npos, text.find(c.why)) << c.path << ": " << text;
  }
}

}  // namespace
