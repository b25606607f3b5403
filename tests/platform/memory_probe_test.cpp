// The caller-memory probes on memory of every kind, never faulting.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "windows.h"

namespace {

// Two pages: the first as asked, the second unmapped, so that ranges and
// texts can run off the end of readable memory.
class PageThenHole : public ::testing::Test {
 protected:
  void SetUp() override {
    // The probes set up what they keep on first use; that happens before the
    // hole exists, so that nothing the process allocates is mapped into it.
    int on_stack = 0;
    IsBadWritePtr(&on_stack, sizeof on_stack);
    IsBadStringPtrA("warm up", 8);
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void *both = mmap(nullptr, page_ * 2, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(both, MAP_FAILED);
    base_ = static_cast<char *>(both);
    ASSERT_EQ(munmap(base_ + page_, page_), 0);
  }
  void TearDown() override { munmap(base_, page_); }

  char *base_ = nullptr;
  size_t page_ = 0;
};

TEST_F(PageThenHole, WritableMemoryIsReadableAndWritable) {
  EXPECT_FALSE(IsBadReadPtr(base_, page_));
  EXPECT_FALSE(IsBadWritePtr(base_, page_));
  int on_stack = 5;
  EXPECT_FALSE(IsBadWritePtr(&on_stack, sizeof on_stack));
  EXPECT_EQ(on_stack, 5) << "probing for writing changed the value";
}

TEST_F(PageThenHole, ReadOnlyMemoryIsReadableButNotWritable) {
  ASSERT_EQ(mprotect(base_, page_, PROT_READ), 0);
  EXPECT_FALSE(IsBadReadPtr(base_, page_));
  EXPECT_TRUE(IsBadWritePtr(base_, 1));
  EXPECT_TRUE(IsBadWritePtr(const_cast<char *>("a literal"), 1));
  // Made writable again: the probe must see the change, not remember.
  ASSERT_EQ(mprotect(base_, page_, PROT_READ | PROT_WRITE), 0);
  EXPECT_FALSE(IsBadWritePtr(base_, page_));
}

TEST_F(PageThenHole, RangesReachingUnmappedMemoryAreBad) {
  char *hole = base_ + page_;
  EXPECT_TRUE(IsBadReadPtr(hole, 1));
  EXPECT_TRUE(IsBadWritePtr(hole, 1));
  EXPECT_TRUE(IsBadReadPtr(hole - 1, 2)) << "a range whose last byte is unmapped";
  EXPECT_FALSE(IsBadReadPtr(hole - 1, 1));
  EXPECT_TRUE(IsBadReadPtr(base_, static_cast<UINT_PTR>(-1))) << "a size wrapping the address space";
}

// A long range is asked about in batches of pages: a hole anywhere in it,
// in the first batch, across a batch boundary or in the last, makes it bad.
TEST(LongRange, AHoleAnywhereMakesItBad) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  constexpr size_t kPages = 1200;
  for (size_t hole : {size_t{0}, size_t{3}, size_t{511}, size_t{512}, size_t{1024}, kPages - 1}) {
    char *base = static_cast<char *>(mmap(nullptr, kPages * page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(base, MAP_FAILED);
    EXPECT_FALSE(IsBadReadPtr(base + 5, kPages * page - 5));
    ASSERT_EQ(mprotect(base + hole * page, page, PROT_NONE), 0);
    EXPECT_TRUE(IsBadReadPtr(base + 5, kPages * page - 5)) << "hole at page " << hole;
    munmap(base, kPages * page);
  }
}

// The heap below the break is answered without the kernel; a range running
// past the break is not, and the memory above a fresh break is unmapped.
TEST(ProgramHeap, RangesEndAtTheBreak) {
  std::string text(100, 'h');
  // An allocator that never grows the break (a sanitizer's) leaves it where
  // the loader put it, past a gap: a page is added so that bytes lie below it.
  char *const old_top = static_cast<char *>(sbrk(4096));
  ASSERT_NE(old_top, reinterpret_cast<char *>(-1));
  char *const top = static_cast<char *>(sbrk(0));
  EXPECT_FALSE(IsBadWritePtr(&text[0], text.size()));
  EXPECT_FALSE(IsBadStringPtrA(text.c_str(), 1000));
  EXPECT_FALSE(IsBadReadPtr(top - 8, 8)) << "the last bytes below the break";
  EXPECT_TRUE(IsBadReadPtr(top - 8, 64u << 20)) << "a range reaching far past the break";
  EXPECT_TRUE(IsBadWritePtr(top - 8, 64u << 20));
}

TEST_F(PageThenHole, NullAndEmptyRanges) {
  EXPECT_TRUE(IsBadReadPtr(nullptr, 1));
  EXPECT_TRUE(IsBadWritePtr(nullptr, 1));
  EXPECT_TRUE(IsBadStringPtrA(nullptr, 1));
  EXPECT_FALSE(IsBadReadPtr(nullptr, 0)) << "size 0 is never bad";
  EXPECT_FALSE(IsBadWritePtr(base_ + page_, 0));
  EXPECT_FALSE(IsBadStringPtrA(base_ + page_, 0));
}

TEST_F(PageThenHole, TextsAreCheckedUpToTheirEndOrTheLimit) {
  // A text that ends right before the hole.
  char *text = base_ + page_ - 6;
  std::memcpy(text, "hello", 6);
  EXPECT_FALSE(IsBadStringPtrA(text, 100));
  EXPECT_EQ(lstrlenA(text), 5);

  // The same bytes without their NUL run into the hole...
  text[5] = 'x';
  EXPECT_TRUE(IsBadStringPtrA(text, 100));
  EXPECT_EQ(lstrlenA(text), 0) << "an unreadable text has length 0";
  // ...unless the limit stops the check first.
  EXPECT_FALSE(IsBadStringPtrA(text, 6));

  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_TRUE(IsBadStringPtrA(base_ + page_, 1));
}

TEST_F(PageThenHole, ProcessMemoryCopiesFailWhereMemoryEnds) {
  const char data[] = "0123456789";
  SIZE_T done = 99;
  ASSERT_TRUE(WriteProcessMemory(GetCurrentProcess(), base_ + page_ - 20, data, 10, &done));
  EXPECT_EQ(done, 10u);
  char back[10] = {};
  ASSERT_TRUE(ReadProcessMemory(GetCurrentProcess(), base_ + page_ - 20, back, 10, &done));
  EXPECT_EQ(std::string(back, 10), "0123456789");

  // Wholly in the hole: nothing copied.
  EXPECT_FALSE(WriteProcessMemory(GetCurrentProcess(), base_ + page_, data, 4, &done));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_EQ(done, 0u);
  EXPECT_FALSE(ReadProcessMemory(GetCurrentProcess(), base_ + page_, back, 4, &done));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));

