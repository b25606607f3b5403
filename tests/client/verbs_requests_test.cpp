// The verbs as the scripted server receives them: object names, query
// rules, bodies sent, resent and cleared, Content-Length, and what the
// informational verbs copy back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ZemHttp.h"
#include "tests/client/transport_test_util.h"
#include "under_wine.h"

namespace {

using zemtest::Reply;

class Verbs : public zemtest::RealClient {
 protected:
  // What the server received last: "METHOD target [body]".
  std::string Last() {
    const auto received = server.Received();
    if (received.empty()) return "(nothing)";
    const auto &r = received.back();
    return r.method + " " + r.target + (r.body.empty() ? "" : " [" + r.body + "]");
  }
  std::string LastHeader(const std::string &name) { return server.Received().back().Header(name); }
};

TEST_F(Verbs, GetAsksForThePathWithTheQueryHeld) {
  server.Answer("*", Reply::Ok("x"));
  const std::string url = Url("/a/b");
  struct Step {
    const char *pszUrl;
    const char *pszQuery;
    const char *pszExpected;
  } steps[] = {
      {url.c_str(), nullptr, "GET /a/b"},         {url.c_str(), "x=1", "GET /a/b?x=1"},
      {url.c_str(), "?y=2", "GET /a/b?y=2"},      {url.c_str(), nullptr, "GET /a/b?y=2"},  // kept
      {nullptr, "", "GET /a/b?y=2"},              // an empty argument does not clear it either
  };
  for (const Step &s : steps) {
    ASSERT_EQ(http.Get(s.pszUrl, s.pszQuery), 1) << http.szLastError;
    EXPECT_EQ(Last(), s.pszExpected) << "query " << (s.pszQuery ? s.pszQuery : "(null)");
  }
  http.SetQueryData("");
  ASSERT_EQ(http.Get(nullptr, nullptr), 1);
  EXPECT_EQ(Last(), "GET /a/b") << "only SetQueryData clears the query";
  EXPECT_STREQ(http.pszVerb, "GET");
}

TEST_F(Verbs, PostBodiesAreSentResentAndCleared) {
  server.Answer("*", Reply::Ok("ok"));
  ASSERT_EQ(http.Post(Url("/form?ignored=1").c_str(), "a=1&b=2", 7), 1) << http.szLastError;
  EXPECT_EQ(Last(), "POST /form [a=1&b=2]") << "the query is not part of a POST";
  EXPECT_EQ(LastHeader("Content-Length"), "7");
  ASSERT_EQ(http.Post(nullptr, nullptr, 0), 1);
  EXPECT_EQ(Last(), "POST /form [a=1&b=2]") << "a POST without data resends the body";
  ASSERT_EQ(http.Get(nullptr, nullptr), 1);
  EXPECT_EQ(Last(), "GET /form?ignored=1 [a=1&b=2]") << "a verb that leaves the body alone resends it";

  ASSERT_EQ(http.PostText(nullptr, "hello"), 1);
  EXPECT_EQ(Last(), "POST /form [hello\r\n]");
  EXPECT_EQ(LastHeader("Content-Length"), "7");
  ASSERT_EQ(http.PostText(nullptr, ""), 1);
  EXPECT_EQ(Last(), "POST /form [hello\r\n]") << "an empty text resends the body held";

  EXPECT_EQ(http.SetPostData("unused", 0), 1);
  ASSERT_EQ(http.Post(nullptr, nullptr, 0), 1);
  EXPECT_EQ(Last(), "POST /form") << "clearing the body also drops the one held for resending";
  EXPECT_EQ(http.cbRequest, 0u);
}

TEST_F(Verbs, ContentLengthAndHeaderListShapeTheRequest) {
  server.Answer("*", Reply::Ok("ok"));
  http.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD, "Content-Length", "99");
  http.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD, "X-Tag", "v");
  const std::string body(1234, 'b');
  ASSERT_EQ(http.Post(Url("/p").c_str(), body.data(), static_cast<unsigned>(body.size())), 1);
  const auto sent = server.Received().back();
  EXPECT_EQ(sent.Header("Content-Length"), "1234") << "the body's length replaces the caller's";
  EXPECT_EQ(sent.HeaderCount("Content-Length"), 1u);
  EXPECT_EQ(sent.Header("X-Tag"), "v");
  EXPECT_EQ(sent.body, body);

  // Without a body the caller's length would be sent as it stands (and the
  // server would wait for 99 bytes) unless the client takes it out.
  http.AddHttpHeader(HTTP_ADDREQ_FLAG_REPLACE, "X-Tag", "");
  http.SetPostData(nullptr, 0);
  http.SetNoContentLength(1);
  ASSERT_EQ(http.Get(nullptr, nullptr), 1);
  zemtest::WineRows rows;
  if (rows.Runs("the removed header", zemtest::wine::kEmptyReplaceAdds)) {
    EXPECT_EQ(server.Received().back().HeaderCount("X-Tag"), 0u) << "an empty value removes the header";
  }
  EXPECT_EQ(server.Received().back().HeaderCount("Content-Length"), 0u) << "not even the caller's";
}

