// The internet library beside libcurl itself, in one run on loopback against
// nginx: a 256 MiB download read in a stream, and 2000 small GETs on one
// connection. Prints times, rates, their ratios and the memory the library
// held during the large download.
//
//   wininet_bench [megabytes] [requests] [libcurl|library]
//
// Naming one side runs that side alone, for a profiler.
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_common.h"
#include "loopback_servers.h"
#include "wininet.h"

namespace {

using namespace zembench;

// Bytes the process's heap holds now (small blocks and mapped large ones).
size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// The library: a session and a connection handle kept, a request per GET,
// read the way its callers read (what is available, then exactly that).
struct LayerRun {
  HINTERNET session = InternetOpenA("wininet_bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection;
  std::string buffer = std::string(256 * 1024, '\0');
  size_t peak_heap = 0;
  explicit LayerRun(int port)
      : connection(InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                    INTERNET_SERVICE_HTTP, 0, 0)) {}
  ~LayerRun() { InternetCloseHandle(session); }
  size_t Get(const char *object, bool watch_heap = false) {
    const size_t base = watch_heap ? HeapInUse() : 0;
    HINTERNET request = HttpOpenRequestA(connection, "GET", object, nullptr, nullptr, nullptr, 0, 0);
    size_t total = 0;
    if (HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
      DWORD read = 0;
      while (InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read) && read > 0) {
        total += read;
        if (watch_heap && (total & ((8u << 20) - 1)) < read) {
          const size_t now = HeapInUse();
          peak_heap = std::max(peak_heap, now > base ? now - base : 0);
        }
      }
    }
    InternetCloseHandle(request);
    return total;
  }
};

}  // namespace

int main(int argc, char **argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const int requests = argc > 2 ? std::atoi(argv[2]) : 2000;
  const std::string only = argc > 3 ? argv[3] : "";
  zemtest::NginxServer nginx;
  if (!nginx.ok()) {
    std::fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  nginx.WriteFile("large.bin", std::string(megabytes << 20, 'L'));
  nginx.WriteFile("small.txt", std::string(1024, 's'));
  const std::string large = nginx.HttpUrl("/large.bin"), small = nginx.HttpUrl("/small.txt");

  // Each side runs three times, alternately, and keeps its best time: the
  // machine may be busy with other work.
  double curl_large = 1e9, layer_large = 1e9, curl_small = 1e9, layer_small = 1e9;
  size_t peak = 0;
  bool sizes_ok = true;
  for (int round = 0; round < 3; ++round) {
    if (only != "library") {
      CurlRun curl;
      Clock::time_point start = Clock::now();
      sizes_ok &= curl.Get(large) == megabytes << 20;
      curl_large = std::min(curl_large, Seconds(start));
      start = Clock::now();
      for (int i = 0; i < requests; ++i) sizes_ok &= curl.Get(small) == 1024;
      curl_small = std::min(curl_small, Seconds(start));
    }
    if (only != "libcurl") {
      LayerRun layer(nginx.http_port());
      Clock::time_point start = Clock::now();
      sizes_ok &= layer.Get("/large.bin", true) == megabytes << 20;
      layer_large = std::min(layer_large, Seconds(start));
      peak = std::max(peak, layer.peak_heap);
      start = Clock::now();
      for (int i = 0; i < requests; ++i) sizes_ok &= layer.Get("/small.txt") == 1024;
      layer_small = std::min(layer_small, Seconds(start));
    }
  }
  const double mb = static_cast<double>(megabytes);
  if (!only.empty()) {
    const bool lib = only == "library";
    std::printf("%s alone: download %.1f MiB/s, %.0f GETs/s\n", only.c_str(), mb / (lib ? layer_large : curl_large),
                requests / (lib ? layer_small : curl_small));
    return sizes_ok ? 0 : 1;
  }
  std::printf("download of %zu MiB:   libcurl %8.1f MiB/s   library %8.1f MiB/s   ratio %.2f (goal >= 0.90)\n",
              megabytes, mb / curl_large, mb / layer_large, curl_large / layer_large);
  std::printf("%d GETs of 1 KiB:    libcurl %8.0f /s      library %8.0f /s      ratio %.2f (goal >= 0.80)\n",
              requests, requests / curl_small, requests / layer_small, curl_small / layer_small);
  std::printf("heap held by the library during the download: %.2f MiB (goal < 8)\n",
              static_cast<double>(peak) / (1 << 20));
  if (!sizes_ok) std::printf("SOME TRANSFERS CAME BACK SHORT\n");
  return sizes_ok ? 0 : 1;
}
