// The caller-memory probes on memory of every kind, never faulting.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "windows.h"

namespace {

// Two pages: the first as asked, the second unmapped, so that ranges and
// texts can run off the end of readable memory.
class PageThenHole : public ::testing::Test {
 protected:
  void SetUp() override {
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

}  // namespace
