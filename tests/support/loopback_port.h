// Ports on 127.0.0.1 for servers the tests start.
#ifndef ZEM_TEST_LOOPBACK_PORT_H
#define ZEM_TEST_LOOPBACK_PORT_H

#include <vector>

namespace zemtest {

class ChildProcess;

// n distinct ports that were free a moment ago (the system chose them; all are
// held at once while choosing, so they differ from one another).
std::vector<int> FreeLoopbackPorts(int n);

// Polls until something accepts connections on 127.0.0.1:port. Gives up after
// timeout_ms, or as soon as the process that should listen has ended.
bool WaitUntilListening(int port, ChildProcess &server, int timeout_ms = 15000);

}  // namespace zemtest

#endif
