// The status text table: every row exactly, unknown codes, and the buffer
// sizes that count the terminating NUL.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ZemHttp.h"

namespace {

struct Row {
  unsigned int uCode;
  const char *pszShort;
  const char *pszLong;
};

// What users read, wording and spelling as shipped.
const Row kRows[] = {
    {100, "OK to continue with request",
     "The request can be continued."},
    {101, "Server has switched protocols in upgrade header",
     "The server has switched protocols in an upgrade header."},
    {200, "Request completed",
     "The request completed successfully."},
    {201, "Object created",
     "The request has been fulfilled and resulted in the creation of a new resource."},
    {202, "Async completion",
     "The request has been accepted for processing, but the processing has not been completed."},
    {203, "Partial completion",
     "The returned meta information in the entity-header is not the definitive set available from the origin server."},
    {204, "No info to return",
     "The server has fulfilled the request, but there is no new information to send back."},
    {205, "Request completed, but clear form",
     "The request has been completed, and the client program should reset the document view that caused the request to be sent to allow the user to easily initiate another input action."},
    {206, "Partial GET furfilled",
     "The server has fulfilled the partial GET request for the resource."},
    {300, "Server couldn't decide what to return",
     "The server couldn't decide what to return."},
    {301, "Object permanently moved",
     "The requested resource has been assigned to a new permanent URI (Uniform Resource Identifier), and any future references to this resource should be done using one of the returned URIs."},
    {302, "Object temporarily moved",
     "The requested resource resides temporarily under a different URI (Uniform Resource Identifier)."},
    {303, "Redirection w/ new access method",
     "The response to the request can be found under a different URI (Uniform Resource Identifier) and should be retrieved using a GET HTTP verb on that resource."},
    {304, "If-modified-since was not modified",
     "The requested resource has not been modified."},
    {305, "Redirection to proxy, location header specifies proxy to use",
     "The requested resource must be accessed through the proxy given by the location field."},
    {307, "HTTP/1.1: keep same verb",
     "The redirected request keeps the same HTTP verb. HTTP/1.1 behavior."},
    {400, "Invalid Syntax",
     "The request could not be processed by the server due to invalid syntax."},
    {401, "Access Denied",
     "The requested resource requires user authentication."},
    {402, "Payment Required",
     "Not currently implemented in the HTTP protocol."},
    {403, "Request Forbidden",
     "The server understood the request, but is refusing to fulfill it."},
    {404, "Object Not Found",
     "The server has not found anything matching the requested URI (Uniform Resource Identifier)."},
    {405, "Method is not allowed",
     "The HTTP verb used is not allowed."},
    {406, "No response acceptable to client found",
     "No responses acceptable to the client were found."},
    {407, "Proxy authentication required",
     "Proxy authentication required."},
    {408, "Server timed out waiting for request",
     "The server timed out waiting for the request."},
    {409, "User should resubmit with more info",
     "The request could not be completed due to a conflict with the current state of the resource. The user should resubmit with more information."},
    {410, "The resource is no longer available",
     "The requested resource is no longer available at the server, and no forwarding address is known."},
    {411, "The server refused to accept request w/o a length",
     "The server refuses to accept the request without a defined content length."},
    {412, "Precondition given in request failed",
     "The precondition given in one or more of the request header fields evaluated to false when it was tested on the server."},
    {413, "Request entity was too large",
     "The server is refusing to process a request because the request entity is larger than the server is willing or able to process."},
    {414, "Request URI too long",
     "The server is refusing to service the request because the request URI (Uniform Resource Identifier) is longer than the server is willing to interpret."},
    {415, "Unsupported media type",
     "The server is refusing to service the request because the entity of the request is in a format not supported by the requested resource for the requested method."},
    {449, "Retry after doing the appropriate action",
     "The request should be retried after doing the appropriate action."},
    {500, "Internal server error",
     "The server encountered an unexpected condition that prevented it from fulfilling the request."},
    {501, "Required not supported",
     "The server does not support the functionality required to fulfill the request."},
    {502, "Error response received from gateway",
     "The server, while acting as a gateway or proxy, received an invalid response from the upstream server it accessed in attempting to fulfill the request."},
    {503, "Temporarily overloaded",
     "The service is temporarily overloaded."},
    {504, "Timed out waiting for gateway",
     "The request was timed out waiting for a gateway."},
    {505, "HTTP version not supported",
     "The server does not support, or refuses to support, the HTTP protocol version that was used in the request message."},
};

TEST(StatusStrings, EveryKnownCodeGivesItsTwoTexts) {
  ASSERT_EQ(sizeof kRows / sizeof kRows[0], 39u);
  for (const Row &row : kRows) {
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
