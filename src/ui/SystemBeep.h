#pragma once

// The system's beep with its default sound: MessageBeep on Windows, the
// toolkit's elsewhere.
void SystemBeep();
