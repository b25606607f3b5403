// FormatMessageA: where texts come from, inserts, and how results are
// handed back.
#include <gtest/gtest.h>
#include <stdarg.h>

#include <string>

#include "windows.h"

namespace {

class ModuleMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA(ZEM_TEST_MSGTABLE_MODULE);
    ASSERT_NE(module_, nullptr) << "test module did not load: " << GetLastError();
  }
  void TearDown() override { FreeLibrary(module_); }

  // Formats message id of the test module; the result, or "<failed N>".
  std::string Format(DWORD id, DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS, ...) {
    char buffer[256] = {};
    va_list args;
    va_start(args, flags);
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | flags, module_, id, LANG_USER_DEFAULT, buffer,
                                   sizeof buffer, &args);
    va_end(args);
    if (n == 0) return "<failed " + std::to_string(GetLastError()) + ">";
    EXPECT_EQ(n, std::string(buffer).size()) << "the count must leave out the NUL";
    return buffer;
  }

  HMODULE module_ = nullptr;
};

TEST_F(ModuleMessages, TextsComeFromTheModulesTableEndingInALineBreak) {
  EXPECT_EQ(Format(100), "Plain message without inserts\r\n");
  EXPECT_EQ(Format(102), "Already ends in a line break\r\n") << "the line break must not be doubled";
  EXPECT_EQ(Format(101), "Host %1 refused port %2!u!\r\n") << "inserts are kept when ignored";
}

TEST_F(ModuleMessages, InsertsAreFilledFromTheArguments) {
  EXPECT_EQ(Format(101, 0, "example.test", 8080u), "Host example.test refused port 8080\r\n");
  EXPECT_EQ(Format(103, 0), "First line\r\nSecond line\r\n");
}

TEST_F(ModuleMessages, WidthMaskJoinsTheTextsOwnLineBreaks) {
  EXPECT_EQ(Format(100, FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK),
            "Plain message without inserts ");
  // A break asked for with %n is kept.
  EXPECT_EQ(Format(103, FORMAT_MESSAGE_MAX_WIDTH_MASK), "First line\r\nSecond line ");
  EXPECT_EQ(Format(100, FORMAT_MESSAGE_IGNORE_INSERTS | 14), "Plain message\r\nwithout\r\ninserts ");
}

TEST_F(ModuleMessages, FailuresReportTheirCause) {
  EXPECT_EQ(Format(999), "<failed 317>") << "unknown message id";
  // Texts with inserts but no arguments cannot be filled.
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module_, 101, 0, nullptr, 0, nullptr), 0u);

  char small[10];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module_, 100, 0, small,
                           sizeof small, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  char exact[sizeof "Plain message without inserts\r\n"];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module_, 100, 0, exact,
                           sizeof exact, nullptr),
            sizeof exact - 1)
      << "a buffer with room for the text and its NUL is enough";

  int not_a_module = 0;
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, &not_a_module, 100, 0, exact, sizeof exact, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ModuleMessages, AModuleWithoutATableFallsBackToTheSystemWhenAsked) {
  HMODULE platform = GetModuleHandleA("ZEMSYS.DLL");
  char buffer[128];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, platform, 2, 0, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM, platform, 2, 0, buffer,
                           sizeof buffer, nullptr),
            0u);
  // An unknown id in the module's table falls back too.
  EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM, module_, 2, 0, buffer,
                           sizeof buffer, nullptr),
            0u);
}

TEST(SystemMessages, KnownAndUnknownCodes) {
  char buffer[128];
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_MOD_NOT_FOUND, ERROR_INSUFFICIENT_BUFFER, ERROR_NOACCESS}) {
    const DWORD n = FormatMessageA(flags, nullptr, code, 0, buffer, sizeof buffer, nullptr);
    ASSERT_GT(n, 2u) << "no text for system code " << code;
    EXPECT_EQ(std::string(buffer).substr(n - 2), "\r\n") << code;
    EXPECT_EQ(std::string(buffer).find("Unknown"), std::string::npos) << code << ": " << buffer;
  }
  ASSERT_GT(FormatMessageA(flags, nullptr, 77777, 0, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_STREQ(buffer, "Unknown error 77777.\r\n");
}

TEST(FormatMessage, AllocatedBufferIsReleasedWithLocalFree) {
  char *text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                     FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                 nullptr, ERROR_ACCESS_DENIED, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  ASSERT_GT(n, 0u);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text).size(), n);
  EXPECT_EQ(LocalFree(text), nullptr) << "LocalFree refused FormatMessageA's own block";

  // The block is gone: a second release is refused rather than freeing twice.
  SetLastError(0);
  EXPECT_EQ(LocalFree(text), text);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

std::string FromString(const char *format, ...) {
  char buffer[256] = {};
  va_list args;
  va_start(args, format);
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING, format, 0, 0, buffer, sizeof buffer, &args);
  va_end(args);
  return n == 0 ? "<failed " + std::to_string(GetLastError()) + ">" : std::string(buffer);
}

TEST(FormatMessage, InsertSequences) {
  EXPECT_EQ(FromString("%2 before %1", "one", "two"), "two before one");
  EXPECT_EQ(FromString("%1!d! items, %2!08X!, %3!s!", -5, 0xBEEFu, "text"), "-5 items, 0000BEEF, text");
  EXPECT_EQ(FromString("%1!I64u! bytes", 5000000000ULL), "5000000000 bytes");
  EXPECT_EQ(FromString("100%% done%.%!%n"), "100% done.!\r\n");
  EXPECT_EQ(FromString("kept%0 cut here"), "kept");
  EXPECT_EQ(FromString("%1%1", "ab"), "abab") << "an insert may be used twice";
  EXPECT_EQ(FromString("%1 and %3", "a", 99, "c"), "a and c") << "an unused argument between two is skipped";
  EXPECT_EQ(FromString("%12", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "x", "twelve"), "twelve");
  EXPECT_EQ(FromString("%1!f!", 1.5), "<failed 87>") << "floating conversions are not supported";
  EXPECT_EQ(FromString("%1", static_cast<const char *>(nullptr)), "<failed 87>");
}

TEST(FormatMessage, ArgumentArrayHoldsPointerSizedValues) {
  DWORD_PTR values[] = {reinterpret_cast<DWORD_PTR>("name"), 443};
  char buffer[64];
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1:%2!u!", 0, 0,
                                 buffer, sizeof buffer, reinterpret_cast<va_list *>(values));
  ASSERT_GT(n, 0u) << GetLastError();
  EXPECT_STREQ(buffer, "name:443");
}

TEST(FormatMessage, BadArgumentsAreRefused) {
  char buffer[64];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(0, nullptr, 2, 0, buffer, sizeof buffer, nullptr), 0u) << "no source named";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, nullptr, 64, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, nullptr, 0, 0, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
