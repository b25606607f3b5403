// Caller-memory probes and copies.
//
// The kernel answers for us: reading through process_vm_readv on our own
// process returns EFAULT instead of raising a signal (process_vm_writev
// likewise for a copy into caller memory), and an atomic add of
// zero through the futex wake-op fails the same way on a page that cannot be
// written while leaving a writable word exactly as it was, even when another
// thread writes it at the same moment. Both are fresh answers, so an address
// unmapped or re-protected a moment ago is judged by what it is now. Where a
// sandbox refuses these calls, the mappings listed in /proc/self/maps decide.
// Nothing here dereferences the probed memory, so AddressSanitizer builds
// see no access to it.
//
// Two kinds of range are answered without asking: the calling thread's live
// stack, and the program's heap between where it started and the current
// break. The heap below the break is mapped readable and writable for as long
// as it is there (the allocator gives memory back only by lowering the
// break), so the kernel could give no other answer; it is where the
// library's own small blocks and most callers' texts live, and a request
// would otherwise ask about them several times over. A program that
// re-protects pages of its heap itself is not supported.
#include "memory_probe.h"

#include "live_stack.h"
#include "loaded_images.h"

#include <errno.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "windows.h"

namespace zem::platform {
namespace {

constexpr std::uintptr_t kPageSize = 4096;  // the smallest unit protections apply to

std::uintptr_t PageOf(std::uintptr_t address) { return address & ~(kPageSize - 1); }

// [start, start + size) without wrapping past the top of the address space.
bool RangeFits(std::uintptr_t start, std::size_t size) { return start + size >= start; }

enum class Access { kRead, kWrite };

// ---- fallback: the process's mapping list, read afresh for each question ----

bool MappingsAllow(std::uintptr_t start, std::size_t size, Access access) {
  FILE *maps = std::fopen("/proc/self/maps", "re");
  if (maps == nullptr) return false;
  std::uintptr_t covered = start;  // everything below this is known to be fine
  const std::uintptr_t end = start + size;
  char line[512];
  while (covered < end && std::fgets(line, sizeof line, maps) != nullptr) {
    unsigned long low = 0, high = 0;
    char perms[5] = {};
    if (std::sscanf(line, "%lx-%lx %4s", &low, &high, perms) != 3) continue;
    if (high <= covered) continue;
    if (low > covered) break;  // a hole: the list is sorted by address
    const bool allowed = access == Access::kRead ? perms[0] == 'r' : perms[1] == 'w';
    if (!allowed) break;
    covered = high;
  }
  std::fclose(maps);
  return covered >= end;
}

// ---- the program's heap ----

// The start of the heap, from /proc/self/stat (its 47th field), read once;
// 0 when it cannot be told, which leaves every question to the kernel.
std::uintptr_t HeapStart() {
  static const std::uintptr_t start = [] {
    std::uintptr_t value = 0;
    if (FILE *stat = std::fopen("/proc/self/stat", "re")) {
      char line[1024];
      const size_t n = std::fread(line, 1, sizeof line - 1, stat);
      std::fclose(stat);
      line[n] = '\0';
      // The command name (field 2) may hold blanks: count from its closing parenthesis.
      const char *p = std::strrchr(line, ')');
      for (int field = 2; p != nullptr && field < 47; ++field) p = std::strchr(p + 1, ' ');
      unsigned long parsed = 0;
      if (p != nullptr && std::sscanf(p + 1, "%lu", &parsed) == 1) value = parsed;
    }
    return value;
  }();
  return start;
}

bool OnProgramHeap(std::uintptr_t start, std::size_t size) {
  const std::uintptr_t low = HeapStart();
  if (low == 0 || start < low) return false;
  // sbrk(0) answers from the allocator's own record of the break: no system call.
  const auto high = reinterpret_cast<std::uintptr_t>(::sbrk(0));
  return high != static_cast<std::uintptr_t>(-1) && start + size <= high;
}

// Ranges that need no question: the live stack and the heap.
bool KnownUsable(std::uintptr_t start, std::size_t size) {
  return OnLiveStack(start, size) || OnProgramHeap(start, size);
}

// ---- the kernel's answers ----

std::atomic<bool> g_read_probe_works{true};
std::atomic<bool> g_write_probe_works{true};

bool Unsupported(int error) { return error == ENOSYS || error == EPERM || error == EACCES; }

// Our process id, asked once: every probe names it, and asking the kernel
// each time would double what a probe costs. A forked child asks afresh.
std::atomic<pid_t> g_own_pid{0};

pid_t OwnPid() {
  pid_t pid = g_own_pid.load(std::memory_order_relaxed);
  if (pid == 0) {
    static const int forget_in_child = ::pthread_atfork(nullptr, nullptr, [] { g_own_pid.store(0); });
    (void)forget_in_child;
    pid = ::getpid();
    g_own_pid.store(pid, std::memory_order_relaxed);
  }
  return pid;
}

// Copies size bytes at address into out. Returns the bytes copied, or -1 when
// the kernel refuses the call altogether.
long ReadOwnMemory(std::uintptr_t address, void *out, std::size_t size) {
  iovec local{out, size};
  iovec remote{reinterpret_cast<void *>(address), size};
  const long n = ::syscall(SYS_process_vm_readv, OwnPid(), &local, 1UL, &remote, 1UL, 0UL);
  if (n < 0 && Unsupported(errno)) {
    g_read_probe_works = false;
    return -1;
  }
  return n < 0 ? 0 : n;
}

// One readable byte per page is enough: protections are per page. The bytes
// of up to kPagesPerRead pages are asked for in one call (a read stops at
// the first page that fails), so a long range costs few calls.
constexpr std::size_t kPagesPerRead = 512;

std::optional<bool> KernelSaysReadable(std::uintptr_t start, std::size_t size) {
  const std::uintptr_t first = PageOf(start), last = PageOf(start + size - 1);
  const std::uintptr_t pages = (last - first) / kPageSize + 1;
  char bytes[kPagesPerRead];
  iovec remote[kPagesPerRead];
  for (std::uintptr_t done = 0; done < pages;) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uintptr_t>(pages - done, kPagesPerRead));
    for (std::size_t i = 0; i < count; ++i) {
      remote[i] = {reinterpret_cast<void *>(std::max(first + (done + i) * kPageSize, start)), 1};
    }
    iovec local{bytes, count};
    const long n = ::syscall(SYS_process_vm_readv, OwnPid(), &local, 1UL, remote, static_cast<unsigned long>(count), 0UL);
    if (n < 0 && Unsupported(errno)) {
      g_read_probe_works = false;
      return std::nullopt;
    }
    if (n != static_cast<long>(count)) return false;
    done += count;
  }
  return true;
}

