// The list of segments is rebuilt whenever the loader's counts of modules
// added and removed move, so a module unloaded a moment ago is never taken
// for mapped. Reading the counts costs the loader's lock, not a system call.
#include "loaded_images.h"

#include <link.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace zem::platform {
namespace {

struct Segment {
  std::uintptr_t low, high;
};

// The loader's counts of modules added and removed so far.
struct Counts {
  unsigned long long adds = 0, subs = 0;
  bool operator==(const Counts &other) const { return adds == other.adds && subs == other.subs; }
};

struct Snapshot {
  Counts counts;
  std::vector<Segment> segments;  // sorted by address
};

int ReadCounts(dl_phdr_info *info, size_t size, void *out) {
  // The counts came with glibc 2.4; an older record cannot be trusted.
  if (size < offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) return -1;
  *static_cast<Counts *>(out) = {info->dlpi_adds, info->dlpi_subs};
  return 1;  // the first module is enough
}

int AddSegments(dl_phdr_info *info, size_t, void *out) {
  auto *snapshot = static_cast<Snapshot *>(out);
  snapshot->counts = {info->dlpi_adds, info->dlpi_subs};
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) &header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD || (header.p_flags & PF_R) == 0 || header.p_memsz == 0) continue;
    const std::uintptr_t low = info->dlpi_addr + header.p_vaddr;
    snapshot->segments.push_back({low, low + header.p_memsz});
  }
  return 0;
}

// Never destroyed: probes may run in other objects' static destructors.
struct Latest {
  std::mutex mutex;
  std::shared_ptr<const Snapshot> snapshot;
};
Latest &TheLatest() {
  static Latest *latest = new Latest();
  return *latest;
}

std::shared_ptr<const Snapshot> Current() {
  Counts counts;
  if (dl_iterate_phdr(&ReadCounts, &counts) != 1) return nullptr;
  Latest &latest = TheLatest();
  std::lock_guard<std::mutex> lock(latest.mutex);
  const auto &known = latest.snapshot;
  if (known && known->counts == counts) return known;
  auto fresh = std::make_shared<Snapshot>();
  dl_iterate_phdr(&AddSegments, fresh.get());
  std::sort(fresh->segments.begin(), fresh->segments.end(),
            [](const Segment &a, const Segment &b) { return a.low < b.low; });
  latest.snapshot = std::move(fresh);
  return latest.snapshot;
}

}  // namespace

bool InLoadedImage(std::uintptr_t start, std::size_t size, std::uintptr_t *segment_end) {
  if (start + size < start) return false;
  const auto snapshot = Current();
  if (!snapshot) return false;
  const auto &segments = snapshot->segments;
  auto after = std::upper_bound(segments.begin(), segments.end(), start,
                                [](std::uintptr_t address, const Segment &s) { return address < s.low; });
  if (after == segments.begin()) return false;
  const Segment &segment = *(after - 1);
  if (start >= segment.high || start + size > segment.high) return false;
  *segment_end = segment.high;
  return true;
}

}  // namespace zem::platform
