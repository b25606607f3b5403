// What moves data: one libcurl multi handle for every transfer of every
// session, driven by one thread at a time. A caller waiting for its transfer
// drives it itself when nobody else does, so a synchronous request needs no
// hand-over between threads. The library's engine thread drives for the
// asynchronous transfers, for closed ones to be taken out, and for callers
// that wait while another caller drives. A synchronous transfer nobody waits
// for is not driven: its bytes wait in the socket, and time-outs measure
// only the time somebody waited. The driver reports progress into the
// transfers, enforces the time-outs, and pauses and resumes transfers whose
// readers fall behind.
#ifndef ZEM_WININET_ENGINE_H
#define ZEM_WININET_ENGINE_H

#include <curl/curl.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "thread_lifetime.h"

namespace zem::wininet {

class Transfer;

// libcurl's global set-up, done once whichever thread gets there first.
void EnsureCurlInitialized();

class Engine {
 public:
  // The process's engine. It is never destroyed: its thread may outlive
  // static destruction when a program exits with sessions still open.
  static Engine &Instance();

  // Open sessions keep the thread; once the last one is closed and its
  // transfers are taken out, the thread ends (and later work starts a new
  // one), so the module can be unloaded after its handles are closed.
  void AddSession();
  void RemoveSession();

  // Hands a prepared transfer to the engine.
  void Start(const std::shared_ptr<Transfer> &transfer);
  // Takes a transfer out (its handle was closed).
  void Stop(const std::shared_ptr<Transfer> &transfer);
  // Lets a transfer that paused (a full queue, a body piece not yet written)
  // go on.
  void Resume(const std::shared_ptr<Transfer> &transfer);

  // One step towards what a caller waits for: the caller drives the engine
  // itself if it can have it, else waits until its transfer changes.
  // `transfer_lock` (the transfer's mutex) is held on entry and on return.
  void Progress(std::unique_lock<std::mutex> &transfer_lock, std::condition_variable &changed, int &waiters);

  static bool OnEngineThread();

 private:
  enum class Op { kStart, kStop, kResume };
  struct Command {
    Op op;
    std::shared_ptr<Transfer> transfer;
  };

  Engine();
  void Post(Op op, const std::shared_ptr<Transfer> &transfer, bool background);
  void Run();
  bool EngineHasWork() const;
  // One round of driving: wait for sockets (until woken, or not at all),
  // run the commands, let libcurl work, finish what ended, enforce time-outs.
  void Step(bool may_wait);
  void ReleaseRole(std::unique_lock<std::mutex> &lock);
  void Execute(const Command &command);
  void Finish(CURL *easy, CURLcode result);
  int EnforceTimeouts();

  CURLM *multi_ = nullptr;
  std::mutex mutex_;
  std::condition_variable wake_engine_;  // the engine thread waits here for work
  std::condition_variable role_free_;    // callers wait here to drive
  std::deque<Command> commands_;
  ThreadLifetime thread_;
  bool driving_ = false;         // some thread drives now
  bool engine_driving_ = false;  // ... and it is the engine thread
  int role_wanted_ = 0;          // callers waiting to drive
  int passive_waiters_ = 0;      // callers waiting while another caller drives
  bool background_command_ = false;  // a command the engine thread should run
  size_t active_count_ = 0;      // active_.size() as of the last round
  size_t background_count_ = 0;  // active asynchronous transfers, likewise
  // The driver's alone.
  std::unordered_map<CURL *, std::shared_ptr<Transfer>> active_;
  int wait_ms_ = 0;
};

}  // namespace zem::wininet

#endif
