#include "transfer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>

#include "arguments.h"
#include "cookie_jar.h"
#include "easy_handles.h"
#include "engine.h"
#include "engine_trace.h"
#include "error_map.h"
#include "failure.h"

namespace zem::wininet {
namespace {

// The transfers whose reports this thread is giving its callback now,
// innermost first: a callback may wait on its request again, and the
// reports that came meanwhile are given to it from inside.
struct Delivery {
  const Transfer *transfer;
  const Delivery *outer;
};
thread_local const Delivery *t_deliveries = nullptr;

int DeliveriesHere(const Transfer *transfer) {
  int count = 0;
  for (const Delivery *delivery = t_deliveries; delivery != nullptr; delivery = delivery->outer) {
    count += delivery->transfer == transfer ? 1 : 0;
  }
  return count;
}

}  // namespace

bool IsUnlimitedTimeout(DWORD ms) { return ms == 0 || ms == static_cast<DWORD>(-1); }

const char *Transfer::StageName(Stage stage) {
  switch (stage) {
    case Stage::kResolving: return "resolving";
    case Stage::kConnecting: return "connecting";
    case Stage::kSending: return "sending";
    case Stage::kAwaitingHead: return "awaiting the head";
    case Stage::kBody: return "body";
    case Stage::kDone: return "done";
    case Stage::kFailed: return "failed";
  }
  return "?";
}

// A step may open a new connection (a retry, a challenge answered on a fresh
// one) or send again (a rewind) until its final head is in; a redirection
// starts a new step; any stage but a final one may end.
bool Transfer::IsLegalMove(Stage from, Stage to) {
  if (from == Stage::kDone || from == Stage::kFailed) return false;
  switch (to) {
    case Stage::kResolving:
      return from != Stage::kBody;
    case Stage::kConnecting:
    case Stage::kSending:
    case Stage::kAwaitingHead:
    case Stage::kBody:
      return from < Stage::kBody;
    case Stage::kDone:
    case Stage::kFailed:
      return true;
  }
  return false;
}

void Transfer::SetStage(Stage to) {
  // A transfer that ended (its handle closed) may hear libcurl's callbacks
  // until the engine takes it out: they change nothing.
  if (to == stage_ || done_) return;
  assert(IsLegalMove(stage_, to));
  assert(!head_ || to >= Stage::kBody);  // a final head is never taken back
  ZEM_ENGINE_TRACE("%p stage %s -> %s", handle(), StageName(stage_), StageName(to));
  stage_ = to;
  done_ = to == Stage::kDone || to == Stage::kFailed;
}

void Transfer::End(DWORD error, std::string detail) {
  error_ = error;
  error_detail_ = std::move(detail);
  ZEM_ENGINE_TRACE("%p ends: %lu %s", handle(), static_cast<unsigned long>(error), error_detail_.c_str());
  SetStage(error == 0 ? Stage::kDone : Stage::kFailed);
  changed_.notify_all();
}

Transfer::Transfer(SendSpec setup)
    : spec_(std::move(setup)), engine_(Engine::Instance()), body_(spec_.body), body_copy_(spec_.owned_body) {}

void Transfer::LetGoOfCallerBody() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (body_copy_ || body_.empty()) return;
  // Once the answer's head is in, libcurl sends what is left of the body
  // but never starts it over.
  if (!done_ && !cancelled_ && upload_offset_ < body_.size()) {
    try {
      body_copy_ = std::make_shared<const std::string>(body_);
      body_ = *body_copy_;
      return;
    } catch (const std::bad_alloc &) {
      // Without memory for the rest the upload ends here (its read fails).
    }
  }
  body_ = {};
  body_gone_ = true;
}

Transfer::~Transfer() {
  // Only a transfer that never reached the engine still holds its handle.
  ReleaseEasy();
  curl_url_cleanup(url_);
}

