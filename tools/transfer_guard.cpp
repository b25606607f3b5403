#include "transfer_guard.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "subcommands.h"

namespace zemtool {

namespace {

// After the handles are closed the run normally ends at once. Should a call
// of the library still not return, the tool ends itself this long after the
// deadline: the bound the user gave is kept whatever the server does.
constexpr auto kGrace = std::chrono::seconds(2);

}  // namespace

TransferGuard::TransferGuard(CZemHttp &http, const ToolOptions &options)
    : http_(http),
      max_time_s_(options.max_time_s),
      has_max_filesize_(options.has_max_filesize),
      max_filesize_(options.max_filesize) {
  if (max_time_s_ != 0) watchdog_ = std::thread(&TransferGuard::Watch, this);
}

TransferGuard::~TransferGuard() {
  Finish();
  if (watchdog_.joinable()) watchdog_.join();
}

void TransferGuard::Finish() {
  std::lock_guard<std::mutex> hold(lock_);
  finished_ = true;
  wake_.notify_all();
}

std::string TransferGuard::Reason() {
  std::lock_guard<std::mutex> hold(lock_);
  return reason_;
}

void TransferGuard::Watch() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(max_time_s_);
  std::unique_lock<std::mutex> hold(lock_);
  if (wake_.wait_until(hold, deadline, [this] { return finished_; })) return;
  hold.unlock();
  Stop("the transfer did not end within --max-time " + std::to_string(max_time_s_) + " s");
  hold.lock();
  if (wake_.wait_for(hold, kGrace, [this] { return finished_; })) return;
  std::fprintf(stderr, "zemhttp: %s\n", reason_.c_str());
  std::fflush(stderr);
  std::_Exit(kExitFailed);
}

void TransferGuard::Stop(const std::string &reason) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!reason_.empty() || finished_) return;
  reason_ = reason;
  CloseKnownHandles();
}

// The request first, then the session: closing the session also closes a
// request opened since it was noted. Handles are never reused, so closing
// one the client has since closed itself only fails.
void TransferGuard::CloseKnownHandles() {
  if (http_.m_WinInet_InternetCloseHandle == nullptr) return;
  for (HINTERNET *handle : {&request_, &session_}) {
    if (*handle != nullptr) http_.m_WinInet_InternetCloseHandle(*handle);
    *handle = nullptr;
  }
}

void TransferGuard::OnProgress() {
  std::lock_guard<std::mutex> hold(lock_);
  session_ = http_.hOpen;
  // A deadline that passed before the session existed takes effect now.
  if (!reason_.empty()) CloseKnownHandles();
}

void TransferGuard::OnStatusText(const char *text) {
  if (std::strcmp(text, "Setting Headers...") == 0) {
    std::lock_guard<std::mutex> hold(lock_);
    request_ = http_.hRequest;
    if (!reason_.empty()) CloseKnownHandles();
    return;
  }
  if (!has_max_filesize_) return;
  // The run announces the length it read from Content-Length (kept in
  // cbResponse) and each piece it reads.
  int piece = 0, available = 0;
  if (std::strncmp(text, "Response length ", 16) == 0 && http_.cbResponse > max_filesize_) {
    Stop("the body is larger than --max-filesize " + std::to_string(max_filesize_) + " bytes (announced " +
         std::to_string(http_.cbResponse) + ")");
  } else if (std::sscanf(text, "Downloaded %d of %d", &piece, &available) == 2 && piece > 0) {
    downloaded_ += static_cast<uint64_t>(piece);
    if (downloaded_ > max_filesize_)
      Stop("the body is larger than --max-filesize " + std::to_string(max_filesize_) + " bytes (" +
           std::to_string(downloaded_) + " arrived)");
  }
}

}  // namespace zemtool
