#include "ComPort.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <utility>

#include "ComOpener.h"
#include "ComThread.h"
#include "device/PortNames.h"

namespace {

// Clears a flag when the scope ends, also by an exception.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

int ClampToInt(uint64_t value) { return static_cast<int>(std::min<uint64_t>(value, std::numeric_limits<int>::max())); }

}  // namespace

TCustomComPort::TCustomComPort(std::shared_ptr<HandOff> handOff)
    : handOff_(std::move(handOff)),
      self_(std::make_shared<TCustomComPort*>(this)),
      parity_(std::make_unique<TComParity>(this)),
      flowControl_(std::make_unique<TComFlowControl>(this)),
      timeouts_(std::make_unique<TComTimeouts>(this)),
      buffer_(std::make_unique<TComBuffer>(this)) {}

TCustomComPort::~TCustomComPort() {
  try {
    ClosePort();
  } catch (...) {
    ReportError(std::current_exception());
  }
  // A close that failed (or was left by a handler) must still end the thread
  // before the component goes.
  StopEventWorker();
  ReleaseHandle();
  for (auto& worker : retiredWorkers_) worker->Join();
  for (auto& [serial, opener] : openers_) {
    opener->Join();
    opener->Device()->Close();
  }
  *self_ = nullptr;
}

// ---- properties

void TCustomComPort::SetConnected(bool value) {
  if (loading_) {
    connectOnLoad_ = value;
  } else if (value) {
    OpenPort();
  } else {
    ClosePort();
  }
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
  if (value == baudRate_) return;
  baudRate_ = value;
  CommitLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int32_t value) {
  if (value == customBaudRate_) return;
  customBaudRate_ = value;
  CommitLineSettings();
}

void TCustomComPort::SetPort(const std::string& value) {
  if (value == port_) return;
  port_ = value;
  target_.reset();
  if (connected_ && !loading_) {
    ClosePort();
    OpenPort();
  }
}

void TCustomComPort::SetParity(const TComParity& value) {
  *parity_ = value;
  CommitLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits value) {
  if (value == stopBits_) return;
  stopBits_ = value;
  CommitLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value) {
  if (value == dataBits_) return;
  dataBits_ = value;
  CommitLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value) {
  if (value == discardNull_) return;
  discardNull_ = value;
  CommitLineSettings();
}

void TCustomComPort::SetEventChar(char value) {
  if (value == eventChar_) return;
  eventChar_ = value;
  CommitLineSettings();
}

void TCustomComPort::SetBuffer(const TComBuffer& value) {
  *buffer_ = value;
  CommitBufferSizes();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
  *flowControl_ = value;
  CommitLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
  *timeouts_ = value;
  CommitTimeouts();
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
  if (value == syncMethod_) return;
  if (connected_ && !loading_) throw EComPort(kSetWhileConnected);
  syncMethod_ = value;
}

void TCustomComPort::BeginLoading() {
  loading_ = true;
  connectOnLoad_ = connected_;
}

void TCustomComPort::EndLoading() {
  loading_ = false;
  if (!connectOnLoad_ || connected_) return;
  connectOnLoad_ = false;
  try {
    OpenPort();
  } catch (...) {
    ReportError(std::current_exception());
  }
}

void TCustomComPort::SetDeviceFactory(DeviceFactory factory) { deviceFactory_ = std::move(factory); }

void TCustomComPort::SetPortResolver(serialdev::PortResolver resolver) { portResolver_ = std::move(resolver); }

void TCustomComPort::SetErrorReporter(ErrorReporter reporter) { errorReporter_ = std::move(reporter); }

void TCustomComPort::ReportError(std::exception_ptr error) {
  try {
    if (errorReporter_) {
      errorReporter_(error);
      return;
    }
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Serial port: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Serial port: unknown exception\n");
  }
}

// ---- open and close

void TCustomComPort::OpenPort() {
  CancelReopen();
  if (connected_) return;
  NotifyBeforeOpen();
  if (connected_) return;  // a handler opened it meanwhile
  AcquireHandle();
  connected_ = true;
  ++openCount_;
  try {
    CommitAllSettings();
  } catch (...) {
    ReleaseHandle();
    connected_ = false;
    throw;
  }
  StartOpenPort();
}

