#include "NetworkDevice.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "Deadlines.h"
#include "PortNames.h"

namespace serialdev {

namespace {

constexpr size_t kPumpLimit = 64 * 1024;
constexpr uint64_t kSpeedTolerancePercent = 2;
constexpr uint8_t kLineBreak = 0x10, kLineFraming = 0x08, kLineParity = 0x04, kLineOverrun = 0x02;
constexpr uint8_t kModemStateMask = 0xFF;
constexpr uint8_t kLineStateMask = kLineBreak | kLineFraming | kLineParity | kLineOverrun;
// SET-CONTROL values.
constexpr uint8_t kNoFlow = 1, kXonXoff = 2, kHardwareFlow = 3, kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12;
// PURGE-DATA values: the server's receive buffer, its transmit buffer.
constexpr uint8_t kPurgeReceive = 1, kPurgeTransmit = 2;

std::string Byte(uint8_t value) { return std::string(1, static_cast<char>(value)); }

std::string BigEndian(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

// The data bytes wholly inside the first `sent` bytes of their escaped form.
size_t DataBytesSent(const uint8_t* data, size_t count, size_t sent) {
  size_t taken = 0;
  size_t i = 0;
  for (; i < count; ++i) {
    taken += data[i] == TelnetSession::kIac ? 2 : 1;
    if (taken > sent) break;
  }
  return i;
}

}  // namespace

NetworkDevice::NetworkDevice(NetworkTiming timing) : timing_(timing) {
  for (const SocketSignal* s : {&stop_, &wake_, &arrived_, &txAbort_, &rxAbort_}) {
    if (s->Error() != 0 && setupError_ == 0) setupError_ = s->Error();
  }
}

NetworkDevice::~NetworkDevice() { Close(); }

int NetworkDevice::Open(const std::string& path) {
  if (setupError_ != 0) return setupError_;
  if (open_) return SocketCodes::kBusy;
  const auto address = ParseNetworkName(path);
  if (!address) return SocketCodes::kInvalid;
  if (const int code = channel_.Connect(address->host, address->port, timing_.connectMs, timing_.silence); code != 0)
    return code;
  rfc2217_ = address->rfc2217;
  session_ = TelnetSession();
  unsent_.clear();
  removed_ = false;
  removalCode_ = 0;
  released_ = false;
  mask_ = 0;
  controlSilent_ = false;
  purgeSilent_ = false;
  {
    std::lock_guard lock(mutex_);
    received_.clear();
    inputSize_ = 4096;
    rx80Signalled_ = false;
    pending_ = 0;
    errors_ = 0;
    modem_ = 0;
    timeouts_ = Timeouts{};
    evtChar_ = 0;
    applied_.reset();
  }
  open_ = true;
  if (!rfc2217_) return 0;
  int code = SendCommands(session_.Opening());
  if (code == 0) {
    code = AwaitSession([this] { return session_.ComPort() != TelnetSession::ComPortState::Pending; },
                        Clock::now() + std::chrono::milliseconds(timing_.answerMs));
  }
  if (code == 0 && session_.ComPort() == TelnetSession::ComPortState::Refused) code = SocketCodes::kNoProtocol;
  // The masks are sent without waiting: servers that notify do so without
  // answering them.
  if (code == 0) {
    code = SendCommands(TelnetSession::Request(TelnetSession::kSetModemStateMask, Byte(kModemStateMask)) +
                        TelnetSession::Request(TelnetSession::kSetLineStateMask, Byte(kLineStateMask)));
  }
  if (code != 0) Close();
  return code;
}

void NetworkDevice::Close() {
  if (!open_) return;
  {
    std::lock_guard io(ioMutex_);
    std::lock_guard send(sendMutex_);
    channel_.Close();
    open_ = false;
  }
  std::lock_guard lock(mutex_);
  received_.clear();
  pending_ = 0;
}

bool NetworkDevice::IsOpen() const { return open_; }

bool NetworkDevice::Removed() const { return removed_; }

void NetworkDevice::ReleaseRemoved() {
  if (!open_ || !removed_ || released_) return;
  std::lock_guard io(ioMutex_);
  std::lock_guard send(sendMutex_);
  channel_.Close();
  released_ = true;
}

void NetworkDevice::MarkRemoved(int code) {
  int none = 0;
  removalCode_.compare_exchange_strong(none, code);
  removed_ = true;
  uint32_t events = 0;
  Notify(events);
}

// Wakes every thread that may wait for what a pump brought.
void NetworkDevice::Notify(uint32_t& events) {
  std::lock_guard lock(mutex_);
  pending_ |= events;
  wake_.Set();
  arrived_.Set();
  for (SocketSignal* waiter : answerWaiters_) waiter->Set();
}

void NetworkDevice::Deliver(const std::string& data, uint32_t& events) {
  if (data.empty()) return;
  std::lock_guard lock(mutex_);
  const size_t room = inputSize_ > received_.size() ? inputSize_ - received_.size() : 0;
  const size_t kept = std::min(room, data.size());
  received_.insert(received_.end(), data.begin(), data.begin() + static_cast<ptrdiff_t>(kept));
  if (kept < data.size()) {
    errors_ |= CE_RXOVER;
    events |= EV_ERR;
  }
  if (kept > 0) events |= EV_RXCHAR;
  if (data.find(evtChar_) != std::string::npos) events |= EV_RXFLAG;
  const bool above80 = received_.size() * 5 >= inputSize_ * 4;
  if (above80 && !rx80Signalled_) events |= EV_RX80FULL;
  rx80Signalled_ = above80;
}

void NetworkDevice::Pump() {
  std::lock_guard io(ioMutex_);
  if (removed_ || !channel_.IsOpen()) return;
  uint32_t events = 0;
  bool any = false;
  uint8_t chunk[4096];
  for (size_t total = 0; total < kPumpLimit;) {
    size_t got = 0;
    bool ended = false;
    const int code = channel_.Receive(chunk, sizeof chunk, got, ended);
    if (code != 0 || ended) {
      MarkRemoved(code != 0 ? code : SocketCodes::kReset);
      break;
    }
    if (got == 0) break;
    total += got;
    any = true;
    if (!rfc2217_) {
      Deliver(std::string(reinterpret_cast<const char*>(chunk), got), events);
      continue;
    }
    std::string data, replies;
    session_.Receive(chunk, got, data, replies);
    Deliver(data, events);
    const uint8_t line = session_.TakeLineState();
    const TelnetSession::ModemReport modem = session_.TakeModemReport();
    {
      std::lock_guard lock(mutex_);
      if (line & kLineBreak) errors_ |= CE_BREAK, events |= EV_BREAK | EV_ERR;
      if (line & kLineFraming) errors_ |= CE_FRAME, events |= EV_ERR;
      if (line & kLineParity) errors_ |= CE_RXPARITY, events |= EV_ERR;
      if (line & kLineOverrun) errors_ |= CE_OVERRUN, events |= EV_ERR;
      if (modem.reported) {
        modem_ = modem.state & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
        if (modem.changed & MS_CTS_ON) events |= EV_CTS;
        if (modem.changed & MS_DSR_ON) events |= EV_DSR;
        if (modem.changed & MS_RLSD_ON) events |= EV_RLSD;
        if (modem.changed & MS_RING_ON) events |= EV_RING;
      }
    }
    if (!replies.empty()) {
      std::lock_guard send(sendMutex_);
      size_t sent = 0;
      SendLocked(replies, sent, Clock::now() + std::chrono::milliseconds(timing_.answerMs), true, txAborts_);
    }
  }
  if (any) Notify(events);
}

int NetworkDevice::SendLocked(const std::string& bytes, size_t& sent, Clock::time_point deadline, bool bounded,
                              uint64_t aborts) {
  sent = 0;
  std::string all = std::exchange(unsent_, {});
  const size_t carried = all.size();
  all += bytes;
  size_t done = 0;
  int code = 0;
  while (true) {
    if (removed_) {
      code = removalCode_;
      break;
    }
    size_t n = 0;
    if (const int c = channel_.Send(reinterpret_cast<const uint8_t*>(all.data()) + done, all.size() - done, n);
        c != 0) {
      MarkRemoved(c);
      code = c;
      break;
    }
    done += n;
    if (done == all.size()) break;
    if (txAborts_ != aborts) {
      code = SocketCodes::kCancelled;
      break;
    }
    if (bounded && Clock::now() >= deadline) {
      code = SocketCodes::kTimedOut;
      break;
    }
    channel_.Wait(true, {&txAbort_}, bounded ? MillisecondsUntil(deadline) : -1);
  }
  sent = done > carried ? done - carried : 0;
  if (done < carried) unsent_ = all.substr(done, carried - done);
  return code;
}

int NetworkDevice::SendCommands(const std::string& bytes) {
  std::lock_guard send(sendMutex_);
  size_t sent = 0;
  const int code =
      SendLocked(bytes, sent, Clock::now() + std::chrono::milliseconds(timing_.answerMs), true, txAborts_);
  // A command cut short must still go whole before anything else does.
  if (sent < bytes.size()) unsent_ += bytes.substr(sent);
  return code;
}

template <typename Done>
int NetworkDevice::AwaitSession(Done done, Clock::time_point deadline) {
  SocketSignal answered;
  if (answered.Error() != 0) return answered.Error();
  {
    std::lock_guard lock(mutex_);
    answerWaiters_.push_back(&answered);
  }
  int code = 0;
  while (true) {
    answered.Clear();
    Pump();
    {
      std::lock_guard io(ioMutex_);
      if (done()) break;
    }
    if (removed_) {
      code = removalCode_;
      break;
    }
    const int left = MillisecondsUntil(deadline);
    if (left == 0) {
      code = SocketCodes::kTimedOut;
      break;
    }
    if (const int c = channel_.Wait(false, {&answered}, left); c != 0) {
      code = c;
      break;
    }
  }
  std::lock_guard lock(mutex_);
  std::erase(answerWaiters_, &answered);
  return code;
}

int NetworkDevice::Exchange(const std::vector<Request>& requests) {
  std::array<uint64_t, 13> expected{};
  std::string bytes;
  {
    std::lock_guard io(ioMutex_);
    for (const Request& r : requests) {
      const bool silent = (r.command == TelnetSession::kSetControl && controlSilent_) ||
                          (r.command == TelnetSession::kPurgeData && purgeSilent_);
      if (!silent) expected[r.command] = std::max(expected[r.command], session_.Answers(r.command)) + 1;
      bytes += TelnetSession::Request(r.command, r.value);
    }
  }
  if (const int code = SendCommands(bytes); code != 0) return code;
  auto answered = [&](Command c) { return session_.Answers(c) >= expected[c]; };
  const int code = AwaitSession(
      [&] {
        for (const Request& r : requests) {
          if (!answered(r.command)) return false;
        }
        return true;
      },
      Clock::now() + std::chrono::milliseconds(timing_.answerMs));
  std::lock_guard io(ioMutex_);
  if (code == SocketCodes::kTimedOut) {
    // A server that leaves these unanswered is waited for once a session:
    // from now on they are sent without waiting.
    for (const Request& r : requests) {
      if (answered(r.command)) continue;
      if (r.command == TelnetSession::kSetControl) {
        controlSilent_ = true;
      } else if (r.command == TelnetSession::kPurgeData) {
        purgeSilent_ = true;
      } else {
        return SocketCodes::kTimedOut;
      }
    }
  } else if (code != 0) {
    return code;
  }
  for (const Request& r : requests) {
    if (!answered(r.command) || expected[r.command] == 0) continue;
    const std::string& answer = session_.LastAnswer(r.command);
    if (r.command == TelnetSession::kSetBaudRate) {
      if (answer.size() != 4) return SocketCodes::kInvalid;
      uint32_t asked = 0, got = 0;
      for (int i = 0; i < 4; ++i) {
        asked = asked << 8 | static_cast<uint8_t>(r.value[i]);
        got = got << 8 | static_cast<uint8_t>(answer[i]);
      }
      // Within 2 %, as for a local driver's rounding.
      if (uint64_t{got > asked ? got - asked : asked - got} * 100 > uint64_t{asked} * kSpeedTolerancePercent)
        return SocketCodes::kInvalid;
    } else if (r.command == TelnetSession::kSetDataSize || r.command == TelnetSession::kSetParity ||
               r.command == TelnetSession::kSetStopSize) {
      if (answer != r.value) return SocketCodes::kInvalid;
    }
  }
  return 0;
}

int NetworkDevice::SetState(const ControlBlock& dcb) {
  if (!open_) return SocketCodes::kBadHandle;
  if (removed_) return removalCode_;
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2)
    return SocketCodes::kInvalid;
  std::optional<ControlBlock> before;
  {
    std::lock_guard lock(mutex_);
    evtChar_ = dcb.EvtChar;
    before = applied_;
  }
  if (!rfc2217_) return 0;
  const uint8_t flow = (dcb.fOutxCtsFlow || dcb.fRtsControl == 2) ? kHardwareFlow
                       : (dcb.fOutX || dcb.fInX)                  ? kXonXoff
                                                                  : kNoFlow;
  const bool dtr = dcb.fDtrControl != 0;
  const bool rts = dcb.fRtsControl == 1 || dcb.fRtsControl == 2;
  std::vector<Request> requests;
  const bool all = !before;
  if (all || before->BaudRate != dcb.BaudRate)
    requests.push_back({TelnetSession::kSetBaudRate, BigEndian(dcb.BaudRate)});
  if (all || before->ByteSize != dcb.ByteSize) requests.push_back({TelnetSession::kSetDataSize, Byte(dcb.ByteSize)});
  if (all || before->Parity != dcb.Parity)
    requests.push_back({TelnetSession::kSetParity, Byte(static_cast<uint8_t>(dcb.Parity + 1))});
  if (all || before->StopBits != dcb.StopBits) {
    static constexpr uint8_t kStopSize[] = {1, 3, 2};  // one, one and a half, two
    requests.push_back({TelnetSession::kSetStopSize, Byte(kStopSize[dcb.StopBits])});
  }
  const uint8_t flowBefore = all ? 0
                             : (before->fOutxCtsFlow || before->fRtsControl == 2) ? kHardwareFlow
                             : (before->fOutX || before->fInX)                   ? kXonXoff
                                                                                 : kNoFlow;
  if (flow != flowBefore) requests.push_back({TelnetSession::kSetControl, Byte(flow)});
  if (all || (before->fDtrControl != 0) != dtr)
    requests.push_back({TelnetSession::kSetControl, Byte(dtr ? kDtrOn : kDtrOff)});
  if (flow != kHardwareFlow && (all || (before->fRtsControl == 1 || before->fRtsControl == 2) != rts))
    requests.push_back({TelnetSession::kSetControl, Byte(rts ? kRtsOn : kRtsOff)});
  if (requests.empty()) return 0;
  if (const int code = Exchange(requests); code != 0) return code;
  std::lock_guard lock(mutex_);
  applied_ = dcb;
  return 0;
}

int NetworkDevice::SetTimeouts(const Timeouts& timeouts) {
  if (!open_) return SocketCodes::kBadHandle;
  std::lock_guard lock(mutex_);
  timeouts_ = timeouts;
  return 0;
}

int NetworkDevice::SetQueueSizes(int input, int output) {
  if (!open_) return SocketCodes::kBadHandle;
  if (input < 0 || output < 0) return SocketCodes::kInvalid;
  std::lock_guard lock(mutex_);
  if (input > 0) inputSize_ = static_cast<size_t>(input);
  return 0;
}

int NetworkDevice::Write(const uint8_t* data, size_t count, size_t& written) {
  written = 0;
  if (!open_) return SocketCodes::kBadHandle;
  if (removed_) return removalCode_;
  if (count == 0) return 0;
  Timeouts timeouts;
  {
    std::lock_guard lock(mutex_);
    timeouts = timeouts_;
  }
  const auto [bounded, deadline] = WriteDeadline(timeouts, count);
  txAbort_.Clear();
  const uint64_t aborts = txAborts_;
  const std::string bytes =
      rfc2217_ ? TelnetSession::Escape(data, count) : std::string(reinterpret_cast<const char*>(data), count);
  int code = 0;
  {
    std::lock_guard send(sendMutex_);
    size_t sent = 0;
    code = SendLocked(bytes, sent, deadline, bounded, aborts);
    written = rfc2217_ ? DataBytesSent(data, count, sent) : sent;
    // An escaped 0xFF cut in half would turn the next byte into a command.
    const size_t whole = written + static_cast<size_t>(std::count(data, data + written, TelnetSession::kIac));
    if (rfc2217_ && sent > whole) unsent_ = Byte(TelnetSession::kIac);
  }
  // A write that reaches its time-out is no failure: it ends with fewer
  // bytes. A connection that timed out (the same code) is one.
  if (code == SocketCodes::kTimedOut && !removed_) code = 0;
  if (code == 0 && written == count) {
    uint32_t events = EV_TXEMPTY;
    Notify(events);
  }
  return code;
}

int NetworkDevice::Read(uint8_t* buffer, size_t count, size_t& read) {
  read = 0;
  if (!open_) return SocketCodes::kBadHandle;
  if (count == 0) return 0;
  Timeouts t;
  {
    std::lock_guard lock(mutex_);
    t = timeouts_;
  }
  ReadBound bound(t, count);
  rxAbort_.Clear();
  const uint64_t aborts = rxAborts_;
  while (true) {
    arrived_.Clear();
    Pump();
    const size_t before = read;
    {
      std::lock_guard lock(mutex_);
      const size_t queued = std::min(count - read, received_.size());
      std::copy_n(received_.begin(), queued, buffer + read);
      received_.erase(received_.begin(), received_.begin() + static_cast<ptrdiff_t>(queued));
      read += queued;
    }
    if (read > before) bound.BytesArrived();
    if (read == count) return 0;
    if (removed_) return read > 0 ? 0 : removalCode_.load();
    if (bound.EndsWith(read)) return 0;
    if (rxAborts_ != aborts) return SocketCodes::kCancelled;
    const int timeoutMs = bound.WaitMs(read);
    if (timeoutMs == 0) return 0;
    if (const int c = channel_.Wait(false, {&arrived_, &rxAbort_}, timeoutMs); c != 0) return c;
  }
}

int NetworkDevice::Purge(uint32_t flags) {
  if (!open_) return SocketCodes::kBadHandle;
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
  }
  if (removed_ || !rfc2217_ || !(flags & (PURGE_RXCLEAR | PURGE_TXCLEAR))) return 0;
  const uint8_t which = static_cast<uint8_t>(((flags & PURGE_RXCLEAR) ? kPurgeReceive : 0) |
                                             ((flags & PURGE_TXCLEAR) ? kPurgeTransmit : 0));
  return Exchange({{TelnetSession::kPurgeData, Byte(which)}});
}

