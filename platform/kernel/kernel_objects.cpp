#include "kernel_objects.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace zem::platform {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
  // Multiples of four from well above the range small integers and resource
  // identifiers live in, as Windows hands them out.
  std::uintptr_t next = 0x10004;
};

HandleTable &Table() {
  static HandleTable *table = new HandleTable;  // outlives static destructors
  return *table;
}

}  // namespace

HANDLE RegisterKernelObject(std::shared_ptr<KernelObject> object) {
  HandleTable &table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const std::uintptr_t value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupKernelObject(HANDLE handle) {
  HandleTable &table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == table.objects.end() ? nullptr : found->second;
}

bool CloseKernelObject(HANDLE handle) {
  std::shared_ptr<KernelObject> closed;  // released after the lock, in case its destructor waits
  HandleTable &table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == table.objects.end()) return false;
  closed = std::move(found->second);
  table.objects.erase(found);
  return true;
}

}  // namespace zem::platform

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  const auto object = zem::platform::LookupKernelObject(hHandle);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return object->Wait(dwMilliseconds);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (!zem::platform::CloseKernelObject(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
