#include "CheckLine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>

#include "QtHandOff.h"
#include "ReaderLine.h"
#include "SessionRecord.h"

CheckLine::CheckLine(std::string port, serialdev::PortResolver resolve, SessionRecord* record,
                     const std::atomic<bool>& stop)
    : port_(std::move(port)),
      record_(record),
      port_component_(std::make_shared<QtHandOff>()),
      link_(port_component_, this),
      protocol_(panel_, link_),
      stop_(stop) {
  panel_.Attach(protocol_);
  // The protocol's trace tells broken frames apart; the panel keeps only what it says of replies.
  protocol_.SetTraceEnabled(true);
  TComPort& p = port_component_;
  p.SetName("ComPort1");
  p.SetPort(port_);
  SetReaderLine(p);
  p.SetPortResolver(std::move(resolve));
  p.OnBeforeOpen = [this](TCustomComPort*) { protocol_.ResetDecoder(); };
  p.OnRxChar = [this](TCustomComPort*, int count) { protocol_.ComPort1RxChar(count); };
  p.OnError = [this](TCustomComPort*, TComErrors errors) {
    const std::string names = ComErrorNames(errors);
    if (record_) record_->LineErrors(names);
    panel_.AddProblem("line error " + names);
    protocol_.ResetDecoder();
  };
  p.OnDeviceRemoved = [this](TCustomComPort*, const EComPort& reason) {
    removed_ = true;
    removalReason_ = reason.what();
    if (record_) record_->Removed(removalReason_);
  };
  // An exception that ended the event thread (none of the handlers above throws one
  // on purpose) is a problem of the line like any other.
  p.SetErrorReporter([this](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      panel_.AddProblem(e.what());
      if (record_) record_->Error(e.what());
    }
  });
}

CheckLine::~CheckLine() {
  try {
    Close();
  } catch (const std::exception&) {
    // The port is going away with the run; a failing close has nobody left to tell.
  }
}

void CheckLine::Open(unsigned baud) {
  Close();
  port_component_.SetBaudRate(BaudRateFor(baud));
  removed_ = false;
  removalReason_.clear();
  port_component_.OpenPort();
  if (record_) record_->Connected(port_, baud);
}

void CheckLine::Close() {
  if (!port_component_.Connected()) return;
  port_component_.ClosePort();
  if (record_) record_->Disconnected(port_);
}

bool CheckLine::Opens(unsigned baud) {
  if (IsOpen()) return true;
  SessionRecord* const record = std::exchange(record_, nullptr);
  bool opened = false;
  try {
    port_component_.SetBaudRate(BaudRateFor(baud));
    port_component_.OpenPort();
    opened = port_component_.Connected();
    Close();
  } catch (const EComPort&) {
  }
  record_ = record;
  return opened;
}

bool CheckLine::WaitFor(const std::function<bool()>& done, int milliseconds, bool stoppable) {
  const QDeadlineTimer deadline(milliseconds, Qt::PreciseTimer);
  for (;;) {
    QCoreApplication::processEvents();
    if (stoppable && stop_) throw Stopped();
    if (done()) return true;
    if (deadline.hasExpired() || removed_) return done();
    link_.AwaitMessages(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
  }
}

std::string CheckLine::TakeBytes() {
  lastDirection_.clear();
  return std::exchange(bytes_, {});
}

void CheckLine::Received(const std::string& bytes) {
  received_ += bytes.size();
  Note("rx", bytes);
  if (record_) record_->Received(bytes);
}

void CheckLine::Sent(const std::string& bytes) {
  Note("tx", bytes);
  if (record_) record_->Sent(bytes);
}

void CheckLine::RtsChanged(bool on) {
  if (record_) record_->RtsChanged(on);
}

// Consecutive bursts in one direction make one group.
void CheckLine::Note(const char* direction, const std::string& bytes) {
  if (lastDirection_ != direction) {
    if (!bytes_.empty()) bytes_ += " | ";
    bytes_ += direction;
    lastDirection_ = direction;
  }
  bytes_ += ' ' + RecordHex(bytes);
}
