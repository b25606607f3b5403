// The bounds a user puts on one transfer (--max-time, --max-filesize), kept
// whatever the server does: a server that trickles or never ends its answer
// is cut off by closing the client's handles, which makes a waiting call of
// the internet library fail at once.
#ifndef ZEM_TOOLS_TRANSFER_GUARD_H
#define ZEM_TOOLS_TRANSFER_GUARD_H

#include <ZemHttp.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "arguments.h"

namespace zemtool {

class TransferGuard {
 public:
  // Starts the clock of --max-time (when given) at once.
  TransferGuard(CZemHttp &http, const ToolOptions &options);
  ~TransferGuard();
  TransferGuard(const TransferGuard &) = delete;
  TransferGuard &operator=(const TransferGuard &) = delete;

  // Called on the run's own thread from the client's notifications: the
  // handles the run holds at that moment, and what the status texts say
  // about the body.
  void OnProgress();
  void OnStatusText(const char *text);

  // The run is over: the clock stops.
  void Finish();
  // Why the transfer was cut off; "" when it was not.
  std::string Reason();

 private:
  void Watch();
  void Stop(const std::string &reason);
  void CloseKnownHandles();  // with lock_ held

  CZemHttp &http_;
  const uint32_t max_time_s_;
  const bool has_max_filesize_;
  const uint64_t max_filesize_;
  uint64_t downloaded_ = 0;  // only touched on the run's thread

  std::mutex lock_;
  std::condition_variable wake_;
  bool finished_ = false;
  std::string reason_;
  HINTERNET session_ = nullptr;
  HINTERNET request_ = nullptr;
  std::thread watchdog_;
};

}  // namespace zemtool

#endif  // ZEM_TOOLS_TRANSFER_GUARD_H
