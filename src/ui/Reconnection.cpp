#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "ComPort.h"
#include "DurationText.h"
#include "ErrorReport.h"
#include "MainWindow.h"

namespace {

constexpr int kRetryMs = 1000;

QString FailureText(std::exception_ptr failure) {
  try {
    if (failure) std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
  }
  return "Unknown error";
}

}  // namespace

// With reconnect on, a failure of a port whose device has gone (a write or
// an RTS change that learnt of it before the removal was told) is the port's
// loss, not a box that would stop an unattended session.
bool TForm1::TakeAsLoss(const std::exception& error) {
  if (!reconnect_ || lostAt_ || !ComPort1->Connected() || !ComPort1->DeviceRemoved()) return false;
  PortLost(error);
  return true;
}

void TForm1::RunHandler(const std::function<void()>& handler) noexcept {
  RunReported(setup_.messages, [&] {
    try {
      handler();
    } catch (const std::exception& e) {
      if (!TakeAsLoss(e)) throw;
    }
  });
}

// The window stays connected in the operator's eyes, so that Disconnect
// stops the wait, but nothing that talks to the reader can be used.
void TForm1::PortLost(const std::exception& reason) {
  ComPort1->ClosePort();
  const QString port = QString::fromStdString(ComPort1->Port());
  const QString why = QString::fromUtf8(reason.what());
  lostAt_ = std::chrono::steady_clock::now();
  emit portLost(port, why);
  Memo1->appendPlainText(port + " lost: " + why);
  Button4->setText("Disconnect");
  SetConnectedControls(true);
  SetCommandControls(false);
  if (!retryTimer_) {
    retryTimer_ = new QTimer(this);
    retryTimer_->setSingleShot(true);
    // A coarse timer may fire early; the tries are at least a second apart.
    retryTimer_->setTimerType(Qt::PreciseTimer);
    retryTimer_->setInterval(kRetryMs);
    connect(retryTimer_, &QTimer::timeout, this, [this] { RunHandler([this] { RetryPort(); }); });
    // Beside the clock, which keeps its place on the left.
    waitingLabel_ = new QLabel(StatusBar1);
    StatusBar1->addPermanentWidget(waitingLabel_);
  }
  waitingLabel_->setText("Waiting for " + port);
  waitingLabel_->setToolTip({});
  waitingLabel_->show();
  retryTimer_->start();
}

// The device opens on a thread of its own: a network port's connect may take
// its whole time-out, and the window goes on meanwhile.
void TForm1::RetryPort() {
  try {
    ComPort1->BeginReopen([this](std::exception_ptr failure) { PortRetried(failure); });
  } catch (...) {
    RetryLater(std::current_exception());
  }
}

// A failure of the open's own handlers leaves the port open, as Connect
// would: it is reported once the session has started again.
void TForm1::PortRetried(std::exception_ptr failure) {
  if (!ComPort1->Connected()) return RetryLater(failure);
  PortReturned();
  if (failure) std::rethrow_exception(failure);
}

// Failed tries are what waiting means; the last one's error is at hand in
// the status bar's tip.
void TForm1::RetryLater(std::exception_ptr failure) {
  waitingLabel_->setToolTip("Last try: " + FailureText(failure));
  retryTimer_->start();
}

void TForm1::PortReturned() {
  const auto away = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - *lostAt_);
  const QString port = QString::fromStdString(ComPort1->Port());
  StopWaiting();
  emit portReturned(port, away.count());
  Memo1->appendPlainText(port + " reconnected after " + DurationText(away));
  StartReaderSession();
}

void TForm1::StopWaiting() {
  lostAt_.reset();
  ComPort1->CancelReopen();
  if (retryTimer_) retryTimer_->stop();
  if (waitingLabel_) waitingLabel_->hide();
}
