#include "ComPortLink.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include "ComPort.h"
#include "LinkObserver.h"

ComPortLink::ComPortLink(TComPort& port, LinkObserver* observer) : port_(port), observer_(observer) {}

bool ComPortLink::Connected() const { return port_.Connected(); }

// A write that ended early reports only the bytes that went out.
int ComPortLink::SendText(const std::string& bytes) {
  const int written = port_.SendText(bytes);
  if (observer_ && written > 0) observer_->Sent(bytes.substr(0, static_cast<std::size_t>(written)));
  return written;
}

std::string ComPortLink::ReceiveText(int count) {
  std::string text;
  port_.ReceiveText(text, count);
  if (observer_ && !text.empty()) observer_->Received(text);
  return text;
}

void ComPortLink::DriveRTS(bool on) {
  port_.DriveRTS(on);
  if (observer_) observer_->RtsChanged(on);
}

void ComPortLink::ProcessMessages() { QCoreApplication::processEvents(); }

namespace {

// How many waits the calling thread is in, one inside the other.
thread_local int waitDepth = 0;

// A wait's place among the waits and event loops running one inside the other.
struct WaitLevel {
  WaitLevel() : depth(++waitDepth), loops(QThread::currentThread()->loopLevel()) {}
  ~WaitLevel() { --waitDepth; }
  bool Current() const { return waitDepth == depth && QThread::currentThread()->loopLevel() == loops; }
  const int depth;
  const int loops;
};

}  // namespace

// The single-shot timer is one more event: the wait ends with the first event
// that arrives, or with the timer, and handles whatever came. A precise timer
// never fires early, which would cost the wait another round.
// An event handled here may start a wait of its own (an answer sent from a
// received frame) or an event loop (a message box), and the timer may fire in
// there. An event loop that does not count the events it handled before
// sleeping (Windows') would then sleep with nothing left to wake it; so this
// wait, about to sleep at its own level with its timer gone, wakes the loop
// instead. Sleeps of the waits and loops inside it are left alone.
void ComPortLink::AwaitMessages(int milliseconds) {
  const WaitLevel level;
  QTimer wake;
  wake.setTimerType(Qt::PreciseTimer);
  wake.setSingleShot(true);
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &wake, [&] {
    if (level.Current() && !wake.isActive()) dispatcher->wakeUp();
  });
  wake.start(milliseconds);
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
