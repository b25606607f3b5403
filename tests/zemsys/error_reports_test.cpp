// Error texts, reported internet errors and library loading: what callers
// print and record when something fails.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ZemSys.h"

namespace {

TEST(ErrorText, EveryCodeGetsOneLineAndTheCallersLastErrorSurvives) {
  for (DWORD code : {2u, 5u, 126u, 0x7FFFABCDu}) {
    SetLastError(1234);
    const std::string text = SysErrorText(code, 1);
    EXPECT_EQ(GetLastError(), 1234u) << "looking up a text changed the error the caller is handling";
    EXPECT_FALSE(text.empty()) << "no text for error " << code;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << "text for " << code << " is not one line: " << text;
  }
  const std::string notFound = SysErrorText(2, 1);  // the text lives only until the next call
  EXPECT_NE(notFound, SysErrorText(5, 1)) << "distinct known codes share one text";
  const std::string unknown = SysErrorText(0x7FFFABCD, 1);
  EXPECT_NE(unknown.find("2147462093"), std::string::npos) << "an unknown code should name its number: " << unknown;
}

TEST(ReportedError, IsKeptPerThreadCutToTheBufferAndBounded) {
  SysReportError(12002, "The operation timed out");
  char text[8];
  EXPECT_EQ(SysGetReportedError(text, sizeof text), 12002u);
  EXPECT_STREQ(text, "The ope") << "7 characters and a NUL fit in 8";
  DWORD other = 1;
  std::thread([&] { other = SysGetReportedError(nullptr, 0); }).join();
  EXPECT_EQ(other, 0u) << "another thread saw this thread's report";

  const std::string huge(1 << 20, 'e');
  SysReportError(12152, huge.c_str());
  std::string buffer(8192, '#');
  SysGetReportedError(buffer.data(), static_cast<DWORD>(buffer.size()));
  EXPECT_EQ(std::string(buffer.c_str()).size(), 4095u);
  SysReportError(12007, nullptr);
  EXPECT_EQ(SysGetReportedError(text, sizeof text), 12007u);
  EXPECT_STREQ(text, "");
}

TEST(LibraryLoading, GivesAHandleOrANonZeroCodeAndNoHandle) {
  HMODULE hModule = nullptr;
  ASSERT_EQ(SysLoadLibrary(&hModule, "ZEMSYS.DLL"), 0u) << "the support library itself must load";
  EXPECT_NE(hModule, nullptr);
  FreeLibrary(hModule);
  for (const char *name : {"NO_SUCH_LIBRARY.DLL", "/no/such/folder\\WININET.DLL"}) {
    hModule = reinterpret_cast<HMODULE>(0x1);
    EXPECT_EQ(SysLoadLibrary(&hModule, name), 126u) << name;
    EXPECT_EQ(hModule, nullptr) << "a failed load must leave no handle";
  }
  EXPECT_EQ(SysLoadLibrary(&hModule, ""), 87u);
  EXPECT_EQ(SysLoadLibrary(nullptr, "ZEMSYS.DLL"), 87u);
}

}  // namespace
