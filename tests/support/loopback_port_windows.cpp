#include <winsock2.h>

#include "loopback_port.h"

namespace zemtest {

namespace {

// Winsock is started once for the program and left running.
bool WinsockStarted() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(port));
  return addr;
}

SOCKET Handle(intptr_t handle) { return static_cast<SOCKET>(handle); }

}  // namespace

std::vector<int> FreeLoopbackPorts(int n) {
  std::vector<SOCKET> held;
  std::vector<int> ports;
  for (int i = 0; i < n; ++i) {
    SOCKET s = WinsockStarted() ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
    sockaddr_in addr = Loopback(0);
    int len = sizeof addr;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
      if (s != INVALID_SOCKET) closesocket(s);
      ports.push_back(0);
      continue;
    }
    held.push_back(s);
    ports.push_back(ntohs(addr.sin_port));
  }
  for (SOCKET s : held) closesocket(s);
  return ports;
}

LoopbackConnection::LoopbackConnection(int port, int timeout_s) {
  SOCKET s = WinsockStarted() ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
  if (s == INVALID_SOCKET) return;
  DWORD ms = static_cast<DWORD>(timeout_s) * 1000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&ms), sizeof ms);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char *>(&ms), sizeof ms);
  sockaddr_in addr = Loopback(port);
  if (connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    closesocket(s);
    return;
  }
  handle_ = static_cast<intptr_t>(s);
}

LoopbackConnection::~LoopbackConnection() {
  if (ok()) closesocket(Handle(handle_));
}

bool LoopbackConnection::Send(const std::string &bytes) {
  for (size_t pos = 0; ok() && pos < bytes.size();) {
    int n = send(Handle(handle_), bytes.data() + pos, static_cast<int>(bytes.size() - pos), 0);
    if (n <= 0) return false;
    pos += static_cast<size_t>(n);
  }
  return ok();
}

void LoopbackConnection::EndSending() {
  if (ok()) shutdown(Handle(handle_), SD_SEND);
}

bool LoopbackConnection::Receive(std::string &into) {
  char buf[65536];
  int n = ok() ? recv(Handle(handle_), buf, sizeof buf, 0) : -1;
  if (n <= 0) return false;
  into.append(buf, static_cast<size_t>(n));
  return true;
}

}  // namespace zemtest
