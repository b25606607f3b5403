// LoadLibraryA and friends over the dynamic loader.
//
// An HMODULE is the loader's own handle. A handle value is never used until
// the registry knows it, and every use holds a loader reference for its
// duration, so a foreign value, or a module another thread frees meanwhile,
// gives ERROR_INVALID_HANDLE instead of reaching into freed memory.
#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "memory_probe.h"
#include "module_names.h"
#include "modules.h"
#include "module_registry.h"
#include "paths.h"
#include "windows.h"

namespace zem::platform {
namespace {

constexpr std::size_t kMaxModuleName = PATH_MAX;
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL;

void *MainProgram() {
  static void *const handle = ::dlopen(nullptr, RTLD_NOW);
  return handle;
}

// A loader handle for a module already in the process, or null. The handle
// comes with a reference the caller must drop with dlclose.
void *OpenIfPresent(const std::string &path) { return ::dlopen(path.c_str(), kOpenFlags | RTLD_NOLOAD); }

// A module kept alive for the length of one call.
class ModuleUse {
 public:
  explicit ModuleUse(HMODULE module) {
    void *const handle = module;
    if (handle == nullptr) return;
    if (handle == MainProgram()) {
      handle_ = handle;
      path_ = ExecutablePath();
      return;
    }
    const auto path = Modules().PathOf(handle);
    if (!path) return;
    reference_ = OpenIfPresent(*path);
    if (reference_ == handle) {
      handle_ = handle;
      path_ = *path;
    }
  }
  ~ModuleUse() {
    if (reference_ != nullptr) ::dlclose(reference_);
  }
  ModuleUse(const ModuleUse &) = delete;
  ModuleUse &operator=(const ModuleUse &) = delete;

  bool valid() const { return handle_ != nullptr; }
  void *handle() const { return handle_; }
  const std::string &path() const { return path_; }

 private:
  void *handle_ = nullptr;
  void *reference_ = nullptr;
  std::string path_;
};

// The loader searches a handle's dependencies too; a Windows module exports
// only its own names, so a symbol that lives in another object is not one
// of this module's exports.
void *FindOwnExport(void *handle, const char *name) {
  void *const symbol = ::dlsym(handle, name);
  if (symbol == nullptr) return nullptr;
  link_map *module = nullptr;
  link_map *owner = nullptr;
  Dl_info info{};
  if (::dlinfo(handle, RTLD_DI_LINKMAP, &module) != 0 ||
      ::dladdr1(symbol, &info, reinterpret_cast<void **>(&owner), RTLD_DL_LINKMAP) == 0) {
    return symbol;
  }
  return owner == module ? symbol : nullptr;
}

HMODULE AsModule(void *handle) { return static_cast<HMODULE>(handle); }

// A module present in the process under that path, remembered so that later
// calls accept its handle.
HMODULE PresentModule(const std::string &path) {
  void *const handle = OpenIfPresent(path);
  if (handle == nullptr) return nullptr;
  if (void *const loaded = Modules().FindLoadedByPath(path); loaded != handle) {
    Modules().RememberPresent(handle, path);
  }
  ::dlclose(handle);  // GetModuleHandleA takes no reference of its own
  return AsModule(handle);
}

}  // namespace

HMODULE MainProgramModule() { return AsModule(MainProgram()); }

}  // namespace zem::platform

using namespace zem::platform;

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  std::string name;
  if (const DWORD error = CopyCallerText(lpLibFileName, kMaxModuleName, name)) {
    SetLastError(error);
    return nullptr;
  }
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const ModuleLocation location = LocateModule(name);
  if (location.error != 0) {
    SetLastError(location.error);
    return nullptr;
  }
  ::dlerror();
  void *const handle = ::dlopen(location.path.c_str(), kOpenFlags);
  if (handle == nullptr) {
    SetLastError(LoadFailureError(location.path, ::dlerror()));
    return nullptr;
  }
  Modules().AddLoad(handle, location.path, name);
  return AsModule(handle);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  void *const handle = hLibModule;
  if (handle == nullptr || !Modules().RemoveLoad(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::dlclose(handle);
  return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  ModuleUse use(hModule);
  if (!use.valid()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // Small values are export ordinals, which shared objects do not have.
  if (IS_INTRESOURCE(lpProcName)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  std::string name;
  if (const DWORD error = CopyCallerText(lpProcName, kMaxModuleName, name)) {
    SetLastError(error == ERROR_NOACCESS ? ERROR_NOACCESS : ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void *const symbol = name.empty() ? nullptr : FindOwnExport(use.handle(), name.c_str());
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (lpModuleName == nullptr) return MainProgramModule();
  std::string name;
  if (const DWORD error = CopyCallerText(lpModuleName, kMaxModuleName, name)) {
    SetLastError(error);
    return nullptr;
  }
  HMODULE module = nullptr;
  if (HasFolder(name)) {
    const ModuleLocation location = LocateModule(name);
    if (location.error == 0) {
      module = AsModule(Modules().FindLoadedByPath(location.path));
      if (module == nullptr) module = PresentModule(location.path);
    }
  } else if (!name.empty()) {
    module = AsModule(Modules().FindLoadedByKey(ModuleKey(name)));
    const std::string system = SystemLibraryPath(name);
    if (module == nullptr && !system.empty()) {
      const ModuleLocation location = LocateModule(system);
      if (location.error == 0) module = PresentModule(location.path);
    }
  }
  if (module == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return module;
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  std::string path;
  if (hModule == nullptr) {
    path = ExecutablePath();
  } else {
    ModuleUse use(hModule);
    if (!use.valid()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    path = use.path();
  }
  if (nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // Only as much of the buffer as gets written needs to be writable.
  const std::size_t copied = std::min<std::size_t>(path.size(), nSize - 1);
  if (lpFilename == nullptr || !IsWritableRange(lpFilename, copied + 1)) {
    SetLastError(lpFilename == nullptr ? ERROR_INVALID_PARAMETER : ERROR_NOACCESS);
    return 0;
  }
  std::memcpy(lpFilename, path.data(), copied);
  lpFilename[copied] = '\0';
  if (copied < path.size()) {
    // Windows cuts the path to the buffer and says so.
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  return static_cast<DWORD>(copied);
}
