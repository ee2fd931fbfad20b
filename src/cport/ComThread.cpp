#include "ComThread.h"

#include <cerrno>

#include "ComPort.h"

TComThread::TComThread(TCustomComPort& port, std::shared_ptr<serialdev::SerialDevice> device, TComEvents events,
                       TSyncMethod syncMethod, uint64_t openCount)
    : port_(port), device_(std::move(device)), syncMethod_(syncMethod), openCount_(openCount) {
  device_->SetEventMask(EventsToMask(events));
  device_->BeginEventWaits();
  thread_ = std::thread(&TComThread::Execute, this);
}

TComThread::~TComThread() { Join(); }

void TComThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TComThread::Execute() {
  bool purge = true;
  for (;;) {
    uint32_t occurred = 0;
    const int rc = device_->WaitEvent(occurred);
    if (rc == serialdev::kWaitStopped) break;
    if (rc != 0 || device_->Removed()) {
      // Waiting on a dead device would only fail again at once.
      port_.PostNotice(TCustomComPort::kRemovalNotice, openCount_, rc != 0 ? rc : EIO);
      purge = false;
      break;
    }
    const TComEvents events = MaskToEvents(occurred);
    if (events.Empty()) continue;
    if (syncMethod_ == smNone) {
      try {
        DeliverEvents(events);
      } catch (...) {
        port_.PostNotice(TCustomComPort::kFailureNotice, openCount_, 0, std::current_exception());
        purge = false;
        break;
      }
    } else if (!HandOver(events)) {
      // After a stop from inside the dispatch the device is closed already,
      // and the purge does nothing.
      std::lock_guard lock(mutex_);
      purge = !batchFailed_;
      break;
    }
  }
  if (purge) {
    device_->SetEventMask(0);
    device_->Purge(serialdev::PURGE_TXCLEAR | serialdev::PURGE_RXCLEAR);
  }
  std::lock_guard lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

bool TComThread::HandOver(TComEvents events) {
  {
    // Even when a stop has begun: Stop runs a batch taken from the device.
    std::lock_guard lock(mutex_);
    OccurredEvents = events;
    pending_ = true;
    served_ = false;
    batchFailed_ = false;
    changed_.notify_all();
  }
  port_.PostNotice(TCustomComPort::kDispatchNotice, openCount_);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return served_; });
  if (batchFailed_ && syncMethod_ == smThreadSync) return false;
  return !stopping_;
}

void TComThread::ServePending() {
  TComEvents events;
  {
    std::lock_guard lock(mutex_);
    if (!pending_) return;
    pending_ = false;
    events = OccurredEvents;
  }
  std::exception_ptr error;
  serving_ = true;
  try {
    DeliverEvents(events);
  } catch (...) {
    error = std::current_exception();
  }
  serving_ = false;
  {
    std::lock_guard lock(mutex_);
    served_ = true;
    batchFailed_ = error != nullptr;
  }
  // After the lock is let go, so that the woken thread does not at once wait
  // for it. This thread owns the object: it cannot end meanwhile.
  changed_.notify_all();
  if (error) port_.ReportError(error);
}

bool TComThread::Stop() {
  device_->StopEventWaits();
  std::unique_lock lock(mutex_);
  stopping_ = true;
  if (serving_) {
    stoppedInDispatch_ = true;
    return false;
  }
  for (;;) {
    changed_.wait(lock, [this] { return pending_ || finished_; });
    if (!pending_) break;
    lock.unlock();
    ServePending();
    lock.lock();
  }
  lock.unlock();
  Join();
  return true;
}

void TComThread::DeliverEvents(TComEvents events) {
  // Errors first: both the error and the receive dispatch clear the
  // device's error flags.
  static constexpr TComEvent kOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                         evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
  for (TComEvent event : kOrder) {
    if (!events.Contains(event)) continue;
    if (stoppedInDispatch_) return;
    switch (event) {
      case evError: {
        const TComErrors errors = port_.CollectLineErrors();
        if (!errors.Empty()) port_.NotifyError(errors);
        break;
      }
      case evRxChar: {
        const int count = port_.QueuedInputCount();
        if (count > 0) port_.NotifyRxChar(count);
        break;
      }
      case evTxEmpty: port_.NotifyTxEmpty(); break;
      case evBreak: port_.NotifyBreak(); break;
      case evRing: port_.NotifyRing(); break;
      case evCTS: port_.NotifyCTSChange(port_.ReadLineSignals().Contains(lsCTS)); break;
      case evDSR: port_.NotifyDSRChange(port_.ReadLineSignals().Contains(lsDSR)); break;
      case evRxFlag: port_.NotifyRxFlag(); break;
      case evRLSD: port_.NotifyRLSDChange(port_.ReadLineSignals().Contains(lsRLSD)); break;
      case evRx80Full: port_.NotifyRx80Full(); break;
    }
  }
}
