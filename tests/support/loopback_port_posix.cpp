#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "loopback_port.h"

namespace zemtest {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

}  // namespace

std::vector<int> FreeLoopbackPorts(int n) {
  std::vector<int> fds, ports;
  for (int i = 0; i < n; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = Loopback(0);
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
      if (fd >= 0) close(fd);
      ports.push_back(0);
      continue;
    }
    fds.push_back(fd);
    ports.push_back(ntohs(addr.sin_port));
  }
  for (int fd : fds) close(fd);
  return ports;
}

LoopbackConnection::LoopbackConnection(int port, int timeout_s) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  timeval tv{timeout_s, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in addr = Loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    close(fd);
    return;
  }
  handle_ = fd;
}

LoopbackConnection::~LoopbackConnection() {
  if (ok()) close(static_cast<int>(handle_));
}

bool LoopbackConnection::Send(const std::string &bytes) {
  for (size_t pos = 0; ok() && pos < bytes.size();) {
    ssize_t n = send(static_cast<int>(handle_), bytes.data() + pos, bytes.size() - pos, MSG_NOSIGNAL);
    if (n <= 0) return false;
    pos += static_cast<size_t>(n);
  }
  return ok();
}

void LoopbackConnection::EndSending() {
  if (ok()) shutdown(static_cast<int>(handle_), SHUT_WR);
}

bool LoopbackConnection::Receive(std::string &into) {
  char buf[65536];
  ssize_t n = ok() ? recv(static_cast<int>(handle_), buf, sizeof buf, 0) : -1;
  if (n <= 0) return false;
  into.append(buf, static_cast<size_t>(n));
  return true;
}

}  // namespace zemtest
