#pragma once

#include <QString>

// Process-wide guard that keeps a second copy of the program from running for
// the same user: an exclusive flock on a file in the user's runtime folder.
// The kernel drops the lock when the descriptor closes, so a crash or a kill
// never leaves a stale guard behind.
class InstanceGuard {
 public:
  // Tries to take the guard called `name`; Held() tells whether it succeeded.
  explicit InstanceGuard(const QString& name);
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  bool Held() const { return fd_ >= 0; }
  void Release();

  // $XDG_RUNTIME_DIR (made when missing) when it is a folder, else a private folder /tmp/<name>-<uid> (mode 0700,
  // owned by the user); empty when no safe folder can be had.
  static QString RuntimeFolder(const QString& name);

 private:
  int fd_ = -1;
};
