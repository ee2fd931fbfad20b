#include "StopRequest.h"

#include <windows.h>

#include <QMetaObject>

namespace {

QObject* target = nullptr;
std::function<void()>* handler = nullptr;

// Runs on a thread of the system's: the stop is queued to the object's
// thread. Ctrl+C, Ctrl+Break and the console's closing are handled; the
// process then lives until the run has ended.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (!target || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) return FALSE;
  QMetaObject::invokeMethod(
      target, [] { (*handler)(); }, Qt::QueuedConnection);
  return TRUE;
}

}  // namespace

struct StopRequest::Native {};

StopRequest::StopRequest(std::function<void()> onStop) : onStop_(std::move(onStop)) {
  target = this;
  handler = &onStop_;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopRequest::~StopRequest() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  target = nullptr;
  handler = nullptr;
}
