#include "FakeLine.h"

#include <algorithm>
#include <cerrno>

using namespace serialdev;

int FakeLine::Record(std::unique_lock<std::mutex>&, const std::string& operation, std::vector<uint8_t> bytes,
                     uint32_t value) {
  calls_.push_back({Clock::now(), operation, std::move(bytes), value});
  const auto failure = failures_.find(operation);
  return failure == failures_.end() ? 0 : failure->second;
}

void FakeLine::Signal(uint32_t events) {
  pendingEvents_ |= events;
  changed_.notify_all();
}

void FakeLine::Receive(const std::string& bytes) {
  std::lock_guard lock(mutex_);
  input_ += bytes;
  uint32_t events = EV_RXCHAR;
  if (state_ && bytes.find(state_->EvtChar) != std::string::npos) events |= EV_RXFLAG;
  Signal(events);
}

void FakeLine::RaiseErrors(uint32_t errorFlags) {
  std::lock_guard lock(mutex_);
  errorFlags_ |= errorFlags;
  Signal(EV_ERR);
}

void FakeLine::SetModemStatus(uint32_t modemBits) {
  std::lock_guard lock(mutex_);
  const uint32_t changed = modemBits_ ^ modemBits;
  modemBits_ = modemBits;
  uint32_t events = 0;
  if (changed & MS_CTS_ON) events |= EV_CTS;
  if (changed & MS_DSR_ON) events |= EV_DSR;
  if (changed & MS_RLSD_ON) events |= EV_RLSD;
  if ((changed & MS_RING_ON) && (modemBits & MS_RING_ON)) events |= EV_RING;
  Signal(events);
}

void FakeLine::RaiseEvents(uint32_t events) {
  std::lock_guard lock(mutex_);
  Signal(events);
}

void FakeLine::Remove(int code) {
  std::lock_guard lock(mutex_);
  removedCode_ = code;
  changed_.notify_all();
}

void FakeLine::Fail(const std::string& operation, int code) {
  std::lock_guard lock(mutex_);
  if (code) {
    failures_[operation] = code;
  } else {
    failures_.erase(operation);
  }
}

void FakeLine::LimitWrites(size_t count) {
  std::lock_guard lock(mutex_);
  writeLimit_ = count;
}

void FakeLine::HoldWrites(bool hold) {
  std::lock_guard lock(mutex_);
  holdWrites_ = hold;
  changed_.notify_all();
}

void FakeLine::HoldOpens(bool hold) {
  std::lock_guard lock(mutex_);
  holdOpens_ = hold;
  changed_.notify_all();
}

std::vector<FakeLine::Call> FakeLine::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<FakeLine::Call> FakeLine::CallsOf(const std::string& operation) const {
  std::lock_guard lock(mutex_);
  std::vector<Call> found;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(found),
               [&](const Call& c) { return c.operation == operation; });
  return found;
}

std::vector<std::string> FakeLine::Operations() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> operations;
  for (const Call& c : calls_) operations.push_back(c.operation);
  return operations;
}

void FakeLine::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

std::string FakeLine::Written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

std::optional<ControlBlock> FakeLine::State() const {
  std::lock_guard lock(mutex_);
  return state_;
}

std::optional<serialdev::Timeouts> FakeLine::Timeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

std::optional<std::pair<int, int>> FakeLine::QueueSizes() const {
  std::lock_guard lock(mutex_);
  return queueSizes_;
}

bool FakeLine::Rts() const {
  std::lock_guard lock(mutex_);
  return rts_;
}

size_t FakeLine::Queued() const {
  std::lock_guard lock(mutex_);
  return input_.size();
}

bool FakeLine::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

bool FakeLine::AwaitHeldWriter(std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return heldWriters_ > 0; });
}

bool FakeLine::AwaitHeldOpener(std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return heldOpeners_ > 0; });
}

bool FakeLine::AwaitBatches(size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return batches_ >= count; });
}

bool FakeLine::AwaitWaits(size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return waits_ >= count; });
}

int FakeLine::Open(const std::string& path) {
  std::unique_lock lock(mutex_);
  if (const int rc = Record(lock, "Open", {path.begin(), path.end()})) return rc;
  if (holdOpens_) {
    ++heldOpeners_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !holdOpens_; });
    --heldOpeners_;
  }
  if (open_) return EBUSY;
  open_ = true;
  removedCode_ = 0;
  released_ = false;
  return 0;
}

void FakeLine::Close() {
  std::unique_lock lock(mutex_);
  Record(lock, "Close");
  open_ = false;
}

