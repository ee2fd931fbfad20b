#include <QString>

#include "OperatorMessages.h"
#include "SingleInstance.h"

// POSIX systems have no message box of their own: the toolkit's serves.
InformationBox PlatformInformationBox(const OperatorMessages& messages) {
  return [messages](const std::string& caption, const std::string& text) {
    messages.ShowBox(QString::fromStdString(caption), QString::fromStdString(text), MessageIcon::Information);
  };
}
