#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

#include "HostLine.h"
#include "Termios2.h"

namespace {

// The master side of a raw pseudo-terminal; the port opens the slave. A
// descriptor of the slave, opened before the port's, shows its settings.
class PtyHostLine final : public HostLine {
 public:
  PtyHostLine() {
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, nullptr, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
    slavePath_ = ::ttyname(slave_);
  }
  ~PtyHostLine() override {
    if (master_ >= 0) ::close(master_);
    ::close(slave_);
  }

  std::string PortName() const override { return slavePath_; }
  std::string MissingPortName() const override { return "/dev/no-such-serial-port"; }
  void Write(const std::string& bytes) override {
    if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("write to the pseudo-terminal failed");
    }
  }
  std::string Read(size_t count, int limitMs) override {
    std::string got;
    while (got.size() < count) {
      pollfd fd{master_, POLLIN, 0};
      if (::poll(&fd, 1, limitMs) != 1) break;
      char chunk[256];
      const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - got.size()));
      if (n <= 0) break;
      got.append(chunk, static_cast<size_t>(n));
    }
    return got;
  }
  uint32_t LineSpeed() override {
    uint32_t baud = 0;
    if (serialdev::termios2::GetSpeed(slave_, baud) != 0) throw std::runtime_error("the line's speed is unreadable");
    return baud;
  }
  void HangUp() override {
    ::close(master_);
    master_ = -1;
  }
  // A pseudo-terminal has no modem lines to watch.
  std::optional<std::vector<std::string>> RtsChanges() override { return std::nullopt; }
  bool SharesOpenPorts() const override { return false; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

}  // namespace

std::unique_ptr<HostLine> MakeHostLine() { return std::make_unique<PtyHostLine>(); }

int64_t ProcessCpuMilliseconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return (int64_t{usage.ru_utime.tv_sec} + usage.ru_stime.tv_sec) * 1000 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}
