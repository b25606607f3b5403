#include "handles.h"

#include <algorithm>
#include <unordered_map>

namespace zem::wininet {
namespace {

struct Registry {
  std::unordered_map<uintptr_t, std::shared_ptr<InternetObject>> objects;
  // Values are never reused, so a stale handle can never reach a new object.
  uintptr_t next = 0xCC0004;
};

Registry &TheRegistry() {
  static Registry *registry = new Registry();
  return *registry;
}

void CollectTree(Registry &registry, const std::shared_ptr<InternetObject> &object,
                 std::vector<std::shared_ptr<InternetObject>> *out) {
  for (HINTERNET child : object->children) {
    auto found = registry.objects.find(reinterpret_cast<uintptr_t>(child));
    if (found != registry.objects.end()) CollectTree(registry, found->second, out);
  }
  out->push_back(object);
}

}  // namespace

std::mutex &HandleLock() {
  static std::mutex *lock = new std::mutex();
  return *lock;
}

HINTERNET RegisterHandle(const std::shared_ptr<InternetObject> &object) {
  Registry &registry = TheRegistry();
  if (registry.next > UINTPTR_MAX - 4) return nullptr;
  const uintptr_t value = registry.next;
  registry.next += 4;
  object->handle = reinterpret_cast<HINTERNET>(value);
  registry.objects[value] = object;
  if (object->parent) object->parent->children.push_back(object->handle);
  return object->handle;
}

std::shared_ptr<InternetObject> FindHandle(HINTERNET handle, DWORD *error) {
  Registry &registry = TheRegistry();
  auto found = registry.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (handle == nullptr || found == registry.objects.end()) {
    *error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  return found->second;
}

std::vector<std::shared_ptr<InternetObject>> UnregisterTree(HINTERNET handle) {
  Registry &registry = TheRegistry();
  std::vector<std::shared_ptr<InternetObject>> tree;
  auto found = registry.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (found == registry.objects.end()) return tree;
  CollectTree(registry, found->second, &tree);
  for (const auto &object : tree) {
    object->closed = true;
    object->children.clear();
    registry.objects.erase(reinterpret_cast<uintptr_t>(object->handle));
  }
  const std::shared_ptr<InternetObject> &top = tree.back();
  if (top->parent) {
    auto &siblings = top->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), top->handle), siblings.end());
  }
  return tree;
}

HandleOptions &ProcessOptions() {
  static HandleOptions *options = new HandleOptions();
  return *options;
}

namespace {

template <typename T>
std::optional<T> Inherited(const InternetObject *object, std::optional<T> HandleOptions::*member) {
  for (; object != nullptr; object = object->parent.get()) {
    if (object->options.*member) return object->options.*member;
  }
  return ProcessOptions().*member;
}

}  // namespace

DWORD EffectiveTimeout(const InternetObject *object, std::optional<DWORD> HandleOptions::*member) {
  const DWORD fallback = member == &HandleOptions::connect_timeout ? kDefaultConnectTimeoutMs
                         : member == &HandleOptions::send_timeout  ? kDefaultSendTimeoutMs
                                                                  : kDefaultReceiveTimeoutMs;
  return Inherited(object, member).value_or(fallback);
}

std::string EffectiveText(const InternetObject *object, std::optional<std::string> HandleOptions::*member) {
  return Inherited(object, member).value_or("");
}

}  // namespace zem::wininet
