#pragma once

#include "OperatorMessages.h"

class SessionRecord;
class TForm1;

// Where a session record taps the program: the error reports, through the
// message boxes every part is given; the link, through the window's setup
// (linkObserver); the log, the port's events and the window's waits for a
// lost port, once the window exists.
OperatorMessages RecordedMessages(OperatorMessages messages, SessionRecord& record);
void RecordWindow(TForm1& form, SessionRecord& record);
