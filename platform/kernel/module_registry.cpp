#include "module_registry.h"

#include "module_names.h"

namespace zem::platform {

void ModuleRegistry::AddLoad(void *handle, const std::string &path, const std::string &requested) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry &entry = loaded_[handle];
  if (entry.loads == 0) entry.order = next_order_++;
  entry.path = path;
  entry.keys.insert(ModuleKey(path));
  entry.keys.insert(ModuleKey(requested));
  ++entry.loads;
}

bool ModuleRegistry::RemoveLoad(void *handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = loaded_.find(handle);
  if (found == loaded_.end()) return false;
  if (--found->second.loads == 0) loaded_.erase(found);
  return true;
}

void ModuleRegistry::RememberPresent(void *handle, const std::string &path) {
  std::lock_guard<std::mutex> lock(mutex_);
  present_[handle] = path;
}

std::optional<std::string> ModuleRegistry::PathOf(void *handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (const auto found = loaded_.find(handle); found != loaded_.end()) return found->second.path;
  if (const auto found = present_.find(handle); found != present_.end()) return found->second;
  return std::nullopt;
}

bool ModuleRegistry::IsLoaded(void *handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return loaded_.count(handle) != 0;
}

void *ModuleRegistry::FindLoadedByKey(const std::string &key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  void *earliest = nullptr;
  unsigned long long earliest_order = 0;
  for (const auto &[handle, entry] : loaded_) {
    if (entry.keys.count(key) == 0 || (earliest != nullptr && entry.order > earliest_order)) continue;
    earliest = handle;
    earliest_order = entry.order;
  }
  return earliest;
}

void *ModuleRegistry::FindLoadedByPath(const std::string &path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto &[handle, entry] : loaded_) {
    if (entry.path == path) return handle;
  }
  return nullptr;
}

ModuleRegistry &Modules() {
  // Never destroyed: modules may be freed from other objects' destructors
  // while the process exits.
  static ModuleRegistry *registry = new ModuleRegistry;
  return *registry;
}

}  // namespace zem::platform