int NetworkDevice::SetRts(bool on) {
  if (!open_) return SocketCodes::kBadHandle;
  if (removed_ || !rfc2217_) return 0;
  return Exchange({{TelnetSession::kSetControl, Byte(on ? kRtsOn : kRtsOff)}});
}

int NetworkDevice::GetModemStatus(uint32_t& modemBits) {
  modemBits = 0;
  if (!open_) return SocketCodes::kBadHandle;
  if (removed_) return removalCode_;
  std::lock_guard lock(mutex_);
  modemBits = modem_;
  return 0;
}

int NetworkDevice::ClearErrors(uint32_t& errorFlags, uint32_t& inputQueue) {
  errorFlags = 0;
  inputQueue = 0;
  if (!open_) return SocketCodes::kBadHandle;
  Pump();
  std::lock_guard lock(mutex_);
  errorFlags = std::exchange(errors_, 0);
  inputQueue = static_cast<uint32_t>(received_.size());
  return 0;
}

int NetworkDevice::SetEventMask(uint32_t mask) {
  if (!open_) return SocketCodes::kBadHandle;
  mask_ = mask;
  wake_.Set();
  return 0;
}

void NetworkDevice::BeginEventWaits() { stop_.Clear(); }

void NetworkDevice::StopEventWaits() { stop_.Set(); }

int NetworkDevice::WaitEvent(uint32_t& occurred) {
  occurred = 0;
  if (!open_) return SocketCodes::kBadHandle;
  while (true) {
    if (stop_.IsSet()) return kWaitStopped;
    wake_.Clear();
    Pump();
    {
      std::lock_guard lock(mutex_);
      occurred = std::exchange(pending_, 0) & mask_;
    }
    if (occurred != 0) return 0;
    if (removed_) return removalCode_;
    if (const int code = channel_.Wait(false, {&stop_, &wake_}, -1); code != 0) return code;
  }
}

}  // namespace serialdev
