// Asynchronous runs: the upload window, its message loop and the status
// callback on the internet library's thread, against servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZemSys.h"
#include "loopback_servers.h"
#include "under_wine.h"
#include "upload_test_util.h"

namespace {

using uploadtest::HasLine;
using uploadtest::Notice;
using uploadtest::NoticeLog;
using uploadtest::Task;
using zemtest::Reply;

constexpr INT_PTR kSecond = 0xA5;
constexpr DWORD kRunTimeoutMs = 45000;

// Status lines without times and handle values.
std::vector<std::string> Lines(int nDocument) {
  std::vector<std::string> lines = uploadtest::StatusLinesWithoutTime(nDocument);
  const std::string created = "-- HANDLE_CREATED (";
  for (std::string &line : lines) {
    if (line.rfind(created, 0) == 0 && line.back() == ')') line = created + "<handle>)";
  }
  return lines;
}

// Runs the task as a caller does and tells how long the run took.
DWORD TimedRun(const Task &task) {
  const DWORD dwStart = GetTickCount();
  EXPECT_EQ(1, uploadtest::RunFromFreshMessage(task.doc));
  return GetTickCount() - dwStart;
}

TEST(AsyncRun, PostsTheRecordAndEndsAsSoonAsTheAnswerIsIn) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/inquiry", Reply::Ok("answer=yes"));
  // Never answers: a run that is not closed at once would sit here.
  server.Answer("/silent", Reply::Ok("late").StallBeforeHeaders(120000));
  NoticeLog notices;
  uploadtest::WatchedTask task(21, notices, kSecond, server.port(), true);
  ASSERT_TRUE(task.created);

  // Not a measure of speed: a completed run must not sit out its time-out.
  EXPECT_LT(TimedRun(task), kRunTimeoutMs) << "the completed run waited for its time-out";

  const auto got = server.Received();
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ("POST", got[0].method);
  EXPECT_EQ("/inquiry", got[0].target);
  EXPECT_EQ("127.0.0.1", got[0].Header("Host"));
  EXPECT_EQ("14", got[0].Header("Content-length"));
  EXPECT_EQ("no-cache", got[0].Header("Cache-control"));
  EXPECT_EQ("name=Ann&id=42", got[0].body);
  EXPECT_EQ("answer=yes", task.Answer());
  const REQUEST_CONTEXT *ctx = task.ctx();
  EXPECT_EQ(SC_OUTCOME_SUCCESS, uploadtest::Field(ctx->dwResultFlags));
  EXPECT_EQ(nullptr, uploadtest::Field(ctx->hRequest)) << "the upload window closes and clears the handles";
  EXPECT_EQ(nullptr, uploadtest::Field(ctx->hInternet));
  EXPECT_NE(nullptr, uploadtest::Field(ctx->hIcon)) << "the class icon comes from the library's resources";

