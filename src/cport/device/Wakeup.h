#pragma once

namespace serialdev {

// A flag that wakes a thread sleeping in poll(): an eventfd, readable while set.
class Wakeup {
 public:
  Wakeup();
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  // 0 when the eventfd was created, else the errno of its creation.
  int Error() const { return error_; }
  int Fd() const { return fd_; }
  void Set();
  void Clear();
  bool IsSet() const;

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace serialdev
