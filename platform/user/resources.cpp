// Resources a module exports in its table, and the plain icon and cursor
// handles that stand for them.
#include "resources.h"

#include "user_state.h"
#include "../kernel/bound_export.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <tuple>

namespace zem::user {
namespace {

// The system's own icons and cursors, asked for with a null module.
bool IsStockIcon(WORD id) { return id >= 32512 && id <= 32518; }
bool IsStockCursor(WORD id) { return (id >= 32512 && id <= 32516) || (id >= 32640 && id <= 32651); }

enum class ImageKind { kIcon, kCursor };

// One handle per resource, the same at every load, as the system shares
// icons loaded from resources.
class ImageHandles {
 public:
  HICON HandleFor(HINSTANCE module, WORD id, ImageKind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = std::make_tuple(reinterpret_cast<uintptr_t>(module), id, kind);
    auto it = handles_.find(key);
    if (it == handles_.end()) {
      it = handles_.emplace(key, next_).first;
      known_.insert(next_);
      next_ += 4;
    }
    return reinterpret_cast<HICON>(it->second);
  }

  bool IsKnown(HICON icon) {
    std::lock_guard<std::mutex> lock(mutex_);
    return known_.count(reinterpret_cast<uintptr_t>(icon)) != 0;
  }

 private:
  std::mutex mutex_;
  std::map<std::tuple<uintptr_t, WORD, ImageKind>, uintptr_t> handles_;
  std::set<uintptr_t> known_;
  uintptr_t next_ = 0x00600000;
};

ImageHandles &Images() {
  static ImageHandles *images = new ImageHandles();
  return *images;
}

bool ResourceId(LPCSTR name, WORD *id) {
  if (IS_INTRESOURCE(name)) {
    *id = LOWORD(name);
    return *id != 0;
  }
  if (!IsReadableText(name) || name[0] != '#' || name[1] < '0' || name[1] > '9') return false;
  char *end = nullptr;
  const unsigned long value = std::strtoul(name + 1, &end, 10);
  if (*end != '\0' || value == 0 || value > 0xFFFF) return false;
  *id = static_cast<WORD>(value);
  return true;
}

const ZEM_RESOURCE_TABLE *ResourceTableOf(HINSTANCE module) {
  return zem::platform::BoundExport<const ZEM_RESOURCE_TABLE *>(module != nullptr ? module : GetModuleHandleA(nullptr),
                                                                ZEM_RESOURCE_TABLE_SYMBOL);
}

// Icons of a module's table; null module: the stock ones.
bool HasIcon(HINSTANCE module, WORD id, DWORD *error) {
  if (module == nullptr) {
    *error = ERROR_RESOURCE_NAME_NOT_FOUND;
    return IsStockIcon(id);
  }
  const ZEM_RESOURCE_TABLE *table = ResourceTableOf(module);
  if (table == nullptr) {
    *error = ERROR_RESOURCE_DATA_NOT_FOUND;
    return false;
  }
  *error = ERROR_RESOURCE_NAME_NOT_FOUND;
  for (UINT i = 0; table->pIconIds != nullptr && i < table->nIcons; ++i) {
    if (table->pIconIds[i] == id) return true;
  }
  return false;
}

}  // namespace

const ZEM_DIALOG_TEMPLATE *FindDialogTemplate(HINSTANCE module, LPCSTR name, DWORD *error) {
  WORD id = 0;
  const ZEM_RESOURCE_TABLE *table = ResourceTableOf(module);
  *error = table == nullptr ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND;
  if (table == nullptr || table->pDialogs == nullptr || !ResourceId(name, &id)) return nullptr;
  for (UINT i = 0; i < table->nDialogs; ++i) {
    const ZEM_DIALOG_TEMPLATE &dialog = table->pDialogs[i];
    if (dialog.wId != id) continue;
    if (dialog.nControls > 0 && dialog.pControls == nullptr) {
      *error = ERROR_RESOURCE_DATA_NOT_FOUND;
      return nullptr;
    }
    return &dialog;
  }
  return nullptr;
}

}  // namespace zem::user

using namespace zem::user;

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
  WORD id = 0;
  DWORD error = ERROR_RESOURCE_NAME_NOT_FOUND;
  if (!ResourceId(lpIconName, &id) || !HasIcon(hInstance, id, &error)) return Fail<HICON>(error, nullptr);
  return Images().HandleFor(hInstance, id, ImageKind::kIcon);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
  // Modules carry no cursors of their own: only the stock ones exist.
  WORD id = 0;
  if (hInstance != nullptr || !ResourceId(lpCursorName, &id) || !IsStockCursor(id)) {
    return Fail<HCURSOR>(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
  }
  return Images().HandleFor(nullptr, id, ImageKind::kCursor);
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
  // Every handle stands for a shared resource, so it stays usable.
  return Images().IsKnown(hIcon) ? TRUE : Fail(ERROR_INVALID_ICON_HANDLE, FALSE);
}