  const std::vector<std::string> expected = uploadtest::Concat({{
      "-- Asychronous Flag: 1.",
      "<time> Create Records",
      "-- Processing",
      "-- Processing",
  }, uploadtest::DirectOpenLines(), {
      "-- Success",
      "<time> Internet Connect",
      "-- Started",
      "-- HANDLE_CREATED (<handle>)",
      "-- GetHttpHandhreader called from inet thread",
      "-- GetHttpHandleThreader()",
      "-- Success",
      "<time> Internet Open Request",
      "-- Started",
      "-- HANDLE_CREATED (<handle>)",
      "-- Success",
      "-- SendInquiryRecord() - Started",
      "-- HttpAddRequestHeaders(HOST: 127.0.0.1)",
      "-- HttpAddRequestHeaders(Content-Type: application/x-www-form-urlencoded)",
      "-- HttpAddRequestHeaders(Content-length: 14)",
      "-- HttpAddRequestHeaders(Cache-control: no-cache)",
      "-- SendInquiryRecord() - Done",
      "-- RESOLVING_NAME (10)",
      "-- NAME_RESOLVED (10)",
      "-- CONNECTING_TO_SERVER (127.0.0.1)",
      "-- CONNECTED_TO_SERVER (127.0.0.1)",
      "-- Success",
      "-- SENDING_REQUEST (0)",
      "-- REQUEST_SENT (4)",
      "-- RECEIVING_RESPONSE (0)",
      "-- Success",
      "<time> Receiving Header",
      "-- Started",
      "-- RESPONSE_RECEIVED (4) ",
      "-- REQUEST_COMPLETE, LENGTH=16",
      "-- GetHttpDataThreader() - Started",
      "-- HTTP_QUERY_CONTENT_LENGTH = 10 ",
      "-- HTTP_STATUS_CODE RECEIVED (200) ",
      "<time> Receiving Data",
      "-- Started",
      "-- Header Retrieved",
      "-- Processing",
      "-- Dump(/inquiry)",
      "-- DataDump() Started ",
      "-- Downloaded 10 of 10",
      "<time> Closing",
      "-- Success",
      "-- GetInquiryResult(), succeeded",
      "-- GetHttpDataThreader() - Done",
      "-- Posted close message",
      "-- HANDLE_CLOSING (8)",
      "-- HANDLE_CLOSING (8)",
  }});
  zemtest::WineRows rows;
  if (rows.Runs("the whole status log", zemtest::wine::kReportTiming)) {
    EXPECT_EQ(uploadtest::Joined(expected),
              uploadtest::Joined(uploadtest::LinesFrom(Lines(task.doc), "-- Asychronous Flag: 1.")));
  }

  ASSERT_EQ(1, ScraCloseTask(task.doc));
  const std::vector<Notice> expectedNotices = {{NOTIFY_PROGRESS, kSecond, 2},
                                               {NOTIFY_PROGRESS, kSecond, 8},
                                               {NOTIFY_PROGRESS, kSecond, 8},
                                               {NOTIFY_COMPLETE, kSecond, 0},
                                               {NOTIFY_RELEASED, kSecond, 0}};
  EXPECT_EQ(expectedNotices, notices.Notices()) << uploadtest::Describe(notices.Notices());
}

TEST(AsyncRun, FailuresEndTheRunAtOnce) {
  zemtest::WineRows rows;
  {
    // The server's port is closed: the request completes with an error.
    const int closed_port = zemtest::ScriptedServer().port();
    NoticeLog notices;
    uploadtest::WatchedTask task(22, notices, kSecond, closed_port, true);
    ASSERT_TRUE(task.created);
    EXPECT_LT(TimedRun(task), kRunTimeoutMs) << "a failed request waited for the time-out";
    const auto lines = Lines(task.doc);
    EXPECT_TRUE(HasLine(lines, "-- Request complete returned error# 12029")) << uploadtest::Joined(lines);
    EXPECT_FALSE(HasLine(lines, "-- GetHttpDataThreader() - Started"));
    EXPECT_EQ(nullptr, task.response);
    const auto got = notices.Notices();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ((Notice{NOTIFY_ERROR, kSecond, ERROR_INTERNET_CANNOT_CONNECT}), got.back()) << uploadtest::Describe(got);
  }
  if (rows.Runs("an unreadable proxy list", zemtest::wine::kProxyListAtOpen)) {
    // No session: the window closes right after its creation.
    NoticeLog notices;
    uploadtest::WatchedTask task(23, notices, kSecond, 1, true);
    ASSERT_TRUE(task.created);
    ScSetConnStrings(task.doc, SC_STR_ACCESS_CHAR, "3");
    ScSetConnStrings(task.doc, SC_STR_PROXY_NAMES, "proxy:notaport");
    EXPECT_LT(TimedRun(task), kRunTimeoutMs);
    EXPECT_EQ(SC_OUTCOME_OPEN_FAILED, uploadtest::Field(task.ctx()->dwResultFlags));
    const std::string error = std::string("-- ") + SysErrorText(ERROR_INVALID_PARAMETER, 1);
    const std::vector<std::string> tail = {"-- Opening Internet using Proxy", "-- Failed", error,
                                           "-- Error, no internet connection.", "-- Failed", "-- Failed"};
    auto lines = uploadtest::LinesFrom(Lines(task.doc), tail[0]);
    // The internet library's description of the failure may come second.
    if (lines.size() > 1 && lines[1] != "-- Failed") lines.erase(lines.begin() + 1);
    EXPECT_EQ(uploadtest::Joined(tail), uploadtest::Joined(lines));
    const std::vector<Notice> expected = {{NOTIFY_ERROR, kSecond, ERROR_INVALID_PARAMETER},
                                          {NOTIFY_ERROR, kSecond, ERROR_INVALID_PARAMETER}};
    EXPECT_EQ(expected, notices.Notices()) << uploadtest::Describe(notices.Notices());
  }
}

