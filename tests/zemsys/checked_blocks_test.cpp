// Checked memory blocks: the layout owners rely on, and the guard that reports
// damage when a block is released.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "ZemMem.h"

namespace {

// Releases *pp with SysAssertFail answering nAnswer; returns how many
// failures were reported and what was printed.
int ReleaseReporting(char **pp, int nAnswer, std::string *printed = nullptr) {
  const int previous = SysSetAssertResult(nAnswer);
  const int before = SysGetAssertCount();
  testing::internal::CaptureStderr();
  ZemMemFree(pp);
  const std::string text = testing::internal::GetCapturedStderr();
  if (printed != nullptr) *printed = text;
  SysSetAssertResult(previous);
  return SysGetAssertCount() - before;
}

long ResidentPages() {
  long size = 0, resident = -1;
  if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = -1;
    std::fclose(f);
  }
  return resident;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kLibraryMaps = false;
#else
constexpr bool kLibraryMaps = true;
#endif

TEST(CheckedBlock, CarriesItsSizeOnBothSidesZeroFilledAndAligned) {
  // The sizes around the threshold take both kinds of storage.
  for (DWORD cb : {0u, 1u, 7u, 33u, 4096u, ZEMMEM_MAP_THRESHOLD - 1, ZEMMEM_MAP_THRESHOLD, 5u << 20}) {
    char *p = nullptr;
    ASSERT_EQ(ZemMemAlloc(&p, cb), 0u);
    ASSERT_NE(p, nullptr) << "a block of size " << cb << " must have a data pointer";
    DWORD trailer = 0;
    std::memcpy(&trailer, p + cb, sizeof trailer);
    EXPECT_EQ(ZemMemSize(p), cb);
    EXPECT_EQ(trailer, cb) << "the copy of the size must follow the data";
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u) << "data of a " << cb << "-byte block not 16-byte aligned";
    EXPECT_EQ(std::string(p, cb), std::string(cb, '\0')) << "a new " << cb << "-byte block is not zero-filled";
    // A large block starts a huge-page-sized unit of its own (sanitizer
    // builds keep every block in the heap).
    const size_t cbMap = ZemMemMappedLength(p - ZEMMEM_HEADER);
    if (kLibraryMaps) {
      EXPECT_EQ(cbMap != 0, cb >= ZEMMEM_MAP_THRESHOLD) << cb;
    }
    if (cbMap != 0) {
      EXPECT_EQ((reinterpret_cast<std::uintptr_t>(p) - ZEMMEM_HEADER) % ZEMMEM_MAP_ALIGN, 0u) << cb;
    }
    std::memset(p, 'x', cb);  // every byte of it is writable
    EXPECT_EQ(ReleaseReporting(&p, 0), 0) << "an intact " << cb << "-byte block was reported as damaged";
    EXPECT_EQ(p, nullptr) << "release must null the owner's pointer";
  }
}

TEST(CheckedBlock, NullVariablesAndSecondReleasesDoNothing) {
  char *p = nullptr;
  EXPECT_EQ(ReleaseReporting(&p, 0), 0);
  ZemMemFree(static_cast<void **>(nullptr));
  EXPECT_EQ(ZemMemSize(nullptr), 0u);
  // The typed form must not allocate a block it cannot hand out (the
  // sanitizer build reports the leak if it does).
  EXPECT_EQ(ZemMemAlloc(static_cast<char **>(nullptr), 64), ZEMMEM_E_POINTER);
  ASSERT_EQ(ZemMemAlloc(&p, 24), 0u);
  ZemMemFree(&p);
  EXPECT_EQ(ReleaseReporting(&p, 0), 0) << "a second release of the same variable reported a failure";
}

// The guard works alike for heap blocks and for mapped ones.
constexpr DWORD kGuardSizes[] = {10u, 32u, ZEMMEM_MAP_THRESHOLD + 10};

TEST(CheckedBlock, OneByteOverrunIsReportedOnceAndFreedWhenTheAnswerIsZero) {
  for (DWORD cb : kGuardSizes) {
    char *p = nullptr;
    ASSERT_EQ(ZemMemAlloc(&p, cb), 0u);
    // The byte after the data lands in the trailing size word, inside the
    // same allocation, so the sanitizers see an in-bounds write.
    std::memset(p, '0', cb + 1);
    std::string printed;
    EXPECT_EQ(ReleaseReporting(&p, 0, &printed), 1) << "an overrun of " << cb << " must be reported exactly once";
    EXPECT_EQ(p, nullptr) << "with the answer 0 the damaged block is freed and the pointer nulled";
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << "expected one line, got: " << printed;
    for (const char *part : {"cbChecksum == cbAlloc", "ZemMem", "136"}) {
      EXPECT_NE(printed.find(part), std::string::npos) << "report lacks \"" << part << "\": " << printed;
    }
  }
}

TEST(CheckedBlock, NonZeroAnswerLeavesTheDamagedBlockInPlace) {
  for (DWORD cb : kGuardSizes) {
    char *p = nullptr;
    ASSERT_EQ(ZemMemAlloc(&p, cb), 0u);
    char *const original = p;
    std::memset(p, 'A', cb + 1);
    EXPECT_EQ(ReleaseReporting(&p, 1), 1);
    ASSERT_EQ(p, original) << "with a non-zero answer the owner must still point at the block of " << cb;
    EXPECT_EQ(p[0], 'A');
    std::memcpy(p + cb, &cb, sizeof cb);  // repair the trailer so that the block can go
    EXPECT_EQ(ReleaseReporting(&p, 1), 0) << "a repaired block was reported again";
    EXPECT_EQ(p, nullptr);
  }
}

TEST(CheckedBlock, DamagedSizeWordIsReportedWithoutBeingFollowed) {
  for (DWORD cb : kGuardSizes) {
    char *p = nullptr;
    ASSERT_EQ(ZemMemAlloc(&p, cb), 0u);
    // An underrun into the high byte of the size word makes it an offset far
    // outside the allocation; the release must not read there, and must
    // still give the storage back the way it was taken.
    std::memset(p - 1, 0x7F, 1);
    EXPECT_EQ(ReleaseReporting(&p, 0), 1) << "a damaged size word of a " << cb << "-byte block must count";
    EXPECT_EQ(p, nullptr);
  }
}

TEST(CheckedBlock, LargeZeroedBlockCostsNoResidentMemoryUntilWritten) {
  constexpr DWORD kSize = 256u << 20;
  const long before = ResidentPages();
  ASSERT_GT(before, 0) << "cannot read /proc/self/statm";
  char *p = nullptr;
  ASSERT_EQ(ZemMemAlloc(&p, kSize), 0u);
  const long grownMiB = (ResidentPages() - before) * sysconf(_SC_PAGESIZE) >> 20;
  EXPECT_LT(grownMiB, 16) << "allocating a zeroed 256 MiB block made " << grownMiB << " MiB resident";
  EXPECT_EQ(p[kSize / 2], 0);
  EXPECT_EQ(ReleaseReporting(&p, 0), 0);
}

}  // namespace
