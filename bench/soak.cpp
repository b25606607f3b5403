// Soak: many threads run many requests with a mix of faults through the
// client object, the internet library and the upload engine, against the
// scripted server and nginx on 127.0.0.1. Before and after (once a settle
// period let the library's threads and connections go) it prints the open
// file descriptors, the threads and the resident memory, and it exits with 1
// when descriptors or threads grew: what a run leaves behind is a leak.
//
//   soak [threads] [requests per thread] [seconds at most]
//
// Each request kind runs in turn on every thread:
//   ok        a normal answer through a client object
//   reset     the connection reset in the middle of the body
//   cut       the body cut short by an orderly close
//   garbage   a head that is no HTTP
//   silence   no answer at all, against a client with a short time-out
//   cancel    a request whose handle another thread closes while it waits
//   nginx     a file from nginx through a client object
//   upload    a synchronous upload task, to the scripted server or to nginx
// Upload tasks share one process-wide list without a lock, and a new task is
// refused while another is neither run asynchronously nor released, so the
// tasks of all threads run one at a time.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZemHttp.h"
#include "ZemUpload.h"
#include "loopback_servers.h"
#include "wininet.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kPlainHttpFlags = 0x04C03000 & ~static_cast<DWORD>(INTERNET_FLAG_SECURE);
constexpr int kSilenceMs = 1500;     // how long the server keeps quiet
constexpr DWORD kShortWaitMs = 250;  // the time-out of the client that meets the silence
constexpr int kSettleSeconds = 10;   // for the library's threads and connections to go

struct Resources {
  long fds = 0;
  long threads = 0;
  long rss_kib = 0;
};

// The open descriptors and what each is ("socket:[123]", a path).
std::vector<std::string> Descriptors() {
  std::vector<std::string> found;
  DIR *dir = opendir("/proc/self/fd");
  if (dir == nullptr) return found;
  const int own = dirfd(dir);
  while (dirent *entry = readdir(dir)) {
    if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
    char target[512] = {};
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    found.push_back(std::string(entry->d_name) + " -> " + (n > 0 ? target : "?"));
  }
  closedir(dir);
  return found;
}

long OpenDescriptors() { return static_cast<long>(Descriptors().size()); }

Resources Measure() {
  Resources r;
  r.fds = OpenDescriptors();
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Threads:", 0) == 0) r.threads = std::atol(line.c_str() + 8);
    if (line.rfind("VmRSS:", 0) == 0) r.rss_kib = std::atol(line.c_str() + 6);
  }
  return r;
}

void Print(const char *when, const Resources &r) {
  std::printf("%-7s open descriptors %ld, threads %ld, resident %ld KiB\n", when, r.fds, r.threads, r.rss_kib);
}

enum Kind { kOk, kReset, kCut, kGarbage, kSilence, kCancel, kNginx, kUpload, kKinds };
const char *const kKindNames[kKinds] = {"ok", "reset", "cut", "garbage", "silence", "cancel", "nginx", "upload"};

struct Tally {
  std::atomic<long> succeeded[kKinds] = {};
  std::atomic<long> failed[kKinds] = {};
  void Count(Kind kind, bool ok) { (ok ? succeeded : failed)[kind]++; }
};

class Soak {
 public:
  Soak(const zemtest::ScriptedServer &scripted, const zemtest::NginxServer &nginx, Clock::time_point deadline)
      : scripted_(scripted), nginx_(nginx), deadline_(deadline) {}

