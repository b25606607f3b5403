// The service log: when lines are kept, how the line array grows, freezes and
// is deleted, and how lines are read back.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "ZemHttp.h"

namespace {

class ServiceLog : public ::testing::Test {
 protected:
  // Adds lines "line 1", "line 2", ... and returns how many were kept.
  int AddLines(int nCount) {
    int nKept = 0;
    for (int i = 0; i < nCount; ++i) {
      std::string line = "line " + std::to_string(http.GetDbgLineCount() + 1);
      nKept += http.LogAddLine(line.c_str());
    }
    return nKept;
  }
  std::string Line(int n) {
    char szLine[256] = "";
    http.GetDebugLine(szLine, n, 0);
    return szLine;
  }
  CZemHttp http{0, 0, 0, 1};  // bound to nothing: only the log is exercised
};

TEST_F(ServiceLog, NothingIsKeptUntilEnabledWithUsableSizes) {
  EXPECT_EQ(http.LogAddLine("not kept"), 0);
  EXPECT_EQ(http.GetDbgLineCount(), 0);
  EXPECT_EQ(http.nLogMaxLines, 200);
  EXPECT_EQ(http.EnableLogging(10, -5, -1), 0);
  EXPECT_EQ(http.LogAddLine("x"), 0);
  EXPECT_EQ(http.EnableLogging(-3, 2, 2), 0);
  EXPECT_EQ(http.LogAddLine("x"), 0);
  EXPECT_EQ(http.GetDbgLineCount(), 0);
}

TEST_F(ServiceLog, ArrayGrowsInStepsUpToTheMaximumThenDropsNewLines) {
  ASSERT_EQ(http.EnableLogging(10, 0, 4), 1);
  EXPECT_EQ(http.nLogCapacity, 0) << "with no first allocation the array comes with the first line";
  const int expectedCapacity[] = {4, 4, 4, 4, 8, 8, 8, 8, 10, 10};
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(AddLines(1), 1) << "line " << i + 1;
    EXPECT_EQ(http.nLogCapacity, expectedCapacity[i]) << "after line " << i + 1;
  }
  EXPECT_EQ(http.LogAddLine("line 11"), 0);
  EXPECT_EQ(http.LogAddLine("line 12"), 0);
  EXPECT_EQ(http.GetDbgLineCount(), 10);
  EXPECT_EQ(Line(1), "line 1") << "a full log keeps its first lines";
  EXPECT_EQ(Line(10), "line 10");
}

TEST_F(ServiceLog, FirstAllocationIsCappedAtTheMaximumAndReplacesAnEmptyArray) {
  ASSERT_EQ(http.EnableLogging(10, 6, 2), 1);
  ASSERT_EQ(http.EnableLogging(5, 8, 2), 1);
  EXPECT_EQ(http.nLogCapacity, 5);
  EXPECT_EQ(http.nLogGrowBy, 2);
  EXPECT_EQ(AddLines(6), 5);
  EXPECT_EQ(http.nLogCapacity, 5);
}

TEST_F(ServiceLog, LoweringTheMaximumFreezesAndZeroDeletes) {
  ASSERT_EQ(http.EnableLogging(20, 4, 4), 1);
  ASSERT_EQ(AddLines(7), 7);

  EXPECT_EQ(http.EnableLogging(3, 0, 0), 1);
  EXPECT_EQ(http.GetDbgLineCount(), 7) << "freezing keeps every line held";
  EXPECT_EQ(http.LogAddLine("after freeze"), 0);
  EXPECT_EQ(Line(7), "line 7");

  EXPECT_EQ(http.EnableLogging(0, 0, 0), 1);
  EXPECT_EQ(http.GetDbgLineCount(), 0);
  EXPECT_EQ(http.ppszLogLines, nullptr);
  EXPECT_EQ(http.LogAddLine("after delete"), 0) << "deleting turns logging off";

  EXPECT_EQ(http.EnableLogging(5, 0, 5), 1);
  EXPECT_EQ(http.LogAddLine("logging again"), 1);
}

TEST_F(ServiceLog, RaisingTheMaximumWhileLinesAreHeld) {
  ASSERT_EQ(http.EnableLogging(4, 2, 2), 1);
  ASSERT_EQ(AddLines(3), 3);

  // Between the lines held and the maximum: nothing changes.
  EXPECT_EQ(http.EnableLogging(3, 0, 9), 1);
  EXPECT_EQ(http.nLogMaxLines, 4);
  EXPECT_EQ(http.nLogGrowBy, 2);

  // Raised with a step: the array goes on growing to the new maximum.
  EXPECT_EQ(http.EnableLogging(8, 0, 3), 1);
  EXPECT_EQ(http.nLogMaxLines, 8);
  EXPECT_EQ(AddLines(6), 5);
  EXPECT_EQ(http.GetDbgLineCount(), 8);
}

