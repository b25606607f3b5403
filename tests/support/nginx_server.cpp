#include "nginx_server.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "child_process.h"
#include "loopback_port.h"

namespace zemtest {

namespace {

// Extensions for the test CA and its three server certificates. EC keys keep
// the start-up quick; the CA is the only issuer, so a client that trusts it
// sees exactly one fault per certificate.
std::string OpensslConfig(const std::string &dir) {
  return "[ req ]\n"
         "distinguished_name = dn\n"
         "prompt = no\n"
         "[ dn ]\n"
         "CN = unused\n"
         "[ ca_ext ]\n"
         "basicConstraints = critical, CA:TRUE\n"
         "keyUsage = critical, keyCertSign, cRLSign\n"
         "subjectKeyIdentifier = hash\n"
         "[ local_ext ]\n"
         "basicConstraints = CA:FALSE\n"
         "keyUsage = critical, digitalSignature\n"
         "extendedKeyUsage = serverAuth\n"
         "subjectAltName = DNS:localhost, IP:127.0.0.1\n"
         "subjectKeyIdentifier = hash\n"
         "authorityKeyIdentifier = keyid\n"
         "[ other_host_ext ]\n"
         "basicConstraints = CA:FALSE\n"
         "keyUsage = critical, digitalSignature\n"
         "extendedKeyUsage = serverAuth\n"
         "subjectAltName = DNS:other-host.invalid\n"
         "subjectKeyIdentifier = hash\n"
         "authorityKeyIdentifier = keyid\n"
         "[ ca ]\n"
         "default_ca = test_ca\n"
         "[ test_ca ]\n"
         "database = " + dir + "/index.txt\n"
         "new_certs_dir = " + dir + "\n"
         "serial = " + dir + "/serial\n"
         "default_md = sha256\n"
         "policy = any_name\n"
         "unique_subject = no\n"
         "[ any_name ]\n"
         "commonName = supplied\n";
}

std::string ServerBlock(const std::string &dir, int port, const std::string &cert) {
  std::string listen = "    listen 127.0.0.1:" + std::to_string(port);
  std::string tls;
  if (!cert.empty()) {
    listen += " ssl";
    tls = "    ssl_certificate " + dir + "/tls/" + cert + ".crt;\n"
          "    ssl_certificate_key " + dir + "/tls/" + cert + ".key;\n";
  }
  return "  server {\n" + listen + ";\n" + tls +
         "    server_name localhost;\n"
         "    root " + dir + "/www;\n"
         "    location / {\n"
         "      dav_methods PUT DELETE;\n"
         "      create_full_put_path on;\n"
         "      dav_access user:rw group:r all:r;\n"
         "    }\n"
         "  }\n";
}

}  // namespace

bool NginxServer::Openssl(const std::vector<std::string> &args) const {
  std::vector<std::string> argv{"openssl"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, dir_.file("tls/openssl.log")) == 0;
}

bool NginxServer::MakeCertificates() {
  std::string tls = dir_.file("tls");
  std::string cnf = dir_.write("tls/openssl.cnf", OpensslConfig(tls));
  dir_.write("tls/index.txt", "");
  dir_.write("tls/serial", "1000\n");
  const std::vector<std::string> new_key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
  auto request = [&](const std::string &name, const std::string &subject, bool self_signed) {
    std::vector<std::string> args{"req", "-config", cnf, "-new"};
    args.insert(args.end(), new_key.begin(), new_key.end());
    args.insert(args.end(), {"-keyout", tls + "/" + name + ".key", "-subj", subject});
    if (self_signed)
      args.insert(args.end(), {"-x509", "-days", "3650", "-extensions", "ca_ext", "-out", tls + "/" + name + ".crt"});
    else
      args.insert(args.end(), {"-out", tls + "/" + name + ".csr"});
    return Openssl(args);
  };
  auto sign = [&](const std::string &name, const std::string &extensions, const std::string &start,
                  const std::string &end) {
    return Openssl({"ca", "-config", cnf, "-batch", "-notext", "-cert", tls + "/ca.crt", "-keyfile",
                    tls + "/ca.key", "-in", tls + "/" + name + ".csr", "-out", tls + "/" + name + ".crt",
                    "-extensions", extensions, "-startdate", start, "-enddate", end});
  };
  ca_file_ = tls + "/ca.crt";
  // Fixed dates far in the past and future: the valid certificates stay valid
  // on a machine whose clock is off, the expired one stays expired.
  return request("ca", "/CN=ZEMHTTP Test CA", true) && request("local", "/CN=localhost", false) &&
         request("other", "/CN=other-host.invalid", false) && request("expired", "/CN=localhost", false) &&
         sign("local", "local_ext", "20200101000000Z", "20991231000000Z") &&
         sign("other", "other_host_ext", "20200101000000Z", "20991231000000Z") &&
         sign("expired", "local_ext", "20200101000000Z", "20200201000000Z");
}

NginxServer::NginxServer() {
  if (!MakeCertificates()) {
    ADD_FAILURE() << "openssl could not make the test certificates:\n" << read_file(dir_.file("tls/openssl.log"));
    return;
  }
  std::vector<int> ports = FreeLoopbackPorts(4);
  const std::string &d = dir_.path();
  dir_.write("www/index.html", "<html><body>zemtest</body></html>\n");
  std::string conf = dir_.write(
      "nginx.conf",
      "master_process off;\n"
      "pid " + d + "/nginx.pid;\n"
      "error_log " + d + "/error.log info;\n"
      "events { worker_connections 512; }\n"
      "http {\n"
      "  access_log " + d + "/access.log;\n"
      "  client_body_temp_path " + d + "/body;\n"
      "  proxy_temp_path " + d + "/proxy;\n"
      "  fastcgi_temp_path " + d + "/fastcgi;\n"
      "  uwsgi_temp_path " + d + "/uwsgi;\n"
      "  scgi_temp_path " + d + "/scgi;\n"
      "  types { text/html html; text/plain txt; application/json json; }\n"
      "  default_type application/octet-stream;\n"
      "  sendfile on;\n"
      "  keepalive_timeout 60s;\n"
      // Benchmarks run thousands of requests on one connection.
      "  keepalive_requests 1000000;\n"
      "  client_max_body_size 0;\n" +
          ServerBlock(d, ports[0], "") + ServerBlock(d, ports[1], "local") + ServerBlock(d, ports[2], "other") +
          ServerBlock(d, ports[3], "expired") + "}\n");
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"nginx", "-p", d + "/", "-e", d + "/error.log", "-c", conf, "-g", "daemon off;"},
      d + "/nginx.out", false);
  for (int port : ports) {
    if (!WaitUntilListening(port, *process_)) {
      ADD_FAILURE() << "nginx did not start listening on 127.0.0.1:" << port << "\n"
                    << ErrorLog() << read_file(dir_.file("nginx.out"));
      return;
    }
  }
  http_port_ = ports[0];
  https_port_ = ports[1];
  wrong_host_port_ = ports[2];
  expired_port_ = ports[3];
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
  return dir_.write("www/" + relative, content);
}

std::string NginxServer::MakeFile(const std::string &relative, unsigned long long size) const {
  std::string path = dir_.write("www/" + relative, "");
  std::error_code ec;
  std::filesystem::resize_file(path, size, ec);
  if (ec) ADD_FAILURE() << "cannot make " << path << " of " << size << " bytes: " << ec.message();
  return path;
}

std::string NginxServer::ErrorLog() const { return read_file(dir_.file("error.log")); }

}  // namespace zemtest