void Transfer::ReleaseEasy() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
  }
  GiveEasyHandle(easy_);
  easy_ = nullptr;
  curl_slist_free_all(wire_list_);
  wire_list_ = nullptr;
}

// ---- callers ----

// One step of a caller's wait; the reports that came meanwhile reach the
// caller's callback on its own thread before it looks again.
void Transfer::Wait(std::unique_lock<std::mutex> &lock) {
  engine_.Progress(lock, changed_, waiters_, handle());
  DeliverLocalReports(lock);
}

// Marks a caller's call that may wait (the transfer's lock held throughout):
// its time-out counts from the call's start.
class Transfer::CallerWait {
 public:
  explicit CallerWait(Transfer &transfer) : transfer_(transfer) {
    if (transfer_.waiting_++ == 0) transfer_.wait_started_ = Clock::now();
  }
  ~CallerWait() { --transfer_.waiting_; }
  CallerWait(const CallerWait &) = delete;
  CallerWait &operator=(const CallerWait &) = delete;

 private:
  Transfer &transfer_;
};

void Transfer::DeliverLocalReports(std::unique_lock<std::mutex> &lock) {
  while (!local_reports_.empty()) {
    StatusReport report = std::move(local_reports_.front());
    local_reports_.pop_front();
    ++delivering_;
    const Delivery delivery{this, t_deliveries};
    t_deliveries = &delivery;
    lock.unlock();
    Deliver(report);
    lock.lock();
    t_deliveries = delivery.outer;
    --delivering_;
    changed_.notify_all();  // a close may wait for it
  }
}

DWORD Transfer::WaitForResponse(std::string *detail) {
  std::unique_lock<std::mutex> lock(mutex_);
  CallerWait waiting(*this);
  for (;;) {
    DeliverLocalReports(lock);
    if (head_ || done_) break;
    Wait(lock);
  }
  DeliverLocalReports(lock);
  if (head_) return 0;
  *detail = error_detail_;
  return error_;
}

std::shared_ptr<const ResponseHead> Transfer::Head() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return head_;
}

std::vector<HeaderField> Transfer::SentHeaders() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sent_headers_;
}

std::string Transfer::Url() {
  std::lock_guard<std::mutex> lock(mutex_);
  return UrlText();
}

void Transfer::MaybeResume(std::unique_lock<std::mutex> &lock) {
  const bool receive = paused_ && queue_.size() <= BodyQueue::kResumeMark;
  const bool send = upload_paused_ && (upload_queue_.size() > 0 || upload_ended_);
  if (!(receive || send) || resume_requested_ || cancelled_) return;
  resume_requested_ = true;
  lock.unlock();
  engine_.Resume(shared_from_this());
  lock.lock();
}

DWORD Transfer::Available(DWORD *bytes, std::string *detail) {
  *bytes = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  CallerWait waiting(*this);
  for (;;) {
    if (queue_.size() > 0) {
      *bytes = static_cast<DWORD>(std::min<size_t>(queue_.size(), UINT32_MAX));
      return 0;
    }
    if (done_) {
      *detail = error_detail_;
      return error_;
    }
    MaybeResume(lock);
    if (queue_.size() == 0 && !done_) Wait(lock);
  }
}

DWORD Transfer::Read(char *buffer, DWORD size, DWORD *read, std::string *detail, bool wait) {
  *read = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  CallerWait waiting(*this);
  for (;;) {
    const size_t next = std::min<size_t>(size - *read, queue_.size());
    char *const stretch = buffer + *read;
    size_t taken = 0;
    // A short stretch is checked as it is copied. A long one is vetted once,
    // at its ends, and copied plainly: a copy through the kernel costs several
    // times a plain one.
    bool filled = true;
    if (next > kWholeProbeLimit) {
      filled = IsWritable(stretch, next);
      if (filled) taken = queue_.Take(stretch, next);
    } else if (next > 0) {
      filled = queue_.Take(stretch, next, &CopyIntoCaller, &taken);
    }
    if (!filled) {
      *detail = "lpBuffer cannot be written over its given length.";
      return ERROR_NOACCESS;
    }
    // A closed handle ends the read, whatever it had taken: nobody reads on.
    if (cancelled_) {
      *detail = error_detail_;
      return error_;
    }
    *read += static_cast<DWORD>(taken);
    MaybeResume(lock);
    if (*read == size || (!wait && *read > 0)) return 0;
    if (queue_.size() > 0) continue;
    if (done_ || !wait) {
      if (!done_) return 0;
      if (*read > 0) return 0;
      *detail = error_detail_;
      return error_;
    }
    Wait(lock);
  }
}

