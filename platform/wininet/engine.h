// The one thread of the library that moves data: it drives a libcurl multi
// handle for every transfer of every session. A caller hands a transfer to
// it and waits for the state it needs (the transfer's own condition
// variable); the engine reports progress into the transfer, enforces the
// time-outs, and pauses and resumes transfers whose readers fall behind.
#ifndef ZEM_WININET_ENGINE_H
#define ZEM_WININET_ENGINE_H

#include <curl/curl.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

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
  // transfers are taken out, the thread ends (and a later transfer starts
  // a new one), so the module can be unloaded after its handles are closed.
  void AddSession();
  void RemoveSession();

  // Hands a prepared transfer to the engine thread.
  void Start(const std::shared_ptr<Transfer> &transfer);
  // Takes a transfer out (its handle was closed).
  void Stop(const std::shared_ptr<Transfer> &transfer);
  // Lets a transfer that paused on a full queue receive again.
  void Resume(const std::shared_ptr<Transfer> &transfer);

  static bool OnEngineThread();

 private:
  enum class Op { kStart, kStop, kResume };
  struct Command {
    Op op;
    std::shared_ptr<Transfer> transfer;
  };

  Engine();
  void Post(Op op, const std::shared_ptr<Transfer> &transfer);
  void Run();
  void Execute(const Command &command);
  void Finish(CURL *easy, CURLcode result);
  int EnforceTimeouts();

  CURLM *multi_ = nullptr;
  std::mutex mutex_;
  std::condition_variable stopped_;
  std::deque<Command> commands_;
  int sessions_ = 0;
  bool running_ = false;
  std::thread thread_;
  // Engine thread only.
  std::unordered_map<CURL *, std::shared_ptr<Transfer>> active_;
};

}  // namespace zem::wininet

#endif
