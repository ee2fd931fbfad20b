#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ComError.h"
#include "ComSettings.h"
#include "ComTransfer.h"
#include "HandOff.h"
#include "device/SerialDevice.h"

class TComOpener;
class TComThread;

// The serial port component: the settings of one serial line, opening and
// closing of the device, the event thread that turns line events into the
// events below, transfers and modem-line control. Every failure is raised
// as EComPort. All operations are called on the thread that owns the
// component, which must run the hand-off given at construction (a Qt event
// loop, or a loop that pumps a QueuedHandOff) for events to arrive under
// smThreadSync.
//
// Events are plain handlers called with the component as Sender; an
// unassigned handler does nothing. Under smThreadSync (the default) they run
// on the owner thread, one batch at a time, while the event thread waits;
// under smNone they run on the event thread (where they must not open or
// close the port). smWindowSync behaves as smThreadSync here, except that an
// exception escaping a handler is reported and the event thread carries on.
// A handler may close and reopen the port; the rest of its batch is then
// dropped, and nothing of an earlier open fires after its OnAfterClose.
//
// Device removal: when the event thread learns that the device has gone
// (the adapter unplugged, the far end of a pseudo-terminal closed), it stops
// waiting and the owner thread is told once, through OnDeviceRemoved with
// an EComPort (reason 3, ReadFile, with the system code, EIO = 5 for a
// hang-up); without an OnDeviceRemoved handler that EComPort goes to the
// error reporter instead. Before that the device is let go (its descriptor
// or handle no longer holds the device), so that a returning USB adapter
// gets its old name back. The port stays Connected until ClosePort, which
// then succeeds; until then reads and writes fail with the removal's code
// and line control succeeds without touching anything. A later OpenPort
// opens the device anew. A removal that arrives after the port was closed
// is not reported.
//
// Reopening: BeginReopen opens again the device that the last OpenPort
// opened (the same device path or network name, not resolved anew; before
// any open, Port is resolved as OpenPort does), without waiting for it: the
// device's open and its settings run on a thread of their own, so that a
// device slow to answer (a network port's connect) never holds up the owner
// thread. Once they are done, the rest runs on the owner thread as for
// OpenPort (OnBeforeOpen, the event thread, OnAfterOpen and the line
// signals), and then `done`: with nothing, or with what OpenPort would have
// raised; Connected() then tells whether the port opened. One reopen at a
// time, started while closed. CancelReopen, OpenPort, ClosePort and the
// component's end drop the one under way without waiting for it: its `done`
// never runs, and the device it was opening is closed once its open returns
// (the component's end waits for that).
//
// Error reporter: receives, on the owner thread, exceptions that no caller
// can catch: the one that escaped a handler and so ended the event thread
// (once), the exception of the open that EndLoading starts, and unhandled
// removals. Without a reporter they are written to standard error.
class TCustomComPort {
 public:
  using TNotifyEvent = std::function<void(TCustomComPort* Sender)>;
  using TRxCharEvent = std::function<void(TCustomComPort* Sender, int Count)>;
  using TComSignalEvent = std::function<void(TCustomComPort* Sender, bool OnOff)>;
  using TComErrorEvent = std::function<void(TCustomComPort* Sender, TComErrors Errors)>;
  using TDeviceRemovedEvent = std::function<void(TCustomComPort* Sender, const EComPort& Error)>;
  using DeviceFactory = serialdev::DeviceFactory;
  using ErrorReporter = std::function<void(std::exception_ptr)>;