void TCustomComPort::StartOpenPort() {
  if (!events_.Empty()) {
    eventWorker_ = std::make_unique<TComThread>(*this, device_, events_, syncMethod_, openCount_);
  }
  NotifyAfterOpen();
  NotifyCTSChange(ReadLineSignals().Contains(lsCTS));
  NotifyDSRChange(ReadLineSignals().Contains(lsDSR));
  NotifyRLSDChange(ReadLineSignals().Contains(lsRLSD));
}

void TCustomComPort::ClosePort() {
  CancelReopen();
  // A close already under way (a handler run while it waits for the event
  // thread) finishes the job; a nested one would wait for itself.
  if (!connected_ || closing_) return;
  {
    FlagScope closing(closing_);
    NotifyCTSChange(false);
    NotifyDSRChange(false);
    NotifyRLSDChange(false);
    NotifyBeforeClose();
    CancelTransfers();
    StopEventWorker();
    ReleaseHandle();
    connected_ = false;
  }
  NotifyAfterClose();
}

void TCustomComPort::StopEventWorker() {
  if (!eventWorker_) return;
  if (!eventWorker_->Stop()) retiredWorkers_.push_back(std::move(eventWorker_));
  eventWorker_.reset();
}

void TCustomComPort::AcquireHandle() {
  const std::string target = ResolveTarget();
  device_ = MakeDevice(target);
  if (const int rc = device_->Open(target)) throw EComPort(kOpenFailed, rc);
  target_ = target;
}

std::string TCustomComPort::ResolveTarget() const {
  const auto target = portResolver_ ? portResolver_(port_) : serialdev::PortNames().Resolve(port_);
  if (!target) throw EComPort(kOpenFailed, ENOENT);
  return *target;
}

std::shared_ptr<serialdev::SerialDevice> TCustomComPort::MakeDevice(const std::string& target) const {
  return deviceFactory_ ? deviceFactory_(target) : serialdev::CreateDevice(target);
}

void TCustomComPort::ReleaseHandle() {
  if (device_) device_->Close();
}

bool TCustomComPort::DeviceRemoved() const { return connected_ && device_ && device_->Removed(); }

// ---- reopening

void TCustomComPort::BeginReopen(std::function<void(std::exception_ptr failure)> done) {
  if (connected_) throw EComPort(kSetWhileConnected);
  CancelReopen();
  if (!target_) target_ = ResolveTarget();
  const uint64_t serial = ++reopens_;
  auto finished = [handOff = handOff_, self = self_, serial](int reason, int code) {
    handOff->Post([self, serial, reason, code] {
      if (*self) (*self)->FinishReopen(serial, reason, code);
    });
  };
  const DeviceSetup setup{buffer_->InputSize(), buffer_->OutputSize(), BuildControlBlock(), BuildTimeouts()};
  openers_[serial] = std::make_unique<TComOpener>(MakeDevice(*target_), *target_, setup, std::move(finished));
  reopenSerial_ = serial;
  reopenDone_ = std::move(done);
}

void TCustomComPort::CancelReopen() {
  reopenSerial_ = 0;
  reopenDone_ = nullptr;
}

void TCustomComPort::FinishReopen(uint64_t serial, int reason, int code) {
  const auto found = openers_.find(serial);
  if (found == openers_.end()) return;
  const std::unique_ptr<TComOpener> opener = std::move(found->second);
  openers_.erase(found);
  opener->Join();
  const std::shared_ptr<serialdev::SerialDevice> device = opener->Device();
  if (serial != reopenSerial_) {
    device->Close();
    return;
  }
  reopenSerial_ = 0;
  const auto done = std::exchange(reopenDone_, nullptr);
  std::exception_ptr failure;
  try {
    if (reason != 0) throw EComPort(reason, code);
    NotifyBeforeOpen();
    if (connected_) {
      device->Close();  // a handler opened it meanwhile
    } else {
      device_ = device;
      connected_ = true;
      ++openCount_;
      StartOpenPort();
    }
  } catch (...) {
    if (device != device_) device->Close();
    failure = std::current_exception();
  }
  try {
    done(failure);
  } catch (...) {
    ReportError(std::current_exception());
  }
}