TEST_F(ServiceLog, RaisingTheMaximumWithoutAStepStopsLogging) {
  ASSERT_EQ(http.EnableLogging(10, 10, 0), 1);
  ASSERT_EQ(AddLines(3), 3);
  EXPECT_EQ(http.EnableLogging(50, 0, 0), 1);
  EXPECT_EQ(http.nLogCapacity, 3) << "the array is closed at the lines held";
  EXPECT_EQ(http.nLogMaxLines, 10);
  EXPECT_EQ(http.LogAddLine("no room"), 0);
  EXPECT_EQ(http.GetDbgLineCount(), 3);
}

TEST_F(ServiceLog, UnrepresentableArrayFailsCleanly) {
  // INT_MAX pointer slots do not fit a block: the growth fails with its own
  // error (whose log line finds no room) and the log stays as it was.
  EXPECT_EQ(http.EnableLogging(INT_MAX, INT_MAX, 0), 0);
  EXPECT_EQ(http.nLogCapacity, 0);
  EXPECT_EQ(http.ppszLogLines, nullptr);
  EXPECT_STREQ(http.szLastError, "CZemHttp::AllocLogLines OS exception error: 8");
  EXPECT_EQ(http.GetLastOSError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(ServiceLog, UnreadableOrNullLineText) {
  ASSERT_EQ(http.EnableLogging(10, 10, 0), 1);
  EXPECT_EQ(http.LogAddLine(reinterpret_cast<const char *>(0x10)), 0);
  EXPECT_EQ(http.GetLastOSError(), static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_EQ(Line(1), "CZemHttp::SetError( " + std::string(http.szLastError) + " )");

  const int nBefore = http.GetDbgLineCount();
  EXPECT_EQ(http.LogAddLine(nullptr), 1);
  EXPECT_EQ(http.GetDbgLineCount(), nBefore + 1);
  EXPECT_EQ(Line(nBefore + 1), "");
}

TEST_F(ServiceLog, GetDebugLineNumbersFromOneAndReportsFullLength) {
  ASSERT_EQ(http.EnableLogging(10, 10, 0), 1);
  ASSERT_EQ(http.LogAddLine("0123456789"), 1);
  ASSERT_EQ(http.LogAddLine(""), 1);

  char szBuffer[32];
  std::memset(szBuffer, '#', sizeof szBuffer);
  EXPECT_EQ(http.GetDebugLine(szBuffer, 0, 0), 0);
  EXPECT_EQ(http.GetDebugLine(szBuffer, 3, 0), 0) << "count + 1 is past the end";
  EXPECT_EQ(szBuffer[0], '#') << "an out-of-range line leaves the buffer untouched";

  EXPECT_EQ(http.GetDebugLine(szBuffer, 1, 3), 10);
  EXPECT_STREQ(szBuffer, "012");
  EXPECT_EQ(http.GetDebugLine(szBuffer, 1, 0), 10);
  EXPECT_STREQ(szBuffer, "0123456789");
  EXPECT_EQ(http.GetDebugLine(nullptr, 1, 0), 10);

  std::memset(szBuffer, '#', sizeof szBuffer);
  EXPECT_EQ(http.GetDebugLine(szBuffer, 2, 0), 0);
  EXPECT_EQ(szBuffer[0], '#') << "an empty line copies nothing";
}

TEST_F(ServiceLog, GetDebugBufferCountsAndAppendsLinesWithLineEnds) {
  ASSERT_EQ(http.EnableLogging(10, 10, 0), 1);
  ASSERT_EQ(http.LogAddLine("aaaaa"), 1);
  ASSERT_EQ(http.LogAddLine(""), 1);  // empty lines are left out
  ASSERT_EQ(http.LogAddLine("bbbbbbb"), 1);

  const int nTotal = http.GetDebugBuffer(nullptr);
  EXPECT_EQ(nTotal, 16);
  std::string buffer(static_cast<size_t>(nTotal) + 3, '\0');
  buffer[0] = '>';  // the caller's text is appended to, not replaced
  EXPECT_EQ(http.GetDebugBuffer(&buffer[0]), 16);
  EXPECT_STREQ(buffer.c_str(), ">aaaaa\r\nbbbbbbb\r\n");
}

TEST_F(ServiceLog, UnwritableReadBackBuffersAreReportedNotWritten) {
  ASSERT_EQ(http.EnableLogging(10, 10, 0), 1);
  ASSERT_EQ(http.LogAddLine("some line"), 1);
  EXPECT_EQ(http.GetDebugLine(reinterpret_cast<char *>(0x10), 1, 0), 0);
  EXPECT_EQ(http.GetLastOSError(), static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_NE(std::string(http.szLastError).find("CZemHttp::GetDebugLine"), std::string::npos) << http.szLastError;

  EXPECT_EQ(http.GetDebugBuffer(reinterpret_cast<char *>(0x10)), 0);
  EXPECT_NE(std::string(http.szLastError).find("CZemHttp::GetDebugBuffer"), std::string::npos) << http.szLastError;
}

}  // namespace
