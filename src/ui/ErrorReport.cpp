#include "ErrorReport.h"

QString ReportedText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + '.';
  return message;
}

void ReportError(const OperatorMessages& messages, const std::exception& error) {
  messages.ShowBox(kApplicationTitle, ReportedText(QString::fromUtf8(error.what())), MessageIcon::Error);
}

void ReportUnknownError(const OperatorMessages& messages) {
  messages.ShowBox(kApplicationTitle, ReportedText("Unknown error"), MessageIcon::Error);
}