  // Running into the hole: the copy fails, whatever part of it got through.
  EXPECT_FALSE(WriteProcessMemory(GetCurrentProcess(), base_ + page_ - 4, data, 8, &done));
  EXPECT_LT(done, 8u);
  EXPECT_TRUE(GetLastError() == ERROR_NOACCESS || GetLastError() == ERROR_PARTIAL_COPY);

  // Our own side of the copy is checked as well, and read-only memory refuses writes.
  EXPECT_FALSE(ReadProcessMemory(GetCurrentProcess(), data, base_ + page_, 4, nullptr));
  ASSERT_EQ(mprotect(base_, page_, PROT_READ), 0);
  EXPECT_FALSE(WriteProcessMemory(GetCurrentProcess(), base_, data, 4, nullptr));
  EXPECT_FALSE(WriteProcessMemory(GetCurrentProcess(), const_cast<char *>("a literal"), data, 1, nullptr));

  EXPECT_TRUE(WriteProcessMemory(GetCurrentProcess(), nullptr, nullptr, 0, nullptr)) << "nothing to copy";
  EXPECT_FALSE(ReadProcessMemory(reinterpret_cast<HANDLE>(42), data, back, 1, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// A program that runs code on a stack of its own making: memory between that
// stack and the thread's real one is not stack at all, and a page there that
// cannot be read must still be reported.
struct OwnStackRun {
  static constexpr size_t kStack = 256 * 1024;
  ucontext_t caller{}, callee{};
  char *region = nullptr;
  char *hole = nullptr;
  bool read_bad = false, write_bad = false, text_bad = false;

  static void Probe(OwnStackRun *run) {
    run->read_bad = IsBadReadPtr(run->hole, 1);
    run->write_bad = IsBadWritePtr(run->hole, 1);
    run->text_bad = IsBadStringPtrA(run->hole, 10);
  }
};

TEST(OwnStack, APageAboveAStackOfTheProgramsMakingIsJudgedAfresh) {
  OwnStackRun run;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void *region = mmap(nullptr, OwnStackRun::kStack + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  run.region = static_cast<char *>(region);
  run.hole = run.region + OwnStackRun::kStack;
  // A page that stays reserved, so that nothing else is mapped there meanwhile.
  ASSERT_EQ(mprotect(run.hole, page, PROT_NONE), 0);
  int on_thread_stack = 0;
  ASSERT_LT(reinterpret_cast<uintptr_t>(run.hole), reinterpret_cast<uintptr_t>(&on_thread_stack))
      << "the made stack should lie below the thread's";

  ASSERT_EQ(getcontext(&run.callee), 0);
  run.callee.uc_stack.ss_sp = run.region;
  run.callee.uc_stack.ss_size = OwnStackRun::kStack;
  run.callee.uc_link = &run.caller;
  makecontext(&run.callee, reinterpret_cast<void (*)()>(&OwnStackRun::Probe), 1, &run);
  ASSERT_EQ(swapcontext(&run.caller, &run.callee), 0);
  EXPECT_TRUE(run.read_bad);
  EXPECT_TRUE(run.write_bad);
  EXPECT_TRUE(run.text_bad);
  munmap(run.region, OwnStackRun::kStack + page);
}

bool Mapped(const std::string &path) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream all;
  all << maps.rdbuf();
  return all.str().find(path) != std::string::npos;
}

// Texts inside loaded modules are answered without asking the kernel; a
// module unloaded since must not be remembered as readable.
TEST(LoadedModules, TextsOfAnUnloadedModuleAreBad) {
  EXPECT_FALSE(IsBadStringPtrA("a literal", 100));
  EXPECT_FALSE(IsBadReadPtr("a literal", 10));

  const std::string path = ZEM_TEST_JSPROXY_DOUBLE_PATH;
  void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  const char *code = reinterpret_cast<const char *>(dlsym(module, "InternetGetProxyInfo"));
  ASSERT_NE(code, nullptr);
  EXPECT_FALSE(IsBadReadPtr(code, 16));
  EXPECT_FALSE(IsBadStringPtrA(code, 16));
  ASSERT_EQ(dlclose(module), 0);
  ASSERT_FALSE(Mapped(path)) << "the module stayed mapped after unloading";
  EXPECT_TRUE(IsBadReadPtr(code, 16));
  EXPECT_TRUE(IsBadStringPtrA(code, 16));
  EXPECT_EQ(lstrlenA(code), 0);
}

}  // namespace