int g_futex_dummy;

std::optional<bool> KernelSaysWritable(std::uintptr_t start, std::size_t size) {
  const std::uintptr_t last = PageOf(start + size - 1);
  const int add_zero = FUTEX_OP(FUTEX_OP_ADD, 0, FUTEX_OP_CMP_EQ, 0);
  for (std::uintptr_t page = PageOf(start); ; page += kPageSize) {
    // An aligned word inside the same page, as the futex call requires.
    const std::uintptr_t word = std::max(page, start) & ~std::uintptr_t{3};
    const long r = ::syscall(SYS_futex, &g_futex_dummy, FUTEX_WAKE_OP_PRIVATE, 0, nullptr,
                             reinterpret_cast<void *>(word), add_zero);
    if (r < 0) {
      if (errno == EFAULT) return false;
      if (Unsupported(errno)) g_write_probe_works = false;
      return std::nullopt;
    }
    if (page == last) return true;
  }
}

bool Allowed(const void *p, std::size_t size, Access access) {
  if (size == 0) return true;
  const auto start = reinterpret_cast<std::uintptr_t>(p);
  if (start == 0 || !RangeFits(start, size)) return false;
  if (KnownUsable(start, size)) return true;
  std::uintptr_t image_end;
  if (access == Access::kRead && InLoadedImage(start, size, &image_end)) return true;
  // The write probe reads the word it adds to, so it answers for reading too.
  if (access == Access::kWrite && g_write_probe_works) {
    if (auto writable = KernelSaysWritable(start, size)) return *writable;
  }
  if (g_read_probe_works) {
    if (auto readable = KernelSaysReadable(start, size)) {
      if (!*readable || access == Access::kRead) return *readable;
    }
  }
  return MappingsAllow(start, size, access);
}

std::atomic<bool> g_write_copy_works{true};

// Copies size bytes from `from` to `to`, either of which may be caller
// memory, in one question to the kernel. Returns the bytes copied.
std::size_t CopyOwnMemory(void *to, const void *from, std::size_t size, bool into_caller) {
  if (size == 0) return 0;
  const auto to_address = reinterpret_cast<std::uintptr_t>(to);
  const auto from_address = reinterpret_cast<std::uintptr_t>(from);
  if (to_address == 0 || from_address == 0 || !RangeFits(to_address, size) || !RangeFits(from_address, size)) {
    return 0;
  }
  if (KnownUsable(to_address, size) && KnownUsable(from_address, size)) {
    std::memmove(to, from, size);
    return size;
  }
  std::atomic<bool> &works = into_caller ? g_write_copy_works : g_read_probe_works;
  if (works) {
    // The local side is `from` when writing into caller memory, `to` when reading.
    iovec local{into_caller ? const_cast<void *>(from) : to, size};
    iovec remote{into_caller ? to : const_cast<void *>(from), size};
    const long n = ::syscall(into_caller ? SYS_process_vm_writev : SYS_process_vm_readv, OwnPid(), &local, 1UL,
                             &remote, 1UL, 0UL);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (!Unsupported(errno)) return 0;
    works = false;
  }
  if (!Allowed(from, size, Access::kRead) || !Allowed(to, size, Access::kWrite)) return 0;
  std::memmove(to, from, size);
  return size;
}

}  // namespace

