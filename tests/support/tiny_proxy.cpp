#include "tiny_proxy.h"

#include <gtest/gtest.h>

#include <vector>

#include "launched_server.h"
#include "temp_dir.h"

namespace zemtest {

TinyProxy::TinyProxy(const std::string &user, const std::string &password) {
  std::vector<std::string> request{"tinyproxy"};
  if (!user.empty()) request.insert(request.end(), {user, password});
  server_ = std::make_unique<LaunchedServer>(request);
  if (!server_->ok()) {
    ADD_FAILURE() << server_->error();
    return;
  }
  port_ = server_->Number("port");
}

TinyProxy::~TinyProxy() = default;

std::string TinyProxy::Address() const { return "127.0.0.1:" + std::to_string(port_); }

std::string TinyProxy::Log() const { return ok() ? read_file(server_->Path("folder") + "/tinyproxy.log") : ""; }

}  // namespace zemtest
