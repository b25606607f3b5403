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
  ++sessions_;
}

void Engine::RemoveSession() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (sessions_ > 0) --sessions_;
  if (sessions_ != 0 || !running_) return;
  curl_multi_wakeup(multi_);
  if (OnEngineThread()) return;  // the loop ends by itself once back in it
  stopped_.wait(lock, [this] { return !running_ || sessions_ > 0; });
  if (!running_ && thread_.joinable()) thread_.join();
}

void Engine::Start(const std::shared_ptr<Transfer> &transfer) { Post(Op::kStart, transfer); }
void Engine::Stop(const std::shared_ptr<Transfer> &transfer) { Post(Op::kStop, transfer); }
void Engine::Resume(const std::shared_ptr<Transfer> &transfer) { Post(Op::kResume, transfer); }

void Engine::Post(Op op, const std::shared_ptr<Transfer> &transfer) {
  std::lock_guard<std::mutex> lock(mutex_);
  commands_.push_back({op, transfer});
  if (!running_) {
    // A thread that ended earlier has left the loop for good: collect it.
    if (thread_.joinable()) thread_.join();
    running_ = true;
    thread_ = std::thread(&Engine::Run, this);
  } else {
    curl_multi_wakeup(multi_);
  }
}

void Engine::Run() {
  t_on_engine_thread = true;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    std::deque<Command> commands;
    commands.swap(commands_);
    lock.unlock();
    for (const Command &command : commands) Execute(command);
    commands.clear();

    int running = 0;
    curl_multi_perform(multi_, &running);
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(multi_, &left)) {
      if (message->msg == CURLMSG_DONE) Finish(message->easy_handle, message->data.result);
    }
    const int wait_ms = EnforceTimeouts();

    lock.lock();
    if (!commands_.empty()) continue;
    if (sessions_ == 0 && active_.empty()) {
      running_ = false;
      stopped_.notify_all();
      return;
    }
    lock.unlock();
    curl_multi_poll(multi_, nullptr, 0, wait_ms, nullptr);
    lock.lock();
  }
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
