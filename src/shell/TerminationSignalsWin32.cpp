#include "TerminationSignals.h"

#include <QGuiApplication>
#include <QSessionManager>

// Windows tells a GUI program of the end of the session with
// WM_QUERYENDSESSION, which the toolkit turns into commitDataRequest. The
// windows close there, so the message loop ends and the settings file is
// written before WM_ENDSESSION, after which the system ends the process.
struct TerminationSignals::Native {};

TerminationSignals::TerminationSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { onSignal_(); });
}

TerminationSignals::~TerminationSignals() = default;
