// The asynchronous mode: a session opened with INTERNET_FLAG_ASYNC reports
// to its status callback, on a thread of the library's own, the steps of each
// request up to REQUEST_COMPLETE; the send itself returns ERROR_IO_PENDING.
// A callback may read the answer, waiting for its bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "internet_test_util.h"
#include "loopback_port.h"
#include "loopback_servers.h"

namespace {

using wintest::Handle;
using zemtest::Reply;

struct Seen {
  DWORD status;
  HINTERNET handle;
  DWORD_PTR context;
  std::thread::id thread;
  DWORD last_error;
  INTERNET_ASYNC_RESULT result{};
};

// Records every report; on REQUEST_COMPLETE it reads the answer the way the
// upload engine does, from inside the callback.
class Recorder {
 public:
  static void CALLBACK Callback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    Recorder *self = instance_;
    Seen seen{status, handle, context, std::this_thread::get_id(), GetLastError()};
    if ((status == INTERNET_STATUS_REQUEST_COMPLETE || status == INTERNET_STATUS_HANDLE_CREATED) &&
        length == sizeof(INTERNET_ASYNC_RESULT)) {
      seen.result = *static_cast<INTERNET_ASYNC_RESULT *>(info);
    }
    std::string body, description;
    DWORD code = 0;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
      if (seen.result.dwResult) {
        code = wintest::StatusCode(handle);
        body = wintest::ReadBody(handle);
      } else {
        description = wintest::LastResponseText(&code);
      }
    }
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->seen_.push_back(seen);
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
      self->body_ = body;
      self->code_ = code;
      self->description_ = description;
      self->complete_ = true;
      self->changed_.notify_all();
    }
  }

  Recorder() { instance_ = this; }
  ~Recorder() { instance_ = nullptr; }

  bool WaitForCompletion() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return complete_; });
  }
  std::vector<Seen> seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }
  std::vector<DWORD> statuses() {
    std::vector<DWORD> out;
    for (const Seen &s : seen()) out.push_back(s.status);
    return out;
  }
  std::string body() {
    std::lock_guard<std::mutex> lock(mutex_);
    return body_;
  }
  DWORD code() {
    std::lock_guard<std::mutex> lock(mutex_);
    return code_;
  }
  std::string description() {
    std::lock_guard<std::mutex> lock(mutex_);
    return description_;
  }

 private:
  static Recorder *instance_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Seen> seen_;
  std::string body_, description_;
  DWORD code_ = 0;
  bool complete_ = false;
};

Recorder *Recorder::instance_ = nullptr;

constexpr DWORD_PTR kContext = 0x5eed;