DWORD Transfer::Write(const char *data, DWORD size, std::string *detail) {
  std::unique_lock<std::mutex> lock(mutex_);
  CallerWait waiting(*this);
  // In pieces, so that what is queued stays bounded however much is written.
  constexpr DWORD kPiece = 64 * 1024;
  DWORD written = 0;
  while (written < size) {
    if (upload_ended_) {
      *detail = "The body was already ended with HttpEndRequestA.";
      return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    }
    if (done_) {
      // The server answered, or the transfer failed, before the body was complete.
      *detail = error_detail_;
      return error_;
    }
    const DWORD piece = std::min(kPiece, size - written);
    if (!upload_queue_.HasRoomFor(piece)) {
      Wait(lock);
      continue;
    }
    upload_queue_.Push(data + written, piece);
    written += piece;
    MaybeResume(lock);
  }
  return 0;
}

DWORD Transfer::EndBody() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (upload_ended_) return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  upload_ended_ = true;
  MaybeResume(lock);
  return 0;
}

void Transfer::Cancel() {
  bool running;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    running = !released_;
    if (!done_) {
      End(ERROR_INTERNET_OPERATION_CANCELLED, "The request handle was closed while the request was in progress.");
    }
    cancelled_ = true;
    queue_.Clear();
    local_reports_.clear();
    changed_.notify_all();
    // A report being given to the callback on another thread (the one waiting
    // in a call on this request) is waited for: once the close returns, its
    // caller may free what the callback uses. This thread's own callback,
    // closing the request from inside, is not.
    changed_.wait(lock, [this] { return delivering_ == 0 || delivering_ <= DeliveriesHere(this); });
  }
  // A transfer the engine has let go of needs nothing more from it.
  if (running) engine_.Stop(shared_from_this());
}

bool Transfer::cancelled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cancelled_;
}

// ---- the engine's driver ----

void Transfer::Report(StatusReport report) {
  if (!spec_.status.enabled() || cancelled_) return;
  if (spec_.async) {
    CallbackThread::Instance().Post(std::move(report));
  } else {
    local_reports_.push_back(std::move(report));
    changed_.notify_all();
  }
}

Transfer::Clock::time_point Transfer::Deadline() const {
  std::lock_guard<std::mutex> lock(mutex_);
  // Waiting for the caller (to read, or to write the next piece) is no
  // fault of the server's.
  if (done_ || paused_ || upload_paused_ || !RequestStarted()) return Clock::time_point::max();
  // A synchronous request is only waited for while its caller waits, as a
  // read of the platform's library waits; a caller that paused between two
  // reads has its time-out counted from its new wait.
  if (!spec_.async && waiting_ == 0) return Clock::time_point::max();
  const DWORD limit = stage_ == Stage::kSending ? spec_.send_timeout : spec_.receive_timeout;
  if (IsUnlimitedTimeout(limit)) return Clock::time_point::max();
  // The final answer's head is due within the time-out of the request going
  // out, however many interim answers or header lines trickle in meanwhile.
  const bool awaiting_head = stage_ == Stage::kAwaitingHead && !tentative_ && redirect_to_.empty();
  const Clock::time_point last = awaiting_head ? sent_at_ : last_activity_;
  const Clock::time_point since = spec_.async ? last : std::max(last, wait_started_);
  return since + std::chrono::milliseconds(limit);
}

