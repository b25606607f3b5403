// One sending of a request and the reception of its answer: the state that
// a caller waits on (final response head arrived, bytes available, done) and
// that the engine's driver (a waiting caller or the engine thread, see
// engine.h) advances from libcurl's callbacks. Redirections are
// followed here, step by step, so that the layer decides which answer is
// final and what each step puts on the wire.
#ifndef ZEM_WININET_TRANSFER_H
#define ZEM_WININET_TRANSFER_H

#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "body_queue.h"
#include "connection_pool.h"
#include "header_list.h"
#include "proxy_rules.h"
#include "response_head.h"
#include "status_reports.h"
#include "tls_policy.h"
#include "wininet.h"

namespace zem::wininet {

class Engine;

// Everything a sending needs, taken from the request handle and its parents
// when HttpSendRequestA is called.
struct SendSpec {
  bool secure = false;
  std::string host;                // as given to InternetConnectA
  INTERNET_PORT port = 0;          // never 0 here
  std::string object;              // as given to HttpOpenRequestA
  std::string method;
  bool http10 = false;
  HeaderList headers;              // the request's own list
  std::string user_agent;          // "" sends none
  // A body given whole: the caller's own bytes, which a synchronous send
  // borrows while HttpSendRequestA runs, or a view of `owned_body`.
  std::string_view body;
  std::shared_ptr<const std::string> owned_body;
  bool streamed = false;           // a body written piece by piece (HttpSendRequestExA)
  long long streamed_size = -1;    // its announced size; -1 when unknown (sent chunked)
  std::string user, password;      // server credentials
  std::string proxy_user, proxy_password;
  ProxyRules proxies;
  DWORD connect_timeout = 0, send_timeout = 0, receive_timeout = 0;  // ms; see IsUnlimitedTimeout
  DWORD flags = 0;                 // the request's INTERNET_FLAG_* values
  std::shared_ptr<ConnectionPool> pool;
  StatusTarget status;             // the request handle's callback
  bool async = false;              // a session opened with INTERNET_FLAG_ASYNC
};

// A time-out of 0 or (DWORD)-1 means waiting without a limit.
bool IsUnlimitedTimeout(DWORD ms);

// A transfer's state, beyond the stage (transfer.cpp, SetStage, holds the
// legal moves between stages):
// - done_ is true exactly in the stages kDone and kFailed; error_ and
//   error_detail_ are set then (error_ 0 for kDone).
// - head_, once set, is the final answer and never changes; the stage is
//   then kBody or later. Until then informational_, tentative_ and
//   proxy_head_ hold candidates, which only SettleHead turns into head_.
// - cancelled_ (the handle was closed) implies done_; released_ means the
//   engine has let go of the libcurl handle.
// - paused_ and upload_paused_ are set only by libcurl's callbacks and
//   cleared only by TakeResume; resume_requested_ is true while a Resume
//   command is on its way.
// - body_gone_ implies body_ is empty; body_copy_, when set, holds body_.
class Transfer : public std::enable_shared_from_this<Transfer> {
 public:
  using Clock = std::chrono::steady_clock;
  // Where one sending stands. A step (the first request, or one after a
  // redirection) starts at kResolving; kDone and kFailed are final.
  enum class Stage { kResolving, kConnecting, kSending, kAwaitingHead, kBody, kDone, kFailed };
  static const char *StageName(Stage stage);
  static bool IsLegalMove(Stage from, Stage to);
  static constexpr int kMaxRedirects = 20;
  // A response head larger than this, or with more lines, is refused as a
  // malformed answer instead of being held in memory.
  static constexpr DWORD kMaxHeadBytes = 256 * 1024;
  static constexpr size_t kMaxHeadLines = 1000;

  explicit Transfer(SendSpec setup);
  ~Transfer();
  Transfer(const Transfer &) = delete;
  Transfer &operator=(const Transfer &) = delete;

