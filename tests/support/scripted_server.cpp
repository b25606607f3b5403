#include "scripted_server.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "launched_server.h"
#include "loopback_port.h"

namespace zemtest {

namespace {

const char *ReasonFor(int status) {
  switch (status) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 407: return "Proxy Authentication Required";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

bool HasHeader(const std::vector<std::string> &lines, const std::string &name) {
  for (const std::string &line : lines) {
    size_t colon = line.find(':');
    if (colon != std::string::npos && colon == name.size() && strncasecmp(line.c_str(), name.c_str(), colon) == 0)
      return true;
  }
  return false;
}

std::string ChunkedEncoding(const std::string &body, size_t chunk_size) {
  std::string out;
  if (chunk_size == 0) chunk_size = body.size();
  for (size_t pos = 0; pos < body.size(); pos += chunk_size) {
    std::string piece = body.substr(pos, chunk_size);
    std::ostringstream size;
    size << std::hex << piece.size();
    out += size.str() + "\r\n" + piece + "\r\n";
  }
  return out + "0\r\n\r\n";
}

// Keeps the first `limit` bytes that the steps send; later sends are dropped,
// pauses before the cut stay.
void CutSends(std::vector<std::pair<std::string, std::string>> &steps, long limit) {
  std::vector<std::pair<std::string, std::string>> kept;
  size_t left = static_cast<size_t>(limit);
  for (auto &step : steps) {
    bool send = step.first == "head" || step.first == "body";
    if (!send) {
      if (left > 0) kept.push_back(step);
      continue;
    }
    if (left == 0) break;
    if (step.second.size() > left) step.second.resize(left);
    left -= step.second.size();
    kept.push_back(step);
  }
  steps = std::move(kept);
}

}  // namespace

// ---- Reply ----

Reply Reply::Ok(std::string body, std::string content_type) {
  Reply r;
  r.headers.push_back("Content-Type: " + content_type);
  r.body = std::move(body);
  return r;
}

Reply Reply::Status(int status, std::string body) {
  Reply r;
  r.status = status;
  r.reason = ReasonFor(status);
  r.body = std::move(body);
  return r;
}

Reply Reply::Redirect(int status, std::string location) {
  Reply r = Status(status);
  r.headers.push_back("Location: " + location);
  return r;
}

Reply Reply::Raw(std::string bytes) {
  Reply r;
  r.raw = std::move(bytes);
  r.end = ConnectionEnd::Close;
  return r;
}

Reply &Reply::Header(std::string line) {
  headers.push_back(std::move(line));
  return *this;
}
Reply &Reply::Body(std::string text) {
  body = std::move(text);
  return *this;
}
Reply &Reply::Chunked(size_t size) {
  chunked = true;
  chunk_size = size;
  return *this;
}
Reply &Reply::CloseDelimited() {
  content_length = false;
  chunked = false;
  end = ConnectionEnd::Close;
  return *this;
}
Reply &Reply::Interim(std::string line) {
  interim.push_back(std::move(line));
  return *this;
}
Reply &Reply::NoFinalAnswer() {
  final_answer = false;
  return *this;
}
Reply &Reply::InterimFlood(int count, int every_ms) {
  for (int i = 0; i < count; ++i) interim.push_back("HTTP/1.1 100 Continue");
  interim_every_ms = every_ms;
  return *this;
}
Reply &Reply::Trickle(size_t bytes, int every_ms, bool head) {
  trickle_bytes = bytes;
  trickle_every_ms = every_ms;
  trickle_head = head;
  return *this;
}
Reply &Reply::StatusLine(std::string line) {
  status_line = std::move(line);
  return *this;
}
Reply &Reply::BeforeBody() {
  before_body = true;
  return *this;
}
Reply &Reply::StallBeforeHeaders(int ms) {
  stall_before_headers_ms = ms;
  return *this;
}
Reply &Reply::StallAfterHeaders(int ms) {
  stall_after_headers_ms = ms;
  return *this;
}
Reply &Reply::StallMidBody(int ms) {
  stall_mid_body_ms = ms;
  return *this;
}
Reply &Reply::CutAfter(long bytes, ConnectionEnd how) {
  cut_after_bytes = bytes;
  end = how;
  return *this;
}
Reply &Reply::Then(ConnectionEnd how, int delay_ms) {
  end = how;
  delay_end_ms = delay_ms;
  return *this;
}

std::vector<std::pair<std::string, std::string>> Reply::Steps() const {
  std::vector<std::pair<std::string, std::string>> steps;
  auto sleep = [&steps](int ms) {
    if (ms > 0) steps.emplace_back("sleep", std::to_string(ms));
  };
  auto pace = [&steps, this]() {
    if (trickle_bytes == 0) return;
    steps.emplace_back("pace", std::to_string(trickle_bytes) + " " + std::to_string(trickle_every_ms));
  };
  if (trickle_head) pace();
  if (!raw.empty()) {
    steps.emplace_back("head", raw);
  } else {
    sleep(stall_before_headers_ms);
    for (const std::string &line : interim) {
      steps.emplace_back("head", line + "\r\n\r\n");
      sleep(interim_every_ms);
    }
    if (final_answer) {
      std::string head = status_line.empty()
                             ? version + " " + std::to_string(status) + (reason.empty() ? "" : " " + reason)
                             : status_line;
      head += "\r\n";
      for (const std::string &line : headers) head += line + "\r\n";
      std::string encoded = body;
      if (chunked) {
        if (!HasHeader(headers, "Transfer-Encoding")) head += "Transfer-Encoding: chunked\r\n";
        encoded = ChunkedEncoding(body, chunk_size);
      } else if (content_length && !HasHeader(headers, "Content-Length")) {
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
      }
      steps.emplace_back("head", head + "\r\n");
      if (before_body) steps.emplace_back("early", "");
      sleep(stall_after_headers_ms);
      if (!trickle_head) pace();
      if (stall_mid_body_ms > 0 && encoded.size() > 1) {
        size_t half = encoded.size() / 2;
        steps.emplace_back("body", encoded.substr(0, half));
        sleep(stall_mid_body_ms);
        steps.emplace_back("body", encoded.substr(half));
      } else if (!encoded.empty()) {
        steps.emplace_back("body", encoded);
      }
    }
  }
  if (cut_after_bytes >= 0) CutSends(steps, cut_after_bytes);
  sleep(delay_end_ms);
  if (end == ConnectionEnd::Close) steps.emplace_back("close", "");
  if (end == ConnectionEnd::Reset) steps.emplace_back("reset", "");
  return steps;
}

// ---- ReceivedRequest ----

std::string ReceivedRequest::Header(const std::string &name) const {
  for (const std::string &line : header_lines) {
    if (!HasHeader({line}, name)) continue;
    size_t start = line.find_first_not_of(" \t", name.size() + 1);
    size_t stop = line.find_last_not_of(" \t");
    return start == std::string::npos ? "" : line.substr(start, stop - start + 1);
  }
  return "";
}

size_t ReceivedRequest::HeaderCount(const std::string &name) const {
  size_t n = 0;
  for (const std::string &line : header_lines) n += HasHeader({line}, name) ? 1 : 0;
  return n;
}

// ---- ScriptedServer ----

ScriptedServer::ScriptedServer() : server_(std::make_unique<LaunchedServer>(std::vector<std::string>{"scripted"})) {
  if (!server_->ok() || server_->Number("port") == 0 || server_->Number("control") == 0) {
    ADD_FAILURE() << "the scripted server did not start: " << server_->error();
    return;
  }
  port_ = server_->Number("port");
  control_port_ = server_->Number("control");
}

ScriptedServer::~ScriptedServer() = default;

std::string ScriptedServer::Url(const std::string &path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

ScriptedServer::Fields ScriptedServer::Command(const Fields &fields) const {
  Fields answer;
  LoopbackConnection connection(control_port_);
  if (control_port_ == 0 || !connection.ok()) {
    ADD_FAILURE() << "the scripted server's control port does not answer";
    return answer;
  }
  std::string out;
  for (const auto &f : fields) out += f.first + " " + std::to_string(f.second.size()) + "\n" + f.second + "\n";
  bool sent = connection.Send(out);
  connection.EndSending();
  std::string in;
  while (sent && connection.Receive(in)) {
  }
  for (size_t pos = 0; pos < in.size();) {
    size_t eol = in.find('\n', pos);
    size_t space = in.find(' ', pos);
    if (eol == std::string::npos || space == std::string::npos || space > eol) break;
    size_t len = std::stoul(in.substr(space + 1, eol - space - 1));
    if (eol + 1 + len > in.size()) break;
    answer.emplace_back(in.substr(pos, space - pos), in.substr(eol + 1, len));
    pos = eol + 1 + len + 1;
  }
  if (answer.empty() || answer.front().first == "error")
    ADD_FAILURE() << "the scripted server refused a command: "
                  << (answer.empty() ? std::string("no answer") : answer.front().second);
  return answer;
}

void ScriptedServer::Answer(const std::string &path, const Reply &reply) {
  Fields fields{{"cmd", "answer"}, {"path", path}};
  for (auto &step : reply.Steps()) fields.push_back(step);
  Command(fields);
}

void ScriptedServer::Enqueue(const std::string &path, const Reply &reply) {
  Fields fields{{"cmd", "enqueue"}, {"path", path}};
  for (auto &step : reply.Steps()) fields.push_back(step);
  Command(fields);
}

void ScriptedServer::RequireCredentials(const std::string &path, AuthScheme scheme, const std::string &user,
                                        const std::string &password, bool proxy, const std::string &realm) {
  Command({{"cmd", "auth"},
           {"path", path},
           {"scheme", scheme == AuthScheme::Digest ? "digest" : "basic"},
           {"user", user},
           {"password", password},
           {"realm", realm},
           {"proxy", proxy ? "1" : "0"}});
}

std::vector<ReceivedRequest> ScriptedServer::Received() const {
  std::vector<ReceivedRequest> requests;
  for (const auto &f : Command({{"cmd", "received"}})) {
    if (f.first == "request") requests.emplace_back();
    if (requests.empty()) continue;
    ReceivedRequest &r = requests.back();
    if (f.first == "method") r.method = f.second;
    if (f.first == "target") r.target = f.second;
    if (f.first == "version") r.version = f.second;
    if (f.first == "header") r.header_lines.push_back(f.second);
    if (f.first == "body") r.body = f.second;
    if (f.first == "chunked") r.chunked = f.second == "1";
    if (f.first == "connection") r.connection = std::stoi(f.second);
    if (f.first == "authorized") r.authorized = std::stoi(f.second);
  }
  return requests;
}

void ScriptedServer::Greet(const std::string &bytes) { Command({{"cmd", "greet"}, {"bytes", bytes}}); }

void ScriptedServer::ClearReceived() { Command({{"cmd", "clear"}}); }

size_t ScriptedServer::RequestCount() const {
  for (const auto &f : Command({{"cmd", "count"}}))
    if (f.first == "requests") return std::stoul(f.second);
  return 0;
}

int ScriptedServer::ConnectionCount() const {
  for (const auto &f : Command({{"cmd", "count"}}))
    if (f.first == "connections") return std::stoi(f.second);
  return 0;
}

bool ScriptedServer::WaitForRequests(size_t n, int timeout_ms) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (RequestCount() < n) {
    if (!ok() || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace zemtest
