#include "launched_server.h"

#include <chrono>
#include <cstdlib>

#include "loopback_port.h"

namespace zemtest {

namespace {

// Starting nginx makes a CA and three certificates first.
constexpr int kStartMs = 30000;

class LauncherConnection : public LauncherChannel {
 public:
  LauncherConnection(int port, const std::string &request) : connection_(port, kStartMs / 1000) {
    sent_ = connection_.Send(request + "\n");
  }
  bool ok() const { return connection_.ok() && sent_; }
  std::string ReadLine(int) override {
    size_t eol;
    while ((eol = pending_.find('\n')) == std::string::npos) {
      if (!connection_.Receive(pending_)) return "";
    }
    std::string line = pending_.substr(0, eol);
    pending_.erase(0, eol + 1);
    return line;
  }

 private:
  LoopbackConnection connection_;
  bool sent_ = false;
  std::string pending_;
};

}  // namespace

LaunchedServer::LaunchedServer(const std::vector<std::string> &request) {
  std::string words;
  for (const std::string &word : request) words += (words.empty() ? "" : " ") + word;
  if (const char *launcher = getenv("ZEMTEST_LAUNCHER")) {
    std::string address = launcher;
    size_t colon = address.rfind(':');
    auto connection = std::make_unique<LauncherConnection>(
        colon == std::string::npos ? 0 : atoi(address.c_str() + colon + 1), words);
    if (connection->ok())
      channel_ = std::move(connection);
    else
      error_ = "the launcher at ZEMTEST_LAUNCHER=" + address + " does not answer";
  } else {
    channel_ = StartLocally(request, error_);
  }
  if (!channel_) {
    if (error_.empty()) error_ = "could not start " + words;
    return;
  }
  for (;;) {
    std::string line = channel_->ReadLine(kStartMs);
    if (line == "ready") return;
    size_t space = line.find(' ');
    if (line.empty() || line.compare(0, space, "error") == 0) {
      error_ = words + ": " + (line.empty() ? std::string("no answer from the launcher") : line);
      channel_.reset();
      return;
    }
    answer_[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
  }
}

LaunchedServer::~LaunchedServer() = default;

int LaunchedServer::Number(const std::string &name) const { return atoi(Text(name).c_str()); }

std::string LaunchedServer::Text(const std::string &name) const {
  auto found = answer_.find(name);
  return found == answer_.end() ? "" : found->second;
}

std::string LaunchedServer::Path(const std::string &name) const { return LauncherPathHere(Text(name)); }

}  // namespace zemtest
