// The modules this process holds through LoadLibraryA, and the ones it knows
// without having loaded them (found by GetModuleHandleA).
#ifndef ZEM_PLATFORM_KERNEL_MODULE_REGISTRY_H
#define ZEM_PLATFORM_KERNEL_MODULE_REGISTRY_H

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace zem::platform {

class ModuleRegistry {
 public:
  // One more successful load of handle (one dlopen the registry now owns).
  // requested is the name as the caller asked for it.
  void AddLoad(void *handle, const std::string &path, const std::string &requested);
  // Gives up one load. False when the handle is not a loaded module; when it
  // returns true the caller owes exactly one dlclose.
  bool RemoveLoad(void *handle);

  // A module present in the process that no LoadLibraryA call holds: a
  // linked library, or the main program. The registry keeps no reference.
  void RememberPresent(void *handle, const std::string &path);

  // The path of a known handle (loaded or present).
  std::optional<std::string> PathOf(void *handle) const;
  bool IsLoaded(void *handle) const;
  // A loaded module whose asked-for name or file name has this ModuleKey;
  // of two such modules (loaded from different folders), the earlier.
  void *FindLoadedByKey(const std::string &key) const;
  void *FindLoadedByPath(const std::string &path) const;

 private:
  struct Entry {
    std::string path;
    std::set<std::string> keys;  // ModuleKey of every name it answers to
    unsigned loads = 0;
    unsigned long long order = 0;  // when the first of its current loads happened
  };
  mutable std::mutex mutex_;
  std::map<void *, Entry> loaded_;
  std::map<void *, std::string> present_;
  unsigned long long next_order_ = 0;
};

ModuleRegistry &Modules();

}  // namespace zem::platform

#endif  // ZEM_PLATFORM_KERNEL_MODULE_REGISTRY_H
