// A test's own copy of the internet-library double: the module copied into a
// fresh folder as WININET.DLL, loaded, and its control at hand. A client is
// pointed at it with SetModulePath(folder()) and LoadWinInet().
#ifndef ZEM_TESTS_DOUBLE_DOUBLE_FIXTURE_H
#define ZEM_TESTS_DOUBLE_DOUBLE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "platform/kernel/bound_export.h"
#include "temp_dir.h"
#include "tests/double/wininet_double.h"
#include "windows.h"

namespace zemtest {

class WinInetDouble {
 public:
  WinInetDouble() {
    path_ = dir_.copy_in(ZEM_TEST_DOUBLE_PATH, "WININET.DLL");
    // The fixture holds its own reference, so the double and what it
    // recorded outlive every client that loads and releases it.
    module_ = LoadLibraryA(path_.c_str());
    if (module_ == nullptr) {
      ADD_FAILURE() << "the double did not load from " << path_ << " (error " << GetLastError() << ")";
      return;
    }
    auto entry = zem::platform::BoundExport<zemdouble::ControlEntry>(module_, ZEM_DOUBLE_CONTROL_SYMBOL);
    if (entry == nullptr) {
      ADD_FAILURE() << "the double exports no " ZEM_DOUBLE_CONTROL_SYMBOL;
      return;
    }
    control_ = entry();
    control_->Reset();
  }
  ~WinInetDouble() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  WinInetDouble(const WinInetDouble &) = delete;
  WinInetDouble &operator=(const WinInetDouble &) = delete;

  zemdouble::Control &ctl() { return *control_; }
  // The folder holding WININET.DLL, for SetModulePath.
  const std::string &folder() const { return dir_.path(); }
  const std::string &path() const { return path_; }
  HMODULE module() const { return module_; }
  bool ok() const { return control_ != nullptr; }

 private:
  TempDir dir_;  // removed only after the module is released
  std::string path_;
  HMODULE module_ = nullptr;
  zemdouble::Control *control_ = nullptr;
};

}  // namespace zemtest

#endif  // ZEM_TESTS_DOUBLE_DOUBLE_FIXTURE_H
