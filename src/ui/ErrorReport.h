#pragma once

#include <QString>
#include <exception>
#include <utility>

#include "OperatorMessages.h"

// The top-level error report: an error that leaves a handler is shown in a
// message box captioned with the application title, and the program carries on.
inline constexpr char kApplicationTitle[] = "Velmora";

// The message as shown: a full stop is appended when the last character's
// code is above that of ".".
QString ReportedText(const QString& message);

void ReportError(const OperatorMessages& messages, const std::exception& error);
void ReportUnknownError(const OperatorMessages& messages);

// Runs a handler and reports whatever it throws through the given message
// boxes, so that no exception ever reaches the event loop.
template <typename Handler>
void RunReported(const OperatorMessages& messages, Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
  } catch (const std::exception& error) {
    ReportError(messages, error);
  } catch (...) {
    ReportUnknownError(messages);
  }
}
