// A server started for a test by tests/launcher/server_launcher.py, and
// stopped when this object goes. The launcher answers a request ("scripted",
// "nginx", "tinyproxy [USER PASSWORD]") with "<name> <value>" lines: ports,
// and paths of the launcher's machine.
//
// When ZEMTEST_LAUNCHER=127.0.0.1:PORT is set, the request goes to a running
// launcher over TCP and the server lives as long as that connection (the way
// a Windows test program gets its servers). Otherwise the program starts the
// server itself, as a child process that dies with the thread that started
// it (see child_process.h).
#ifndef ZEM_TEST_LAUNCHED_SERVER_H
#define ZEM_TEST_LAUNCHED_SERVER_H

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zemtest {

// How the answer of one launched server arrives: line by line.
class LauncherChannel {
 public:
  virtual ~LauncherChannel() = default;
  // One line without its newline; "" at the end or after timeout_ms.
  virtual std::string ReadLine(int timeout_ms) = 0;
};

class LaunchedServer {
 public:
  explicit LaunchedServer(const std::vector<std::string> &request);
  ~LaunchedServer();
  LaunchedServer(const LaunchedServer &) = delete;
  LaunchedServer &operator=(const LaunchedServer &) = delete;

  bool ok() const { return error_.empty(); }
  // Why the server is not there.
  const std::string &error() const { return error_; }
  // A number of the answer (0 when absent), a text, and a path as this
  // program opens it.
  int Number(const std::string &name) const;
  std::string Text(const std::string &name) const;
  std::string Path(const std::string &name) const;

 private:
  std::unique_ptr<LauncherChannel> channel_;
  std::map<std::string, std::string> answer_;
  std::string error_;
};

// What differs between the platforms: a server started by this program
// itself (nullptr with `error` set where that cannot be), and the path under
// which this program sees a path of the launcher's machine.
std::unique_ptr<LauncherChannel> StartLocally(const std::vector<std::string> &request, std::string &error);
std::string LauncherPathHere(const std::string &path);

}  // namespace zemtest

#endif
