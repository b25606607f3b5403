#include "pac_eval.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pacparser.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wininet.h"

namespace zem::jsproxy {
namespace {

// The child's report: one letter ('A' answer, 'S' script error) and a text.
std::string g_engine_messages;  // child only

int CollectEngineMessage(const char *format, va_list args) {
  char line[512];
  const int n = std::vsnprintf(line, sizeof line, format, args);
  if (n > 0 && g_engine_messages.size() < 4096) g_engine_messages += line;
  return n;
}

// The address myIpAddress() answers: the local address of the default route,
// found by a UDP "connection" that sends nothing; the loopback address when
// there is no route. Asking the resolver for our own name could wait on DNS.
std::string LocalAddress() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  std::string address = "127.0.0.1";
  if (fd < 0) return address;
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(9);
  ::inet_pton(AF_INET, "192.0.2.1", &remote.sin_addr);  // documentation network: never contacted
  sockaddr_in local{};
  socklen_t length = sizeof local;
  char text[INET_ADDRSTRLEN];
  if (::connect(fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) == 0 &&
      ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text) != nullptr) {
    address = text;
  }
  ::close(fd);
  return address;
}

void WriteAll(int fd, const std::string &data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

[[noreturn]] void RunChild(int fd, const std::string &script, const std::string &url, const std::string &host,
                           const std::string &my_ip) {
  pacparser_set_error_printer(&CollectEngineMessage);
  std::string report;
  if (!pacparser_init()) {
    report = "SThe script engine could not start. " + g_engine_messages;
  } else {
    pacparser_setmyip(my_ip.c_str());
    if (!pacparser_parse_pac_string(script.c_str())) {
      report = "SThe script does not compile: " + g_engine_messages;
    } else {
      const char *answer = pacparser_find_proxy(url.c_str(), host.c_str());
      report = answer != nullptr ? std::string("A") + answer
                                 : "SFindProxyForURL gave no answer: " + g_engine_messages;
    }
  }
  WriteAll(fd, report);
  ::_exit(0);
}

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

unsigned PacTimeLimitMs() {
  const char *value = std::getenv("ZEMHTTP_PAC_TIMEOUT_MS");
  if (value != nullptr) {
    char *end = nullptr;
    const unsigned long ms = std::strtoul(value, &end, 10);
    if (end != value && *end == '\0' && ms > 0 && ms <= 600000) return static_cast<unsigned>(ms);
  }
  return 5000;
}

PacAnswer EvaluatePac(const std::string &script, const std::string &url, const std::string &host,
                      unsigned limit_ms) {
  PacAnswer result;
  const std::string my_ip = LocalAddress();
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    result.error = ERROR_NOT_ENOUGH_MEMORY;
    result.text = "No pipe for the script's answer.";
    return result;
  }
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    result.error = ERROR_NOT_ENOUGH_MEMORY;
    result.text = "No process for the script.";
    return result;
  }
  if (child == 0) {
    // The child keeps nothing of the parent's but its own pipe: a descriptor
    // it held would keep another evaluation's pipe open past that one's end.
    const int own = fds[1];
    if (own > 3) ::close_range(3, static_cast<unsigned>(own - 1), 0);
    ::close_range(static_cast<unsigned>(own + 1), ~0U, 0);
    RunChild(own, script, url, host, my_ip);
  }
  ::close(fds[1]);
  std::string report;
  const long long deadline = NowMs() + limit_ms;
  bool timed_out = false;
  for (;;) {
    const long long left = deadline - NowMs();
    if (left <= 0) {
      timed_out = true;
      break;
    }
    pollfd pfd{fds[0], POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timed_out = ready == 0;
      break;
    }
    char buffer[4096];
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    report.append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  // Whatever ended the wait, the child must end too before it is reaped; one
  // that already exited is unharmed by the signal.
  ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (timed_out) {
    result.error = ERROR_INTERNET_TIMEOUT;
    result.text = "The script did not answer within " + std::to_string(limit_ms) + " ms.";
  } else if (report.empty()) {
    result.error = ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT;
    result.text = "The script engine ended without an answer.";
  } else {
    result.error = report[0] == 'A' ? 0 : ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT;
    result.text = Trimmed(report.substr(1));
  }
  return result;
}

}  // namespace zem::jsproxy
