// A fuzzed byte stream as the server's whole answer: a listener on 127.0.0.1
// inside this process answers each request with the current input and closes
// the connection; the target sends a GET through the internet library, reads
// the status, the head and the whole body. Head parsing, body framing (length,
// chunks, close-delimited) and short or garbled answers must never crash,
// hang or leak.
//
// Each input gets a connection of its own (the listener closes after one
// answer), redirects are not followed (a Location could name any host) and
// cookies are not kept, so one input cannot change how the next one runs.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "fuzz_input.h"
#include "fuzz_session.h"
#include "windows.h"
#include "wininet.h"

namespace {

class OneShotServer {
 public:
  OneShotServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ZEM_FUZZ_CHECK(fd_ >= 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ZEM_FUZZ_CHECK(bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
    ZEM_FUZZ_CHECK(listen(fd_, 16) == 0);
    socklen_t len = sizeof addr;
    ZEM_FUZZ_CHECK(getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &len) == 0);
    port_ = ntohs(addr.sin_port);
    // Lives as long as the process, blocked in accept between inputs.
    std::thread([this] { Serve(); }).detach();
  }
  INTERNET_PORT port() const { return port_; }

  void SetAnswer(const uint8_t *data, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    answer_.assign(reinterpret_cast<const char *>(data), size);
  }

 private:
  void Serve() {
    for (;;) {
      const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      ReadRequestHead(client);
      std::string answer;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        answer = answer_;
      }
      for (size_t sent = 0; sent < answer.size();) {
        const ssize_t n = send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      shutdown(client, SHUT_WR);
      // Unread bytes at close would turn the end into a reset.
      char rest[4096];
      while (recv(client, rest, sizeof rest, MSG_DONTWAIT) > 0) {
      }
      close(client);
    }
  }
  // Reads until the request's head is in, the peer closes, or a short wait
  // passes: the answer does not depend on the request.
  static void ReadRequestHead(int client) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < (1u << 20)) {
      pollfd p = {client, POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) return;
      const ssize_t n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      head.append(buffer, static_cast<size_t>(n));
    }
  }

  int fd_ = -1;
  INTERNET_PORT port_ = 0;
  std::mutex mutex_;
  std::string answer_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static OneShotServer server;
  static HINTERNET connection = zemfuzz::Connect(server.port());
  server.SetAnswer(data, size);

  HINTERNET request = HttpOpenRequestA(connection, "GET", "/fuzz", nullptr, nullptr, nullptr,
                                       INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES |
                                           INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD,
                                       0);
  ZEM_FUZZ_CHECK(request != nullptr);
  if (HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    DWORD status = 0, length = sizeof status;
    HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr);
    std::string text;
    zemfuzz::QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF, &text);
    zemfuzz::QueryText(request, HTTP_QUERY_CONTENT_LENGTH, &text);
    // The body can be no longer than the answer, unless a content coding
    // expands it; the bound only keeps a run from going on for ever.
    char buffer[1024];
    DWORD got = 0;
    for (size_t total = 0; total < (64u << 20); total += got) {
      if (!InternetReadFile(request, buffer, sizeof buffer, &got) || got == 0) break;
      ZEM_FUZZ_CHECK(got <= sizeof buffer);
    }
  }
  ZEM_FUZZ_CHECK(InternetCloseHandle(request));
  return 0;
}