bool Transfer::TakeResume() {
  std::lock_guard<std::mutex> lock(mutex_);
  resume_requested_ = false;
  if ((!paused_ && !upload_paused_) || cancelled_) return false;
  paused_ = false;
  upload_paused_ = false;
  last_activity_ = Clock::now();
  return true;
}

size_t Transfer::OnHeader(char *data, size_t size, size_t count, void *self) {
  auto *transfer = static_cast<Transfer *>(self);
  const size_t length = size * count;
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  std::lock_guard<std::mutex> lock(transfer->mutex_);
  transfer->last_activity_ = Clock::now();
  if (transfer->head_ || transfer->cancelled_) return length;  // trailers after the final head
  if (!transfer->head_fault_.empty()) return 0;
  // A NUL cannot stand in a header field; a head holding one is malformed.
  if (line.find('\0') != std::string_view::npos) return transfer->RefuseHead("Nul byte in the response head");
  transfer->head_bytes_ += static_cast<DWORD>(std::min<size_t>(length, kMaxHeadBytes + 1));
  if (transfer->head_bytes_ > kMaxHeadBytes || transfer->block_.lines.size() >= kMaxHeadLines) {
    return transfer->RefuseHead("a response head over " + std::to_string(kMaxHeadBytes) + " bytes or " +
                                std::to_string(kMaxHeadLines) + " lines");
  }
  if (!transfer->in_block_) {
    if (line.empty()) return length;
    if (!transfer->receiving_reported_ && transfer->RequestStarted()) {
      transfer->receiving_reported_ = true;
      transfer->Report(PlainReport(transfer->spec_.status, INTERNET_STATUS_RECEIVING_RESPONSE));
    }
    transfer->head_bytes_ = 0;
    transfer->block_.SetStatusLine(line);
    transfer->in_block_ = true;
    // A new head after a 401 or 407 means libcurl answered the challenge.
    transfer->tentative_.reset();
  } else if (!line.empty()) {
    transfer->block_.AddLine(line);
  } else {
    transfer->in_block_ = false;
    if (transfer->RequestStarted() && transfer->block_.status >= 200) {
      std::string fault = transfer->block_.LengthFault();
      if (!fault.empty()) return transfer->RefuseHead(std::move(fault));
    }
    transfer->EndOfHead();
  }
  return length;
}

// Ends the step: libcurl fails it as a write error, reported with this reason.
size_t Transfer::RefuseHead(std::string why) {
  head_fault_ = std::move(why);
  return 0;
}

// The step's request is all on the wire. A final head that came before the
// body was all sent leaves the stage at kBody.
void Transfer::RequestSent() {
  if (stage_ == Stage::kBody) return;
  SetStage(Stage::kAwaitingHead);
  sent_at_ = Clock::now();
}

bool Transfer::FollowsRedirect(const ResponseHead &head) const {
  if (spec_.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) return false;
  switch (head.status) {
    case 301:
    case 302:
    case 303:
    case 307:
    case 308: {
      const HeaderField *location = head.fields.Find("Location");
      return location != nullptr && !location->value.empty();
    }
    default:
      return false;
  }
}

void Transfer::EndOfHead() {
  if (!RequestStarted()) {
    // Before the request went out only a proxy answers: its reply to CONNECT.
    proxy_head_ = block_;
    return;
  }
  if (!(spec_.flags & INTERNET_FLAG_NO_COOKIES)) {
    for (size_t i = 0; const HeaderField *cookie = block_.fields.Find("Set-Cookie", i); ++i) {
      CookieJar::Instance().Store(cookie->value, target_name_, target_path_);
    }
  }
  const DWORD status = block_.status;
  Report(status >= 100 && status < 200 ? NumberReport(spec_.status, INTERNET_STATUS_INTERMEDIATE_RESPONSE, status)
                                       : NumberReport(spec_.status, INTERNET_STATUS_RESPONSE_RECEIVED, head_bytes_));
  SettleHead(HeadMoment::kHeadEnded);
}