TEST_F(Verbs, RequestsThatCannotBeBuiltAsAskedAreNotSent) {
  server.Answer("*", Reply::Ok("ok"));
  ASSERT_EQ(http.Post(Url("/p").c_str(), "held", 4), 1);
  const size_t nBefore = server.RequestCount();

  const std::string longQuery(65536, 'q');
  EXPECT_EQ(http.Get(nullptr, longQuery.c_str()), 0);
  EXPECT_EQ(http.dwLastOSError, 87u) << http.szLastError;
  EXPECT_EQ(http.SetQueryData(longQuery.substr(1).c_str()), 1) << "65535 characters still fit";

  char *pUnreadable = zemtest::UnreadableAddress();
  EXPECT_EQ(http.Post(nullptr, pUnreadable, 10), 0);
  EXPECT_EQ(http.dwLastOSError, static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_EQ(http.PostText(nullptr, pUnreadable), 0);
  EXPECT_EQ(http.FilePut(nullptr, pUnreadable, "x", 1), 0);
  EXPECT_EQ(http.FileDelete(nullptr, pUnreadable), 0);
  EXPECT_EQ(http.GetRawData(pUnreadable), 0u) << "no body is held after a refused verb";
  EXPECT_EQ(server.RequestCount(), nBefore) << "nothing went out, in particular not the held body";
  EXPECT_EQ(http.SetPostData(nullptr, 3), 0);
  EXPECT_EQ(http.dwLastOSError, 13u);
}

TEST_F(Verbs, FileVerbsJoinThePathAndTheRememberedName) {
  server.Answer("*", Reply::Status(201));
  const std::string base = Url("");
  struct Step {
    std::string url;
    const char *pszFile;
    const char *pszData;
    const char *pszExpected;
  } steps[] = {
      {base + "/upload", "/data.txt", "abc", "PUT /upload/data.txt [abc]"},
      {base + "/upload/", "next.txt", "d", "PUT /upload/next.txt [d]"},
      {base + "/upload", "a.", "e", "PUT /upload/next.txt [e]"},  // too short: the earlier name
      {base + "/upload", "//two.txt", "f", "PUT /upload//two.txt [f]"},
  };
  for (const Step &s : steps) {
    ASSERT_EQ(http.FilePut(s.url.c_str(), s.pszFile, s.pszData, static_cast<unsigned>(std::strlen(s.pszData))), 1)
        << http.szLastError;
    EXPECT_EQ(Last(), s.pszExpected);
  }
  EXPECT_STREQ(http.pszFileName, "/two.txt");

  ASSERT_EQ(http.FileDelete(nullptr, "gone.txt"), 1);
  EXPECT_EQ(Last(), "DELETE /upload/gone.txt") << "no body with a DELETE";
  zemtest::WineRows rows;
  if (rows.Runs("the DELETE's length", zemtest::wine::kLengthOnEveryVerb)) {
    EXPECT_EQ(server.Received().back().HeaderCount("Content-Length"), 0u);
  }
  ASSERT_EQ(http.FilePut(nullptr, nullptr, nullptr, 0), 1);
  EXPECT_EQ(Last(), "PUT /upload/gone.txt") << "a PUT without data after a DELETE sends an empty body";

  http.SetHttpStr("", 17);
  ASSERT_EQ(http.FilePut(nullptr, "alone.txt", "z", 1), 1);
  EXPECT_EQ(Last(), "PUT /alone.txt [z]") << "without a path the name alone";
}

TEST_F(Verbs, InformationalVerbsCopyTheirPieceOfTheAnswer) {
  server.Answer("/opt", Reply::Ok().Header("Allow: GET, POST"));
  server.Answer("/optbody", Reply::Ok("GET PUT"));
  char szBuffer[64];
  std::memset(szBuffer, '#', sizeof szBuffer);
  EXPECT_EQ(http.GetOptions(Url("/opt?q").c_str(), szBuffer, sizeof szBuffer), 0) << "no body: result 0";
  EXPECT_EQ(Last(), "OPTIONS /opt");
  EXPECT_STREQ(szBuffer, "Allow: GET, POST");
  std::memset(szBuffer, '#', sizeof szBuffer);
  http.GetOptions(nullptr, szBuffer, 5);
  EXPECT_EQ(std::string(szBuffer, 6), "Allow#") << "a full buffer gets no terminator, and nothing past it";
  EXPECT_EQ(http.GetOptions(Url("/optbody").c_str(), szBuffer, sizeof szBuffer), 1);
  EXPECT_STREQ(szBuffer, "GET PUT");

  server.Answer("/h", Reply::Ok("not sent for HEAD"));
  const int nLength = http.GetHead(Url("/h").c_str(), nullptr, 0);
  EXPECT_GT(nLength, 0);
  EXPECT_EQ(static_cast<DWORD>(nLength), http.cbResponseHeaders);
  EXPECT_EQ(Last(), "HEAD /h");
  std::memset(szBuffer, '#', sizeof szBuffer);
  EXPECT_EQ(http.Trace(nullptr, szBuffer, 9), static_cast<int>(http.cbResponseHeaders));
  EXPECT_EQ(Last(), "TRACE /h");
  EXPECT_EQ(std::string(szBuffer, 10), std::string("HTTP/1.1\0#", 10)) << "8 characters and the terminator";
  EXPECT_EQ(http.GetHead(nullptr, zemtest::UnreadableAddress(), 10), nLength) << "the length, not a fault";
  EXPECT_EQ(http.dwLastOSError, static_cast<DWORD>(ERROR_NOACCESS));
}

}  // namespace
