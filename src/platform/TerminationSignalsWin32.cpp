#include "TerminationSignals.h"

#include <windows.h>

#include <QMetaObject>

namespace {

TerminationSignals* target = nullptr;
std::function<void()>* handler = nullptr;

// Runs on a thread of the system's: the call is queued to the object's
// thread. The end of the user's session is left to the toolkit, which tells
// a window program of it on its own.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (!target || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) return FALSE;
  QMetaObject::invokeMethod(
      target, [] { (*handler)(); }, Qt::QueuedConnection);
  return TRUE;
}

}  // namespace

struct TerminationSignals::Native {};

TerminationSignals::TerminationSignals(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)), native_(std::make_unique<Native>()) {
  target = this;
  handler = &onSignal_;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TerminationSignals::~TerminationSignals() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  target = nullptr;
  handler = nullptr;
}
