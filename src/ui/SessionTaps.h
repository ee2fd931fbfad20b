#pragma once

#include "OperatorMessages.h"

class SessionRecord;
class TForm1;

// Where a session record taps the program: the error reports, through the
// message boxes every part is given; the link, through the window's setup
// (linkObserver); the log and the port's events, once the window exists.
OperatorMessages RecordedMessages(OperatorMessages messages, SessionRecord& record);
void RecordWindow(TForm1& form, SessionRecord& record);
