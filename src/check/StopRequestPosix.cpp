#include "StopRequest.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

struct StopRequest::Native {
  sigset_t blocked;
  int fd = -1;
  QSocketNotifier* notifier = nullptr;
};

StopRequest::StopRequest(std::function<void()> onStop) : onStop_(std::move(onStop)), native_(new Native) {
  sigemptyset(&native_->blocked);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&native_->blocked, signal);
  pthread_sigmask(SIG_BLOCK, &native_->blocked, nullptr);
  native_->fd = signalfd(-1, &native_->blocked, SFD_CLOEXEC | SFD_NONBLOCK);
  if (native_->fd < 0) return;
  native_->notifier = new QSocketNotifier(native_->fd, QSocketNotifier::Read, this);
  connect(native_->notifier, &QSocketNotifier::activated, this, [this] {
    signalfd_siginfo info;
    while (read(native_->fd, &info, sizeof info) == sizeof info) {
    }
    onStop_();
  });
}

StopRequest::~StopRequest() {
  delete native_->notifier;
  if (native_->fd >= 0) close(native_->fd);
  pthread_sigmask(SIG_UNBLOCK, &native_->blocked, nullptr);
  delete native_;
}
