// The life of one of the library's own threads: started by the first work,
// kept while sessions are open, ended once the last session is closed and the
// thread's loop has nothing left, so that the module can be unloaded after
// its handles are closed. Every call is made with the owner's lock held.
#ifndef ZEM_WININET_THREAD_LIFETIME_H
#define ZEM_WININET_THREAD_LIFETIME_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace zem::wininet {

class ThreadLifetime {
 public:
  void AddSession() { ++sessions_; }
  int sessions() const { return sessions_; }
  // Starts the thread unless it runs; one that ended earlier is collected.
  void EnsureRunning(const std::function<void()> &loop);
  // Said by the thread's loop as it leaves, the lock still held.
  void Ended();
  // Said by the thread around a call into the caller's code (a status
  // callback), which may wait for anything, even for the thread closing the
  // last session.
  void EnterCallerCode();
  void LeaveCallerCode() { in_caller_code_ = false; }
  // One session fewer. After the last, `wake` lets the loop notice, and the
  // caller waits for the thread to end and collects it, unless it is that
  // thread itself, or the thread is inside a callback. The thread's own work
  // never waits for a caller, so that wait has no limit. A callback that runs
  // once the last session is closed belongs to a handle already closed from
  // inside that very callback (every other close waited for its handle's
  // callback to return), so nobody counts on its end, and it may be waiting
  // for this caller: the thread ends by itself once it returns, and the next
  // start collects it.
  void RemoveSession(std::unique_lock<std::mutex> &lock, const std::function<void()> &wake, bool on_thread);

 private:
  int sessions_ = 0;
  bool running_ = false;
  bool in_caller_code_ = false;
  std::thread thread_;
  std::condition_variable ended_;
};

}  // namespace zem::wininet

#endif
