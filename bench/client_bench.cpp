// The client object beside libcurl and the curl command, in one run on
// loopback against nginx: a Get of a large file, many Gets of a 1 KiB file
// on one object, a Post of a large body. Prints times, rates, their ratios
// and the peak resident memory the large Get added.
//
//   client_bench [download MiB] [requests] [post MiB]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ZemHttp.h"
#include "bench_common.h"
#include "loopback_servers.h"

namespace {

using namespace zembench;

// The process's peak resident size in KiB since the last reset (VmHWM), and
// the reset itself; the current size (VmRSS).
long StatusKiB(const char *key) {
  std::ifstream status("/proc/self/status");
  std::string name;
  while (status >> name) {
    long value = 0;
    if (name == key && status >> value) return value;
  }
  return -1;
}
bool ResetPeak() { return static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5"); }

// The curl command: one process, its transfers in one config file so that
// it reuses its connection like the others.
double CurlCommand(const std::string &config) {
  const std::string file = "/tmp/client_bench_curl.cfg";
  std::ofstream(file) << config;
  const Clock::time_point start = Clock::now();
  const int status = std::system(("curl -s --noproxy '*' -K " + file + " > /dev/null").c_str());
  const double seconds = Seconds(start);
  std::remove(file.c_str());
  return status == 0 ? seconds : -1;
}

std::string Repeat(const std::string &line, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += line;
  return text;
}

}  // namespace

int main(int argc, char **argv) {
  const unsigned long long download_mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
  const int requests = argc > 2 ? std::atoi(argv[2]) : 2000;
  const unsigned long long post_mib = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 64;
  zemtest::NginxServer nginx;
  if (!nginx.ok()) {
    std::fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  const unsigned long long large_size = download_mib << 20;
  nginx.MakeFile("large.bin", large_size);
  nginx.WriteFile("small.txt", std::string(1024, 's'));
  const std::string large = nginx.HttpUrl("/large.bin"), small = nginx.HttpUrl("/small.txt");
  const std::string post_url = nginx.HttpUrl("/post.bin");
  const std::string body(static_cast<size_t>(post_mib << 20), 'p');

  bool ok = true;
  double curl_large = 1e9, client_large = 1e9, command_large = 1e9;
  double curl_small = 1e9, client_small = 1e9, command_small = 1e9;
  double curl_post = 1e9, client_post = 1e9;
  long peak_growth_kib = 0;
  // Each side runs twice, alternately, and keeps its best time.
  for (int round = 0; round < 2; ++round) {
    {
      CurlRun curl;
      Clock::time_point start = Clock::now();
      ok &= curl.Get(large) == large_size;
      curl_large = std::min(curl_large, Seconds(start));
      start = Clock::now();
      for (int i = 0; i < requests; ++i) ok &= curl.Get(small) == 1024;
      curl_small = std::min(curl_small, Seconds(start));
      start = Clock::now();
      ok &= curl.Post(post_url, body) != 0;
      curl_post = std::min(curl_post, Seconds(start));
    }
    {
      CZemHttp http;
      http.SetHttpStr("1", 5);  // direct: no proxy from the environment
      const long before = StatusKiB("VmRSS:");
      const bool peak_known = ResetPeak();
      Clock::time_point start = Clock::now();
      ok &= http.Get(large.c_str(), nullptr) == 1 && http.cbResponse == large_size;
      client_large = std::min(client_large, Seconds(start));
      if (peak_known) peak_growth_kib = std::max(peak_growth_kib, StatusKiB("VmHWM:") - before);
      http.Get(small.c_str(), nullptr);  // frees the large body before the small runs
      // One object, one URL: the handles stay and the connection is reused.
      http.SetHandleReleaseMode(1);
      start = Clock::now();
      for (int i = 0; i < requests; ++i) ok &= http.Get(nullptr, nullptr) == 1 && http.cbResponse == 1024;
      client_small = std::min(client_small, Seconds(start));
      start = Clock::now();
      ok &= http.Post(post_url.c_str(), body.data(), static_cast<unsigned>(body.size())) == 1;
      client_post = std::min(client_post, Seconds(start));
    }
    command_large = std::min(command_large, CurlCommand("url = \"" + large + "\"\noutput = \"/dev/null\"\n"));
    command_small = std::min(command_small,
                             CurlCommand(Repeat("url = \"" + small + "\"\noutput = \"/dev/null\"\n", requests)));
  }

  const double mib = static_cast<double>(download_mib);
  std::printf("Get of %llu MiB:      libcurl %7.3f s  curl %7.3f s  client %7.3f s  time ratio %.2f (goal <= 1.30)\n",
              download_mib, curl_large, command_large, client_large, client_large / curl_large);
  std::printf("%d Gets of 1 KiB:   libcurl %7.0f/s  curl %7.0f/s  client %7.0f/s  rate ratio %.2f (goal >= 0.80)\n",
              requests, requests / curl_small, command_small > 0 ? requests / command_small : 0.0,
              requests / client_small, curl_small / client_small);
  std::printf("Post of %llu MiB:      libcurl %7.3f s                 client %7.3f s  time ratio %.2f\n", post_mib,
              curl_post, client_post, client_post / curl_post);
  std::printf("peak resident growth of the Get of %.0f MiB: %.1f MiB = %.2f x the body (goal <= 2.20)\n", mib,
              static_cast<double>(peak_growth_kib) / 1024, static_cast<double>(peak_growth_kib) / 1024 / mib);
  if (!ok) std::printf("SOME TRANSFERS FAILED OR CAME BACK SHORT\n");
  return ok ? 0 : 1;
}
