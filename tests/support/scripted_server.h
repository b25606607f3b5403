// A loopback HTTP server that answers what the test tells it to and records
// every request exactly as it arrived (tests/servers/scripted_server.py).
//
//   zemtest::ScriptedServer server;
//   server.Answer("/a", zemtest::Reply::Ok("hello").Chunked().StallMidBody(200));
//   ... send a request to server.Url("/a") ...
//   auto got = server.Received();   // method, target, header lines, body, connection
#ifndef ZEM_TEST_SCRIPTED_SERVER_H
#define ZEM_TEST_SCRIPTED_SERVER_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zemtest {

class LaunchedServer;

// What happens to the connection once an answer has been sent (or cut short).
enum class ConnectionEnd {
  KeepOpen,  // the server waits for the next request on it
  Close,     // orderly close (FIN)
  Reset,     // close with SO_LINGER 0, so the client sees a reset
};

// One answer. The chainable setters return the object so that an answer can
// be written in one expression; the fields may be set directly as well.
struct Reply {
  int status = 200;
  std::string reason = "OK";
  std::string version = "HTTP/1.1";
  std::string status_line;           // when set, sent verbatim (malformed lines)
  std::vector<std::string> headers;  // "Name: value" lines, verbatim and in order
  std::string body;
  bool content_length = true;        // add "Content-Length" (unless chunked or already in headers)
  bool chunked = false;              // "Transfer-Encoding: chunked", body in chunks of chunk_size
  size_t chunk_size = 4096;
  std::vector<std::string> interim;  // 1xx answers sent first, e.g. "HTTP/1.1 100 Continue"
  int interim_every_ms = 0;          // pause after each interim answer
  size_t trickle_bytes = 0;          // > 0: sends go out this many bytes at a time ...
  int trickle_every_ms = 0;          // ... with this pause after each piece
  bool trickle_head = false;         // from the first byte; else from the body on
  bool final_answer = true;          // false: only the interim answers are sent
  int stall_before_headers_ms = 0;
  int stall_after_headers_ms = 0;
  int stall_mid_body_ms = 0;         // after half of the (encoded) body
  long cut_after_bytes = -1;         // >= 0: only that many bytes of the answer are sent
  int delay_end_ms = 0;              // wait before the end action
  bool before_body = false;          // send the head before reading the request's body
  ConnectionEnd end = ConnectionEnd::KeepOpen;
  std::string raw;                   // when set, sent instead of everything above

  static Reply Ok(std::string body = "", std::string content_type = "text/plain");
  static Reply Status(int status, std::string body = "");
  static Reply Redirect(int status, std::string location);
  // Exactly these bytes, then the end action (Close unless changed).
  static Reply Raw(std::string bytes);

  Reply &Header(std::string line);
  Reply &Body(std::string text);
  Reply &Chunked(size_t size = 4096);
  // No length at all: the body ends when the server closes the connection.
  Reply &CloseDelimited();
  Reply &Interim(std::string status_line);
  Reply &NoFinalAnswer();
  // `count` interim "100 Continue" answers, one every `every_ms`.
  Reply &InterimFlood(int count, int every_ms);
  // The body (with head: the whole answer) goes out `bytes` at a time, with
  // a pause of `every_ms` after each piece.
  Reply &Trickle(size_t bytes, int every_ms, bool head = false);
  Reply &StatusLine(std::string line);
  Reply &StallBeforeHeaders(int ms);
  Reply &StallAfterHeaders(int ms);
  Reply &StallMidBody(int ms);
  Reply &CutAfter(long bytes, ConnectionEnd how = ConnectionEnd::Close);
  Reply &Then(ConnectionEnd how, int delay_ms = 0);
  // The answer's head goes out as soon as the request's head is in; the
  // request's body is read (and recorded) next, then the answer's body.
  Reply &BeforeBody();

  // The steps the server runs, as control fields (kind, value).
  std::vector<std::pair<std::string, std::string>> Steps() const;
};

enum class AuthScheme { Basic, Digest };

struct ReceivedRequest {
  std::string method;
  std::string target;
  std::string version;
  std::vector<std::string> header_lines;  // exactly as received, without CRLF
  std::string body;                       // de-chunked when it came chunked
  bool chunked = false;
  int connection = 0;                     // 1 for the first TCP connection accepted, 2 ...
  int authorized = -1;                    // -1 no credentials asked, 0 refused, 1 accepted

  // The value of the first header of that name (any case), "" when absent.
  std::string Header(const std::string &name) const;
  size_t HeaderCount(const std::string &name) const;
};

class ScriptedServer {
 public:
  ScriptedServer();
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer &) = delete;
  ScriptedServer &operator=(const ScriptedServer &) = delete;

  bool ok() const { return port_ != 0; }
  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + path
  std::string Url(const std::string &path = "/") const;

  // The answer for every request to path (its whole target, its target
  // without the query, or "*" for any path), until replaced.
  void Answer(const std::string &path, const Reply &reply);
  // An answer used once, before the standing one; several are used in order.
  void Enqueue(const std::string &path, const Reply &reply);
  // Requests to path without valid credentials get a 401 challenge (a 407
  // with Proxy-Authenticate when proxy is set); the others their answer.
  void RequireCredentials(const std::string &path, AuthScheme scheme, const std::string &user,
                          const std::string &password, bool proxy = false, const std::string &realm = "zemtest");

  // Every new connection gets these bytes at once and is closed, without a
  // request being read (a server that is not what the client expects); ""
  // turns it off.
  void Greet(const std::string &bytes);

  std::vector<ReceivedRequest> Received() const;
  void ClearReceived();
  size_t RequestCount() const;
  int ConnectionCount() const;
  // Waits (bounded) until at least n requests were recorded.
  bool WaitForRequests(size_t n, int timeout_ms = 10000) const;

 private:
  using Fields = std::vector<std::pair<std::string, std::string>>;
  Fields Command(const Fields &fields) const;

  std::unique_ptr<LaunchedServer> server_;
  int port_ = 0;
  int control_port_ = 0;
};

}  // namespace zemtest

#endif
