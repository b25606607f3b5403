#include "launched_server.h"

namespace zemtest {

std::unique_ptr<LauncherChannel> StartLocally(const std::vector<std::string> &, std::string &error) {
  error = "a Windows test program gets its servers from a launcher: run tests/launcher/server_launcher.py serve "
          "and set ZEMTEST_LAUNCHER=127.0.0.1:<its port>";
  return nullptr;
}

// Under Wine the launcher's file system is drive Z:.
std::string LauncherPathHere(const std::string &path) {
  if (path.empty() || path[0] != '/') return path;
  std::string here = "Z:" + path;
  for (char &c : here) {
    if (c == '/') c = '\\';
  }
  return here;
}

}  // namespace zemtest