  // The hand-off runs the event thread's notices on the owner thread.
  explicit TCustomComPort(std::shared_ptr<HandOff> handOff);
  virtual ~TCustomComPort();
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& value) { name_ = value; }

  // Properties. Line settings commit at once while connected; Port reopens
  // an open port; Events take effect at the next OpenPort.
  bool Connected() const { return loading_ ? connectOnLoad_ : connected_; }
  void SetConnected(bool value);
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate value);
  int32_t CustomBaudRate() const { return customBaudRate_; }
  void SetCustomBaudRate(int32_t value);
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& value);
  TComParity& Parity() { return *parity_; }
  void SetParity(const TComParity& value);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits value);
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits value);
  bool DiscardNull() const { return discardNull_; }
  void SetDiscardNull(bool value);
  char EventChar() const { return eventChar_; }
  void SetEventChar(char value);
  TComEvents Events() const { return events_; }
  void SetEvents(TComEvents value) { events_ = value; }
  TComBuffer& Buffer() { return *buffer_; }
  void SetBuffer(const TComBuffer& value);
  TComFlowControl& FlowControl() { return *flowControl_; }
  void SetFlowControl(const TComFlowControl& value);
  TComTimeouts& Timeouts() { return *timeouts_; }
  void SetTimeouts(const TComTimeouts& value);
  TSyncMethod SyncMethod() const { return syncMethod_; }
  void SetSyncMethod(TSyncMethod value);

  // Loading state: while loading, Connected and the commits only store.
  // EndLoading opens the port when Connected was stored true; an exception
  // from that open goes to the error reporter.
  void BeginLoading();
  void EndLoading();
  bool Loading() const { return loading_; }

  // Where devices come from: the resolver turns Port into what to open
  // (default: serialdev::PortNames without mappings); the factory makes one
  // device object per open for that (default: serialdev::CreateDevice). Set
  // while closed.
  void SetDeviceFactory(DeviceFactory factory);
  void SetPortResolver(serialdev::PortResolver resolver);
  void SetErrorReporter(ErrorReporter reporter);

  void OpenPort();
  void ClosePort();
  void BeginReopen(std::function<void(std::exception_ptr failure)> done);
  void CancelReopen();
  bool Reopening() const { return reopenSerial_ != 0; }
  // True while connected to a device that has gone away, also before the
  // removal is told: a read or write may learn of it first.
  bool DeviceRemoved() const;
  virtual void AcquireHandle();
  virtual void ReleaseHandle();
  virtual void CommitAllSettings();
  virtual void CommitLineSettings();
  virtual void CommitTimeouts();
  virtual void CommitBufferSizes();

  // Transfers. A null transfer raises reason 4.
  int SendBufferAsync(const void* bytes, int count, TComTransfer* transfer);
  int SendTextAsync(const std::string& text, TComTransfer* transfer);
  int SendText(const std::string& text);
  int ReceiveBufferAsync(void* destination, int count, TComTransfer* transfer);
  int ReceiveBuffer(void* destination, int count);
  int ReceiveTextAsync(std::string& text, int count, TComTransfer* transfer);
  int ReceiveText(std::string& text, int count);
  int AwaitTransfer(TComTransfer* transfer);

  // Line operations.
  void CancelTransfers();
  void DriveRTS(bool on);
  int QueuedInputCount();
  TLineSignals ReadLineSignals();
  TComErrors CollectLineErrors();

  TNotifyEvent OnAfterOpen;
  TNotifyEvent OnAfterClose;
  TNotifyEvent OnBeforeOpen;
  TNotifyEvent OnBeforeClose;
  TRxCharEvent OnRxChar;
  TNotifyEvent OnTxEmpty;
  TNotifyEvent OnBreak;
  TNotifyEvent OnRing;
  TComSignalEvent OnCTSChange;
  TComSignalEvent OnDSRChange;
  TComSignalEvent OnRLSDChange;
  TNotifyEvent OnRxFlag;
  TComErrorEvent OnError;
  TNotifyEvent OnRx80Full;
  TDeviceRemovedEvent OnDeviceRemoved;

 protected:
  virtual void NotifyAfterClose();
  virtual void NotifyAfterOpen();
  virtual void NotifyBeforeClose();
  virtual void NotifyBeforeOpen();
  virtual void NotifyRxChar(int Count);
  virtual void NotifyTxEmpty();
  virtual void NotifyBreak();
  virtual void NotifyRing();
  virtual void NotifyRxFlag();
  virtual void NotifyCTSChange(bool OnOff);
  virtual void NotifyDSRChange(bool OnOff);
  virtual void NotifyError(TComErrors Errors);
  virtual void NotifyRLSDChange(bool OnOff);
  virtual void NotifyRx80Full();
  virtual void NotifyDeviceRemoved(const EComPort& error);

 private:
  friend class TComThread;

  // What the event thread hands to the owner thread: a batch to dispatch
  // (the thread waits for it), the device's removal, or the exception that
  // ended a thread dispatching under smNone.
  enum NoticeKind { kDispatchNotice, kRemovalNotice, kFailureNotice };
  // Event thread: queues the notice through the hand-off.
  void PostNotice(NoticeKind kind, uint64_t openCount, int code = 0, std::exception_ptr error = nullptr);
  // Owner thread: acts on a notice.
  void ReceiveNotice(NoticeKind kind, uint64_t openCount, int code, const std::exception_ptr& error);

  serialdev::ControlBlock BuildControlBlock() const;
  serialdev::Timeouts BuildTimeouts() const;
  std::string ResolveTarget() const;
  std::shared_ptr<serialdev::SerialDevice> MakeDevice(const std::string& target) const;
  // The open's last steps, once the device is set up.
  void StartOpenPort();
  // Owner thread: a reopen's device is opened and set up, or failed.
  void FinishReopen(uint64_t serial, int reason, int code);
  void StopEventWorker();
  void ReapRetiredWorkers();
  void ReportError(std::exception_ptr error);

  std::shared_ptr<HandOff> handOff_;
  // Points at this component until it goes, so that a notice still queued
  // then does nothing. Read and cleared on the owner thread only.
  std::shared_ptr<TCustomComPort*> self_;
  std::string name_;
  bool connected_ = false;
  bool loading_ = false;
  bool connectOnLoad_ = false;  // Connected as stored while loading
  bool closing_ = false;
  TBaudRate baudRate_ = br9600;
  int32_t customBaudRate_ = 9600;
  std::string port_ = "COM1";
  TStopBits stopBits_ = sbOneStopBit;
  TDataBits dataBits_ = dbEight;
  bool discardNull_ = false;
  char eventChar_ = 0;
  TComEvents events_ = kAllComEvents;
  TSyncMethod syncMethod_ = smThreadSync;
  std::unique_ptr<TComParity> parity_;
  std::unique_ptr<TComFlowControl> flowControl_;
  std::unique_ptr<TComTimeouts> timeouts_;
  std::unique_ptr<TComBuffer> buffer_;

  DeviceFactory deviceFactory_;
  serialdev::PortResolver portResolver_;
  ErrorReporter errorReporter_;
  // Shared with the event thread of the open that made it.
  std::shared_ptr<serialdev::SerialDevice> device_;
  std::unique_ptr<TComThread> eventWorker_;
  // Workers stopped by a ClosePort nested in their own dispatch; joined once
  // that dispatch has returned.
  std::vector<std::unique_ptr<TComThread>> retiredWorkers_;
  // Counts opens, so that a removal notice of an earlier open is dropped.
  uint64_t openCount_ = 0;
  // What the last open opened, for BeginReopen.
  std::optional<std::string> target_;
  // Reopens by serial number: the one under way (reopenSerial_, 0 for none)
  // and those dropped while their device was still opening.
  std::map<uint64_t, std::unique_ptr<TComOpener>> openers_;
  uint64_t reopens_ = 0;
  uint64_t reopenSerial_ = 0;
  std::function<void(std::exception_ptr)> reopenDone_;
};

class TComPort : public TCustomComPort {
 public:
  using TCustomComPort::TCustomComPort;
};
