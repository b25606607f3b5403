#include "engine.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "engine_trace.h"
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
  if (background) role_.NoteBackgroundCommand();
  if (role_.taken()) {
    curl_multi_wakeup(multi_);  // the driver may be waiting for sockets
  } else if (background) {
    wake_engine_.notify_one();
  }
}

void Engine::Progress(std::unique_lock<std::mutex> &transfer_lock, std::condition_variable &changed, int &waiters,
                      const void *handle) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (role_.CallerDrives()) {
    // Another caller drives and touches this transfer when anything arrives;
    // when it stops, the engine thread drives for this one.
    role_.BeginPassiveWait();
    lock.unlock();
    ZEM_ENGINE_TRACE("%p waits while another caller drives", handle);
    ++waiters;
    changed.wait_for(transfer_lock, std::chrono::milliseconds(kMaxPollMs));
    --waiters;
    lock.lock();
    role_.EndPassiveWait();
    return;
  }
  // The driver's callbacks take the transfer's lock.
  transfer_lock.unlock();
  bool waited = false;
  if (role_.taken()) {
    // The engine thread drives: it hands over after its round, which may
    // already have brought what this caller waits for.
    role_.BeginWanting();
    curl_multi_wakeup(multi_);
    ZEM_ENGINE_TRACE("%p waits for the engine thread to hand over", handle);
    role_free_.wait(lock, [this] { return !role_.taken(); });
    role_.EndWanting();
    waited = true;
  }
  ZEM_ENGINE_TRACE("%p role: the waiting caller drives", handle);
  DriveOnce(lock, DrivingRole::Driver::kCaller, !waited);
  lock.unlock();
  transfer_lock.lock();
}

void Engine::DriveOnce(std::unique_lock<std::mutex> &lock, DrivingRole::Driver who, bool may_wait) {
  role_.Take(who);
  lock.unlock();
  Step(may_wait);
  lock.lock();
  ReleaseRole();
}

void Engine::ReleaseRole() {
  switch (role_.Release(thread_.sessions())) {
    case DrivingRole::Wake::kCaller:
      ZEM_ENGINE_TRACE("role: free, handed to a waiting caller");
      role_free_.notify_one();
      return;
    case DrivingRole::Wake::kEngineThread:
      ZEM_ENGINE_TRACE("role: free, the engine thread woken");
      // With the last session gone the engine thread may be waiting only for
      // the driver to step aside before it ends.
      wake_engine_.notify_one();
      return;
    case DrivingRole::Wake::kNobody:
      return;
  }
}

void Engine::Run() {
  t_on_engine_thread = true;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (role_.EngineShouldDrive()) {
      ZEM_ENGINE_TRACE("role: the engine thread drives");
      DriveOnce(lock, DrivingRole::Driver::kEngineThread, true);
      continue;
    }
    if (thread_.sessions() == 0 && !role_.taken() && role_.active_count() == 0 && commands_.empty()) {
      ZEM_ENGINE_TRACE("engine thread ends: no session left");
      thread_.Ended();
      return;
    }
    role_.CheckBeforeEngineSleeps();
    wake_engine_.wait(lock);
  }
}

void Engine::Step(bool may_wait) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    may_wait = may_wait && commands_.empty();
  }
  if (may_wait) curl_multi_poll(multi_, nullptr, 0, wait_ms_, nullptr);
  {
    // Also what arrived while waiting: the wake-up that ended the wait.
    std::lock_guard<std::mutex> lock(mutex_);
    running_.swap(commands_);
    role_.CommandsTaken();
  }
  for (const Command &command : running_) Execute(command);
  running_.clear();
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
  role_.NoteActive(active_.size(), background);
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
    ZEM_ENGINE_TRACE("%p time-out: nothing from the server within its limit", active_[easy]->handle());
    active_[easy]->MarkTimedOut();
    Finish(easy, CURLE_OPERATION_TIMEDOUT);
  }
  if (next == Clock::time_point::max()) return kMaxPollMs;
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1;
  return static_cast<int>(std::min<long long>(wait, kMaxPollMs));
}

}  // namespace zem::wininet
