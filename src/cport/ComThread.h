#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "ComSettings.h"
#include "device/SerialDevice.h"

class TCustomComPort;

// The event thread of one open: waits for line events of the device and
// hands each batch to the component. Under smThreadSync (and smWindowSync)
// the batch is run on the owner thread while this thread waits; under smNone
// it runs here. The thread shares ownership of the device it waits on: a
// thread stopped from inside its own dispatch still runs until that dispatch
// returns, while the component may already have closed the device and opened
// another; what the thread then does touches only its own, closed device.
class TComThread {
 public:
  // Sets the device's event mask and starts waiting.
  TComThread(TCustomComPort& port, std::shared_ptr<serialdev::SerialDevice> device, TComEvents events,
             TSyncMethod syncMethod, uint64_t openCount);
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  // Owner thread. Tells the thread to stop and waits until it has ended,
  // running meanwhile the batch it had already handed over. Called from
  // inside this thread's own dispatch it cannot wait: it returns false, the
  // rest of that dispatch is skipped, and Join must follow once the dispatch
  // has returned.
  bool Stop();
  void Join();
  // Owner thread: runs the batch handed over, if there is one.
  void ServePending();
  bool Serving() const { return serving_; }

 private:
  void Execute();
  // Hands a batch to the owner thread and waits until it has run; false when
  // the thread is to end.
  bool HandOver(TComEvents events);
  void DeliverEvents(TComEvents events);

  TCustomComPort& port_;
  const std::shared_ptr<serialdev::SerialDevice> device_;
  const TSyncMethod syncMethod_;
  const uint64_t openCount_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool pending_ = false;
  bool served_ = false;
  bool stopping_ = false;
  bool finished_ = false;
  bool batchFailed_ = false;
  TComEvents OccurredEvents;

  // Owner thread only: a dispatch under way, and whether a Stop from inside
  // it has cut off the rest of its batch.
  bool serving_ = false;
  bool stoppedInDispatch_ = false;
  std::thread thread_;
};
