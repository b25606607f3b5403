#include "engine.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "transfer.h"

namespace zem::wininet {
namespace {

thread_local bool t_on_engine_thread = false;

// Longest sleep of the engine between looks at its work; wake-ups come
// earlier whenever a command arrives or a socket or time-out needs it.
constexpr int kMaxPollMs = 1000;

}  // namespace

void EnsureCurlInitialized() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Engine &Engine::Instance() {
  static Engine *engine = new Engine();
  return *engine;
}

Engine::Engine() {
  EnsureCurlInitialized();
  multi_ = curl_multi_init();
}

bool Engine::OnEngineThread() { return t_on_engine_thread; }

void Engine::AddSession() {
  std::lock_guard<std::mutex> lock(mutex_);
  thread_.AddSession();
}

void Engine::RemoveSession() {
  std::unique_lock<std::mutex> lock(mutex_);
  thread_.RemoveSession(lock, [this] { wake_engine_.notify_one(); }, OnEngineThread());
}

void Engine::Start(const std::shared_ptr<Transfer> &transfer) { Post(Op::kStart, transfer, transfer->async()); }
void Engine::Stop(const std::shared_ptr<Transfer> &transfer) { Post(Op::kStop, transfer, true); }
void Engine::Resume(const std::shared_ptr<Transfer> &transfer) { Post(Op::kResume, transfer, transfer->async()); }

// A synchronous caller's commands are run when it next drives, which it does
// at once when it waits; the engine thread is woken for the others.
void Engine::Post(Op op, const std::shared_ptr<Transfer> &transfer, bool background) {
  std::lock_guard<std::mutex> lock(mutex_);
  commands_.push_back({op, transfer});
  thread_.EnsureRunning([this] { Run(); });
  // Should the driver stop before it gets to it, the engine thread runs it.
  if (background) background_command_ = true;
  if (driving_) {
    curl_multi_wakeup(multi_);  // the driver may be waiting for sockets
  } else if (background) {
    wake_engine_.notify_one();
  }
}

void Engine::Progress(std::unique_lock<std::mutex> &transfer_lock, std::condition_variable &changed, int &waiters) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (driving_ && !engine_driving_) {
    // Another caller drives and touches this transfer when anything arrives;
    // when it stops, the engine thread drives for this one.
    ++passive_waiters_;
    lock.unlock();
    ++waiters;
    changed.wait(transfer_lock);
    --waiters;
    lock.lock();
    --passive_waiters_;
    return;
  }
  // The driver's callbacks take the transfer's lock.
  transfer_lock.unlock();
  bool waited = false;
  if (driving_) {
    // The engine thread drives: it hands over after its round, which may
    // already have brought what this caller waits for.
    ++role_wanted_;
    curl_multi_wakeup(multi_);
    role_free_.wait(lock, [this] { return !driving_; });
    --role_wanted_;
    waited = true;
  }
  driving_ = true;
  lock.unlock();
  Step(!waited);
  lock.lock();
  ReleaseRole(lock);
  lock.unlock();
  transfer_lock.lock();
}

bool Engine::EngineHasWork() const {
  return background_count_ > 0 || passive_waiters_ > 0 || background_command_;
}

void Engine::ReleaseRole(std::unique_lock<std::mutex> &) {
  driving_ = false;
  engine_driving_ = false;
  if (role_wanted_ > 0) {
    role_free_.notify_one();
  } else if (EngineHasWork() || thread_.sessions() == 0) {
    // With the last session gone the engine thread may be waiting only for
    // the driver to step aside before it ends.
    wake_engine_.notify_one();
  }
}

void Engine::Run() {
  t_on_engine_thread = true;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!driving_ && role_wanted_ == 0 && EngineHasWork()) {
      driving_ = engine_driving_ = true;
      lock.unlock();
      Step(true);
      lock.lock();
      ReleaseRole(lock);
      continue;
    }
    if (thread_.sessions() == 0 && !driving_ && active_count_ == 0 && commands_.empty()) {
      thread_.Ended();
      return;
    }
    wake_engine_.wait(lock);
  }
}

void Engine::Step(bool may_wait) {
  std::deque<Command> commands;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    may_wait = may_wait && commands_.empty();
  }
  if (may_wait) curl_multi_poll(multi_, nullptr, 0, wait_ms_, nullptr);
  {
    // Also what arrived while waiting: the wake-up that ended the wait.
    std::lock_guard<std::mutex> lock(mutex_);
    commands.swap(commands_);
    background_command_ = false;
  }
  for (const Command &command : commands) Execute(command);
  commands.clear();
  int running = 0;
  curl_multi_perform(multi_, &running);
  int left = 0;
  while (CURLMsg *message = curl_multi_info_read(multi_, &left)) {
    if (message->msg == CURLMSG_DONE) Finish(message->easy_handle, message->data.result);
  }
  wait_ms_ = EnforceTimeouts();
  size_t background = 0;
  for (const auto &entry : active_) background += entry.second->async() ? 1 : 0;
  std::lock_guard<std::mutex> lock(mutex_);
  active_count_ = active_.size();
  background_count_ = background;
}

void Engine::Execute(const Command &command) {
  const std::shared_ptr<Transfer> &transfer = command.transfer;
  CURL *easy = transfer->easy();
  switch (command.op) {
    case Op::kStart:
      if (transfer->cancelled()) {  // closed before the engine got to it
        transfer->ReleaseEasy();
        return;
      }
      if (easy == nullptr || curl_multi_add_handle(multi_, easy) != CURLM_OK) {
        transfer->OnFinished(CURLE_FAILED_INIT);
        transfer->ReleaseEasy();
        return;
      }
      active_[easy] = transfer;
      return;
    case Op::kStop: {
      auto found = active_.find(easy);
      if (found == active_.end()) return;
      curl_multi_remove_handle(multi_, easy);
      active_.erase(found);
      transfer->ReleaseEasy();
      return;
    }
    case Op::kResume:
      if (active_.count(easy) != 0 && transfer->TakeResume()) curl_easy_pause(easy, CURLPAUSE_CONT);
      return;
  }
}

void Engine::Finish(CURL *easy, CURLcode result) {
  auto found = active_.find(easy);
  if (found == active_.end()) return;
  std::shared_ptr<Transfer> transfer = found->second;
  curl_multi_remove_handle(multi_, easy);
  active_.erase(found);
  if (transfer->OnFinished(result)) {
    // Set up for its next step (a redirection) on a new handle.
    CURL *next = transfer->easy();
    if (curl_multi_add_handle(multi_, next) == CURLM_OK) {
      active_[next] = transfer;
      return;
    }
    transfer->OnFinished(CURLE_FAILED_INIT);
  }
  transfer->ReleaseEasy();
}

// Aborts the transfers whose time is up and returns how long the engine may
// sleep before the next one falls due.
int Engine::EnforceTimeouts() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point now = Clock::now();
  Clock::time_point next = Clock::time_point::max();
  std::vector<CURL *> expired;
  for (const auto &entry : active_) {
    const Clock::time_point deadline = entry.second->Deadline();
    if (deadline <= now) {
      expired.push_back(entry.first);
    } else {
      next = std::min(next, deadline);
    }
  }
  for (CURL *easy : expired) {
    active_[easy]->MarkTimedOut();
    Finish(easy, CURLE_OPERATION_TIMEDOUT);
  }
  if (next == Clock::time_point::max()) return kMaxPollMs;
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1;
  return static_cast<int>(std::min<long long>(wait, kMaxPollMs));
}

}  // namespace zem::wininet
