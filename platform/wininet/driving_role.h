// Who drives the engine's multi handle now, and who must be woken when the
// driver steps aside. Every member is called with the engine's lock held.
//
// The rule it keeps: whenever a caller waits for a transfer or an
// asynchronous transfer (or a command for the engine thread) exists, either
// somebody drives, or a caller that wants the role has been told it is free,
// or the engine thread has been woken. Nobody waits for a wake-up that no
// one will send.
#ifndef ZEM_WININET_DRIVING_ROLE_H
#define ZEM_WININET_DRIVING_ROLE_H

#include <cassert>
#include <cstddef>

namespace zem::wininet {

class DrivingRole {
 public:
  enum class Driver { kNobody, kCaller, kEngineThread };
  // Whom the driver that steps aside must wake.
  enum class Wake { kNobody, kCaller, kEngineThread };

  Driver driver() const { return driver_; }
  bool taken() const { return driver_ != Driver::kNobody; }
  bool CallerDrives() const { return driver_ == Driver::kCaller; }

  void Take(Driver who) {
    assert(driver_ == Driver::kNobody && who != Driver::kNobody);
    driver_ = who;
  }
  // The driver steps aside. `sessions` is the number of open sessions: with
  // none left the engine thread may be waiting only for the role to be free
  // before it ends.
  Wake Release(int sessions) {
    assert(driver_ != Driver::kNobody);
    driver_ = Driver::kNobody;
    if (callers_wanting_ > 0) return Wake::kCaller;
    if (EngineHasWork() || sessions == 0) return Wake::kEngineThread;
    return Wake::kNobody;
  }

  // A caller waits for the role while the engine thread drives.
  void BeginWanting() { ++callers_wanting_; }
  void EndWanting() {
    assert(callers_wanting_ > 0);
    --callers_wanting_;
  }
  // A caller waits on its transfer while another caller drives: the driver
  // touches every transfer, and when it stops the engine thread takes over.
  void BeginPassiveWait() {
    assert(driver_ == Driver::kCaller);
    ++passive_waiters_;
  }
  void EndPassiveWait() {
    assert(passive_waiters_ > 0);
    --passive_waiters_;
  }

  // A command only the engine thread may be relied on to run (an
  // asynchronous transfer's, or a stop).
  void NoteBackgroundCommand() { background_command_ = true; }
  void CommandsTaken() { background_command_ = false; }
  // What the driver found active at the end of its round.
  void NoteActive(size_t active, size_t background) {
    active_count_ = active;
    background_count_ = background;
  }
  size_t active_count() const { return active_count_; }

  bool EngineHasWork() const { return background_count_ > 0 || passive_waiters_ > 0 || background_command_; }
  // The engine thread's choice on waking: drive now?
  bool EngineShouldDrive() const { return driver_ == Driver::kNobody && callers_wanting_ == 0 && EngineHasWork(); }

  // Checked (in debug builds) as the engine thread goes to sleep: if the role
  // is free, a caller wanting it has been told so, or there is no work left.
  void CheckBeforeEngineSleeps() const {
    assert(driver_ != Driver::kNobody || callers_wanting_ > 0 || !EngineHasWork());
  }

 private:
  Driver driver_ = Driver::kNobody;
  int callers_wanting_ = 0;      // callers waiting for the engine thread to hand over
  int passive_waiters_ = 0;      // callers waiting while another caller drives
  bool background_command_ = false;
  size_t active_count_ = 0;      // transfers in the multi handle, as of the last round
  size_t background_count_ = 0;  // asynchronous ones among them
};

}  // namespace zem::wininet

#endif
