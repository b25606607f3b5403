#include <unistd.h>

#include "child_process.h"
#include "launched_server.h"

namespace zemtest {

namespace {

class LocalServer : public LauncherChannel {
 public:
  explicit LocalServer(const std::vector<std::string> &argv) : process_(argv, "", true) {}
  std::string ReadLine(int timeout_ms) override { return process_.ReadLine(timeout_ms); }

 private:
  ChildProcess process_;
};

}  // namespace

std::unique_ptr<LauncherChannel> StartLocally(const std::vector<std::string> &request, std::string &) {
  // The system's interpreter starts several times faster than a version
  // manager's shim found first in PATH, and every test starts a server.
  std::vector<std::string> argv{access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3", "-u"};
  // The scripted server, started for nearly every test, answers as the
  // launcher does, so it is run directly.
  if (request.size() == 1 && request[0] == "scripted") {
    argv.push_back(std::string(ZEM_TEST_SOURCE_DIR) + "/servers/scripted_server.py");
  } else {
    argv.push_back(std::string(ZEM_TEST_SOURCE_DIR) + "/launcher/server_launcher.py");
    argv.insert(argv.end(), request.begin(), request.end());
  }
  return std::make_unique<LocalServer>(argv);
}

std::string LauncherPathHere(const std::string &path) { return path; }

}  // namespace zemtest
