// The client's error record: how codes are sorted, how texts are formatted,
// cut and cleared, and how they are read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ZemHttp.h"
#include "ZemSys.h"
#include "tests/client/config_test_util.h"

namespace {

// An object bound to nothing, so no test depends on which internet library
// the platform provides.
class ErrorRecord : public zemtest::LoggingClient {};

TEST_F(ErrorRecord, InternetCodeIsFormattedRecordedAndLoggedEvenFromTheScratchText) {
  // Members format their message in pszMsg and hand it over; the log line
  // about the error is formatted in that same pszMsg afterwards.
  std::snprintf(http.pszMsg, 4096, "CZemHttp::SetHttpDWS FAILED. (error# %%d)");
  http.SetError(ERROR_INTERNET_TIMEOUT, http.pszMsg, 0);
  EXPECT_EQ(http.dwLastInetError, 12002u);
  EXPECT_EQ(http.dwLastOSError, 0u);
  EXPECT_STREQ(http.szLastError, "CZemHttp::SetHttpDWS FAILED. (error# 12002)");
  EXPECT_EQ(http.GetDbgLineCount(), 1);
  EXPECT_EQ(zemtest::LogLines(http).back(), "CZemHttp::SetError( CZemHttp::SetHttpDWS FAILED. (error# 12002) )");
}

TEST_F(ErrorRecord, OnlyTheInternetRangeCountsAsInternetCodes) {
  struct Case {
    int nCode;
    bool bInternet;
  } cases[] = {{11999, false}, {12000, true}, {12999, true}, {13000, false}, {5, false}, {-1, false}};
  for (const Case &c : cases) {
    http.SetError(c.nCode, "x %d", 0);
    if (c.bInternet) {
      EXPECT_EQ(http.GetLastInternetError(), static_cast<DWORD>(c.nCode)) << "code " << c.nCode;
      EXPECT_EQ(http.GetLastOSError(), 0u) << "code " << c.nCode;
    } else {
      EXPECT_EQ(http.GetLastOSError(), static_cast<DWORD>(c.nCode)) << "code " << c.nCode;
      EXPECT_EQ(http.GetLastInternetError(), 0u) << "code " << c.nCode;
    }
  }
}

TEST_F(ErrorRecord, OnlyTheFirstPercentDecidesWhetherTheTextIsFormattedAndTextsAreCutTo255) {
  struct Case {
    std::string format;
    int nCode;
    std::string expected;
  } cases[] = {
      // A first conversion other than the eight code letters: stored as is.
      {"CZemHttp::X bad %s value %d", 5, "CZemHttp::X bad %s value %d"},
      {"handle %8.8X failed %d", 5, "handle %8.8X failed %d"},
      {"escaped %20 in a URL", 5, "escaped %20 in a URL"},
      // The code letters, in both cases.
      {"code %d", 255, "code 255"},
      {"code %D", 255, "code 255"},
      {"code %i", 255, "code 255"},
      {"code %x", 255, "code ff"},
      {"code %X", 255, "code FF"},
      {"code %u", -1, "code 4294967295"},
      // Later "%" signs never read an argument: they come from data.
      {"code %d then %s and %n", 7, "code 7 then %s and %n"},
      {"code %d is 100%% sure", 7, "code 7 is 100% sure"},
      {"code %d ends in %", 7, "code 7 ends in %"},
      // Stored texts are cut to 255 characters, formatted or not.
      {std::string(300, 'a'), 5, std::string(255, 'a')},
      {std::string(250, 'b') + "%d tail", 12345, std::string(250, 'b') + "12345"},
  };
  for (const Case &c : cases) {
    http.SetError(c.nCode, c.format.c_str(), 0);
    EXPECT_EQ(std::string(http.szLastError), c.expected) << "format \"" << c.format.substr(0, 40) << "\"";
  }
}

TEST_F(ErrorRecord, FallbackStandsInForAZeroCode) {
  http.SetError(0, "CZemHttp::Member failed %d", ERROR_INVALID_PARAMETER);
  EXPECT_EQ(http.GetLastOSError(), 87u);
  EXPECT_STREQ(http.szLastError, "CZemHttp::Member failed 87");

  http.SetError(0, "CZemHttp::Member failed %d", ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(http.GetLastOSError(), 0u);
  EXPECT_EQ(http.dwLastInetError, 12005u);
}

TEST_F(ErrorRecord, ZeroCodeClearsOnlyWithoutAUsableText) {
  http.SetError(5, "first %d", 0);
  const int nLines = http.GetDbgLineCount();

  http.SetError(0, "a text of its own", 0);
  EXPECT_EQ(http.GetLastOSError(), 5u) << "a zero code with a text must change nothing";
  EXPECT_STREQ(http.szLastError, "first 5");
  EXPECT_EQ(http.GetDbgLineCount(), nLines) << "a zero code with a text must log nothing";

  for (const char *pszClear : {static_cast<const char *>(nullptr), "", reinterpret_cast<const char *>(0x20)}) {
    http.SetError(12002, "again %d", 0);
    http.SetError(0, pszClear, 0);
    EXPECT_EQ(http.GetLastOSError(), 0u);
    EXPECT_EQ(http.dwLastInetError, 0u);
    EXPECT_STREQ(http.szLastError, "");
  }
}

TEST_F(ErrorRecord, NullFormatRecordsTheCodeWithoutTextOrLogLine) {
  http.SetError(12, "earlier %d", 0);
  const int nLines = http.GetDbgLineCount();
  http.SetError(ERROR_NOT_ENOUGH_MEMORY, nullptr, 0);
  EXPECT_EQ(http.GetLastOSError(), 8u);
  EXPECT_STREQ(http.szLastError, "");
  EXPECT_EQ(http.GetDbgLineCount(), nLines);
}

TEST_F(ErrorRecord, GetErrorStringReportsTheFullLengthWhateverItCopies) {
  http.SetError(5, "0123456789", 0);
  EXPECT_EQ(http.GetErrorString(nullptr, 0), 10);

  char szBuffer[32];
  std::memset(szBuffer, '#', sizeof szBuffer);
  EXPECT_EQ(http.GetErrorString(szBuffer, 5), 10);
  EXPECT_STREQ(szBuffer, "01234");

  std::memset(szBuffer, '#', sizeof szBuffer);
  EXPECT_EQ(http.GetErrorString(szBuffer, 0), 10) << "0 characters copies the whole text";
  EXPECT_STREQ(szBuffer, "0123456789");

  http.SetError(0, nullptr, 0);
  std::memset(szBuffer, '#', sizeof szBuffer);
  EXPECT_EQ(http.GetErrorString(szBuffer, 5), 0);
  EXPECT_EQ(szBuffer[0], '\0') << "an empty record still terminates the buffer";
}

TEST_F(ErrorRecord, UnwritableBufferIsReportedNotWritten) {
  http.SetError(5, "some error", 0);
  EXPECT_EQ(http.GetErrorString(reinterpret_cast<char *>(0x10), 0), 0);
  EXPECT_EQ(http.GetLastOSError(), static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_NE(std::string(http.szLastError).find("CZemHttp::GetErrorString"), std::string::npos) << http.szLastError;
}

// GetLastInternetError hands the message of the module loaded as
// WININET.DLL for the code to the support library's report; an OS code is
// not looked up at all.
TEST(InternetErrorMessage, ModuleMessageIsReportedForInternetCodesOnly) {
  zemtest::WinInetDouble wininet;
  ASSERT_TRUE(wininet.ok());
  CZemHttp http(0, 0, 0, 1);
  ASSERT_EQ(http.SetModulePath(wininet.folder().c_str()), 1);
  ASSERT_EQ(http.LoadWinInet(), 1);
  // Other objects of this process may hold the system's own library too, and
  // a lookup by that name may find either: the report is the message of one
  // of the modules named "WININET.DLL".
  std::vector<HMODULE> modules = {wininet.module(), GetModuleHandleA("WININET.DLL")};
#ifdef _WIN32
  HMODULE hSystem = nullptr;
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&InternetOpenA), &hSystem)) {
    modules.push_back(hSystem);
  }
#endif
  std::vector<std::string> messages;
  for (HMODULE hModule : modules) {
    char szMessage[1024] = "";
    if (FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, hModule, ERROR_INTERNET_TIMEOUT, LANG_USER_DEFAULT, szMessage,
                       sizeof szMessage, nullptr) != 0) {
      messages.push_back(szMessage);
    }
  }
  ASSERT_FALSE(messages.empty());

  char szText[1024] = "";
  SysReportError(1, "marker");
  http.SetError(ERROR_INTERNET_TIMEOUT, "x %d", 0);
  EXPECT_EQ(http.GetLastInternetError(), 12002u);
  EXPECT_EQ(SysGetReportedError(szText, sizeof szText), 12002u);
  EXPECT_NE(std::find(messages.begin(), messages.end(), szText), messages.end()) << szText;

  SysReportError(1, "marker");
  http.SetError(ERROR_ACCESS_DENIED, "x %d", 0);
  EXPECT_EQ(http.GetLastInternetError(), 0u);
  EXPECT_EQ(SysGetReportedError(szText, sizeof szText), 1u) << "an OS code must not be reported";
  EXPECT_STREQ(szText, "marker");

  // A code the module has no message for reports nothing either.
  http.SetError(12998, "x %d", 0);
  EXPECT_EQ(http.GetLastInternetError(), 12998u);
  EXPECT_EQ(SysGetReportedError(szText, sizeof szText), 1u);
}

}  // namespace