bool IsReadableRange(const void *p, std::size_t size) { return Allowed(p, size, Access::kRead); }

bool IsWritableRange(void *p, std::size_t size) { return Allowed(p, size, Access::kWrite); }

std::optional<std::size_t> ProbeStringLength(const char *p, std::size_t max_chars) {
  if (p == nullptr) return std::nullopt;
  const auto start = reinterpret_cast<std::uintptr_t>(p);
  std::size_t length = 0;
  char chunk[kPageSize];
  while (length < max_chars) {
    const std::uintptr_t at = start + length;
    if (at < start) return std::nullopt;  // ran off the top of the address space
    // Never cross a page in one read, so that a readable head followed by an
    // unmapped page is told apart from a read refused as a whole.
    const std::size_t wanted = std::min<std::size_t>(max_chars - length, PageOf(at) + kPageSize - at);
    // Inside a loaded module the text is read where it lies, up to the end of
    // its segment.
    std::uintptr_t image_end;
    if (InLoadedImage(at, 1, &image_end)) {
      const std::size_t in_image = std::min<std::size_t>(max_chars - length, image_end - at);
      const std::size_t n = strnlen(reinterpret_cast<const char *>(at), in_image);
      if (n < in_image) return length + n;
      length += in_image;
      continue;
    }
    const char *text = KnownUsable(at, wanted) ? reinterpret_cast<const char *>(at) : nullptr;
    if (text == nullptr && g_read_probe_works) {
      const long n = ReadOwnMemory(at, chunk, wanted);
      if (n >= 0 && static_cast<std::size_t>(n) != wanted) return std::nullopt;
      if (n > 0) text = chunk;
    }
    if (text == nullptr) {
      if (!MappingsAllow(at, wanted, Access::kRead)) return std::nullopt;
      text = reinterpret_cast<const char *>(at);
    }
    if (const void *nul = std::memchr(text, '\0', wanted)) {
      return length + static_cast<std::size_t>(static_cast<const char *>(nul) - text);
    }
    length += wanted;
  }
  return max_chars;
}

DWORD CopyCallerText(const char *text, std::size_t max_chars, std::string &out) {
  if (text == nullptr) return ERROR_INVALID_PARAMETER;
  const auto length = ProbeStringLength(text, max_chars + 1);
  if (!length) return ERROR_NOACCESS;
  if (*length > max_chars) return ERROR_FILENAME_EXCED_RANGE;
  out.assign(text, *length);
  return 0;
}

}  // namespace zem::platform

// ---- the Windows probes and copies ----

namespace {

// The current process's pseudo-handle, the only process these copies serve.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

// Copies for the current process only; `into_caller` says which side is the
// caller's memory that is probed by the copy.
BOOL CopyForCaller(HANDLE process, void *to, const void *from, SIZE_T size, SIZE_T *reported, bool into_caller) {
  if (process != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const std::size_t copied = zem::platform::CopyOwnMemory(to, from, size, into_caller);
  if (reported != nullptr) *reported = copied;
  if (copied == size) return TRUE;
  SetLastError(copied == 0 ? ERROR_NOACCESS : ERROR_PARTIAL_COPY);
  return FALSE;
}

}  // namespace

HANDLE WINAPI GetCurrentProcess(void) { return kCurrentProcess; }

BOOL WINAPI ReadProcessMemory(HANDLE hProcess, LPCVOID lpBaseAddress, LPVOID lpBuffer, SIZE_T nSize,
                              SIZE_T *lpNumberOfBytesRead) {
  return CopyForCaller(hProcess, lpBuffer, lpBaseAddress, nSize, lpNumberOfBytesRead, false);
}

BOOL WINAPI WriteProcessMemory(HANDLE hProcess, LPVOID lpBaseAddress, LPCVOID lpBuffer, SIZE_T nSize,
                               SIZE_T *lpNumberOfBytesWritten) {
  return CopyForCaller(hProcess, lpBaseAddress, lpBuffer, nSize, lpNumberOfBytesWritten, true);
}

BOOL WINAPI IsBadReadPtr(const void *lp, UINT_PTR ucb) { return !zem::platform::IsReadableRange(lp, ucb); }

BOOL WINAPI IsBadWritePtr(LPVOID lp, UINT_PTR ucb) { return !zem::platform::IsWritableRange(lp, ucb); }

BOOL WINAPI IsBadStringPtrA(LPCSTR lpsz, UINT_PTR ucchMax) {
  if (ucchMax == 0) return FALSE;
  return !zem::platform::ProbeStringLength(lpsz, ucchMax).has_value();
}
