// Reading the answer after a run: bodies of every framing and size stored
// whole, the two header query modes, and the body copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "ZemHttp.h"
#include "ZemMem.h"
#include "tests/client/transport_test_util.h"
#include "under_wine.h"

namespace {

using zemtest::Reply;

class Download : public zemtest::RealClient {};

TEST_F(Download, BodiesOfEveryFramingArriveWholeWithAZeroByteAfterThem) {
  // 2048 fits the first buffer of an unannounced body, 2049 makes it grow,
  // the large ones grow it several times, the largest past the size from
  // which blocks are mappings of their own (moved, not copied, as they grow).
  std::string pattern;
  for (int i = 0; pattern.size() < 2500000; ++i) pattern += std::to_string(i) + ",";
  for (size_t cb : {size_t{1}, size_t{2048}, size_t{2049}, size_t{300000}, size_t{2500000}}) {
    const std::string body = pattern.substr(0, cb);
    // The pause halfway makes the reader take the first half before the
    // rest arrives, so an unannounced body outgrows a buffer it has filled.
    for (const Reply &reply : {Reply::Ok(body), Reply::Ok(body).Chunked(1000), Reply::Ok(body).CloseDelimited(),
                               Reply::Ok(body).CloseDelimited().StallMidBody(200)}) {
      server.Answer("/b", reply);
      ASSERT_EQ(http.Get(Url("/b").c_str(), nullptr), 1) << http.szLastError;
      ASSERT_EQ(http.GetRawData(nullptr), cb);
      std::string copy(cb, '\0');
      EXPECT_EQ(http.GetRawData(&copy[0]), cb);
      EXPECT_TRUE(copy == body) << cb << " bytes arrived changed";
      EXPECT_EQ(ZemMemSize(http.pvResponse), cb + 1) << "the stored block is the body and one zero byte";
      EXPECT_EQ(static_cast<const char *>(http.pvResponse)[cb], '\0');
    }
  }
}

TEST_F(Download, EmptyBodyKeepsWhatTheVerbLeft) {
  server.Answer("/e", Reply::Status(204));
  ASSERT_EQ(http.Get(Url("/e").c_str(), nullptr), 1);
  EXPECT_EQ(http.pvResponse, nullptr);
  EXPECT_EQ(http.GetRawData(nullptr), 0u);
  const auto lines = zemtest::LogLines(http);
  EXPECT_TRUE(zemtest::Has(lines, "No Data was sent by server."));
}

TEST_F(Download, NumberModeWritesExactlyFourBytes) {
  server.Answer("/n", Reply::Ok("12345").Header("X-Count: 42"));
  ASSERT_EQ(http.Get(Url("/n").c_str(), nullptr), 1);
  struct {
    DWORD dwValue;
    DWORD dwGuard;
  } result = {0xAAAAAAAA, 0x5A5A5A5A};
  EXPECT_EQ(http.GetHttpResponseHeaders(reinterpret_cast<void **>(&result), 0x20000005), 4u);
  EXPECT_EQ(result.dwValue, 5u);
  EXPECT_EQ(result.dwGuard, 0x5A5A5A5Au) << "the byte after the 32-bit variable was written";
  http.SetError(0, nullptr, 0);
  EXPECT_EQ(http.GetHttpResponseHeaders(reinterpret_cast<void **>(&result), HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_AGE), 4u);
  EXPECT_EQ(result.dwValue, 0u) << "a missing header reads as 0";
  EXPECT_EQ(http.dwLastInetError, 0u) << "and is no error in number mode";
  EXPECT_EQ(http.GetHttpResponseHeaders(nullptr, 0x20000005), 0u);
}

TEST_F(Download, TextModeHandsOutBlocksAndReleasesTheOneHandedBack) {
  // Heads that fit the member's first buffer and heads that outgrow it come
  // whole, in a block of the text, its terminator and one byte. Each query
  // releases the block the last one handed out (the sanitizer build reports
  // a leak otherwise).
  char *pszText = nullptr;
  zemtest::WineRows rows;
  for (size_t cchValue : {size_t{5}, size_t{1000}, size_t{5000}}) {
    if (cchValue > 4096 && !rows.Runs("a value of 5000", zemtest::wine::kLongHeaderLine)) continue;
    const std::string field = "X-Name: " + std::string(cchValue, 'v');
    server.Answer("/t", Reply::Ok("x").Header(field));
    ASSERT_EQ(http.Get(Url("/t").c_str(), nullptr), 1);
    const DWORD cb = http.GetHttpResponseHeaders(reinterpret_cast<void **>(&pszText), 0);
    ASSERT_NE(pszText, nullptr);
    EXPECT_EQ(cb, std::strlen(pszText));
    EXPECT_EQ(std::string(pszText).substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_NE(std::string(pszText).find(field + "\r\n"), std::string::npos)
        << "a value of " << cchValue << " in a head of " << cb << " bytes";
    EXPECT_EQ(ZemMemSize(pszText), cb + 2) << cchValue;
  }
  DWORD cb = http.GetHttpResponseHeaders(reinterpret_cast<void **>(&pszText), HTTP_QUERY_STATUS_CODE);
  EXPECT_STREQ(pszText, "200");
  EXPECT_EQ(cb, 3u);
  EXPECT_EQ(http.GetHttpResponseHeaders(reinterpret_cast<void **>(&pszText), HTTP_QUERY_AGE), 0u);
  EXPECT_EQ(http.dwLastInetError, static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND));
  EXPECT_STREQ(http.szLastError, "CZemHttp::GetHttpResponseHeaders() FAILED (Header not found).  Error# 12150");
  EXPECT_EQ(pszText, nullptr) << "the old block went before the query";

  // A variable that holds no block of ours is refused, not released.
  char szNotABlock[32] = "plain text";
  char *pszForeign = szNotABlock + 16;
  EXPECT_EQ(http.GetHttpResponseHeaders(reinterpret_cast<void **>(&pszForeign), 0), 0u);
  EXPECT_EQ(http.dwLastOSError, static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_EQ(pszForeign, szNotABlock + 16);
}

TEST_F(Download, RawDataCopiesOnlyIntoWritableBuffers) {
  server.Answer("/r", Reply::Ok("raw body"));
  ASSERT_EQ(http.Get(Url("/r").c_str(), nullptr), 1);
  EXPECT_EQ(http.GetRawData(zemtest::UnreadableAddress()), 8u) << "the length is still reported";
  EXPECT_STREQ(http.szLastError, "CZemHttp::GetRawData FAILED, error# 998");
  char szBuffer[9] = "########";
  EXPECT_EQ(http.GetRawData(szBuffer), 8u);
  EXPECT_STREQ(szBuffer, "raw body") << "exactly the body, no terminator written";
}

}  // namespace
