#include "ToolkitChoices.h"

#include <QByteArray>
#include <QtGlobal>

void MakeToolkitChoices() {
  for (const char* name : {"QT_NO_GLIB", "QT_XCB_NO_MITSHM"})
    if (!qEnvironmentVariableIsSet(name)) qputenv(name, "1");
}