  // Builds the libcurl handle for the first step; 0 or an error.
  DWORD Prepare(std::string *detail);

  // ---- for callers, on any thread ----
  // Waits until the final answer's head has arrived (0) or the sending
  // failed (its error). A failure after the head is reported by the reads.
  DWORD WaitForResponse(std::string *detail);
  std::shared_ptr<const ResponseHead> Head() const;
  // The header fields the last step put on the wire, and its URL.
  std::vector<HeaderField> SentHeaders() const;
  std::string Url();
  // Bytes that can be read now without waiting; waits only while none are
  // queued and the body is not complete. 0 at the end of the body.
  DWORD Available(DWORD *bytes, std::string *detail);
  // Fills the buffer, waiting for bytes as needed, until it is full or the
  // body ends (without waiting: takes what is queued). Bytes read before a
  // failure are returned first; the failure comes with the next read. The
  // buffer is the caller's: a part of it that cannot be written gives
  // ERROR_NOACCESS and takes nothing from the body. Only what is filled is
  // ever touched.
  DWORD Read(char *buffer, DWORD size, DWORD *read, std::string *detail, bool wait);
  // HttpSendRequestA is about to return to its caller, who may then free
  // the body it lent: a body that may still be sent is copied, else
  // forgotten.
  void LetGoOfCallerBody();
  // A streamed body: Write queues a piece (waiting while the queue is full),
  // EndBody says no more follows.
  bool streamed() const { return spec_.streamed; }
  DWORD Write(const char *data, DWORD size, std::string *detail);
  DWORD EndBody();
  // The handle was closed: waiting callers get ERROR_INTERNET_OPERATION_CANCELLED
  // and the engine drops the transfer.
  void Cancel();
  bool cancelled() const;
  bool async() const { return spec_.async; }
  // The request handle, to name the transfer in the engine's trace.
  const void *handle() const { return spec_.status.handle; }

  // ---- for the engine's driver ----
  CURL *easy() const { return easy_; }
  // libcurl finished the current step with this result. Returns true when the
  // transfer was set up for another step (a redirection) to be run.
  bool OnFinished(CURLcode result);
  // When the transfer has waited too long for the server; max() for never.
  Clock::time_point Deadline() const;
  void MarkTimedOut() { timed_out_ = true; }
  // Whether a paused transfer should be resumed now (clears the pause).
  bool TakeResume();
  void ReleaseEasy();

 private:
  // The moments at which the final answer's head can be settled.
  enum class HeadMoment { kHeadEnded, kBodyArrives, kStepEnded, kStepFailed };
  class CallerWait;

  // transfer_setup.cpp: the URL, the wire headers and libcurl's options.
  DWORD SetFirstTarget(std::string *detail);
  DWORD FollowLocation(std::string *detail);
  void ReadTarget();
  const std::string &UrlText();
  std::vector<HeaderField> BuildWireHeaders() const;
  DWORD ConfigureEasy(std::string *detail);

  // transfer.cpp: libcurl's callbacks and the decisions they lead to.
  static size_t OnHeader(char *data, size_t size, size_t count, void *self);
  static size_t OnBody(char *data, size_t size, size_t count, void *self);
  static size_t OnUpload(char *data, size_t size, size_t count, void *self);
  static int OnSeek(void *self, curl_off_t offset, int origin);
  static int OnPrerequest(void *self, char *, char *, int, int);
  static curl_socket_t OnOpenSocket(void *self, curlsocktype purpose, struct curl_sockaddr *address);
  void Report(StatusReport report);
  void DeliverLocalReports(std::unique_lock<std::mutex> &lock);
  void EndOfHead();
  void SettleHead(HeadMoment moment, DWORD *error = nullptr);
  // The only way the stage changes (the transfer's lock held).
  void SetStage(Stage to);
  bool RequestStarted() const { return stage_ >= Stage::kSending; }
  // Ends the transfer with its error (0: the answer came) and wakes callers.
  void End(DWORD error, std::string detail);
  size_t RefuseHead(std::string why);
  void RequestSent();
  bool FollowsRedirect(const ResponseHead &head) const;
  void Publish(ResponseHead head);
  DWORD Failure(CURLcode result, std::string *detail);
  void MaybeResume(std::unique_lock<std::mutex> &lock);
  void Wait(std::unique_lock<std::mutex> &lock);

