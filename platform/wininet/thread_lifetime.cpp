#include "thread_lifetime.h"

#include <chrono>

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
  const auto ended = [this] { return !running_ || sessions_ > 0; };
  // The thread's own work never waits for a caller: its end is waited for.
  ended_.wait(lock, [&] { return ended() || in_caller_code_; });
  // A callback that runs is waited for too (its caller may count on its
  // having returned once the close has), but only so long: it may be waiting
  // for this very caller.
  if (!ended()) ended_.wait_for(lock, std::chrono::seconds(5), ended);
  if (!running_ && thread_.joinable()) thread_.join();
}

}  // namespace zem::wininet