// The one place that decides which head is the final answer, at each moment
// that can settle it:
// - a head ended (block_): a 1xx is passed over (the last one kept), a
//   redirection that is followed is no answer, a 401/407 that libcurl may
//   answer itself with a new request is held; any other head is final;
// - body bytes arrive: a held 401/407 was the answer after all;
// - the step ended well without a final head: a held 401/407, else the last
//   1xx, is the answer;
// - the step failed without one: a 1xx that nothing followed is the answer
//   (unless the handle was closed or a head refused), and so is a proxy's
//   refusal of a tunnel (407 and the like); *error is then cleared.
void Transfer::SettleHead(HeadMoment moment, DWORD *error) {
  if (head_) return;
  switch (moment) {
    case HeadMoment::kHeadEnded: {
      const DWORD status = block_.status;
      if (status >= 100 && status < 200) {
        informational_ = block_;
      } else if (FollowsRedirect(block_)) {
        redirect_to_ = block_.fields.Find("Location")->value;
        redirect_status_ = status;
        discard_body_ = true;
      } else if ((status == 401 && server_auth_) || (status == 407 && proxy_auth_)) {
        tentative_ = block_;
      } else {
        Publish(std::move(block_));
      }
      return;
    }
    case HeadMoment::kBodyArrives:
      if (tentative_) Publish(std::move(*tentative_));
      return;
    case HeadMoment::kStepEnded:
      if (tentative_) {
        Publish(std::move(*tentative_));
      } else if (informational_) {
        Publish(std::move(*informational_));
      }
      return;
    case HeadMoment::kStepFailed:
      if (informational_ && *error != ERROR_INTERNET_OPERATION_CANCELLED && head_fault_.empty()) {
        Publish(std::move(*informational_));
        *error = 0;
      } else if (proxy_head_ && proxy_head_->status >= 300) {
        Publish(std::move(*proxy_head_));
        *error = 0;
      }
      return;
  }
}

void Transfer::Publish(ResponseHead head) {
  head_ = std::make_shared<const ResponseHead>(std::move(head));
  ZEM_ENGINE_TRACE("%p final head: %lu", handle(), static_cast<unsigned long>(head_->status));
  SetStage(Stage::kBody);
  tentative_.reset();
  informational_.reset();
  changed_.notify_all();
  if (spec_.async && !completion_reported_) {
    completion_reported_ = true;
    Report(ResultReport(spec_.status, INTERNET_STATUS_REQUEST_COMPLETE, TRUE, 0));
  }
}

