// The client object beside libcurl and the curl command, in one run on
// loopback against nginx: a Get of a large file, many Gets of a 1 KiB file
// and some Gets of a 1 MiB file on one object, a Post of a large body.
// libcurl runs twice: discarding the body, and keeping it in memory grown
// with realloc (what a libcurl user writes, and what the client does). Each
// workload runs `rounds` times on every side, alternately; the medians are
// printed with the peak resident memory each added and the ratios of the
// client to libcurl-to-memory, in wall time and in CPU time (user and system
// time of the whole process, its threads included: on a shared machine the
// steadier of the two).
//
//   client_bench [download MiB] [requests] [post MiB] [rounds] [libcurl|client]
//
// Naming one side runs that side alone, for a profiler or a system call count.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

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

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// CPU time of the whole process (every thread, user and system), in seconds.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// One workload on one side: the wall and CPU times of its rounds and the
// most resident memory any round added.
struct Figures {
  std::vector<double> seconds, cpu;
  long peak_kib = 0;
  double Time() const { return Median(seconds); }
  double Cpu() const { return Median(cpu); }
  double PeakMiB() const { return static_cast<double>(peak_kib) / 1024; }
};

// Runs `work` once, adding its times and peak resident growth to `figures`.
template <typename Work>
bool Measure(Figures &figures, Work work) {
  const long before = StatusKiB("VmRSS:");
  const bool peak_known = ResetPeak();
  const double cpu_start = CpuSeconds();
  const Clock::time_point start = Clock::now();
  const bool ok = work();
  figures.seconds.push_back(Seconds(start));
  figures.cpu.push_back(CpuSeconds() - cpu_start);
  if (peak_known) figures.peak_kib = std::max(figures.peak_kib, StatusKiB("VmHWM:") - before);
  return ok;
}

std::string Repeat(const std::string &line, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += line;
  return text;
}

}  // namespace