// ---- commits

void TCustomComPort::CommitAllSettings() {
  CommitBufferSizes();
  CommitLineSettings();
  CommitTimeouts();
}

serialdev::ControlBlock TCustomComPort::BuildControlBlock() const {
  const TComFlowControl& flow = *flowControl_;
  const TComParity& parity = *parity_;
  const bool replace = parity.Check() && parity.Replace();
  const auto limit = static_cast<uint16_t>(std::clamp(buffer_->InputSize() / 4, 0, 0xFFFF));
  serialdev::ControlBlock dcb;
  dcb.BaudRate = baudRate_ == brCustom ? static_cast<uint32_t>(customBaudRate_) : BaudRateValue(baudRate_);
  dcb.fParity = parity.Check();
  dcb.fOutxCtsFlow = flow.OutCTSFlow();
  dcb.fOutxDsrFlow = flow.OutDSRFlow();
  dcb.fDtrControl = static_cast<uint8_t>(flow.ControlDTR());
  dcb.fDsrSensitivity = flow.DSRSensitivity();
  dcb.fTXContinueOnXoff = flow.TxContinueOnXoff();
  dcb.fOutX = flow.XonXoffOut();
  dcb.fInX = flow.XonXoffIn();
  dcb.fErrorChar = replace;
  dcb.fNull = discardNull_;
  dcb.fRtsControl = static_cast<uint8_t>(flow.ControlRTS());
  dcb.XonLim = limit;
  dcb.XoffLim = limit;
  dcb.ByteSize = static_cast<uint8_t>(5 + dataBits_);
  dcb.Parity = static_cast<uint8_t>(parity.Bits());
  dcb.StopBits = static_cast<uint8_t>(stopBits_);
  dcb.XonChar = flow.XonChar();
  dcb.XoffChar = flow.XoffChar();
  dcb.ErrorChar = replace ? parity.ReplaceChar() : 0;
  dcb.EvtChar = eventChar_;
  return dcb;
}

void TCustomComPort::CommitLineSettings() {
  if (!connected_ || loading_) return;
  if (const int rc = device_->SetState(BuildControlBlock())) throw EComPort(kSetStateFailed, rc);
}

void TCustomComPort::CommitTimeouts() {
  if (!connected_ || loading_) return;
  if (const int rc = device_->SetTimeouts(BuildTimeouts())) throw EComPort(kSetTimeoutsFailed, rc);
}

serialdev::Timeouts TCustomComPort::BuildTimeouts() const {
  const TComTimeouts& t = *timeouts_;
  // -1 is passed as the all-ones value: "no limit".
  return {static_cast<uint32_t>(t.ReadInterval()), static_cast<uint32_t>(t.ReadTotalMultiplier()),
          static_cast<uint32_t>(t.ReadTotalConstant()), static_cast<uint32_t>(t.WriteTotalMultiplier()),
          static_cast<uint32_t>(t.WriteTotalConstant())};
}

void TCustomComPort::CommitBufferSizes() {
  if (!connected_ || loading_) return;
  if (const int rc = device_->SetQueueSizes(buffer_->InputSize(), buffer_->OutputSize())) {
    throw EComPort(kSetupQueuesFailed, rc);
  }
}

// ---- transfers

int TCustomComPort::SendBufferAsync(const void* bytes, int count, TComTransfer* transfer) {
  if (!transfer) throw EComPort(kInvalidAsyncParameter);
  transfer->TransferKind = xkWrite;
  transfer->Moved = 0;
  if (count < 0 || (count > 0 && !bytes)) {
    transfer->Status = EINVAL;
    throw EComPort(kWriteFailed, EINVAL);
  }
  const auto* data = static_cast<const uint8_t*>(bytes);
  transfer->SentData.assign(data, data + count);
  transfer->SentSize = count;
  size_t written = 0;
  transfer->Status = device_ ? device_->Write(transfer->SentData.data(), count, written) : EBADF;
  transfer->Moved = ClampToInt(written);
  if (transfer->Status) throw EComPort(kWriteFailed, transfer->Status);
  return transfer->Moved;
}

