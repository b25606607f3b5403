// The client's own request-header list: modifier semantics, removal by name
// and what happens without the library or with unusable input. Every client
// here is destroyed holding entries: the sanitizer build checks that
// destruction releases them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZemHttp.h"
#include "tests/client/config_test_util.h"

namespace {

// The list as "Name=value" texts ("Name=" for an entry without value).
std::vector<std::string> Entries(const CZemHttp &http) {
  std::vector<std::string> entries;
  for (const ZEMHTTPHDR *p = http.pHttpHeaders; p != nullptr; p = p->pNext) {
    entries.push_back(std::string(p->pszName) + "=" + (p->pszValue != nullptr ? p->pszValue : ""));
  }
  return entries;
}

using Strings = std::vector<std::string>;

class Headers : public zemtest::ClientOnDouble {};

TEST_F(Headers, ModifiersDecideBetweenUpdateInPlaceKeepAndAppend) {
  http.AddHttpHeader(HTTP_ADDREQ_FLAG_REPLACE, "Accept", "text/plain");
  http.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD, "X-Id", "1");
  EXPECT_EQ(http.AddHttpHeader(HTTP_ADDREQ_FLAG_REPLACE, "ACCEPT", "*/*"), 1);
  EXPECT_EQ(http.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD_IF_NEW | HTTP_ADDREQ_FLAG_REPLACE, "x-id", "2"), 1);
  EXPECT_EQ(http.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD_IF_NEW, "X-New", "n"), 1);
  EXPECT_EQ(Entries(http), (Strings{"Accept=*/*", "X-Id=1", "X-New=n"}))
      << "an update never moves or renames an entry; ADD_IF_NEW leaves a present name alone";
  EXPECT_EQ(http.pHttpHeaders->pNext->dwModifiers, static_cast<DWORD>(HTTP_ADDREQ_FLAG_ADD));

  http.ClearHttpHdrs(nullptr);
  http.AddHttpHeader(HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA, "Cache-Control", "no-cache");
  http.AddHttpHeader(HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA, "Cache-Control", "no-store");
  http.AddHttpHeader(HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON | HTTP_ADDREQ_FLAG_ADD_IF_NEW, "cache-control", "x");
  EXPECT_EQ(Entries(http), (Strings{"Cache-Control=no-cache", "Cache-Control=no-store", "cache-control=x"}))
      << "coalescing adds always append";
}

TEST_F(Headers, EmptyValueEmptiesAPresentEntryAndAddsNoNewOne) {
  http.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD, "User-Agent", "me");
  EXPECT_EQ(http.AddHttpHeader(HTTP_ADDREQ_FLAG_REPLACE, "user-agent", ""), 1);
  ASSERT_NE(http.pHttpHeaders, nullptr);
  EXPECT_EQ(http.pHttpHeaders->pszValue, nullptr) << "the entry stays, to remove the header from requests";
  EXPECT_EQ(http.pHttpHeaders->dwModifiers, static_cast<DWORD>(HTTP_ADDREQ_FLAG_REPLACE));
  EXPECT_EQ(http.AddHttpHeader(HTTP_ADDREQ_FLAG_REPLACE, "X-New", nullptr), 1);
  EXPECT_EQ(Entries(http), (Strings{"User-Agent="}));
}

TEST_F(Headers, NothingToDoAndNoLibraryAreRecordedButSucceed) {
  EXPECT_EQ(http.AddHttpHeader(0, "X-A", "a"), 1);
  EXPECT_STREQ(http.szLastError, "CZemHttp::AddHttpHeader - nothing to do");
  EXPECT_EQ(http.dwLastOSError, 87u);
  EXPECT_EQ(http.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD, "", "a"), 1);
  EXPECT_EQ(http.pHttpHeaders, nullptr);
  const auto lines = zemtest::LogLines(http);
  EXPECT_EQ(lines[0], "CZemHttp::AddHttpHeader( X-A, a )");
  EXPECT_EQ(lines[1], "CZemHttp::SetError( CZemHttp::AddHttpHeader - nothing to do )");

  http.m_WinInet_HttpAddRequestHeadersA = nullptr;
  EXPECT_EQ(http.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD, "X-A", "a"), 1);
  EXPECT_EQ(http.dwLastOSError, 126u);
  EXPECT_STREQ(http.szLastError, "CZemHttp::AddHttpHeader");
  EXPECT_EQ(http.pHttpHeaders, nullptr) << "nothing is added without the library";
}

TEST_F(Headers, UnreadableNameOrValueIsAnErrorNotARemoval) {
  http.AddHttpHeader(HTTP_ADDREQ_FLAG_ADD, "X-A", "a");
  EXPECT_EQ(http.AddHttpHeader(HTTP_ADDREQ_FLAG_REPLACE, "X-A", zemtest::UnreadableAddress()), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::AddHttpHeader FAILED. (error# 998)");
  EXPECT_EQ(http.AddHttpHeader(HTTP_ADDREQ_FLAG_REPLACE, zemtest::UnreadableAddress(), "v"), 0);
  EXPECT_EQ(Entries(http), (Strings{"X-A=a"}));
  EXPECT_EQ(http.ClearHttpHdrs(zemtest::UnreadableAddress()), 0);
  EXPECT_STREQ(http.szLastError, "CZemHttp::ClearHttpHdrs FAILED (error# 998)");
  EXPECT_EQ(Entries(http), (Strings{"X-A=a"})) << "an unreadable name removes nothing";
}

TEST_F(Headers, ClearByNameUnlinksAdjacentMatchesAndKeepsTheRestInOrder) {
  for (const char *name : {"X-Drop", "x-drop", "Keep-1", "X-DROP", "X-Drop", "Keep-2", "X-Drop"}) {
    http.AddHttpHeader(HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA, name, "v");
  }
  EXPECT_EQ(http.ClearHttpHdrs("x-DROP"), 1);
  EXPECT_EQ(Entries(http), (Strings{"Keep-1=v", "Keep-2=v"}));
  EXPECT_EQ(http.ClearHttpHdrs("Absent"), 1);
  EXPECT_EQ(Entries(http).size(), 2u);
  EXPECT_EQ(http.ClearHttpHdrs(""), 1);
  EXPECT_EQ(http.pHttpHeaders, nullptr) << "an empty name empties the list";
  EXPECT_EQ(zemtest::LogLines(http).back(), "CZemHttp::ClearHttpHdrs(  )");
}

}  // namespace
