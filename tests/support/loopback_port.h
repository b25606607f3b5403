// Ports and connections on 127.0.0.1, for the servers the tests start and
// the control channels the helpers talk to them through.
#ifndef ZEM_TEST_LOOPBACK_PORT_H
#define ZEM_TEST_LOOPBACK_PORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace zemtest {

// n distinct ports that were free a moment ago (the system chose them; all are
// held at once while choosing, so they differ from one another).
std::vector<int> FreeLoopbackPorts(int n);

// One TCP connection to 127.0.0.1:port; each send and receive gives up after
// timeout_s seconds.
class LoopbackConnection {
 public:
  explicit LoopbackConnection(int port, int timeout_s = 10);
  ~LoopbackConnection();
  LoopbackConnection(const LoopbackConnection &) = delete;
  LoopbackConnection &operator=(const LoopbackConnection &) = delete;

  bool ok() const { return handle_ != kNone; }
  bool Send(const std::string &bytes);
  // Ends the sending side: the peer reads the end of the stream.
  void EndSending();
  // Appends what arrives to `into`; false at the end of the stream, on an
  // error or when nothing came within the time-out.
  bool Receive(std::string &into);

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t handle_ = kNone;
};

}  // namespace zemtest

#endif