struct AsyncRequest {
  Handle session, connection, request;
  AsyncRequest(int port, const char *verb, const char *object, DWORD session_flags = INTERNET_FLAG_ASYNC,
               INTERNET_STATUS_CALLBACK callback = &Recorder::Callback) {
    session.reset(InternetOpenA("zemtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, session_flags));
    EXPECT_EQ(nullptr, InternetSetStatusCallbackA(session, callback));
    connection.reset(InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, 0, kContext));
    request.reset(HttpOpenRequestA(connection, verb, object, nullptr, nullptr, nullptr, 0, kContext));
  }
};

size_t IndexOf(const std::vector<DWORD> &statuses, DWORD status) {
  for (size_t i = 0; i < statuses.size(); ++i) {
    if (statuses[i] == status) return i;
  }
  return statuses.size();
}

class Async : public wintest::ServedTest {};

TEST_F(Async, TheSendIsPendingAndTheCallbackHearsEveryStepInOrder) {
  server.Answer("*", Reply::Ok(std::string(30000, 'y')).StallMidBody(100));
  Recorder recorder;
  AsyncRequest r(server.port(), "POST", "/upload");
  ASSERT_NE(nullptr, r.request.get());
  EXPECT_FALSE(HttpSendRequestA(r.request, nullptr, 0, const_cast<char *>("data"), 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
  ASSERT_TRUE(recorder.WaitForCompletion()) << "no REQUEST_COMPLETE";
  EXPECT_EQ(200u, recorder.code()) << "the head is readable when the request completes";
  EXPECT_EQ(std::string(30000, 'y'), recorder.body()) << "a read from the callback waits for its bytes";

  const std::vector<Seen> seen = recorder.seen();
  ASSERT_LE(2u, seen.size());
  EXPECT_EQ(static_cast<DWORD>(INTERNET_STATUS_HANDLE_CREATED), seen[0].status);
  EXPECT_EQ(r.connection.get(), reinterpret_cast<HINTERNET>(seen[0].result.dwResult));
  EXPECT_EQ(std::this_thread::get_id(), seen[0].thread) << "HANDLE_CREATED comes before the handle is returned";
  EXPECT_EQ(static_cast<DWORD>(INTERNET_STATUS_HANDLE_CREATED), seen[1].status);
  EXPECT_EQ(r.request.get(), reinterpret_cast<HINTERNET>(seen[1].result.dwResult));

  const std::vector<DWORD> statuses = recorder.statuses();
  const DWORD order[] = {INTERNET_STATUS_RESOLVING_NAME,     INTERNET_STATUS_NAME_RESOLVED,
                         INTERNET_STATUS_CONNECTING_TO_SERVER, INTERNET_STATUS_CONNECTED_TO_SERVER,
                         INTERNET_STATUS_SENDING_REQUEST,    INTERNET_STATUS_REQUEST_SENT,
                         INTERNET_STATUS_RECEIVING_RESPONSE, INTERNET_STATUS_RESPONSE_RECEIVED,
                         INTERNET_STATUS_REQUEST_COMPLETE};
  size_t previous = 0;
  for (DWORD status : order) {
    const size_t at = IndexOf(statuses, status);
    ASSERT_LT(at, statuses.size()) << "status " << status << " was never reported";
    EXPECT_LT(previous, at) << "status " << status << " came out of order";
    previous = at;
  }
  for (const Seen &s : seen) {
    EXPECT_EQ(kContext, s.context);
    if (s.status != INTERNET_STATUS_HANDLE_CREATED) {
      EXPECT_NE(std::this_thread::get_id(), s.thread) << "status " << s.status << " on the caller's thread";
      EXPECT_EQ(r.request.get(), s.handle);
    }
  }
}

TEST_F(Async, AFailedSendCompletesWithItsErrorSetForTheCallback) {
  const int port = zemtest::FreeLoopbackPorts(1).at(0);
  Recorder recorder;
  AsyncRequest r(port, "GET", "/");
  EXPECT_FALSE(HttpSendRequestA(r.request, nullptr, 0, nullptr, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
  ASSERT_TRUE(recorder.WaitForCompletion());
  const Seen last = recorder.seen().back();
  EXPECT_EQ(static_cast<DWORD>(INTERNET_STATUS_REQUEST_COMPLETE), last.status);
  EXPECT_EQ(0u, last.result.dwResult);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), last.result.dwError);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), last.last_error)
      << "the callback thread's last error is the error it is told of";
  EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), recorder.code());
  EXPECT_NE(std::string::npos, recorder.description().find(std::to_string(port))) << recorder.description();
}

TEST_F(Async, ClosingARequestInFlightEndsItsReportsWithHandleClosing) {
  server.Answer("*", Reply::Ok("never").StallBeforeHeaders(10000));
  Recorder recorder;
  AsyncRequest r(server.port(), "GET", "/");
  EXPECT_FALSE(HttpSendRequestA(r.request, nullptr, 0, nullptr, 0));
  ASSERT_TRUE(server.WaitForRequests(1));
  HINTERNET request = r.request.release();
  ASSERT_TRUE(InternetCloseHandle(request));
  const std::vector<Seen> seen = recorder.seen();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(static_cast<DWORD>(INTERNET_STATUS_HANDLE_CLOSING), seen.back().status);
  EXPECT_EQ(request, seen.back().handle);
  r.session.reset();  // waits for the library's threads to finish with the request
  for (const Seen &s : recorder.seen()) {
    EXPECT_NE(static_cast<DWORD>(INTERNET_STATUS_REQUEST_COMPLETE), s.status) << "a report after HANDLE_CLOSING";
  }
}

// Closing while a callback runs: on the library's callback thread, or (a
// synchronous request) on the thread waiting in the send. A callback that
// closes its own request, or its own last session, gets its answer at once;
// a close from another thread returns only once the running callback has, so
// the closer may free whatever the callback uses, and nothing is reported
// afterwards.
struct CloseCase {
  const char *what;
  bool async;
  bool by_the_callback;  // else by the test's thread while the callback runs
  bool whole_session;    // else the request alone; the session is the only one open
};

class CloseProbe {
 public:
  explicit CloseProbe(bool by_the_callback) : by_the_callback_(by_the_callback) { instance_ = this; }
  ~CloseProbe() { instance_ = nullptr; }

