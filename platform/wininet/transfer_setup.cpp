// How a transfer's step is put to libcurl: its URL, exactly the header
// fields the request should carry (none of libcurl's own extras), the method
// and body framing, credentials, proxy, TLS checks and the connect time-out.
#include <climits>
#include <cstdlib>

#include "cookie_jar.h"
#include "curl_text.h"
#include "easy_handles.h"
#include "engine.h"
#include "failure.h"
#include "transfer.h"
#include "url_parts.h"

namespace zem::wininet {
namespace {

// The bytes that may not stand in a request target are escaped; '%' and the
// URL's delimiters stay, so escapes the caller already made survive.
std::string EscapeRequestTarget(std::string_view text) { return Escape(text, EscapeSet::kUnsafe); }

}  // namespace

DWORD Transfer::Prepare(std::string *detail) {
  std::lock_guard<std::mutex> lock(mutex_);
  EnsureCurlInitialized();
  url_ = curl_url();
  if (url_ == nullptr) {
    *detail = "No memory for a new transfer.";
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  method_ = spec_.method;
  if (spec_.streamed) {
    body_size_ = spec_.streamed_size;
    has_body_ = body_size_ != 0;
  } else {
    body_size_ = static_cast<long long>(body_.size());
    has_body_ = body_size_ > 0;
  }
  const DWORD error = SetFirstTarget(detail);
  return error != 0 ? error : ConfigureEasy(detail);
}

DWORD Transfer::SetFirstTarget(std::string *detail) {
  std::string host = spec_.host;
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  std::string object = EscapeRequestTarget(spec_.object.empty() ? "/" : spec_.object);
  if (object == "*") {
    request_target_ = "*";  // OPTIONS asked of the server itself, not of a resource
    object = "/";
  }
  object = object.substr(0, object.find('#'));  // a fragment is never sent
  const size_t question = object.find('?');
  std::string path = object.substr(0, question);
  if (path.empty() || path.front() != '/') path.insert(0, "/");

  if (curl_url_set(url_, CURLUPART_SCHEME, spec_.secure ? "https" : "http", 0) != CURLUE_OK ||
      curl_url_set(url_, CURLUPART_HOST, host.c_str(), 0) != CURLUE_OK ||
      curl_url_set(url_, CURLUPART_PORT, std::to_string(spec_.port).c_str(), 0) != CURLUE_OK ||
      curl_url_set(url_, CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK ||
      (question != std::string::npos &&
       curl_url_set(url_, CURLUPART_QUERY, object.substr(question + 1).c_str(), 0) != CURLUE_OK)) {
    *detail = std::string(MessageText(ERROR_INTERNET_INVALID_URL)) + " (server \"" + spec_.host + "\", object \"" +
              spec_.object + "\")";
    return ERROR_INTERNET_INVALID_URL;
  }
  ReadTarget();
  return 0;
}

void Transfer::ReadTarget() {
  target_secure_ = CurlUrlPart(url_, CURLUPART_SCHEME) == "https";
  target_host_ = CurlUrlPart(url_, CURLUPART_HOST);
  target_port_ = static_cast<INTERNET_PORT>(std::atoi(CurlUrlPart(url_, CURLUPART_PORT, CURLU_DEFAULT_PORT).c_str()));
  target_name_ = target_host_;
  if (target_name_.size() >= 2 && target_name_.front() == '[') target_name_ = target_name_.substr(1, target_name_.size() - 2);
  target_path_ = CurlUrlPart(url_, CURLUPART_PATH);
  // Most requests never ask for the whole URL, and libcurl builds it anew
  // for every question: it is asked for when needed.
  url_text_.clear();
}

const std::string &Transfer::UrlText() {
  if (url_text_.empty()) url_text_ = CurlUrlPart(url_, CURLUPART_URL);
  return url_text_;
}

DWORD Transfer::FollowLocation(std::string *detail) {
  const std::string origin_host = target_host_;
  const INTERNET_PORT origin_port = target_port_;
  const std::string location = EscapeRequestTarget(redirect_to_);
  // Resolved against the URL of the step that was redirected.
  if (curl_url_set(url_, CURLUPART_URL, location.c_str(), 0) != CURLUE_OK) {
    *detail = std::string(MessageText(ERROR_HTTP_REDIRECT_FAILED)) + " (the new location \"" + redirect_to_ +
              "\" is not a valid URL)";
    return ERROR_HTTP_REDIRECT_FAILED;
  }
  const std::string scheme = CurlUrlPart(url_, CURLUPART_SCHEME);
  if (scheme != "http" && scheme != "https") {
    *detail = std::string(MessageText(ERROR_HTTP_REDIRECT_FAILED)) + " (the new location \"" + redirect_to_ +
              "\" is not an HTTP URL)";
    return ERROR_HTTP_REDIRECT_FAILED;
  }
  ReadTarget();
  Report(TextReport(spec_.status, INTERNET_STATUS_REDIRECT, UrlText()));
  if (!EqualsNoCase(target_host_, origin_host) || target_port_ != origin_port) same_origin_ = false;
  // A 303 asks for the new location with GET; so do 301 and 302 after a POST,
  // as browsers and the platform's library have always done.
  if ((redirect_status_ == 303 && method_ != "HEAD") ||
      ((redirect_status_ == 301 || redirect_status_ == 302) && method_ == "POST")) {
    method_ = "GET";
    has_body_ = false;
    method_changed_ = true;
  }
  if (has_body_ && spec_.streamed) {
    *detail = std::string(MessageText(ERROR_HTTP_REDIRECT_FAILED)) + " (a body written piece by piece cannot be sent again to \"" + redirect_to_ + "\")";
    return ERROR_HTTP_REDIRECT_FAILED;
  }
  request_target_.clear();
  upload_offset_ = 0;
  return 0;
}

std::vector<HeaderField> Transfer::BuildWireHeaders() const {
  const std::string length = has_body_ ? std::to_string(body_size_) : "0";
  const bool known_length = !has_body_ || body_size_ >= 0;
  std::vector<HeaderField> wire;
  bool host = false, content_length = false, agent = false, cookie = false;
  for (const HeaderField &field : spec_.headers.fields()) {
    // The caller's Host and Content-Length replace the layer's own, once: a
    // second one would make the request ambiguous, and the length is always
    // the body's true one.
    if (EqualsNoCase(field.name, "Host")) {
      if (host || !same_origin_) continue;
      host = true;
    } else if (EqualsNoCase(field.name, "Content-Length")) {
      // A body of unknown size goes chunked, without a length.
      if (content_length || method_changed_ || !known_length) continue;
      content_length = true;
      wire.push_back({field.name, length});
      continue;
    } else if (EqualsNoCase(field.name, "User-Agent")) {
      agent = true;
    } else if (EqualsNoCase(field.name, "Cookie")) {
      cookie = true;
    }
    wire.push_back(field);
  }
  if (!host) {
    const bool default_port = target_port_ == (target_secure_ ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    wire.insert(wire.begin(), {"Host", default_port ? target_host_ : target_host_ + ":" + std::to_string(target_port_)});
  }
  if (!agent && !spec_.user_agent.empty()) wire.push_back({"User-Agent", spec_.user_agent});
  if (!cookie && !(spec_.flags & INTERNET_FLAG_NO_COOKIES)) {
    std::string cookies =
        CookieJar::Instance().HeaderFor(target_name_, target_path_, target_secure_, true);
    if (!cookies.empty()) wire.push_back({"Cookie", std::move(cookies)});
  }
  if (!content_length && known_length && (has_body_ || method_ == "POST" || method_ == "PUT")) {
    wire.push_back({"Content-Length", length});
  }
  return wire;
}

DWORD Transfer::ConfigureEasy(std::string *detail) {
  // Every step starts afresh: nothing of the step before decides this one.
  SetStage(Stage::kResolving);
  in_block_ = false;
  informational_.reset();
  tentative_.reset();
  proxy_head_.reset();
  discard_body_ = false;
  redirect_to_.clear();
  last_activity_ = Clock::now();
  error_buffer_[0] = '\0';

  // Each step gets a handle of its own: nothing set for the step before can
  // linger, and the connections it may reuse live in the session's pool.
  GiveEasyHandle(easy_);
  easy_ = TakeEasyHandle();
  if (easy_ == nullptr) {
    *detail = "No memory for a new transfer.";
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  CURL *easy = easy_;
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
  if (spec_.pool && spec_.pool->share() != nullptr) curl_easy_setopt(easy, CURLOPT_SHARE, spec_.pool->share());
  curl_easy_setopt(easy, CURLOPT_CURLU, url_);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  if (!request_target_.empty()) curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, request_target_.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, spec_.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error_buffer_);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 64L * 1024);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Transfer::OnPrerequest);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
  if (spec_.status.enabled()) {
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Transfer::OnOpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
  }
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   IsUnlimitedTimeout(spec_.connect_timeout) ? static_cast<long>(INT_MAX)
                                                             : static_cast<long>(spec_.connect_timeout));

  if (method_ == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else if (has_body_) {
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(body_size_));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Transfer::OnUpload);
    curl_easy_setopt(easy, CURLOPT_READDATA, this);
    if (!spec_.streamed) {
      curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &Transfer::OnSeek);
      curl_easy_setopt(easy, CURLOPT_SEEKDATA, this);
    }
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method_.c_str());
  } else {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    if (method_ != "GET") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method_.c_str());
  }

  // An empty proxy also keeps libcurl from reading proxies of its own.
  proxy_url_ = spec_.proxies.ProxyFor(target_secure_ ? "https" : "http", target_name_, target_port_);
  curl_easy_setopt(easy, CURLOPT_PROXY, proxy_url_.c_str());
  proxy_auth_ = !proxy_url_.empty() && (!spec_.proxy_user.empty() || !spec_.proxy_password.empty());
  if (proxy_auth_) {
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, spec_.proxy_user.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, spec_.proxy_password.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
  }
  server_auth_ = same_origin_ && !(spec_.flags & INTERNET_FLAG_NO_AUTH) &&
                 (!spec_.user.empty() || !spec_.password.empty());
  if (server_auth_) {
    curl_easy_setopt(easy, CURLOPT_USERNAME, spec_.user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, spec_.password.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
  }

  if (target_secure_) {
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, (spec_.flags & INTERNET_FLAG_IGNORE_CERT_CN_INVALID) ? 0L : 2L);
    // Each connection builds its own trust store: the environment's extra
    // authorities are read when it is made, and a cached store is not
    // shared with requests that judge certificates differently.
    curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 0L);
    tls_.forgive_dates = (spec_.flags & INTERNET_FLAG_IGNORE_CERT_DATE_INVALID) != 0;
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &ApplyTlsPolicy);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &tls_);
    if (tls_.forgive_dates) {
      // libcurl does not tell connections and TLS sessions apart by this
      // leniency: one made with it must never serve a strict request.
      curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
      curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
      curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    }
  }

  std::vector<HeaderField> wire = BuildWireHeaders();
  std::vector<std::string> lines;
  bool accept = false, expect = false;
  for (const HeaderField &field : wire) {
    accept = accept || EqualsNoCase(field.name, "Accept");
    expect = expect || EqualsNoCase(field.name, "Expect");
    // libcurl reads "Name:" as "remove Name"; "Name;" sends it empty.
    lines.push_back(field.value.empty() ? field.name + ";" : field.name + ": " + field.value);
  }
  // Switch off what libcurl would add of its own accord.
  if (!accept) lines.emplace_back("Accept:");
  if (!expect) lines.emplace_back("Expect:");
  curl_slist_free_all(wire_list_);
  wire_list_ = nullptr;
  for (const std::string &line : lines) {
    curl_slist *longer = curl_slist_append(wire_list_, line.c_str());
    if (longer == nullptr) {
      *detail = "No memory for the request's header lines.";
      return ERROR_NOT_ENOUGH_MEMORY;
    }
    wire_list_ = longer;
  }
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, wire_list_);
  sent_headers_ = std::move(wire);
  return 0;
}

}  // namespace zem::wininet
