#include "PosixDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "Deadlines.h"

namespace serialdev {

namespace {

constexpr int kLinePollMs = 100;
// Device numbers of Unix98 pseudo-terminal slaves.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;
constexpr uint32_t kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr uint32_t kCounterEvents = EV_ERR | EV_BREAK;
constexpr uint32_t kReceiveEvents = EV_RXCHAR | EV_RXFLAG | EV_RX80FULL;
// TIOCM_LOOP of <asm-generic/termios.h>, which clashes with <termios.h>.
constexpr int kModemLoop = 0x8000;
constexpr uint64_t kSpeedTolerancePercent = 2;

bool NoSuchFeature(int code) { return code == ENOTTY || code == EINVAL; }
bool MeansRemoval(int code) { return code == EIO || code == ENODEV || code == ENXIO; }

// Raw bytes, receiver on, modem lines ignored for open/read. VMIN 1 makes a
// non-blocking read of an empty queue fail with EAGAIN, so that a read of 0
// bytes means the line has hung up.
void MakeRaw(termios& tio) {
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
}

tcflag_t SizeFlag(uint8_t byteSize) {
  switch (byteSize) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

}  // namespace

// poll() that a signal does not restart from the full time-out: an
// interrupted wait goes on until the deadline it began with.
int PosixDevice::PollFor(std::vector<pollfd>& fds, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  int left = timeoutMs;
  while (sys_->Poll(fds.data(), fds.size(), left) < 0) {
    if (errno != EINTR) return errno;
    if (timeoutMs >= 0) left = MillisecondsUntil(deadline);
  }
  return 0;
}

PosixDevice::PosixDevice(std::shared_ptr<PosixSystem> system) : sys_(std::move(system)) {
  for (const Wakeup* w : {&stop_, &wake_, &arrived_, &txAbort_, &rxAbort_}) {
    if (w->Error() != 0 && openError_ == 0) openError_ = w->Error();
  }
}

PosixDevice::~PosixDevice() { Close(); }

int PosixDevice::Open(const std::string& path) {
  if (openError_ != 0) return openError_;
  if (fd_ >= 0) return EBUSY;
  const int fd = sys_->Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  auto refuse = [this, fd](int code) {
    sys_->Close(fd);
    return code;
  };
  termios tio{};
  if (sys_->GetAttributes(fd, tio) != 0) return refuse(errno);
  if (sys_->Lock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(errno == EWOULDBLOCK ? EBUSY : errno);
  if (sys_->Control(fd, TIOCEXCL, nullptr) != 0) return refuse(errno);
  MakeRaw(tio);
  if (sys_->SetAttributes(fd, tio) != 0) {
    const int code = errno;
    sys_->Control(fd, TIOCNXCL, nullptr);
    return refuse(code);
  }

  fd_ = fd;
  released_ = false;
  EnterLowLatency();
  removed_ = false;
  removalCode_ = 0;
  mask_ = 0;
  txEmpty_ = false;
  heldReceive_ = 0;
  int lines = 0;
  const int linesCode = ReadModemLines(lines);
  hasModemLines_ = linesCode == 0;
  LineCounters counters;
  const int countersCode = ReadCounters(counters);
  hasCounters_ = countersCode == 0;
  int lineStatus = 0;
  hasLineStatus_ = sys_->Control(fd, TIOCSERGETLSR, &lineStatus) == 0;
  struct stat status {};
  isPseudoTerminal_ = sys_->Stat(fd, status) == 0 && major(status.st_rdev) >= kPtySlaveMajorFirst &&
                      major(status.st_rdev) <= kPtySlaveMajorLast;
  const int code = (linesCode != 0 && !NoSuchFeature(linesCode)) ? linesCode
                   : (countersCode != 0 && !NoSuchFeature(countersCode))
                       ? countersCode
                       : ModemControl(TIOCMBIC, TIOCM_DTR | TIOCM_RTS);
  if (code != 0) {
    Close();
    return code;
  }
  std::lock_guard lock(mutex_);
  received_.clear();
  errorBase_ = counters;
  inputSize_ = 4096;
  timeouts_ = Timeouts{};
  baud_ = 9600;
  evtChar_ = 0;
  rtsToggle_ = false;
  return 0;
}

void PosixDevice::Close() {
  if (fd_ < 0) return;
  if (!removed_) {
    LeaveLowLatency();
    sys_->Control(fd_, TIOCNXCL, nullptr);
  }
  sys_->Close(fd_);
  fd_ = -1;
  std::lock_guard lock(mutex_);
  received_.clear();
}

// USB adapters hold received bytes for a latency timer (16 ms on FTDI);
// low-latency mode makes that 1 ms. Drivers without it (ptys, CH340) refuse
// with ENOTTY or EINVAL, which is no error: the port simply stays as it is.
void PosixDevice::EnterLowLatency() {
  lowLatencySet_ = false;
  serial_struct serial{};
  if (sys_->Control(fd_, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY)) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  lowLatencySet_ = sys_->Control(fd_, TIOCSSERIAL, &serial) == 0;
}

void PosixDevice::LeaveLowLatency() {
  if (!lowLatencySet_) return;
  lowLatencySet_ = false;
  serial_struct serial{};
  if (sys_->Control(fd_, TIOCGSERIAL, &serial) != 0) return;
  serial.flags &= ~ASYNC_LOW_LATENCY;
  sys_->Control(fd_, TIOCSSERIAL, &serial);
}

bool PosixDevice::IsOpen() const { return fd_ >= 0; }

bool PosixDevice::Removed() const { return removed_; }

void PosixDevice::ReleaseRemoved() {
  if (fd_ < 0 || !removed_ || released_) return;
  const int null = sys_->Open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0) return;
  if (sys_->Duplicate(null, fd_) >= 0) released_ = true;
  sys_->Close(null);
}

void PosixDevice::MarkRemoved(int code) {
  int none = 0;
  removalCode_.compare_exchange_strong(none, code);
  removed_ = true;
}

int PosixDevice::Fail(int code) {
  if (MeansRemoval(code)) MarkRemoved(code);
  return code;
}

// A device without modem lines (a pseudo-terminal) refused TIOCMGET at open
// and would refuse these alike; they are not asked again at every command.
int PosixDevice::ModemControl(unsigned long request, int bits) {
  if (!hasModemLines_) return 0;
  if (sys_->Control(fd_, request, &bits) == 0) return 0;
  const int code = errno;
  return NoSuchFeature(code) ? 0 : Fail(code);
}

int PosixDevice::ReadModemLines(int& lines) const {
  lines = 0;
  return sys_->Control(fd_, TIOCMGET, &lines) == 0 ? 0 : errno;
}

int PosixDevice::ReadCounters(LineCounters& counters) const {
  serial_icounter_struct raw{};
  if (sys_->Control(fd_, TIOCGICOUNT, &raw) != 0) return errno;
  counters = {raw.frame, raw.parity, raw.overrun, raw.brk, raw.buf_overrun};
  return 0;
}

int PosixDevice::OutputQueue(int& bytes) const {
  bytes = 0;
  if (sys_->Control(fd_, TIOCOUTQ, &bytes) == 0) return 0;
  return NoSuchFeature(errno) ? 0 : errno;
}

bool PosixDevice::TransmitterBusy() const {
  int lineStatus = 0;
  return hasLineStatus_ && sys_->Control(fd_, TIOCSERGETLSR, &lineStatus) == 0 && !(lineStatus & TIOCSER_TEMT);
}

int PosixDevice::SetState(const ControlBlock& dcb) {
  if (fd_ < 0) return EBADF;
  if (removed_) return removalCode_;
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2) return EINVAL;
  termios tio{};
  if (sys_->GetAttributes(fd_, tio) != 0) return Fail(errno);
  MakeRaw(tio);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= SizeFlag(dcb.ByteSize);
  switch (dcb.Parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  tio.c_iflag &= ~INPCK;
  if (dcb.Parity != 0 && dcb.fParity) tio.c_iflag |= INPCK;
  if (dcb.StopBits != 0) tio.c_cflag |= CSTOPB;
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == 2) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (dcb.fOutX) tio.c_iflag |= IXON;
  if (dcb.fInX) tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  // A pseudo-terminal holds 8 data bits without parity whatever is asked,
  // and the C library refuses a request that reads back otherwise; so it is
  // asked for what it keeps.
  if (isPseudoTerminal_) tio.c_cflag = (tio.c_cflag & ~(CSIZE | PARENB)) | CS8;
  if (sys_->SetAttributes(fd_, tio) != 0) return Fail(errno);
  if (const int code = sys_->SetSpeed(fd_, dcb.BaudRate); code != 0) return Fail(code);
  uint32_t actual = 0;
  if (const int code = sys_->GetSpeed(fd_, actual); code != 0) return Fail(code);
  // A driver rounds a speed to what its divisor gives; within 2 % (half of
  // what two UARTs may differ by for 8N1 frames) the line still works.
  if (uint64_t{actual > dcb.BaudRate ? actual - dcb.BaudRate : dcb.BaudRate - actual} * 100 >
      uint64_t{dcb.BaudRate} * kSpeedTolerancePercent)
    return EINVAL;
  // A pseudo-terminal keeps no framing (it reads back 8 data bits, no
  // parity), so only a real port is held to it; a driver that cannot do,
  // say, mark parity reads back without it and so refuses the settings.
  termios applied{};
  if (sys_->GetAttributes(fd_, applied) != 0) return Fail(errno);
  constexpr tcflag_t kFraming = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
  if (!isPseudoTerminal_ && (applied.c_cflag & kFraming) != (tio.c_cflag & kFraming)) return EINVAL;

