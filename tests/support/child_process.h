// A program started by a test and stopped by its process id. It never outlives
// the test program: it is killed when the thread that started it ends, so a
// crashed or killed test leaves no server behind holding ports or pipes.
#ifndef ZEM_TEST_CHILD_PROCESS_H
#define ZEM_TEST_CHILD_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace zemtest {

class ChildProcess {
 public:
  // Starts argv[0], searched in PATH. Standard output goes to a pipe that
  // ReadLine reads when capture_stdout is set, else to output_path with the
  // standard error (both go to output_path, or to /dev/null when it is empty).
  ChildProcess(const std::vector<std::string> &argv, const std::string &output_path, bool capture_stdout);
  ~ChildProcess();
  ChildProcess(const ChildProcess &) = delete;
  ChildProcess &operator=(const ChildProcess &) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  // One line of captured output without its newline; "" at end of output or
  // when nothing arrives within timeout_ms.
  std::string ReadLine(int timeout_ms);
  // Sends SIGTERM, waits up to grace_ms, then kills. Returns the exit status
  // as waitpid reports it, or -1 when there was no process.
  int Stop(int grace_ms = 5000);
  // Waits up to timeout_ms for the program to end by itself (killing it
  // after that) and returns its exit code, or -1 when it did not exit normally.
  int Wait(int timeout_ms);

 private:
  bool Reap(int timeout_ms);

  pid_t pid_ = -1;
  int status_ = -1;
  int stdout_fd_ = -1;
  std::string pending_;
};

// Runs a program to its end (bounded by timeout_ms) with its output appended to
// output_path, and returns its exit code (-1 when it did not exit normally).
int RunProgram(const std::vector<std::string> &argv, const std::string &output_path, int timeout_ms = 30000);

}  // namespace zemtest

#endif