  void Thread(int index, int requests) {
    std::unique_ptr<CZemHttp> http, quick;
    HINTERNET session = InternetOpenA("soak", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    for (int i = 0; i < requests && Clock::now() < deadline_; ++i) {
      // Client objects are made anew now and then, so their whole life
      // (binding, session, release) is soaked too.
      if (i % 50 == 0) {
        http = NewClient(5000);
        quick = NewClient(kShortWaitMs);
      }
      const Kind kind = static_cast<Kind>((i + index) % kKinds);
      tally_.Count(kind, Run(kind, i, *http, *quick, session));
    }
    if (session != nullptr) InternetCloseHandle(session);
  }

  bool stopped_by_time() const { return Clock::now() >= deadline_; }

  void Report() const {
    for (int k = 0; k < kKinds; ++k) {
      std::printf("  %-8s %6ld answered, %6ld failed\n", kKindNames[k], tally_.succeeded[k].load(),
                  tally_.failed[k].load());
    }
  }

 private:
  static std::unique_ptr<CZemHttp> NewClient(DWORD receive_timeout_ms) {
    auto http = std::make_unique<CZemHttp>();
    http->SetHttpStr("1", 5);  // direct: no proxy from the environment
    http->SetHttpDWS(receive_timeout_ms, 7);
    http->SetMaxRetries(1);
    return http;
  }

  bool Run(Kind kind, int i, CZemHttp &http, CZemHttp &quick, HINTERNET session) {
    switch (kind) {
      case kOk:
        return http.Get(scripted_.Url("/ok").c_str(), nullptr) == 1;
      case kReset:
        return http.Get(scripted_.Url("/reset").c_str(), nullptr) == 1;
      case kCut:
        return http.Get(scripted_.Url("/cut").c_str(), nullptr) == 1;
      case kGarbage:
        return http.Get(scripted_.Url("/garbage").c_str(), nullptr) == 1;
      case kSilence:
        return quick.Get(scripted_.Url("/silence").c_str(), nullptr) == 1;
      case kCancel:
        return Cancelled(session);
      case kNginx:
        return http.Get(nginx_.HttpUrl("/soak.txt").c_str(), nullptr) == 1;
      case kUpload:
        return i % 2 ? Upload(scripted_.port(), "/ok", "POST") : Upload(nginx_.http_port(), "/soak.txt", "GET");
      case kKinds:
        break;
    }
    return false;
  }

  // A request to the silent path, its handle closed by another thread while
  // the send waits for the head.
  bool Cancelled(HINTERNET session) {
    if (session == nullptr) return false;
    HINTERNET connection = InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(scripted_.port()),
                                            nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (connection == nullptr) return false;
    HINTERNET request = HttpOpenRequestA(connection, "GET", "/silence", nullptr, nullptr, nullptr,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    bool cancelled = false;
    if (request != nullptr) {
      std::thread closer([request] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        InternetCloseHandle(request);
      });
      cancelled = !HttpSendRequestA(request, nullptr, 0, nullptr, 0);
      closer.join();
    }
    InternetCloseHandle(connection);
    return cancelled;
  }

  bool Upload(int port, const char *object, const char *verb) {
    std::lock_guard<std::mutex> one_task_at_a_time(upload_mutex_);
    constexpr int kDocument = 1;
    std::string data = "name=Ann&id=42";
    void *pv = &data[0];
    void *answer = nullptr;
    if (ScraAddNewDoc(&pv, &answer, static_cast<DWORD>(data.size()), 0, kDocument, 0) != 1) return false;
    ScSetConnStrings(kDocument, SC_STR_HOST_NAME, "127.0.0.1");
    ScSetConnStrings(kDocument, SC_STR_APP_NAME, object);
    ScSetConnStrings(kDocument, SC_STR_VERB, verb);
    ScSetConnStrings(kDocument, SC_STR_ACCESS_CHAR, "1");
    ScSetConnDWord(kDocument, SC_DW_PORT, static_cast<DWORD>(port));
    ScSetConnDWord(kDocument, SC_DW_HTTP_FLAGS, kPlainHttpFlags);
    ScraRunCompany(kDocument);
    const REQUEST_CONTEXT *ctx = ScQueryRqCtxPtr(kDocument);
    const bool answered = ctx != nullptr && ctx->dwStatusCode == 200;
    ScraCloseTask(kDocument);
    return answered;
  }

  const zemtest::ScriptedServer &scripted_;
  const zemtest::NginxServer &nginx_;
  const Clock::time_point deadline_;
  std::mutex upload_mutex_;
  Tally tally_;
};

int ArgOr(int argc, char **argv, int index, int fallback) {
  return argc > index ? std::max(1, std::atoi(argv[index])) : fallback;
}

}  // namespace

int main(int argc, char **argv) {
  const int threads = ArgOr(argc, argv, 1, 4);
  const int requests = ArgOr(argc, argv, 2, 200);
  const int seconds = ArgOr(argc, argv, 3, 300);

  zemtest::ScriptedServer scripted;
  zemtest::NginxServer nginx;
  if (!scripted.ok() || !nginx.ok()) {
    std::fprintf(stderr, "soak: the loopback servers did not start\n");
    return 2;
  }
  const std::string body(4096, 'b');
  scripted.Answer("/ok", zemtest::Reply::Ok("hello"));
  scripted.Answer("/reset", zemtest::Reply::Ok(body).CutAfter(1024, zemtest::ConnectionEnd::Reset));
  scripted.Answer("/cut", zemtest::Reply::Ok(body).CutAfter(1024, zemtest::ConnectionEnd::Close));
  scripted.Answer("/garbage", zemtest::Reply::Raw("this is no answer\r\n\r\n"));
  scripted.Answer("/silence", zemtest::Reply::Ok("late").StallBeforeHeaders(kSilenceMs).Then(zemtest::ConnectionEnd::Close));
  nginx.WriteFile("soak.txt", body);

  std::printf("soak: %d threads x %d requests, at most %d s\n", threads, requests, seconds);
  // One request of each kind first: what the libraries set up once per
  // process (the engine's wake-up channel, TLS and name-service state) is
  // not a leak of the run.
  {
    Soak warm_up(scripted, nginx, Clock::now() + std::chrono::seconds(seconds));
    warm_up.Thread(0, kKinds);
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::vector<std::string> descriptors_before = Descriptors();
  const Resources before = Measure();
  Print("before", before);

  Soak soak(scripted, nginx, Clock::now() + std::chrono::seconds(seconds));
  const Clock::time_point start = Clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) workers.emplace_back([&soak, t, requests] { soak.Thread(t, requests); });
  for (auto &w : workers) w.join();
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("ran %.1f s%s\n", took, soak.stopped_by_time() ? " (stopped by the time limit)" : "");
  soak.Report();
  Print("end", Measure());

  // The library ends its threads and connections when the last session goes;
  // give that a moment before judging.
  Resources after = Measure();
  for (int waited = 0; waited < kSettleSeconds * 10 && (after.fds > before.fds || after.threads > before.threads);
       ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    after = Measure();
  }
  Print("after", after);
  const bool grew = after.fds > before.fds || after.threads > before.threads;
  if (grew) {
    std::printf("soak: FAILED, descriptors or threads grew; descriptors now open that were not before:\n");
    for (const std::string &d : Descriptors()) {
      if (std::find(descriptors_before.begin(), descriptors_before.end(), d) == descriptors_before.end())
        std::printf("  %s\n", d.c_str());
    }
  }
  else std::printf("soak: no descriptor or thread left behind\n");
  return grew ? 1 : 0;
}
