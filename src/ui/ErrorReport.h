#pragma once

#include <QString>
#include <exception>
#include <utility>

// The top-level error report: an error that leaves a handler is shown in a
// message box captioned with the application title, and the program carries on.
inline constexpr char kApplicationTitle[] = "Velmora";

// The message as shown: a full stop is appended when the last character's
// code is above that of ".".
QString ReportedText(const QString& message);

void ReportError(const std::exception& error);
void ReportUnknownError();

// Runs a handler and reports whatever it throws, so that no exception ever
// reaches the event loop.
template <typename Handler>
void RunReported(Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
  } catch (const std::exception& error) {
    ReportError(error);
  } catch (...) {
    ReportUnknownError();
  }
}
