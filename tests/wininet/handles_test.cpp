// Misuse of handles and arguments gets the library's error codes, never a
// crash: closed, foreign and wrong-type handles, null and unreadable
// pointers, empty and overlong texts. Also the options of handles, the
// per-thread failure description and the message table.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "internet_test_util.h"
#include "loopback_servers.h"

namespace {

using wintest::Handle;

// The error a failing call left, or 0 when it succeeded.
template <typename T>
DWORD ErrorOf(T result) {
  return result ? 0u : GetLastError();
}

class Handles : public ::testing::Test {
 protected:
  void SetUp() override {
    session_.reset(InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    connection_.reset(
        InternetConnectA(session_, "127.0.0.1", 9, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    request_.reset(HttpOpenRequestA(connection_, "GET", "/", nullptr, nullptr, nullptr, 0, 0));
    ASSERT_NE(nullptr, request_.get());
  }
  Handle session_, connection_, request_;
};

TEST_F(Handles, ClosedAndForeignHandlesAreInvalid) {
  HINTERNET stale = request_.release();
  ASSERT_TRUE(InternetCloseHandle(stale));
  int local = 0;
  for (HINTERNET bad : {stale, static_cast<HINTERNET>(nullptr), reinterpret_cast<HINTERNET>(0x1234),
                        static_cast<HINTERNET>(&local)}) {
    DWORD value = 0, size = sizeof value;
    char byte;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(InternetCloseHandle(bad)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(HttpSendRequestA(bad, nullptr, 0, nullptr, 0)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
              ErrorOf(HttpQueryInfoA(bad, HTTP_QUERY_STATUS_CODE, &value, &size, nullptr)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(InternetReadFile(bad, &byte, 1, &value)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
              ErrorOf(HttpAddRequestHeadersA(bad, "A: b", static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
              ErrorOf(InternetConnectA(bad, "h", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0)));
    EXPECT_EQ(INTERNET_INVALID_STATUS_CALLBACK, InternetSetStatusCallbackA(bad, nullptr));
  }
}

TEST_F(Handles, ClosingAParentClosesEverythingUnderIt) {
  HINTERNET request = request_.get();
  HINTERNET connection = connection_.get();
  ASSERT_TRUE(InternetCloseHandle(session_.release()));
  connection_.release();
  request_.release();
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(HttpSendRequestA(request, nullptr, 0, nullptr, 0)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
            ErrorOf(HttpOpenRequestA(connection, "GET", "/", nullptr, nullptr, nullptr, 0, 0)));
}

TEST_F(Handles, EachFunctionWantsItsKindOfHandle) {
  const DWORD wrong = ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
  DWORD value = 0, size = sizeof value;
  EXPECT_EQ(wrong, ErrorOf(InternetConnectA(request_, "h", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0)));
  EXPECT_EQ(wrong, ErrorOf(HttpOpenRequestA(session_, "GET", "/", nullptr, nullptr, nullptr, 0, 0)));
  EXPECT_EQ(wrong, ErrorOf(HttpSendRequestA(connection_, nullptr, 0, nullptr, 0)));
  EXPECT_EQ(wrong, ErrorOf(HttpQueryInfoA(session_, HTTP_QUERY_STATUS_CODE, &value, &size, nullptr)));
  EXPECT_EQ(wrong, ErrorOf(InternetQueryDataAvailable(connection_, &value, 0, 0)));
  for (auto [handle, type] : {std::pair<HINTERNET, DWORD>{session_, INTERNET_HANDLE_TYPE_INTERNET},
                              {connection_, INTERNET_HANDLE_TYPE_CONNECT_HTTP},
                              {request_, INTERNET_HANDLE_TYPE_HTTP_REQUEST}}) {
    size = sizeof value;
    ASSERT_TRUE(InternetQueryOptionA(handle, INTERNET_OPTION_HANDLE_TYPE, &value, &size));
    EXPECT_EQ(type, value);
  }
}

TEST_F(Handles, BadArgumentsAreRefused) {
  const DWORD invalid = ERROR_INVALID_PARAMETER;
  const std::string long_name(INTERNET_MAX_HOST_NAME_LENGTH + 1, 'h');
  const std::string huge(70000, 'a');
  const std::string huge_headers = "X-Big: " + std::string(2 * 1024 * 1024, 'x');
  auto bad_text = reinterpret_cast<LPCSTR>(0x10);
  DWORD value = 0;
  char buffer[16];
  // Sessions and connections.
  EXPECT_EQ(invalid, ErrorOf(InternetOpenA("a", 2, nullptr, nullptr, 0)));
  EXPECT_EQ(invalid, ErrorOf(InternetOpenA("a", INTERNET_OPEN_TYPE_PROXY, nullptr, nullptr, 0)));
  EXPECT_EQ(invalid, ErrorOf(InternetOpenA(huge.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)));
  EXPECT_EQ(invalid, ErrorOf(InternetOpenA(bad_text, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)));
  EXPECT_EQ(invalid, ErrorOf(InternetConnectA(session_, nullptr, 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0)));
  EXPECT_EQ(invalid, ErrorOf(InternetConnectA(session_, "", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0)));
  EXPECT_EQ(invalid,
            ErrorOf(InternetConnectA(session_, long_name.c_str(), 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED),
            ErrorOf(InternetConnectA(session_, "h", 21, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0)));
  // Requests and their headers.
  EXPECT_EQ(invalid, ErrorOf(HttpOpenRequestA(connection_, "GE T", "/", nullptr, nullptr, nullptr, 0, 0)));
  LPCSTR unterminated[300];
  for (auto &type : unterminated) type = "text/*";
  EXPECT_EQ(invalid, ErrorOf(HttpOpenRequestA(connection_, "GET", "/", nullptr, nullptr, unterminated, 0, 0)));
  EXPECT_EQ(invalid, ErrorOf(HttpAddRequestHeadersA(request_, nullptr, static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD)));
  EXPECT_EQ(invalid, ErrorOf(HttpAddRequestHeadersA(request_, "X-A: b", 0, HTTP_ADDREQ_FLAG_ADD)));
  EXPECT_EQ(invalid, ErrorOf(HttpAddRequestHeadersA(request_, bad_text, 5, HTTP_ADDREQ_FLAG_ADD)));
  EXPECT_EQ(invalid, ErrorOf(HttpAddRequestHeadersA(request_, huge_headers.c_str(), static_cast<DWORD>(-1),
                                                    HTTP_ADDREQ_FLAG_ADD)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOACCESS),
            ErrorOf(HttpSendRequestA(request_, nullptr, 0, reinterpret_cast<LPVOID>(0x10), 5)));
  EXPECT_EQ(invalid, ErrorOf(HttpSendRequestA(request_, nullptr, 0, nullptr, 5)));
  // Queries and reads.
  EXPECT_EQ(invalid, ErrorOf(HttpQueryInfoA(request_, HTTP_QUERY_STATUS_CODE, buffer, nullptr, nullptr)));
  EXPECT_EQ(invalid, ErrorOf(HttpQueryInfoA(request_, HTTP_QUERY_CUSTOM, nullptr, &value, nullptr)));
  EXPECT_EQ(invalid, ErrorOf(InternetQueryDataAvailable(request_, nullptr, 0, 0)));
  EXPECT_EQ(invalid, ErrorOf(InternetReadFile(request_, buffer, sizeof buffer, nullptr)));
  EXPECT_EQ(invalid, ErrorOf(InternetReadFile(request_, nullptr, 10, &value)));
  EXPECT_EQ(invalid, ErrorOf(InternetQueryOptionA(session_, INTERNET_OPTION_USER_AGENT, buffer, nullptr)));
  EXPECT_EQ(invalid, ErrorOf(InternetGetLastResponseInfoA(nullptr, buffer, &value)));
}

TEST_F(Handles, OptionsAreInheritedAndQueriedWithTheirSizes) {
  DWORD value = 0, size = sizeof value;
  ASSERT_TRUE(InternetQueryOptionA(request_, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &size));
  EXPECT_EQ(30000u, value) << "the default receive time-out";
  size = sizeof value;
  ASSERT_TRUE(InternetQueryOptionA(nullptr, INTERNET_OPTION_CONNECT_TIMEOUT, &value, &size));
  EXPECT_EQ(60000u, value) << "the default connect time-out";

  DWORD ms = 1234;
  ASSERT_TRUE(InternetSetOptionA(session_, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms));
  size = sizeof value;
  ASSERT_TRUE(InternetQueryOptionA(request_, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &size));
  EXPECT_EQ(1234u, value) << "a session's value holds for the request under it";
  ms = 99;
  ASSERT_TRUE(InternetSetOptionA(request_, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &ms, sizeof ms));
  size = sizeof value;
  ASSERT_TRUE(InternetQueryOptionA(request_, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &size));
  EXPECT_EQ(99u, value) << "the request's own value wins";

  ASSERT_TRUE(InternetSetOptionA(connection_, INTERNET_OPTION_USERNAME, const_cast<char *>("someone"), 7));
  size = 0;
  EXPECT_FALSE(InternetQueryOptionA(request_, INTERNET_OPTION_USERNAME, nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(8u, size);
  char name[16];
  ASSERT_TRUE(InternetQueryOptionA(request_, INTERNET_OPTION_USERNAME, name, &size));
  EXPECT_STREQ("someone", name);
  EXPECT_EQ(7u, size);

  size = sizeof name;
  ASSERT_TRUE(InternetQueryOptionA(request_, INTERNET_OPTION_USER_AGENT, name, &size));
  EXPECT_STREQ("zemtest", name) << "the agent given to InternetOpenA";

  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_BAD_OPTION_LENGTH),
            ErrorOf(InternetSetOptionA(request_, INTERNET_OPTION_SEND_TIMEOUT, &ms, 2)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_OPTION_NOT_SETTABLE),
            ErrorOf(InternetSetOptionA(request_, INTERNET_OPTION_HANDLE_TYPE, &ms, sizeof ms)));
  INTERNET_VERSION_INFO version{};
  size = sizeof version - 1;
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
            ErrorOf(InternetQueryOptionA(nullptr, INTERNET_OPTION_VERSION, &version, &size)));
  EXPECT_EQ(sizeof version, size);
  ASSERT_TRUE(InternetQueryOptionA(nullptr, INTERNET_OPTION_VERSION, &version, &size));
  EXPECT_EQ(1u, version.dwMajorVersion);
  EXPECT_EQ(2u, version.dwMinorVersion);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_OPTION_NOT_SETTABLE),
            ErrorOf(InternetSetOptionA(nullptr, INTERNET_OPTION_VERSION, &version, sizeof version)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INVALID_OPTION),
            ErrorOf(InternetSetOptionA(request_, 9999, &ms, sizeof ms)));
  size = sizeof value;
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INVALID_OPTION),
            ErrorOf(InternetQueryOptionA(request_, 9999, &value, &size)));

  DWORD_PTR context = 0;
  ASSERT_TRUE(InternetSetOptionA(request_, INTERNET_OPTION_CONTEXT_VALUE, &ms, sizeof(DWORD)));
  size = sizeof context;
  ASSERT_TRUE(InternetQueryOptionA(request_, INTERNET_OPTION_CONTEXT_VALUE, &context, &size));
  EXPECT_EQ(static_cast<DWORD_PTR>(99), context);
}

void CALLBACK NoteStatus(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) {}

TEST_F(Handles, SettingACallbackReturnsThePreviousOne) {
  EXPECT_EQ(nullptr, InternetSetStatusCallbackA(session_, &NoteStatus));
  EXPECT_EQ(&NoteStatus, InternetSetStatusCallbackA(session_, nullptr));
}

TEST(LibraryFacts, FunctionsWithoutWorkHereSaySo) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), InternetErrorDlg(nullptr, nullptr, 0, 0, nullptr));
  InternetStatusCallbackA(nullptr, 0, 0, nullptr, 0);
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
  EXPECT_TRUE(InternetAutodialHangup(0)) << "there is never a dial-up connection to hang up";
}

TEST(LibraryFacts, TheLastFailureIsDescribedUntilTheNextCall) {
  EXPECT_FALSE(InternetOpenA("a", 7, nullptr, nullptr, 0));
  DWORD code = 0, size = 0;
  EXPECT_FALSE(InternetGetLastResponseInfoA(&code, nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), code);
  std::string text(size, '\0');
  ASSERT_TRUE(InternetGetLastResponseInfoA(&code, text.data(), &size));
  EXPECT_EQ(text.size() - 1, size) << "the length returned leaves out the terminator";
  EXPECT_NE(std::string::npos, text.find("dwAccessType 7")) << text;
  EXPECT_EQ(text.c_str(), wintest::LastResponseText()) << "asking twice gives the same answer";

  Handle session(InternetOpenA("a", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  EXPECT_EQ("", wintest::LastResponseText(&code)) << "a call that succeeded leaves nothing to describe";
  EXPECT_EQ(0u, code);

  std::string other_thread;
  std::thread([&] { other_thread = wintest::LastResponseText(); }).join();
  EXPECT_EQ("", other_thread);
}

TEST(LibraryFacts, EveryCodeTheLibrarySetsHasAMessage) {
  HMODULE module = GetModuleHandleA("WININET.DLL");
  ASSERT_NE(nullptr, module);
  const DWORD codes[] = {ERROR_INVALID_HANDLE,
                         ERROR_INVALID_PARAMETER,
                         ERROR_INSUFFICIENT_BUFFER,
                         ERROR_NOACCESS,
                         ERROR_CALL_NOT_IMPLEMENTED,
                         ERROR_INTERNET_TIMEOUT,
                         ERROR_INTERNET_NAME_NOT_RESOLVED,
                         ERROR_INTERNET_INCORRECT_HANDLE_TYPE,
                         ERROR_INTERNET_INCORRECT_HANDLE_STATE,
                         ERROR_INTERNET_CANNOT_CONNECT,
                         ERROR_INTERNET_CONNECTION_ABORTED,
                         ERROR_INTERNET_CONNECTION_RESET,
                         ERROR_INTERNET_SEC_CERT_DATE_INVALID,
                         ERROR_INTERNET_SEC_CERT_CN_INVALID,
                         ERROR_INTERNET_INVALID_CA,
                         ERROR_HTTP_HEADER_NOT_FOUND,
                         ERROR_HTTP_INVALID_SERVER_RESPONSE,
                         ERROR_HTTP_REDIRECT_FAILED};
  for (DWORD code : codes) {
    char text[512] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, code, 0,
                                        text, sizeof text, nullptr);
    EXPECT_LT(10u, length) << "no message for " << code;
  }
}

}  // namespace