TEST(AsyncRun, CancelCommandOfTheCallerEndsTheRun) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("*", Reply::Ok("never sent").StallBeforeHeaders(60000));
  Task task(24);
  ASSERT_TRUE(task.created);
  task.AimAt(server.port());
  ScSetConnDWord(task.doc, SC_DW_ASYNC, 1);
  // The Cancel of the caller's progress dialog, waiting in the thread's queue.
  const HWND hDialog = uploadtest::ProgressDialog();
  ASSERT_NE(nullptr, hDialog);
  ASSERT_TRUE(PostMessageA(hDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0));
  EXPECT_LT(TimedRun(task), kRunTimeoutMs) << "the Cancel was not taken";
  EXPECT_EQ(0u, server.RequestCount()) << "the request was sent in spite of the Cancel";
  EXPECT_EQ(nullptr, uploadtest::Field(task.ctx()->hInternet));
  EXPECT_EQ(1, uploadtest::Field(task.ctx()->bClosed));
  DestroyWindow(hDialog);
}

// A thread that posts itself a message when it is made and, once told, takes
// that message and handles it with `work`: a run started there counts its
// time-out from the message's time stamp.
class MessageHandledLater {
 public:
  explicit MessageHandledLater(std::function<void()> work) {
    thread_ = std::thread([this, work] {
      constexpr UINT kMessage = 0x8000 + 0x31;  // WM_APP + 0x31
      PostMessageA(nullptr, kMessage, 0, 0);
      {
        std::unique_lock<std::mutex> held(lock_);
        posted_ = true;
        changed_.notify_all();
        changed_.wait(held, [this] { return go_; });
      }
      MSG msg;
      PeekMessageA(&msg, nullptr, kMessage, kMessage, PM_REMOVE);
      work();
    });
    std::unique_lock<std::mutex> held(lock_);
    changed_.wait(held, [this] { return posted_; });
  }
  ~MessageHandledLater() { Handle(); }
  MessageHandledLater(const MessageHandledLater &) = delete;
  MessageHandledLater &operator=(const MessageHandledLater &) = delete;

