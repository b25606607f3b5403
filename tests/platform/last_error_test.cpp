// The last error is one value per thread, shared by every module.
#include <gtest/gtest.h>

#include <thread>

#include "platform/kernel/bound_export.h"
#include "windows.h"

namespace {

TEST(LastError, EachThreadKeepsItsOwn) {
  SetLastError(1111);
  DWORD seen_by_other = 0;
  std::thread other([&] {
    seen_by_other = GetLastError();
    SetLastError(2222);
  });
  other.join();
  EXPECT_EQ(seen_by_other, 0u) << "a new thread starts with no error";
  EXPECT_EQ(GetLastError(), 1111u) << "another thread's SetLastError changed this thread's value";
}

TEST(LastError, ASetInsideALoadedModuleIsSeenByItsCaller) {
  HMODULE module = LoadLibraryA(ZEM_TEST_MSGTABLE_MODULE);
  ASSERT_NE(module, nullptr) << GetLastError();
  auto set = zem::platform::BoundExport<void(WINAPI *)(DWORD)>(module, "MsgTableModuleSetLastError");
  ASSERT_NE(set, nullptr);
  SetLastError(0);
  set(12002);
  EXPECT_EQ(GetLastError(), 12002u) << "the module and the program hold separate last-error values";
  FreeLibrary(module);
}

}  // namespace
