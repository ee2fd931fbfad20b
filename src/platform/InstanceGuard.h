#pragma once

#include <memory>
#include <string>

// Process-wide guard that keeps a second copy of the program from running for
// the same user. On Windows it is a named mutex in the session's namespace;
// on POSIX an exclusive flock on a file in the user's runtime folder. Either
// way the system frees it when the process ends, so a crash or a kill never
// leaves a stale guard behind.
class InstanceGuard {
 public:
  // Tries to take the guard called `name`; Held() tells whether it succeeded.
  explicit InstanceGuard(const std::string& name);
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  bool Held() const { return held_; }
  // Gives the guard up; a later guard of the same name may then take it.
  void Release();

 private:
  // The descriptor or handle the guard keeps open, one kind per platform.
  struct Native;
  std::unique_ptr<Native> native_;
  bool held_ = false;
};
