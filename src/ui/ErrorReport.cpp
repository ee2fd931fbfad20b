#include "ErrorReport.h"

#include "OperatorMessages.h"

QString ReportedText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + '.';
  return message;
}

void ReportError(const std::exception& error) {
  OperatorMessages::ShowBox(kApplicationTitle, ReportedText(QString::fromLocal8Bit(error.what())), MessageIcon::Error);
}

void ReportUnknownError() {
  OperatorMessages::ShowBox(kApplicationTitle, ReportedText("Unknown error"), MessageIcon::Error);
}