size_t Transfer::OnBody(char *data, size_t size, size_t count, void *self) {
  auto *transfer = static_cast<Transfer *>(self);
  const size_t length = size * count;
  std::lock_guard<std::mutex> lock(transfer->mutex_);
  transfer->last_activity_ = Clock::now();
  if (transfer->cancelled_ || transfer->discard_body_) return length;
  transfer->SettleHead(HeadMoment::kBodyArrives);
  if (!transfer->queue_.HasRoomFor(length)) {
    transfer->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  transfer->queue_.Push(data, length);
  if (transfer->waiters_ > 0) transfer->changed_.notify_all();
  return length;
}

size_t Transfer::OnUpload(char *data, size_t size, size_t count, void *self) {
  auto *transfer = static_cast<Transfer *>(self);
  if (transfer->spec_.streamed) {
    std::lock_guard<std::mutex> lock(transfer->mutex_);
    if (transfer->cancelled_) return CURL_READFUNC_ABORT;
    const size_t n = transfer->upload_queue_.Take(data, size * count);
    if (n > 0) {
      transfer->upload_offset_ += n;
      transfer->last_activity_ = Clock::now();
      if (transfer->waiters_ > 0) transfer->changed_.notify_all();
      // With a known size libcurl asks for no more once it has it all.
      if (transfer->body_size_ >= 0 && transfer->upload_offset_ >= static_cast<size_t>(transfer->body_size_)) {
        transfer->RequestSent();
        transfer->Report(NumberReport(transfer->spec_.status, INTERNET_STATUS_REQUEST_SENT,
                                      static_cast<DWORD>(transfer->upload_offset_)));
      }
      return n;
    }
    if (!transfer->upload_ended_) {
      transfer->upload_paused_ = true;
      return CURL_READFUNC_PAUSE;
    }
    transfer->RequestSent();
    transfer->last_activity_ = Clock::now();
    transfer->Report(NumberReport(transfer->spec_.status, INTERNET_STATUS_REQUEST_SENT,
                                  static_cast<DWORD>(transfer->upload_offset_)));
    return 0;
  }
  std::lock_guard<std::mutex> lock(transfer->mutex_);
  if (transfer->body_gone_) return CURL_READFUNC_ABORT;
  const std::string_view body = transfer->body_;
  const size_t n = std::min(size * count, body.size() - transfer->upload_offset_);
  memcpy(data, body.data() + transfer->upload_offset_, n);
  transfer->upload_offset_ += n;
  transfer->last_activity_ = Clock::now();
  if (n > 0 && transfer->upload_offset_ == body.size()) {
    transfer->RequestSent();
    transfer->Report(NumberReport(transfer->spec_.status, INTERNET_STATUS_REQUEST_SENT, static_cast<DWORD>(body.size())));
  }
  return n;
}

int Transfer::OnSeek(void *self, curl_off_t offset, int origin) {
  auto *transfer = static_cast<Transfer *>(self);
  std::lock_guard<std::mutex> lock(transfer->mutex_);
  if (transfer->body_gone_ || origin != SEEK_SET || offset < 0 ||
      static_cast<size_t>(offset) > transfer->body_.size()) {
    return CURL_SEEKFUNC_FAIL;
  }
  // libcurl rewinds to send the body again, for instance to answer a challenge.
  transfer->upload_offset_ = static_cast<size_t>(offset);
  if (!transfer->head_) transfer->SetStage(Stage::kSending);
  return CURL_SEEKFUNC_OK;
}

int Transfer::OnPrerequest(void *self, char *, char *, int, int) {
  auto *transfer = static_cast<Transfer *>(self);
  std::lock_guard<std::mutex> lock(transfer->mutex_);
  const bool sending =
      transfer->has_body_ && (transfer->spec_.streamed || transfer->upload_offset_ < transfer->body_.size());
  if (sending) {
    transfer->SetStage(Stage::kSending);
  } else {
    transfer->RequestSent();
  }
  transfer->last_activity_ = Clock::now();
  transfer->receiving_reported_ = false;
  const StatusTarget &target = transfer->spec_.status;
  if (!transfer->peer_address_.empty()) {
    transfer->Report(TextReport(target, INTERNET_STATUS_CONNECTED_TO_SERVER, transfer->peer_address_));
    transfer->peer_address_.clear();
  }
  transfer->Report(PlainReport(target, INTERNET_STATUS_SENDING_REQUEST));
  if (transfer->stage_ == Stage::kAwaitingHead) transfer->Report(NumberReport(target, INTERNET_STATUS_REQUEST_SENT, 0));
  return CURL_PREREQFUNC_OK;
}

// Opens the socket of a new connection as libcurl would, to report that the
// name was resolved and which address is being connected to.
curl_socket_t Transfer::OnOpenSocket(void *self, curlsocktype, struct curl_sockaddr *address) {
  auto *transfer = static_cast<Transfer *>(self);
  const curl_socket_t fd = socket(address->family, address->socktype, address->protocol);
  if (fd == CURL_SOCKET_BAD) return fd;
  char text[INET6_ADDRSTRLEN] = "";
  if (address->family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(&address->addr)->sin_addr, text, sizeof text);
  } else if (address->family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(&address->addr)->sin6_addr, text, sizeof text);
  }
  std::lock_guard<std::mutex> lock(transfer->mutex_);
  const StatusTarget &target = transfer->spec_.status;
  transfer->SetStage(Stage::kConnecting);
  transfer->peer_address_ = text;
  transfer->Report(TextReport(target, INTERNET_STATUS_RESOLVING_NAME, transfer->target_name_));
  transfer->Report(TextReport(target, INTERNET_STATUS_NAME_RESOLVED, text));
  transfer->Report(TextReport(target, INTERNET_STATUS_CONNECTING_TO_SERVER, text));
  return fd;
}