  static void CALLBACK Callback(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) {
    CloseProbe *self = instance_;
    if (std::this_thread::get_id() == self->test_thread_) return;  // HANDLE_CREATED, a closing of the test's
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      if (self->closed_) ++self->after_close_;
      if (self->entered_) return;  // the nested HANDLE_CLOSING, or a later report
      self->entered_ = true;
      self->changed_.notify_all();
    }
    if (self->by_the_callback_) {
      const BOOL result = InternetCloseHandle(self->to_close_);
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->close_result_ = result;
      self->closed_ = true;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the test's thread closes meanwhile
    }
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->returned_ = true;
    self->changed_.notify_all();
  }

  void Aim(HINTERNET handle) { to_close_ = handle; }
  // Hang guard: true once the state came.
  bool WaitFor(bool CloseProbe::*state) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return this->*state; });
  }
  // Closes from the test's thread; true if the callback had returned by then.
  bool CloseAndSeeReturned() {
    const BOOL result = InternetCloseHandle(to_close_);
    std::lock_guard<std::mutex> lock(mutex_);
    close_result_ = result;
    closed_ = true;
    return returned_;
  }
  BOOL close_result() {
    std::lock_guard<std::mutex> lock(mutex_);
    return close_result_;
  }
  int after_close() {
    std::lock_guard<std::mutex> lock(mutex_);
    return after_close_;
  }

  bool entered_ = false, returned_ = false;

 private:
  static CloseProbe *instance_;
  const bool by_the_callback_;
  const std::thread::id test_thread_ = std::this_thread::get_id();
  HINTERNET to_close_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
  BOOL close_result_ = FALSE;
  int after_close_ = 0;  // callbacks begun after the close returned
};

CloseProbe *CloseProbe::instance_ = nullptr;

TEST_F(Async, ClosingWhileACallbackRunsNeitherStallsNorLetsItOutliveTheClose) {
  server.Answer("*", Reply::Ok("never").StallBeforeHeaders(10000));
  const CloseCase cases[] = {
      {"the callback closes its own last session", true, true, true},
      {"the callback closes its own request", true, true, false},
      {"another thread closes the last session while the callback runs", true, false, true},
      {"another thread closes the request while its callback runs", true, false, false},
      {"a synchronous request's callback closes its own last session", false, true, true},
      {"another thread closes a synchronous request while its callback runs", false, false, false},
  };
  for (const CloseCase &c : cases) {
    SCOPED_TRACE(c.what);
    CloseProbe probe(c.by_the_callback);
    {
      AsyncRequest r(server.port(), "GET", "/", c.async ? INTERNET_FLAG_ASYNC : 0, &CloseProbe::Callback);
      ASSERT_NE(nullptr, r.request.get());
      probe.Aim(c.whole_session ? r.session.get() : r.request.get());
      const HINTERNET request = r.request.get();
      // A synchronous send reports on its own thread, until the close ends it.
      std::thread sender([&] { EXPECT_FALSE(HttpSendRequestA(request, nullptr, 0, nullptr, 0)); });
      if (c.async) sender.join();
      const bool entered = probe.WaitFor(&CloseProbe::entered_);
      if (c.by_the_callback) {
        EXPECT_TRUE(entered && probe.WaitFor(&CloseProbe::returned_)) << "the callback's close hangs";
      } else {
        EXPECT_TRUE(entered) << "no report on another thread";
        EXPECT_TRUE(probe.CloseAndSeeReturned()) << "the close returned while the callback still ran";
      }
      if (sender.joinable()) sender.join();
      EXPECT_TRUE(probe.close_result());
      const HINTERNET closed = c.whole_session ? r.session.release() : r.request.release();
      EXPECT_FALSE(InternetCloseHandle(closed));
      EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
      if (c.whole_session) {
        r.connection.release();
        r.request.release();
      }
    }  // the session, if still open, is closed: the library's threads end
    EXPECT_EQ(0, probe.after_close()) << "a report after the close returned";
  }
}

// A synchronous session's reports reach the callback on the caller's own
// thread, also those that come after the send returned: the end of a body
// still going out while the answer arrives is told by the reads that follow.
TEST_F(Async, ASynchronousSessionReportsOnTheSendersThread) {
  server.Answer("/", Reply::Ok("sync"));
  server.Answer("/early", Reply::Ok("sync").BeforeBody());
  const std::string upload(4 << 20, 'u');
  for (const char *path : {"/", "/early"}) {
    SCOPED_TRACE(path);
    Recorder recorder;
    AsyncRequest r(server.port(), "POST", path, 0);
    ASSERT_TRUE(HttpSendRequestA(r.request, nullptr, 0, const_cast<char *>(upload.data()),
                                 static_cast<DWORD>(upload.size())));
    const std::vector<DWORD> at_send = recorder.statuses();
    EXPECT_LT(IndexOf(at_send, INTERNET_STATUS_RESPONSE_RECEIVED), at_send.size());
    EXPECT_EQ("sync", wintest::ReadBody(r.request));
    const std::vector<DWORD> statuses = recorder.statuses();
    EXPECT_EQ(1, std::count(statuses.begin(), statuses.end(), static_cast<DWORD>(INTERNET_STATUS_REQUEST_SENT)));
    EXPECT_EQ(statuses.size(), IndexOf(statuses, INTERNET_STATUS_REQUEST_COMPLETE)) << "completion is for async sends";
    for (const Seen &s : recorder.seen()) EXPECT_EQ(std::this_thread::get_id(), s.thread) << s.status;
  }
}

}  // namespace
