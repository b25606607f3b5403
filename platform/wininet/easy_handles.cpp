#include "easy_handles.h"

#include <mutex>
#include <vector>

#include "curl_text.h"

namespace zem::wininet {
namespace {

// About as many as requests run at once in one process.
constexpr size_t kKept = 16;

struct Kept {
  std::mutex mutex;
  std::vector<CURL *> handles;
};

Kept &TheKept() {
  static Kept *kept = new Kept();
  return *kept;
}

// libcurl before 8.1.1 keeps, across transfers of one handle, a pointer to
// the last response header it stored; a response whose first header line is
// folded (starts with a blank) then appends to freed memory. Handles of such
// a libcurl are not kept: a fresh one starts without that pointer.
bool KeepingIsSafe() {
  static const bool safe = CurlAtLeast(8, 1, 1);
  return safe;
}

}  // namespace

CURL *TakeEasyHandle() {
  {
    Kept &kept = TheKept();
    std::lock_guard<std::mutex> lock(kept.mutex);
    if (!kept.handles.empty()) {
      CURL *easy = kept.handles.back();
      kept.handles.pop_back();
      return easy;
    }
  }
  return curl_easy_init();
}

void GiveEasyHandle(CURL *easy) {
  if (easy == nullptr) return;
  if (!KeepingIsSafe()) {
    curl_easy_cleanup(easy);
    return;
  }
  // A handle tied to a session's pool would keep the pool from being freed;
  // a reset leaves that tie alone, so it is cut first.
  curl_easy_setopt(easy, CURLOPT_SHARE, nullptr);
  curl_easy_reset(easy);
  {
    Kept &kept = TheKept();
    std::lock_guard<std::mutex> lock(kept.mutex);
    if (kept.handles.size() < kKept) {
      kept.handles.push_back(easy);
      return;
    }
  }
  curl_easy_cleanup(easy);
}

}  // namespace zem::wininet
