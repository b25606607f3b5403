#include "thread_lifetime.h"

namespace zem::wininet {

void ThreadLifetime::EnsureRunning(const std::function<void()> &loop) {
  if (running_) return;
  if (thread_.joinable()) thread_.join();  // it has left its loop for good
  running_ = true;
  thread_ = std::thread(loop);
}

void ThreadLifetime::Ended() {
  running_ = false;
  ended_.notify_all();
}

void ThreadLifetime::EnterCallerCode() {
  in_caller_code_ = true;
  ended_.notify_all();
}

void ThreadLifetime::RemoveSession(std::unique_lock<std::mutex> &lock, const std::function<void()> &wake,
                                   bool on_thread) {
  if (sessions_ > 0) --sessions_;
  if (sessions_ != 0 || !running_) return;
  wake();
  if (on_thread) return;
  ended_.wait(lock, [this] { return !running_ || sessions_ > 0 || in_caller_code_; });
  if (!running_ && thread_.joinable()) thread_.join();
}

}  // namespace zem::wininet