  // Handles the message now and waits until the handler is done.
  void Handle() {
    {
      std::lock_guard<std::mutex> held(lock_);
      go_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool posted_ = false;
  bool go_ = false;
  std::thread thread_;
};

// The only test that waits for the run's time-out (45 s, which cannot be made
// shorter). Every run here starts from a message posted at the test's start:
//   - 40 s later, against a server that sends half the body and then stalls:
//     the time-out counts from the message, so it ends the run 5 s in, while
//     the download waits on the network;
//   - more than 45 s later, against a server that never answers: the
//     time-out is spent at the first message of the loop, and the run is
//     closed at once;
//   - the same, but a task released during the run hands its dial-up
//     connection over: the 90 s time-out of a dial-up run holds, and the run
//     completes.
TEST(AsyncRun, TimeOutCountsFromTheMessageAndEndsARunWaitingOnTheNetwork) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/stalls", Reply::Ok(std::string(100, 's')).StallMidBody(120000));
  server.Answer("/inquiry", Reply::Ok("answer=yes"));
  // Never answers: a run that is not closed at once would sit here.
  server.Answer("/silent", Reply::Ok("late").StallBeforeHeaders(120000));
  // No receive time-out of the internet library: the stalled body would
  // otherwise fail on its own after 30 s.
  DWORD dwNoLimit = 0, dwDefault = 30000;
  ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &dwNoLimit, sizeof dwNoLimit));
  const DWORD dwPosted = GetTickCount();
  zemtest::WineRows rows;

  MessageHandledLater stalled([&] {
    Task task(25);
    ASSERT_TRUE(task.created);
    task.AimAt(server.port(), "/stalls");
    ScSetConnDWord(task.doc, SC_DW_ASYNC, 1);
    EXPECT_EQ(1, ScraRunCompany(task.doc));
    const DWORD dwEnded = GetTickCount() - dwPosted;
    EXPECT_GE(dwEnded, kRunTimeoutMs) << "the run ended before its time-out";
    // A hang guard: the time-out from the message, the 5 s wait of a close
    // during the download, and slack; the server would stall for 120 s.
    EXPECT_LT(dwEnded, kRunTimeoutMs + 5000 + 12000) << "the time-out did not end the download";
    const auto lines = Lines(task.doc);
    EXPECT_TRUE(HasLine(lines, "-- DataDump() Started ")) << uploadtest::Joined(lines);
    if (rows.Runs("the closing report", zemtest::wine::kClosingAfterPendingRead)) {
      EXPECT_TRUE(HasLine(lines, "-- HANDLE_CLOSING (8)")) << "the time-out's close closes the handles";
      EXPECT_EQ(1, uploadtest::Field(task.ctx()->bClosed));
    }
    EXPECT_TRUE(HasLine(lines, "Error 12017 encountered by InternetQueryDataAvailable"))
        << "the waiting download did not fail when the handles closed";
    // What came before the stall is handed back, as after any download that
    // broke off.
    EXPECT_EQ(std::string(50, 's'), task.Answer());
  });
  auto OldMessageRun = [&](bool bHandOver) {
    return [&server, bHandOver] {
      Task task(26);
      ASSERT_TRUE(task.created);
      // Without the dial-up connection the run gets a server that never
      // answers: only its spent time-out can end it soon, and nothing of an
      // answer can have come in before the close, however slow this machine.
      task.AimAt(server.port(), bHandOver ? "/inquiry" : "/silent");
      ScSetConnDWord(task.doc, SC_DW_ASYNC, 1);
      // At the first notice a later task with a dial-up connection comes and
      // goes; its connection passes to this task.
      auto handOver = [](void *, int nCode, INT_PTR, INT_PTR nValue) {
        if (nCode != NOTIFY_PROGRESS || nValue != 2) return;
        Task dialUp(27);
        if (dialUp.created) dialUp.ctx()->bAutodial = 1;
      };
      if (bHandOver) ScraSetClassNotifyProc(handOver, nullptr, 0, task.doc);
      const DWORD dwStart = GetTickCount();
      EXPECT_EQ(1, ScraRunCompany(task.doc));
      EXPECT_LT(GetTickCount() - dwStart, 20000u) << "a hang guard: the spent time-out did not end the run";
      EXPECT_EQ(bHandOver ? 1 : 0, uploadtest::Field(task.ctx()->bAutodial));
      EXPECT_EQ(bHandOver ? "answer=yes" : "", task.Answer()) << uploadtest::Joined(Lines(task.doc));
    };
  };
  MessageHandledLater spent(OldMessageRun(false));
  MessageHandledLater handedOver(OldMessageRun(true));

  SleepEx(kRunTimeoutMs - 5000, FALSE);
  stalled.Handle();
  ASSERT_GT(GetTickCount() - dwPosted, kRunTimeoutMs);
  spent.Handle();
  handedOver.Handle();
  InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &dwDefault, sizeof dwDefault);
}

}  // namespace
