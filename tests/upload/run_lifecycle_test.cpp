// What a run leaves behind and what it survives: notify procedures that act
// on tasks from inside their notices, and runs against servers that fail,
// stall or go away, each counted for the handles, threads and windows it
// leaves once its task is released.
#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "loopback_servers.h"
#include "upload_test_util.h"

namespace {

using uploadtest::HasLine;
using uploadtest::Task;
using zemtest::ConnectionEnd;
using zemtest::Reply;

// ---- notify procedures that act on tasks ----

enum class Act { kCloseSelf, kRunSelf, kAddRunAndCloseOther };

struct Script {
  int code;
  INT_PTR value;  // ignored for NOTIFY_RELEASED
  Act act;
  int doc = 0;
  int port = 0;
  int calls = 0;
  int result = -1;
  DWORD error = 0;
};

constexpr int kOtherDoc = 77;

void CALLBACK ActOnNotice(void *pvScript, int nCode, INT_PTR, INT_PTR nValue) {
  auto *s = static_cast<Script *>(pvScript);
  if (nCode != s->code || (nCode != NOTIFY_RELEASED && nValue != s->value) || s->calls++ != 0) return;
  SetLastError(0);
  switch (s->act) {
    case Act::kCloseSelf:
      s->result = ScraCloseTask(s->doc);
      break;
    case Act::kRunSelf:
      s->result = ScraRunCompany(s->doc);
      break;
    case Act::kAddRunAndCloseOther: {
      Task other(kOtherDoc);
      if (!other.created) return;
      other.AimAt(s->port);
      ScraRunCompany(other.doc);
      s->result = other.Answer() == "answer=yes" && ScraCloseTask(other.doc) == 1 ? 1 : 0;
      break;
    }
  }
  s->error = GetLastError();
}

TEST(RunLifecycle, NotifyProcedureCannotPullTheTaskFromUnderItsRun) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  server.Answer("/inquiry", Reply::Ok("answer=yes"));
  struct Case {
    const char *name;
    bool async;
    Script script;
    int result;      // of the procedure's call
    DWORD error;     // last error after it
    size_t requests;
  };
  const Case cases[] = {
      {"sync: close at the send", false, {NOTIFY_PROGRESS, 8, Act::kCloseSelf}, 0, ERROR_BUSY, 1},
      {"sync: run again at the send", false, {NOTIFY_PROGRESS, 8, Act::kRunSelf}, 1, ERROR_BUSY, 1},
      {"async: close at the first notice", true, {NOTIFY_PROGRESS, 2, Act::kCloseSelf}, 0, ERROR_BUSY, 1},
      {"async: run again at the first notice", true, {NOTIFY_PROGRESS, 2, Act::kRunSelf}, 1, ERROR_BUSY, 1},
      {"async: close on the library's thread", true, {NOTIFY_COMPLETE, 0, Act::kCloseSelf}, 0, ERROR_BUSY, 1},
      {"async: another task runs at the first notice", true, {NOTIFY_PROGRESS, 2, Act::kAddRunAndCloseOther}, 1, 0,
       2},
      // Released in its release notice: the task is out of the list by then.
      {"sync: close in the release notice", false, {NOTIFY_RELEASED, 0, Act::kCloseSelf}, 0, 0, 1},
      {"async: close in the release notice", true, {NOTIFY_RELEASED, 0, Act::kCloseSelf}, 0, 0, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    server.ClearReceived();
    Script script = c.script;
    Task task(61);
    ASSERT_TRUE(task.created);
    script.doc = task.doc;
    script.port = server.port();
    ScraSetClassNotifyProc(&ActOnNotice, &script, 0, task.doc);
    task.AimAt(server.port());
    ScSetConnDWord(task.doc, SC_DW_ASYNC, c.async ? 1 : 0);
    uploadtest::RunFromFreshMessage(task.doc);
    EXPECT_EQ("answer=yes", task.Answer()) << "the run went on";
    EXPECT_EQ(1, ScraCloseTask(task.doc)) << "released after its run";
    EXPECT_EQ(nullptr, ScQueryRqCtxPtr(task.doc));
    EXPECT_EQ(1, script.calls);
    EXPECT_EQ(c.result, script.result);
    EXPECT_EQ(c.error, script.error);
    EXPECT_EQ(c.requests, server.RequestCount());
  }
}

// ---- what a run leaves behind ----

int ThreadCount() {
  int n = 0;
  if (DIR *dir = opendir("/proc/self/task")) {
    while (const dirent *entry = readdir(dir)) n += entry->d_name[0] != '.' ? 1 : 0;
    closedir(dir);
  }
  return n;
}

// Waits (bounded) until the process has at most n threads; the count then.
int ThreadsSettledAt(int n) {
  for (int i = 0; i < 150 && ThreadCount() > n; ++i) SleepEx(100, FALSE);
  return ThreadCount();
}

bool AnswersInvalidHandle(HINTERNET h) {
  DWORD dwValue = 0, cbValue = sizeof dwValue;
  return !InternetQueryOptionA(h, INTERNET_OPTION_CONNECT_TIMEOUT, &dwValue, &cbValue) &&
         GetLastError() == ERROR_INVALID_HANDLE;
}

// The handles a run had: an asynchronous run logs its connection and request
// handles as they are created; a synchronous run leaves them in the record.
std::vector<HINTERNET> HandlesOf(const Task &task) {
  std::vector<HINTERNET> handles;
  const REQUEST_CONTEXT *ctx = task.ctx();
  for (const HINTERNET h : {ctx->hInternet, ctx->hConnect, ctx->hRequest}) {
    if (h != nullptr) handles.push_back(h);
  }
  const std::string created = "-- HANDLE_CREATED (";
  for (const std::string &line : uploadtest::StatusLines(task.doc)) {
    if (line.rfind(created, 0) == 0) {
      handles.push_back(reinterpret_cast<HINTERNET>(std::strtoull(line.c_str() + created.size(), nullptr, 16)));
    }
  }
  return handles;
}

// Posts the caller's Cancel to the upload window once a status line starting
// with `prefix` was written.
std::thread CancelWhenLogged(int nDocument, std::string prefix, std::atomic<bool> *stop) {
  return std::thread([nDocument, prefix, stop] {
    char szLine[SC_MSG_LINE_MAX + 1];
    int next = 0;
    while (!*stop) {
      if (ScraGetMsgStr(szLine, next, nDocument) == 0) {
        SleepEx(20, FALSE);
        continue;
      }
      ++next;
      if (std::string(szLine).rfind(prefix, 0) == 0) {
        PostMessageA(ScQueryRqCtxPtr(nDocument)->hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        return;
      }
    }
  });
}

TEST(RunLifecycle, EveryRunLeavesNoHandleThreadOrWindowOnceReleased) {
  zemtest::ScriptedServer server;
  ASSERT_TRUE(server.ok());
  const int closed_port = zemtest::ScriptedServer().port();  // stopped again at once
  const std::string body(1000, 'x');
  server.Answer("/ok", Reply::Ok("answer=yes"));
  server.Answer("/reset", Reply::Ok(body).CutAfter(300, ConnectionEnd::Reset));
  server.Answer("/garbage", Reply::Raw("NOT HTTP AT ALL\r\n\r\n"));
  server.Answer("/silent", Reply::Ok(body).StallBeforeHeaders(60000));
  server.Answer("/stalls", Reply::Ok(body).StallMidBody(60000));
  struct Case {
    const char *name;
    bool async;
    const char *host;
    bool closed;       // aimed at a closed port
    const char *path;
    const char *cancel_after;  // the caller's Cancel once this line was written
    bool fresh_thread = false; // run on a thread that never had a message (no message time)
  };
  const Case cases[] = {
      {"sync answer", false, "127.0.0.1", false, "/ok", nullptr},
      {"sync without a host name", false, nullptr, false, "/ok", nullptr},
      {"sync refused", false, "127.0.0.1", true, "/ok", nullptr},
      {"sync bad host", false, "no such host", false, "/ok", nullptr},
      {"sync reset in body", false, "127.0.0.1", false, "/reset", nullptr},
      {"sync garbage status line", false, "127.0.0.1", false, "/garbage", nullptr},
      {"async answer", true, "127.0.0.1", false, "/ok", nullptr},
      {"async answer on a thread without messages", true, "127.0.0.1", false, "/ok", nullptr, true},
      {"async without a host name", true, nullptr, false, "/ok", nullptr},
      {"async refused", true, "127.0.0.1", true, "/ok", nullptr},
      {"async bad host", true, "no such host", false, "/ok", nullptr},
      {"async reset in body", true, "127.0.0.1", false, "/reset", nullptr},
      {"async garbage status line", true, "127.0.0.1", false, "/garbage", nullptr},
      {"async cancel while the server is silent", true, "127.0.0.1", false, "/silent", "-- SendInquiryRecord() - Done"},
      {"async cancel while the body stalls", true, "127.0.0.1", false, "/stalls", "-- DataDump() Started "},
  };
  const int baseline = ThreadsSettledAt(1);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Task task(63);
    ASSERT_TRUE(task.created);
    if (c.host != nullptr) ScSetConnStrings(task.doc, SC_STR_HOST_NAME, c.host);
    ScSetConnStrings(task.doc, SC_STR_APP_NAME, c.path);
    ScSetConnDWord(task.doc, SC_DW_PORT, static_cast<DWORD>(c.closed ? closed_port : server.port()));
    ScSetConnDWord(task.doc, SC_DW_HTTP_FLAGS, uploadtest::kPlainHttpFlags);
    ScSetConnDWord(task.doc, SC_DW_ASYNC, c.async ? 1 : 0);
    std::atomic<bool> stop{false};
    std::thread canceller;
    if (c.cancel_after != nullptr) canceller = CancelWhenLogged(task.doc, c.cancel_after, &stop);
    const DWORD dwStart = GetTickCount();
    if (c.fresh_thread) {
      std::thread([&task] { ScraRunCompany(task.doc); }).join();
    } else {
      uploadtest::RunFromFreshMessage(task.doc);
    }
    // A hang guard, not a measure: the server would hold the run for 60 s.
    EXPECT_LT(GetTickCount() - dwStart, 20000u) << uploadtest::Joined(uploadtest::StatusLines(task.doc));
    stop = true;
    if (canceller.joinable()) canceller.join();
    const bool bAnswered = c.path == std::string("/ok") && !c.closed && c.host != nullptr && c.host[0] == '1';
    EXPECT_EQ(bAnswered, task.Answer() == "answer=yes");
    const HWND hWnd = task.ctx()->hWnd;
    const std::vector<HINTERNET> handles = HandlesOf(task);
    ASSERT_EQ(1, ScraCloseTask(task.doc));
    if (c.async) {
      EXPECT_FALSE(IsWindow(hWnd)) << "the upload window stays";
    }
    for (const HINTERNET h : handles) EXPECT_TRUE(AnswersInvalidHandle(h)) << "handle " << h << " stays open";
    EXPECT_EQ(baseline, ThreadsSettledAt(baseline)) << "a thread of the run stays";
  }
}

}  // namespace