int FakeLine::SetState(const ControlBlock& dcb) {
  std::unique_lock lock(mutex_);
  if (const int rc = Record(lock, "SetState")) return rc;
  state_ = dcb;
  return 0;
}

int FakeLine::SetTimeouts(const serialdev::Timeouts& timeouts) {
  std::unique_lock lock(mutex_);
  if (const int rc = Record(lock, "SetTimeouts")) return rc;
  timeouts_ = timeouts;
  return 0;
}

int FakeLine::SetQueueSizes(int input, int output) {
  std::unique_lock lock(mutex_);
  if (const int rc = Record(lock, "SetQueueSizes", {}, static_cast<uint32_t>(input))) return rc;
  queueSizes_ = {input, output};
  return 0;
}

int FakeLine::Write(const uint8_t* data, size_t count, size_t& written) {
  written = 0;
  std::unique_lock lock(mutex_);
  if (const int rc = Record(lock, "Write", {data, data + count})) return rc;
  if (removedCode_) return removedCode_;
  if (holdWrites_) {
    const uint64_t aborts = aborts_;
    ++heldWriters_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return aborts_ != aborts || !holdWrites_; });
    --heldWriters_;
    if (aborts_ != aborts) return ECANCELED;
  }
  written = std::min(count, writeLimit_);
  written_.append(reinterpret_cast<const char*>(data), written);
  return 0;
}

int FakeLine::Read(uint8_t* buffer, size_t count, size_t& read) {
  read = 0;
  std::unique_lock lock(mutex_);
  if (const int rc = Record(lock, "Read", {}, static_cast<uint32_t>(count))) return rc;
  if (removedCode_) return removedCode_;
  read = std::min(count, input_.size());
  std::copy_n(input_.begin(), read, buffer);
  input_.erase(0, read);
  return 0;
}

int FakeLine::Purge(uint32_t flags) {
  std::unique_lock lock(mutex_);
  if (removedCode_) return 0;
  if (const int rc = Record(lock, "Purge", {}, flags)) return rc;
  if (flags & (PURGE_TXABORT | PURGE_RXABORT)) {
    ++aborts_;
    changed_.notify_all();
  }
  if (flags & PURGE_RXCLEAR) input_.clear();
  return 0;
}

int FakeLine::SetRts(bool on) {
  std::unique_lock lock(mutex_);
  if (removedCode_) return 0;
  if (const int rc = Record(lock, "SetRts", {}, on)) return rc;
  rts_ = on;
  return 0;
}

int FakeLine::GetModemStatus(uint32_t& modemBits) {
  std::unique_lock lock(mutex_);
  if (const int rc = Record(lock, "GetModemStatus")) return rc;
  if (removedCode_) return removedCode_;
  modemBits = modemBits_;
  return 0;
}

int FakeLine::ClearErrors(uint32_t& errorFlags, uint32_t& inputQueue) {
  std::unique_lock lock(mutex_);
  if (const int rc = Record(lock, "ClearErrors")) return rc;
  if (removedCode_) return removedCode_;
  errorFlags = errorFlags_;
  errorFlags_ = 0;
  inputQueue = static_cast<uint32_t>(input_.size());
  return 0;
}

int FakeLine::SetEventMask(uint32_t mask) {
  std::unique_lock lock(mutex_);
  if (const int rc = Record(lock, "SetEventMask", {}, mask)) return rc;
  mask_ = mask;
  return 0;
}

int FakeLine::WaitEvent(uint32_t& occurred) {
  occurred = 0;
  std::unique_lock lock(mutex_);
  if (const int rc = Record(lock, "WaitEvent")) return rc;
  ++waits_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return stopped_ || removedCode_ || (pendingEvents_ & mask_); });
  if (stopped_) return kWaitStopped;
  ++batches_;
  changed_.notify_all();
  if (removedCode_) return removedCode_;
  occurred = pendingEvents_ & mask_;
  pendingEvents_ &= ~mask_;
  return 0;
}

void FakeLine::BeginEventWaits() {
  std::lock_guard lock(mutex_);
  stopped_ = false;
}

void FakeLine::StopEventWaits() {
  std::lock_guard lock(mutex_);
  stopped_ = true;
  changed_.notify_all();
}

bool FakeLine::Removed() const {
  std::lock_guard lock(mutex_);
  return removedCode_ != 0;
}

void FakeLine::ReleaseRemoved() {
  std::unique_lock lock(mutex_);
  if (!removedCode_ || released_) return;
  Record(lock, "ReleaseRemoved");
  released_ = true;
}

bool FakeLine::Released() const {
  std::lock_guard lock(mutex_);
  return released_;
}
