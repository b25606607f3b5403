// Bounded copies, searches, text blocks and folder paths.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "ZemMem.h"

namespace {

TEST(BoundedCopy, CutsAtTheLimitTerminatesRightAfterAndToleratesBadPointers) {
  const struct {
    const char *src;
    int nMax;
    std::string expected;  // the whole 8-byte buffer, '#' where nothing may be written
  } cases[] = {
      {"abcdef", 0, std::string("\0#######", 8)},   {"abcdef", 5, std::string("abcde\0##", 8)},
      {"abcdef", 6, std::string("abcdef\0#", 8)},   {"abcdef", 7, std::string("abcdef\0#", 8)},
      {"abcdef", -1, std::string("abcdef\0#", 8)},  {"abcdef", INT_MIN, std::string("abcdef\0#", 8)},
      {nullptr, 5, std::string("\0#######", 8)},    {reinterpret_cast<const char *>(0x1234), 5, std::string("\0#######", 8)},
  };
  for (auto copy : {&SysStrCopyN, &SysStrCopyLimit}) {
    for (const auto &c : cases) {
      char buffer[8];
      std::memset(buffer, '#', sizeof buffer);
      EXPECT_EQ(copy(buffer, c.src, c.nMax), buffer);
      EXPECT_EQ(std::string(buffer, sizeof buffer), c.expected) << "limit " << c.nMax;
    }
    EXPECT_EQ(copy(nullptr, "abc", 3), nullptr);
  }
}

TEST(TextSearch, FindsTheFirstOccurrenceOnly) {
  const char *format = "CZemHttp::Get %s FAILED (%d)";
  EXPECT_EQ(SysStrChr(format, '%'), format + 14);
  EXPECT_EQ(SysStrChr("XMWJI3041", '\0'), nullptr) << "the terminator must not count as a member of a set";
  EXPECT_EQ(SysStrChr(nullptr, 'a'), nullptr);
  const char *headers = "HTTP/1.1 200 OK\r\nallow: x\r\nAllow: GET, HEAD\r\nAllow: PUT\r\n";
  EXPECT_EQ(SysStrStr(headers, "Allow:"), std::strstr(headers, "Allow: GET")) << "the search is case-sensitive";
  EXPECT_EQ(SysStrStr(headers, "Location:"), nullptr);
  EXPECT_EQ(SysStrStr(headers, ""), nullptr);
  EXPECT_EQ(SysStrStr(nullptr, "a"), nullptr);
}

TEST(TextBlock, IsACheckedBlockOfLengthPlusOneAndLeavesTheOldBlockAlone) {
  for (const std::string &text : {std::string("CZemHttp::SetURL( http://h/ )"), std::string(100000, 'x')}) {
    char *psz = nullptr;
    SysStrAssign(&psz, text.c_str());
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(psz, text);
    EXPECT_EQ(ZemMemSize(psz), text.size() + 1);
    char *const first = psz;
    SysStrAssign(&psz, nullptr);
    EXPECT_STREQ(psz, "") << "a null text gives the empty text";
    EXPECT_EQ(ZemMemSize(psz), 1u);
    EXPECT_EQ(first, text) << "assigning must leave the replaced block to its owner";
    const int asserts = SysGetAssertCount();
    char *old = first;
    ZemMemFree(&old);
    ZemMemFree(&psz);
    EXPECT_EQ(SysGetAssertCount(), asserts) << "a text block failed the guard of the checked release";
  }
  SysStrAssign(nullptr, "ignored");
}

TEST(FolderPath, LosesTrailingSeparatorsAndBlanksButKeepsARoot) {
  const char *cases[][2] = {
      {"C:\\Program Files\\Suite\\", "C:\\Program Files\\Suite"}, {"/opt/suite/lib\\/  ", "/opt/suite/lib"},
      {"mixed\\and/kept", "mixed\\and/kept"}, {"/", "/"}, {"\\", "\\"}, {"//", "/"}, {"", ""},
  };
  for (const auto &c : cases) {
    char buffer[64];
    std::strcpy(buffer, c[0]);
    SysNormalizePath(buffer);
    EXPECT_STREQ(buffer, c[1]) << "normalising \"" << c[0] << "\"";
  }
  SysNormalizePath(nullptr);
}

}  // namespace
