#include "InstanceGuard.h"

#include <windows.h>

struct InstanceGuard::Native {
  HANDLE mutex = nullptr;
};

InstanceGuard::InstanceGuard(const std::string& name) : native_(std::make_unique<Native>()) {
  // Created owned by this thread. Any last error means the name was taken:
  // ERROR_ALREADY_EXISTS from another copy's mutex, or a failed creation
  // because an object of another kind bears the name.
  SetLastError(0);
  native_->mutex = CreateMutexA(nullptr, TRUE, name.c_str());
  held_ = native_->mutex != nullptr && GetLastError() == 0;
}

InstanceGuard::~InstanceGuard() { Release(); }

// A refused guard may still have a handle (to the other copy's mutex); it is
// closed here too, which a refused copy does only as it ends.
void InstanceGuard::Release() {
  if (native_->mutex) {
    CloseHandle(native_->mutex);
    native_->mutex = nullptr;
  }
  held_ = false;
}
