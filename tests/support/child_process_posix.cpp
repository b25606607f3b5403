#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace zemtest {

namespace {

// Between fork and exec only async-signal-safe calls: the parent has threads.
[[noreturn]] void ExecChild(char *const *argv, const char *output_path, int stdout_write_end, pid_t parent) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(126);
  int devnull = open("/dev/null", O_RDONLY);
  if (devnull >= 0) dup2(devnull, 0);
  int out = (output_path && *output_path) ? open(output_path, O_WRONLY | O_CREAT | O_APPEND, 0644)
                                          : open("/dev/null", O_WRONLY);
  if (out >= 0) {
    dup2(stdout_write_end >= 0 ? stdout_write_end : out, 1);
    dup2(out, 2);
  }
  execvp(argv[0], argv);
  _exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string> &argv, const std::string &output_path,
                           bool capture_stdout) {
  if (argv.empty()) return;
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  int fds[2] = {-1, -1};
  if (capture_stdout && pipe2(fds, O_CLOEXEC) != 0) return;
  pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) ExecChild(args.data(), output_path.c_str(), fds[1], parent);
  if (fds[1] >= 0) close(fds[1]);
  if (pid_ < 0) {
    if (fds[0] >= 0) close(fds[0]);
    return;
  }
  stdout_fd_ = fds[0];
}

ChildProcess::~ChildProcess() {
  Stop();
  if (stdout_fd_ >= 0) close(stdout_fd_);
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  return !Reap(0);
}

bool ChildProcess::Reap(int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || r < 0) {
      status_ = r == pid_ ? status : -1;
      pid_ = -1;
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string ChildProcess::ReadLine(int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (stdout_fd_ >= 0) {
    size_t eol = pending_.find('\n');
    if (eol != std::string::npos) {
      std::string line = pending_.substr(0, eol);
      pending_.erase(0, eol + 1);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{stdout_fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[4096];
    ssize_t n = read(stdout_fd_, buf, sizeof buf);
    if (n <= 0) break;
    pending_.append(buf, static_cast<size_t>(n));
  }
  return "";
}

int ChildProcess::Stop(int grace_ms) {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (!Reap(grace_ms)) {
      kill(pid_, SIGKILL);
      Reap(60000);
    }
  }
  return status_;
}

int ChildProcess::Wait(int timeout_ms) {
  if (pid_ > 0 && !Reap(timeout_ms)) {
    kill(pid_, SIGKILL);
    Reap(60000);
    return -1;
  }
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int RunProgram(const std::vector<std::string> &argv, const std::string &output_path, int timeout_ms) {
  ChildProcess child(argv, output_path, false);
  return child.Wait(timeout_ms);
}

}  // namespace zemtest
