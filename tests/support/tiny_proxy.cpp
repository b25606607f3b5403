#include "tiny_proxy.h"

#include <gtest/gtest.h>

#include "child_process.h"
#include "loopback_port.h"

namespace zemtest {

TinyProxy::TinyProxy(const std::string &user, const std::string &password) {
  int port = FreeLoopbackPorts(1)[0];
  const std::string &d = dir_.path();
  std::string conf = "Port " + std::to_string(port) + "\n" +
                     "Listen 127.0.0.1\n"
                     "Timeout 60\n"
                     "MaxClients 64\n"
                     "LogFile \"" + d + "/tinyproxy.log\"\n"
                     "LogLevel Info\n"
                     "PidFile \"" + d + "/tinyproxy.pid\"\n"
                     "Allow 127.0.0.1\n"
                     "ViaProxyName \"zemproxy\"\n";
  if (!user.empty()) conf += "BasicAuth " + user + " " + password + "\n";
  std::string conf_path = dir_.write("tinyproxy.conf", conf);
  process_ = std::make_unique<ChildProcess>(std::vector<std::string>{"tinyproxy", "-d", "-c", conf_path},
                                            d + "/tinyproxy.out", false);
  if (!WaitUntilListening(port, *process_)) {
    ADD_FAILURE() << "tinyproxy did not start listening on 127.0.0.1:" << port << "\n"
                  << read_file(dir_.file("tinyproxy.out")) << Log();
    return;
  }
  port_ = port;
}

TinyProxy::~TinyProxy() = default;

std::string TinyProxy::Address() const { return "127.0.0.1:" + std::to_string(port_); }

std::string TinyProxy::Log() const { return read_file(dir_.file("tinyproxy.log")); }

}  // namespace zemtest