  const SendSpec spec_;
  Engine &engine_;

  // libcurl state and the step's state: set up by Prepare on the sending
  // thread, then used by the driver only (see engine.h).
  CURL *easy_ = nullptr;
  // The step's URL. Changed only under mutex_ (Prepare, a redirection), and
  // kept until the transfer goes: a caller asking for the URL text reads it
  // under mutex_, alongside libcurl, which only reads it.
  CURLU *url_ = nullptr;
  curl_slist *wire_list_ = nullptr;
  char error_buffer_[CURL_ERROR_SIZE] = {};
  TlsPolicy tls_;
  std::string request_target_;     // set only for the target "*"
  std::string method_;
  bool has_body_ = false;
  long long body_size_ = -1;       // -1: a streamed body of unknown size
  bool method_changed_ = false;
  std::string target_host_;        // as in the URL (IPv6 in brackets)
  std::string target_name_;        // the same without brackets
  std::string target_path_;
  INTERNET_PORT target_port_ = 0;
  bool target_secure_ = false;
  bool same_origin_ = true;        // credentials go only to the server asked
  bool server_auth_ = false;
  bool proxy_auth_ = false;
  std::string proxy_url_;
  int redirects_ = 0;
  DWORD redirect_status_ = 0;
  std::string redirect_to_;
  bool discard_body_ = false;
  bool timed_out_ = false;
  ResponseHead block_;
  bool in_block_ = false;
  std::optional<ResponseHead> informational_;  // last 1xx answer
  std::optional<ResponseHead> tentative_;      // a 401/407 libcurl may answer itself
  std::optional<ResponseHead> proxy_head_;     // a proxy's answer to CONNECT
  std::string peer_address_;       // of the connection this step opened, if any
  bool receiving_reported_ = false;
  DWORD head_bytes_ = 0;
  std::string head_fault_;         // why an answer's head was refused (the step then fails)

  // Shared with callers: under mutex_, whoever touches them.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Stage stage_ = Stage::kResolving;
  Clock::time_point last_activity_;
  Clock::time_point sent_at_;       // when the current step's request was all sent
  Clock::time_point wait_started_;  // when the current caller began to wait (callers set it)
  int waiting_ = 0;                 // callers in a call that may wait (callers count them)
  int waiters_ = 0;                 // callers blocked on changed_ now
  size_t upload_offset_ = 0;        // of a whole body: read by LetGoOfCallerBody
  std::shared_ptr<const ResponseHead> head_;
  std::vector<HeaderField> sent_headers_;
  std::string url_text_;           // url_ as text, made when first asked for (UrlText)
  BodyQueue queue_;
  bool paused_ = false;
  BodyQueue upload_queue_;         // a streamed body's pieces not yet taken by libcurl
  std::string_view body_;          // a body given whole (see SendSpec::body)
  std::shared_ptr<const std::string> body_copy_;
  bool body_gone_ = false;         // the caller took its body back before it was sent
  bool upload_ended_ = false;
  bool upload_paused_ = false;     // libcurl waits for the next piece
  bool resume_requested_ = false;
  bool done_ = false;
  bool cancelled_ = false;
  bool released_ = false;          // the engine has let go of the transfer
  DWORD error_ = 0;
  std::string error_detail_;
  // Reports of a synchronous sending, delivered on the caller's thread by
  // the next call that waits (the send, a read, a query, a write).
  std::deque<StatusReport> local_reports_;
  int delivering_ = 0;             // of those, how many callbacks run now
  bool completion_reported_ = false;
};

}  // namespace zem::wininet

#endif
