// Tasks without a run: creation and its refusals, the record's defaults, the
// settings functions, the status log store and the release.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "upload_test_util.h"

namespace {

using uploadtest::Notice;
using uploadtest::NoticeLog;
using uploadtest::StatusLines;
using uploadtest::Task;

TEST(Tasks, CreationIsRefusedForBadOrTakenNumbersAndWhileAnotherTaskAwaitsItsRun) {
  Task first(11);
  ASSERT_TRUE(first.created);
  void *pvData = nullptr;
  void *pvAnswer = nullptr;
  EXPECT_EQ(0, ScraAddNewDoc(&pvData, &pvAnswer, 4, 0, 11, 0)) << "a number already in the list";
  EXPECT_EQ(0, ScraAddNewDoc(&pvData, &pvAnswer, 4, 0, 0, 0)) << "document number 0";
  EXPECT_EQ(0, ScraAddNewDoc(&pvData, &pvAnswer, 4, 0, -3, 0)) << "a negative document number";
  EXPECT_EQ(0, ScraAddNewDoc(&pvData, &pvAnswer, 4, 0, 12, 0))
      << "the first task has been neither run asynchronously nor released";
  EXPECT_EQ(1, ScraCloseTask(11));
  EXPECT_EQ(0, ScraCloseTask(11)) << "a task is released once";
  Task second(12);
  EXPECT_TRUE(second.created) << "after the release a new task is taken";
}

TEST(Tasks, NewTaskHasTheDocumentedDefaultsAndItsOwnCopyOfTheData) {
  Task task(13, "abc", 0xCA11E4, 0x5EC0);
  ASSERT_TRUE(task.created);
  const REQUEST_CONTEXT *ctx = task.ctx();
  ASSERT_NE(nullptr, ctx);
  EXPECT_EQ(13u, uploadtest::Field(ctx->uDocument));
  EXPECT_EQ(0xCA11E4u, uploadtest::Field(ctx->dwCallerValue));
  EXPECT_EQ(0x5EC0, uploadtest::Field(ctx->pvNotifyData2));
  EXPECT_EQ(reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)), uploadtest::Field(ctx->hWnd)) << "no display";
  EXPECT_EQ(GetModuleHandleA("ZEMHTTP.DLL"), uploadtest::Field(ctx->hModule));
  EXPECT_EQ(0x10000000u, uploadtest::Field(ctx->dwInetFlags));
  EXPECT_EQ(443, uploadtest::Field(ctx->nPort));
  EXPECT_EQ(0x04C03000u, uploadtest::Field(ctx->dwHttpFlags));
  ASSERT_NE(nullptr, uploadtest::Field(ctx->ppszHeaders));
  EXPECT_EQ(nullptr, ctx->ppszHeaders[0]) << "slot 0 waits for the host name";
  EXPECT_STREQ("Content-Type: application/x-www-form-urlencoded", ctx->ppszHeaders[1]);
  EXPECT_EQ(3u, uploadtest::Field(ctx->cbRequestData));
  ASSERT_NE(nullptr, uploadtest::Field(ctx->pvRequestData));
  EXPECT_NE(static_cast<const void *>(task.data.data()), uploadtest::Field(ctx->pvRequestData)) << "the data must be copied";
  EXPECT_EQ(0, std::memcmp("abc", ctx->pvRequestData, 3));
  EXPECT_EQ(&task.response, uploadtest::Field(ctx->ppResponse));

  // A data pointer that is null gives zeros of the length given.
  ASSERT_EQ(1, ScraCloseTask(13));
  void *pvNull = nullptr;
  ASSERT_EQ(1, ScraAddNewDoc(&pvNull, nullptr, 5, 0, 14, 0));
  const REQUEST_CONTEXT *zeros = ScQueryRqCtxPtr(14);
  EXPECT_EQ(0, std::memcmp("\0\0\0\0\0", zeros->pvRequestData, 5));
  EXPECT_EQ(nullptr, uploadtest::Field(zeros->ppResponse));
  ScraCloseTask(14);
}

TEST(Tasks, TaskWithoutDataFailsAtCreationAndIsNotRun) {
  NoticeLog notices;
  Task task(15, "");
  ASSERT_TRUE(task.created);
  notices.Attach(task.doc, 7);
  EXPECT_EQ(SC_RESULT_FAILED, uploadtest::Field(task.ctx()->nResult));
  EXPECT_EQ(SC_OUTCOME_NO_DATA, uploadtest::Field(task.ctx()->dwResultFlags));
  const auto before = StatusLines(task.doc);
  EXPECT_EQ("-- Failed", before.back());
  EXPECT_EQ(1, ScraRunCompany(task.doc));
  EXPECT_EQ(before, StatusLines(task.doc)) << "the run must log nothing";
  EXPECT_EQ(1, ScraCloseTask(task.doc));
  EXPECT_EQ((std::vector<Notice>{{NOTIFY_RELEASED, 7, 0}}), notices.Notices())
      << "the run cleared the outcome, which the release reports";
}

