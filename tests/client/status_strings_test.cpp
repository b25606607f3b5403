// The status text table: every row exactly, unknown codes, and the buffer
// sizes that count the terminating NUL.
#include <gtest/gtest.h>

#include <cstring>

#include "ZemHttp.h"

namespace {

// Every code the table knows; each must give two texts.
const unsigned int kKnownCodes[] = {100, 101, 200, 201, 202, 203, 204, 205, 206, 300, 301, 302, 303,
                                    304, 305, 307, 400, 401, 402, 403, 404, 405, 406, 407, 408, 409,
                                    410, 411, 412, 413, 414, 415, 449, 500, 501, 502, 503, 504, 505};

TEST(StatusStrings, EveryKnownCodeGivesTwoTexts) {
  ASSERT_EQ(sizeof kKnownCodes / sizeof kKnownCodes[0], 39u);
  for (unsigned int uCode : kKnownCodes) {
    char szShort[128] = "";
    char szLong[512] = "";
    EXPECT_EQ(GetHttpStatusStrings(uCode, szShort, sizeof szShort, szLong, sizeof szLong), 1) << uCode;
    EXPECT_GT(std::strlen(szShort), 0u) << uCode;
    EXPECT_GT(std::strlen(szLong), std::strlen(szShort)) << uCode << ": the long text explains the short one";
  }
}

// What users read, wording and spelling as shipped: a few rows, the odd
// spellings among them.
TEST(StatusStrings, TextsAreWordedAsShipped) {
  struct Row {
    unsigned int uCode;
    const char *pszShort;
    const char *pszLong;
  } rows[] = {
      {100, "OK to continue with request", "The request can be continued."},
      {206, "Partial GET furfilled", "The server has fulfilled the partial GET request for the resource."},
      {303, "Redirection w/ new access method",
       "The response to the request can be found under a different URI (Uniform Resource Identifier) and should "
       "be retrieved using a GET HTTP verb on that resource."},
      {411, "The server refused to accept request w/o a length",
       "The server refuses to accept the request without a defined content length."},
      {449, "Retry after doing the appropriate action",
       "The request should be retried after doing the appropriate action."},
      {505, "HTTP version not supported",
       "The server does not support, or refuses to support, the HTTP protocol version that was used in the "
       "request message."},
  };
  for (const Row &row : rows) {
    char szShort[128];
    char szLong[512];
    EXPECT_EQ(GetHttpStatusStrings(row.uCode, szShort, sizeof szShort, szLong, sizeof szLong), 1) << row.uCode;
    EXPECT_STREQ(szShort, row.pszShort) << row.uCode;
    EXPECT_STREQ(szLong, row.pszLong) << row.uCode;
  }
}

TEST(StatusStrings, UnknownCodesEmptyBothBuffers) {
  for (unsigned int uCode : {0u, 99u, 306u, 416u, 506u, 0xFFFFFFFFu}) {
    char szShort[16] = "previous";
    char szLong[16] = "previous";
    EXPECT_EQ(GetHttpStatusStrings(uCode, szShort, sizeof szShort, szLong, sizeof szLong), 0) << uCode;
    EXPECT_STREQ(szShort, "") << uCode;
    EXPECT_STREQ(szLong, "") << uCode;
  }
}

TEST(StatusStrings, SizesCountTheTerminatorAndCutEachTextAlone) {
  char szShort[8];
  char szLong[512];
  std::memset(szShort, '#', sizeof szShort);
  EXPECT_EQ(GetHttpStatusStrings(404, szShort, 5, szLong, sizeof szLong), 1);
  EXPECT_STREQ(szShort, "Obje") << "a size of 5 holds four characters and the NUL";
  EXPECT_EQ(szShort[5], '#') << "nothing written past the given size";
  EXPECT_STREQ(szLong, "The server has not found anything matching the requested URI (Uniform Resource Identifier).");

  std::memset(szShort, '#', sizeof szShort);
  EXPECT_EQ(GetHttpStatusStrings(404, szShort, 0, nullptr, 0), 1);
  EXPECT_EQ(szShort[0], '#') << "a size of 0 writes nothing";

  EXPECT_EQ(GetHttpStatusStrings(404, szShort, 1, nullptr, 0), 1);
  EXPECT_EQ(szShort[0], '\0');
}

TEST(StatusStrings, NullBuffersStillTellWhetherTheCodeIsKnown) {
  EXPECT_EQ(GetHttpStatusStrings(200, nullptr, 100, nullptr, 100), 1);
  EXPECT_EQ(GetHttpStatusStrings(306, nullptr, 100, nullptr, 100), 0);
  char szLong[512];
  EXPECT_EQ(GetHttpStatusStrings(503, nullptr, 0, szLong, sizeof szLong), 1);
  EXPECT_STREQ(szLong, "The service is temporarily overloaded.");
}

TEST(StatusStrings, UnwritableBufferIsNotTouched) {
  char szLong[512] = "kept";
  SetLastError(0);
  EXPECT_EQ(GetHttpStatusStrings(200, reinterpret_cast<char *>(0x10), 64, szLong, sizeof szLong), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_STREQ(szLong, "kept");
}

}  // namespace
