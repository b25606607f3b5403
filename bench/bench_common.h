// What the benchmarks share: a clock, and libcurl run alone as the yardstick.
#ifndef ZEM_BENCH_COMMON_H
#define ZEM_BENCH_COMMON_H

#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zembench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

inline size_t Discard(char *, size_t size, size_t count, void *total) {
  *static_cast<size_t *>(total) += size * count;
  return size * count;
}

// A body kept in memory the way a libcurl user writes it: grown with realloc
// as the pieces arrive, released before the next transfer.
struct Kept {
  char *data = nullptr;
  size_t size = 0;
  ~Kept() { std::free(data); }
};

inline size_t Keep(char *piece, size_t size, size_t count, void *kept) {
  Kept &body = *static_cast<Kept *>(kept);
  const size_t n = size * count;
  char *grown = static_cast<char *>(std::realloc(body.data, body.size + n + 1));
  if (grown == nullptr) return 0;
  std::memcpy(grown + body.size, piece, n);
  body.data = grown;
  body.size += n;
  body.data[body.size] = '\0';
  return n;
}

// libcurl alone: one handle, so that its connection is reused; bodies are
// counted, not kept, or with `keep` kept in memory (Keep).
struct CurlRun {
  CURL *curl = curl_easy_init();
  bool keep = false;
  CurlRun() = default;
  explicit CurlRun(bool keep_bodies) : keep(keep_bodies) {}
  CurlRun(const CurlRun &) = delete;
  CurlRun &operator=(const CurlRun &) = delete;
  ~CurlRun() { curl_easy_cleanup(curl); }

  size_t Get(const std::string &url) {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    Common(url);
    return curl_easy_perform(curl) == CURLE_OK ? Received() : 0;
  }

  // The status of a POST of `body`, 0 when it failed.
  long Post(const std::string &url, const std::string &body) {
    // No "Expect: 100-continue", and no stop at an early refusal: nginx
    // refuses a POST to a file before the body is in, and the library sends
    // the body whole, so libcurl must too.
    curl_slist *headers = curl_slist_append(nullptr, "Expect:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_KEEP_SENDING_ON_ERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    Common(url);
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return status;
  }

 private:
  size_t total_ = 0;
  Kept kept_;

  size_t Received() const { return keep ? kept_.size : total_; }

  void Common(const std::string &url) {
    total_ = 0;
    std::free(kept_.data);
    kept_.data = nullptr;
    kept_.size = 0;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    if (keep) {
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Keep);
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &kept_);
    } else {
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Discard);
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &total_);
    }
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // as the library sets it
  }
};

}  // namespace zembench

#endif  // ZEM_BENCH_COMMON_H