TEST(Tasks, TextSettingsStoreLogAndRefuse) {
  Task task(16);
  ASSERT_TRUE(task.created);
  const REQUEST_CONTEXT *ctx = task.ctx();
  struct FileCase {
    const char *first, *second, *stored;
  };
  const FileCase files[] = {{"dir/", "a.txt", "dir/a.txt"}, {"a.txt", "b.txt", "b.txt"}, {"dir.v1/", "a.txt", "a.txt"},
                            {"dir/", "sub/", "sub/"}};
  for (const FileCase &f : files) {
    ScSetConnStrings(task.doc, SC_STR_FILE_NAME, "x.y");  // a plain name to start from
    ScSetConnStrings(task.doc, SC_STR_FILE_NAME, f.first);
    ASSERT_EQ(1, ScSetConnStrings(task.doc, SC_STR_FILE_NAME, f.second));
    EXPECT_STREQ(f.stored, ctx->pszFileName) << f.first << " then " << f.second;
    EXPECT_EQ(std::string("-- Upload FILE name set to ") + f.stored, StatusLines(task.doc).back());
  }

  ASSERT_EQ(1, ScSetConnStrings(task.doc, SC_STR_HOST_NAME, "data.example"));
  EXPECT_STREQ("HOST: data.example", ctx->ppszHeaders[0]);
  EXPECT_EQ("-- Upload Host name set to data.example", StatusLines(task.doc).back());
  ASSERT_EQ(1, ScSetConnStrings(task.doc, SC_STR_VERB, "A-VERB-LONGER-THAN-15"));
  EXPECT_STREQ("A-VERB-LONGER-T", ctx->szVerb);
  ASSERT_EQ(1, ScSetConnStrings(task.doc, SC_STR_ACCESS_CHAR, "3rd"));
  EXPECT_EQ('3', uploadtest::Field(ctx->chAccessType));
  EXPECT_EQ("-- Proxy Access type (char) 3rd.", StatusLines(task.doc).back());

  // Slot 1 holds the content type; eight more headers fill slots 2 to 9.
  for (int i = 2; i <= 9; ++i) {
    const std::string header = "X-H" + std::to_string(i) + ": v";
    ASSERT_EQ(1, ScSetConnStrings(task.doc, SC_STR_ADD_HEADER, header.c_str()));
    EXPECT_STREQ(header.c_str(), ctx->ppszHeaders[i]);
  }
  const size_t lines = StatusLines(task.doc).size();
  EXPECT_EQ(0, ScSetConnStrings(task.doc, SC_STR_ADD_HEADER, "X-Ten: v")) << "all slots are in use";
  EXPECT_EQ(lines, StatusLines(task.doc).size()) << "a refused header adds no line";

  EXPECT_EQ(0, ScSetConnStrings(task.doc, 19, "x"));
  EXPECT_EQ(0, ScSetConnStrings(task.doc, -1, "x"));
  EXPECT_EQ(0, ScSetConnStrings(task.doc, SC_STR_APP_NAME, ""));
  EXPECT_EQ(0, ScSetConnStrings(task.doc, SC_STR_APP_NAME, nullptr));
  EXPECT_EQ(0, ScSetConnStrings(task.doc, SC_STR_APP_NAME, reinterpret_cast<const char *>(0x1234)))
      << "a resource number is no text";
  EXPECT_EQ(0, ScSetConnStrings(999, SC_STR_APP_NAME, "/x")) << "an unknown task";
  EXPECT_EQ(lines, StatusLines(task.doc).size());
}

TEST(Tasks, NumberSettingsStoreLogAndRefuse) {
  Task task(17, "0123456789");
  ASSERT_TRUE(task.created);
  const REQUEST_CONTEXT *ctx = task.ctx();
  ASSERT_EQ(1, ScSetConnDWord(task.doc, SC_DW_PORT, 70000));
  EXPECT_EQ(4464, uploadtest::Field(ctx->nPort)) << "the low 16 bits";
  EXPECT_EQ("-- Upload Server port set to 70000.", StatusLines(task.doc).back());
  ASSERT_EQ(1, ScSetConnDWord(task.doc, SC_DW_HTTP_FLAGS, 0x84000000));
  EXPECT_EQ("-- Upload Server HTTP Flags set to -2080374784.", StatusLines(task.doc).back()) << "signed decimal";
  ASSERT_EQ(1, ScSetConnDWord(task.doc, SC_DW_ASYNC, 1));
  EXPECT_EQ("-- Asychronous Flag: 1.", StatusLines(task.doc).back());

  ASSERT_EQ(1, ScSetConnDWord(task.doc, SC_DW_DATA_LENGTH, 4));
  EXPECT_EQ(4u, uploadtest::Field(ctx->cbRequestData));
  // A length beyond the data block is stored and logged like any other; a
  // request still sends no more than the block holds (SyncRun tests).
  ASSERT_EQ(1, ScSetConnDWord(task.doc, SC_DW_DATA_LENGTH, 11));
  EXPECT_EQ(11u, uploadtest::Field(ctx->cbRequestData));
  EXPECT_EQ("-- Upload Server service Size set to 11.", StatusLines(task.doc).back());

  EXPECT_EQ(0, ScSetConnDWord(task.doc, 7, 1));
  EXPECT_EQ(0, ScSetConnDWord(999, SC_DW_PORT, 80));
}