int main(int argc, char **argv) {
  const unsigned long long download_mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
  const int requests = argc > 2 ? std::atoi(argv[2]) : 1000;
  const unsigned long long post_mib = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 64;
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
  const std::string only = argc > 5 ? argv[5] : "";
  const bool run_libcurl = only != "client", run_client = only != "libcurl";
  constexpr int kMediumGets = 20;
  constexpr unsigned kMediumSize = 1u << 20;
  zemtest::NginxServer nginx;
  if (!nginx.ok()) {
    std::fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  const unsigned long long large_size = download_mib << 20;
  nginx.MakeFile("large.bin", large_size);
  nginx.MakeFile("medium.bin", kMediumSize);
  nginx.WriteFile("small.txt", std::string(1024, 's'));
  const std::string large = nginx.HttpUrl("/large.bin"), small = nginx.HttpUrl("/small.txt");
  const std::string medium = nginx.HttpUrl("/medium.bin"), post_url = nginx.HttpUrl("/post.bin");
  const std::string body(static_cast<size_t>(post_mib << 20), 'p');

  enum { kLarge, kSmall, kMedium, kPost, kWorkloads };
  enum { kDiscard, kMemory, kClient, kSides };
  Figures figures[kWorkloads][kSides];
  Figures command_large, command_small;
  bool ok = true;
  for (int round = 0; round < rounds; ++round) {
    for (int side : {kDiscard, kMemory}) {
      if (!run_libcurl) break;
      CurlRun curl(side == kMemory);
      Figures *f = figures[0] + side;
      ok &= Measure(f[kLarge * kSides], [&] { return curl.Get(large) == large_size; });
      ok &= Measure(f[kSmall * kSides], [&] {
        bool all = true;
        for (int i = 0; i < requests; ++i) all &= curl.Get(small) == 1024;
        return all;
      });
      ok &= Measure(f[kMedium * kSides], [&] {
        bool all = true;
        for (int i = 0; i < kMediumGets; ++i) all &= curl.Get(medium) == kMediumSize;
        return all;
      });
      ok &= Measure(f[kPost * kSides], [&] { return curl.Post(post_url, body) != 0; });
    }
    if (run_client) {
      CZemHttp http;
      http.SetHttpStr("1", 5);  // direct: no proxy from the environment
      ok &= Measure(figures[kLarge][kClient],
                    [&] { return http.Get(large.c_str(), nullptr) == 1 && http.cbResponse == large_size; });
      http.Get(small.c_str(), nullptr);  // frees the large body before the small runs
      // One object, one URL: the handles stay and the connection is reused.
      http.SetHandleReleaseMode(1);
      ok &= Measure(figures[kSmall][kClient], [&] {
        bool all = true;
        for (int i = 0; i < requests; ++i) all &= http.Get(nullptr, nullptr) == 1 && http.cbResponse == 1024;
        return all;
      });
      http.Get(medium.c_str(), nullptr);
      ok &= Measure(figures[kMedium][kClient], [&] {
        bool all = true;
        for (int i = 0; i < kMediumGets; ++i) all &= http.Get(nullptr, nullptr) == 1 && http.cbResponse == kMediumSize;
        return all;
      });
      ok &= Measure(figures[kPost][kClient], [&] {
        return http.Post(post_url.c_str(), body.data(), static_cast<unsigned>(body.size())) == 1;
      });
    }
    if (!only.empty()) continue;
    command_large.seconds.push_back(CurlCommand("url = \"" + large + "\"\noutput = \"/dev/null\"\n"));
    command_small.seconds.push_back(
        CurlCommand(Repeat("url = \"" + small + "\"\noutput = \"/dev/null\"\n", requests)));
  }

  std::printf("medians of %d rounds; time ratio = client / libcurl keeping the body in memory\n", rounds);
  std::printf("%-22s %25s %25s %25s %7s %6s\n", "workload", "libcurl discarding", "libcurl to memory", "client",
              "ratio", "goal");
  char title[kWorkloads][48];
  std::snprintf(title[kLarge], sizeof title[kLarge], "1 x Get of %llu MiB", download_mib);
  std::snprintf(title[kSmall], sizeof title[kSmall], "%d x Get of 1 KiB", requests);
  std::snprintf(title[kMedium], sizeof title[kMedium], "%d x Get of 1 MiB", kMediumGets);
  std::snprintf(title[kPost], sizeof title[kPost], "1 x Post of %llu MiB", post_mib);
  const double goal[kWorkloads] = {0.8, 1.15, 1.3, 1.3};
  for (int w = 0; w < kWorkloads; ++w) {
    std::printf("%-22s", title[w]);
    for (const Figures &side : figures[w]) std::printf("   %8.3f s %8.1f MiB pk", side.Time(), side.PeakMiB());
    const double ratio = figures[w][kClient].Time() / figures[w][kMemory].Time();
    std::printf(" %7.2f %6.2f%s\n", ratio, goal[w], ratio > goal[w] ? "  MISSED" : "");
  }
  std::printf("CPU time (user + system, all threads), medians; ratio = client / libcurl keeping the body in memory\n");
  for (int w = 0; w < kWorkloads; ++w) {
    std::printf("%-22s", title[w]);
    for (const Figures &side : figures[w]) std::printf("   %8.3f s cpu              ", side.Cpu());
    std::printf(" %7.2f\n", figures[w][kClient].Cpu() / figures[w][kMemory].Cpu());
  }
  std::printf("curl command: Get of %llu MiB %.3f s, %d Gets of 1 KiB %.3f s\n", download_mib, command_large.Time(),
              requests, command_small.Time());
  const double mib = static_cast<double>(download_mib);
  std::printf("peak resident growth of the client's Get of %.0f MiB: %.2f x the body (goal <= 1.10)\n", mib,
              figures[kLarge][kClient].PeakMiB() / mib);
  std::printf("rate of the 1 KiB Gets: %.2f of libcurl-to-memory's (goal >= 0.87)\n",
              figures[kSmall][kMemory].Time() / figures[kSmall][kClient].Time());
  if (!ok) std::printf("SOME TRANSFERS FAILED OR CAME BACK SHORT\n");
  return ok ? 0 : 1;
}
