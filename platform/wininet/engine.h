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
//
// Concurrency contract
//
// Why one multi handle and one driver at a time: libcurl lets no two threads
// use a handle at once, and the connections it keeps for reuse belong to the
// handle that made them. One multi handle shares every connection between
// all transfers; one driver at a time keeps libcurl single-threaded without a
// lock held across its calls. Whoever drives (DrivingRole, driving_role.h)
// runs Step: the commands, curl_multi_perform, the finished transfers and
// the time-outs.
//
// Who touches what:
// - Engine::multi_, active_, running_, wait_ms_: the driver only, without a lock (the
//   role is handed over under mutex_, which orders the driver's writes
//   before the next driver's reads).
// - Engine::commands_, role_, thread_: anyone, under Engine::mutex_.
// - A Transfer's libcurl handle and step state (easy_, url_, wire_list_,
//   the target and redirect fields, the head being read): set up by Prepare
//   on the sending thread before Start, then the driver's only. Fields the
//   callers read as well (stage, heads, queues, the waiting count, the
//   upload offset, the reports) are under the transfer's mutex_; transfer.h
//   lists which are which.
// - CallbackThread's queue and the handle whose callback runs: under its own
//   mutex.
//
// Lock order: a transfer's mutex, then Engine::mutex_, then the callback
// thread's mutex. Nothing takes a transfer's mutex while holding the
// engine's: the driver calls into transfers with no engine lock held, and a
// caller drops its transfer's lock before it drives (libcurl's callbacks take
// it). No lock is held while a status callback runs.
//
// Closing: a close cancels the handle's transfer first, then waits for a
// callback of that handle running on another thread (the callback thread,
// or a caller's thread giving it a synchronous request's report) to return,
// so the caller may free what the callback uses; a callback closing its own
// handle is not waited for. Closing the last session then waits for the engine thread to end,
// which runs no caller code, and for the callback thread unless it is inside
// a callback: that one is of a handle closed from inside it, which nobody
// waits for.
#ifndef ZEM_WININET_ENGINE_H
#define ZEM_WININET_ENGINE_H

#include <curl/curl.h>

#include <condition_variable>
#include <vector>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "driving_role.h"
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
  // A caller that waits while another caller drives waits at most one
  // engine round's length, then looks again: the role may be free by then.
  // `handle` names the request in the trace.
  void Progress(std::unique_lock<std::mutex> &transfer_lock, std::condition_variable &changed, int &waiters,
                const void *handle);

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
  void ReleaseRole();
  // Drives one round as `who`, the role taken and given back under the lock.
  void DriveOnce(std::unique_lock<std::mutex> &lock, DrivingRole::Driver who, bool may_wait);
  void Execute(const Command &command);
  void Finish(CURL *easy, CURLcode result);
  int EnforceTimeouts();

  CURLM *multi_ = nullptr;
  std::mutex mutex_;
  std::condition_variable wake_engine_;  // the engine thread waits here for work
  std::condition_variable role_free_;    // callers wait here to drive
  std::vector<Command> commands_;
  ThreadLifetime thread_;
  DrivingRole role_;
  // The driver's alone.
  std::unordered_map<CURL *, std::shared_ptr<Transfer>> active_;
  // The commands of the round being driven: it trades places with
  // commands_, so that neither list is allocated anew each round.
  std::vector<Command> running_;
  int wait_ms_ = 0;
};

}  // namespace zem::wininet

#endif