TEST(Tasks, StatusLinesAreReadBackCutAt80AndTheStoreGrowsBy100) {
  Task task(18);
  ASSERT_TRUE(task.created);
  REQUEST_CONTEXT *ctx = task.ctx();
  const std::string app(200, 'a');
  ASSERT_EQ(1, ScSetConnStrings(task.doc, SC_STR_APP_NAME, app.c_str()));
  const int last = ctx->nStatusLines - 1;
  char szLine[SC_MSG_LINE_MAX + 1];
  ASSERT_EQ(1, ScraGetMsgStr(szLine, last, task.doc));
  EXPECT_EQ(("-- Server Application name set to " + app).substr(0, 80), szLine);
  EXPECT_EQ(0, ScraGetMsgStr(szLine, last + 1, task.doc)) << "index equal to the number of lines";
  EXPECT_EQ(0, ScraGetMsgStr(szLine, -1, task.doc));
  EXPECT_EQ(0, ScraGetMsgStr(nullptr, 0, task.doc));
  EXPECT_EQ(0, ScraGetMsgStr(szLine, 0, 999));

  const auto first = StatusLines(task.doc);
  while (ctx->nStatusLines < 150) ScSetConnDWord(task.doc, SC_DW_SERVICE, static_cast<DWORD>(ctx->nStatusLines));
  EXPECT_EQ(200, uploadtest::Field(ctx->nStatusCapacity));
  const auto grown = StatusLines(task.doc);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), grown.begin())) << "the lines held before the growth";
  EXPECT_EQ("-- Upload Server service type set to 100.", grown[100]);

  // After "Closing" the log takes no more lines; the setting itself is made.
  ctx->nStep = SC_STEP_CLOSED;
  EXPECT_EQ(1, ScSetConnDWord(task.doc, SC_DW_SERVICE, 3));
  EXPECT_EQ(150, uploadtest::Field(ctx->nStatusLines));
}

TEST(Tasks, ReleaseReportsTheOutcomeAndFreesThePublishedAnswer) {
  NoticeLog notices;
  Task task(19);
  ASSERT_TRUE(task.created);
  notices.Attach(task.doc, 3);
  REQUEST_CONTEXT *ctx = task.ctx();
  ctx->dwResultFlags = SC_OUTCOME_DENIED;
  EXPECT_EQ(nullptr, ScQueryTuRspPtr(task.doc));
  EXPECT_EQ(nullptr, ScQueryTuRspPtr(999));
  ASSERT_EQ(1, ScraCloseTask(task.doc));
  EXPECT_EQ((std::vector<Notice>{{NOTIFY_RELEASED, 3, static_cast<INT_PTR>(SC_OUTCOME_DENIED)}}), notices.Notices());
  EXPECT_EQ(nullptr, ScQueryRqCtxPtr(task.doc));
}

TEST(Tasks, PointersThatCannotBeUsedAreRefusedNotFollowed) {
  void **const unmapped = reinterpret_cast<void **>(0x10);
  ASSERT_EQ(1, ScraAddNewDoc(unmapped, unmapped, 4, 0, 41, 0));
  const REQUEST_CONTEXT *ctx = ScQueryRqCtxPtr(41);
  EXPECT_EQ(0, std::memcmp("\0\0\0\0", ctx->pvRequestData, 4)) << "unreadable data counts as none";
  EXPECT_EQ(nullptr, uploadtest::Field(ctx->ppResponse)) << "an answer address that cannot be written is not kept";
  char szLine[SC_MSG_LINE_MAX + 1];
  EXPECT_EQ(0, ScraGetMsgStr(reinterpret_cast<char *>(0x10), 0, 41));
  EXPECT_EQ(1, ScraGetMsgStr(szLine, 0, 41));
  EXPECT_EQ(0, ScSetConnStrings(41, SC_STR_APP_NAME, reinterpret_cast<const char *>(0x7FFF00000000)))
      << "a text that cannot be read";
  EXPECT_EQ(nullptr, uploadtest::Field(ctx->pszAppName));
  ScraCloseTask(41);

  void *pvUnreadable = reinterpret_cast<void *>(0x7FFF00000000);
  ASSERT_EQ(1, ScraAddNewDoc(&pvUnreadable, nullptr, 4, 0, 42, 0));
  EXPECT_EQ(0, std::memcmp("\0\0\0\0", ScQueryRqCtxPtr(42)->pvRequestData, 4));
  ScraCloseTask(42);
}

TEST(Tasks, ScOpenInternetOpensNothing) {
  DWORD dwError = 99;
  EXPECT_EQ(nullptr, ScOpenInternet(nullptr, &dwError));
  EXPECT_EQ(0u, dwError);
  EXPECT_EQ(nullptr, ScOpenInternet(nullptr, nullptr));
}

}  // namespace
