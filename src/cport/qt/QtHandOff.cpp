#include "QtHandOff.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <mutex>

namespace {

// Routines are stored and taken under a mutex of their own, so that their
// hand-over through Qt's event queue is visible to the thread sanitizer too.
std::mutex& RoutineMutex() {
  static std::mutex mutex;
  return mutex;
}

QEvent::Type RoutineEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class RoutineEvent : public QEvent {
 public:
  explicit RoutineEvent(std::function<void()> routine) : QEvent(RoutineEventType()) {
    std::lock_guard lock(RoutineMutex());
    routine_ = std::move(routine);
  }
  // Called with the mutex held.
  std::function<void()> Take() { return std::move(routine_); }

 private:
  std::function<void()> routine_;
};

class Receiver : public QObject {
 public:
  // The event is read under the mutex that its making released, type
  // included: the reading comes after the making for the sanitizer too.
  bool event(QEvent* e) override {
    std::function<void()> routine;
    bool ours = false;
    {
      std::lock_guard lock(RoutineMutex());
      ours = e->type() == RoutineEventType();
      if (ours) routine = static_cast<RoutineEvent*>(e)->Take();
    }
    if (!ours) return QObject::event(e);
    if (routine) routine();
    return true;
  }
};

}  // namespace

QtHandOff::QtHandOff() : receiver_(std::make_unique<Receiver>()) {}

QtHandOff::~QtHandOff() = default;

void QtHandOff::Post(std::function<void()> routine) {
  QCoreApplication::postEvent(receiver_.get(), new RoutineEvent(std::move(routine)));
}
