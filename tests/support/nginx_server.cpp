#include "nginx_server.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "launched_server.h"
#include "temp_dir.h"

namespace zemtest {

NginxServer::NginxServer() : server_(std::make_unique<LaunchedServer>(std::vector<std::string>{"nginx"})) {
  if (!server_->ok()) {
    ADD_FAILURE() << server_->error();
    return;
  }
  folder_ = server_->Path("folder");
  ca_file_ = server_->Path("ca");
  http_port_ = server_->Number("http");
  https_port_ = server_->Number("https");
  wrong_host_port_ = server_->Number("wrong_host");
  expired_port_ = server_->Number("expired");
  ok_ = true;
}

NginxServer::~NginxServer() = default;

std::string NginxServer::HttpUrl(const std::string &path) const {
  return "http://127.0.0.1:" + std::to_string(http_port_) + path;
}

std::string NginxServer::HttpsUrl(const std::string &path, int port) const {
  return "https://localhost:" + std::to_string(port ? port : https_port_) + path;
}

std::string NginxServer::WriteFile(const std::string &relative, const std::string &content) const {
  return write_file(root() + "/" + relative, content);
}

std::string NginxServer::MakeFile(const std::string &relative, unsigned long long size) const {
  std::string path = WriteFile(relative, "");
  std::error_code ec;
  std::filesystem::resize_file(path, size, ec);
  if (ec) ADD_FAILURE() << "cannot make " << path << " of " << size << " bytes: " << ec.message();
  return path;
}

std::string NginxServer::ErrorLog() const { return read_file(folder_ + "/error.log"); }

}  // namespace zemtest
