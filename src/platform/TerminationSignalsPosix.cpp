#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int writeEnd = -1;
int readEnd = -1;

// Only an async-signal-safe write: the owner thread does the rest.
void Forward(int signal) {
  const int saved = errno;
  const char number = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t written = write(writeEnd, &number, 1);
  errno = saved;
}

}  // namespace

struct TerminationSignals::Native {
  std::unique_ptr<QSocketNotifier> notifier;
};

TerminationSignals::TerminationSignals(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)), native_(std::make_unique<Native>()) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) return;
  writeEnd = ends[0];
  readEnd = ends[1];
  native_->notifier = std::make_unique<QSocketNotifier>(readEnd, QSocketNotifier::Read);
  connect(native_->notifier.get(), &QSocketNotifier::activated, this, [this] {
    char numbers[16];
    while (read(readEnd, numbers, sizeof numbers) > 0) {
    }
    onSignal_();
  });
  struct sigaction action {};
  action.sa_handler = Forward;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kSignals) sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
  if (!native_->notifier) return;
  for (const int signal : kSignals) std::signal(signal, SIG_DFL);
  native_->notifier.reset();
  close(writeEnd);
  close(readEnd);
  writeEnd = readEnd = -1;
}