  const bool dtrOn = dcb.fDtrControl != 0;
  const bool rtsOn = dcb.fRtsControl == 1 || dcb.fRtsControl == 2;
  if (const int code = ModemControl(dtrOn ? TIOCMBIS : TIOCMBIC, TIOCM_DTR); code != 0) return code;
  if (const int code = ModemControl(rtsOn ? TIOCMBIS : TIOCMBIC, TIOCM_RTS); code != 0) return code;

  std::lock_guard lock(mutex_);
  baud_ = dcb.BaudRate;
  evtChar_ = dcb.EvtChar;
  rtsToggle_ = dcb.fRtsControl == 3;
  return 0;
}

int PosixDevice::SetTimeouts(const Timeouts& timeouts) {
  if (fd_ < 0) return EBADF;
  if (removed_) return removalCode_;
  std::lock_guard lock(mutex_);
  timeouts_ = timeouts;
  return 0;
}

int PosixDevice::SetQueueSizes(int input, int output) {
  if (fd_ < 0) return EBADF;
  if (removed_) return removalCode_;
  if (input < 0 || output < 0) return EINVAL;
  {
    std::lock_guard lock(mutex_);
    inputSize_ = input > 0 ? static_cast<size_t>(input) : 4096;
  }
  wake_.Set();
  return 0;
}

int PosixDevice::WaitWritable(size_t accepted, size_t count, int outQueue, Clock::time_point deadline, bool bounded) {
  std::vector<pollfd> fds{{txAbort_.Fd(), POLLIN, 0}};
  int timeoutMs = bounded ? MillisecondsUntil(deadline) : -1;
  if (accepted < count) {
    fds.push_back({fd_, POLLOUT, 0});
  } else {
    // Bytes still to send: sleep about as long as they take, 20 ms at most,
    // so that the write ends soon after the last byte has gone.
    uint32_t baud = 0;
    {
      std::lock_guard lock(mutex_);
      baud = baud_;
    }
    const int drainMs =
        static_cast<int>(std::clamp<int64_t>(int64_t{outQueue} * 10000 / std::max<uint32_t>(baud, 1), 1, 20));
    timeoutMs = timeoutMs < 0 ? drainMs : std::min(timeoutMs, drainMs);
  }
  const int code = PollFor(fds, timeoutMs);
  if (fds[0].revents & POLLIN) txAbort_.Clear();
  return code;
}

int PosixDevice::Write(const uint8_t* data, size_t count, size_t& written) {
  written = 0;
  if (fd_ < 0) return EBADF;
  if (removed_) return removalCode_;
  if (count == 0) return 0;
  const uint64_t aborts = txAborts_;
  Timeouts timeouts;
  bool toggle = false;
  {
    std::lock_guard lock(mutex_);
    timeouts = timeouts_;
    toggle = rtsToggle_;
  }
  const auto [bounded, deadline] = WriteDeadline(timeouts, count);
  if (toggle) {
    if (const int code = ModemControl(TIOCMBIS, TIOCM_RTS); code != 0) return code;
  }

  size_t accepted = 0;
  int code = 0;
  bool complete = false;
  while (true) {
    if (txAborts_ != aborts) {
      code = ECANCELED;
      break;
    }
    if (removed_) break;
    if (accepted < count) {
      const ssize_t n = sys_->Write(fd_, data + accepted, count - accepted);
      if (n > 0) {
        accepted += static_cast<size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        code = Fail(errno);
        break;
      }
    }
    int outQueue = 0;
    if (accepted == count) {
      if (const int c = OutputQueue(outQueue); c != 0) {
        code = Fail(c);
        break;
      }
      // A byte has left the port once the UART's transmitter is empty too.
      if (outQueue == 0 && !TransmitterBusy() && !removed_) {
        complete = true;
        break;
      }
    }
    if (bounded && Clock::now() >= deadline) break;
    if (const int c = WaitWritable(accepted, count, outQueue, deadline, bounded); c != 0) {
      code = c;
      break;
    }
  }

  if (complete) {
    written = count;
  } else if (!removed_) {
    // Whatever has not left by now is discarded, so that nothing goes out
    // after the write has ended.
    int outQueue = 0;
    OutputQueue(outQueue);
    written = accepted - std::min(accepted, static_cast<size_t>(std::max(outQueue, 0)));
    if (outQueue > 0) sys_->Flush(fd_, TCOFLUSH);
  } else {
    written = accepted;
    if (code == 0) code = removalCode_;
  }
  if (toggle && !removed_) ModemControl(TIOCMBIC, TIOCM_RTS);
  // While the event thread has not taken the last notice, it needs no other.
  if (complete && !txEmpty_.exchange(true)) wake_.Set();
  return code;
}

int PosixDevice::Read(uint8_t* buffer, size_t count, size_t& read) {
  read = 0;
  if (fd_ < 0) return EBADF;
  if (count == 0) return 0;
  const uint64_t aborts = rxAborts_;
  Timeouts t;
  {
    std::lock_guard lock(mutex_);
    t = timeouts_;
  }
  ReadBound bound(t, count);

  while (true) {
    bool hungUp = false;
    int code = 0;
    size_t before = read;
    {
      std::lock_guard lock(mutex_);
      const bool wasFull = received_.size() >= inputSize_;
      const size_t queued = std::min(count - read, received_.size());
      std::copy_n(received_.begin(), queued, buffer + read);
      received_.erase(received_.begin(), received_.begin() + static_cast<ptrdiff_t>(queued));
      read += queued;
      if (wasFull && queued > 0) wake_.Set();
      if (read < count && !removed_) {
        const ssize_t n = sys_->Read(fd_, buffer + read, count - read);
        if (n > 0) {
          read += static_cast<size_t>(n);
        } else if (n == 0) {
          hungUp = true;
        } else if (errno != EAGAIN && errno != EINTR) {
          code = errno;
        }
      }
    }
    if (hungUp) MarkRemoved(EIO);
    if (code != 0) Fail(code);
    if (read > before) bound.BytesArrived();
    if (read == count) return 0;
    if (removed_) return read > 0 ? 0 : removalCode_.load();
    if (code != 0) return code;
    if (bound.EndsWith(read)) return 0;
    if (rxAborts_ != aborts) return ECANCELED;

    const int timeoutMs = bound.WaitMs(read);
    if (timeoutMs == 0) return 0;
    std::vector<pollfd> fds{{fd_, POLLIN, 0}, {arrived_.Fd(), POLLIN, 0}, {rxAbort_.Fd(), POLLIN, 0}};
    if (const int c = PollFor(fds, timeoutMs); c != 0) return c;
    if (fds[1].revents & POLLIN) arrived_.Clear();
    if (fds[2].revents & POLLIN) rxAbort_.Clear();
  }
}

int PosixDevice::Purge(uint32_t flags) {
  if (fd_ < 0) return EBADF;
  if (flags & PURGE_TXABORT) {
    ++txAborts_;
    txAbort_.Set();
  }
  if (flags & PURGE_RXABORT) {
    ++rxAborts_;
    rxAbort_.Set();
  }
  if (flags & PURGE_RXCLEAR) {
    std::lock_guard lock(mutex_);
    received_.clear();
    wake_.Set();
  }
  if (removed_) return 0;
  if ((flags & PURGE_TXCLEAR) && sys_->Flush(fd_, TCOFLUSH) != 0) return Fail(errno);
  if ((flags & PURGE_RXCLEAR) && sys_->Flush(fd_, TCIFLUSH) != 0) return Fail(errno);
  return 0;
}

int PosixDevice::SetRts(bool on) {
  if (fd_ < 0) return EBADF;
  if (removed_) return 0;
  return ModemControl(on ? TIOCMBIS : TIOCMBIC, TIOCM_RTS);
}

int PosixDevice::SetLoopback(bool on) {
  if (fd_ < 0) return EBADF;
  if (removed_) return removalCode_;
  int lines = 0;
  if (sys_->Control(fd_, TIOCMGET, &lines) != 0) return Fail(errno);
  lines = on ? (lines | kModemLoop) : (lines & ~kModemLoop);
  if (sys_->Control(fd_, TIOCMSET, &lines) != 0) return Fail(errno);
  return 0;
}

int PosixDevice::GetModemStatus(uint32_t& modemBits) {
  modemBits = 0;
  if (fd_ < 0) return EBADF;
  if (removed_) return removalCode_;
  int lines = 0;
  if (const int code = ReadModemLines(lines); code != 0) return NoSuchFeature(code) ? 0 : Fail(code);
  if (lines & TIOCM_CTS) modemBits |= MS_CTS_ON;
  if (lines & TIOCM_DSR) modemBits |= MS_DSR_ON;
  if (lines & TIOCM_RNG) modemBits |= MS_RING_ON;
  if (lines & TIOCM_CAR) modemBits |= MS_RLSD_ON;
  return 0;
}

int PosixDevice::ClearErrors(uint32_t& errorFlags, uint32_t& inputQueue) {
  errorFlags = 0;
  inputQueue = 0;
  if (fd_ < 0) return EBADF;
  std::lock_guard lock(mutex_);
  inputQueue = static_cast<uint32_t>(received_.size());
  if (removed_) return 0;
  int driverQueue = 0;
  if (sys_->Control(fd_, TIOCINQ, &driverQueue) != 0) return Fail(errno);
  inputQueue += static_cast<uint32_t>(std::max(driverQueue, 0));
  if (!hasCounters_) return 0;
  LineCounters now;
  if (const int code = ReadCounters(now); code != 0) return Fail(code);
  if (now.frame != errorBase_.frame) errorFlags |= CE_FRAME;
  if (now.parity != errorBase_.parity) errorFlags |= CE_RXPARITY;
  if (now.overrun != errorBase_.overrun) errorFlags |= CE_OVERRUN;
  if (now.brk != errorBase_.brk) errorFlags |= CE_BREAK;
  if (now.bufOverrun != errorBase_.bufOverrun) errorFlags |= CE_RXOVER;
  errorBase_ = now;
  return 0;
}

int PosixDevice::SetEventMask(uint32_t mask) {
  if (fd_ < 0) return EBADF;
  mask_ = mask;
  maskChanged_ = true;
  wake_.Set();
  return 0;
}

void PosixDevice::BeginEventWaits() { stop_.Clear(); }

void PosixDevice::StopEventWaits() { stop_.Set(); }

int PosixDevice::TakeArrivals(uint32_t& occurred) {
  std::lock_guard lock(mutex_);
  if (received_.size() >= inputSize_) return 0;
  uint8_t chunk[4096];
  const size_t room = std::min(sizeof chunk, inputSize_ - received_.size());
  const ssize_t n = sys_->Read(fd_, chunk, room);
  if (n == 0) {
    MarkRemoved(EIO);
    return EIO;
  }
  if (n < 0) return errno == EAGAIN || errno == EINTR ? 0 : Fail(errno);
  received_.insert(received_.end(), chunk, chunk + n);
  occurred |= EV_RXCHAR;
  if (std::find(chunk, chunk + n, static_cast<uint8_t>(evtChar_)) != chunk + n) occurred |= EV_RXFLAG;
  const bool above80 = received_.size() * 5 >= inputSize_ * 4;
  if (above80 && !rx80Signalled_) occurred |= EV_RX80FULL;
  rx80Signalled_ = above80;
  arrived_.Set();
  return 0;
}

void PosixDevice::CheckLines(uint32_t mask, uint32_t& occurred) {
  if (hasModemLines_ && (mask & kLineEvents)) {
    int lines = 0;
    if (ReadModemLines(lines) == 0) {
      const int changed = lines ^ waitLines_;
      if (changed & TIOCM_CTS) occurred |= EV_CTS;
      if (changed & TIOCM_DSR) occurred |= EV_DSR;
      if (changed & TIOCM_CAR) occurred |= EV_RLSD;
      if ((changed & TIOCM_RNG) && (lines & TIOCM_RNG)) occurred |= EV_RING;
      waitLines_ = lines;
    }
  }
  if (hasCounters_ && (mask & kCounterEvents)) {
    LineCounters now;
    if (ReadCounters(now) == 0) {
      if (now.frame != waitCounters_.frame || now.parity != waitCounters_.parity ||
          now.overrun != waitCounters_.overrun || now.bufOverrun != waitCounters_.bufOverrun)
        occurred |= EV_ERR;
      if (now.brk != waitCounters_.brk) occurred |= EV_BREAK;
      waitCounters_ = now;
    }
  }
}

int PosixDevice::WaitEvent(uint32_t& occurred) {
  occurred = 0;
  if (fd_ < 0) return EBADF;
  if (stop_.IsSet()) return kWaitStopped;
  if (const uint32_t held = std::exchange(heldReceive_, 0) & mask_; held != 0) {
    occurred = held;
    return 0;
  }
  while (true) {
    if (removed_) return removalCode_;
    const uint32_t mask = mask_;
    if (maskChanged_.exchange(false)) {
      ReadModemLines(waitLines_);
      ReadCounters(waitCounters_);
    }
    bool roomToReceive = false;
    {
      std::lock_guard lock(mutex_);
      roomToReceive = received_.size() < inputSize_;
    }
    const bool pollLines = (hasModemLines_ && (mask & kLineEvents)) || (hasCounters_ && (mask & kCounterEvents));
    std::vector<pollfd> fds{
        {stop_.Fd(), POLLIN, 0}, {wake_.Fd(), POLLIN, 0}, {fd_, static_cast<short>(roomToReceive ? POLLIN : 0), 0}};
    if (const int code = PollFor(fds, pollLines ? kLinePollMs : -1); code != 0) return code;
    if (fds[0].revents & POLLIN) return kWaitStopped;
    if (fds[1].revents & POLLIN) wake_.Clear();
    if (txEmpty_.exchange(false)) occurred |= EV_TXEMPTY;
    const short deviceEvents = fds[2].revents;
    if (deviceEvents & POLLNVAL) return Fail(EBADF);
    if (deviceEvents & (POLLIN | POLLHUP | POLLERR)) {
      if (const int code = TakeArrivals(occurred); code != 0 && (occurred & mask) == 0) return code;
      if ((deviceEvents & (POLLHUP | POLLERR)) && !(occurred & EV_RXCHAR)) MarkRemoved(EIO);
    }
    CheckLines(mask, occurred);
    occurred &= mask;
    // A break's NUL byte follows the break on the line, but the component
    // dispatches a batch's bytes before its break: the bytes wait for the
    // next batch.
    if (occurred & EV_BREAK) {
      heldReceive_ = occurred & kReceiveEvents;
      occurred &= ~kReceiveEvents;
    }
    if (occurred != 0) return 0;
  }
}

}  // namespace serialdev
