#include "status_reports.h"

#include <algorithm>
#include <cstring>

#include "failure.h"

namespace zem::wininet {
namespace {

thread_local bool t_on_callback_thread = false;

}  // namespace

StatusReport TextReport(const StatusTarget &target, DWORD status, const std::string &text) {
  StatusReport report;
  report.target = target;
  report.status = status;
  report.information.assign(text.c_str(), text.size() + 1);
  report.has_information = true;
  return report;
}

StatusReport NumberReport(const StatusTarget &target, DWORD status, DWORD number) {
  StatusReport report;
  report.target = target;
  report.status = status;
  report.information.assign(reinterpret_cast<const char *>(&number), sizeof number);
  report.has_information = true;
  return report;
}

StatusReport ResultReport(const StatusTarget &target, DWORD status, DWORD_PTR result, DWORD error,
                          const std::string &detail) {
  StatusReport report;
  report.target = target;
  report.status = status;
  INTERNET_ASYNC_RESULT value{result, error};
  report.information.assign(reinterpret_cast<const char *>(&value), sizeof value);
  report.has_information = true;
  report.error = error;
  report.detail = detail;
  return report;
}

StatusReport PlainReport(const StatusTarget &target, DWORD status) {
  StatusReport report;
  report.target = target;
  report.status = status;
  return report;
}

void Deliver(const StatusReport &report) {
  if (!report.target.enabled()) return;
  BeginCall();
  if (report.error != 0) {
    Fail(report.error, report.detail.empty() ? MessageText(report.error) : report.detail);
  } else {
    SetLastError(ERROR_SUCCESS);
  }
  // The callback may keep what it is shown only for the call's duration.
  std::string information = report.information;
  report.target.callback(report.target.handle, report.target.context, report.status,
                         report.has_information ? information.data() : nullptr,
                         static_cast<DWORD>(information.size()));
}

void ReportCreated(const StatusTarget &target) {
  Deliver(ResultReport(target, INTERNET_STATUS_HANDLE_CREATED, reinterpret_cast<DWORD_PTR>(target.handle), 0));
}

void ReportClosing(const StatusTarget &target) {
  // Also when the handle reports no more: its callback may have been taken
  // away after reports were queued.
  CallbackThread::Instance().Forget(target.handle);
  if (!target.enabled()) return;
  StatusReport report = PlainReport(target, INTERNET_STATUS_HANDLE_CLOSING);
  report.information.assign(reinterpret_cast<const char *>(&target.handle), sizeof target.handle);
  report.has_information = true;
  Deliver(report);
}

CallbackThread &CallbackThread::Instance() {
  static CallbackThread *thread = new CallbackThread();
  return *thread;
}

bool CallbackThread::OnCallbackThread() { return t_on_callback_thread; }

void CallbackThread::AddSession() {
  std::lock_guard<std::mutex> lock(mutex_);
  thread_.AddSession();
}

void CallbackThread::RemoveSession() {
  std::unique_lock<std::mutex> lock(mutex_);
  thread_.RemoveSession(lock, [this] { changed_.notify_all(); }, OnCallbackThread());
}

void CallbackThread::Post(StatusReport report) {
  if (!report.target.enabled()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  used_.store(true, std::memory_order_relaxed);
  queue_.push_back(std::move(report));
  thread_.EnsureRunning([this] { Run(); });
  changed_.notify_all();
}

void CallbackThread::Forget(HINTERNET handle) {
  // A report posted before the handle was closed set the flag under the
  // transfer's lock, which the close took since.
  if (!used_.load(std::memory_order_relaxed)) return;
  std::unique_lock<std::mutex> lock(mutex_);
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                              [handle](const StatusReport &report) { return report.target.handle == handle; }),
               queue_.end());
  if (OnCallbackThread()) return;
  changed_.wait(lock, [this, handle] { return delivering_ != handle; });
}

void CallbackThread::Run() {
  t_on_callback_thread = true;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!queue_.empty()) {
      StatusReport report = std::move(queue_.front());
      queue_.pop_front();
      delivering_ = report.target.handle;
      thread_.EnterCallerCode();
      lock.unlock();
      Deliver(report);
      lock.lock();
      thread_.LeaveCallerCode();
      delivering_ = nullptr;
      changed_.notify_all();
      continue;
    }
    if (thread_.sessions() == 0) {
      thread_.Ended();
      return;
    }
    changed_.wait(lock);
  }
}

}  // namespace zem::wininet
