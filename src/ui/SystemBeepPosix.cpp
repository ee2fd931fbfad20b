#include <QApplication>

#include "SystemBeep.h"

void SystemBeep() { QApplication::beep(); }
