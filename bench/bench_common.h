// What the benchmarks share: a clock, and libcurl run alone as the yardstick.
#ifndef ZEM_BENCH_COMMON_H
#define ZEM_BENCH_COMMON_H

#include <curl/curl.h>

#include <chrono>
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

// libcurl alone: one handle, so that its connection is reused; bodies are
// counted, not kept.
struct CurlRun {
  CURL *curl = curl_easy_init();
  CurlRun() = default;
  CurlRun(const CurlRun &) = delete;
  CurlRun &operator=(const CurlRun &) = delete;
  ~CurlRun() { curl_easy_cleanup(curl); }

  size_t Get(const std::string &url) {
    size_t total = 0;
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    Common(url, &total);
    return curl_easy_perform(curl) == CURLE_OK ? total : 0;
  }

  // The status of a POST of `body`, 0 when it failed.
  long Post(const std::string &url, const std::string &body) {
    size_t total = 0;
    // No "Expect: 100-continue", and no stop at an early refusal: nginx
    // refuses a POST to a file before the body is in, and the library sends
    // the body whole, so libcurl must too.
    curl_slist *headers = curl_slist_append(nullptr, "Expect:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_KEEP_SENDING_ON_ERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    Common(url, &total);
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return status;
  }

 private:
  void Common(const std::string &url, size_t *total) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Discard);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, total);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // as the library sets it
  }
};

}  // namespace zembench

#endif  // ZEM_BENCH_COMMON_H
