#include <windows.h>

#include "SystemBeep.h"

void SystemBeep() { ::MessageBeep(MB_OK); }