int TCustomComPort::SendTextAsync(const std::string& text, TComTransfer* transfer) {
  if (!transfer) throw EComPort(kInvalidAsyncParameter);
  if (text.empty()) {
    transfer->Moved = 0;
    transfer->Status = 0;
    return 0;
  }
  if (text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    throw EComPort(kWriteFailed, EINVAL);
  }
  return SendBufferAsync(text.data(), static_cast<int>(text.size()), transfer);
}

int TCustomComPort::SendText(const std::string& text) {
  auto transfer = CreateTransfer();
  SendTextAsync(text, transfer.get());
  return AwaitTransfer(transfer.get());
}

int TCustomComPort::ReceiveBufferAsync(void* destination, int count, TComTransfer* transfer) {
  if (!transfer) throw EComPort(kInvalidAsyncParameter);
  transfer->TransferKind = xkRead;
  transfer->Moved = 0;
  if (count < 0 || (count > 0 && !destination)) {
    transfer->Status = EINVAL;
    throw EComPort(kReadFailed, EINVAL);
  }
  size_t read = 0;
  transfer->Status = device_ ? device_->Read(static_cast<uint8_t*>(destination), count, read) : EBADF;
  transfer->Moved = ClampToInt(std::min<size_t>(read, count));
  if (transfer->Status) throw EComPort(kReadFailed, transfer->Status);
  return transfer->Moved;
}

int TCustomComPort::ReceiveBuffer(void* destination, int count) {
  auto transfer = CreateTransfer();
  ReceiveBufferAsync(destination, count, transfer.get());
  return AwaitTransfer(transfer.get());
}

int TCustomComPort::ReceiveTextAsync(std::string& text, int count, TComTransfer* transfer) {
  if (!transfer) throw EComPort(kInvalidAsyncParameter);
  text.assign(std::max(count, 0), '\0');
  if (count <= 0) {
    transfer->TransferKind = xkRead;
    transfer->Moved = 0;
    transfer->Status = 0;
    return 0;
  }
  return ReceiveBufferAsync(text.data(), count, transfer);
}

int TCustomComPort::ReceiveText(std::string& text, int count) {
  auto transfer = CreateTransfer();
  try {
    ReceiveTextAsync(text, count, transfer.get());
    const int n = AwaitTransfer(transfer.get());
    text.resize(n);
    return n;
  } catch (...) {
    text.clear();
    throw;
  }
}

int TCustomComPort::AwaitTransfer(TComTransfer* transfer) {
  if (!transfer) throw EComPort(kInvalidAsyncParameter);
  if (transfer->Status) {
    throw EComPort(transfer->TransferKind == xkWrite ? kWriteFailed : kReadFailed, transfer->Status);
  }
  return transfer->Moved;
}

// ---- line operations

void TCustomComPort::CancelTransfers() {
  const int rc = device_ ? device_->Purge(serialdev::PURGE_TXABORT | serialdev::PURGE_RXABORT) : EBADF;
  if (rc) throw EComPort(kPurgeFailed, rc);
}

void TCustomComPort::DriveRTS(bool on) {
  const int rc = device_ ? device_->SetRts(on) : EBADF;
  if (rc) throw EComPort(kEscapeFailed, rc);
}

int TCustomComPort::QueuedInputCount() {
  uint32_t flags = 0;
  uint32_t queued = 0;
  const int rc = device_ ? device_->ClearErrors(flags, queued) : EBADF;
  if (rc) throw EComPort(kClearErrorsFailed, rc);
  return ClampToInt(queued);
}

TLineSignals TCustomComPort::ReadLineSignals() {
  uint32_t bits = 0;
  const int rc = device_ ? device_->GetModemStatus(bits) : EBADF;
  if (rc) throw EComPort(kModemStatusFailed, rc);
  TLineSignals lines;
  if (bits & serialdev::MS_CTS_ON) lines.Include(lsCTS);
  if (bits & serialdev::MS_DSR_ON) lines.Include(lsDSR);
  if (bits & serialdev::MS_RING_ON) lines.Include(lsRing);
  if (bits & serialdev::MS_RLSD_ON) lines.Include(lsRLSD);
  return lines;
}