bool Transfer::OnFinished(CURLcode result) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cancelled_ || done_) return false;
  std::string detail;
  DWORD error = 0;
  if (result == CURLE_OK && !redirect_to_.empty()) {
    if (++redirects_ > kMaxRedirects) {
      error = ERROR_HTTP_REDIRECT_FAILED;
      detail = std::string(MessageText(error)) + " (more than " + std::to_string(kMaxRedirects) + " redirections)";
    } else {
      error = FollowLocation(&detail);
      if (error == 0) error = ConfigureEasy(&detail);
      if (error == 0) return true;
    }
  } else if (result == CURLE_OK) {
    SettleHead(HeadMoment::kStepEnded);
    if (!head_) {
      error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
      detail = std::string(MessageText(error)) + " (the server's answer ended without a response head)";
    }
  } else if (!head_) {
    error = Failure(result, &detail);
    SettleHead(HeadMoment::kStepFailed, &error);
  } else {
    error = Failure(result, &detail);
  }
  End(error, detail);
  if (spec_.async && !completion_reported_) {
    completion_reported_ = true;
    Report(ResultReport(spec_.status, INTERNET_STATUS_REQUEST_COMPLETE, FALSE, error, detail));
  }
  return false;
}

DWORD Transfer::Failure(CURLcode result, std::string *detail) {
  if (!head_fault_.empty()) {
    *detail = std::string(MessageText(ERROR_HTTP_INVALID_SERVER_RESPONSE)) + " (" + head_fault_ + ")";
    return ERROR_HTTP_INVALID_SERVER_RESPONSE;
  }
  if (timed_out_) {
    const bool sending = stage_ == Stage::kSending;
    *detail = std::string(MessageText(ERROR_INTERNET_TIMEOUT)) + " (" +
              (sending ? "the server took none of the request for " : "no data came from the server for ") +
              std::to_string(sending ? spec_.send_timeout : spec_.receive_timeout) + " ms, " + target_host_ + ":" +
              std::to_string(target_port_) + ")";
    return ERROR_INTERNET_TIMEOUT;
  }
  // libcurl tells a malformed chunk size only in words, as a receive error;
  // and a header line longer than it holds (100 KiB) as a lack of memory.
  const bool in_head = RequestStarted() && !head_;
  if ((result == CURLE_RECV_ERROR && strstr(error_buffer_, "chunked-encoding") != nullptr) ||
      (result == CURLE_OUT_OF_MEMORY && in_head)) {
    const std::string why = result == CURLE_RECV_ERROR ? error_buffer_ : "a response header line over 100 KiB";
    *detail = std::string(MessageText(ERROR_HTTP_INVALID_SERVER_RESPONSE)) + " (" + why + ")";
    return ERROR_HTTP_INVALID_SERVER_RESPONSE;
  }
  CurlFailure failure;
  failure.code = result;
  curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &failure.os_error);
  failure.verify_result = tls_.chain_error;
  const DWORD error = MapCurlFailure(failure);
  std::string why = error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(result);
  if (!proxy_url_.empty()) why += ", through the proxy " + proxy_url_;
  *detail = std::string(MessageText(error)) + " (" + why + ")";
  return error;
}

}  // namespace zem::wininet
