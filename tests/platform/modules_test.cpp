// Loading modules by path and by name, the registry of loaded modules and
// the errors a caller sees for what is missing or bad.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/kernel/bound_export.h"
#include "temp_dir.h"
#include "windows.h"

namespace {

const std::string kModule = ZEM_TEST_MSGTABLE_MODULE;

std::string Canonical(const std::string &path) { return std::filesystem::canonical(path).string(); }

std::string ModuleFileName(HMODULE module) {
  char buffer[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameA(module, buffer, sizeof buffer);
  return std::string(buffer, n);
}

std::string WithBackslashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Calls an export of a loaded module and checks it really is that module's code.
int CallAnswer(HMODULE module) {
  auto answer = zem::platform::BoundExport<int(WINAPI *)(void)>(module, "MsgTableModuleAnswer");
  return answer == nullptr ? -1 : answer();
}

TEST(LoadLibrary, FileNameInTheWrongCaseIsFoundInItsFolder) {
  zemtest::TempDir dir;
  const std::string copy = dir.copy_in(kModule, "WININET.DLL");
  HMODULE module = LoadLibraryA((dir.path() + "\\wininet.dll").c_str());
  ASSERT_NE(module, nullptr) << "case-insensitive fallback failed with " << GetLastError();
  EXPECT_EQ(ModuleFileName(module), Canonical(copy));
  EXPECT_TRUE(FreeLibrary(module));

  // The folder itself is taken as written.
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA((dir.path() + "-missing\\WININET.DLL").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(LoadLibrary, BareNameIsFoundInTheCurrentFolder) {
  zemtest::TempDir dir;
  const std::string copy = dir.copy_in(kModule, "jsproxy.dll");
  zemtest::CurrentFolder here(dir.path());
  HMODULE module = LoadLibraryA("JSPROXY.DLL");
  ASSERT_NE(module, nullptr) << "bare name in the current folder failed with " << GetLastError();
  EXPECT_EQ(ModuleFileName(module), Canonical(copy));
  // Windows appends ".dll" to a name without an extension.
  HMODULE again = LoadLibraryA("jsproxy");
  EXPECT_EQ(again, module);
  FreeLibrary(again);
  FreeLibrary(module);
}

TEST(LoadLibrary, SystemNamesMapToThePlatformLibraries) {
  const std::string platform = Canonical(std::string(ZEM_TEST_LIB_DIR) + "/libzemplatform.so");
  for (const char *name : {"ZEMSYS.DLL", "kernel32.dll", "User32"}) {
    HMODULE module = LoadLibraryA(name);
    ASSERT_NE(module, nullptr) << name << " failed with " << GetLastError();
    EXPECT_EQ(ModuleFileName(module), platform) << name;
    EXPECT_NE(GetProcAddress(module, "GetLastError"), nullptr) << name;
    EXPECT_TRUE(FreeLibrary(module)) << name;
  }
}

TEST(LoadLibrary, ErrorsForMissingAndBadModules) {
  zemtest::TempDir dir;
  const std::string text = dir.write("notes.dll", "not a shared object\n");
  const struct {
    std::string name;
    DWORD error;
  } cases[] = {
      {"WINHTTP.DLL", ERROR_MOD_NOT_FOUND},
      {dir.file("absent.dll"), ERROR_MOD_NOT_FOUND},
      {dir.path(), ERROR_MOD_NOT_FOUND},  // a folder is not a module
      {text, ERROR_BAD_EXE_FORMAT},
      {"", ERROR_INVALID_PARAMETER},
      {std::string(5000, 'a'), ERROR_FILENAME_EXCED_RANGE},
  };
  for (const auto &c : cases) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(c.name.c_str()), nullptr) << c.name.substr(0, 80);
    EXPECT_EQ(GetLastError(), c.error) << c.name.substr(0, 80);
  }
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(GetProcAddress, FindsOnlyTheModulesOwnExports) {
  HMODULE module = LoadLibraryA(kModule.c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_EQ(CallAnswer(module), 42);

  const struct {
    const char *name;
    DWORD error;
  } missing[] = {
      {"NoSuchExport", ERROR_PROC_NOT_FOUND},
      // Defined in a library the module links, not exported by the module.
      {"GetLastError", ERROR_PROC_NOT_FOUND},
      // An ordinal: shared objects have none.
      {MAKEINTRESOURCEA(1), ERROR_PROC_NOT_FOUND},
      {nullptr, ERROR_PROC_NOT_FOUND},
  };
  for (const auto &m : missing) {
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, m.name), nullptr);
    EXPECT_EQ(GetLastError(), m.error) << (IS_INTRESOURCE(m.name) ? "(ordinal)" : m.name);
  }
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Modules, UnknownHandlesGiveInvalidHandle) {
  int not_a_module = 0;
  HMODULE bogus[] = {reinterpret_cast<HMODULE>(&not_a_module), reinterpret_cast<HMODULE>(0x1234),
                     reinterpret_cast<HMODULE>(INVALID_HANDLE_VALUE)};
  for (HMODULE handle : bogus) {
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(handle, "MsgTableModuleAnswer"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    char buffer[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA(handle, buffer, sizeof buffer), 0u);
  }
}

// The same file by its path with slashes and with backslashes is one module.
TEST(Modules, ReferenceCountKeepsAModuleUntilTheLastFree) {
  zemtest::TempDir dir;
  const std::string copy = dir.copy_in(kModule, "COUNTED.DLL");
  HMODULE first = LoadLibraryA(copy.c_str());
  HMODULE second = LoadLibraryA(WithBackslashes(copy).c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(second, first);

  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(GetModuleHandleA("counted.dll"), first) << "freed too early";
  EXPECT_EQ(CallAnswer(first), 42);
  EXPECT_TRUE(FreeLibrary(second));

  SetLastError(0);
  EXPECT_EQ(GetModuleHandleA("counted.dll"), nullptr) << "still registered after the last free";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(first)) << "a third free of two loads succeeded";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(GetModuleHandle, FindsAModuleLoadedByFullPathByItsBaseName) {
  zemtest::TempDir dir;
  const std::string copy = dir.copy_in(kModule, "WININET.DLL");
  HMODULE module = LoadLibraryA(copy.c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  for (const char *name : {"WININET.DLL", "wininet.dll", "WinInet", copy.c_str()}) {
    EXPECT_EQ(GetModuleHandleA(name), module) << name;
  }

  // A second module of that name from another folder: the first one answers
  // until it is gone.
  zemtest::TempDir other_dir;
  const std::string other_copy = other_dir.copy_in(kModule, "wininet.dll");
  HMODULE other = LoadLibraryA(other_copy.c_str());
  ASSERT_NE(other, nullptr) << GetLastError();
  ASSERT_NE(other, module);
  EXPECT_EQ(GetModuleHandleA("WININET.DLL"), module);
  EXPECT_EQ(GetModuleHandleA(other_copy.c_str()), other);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleA("WININET.DLL"), other);
  EXPECT_TRUE(FreeLibrary(other));
}

TEST(GetModuleHandle, AnswersForLinkedPlatformLibrariesAndTheProgram) {
  // This program links libzemplatform.so without ever loading it by name.
  HMODULE platform = GetModuleHandleA("ZEMSYS.DLL");
  ASSERT_NE(platform, nullptr) << GetLastError();
  EXPECT_EQ(GetModuleHandleA("KERNEL32.DLL"), platform);
  EXPECT_NE(GetProcAddress(platform, "SetLastError"), nullptr);
  EXPECT_EQ(ModuleFileName(platform), Canonical(std::string(ZEM_TEST_LIB_DIR) + "/libzemplatform.so"));
  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(platform)) << "a handle GetModuleHandleA found holds no load to free";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  HMODULE program = GetModuleHandleA(nullptr);
  ASSERT_NE(program, nullptr);
  char buffer[MAX_PATH * 4];
  ASSERT_GT(GetModuleFileNameA(program, buffer, sizeof buffer), 0u);
  EXPECT_EQ(std::string(buffer), std::filesystem::read_symlink("/proc/self/exe").string());

  SetLastError(0);
  EXPECT_EQ(GetModuleHandleA("NEVERLOADED.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(GetModuleFileName, CutsThePathToTheBuffer) {
  HMODULE module = LoadLibraryA(kModule.c_str());
  ASSERT_NE(module, nullptr);
  const std::string full = ModuleFileName(module);
  ASSERT_GT(full.size(), 8u);

  char small[8];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(module, small, sizeof small), sizeof small);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(small), full.substr(0, 7)) << "expected the first 7 characters and a NUL";

  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(module, nullptr, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  FreeLibrary(module);
}

}  // namespace