TComErrors TCustomComPort::CollectLineErrors() {
  uint32_t flags = 0;
  uint32_t queued = 0;
  const int rc = device_ ? device_->ClearErrors(flags, queued) : EBADF;
  if (rc) throw EComPort(kClearErrorsFailed, rc);
  TComErrors errors;
  if (flags & serialdev::CE_FRAME) errors.Include(ceFrame);
  if ((flags & serialdev::CE_RXPARITY) && parity_->Check()) errors.Include(ceRxParity);
  if (flags & serialdev::CE_OVERRUN) errors.Include(ceOverrun);
  if (flags & serialdev::CE_RXOVER) errors.Include(ceRxOver);
  if (flags & serialdev::CE_TXFULL) errors.Include(ceTxFull);
  if (flags & serialdev::CE_BREAK) errors.Include(ceBreak);
  if (flags & serialdev::CE_IOE) errors.Include(ceIO);
  if (flags & serialdev::CE_MODE) errors.Include(ceMode);
  return errors;
}

// ---- notifications

void TCustomComPort::NotifyAfterClose() {
  if (OnAfterClose) OnAfterClose(this);
}
void TCustomComPort::NotifyAfterOpen() {
  if (OnAfterOpen) OnAfterOpen(this);
}
void TCustomComPort::NotifyBeforeClose() {
  if (OnBeforeClose) OnBeforeClose(this);
}
void TCustomComPort::NotifyBeforeOpen() {
  if (OnBeforeOpen) OnBeforeOpen(this);
}
void TCustomComPort::NotifyRxChar(int Count) {
  if (OnRxChar) OnRxChar(this, Count);
}
void TCustomComPort::NotifyTxEmpty() {
  if (OnTxEmpty) OnTxEmpty(this);
}
void TCustomComPort::NotifyBreak() {
  if (OnBreak) OnBreak(this);
}
void TCustomComPort::NotifyRing() {
  if (OnRing) OnRing(this);
}
void TCustomComPort::NotifyRxFlag() {
  if (OnRxFlag) OnRxFlag(this);
}
void TCustomComPort::NotifyCTSChange(bool OnOff) {
  if (OnCTSChange) OnCTSChange(this, OnOff);
}
void TCustomComPort::NotifyDSRChange(bool OnOff) {
  if (OnDSRChange) OnDSRChange(this, OnOff);
}
void TCustomComPort::NotifyError(TComErrors Errors) {
  if (OnError) OnError(this, Errors);
}
void TCustomComPort::NotifyRLSDChange(bool OnOff) {
  if (OnRLSDChange) OnRLSDChange(this, OnOff);
}
void TCustomComPort::NotifyRx80Full() {
  if (OnRx80Full) OnRx80Full(this);
}

void TCustomComPort::NotifyDeviceRemoved(const EComPort& error) {
  if (OnDeviceRemoved) {
    OnDeviceRemoved(this, error);
  } else {
    ReportError(std::make_exception_ptr(error));
  }
}

// ---- what the event thread hands over

void TCustomComPort::PostNotice(NoticeKind kind, uint64_t openCount, int code, std::exception_ptr error) {
  handOff_->Post([self = self_, kind, openCount, code, error = std::move(error)] {
    if (*self) (*self)->ReceiveNotice(kind, openCount, code, error);
  });
}

void TCustomComPort::ReceiveNotice(NoticeKind kind, uint64_t openCount, int code, const std::exception_ptr& error) {
  switch (kind) {
    case kDispatchNotice:
      if (eventWorker_) eventWorker_->ServePending();
      ReapRetiredWorkers();
      break;
    case kRemovalNotice:
      if (openCount == openCount_ && connected_ && !closing_) {
        if (device_) device_->ReleaseRemoved();
        try {
          NotifyDeviceRemoved(EComPort(kReadFailed, code));
        } catch (...) {
          ReportError(std::current_exception());
        }
      }
      break;
    case kFailureNotice: ReportError(error); break;
  }
}

void TCustomComPort::ReapRetiredWorkers() {
  std::erase_if(retiredWorkers_, [](const std::unique_ptr<TComThread>& worker) {
    if (worker->Serving()) return false;
    worker->Join();
    return true;
  });
}
