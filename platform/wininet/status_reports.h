// Status callbacks: what a handle reports to the callback registered for it.
// Reports of a synchronous request reach the callback on the thread that
// waits for the request; those of an asynchronous session go through the
// library's callback thread, in order, so that a callback may block (read a
// body, for instance) without stopping the engine that feeds it.
#ifndef ZEM_WININET_STATUS_REPORTS_H
#define ZEM_WININET_STATUS_REPORTS_H

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "thread_lifetime.h"
#include "wininet.h"

namespace zem::wininet {

// Where a handle's statuses go. A handle reports only with a callback and a
// non-zero context, as callers of the platform's library expect.
struct StatusTarget {
  HINTERNET handle = nullptr;
  DWORD_PTR context = 0;
  INTERNET_STATUS_CALLBACK callback = nullptr;
  bool enabled() const {
    return callback != nullptr && callback != INTERNET_INVALID_STATUS_CALLBACK && context != 0;
  }
};

struct StatusReport {
  StatusTarget target;
  DWORD status = 0;
  std::string information;  // the bytes the callback's information pointer shows
  bool has_information = false;
  DWORD error = 0;          // the thread's last error while the callback runs
  std::string detail;       // and its failure description, for an error
};

StatusReport TextReport(const StatusTarget &target, DWORD status, const std::string &text);
StatusReport NumberReport(const StatusTarget &target, DWORD status, DWORD number);
StatusReport ResultReport(const StatusTarget &target, DWORD status, DWORD_PTR result, DWORD error,
                          const std::string &detail = "");
StatusReport PlainReport(const StatusTarget &target, DWORD status);

// Calls the callback on this thread, its last error and failure
// description set to the report's.
void Deliver(const StatusReport &report);

// HANDLE_CREATED, reported on the creating thread before the handle is
// returned: the callback may already use the handle (open a request on a new
// connection, say). HANDLE_CLOSING is the last report of a closed handle.
void ReportCreated(const StatusTarget &target);
void ReportClosing(const StatusTarget &target);

class CallbackThread {
 public:
  static CallbackThread &Instance();
  // Asynchronous sessions keep the thread; it ends once the last one is
  // closed and nothing is left to deliver.
  void AddSession();
  void RemoveSession();
  void Post(StatusReport report);
  // Drops what is still queued for a closed handle and, unless called on
  // the callback thread (from inside a callback), waits for a callback of
  // that handle that runs now to return: nothing is reported for a handle
  // after its HANDLE_CLOSING, and once the close returns its caller may free
  // whatever the callback uses.
  void Forget(HINTERNET handle);
  static bool OnCallbackThread();

 private:
  CallbackThread() = default;
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<StatusReport> queue_;
  HINTERNET delivering_ = nullptr;  // whose report the callback is given now
  // Set by the first report: a process that never posts one closes its
  // handles without taking the mutex.
  std::atomic<bool> used_{false};
  ThreadLifetime thread_;
};

}  // namespace zem::wininet

#endif
