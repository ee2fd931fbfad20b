#include "PlainPanel.h"

#include "FakeEventLoop.h"
#include "ReaderProtocol.h"

PlainPanel::~PlainPanel() { StopInterByteTimer(); }

void PlainPanel::SetOutput1(bool checked) {
  if (checked == output1) return;
  output1 = checked;
  SendOutputCommand(checked, "L", "l");
}

void PlainPanel::SetOutput2(bool checked) {
  if (checked == output2) return;
  output2 = checked;
  SendOutputCommand(checked, "R", "r");
}

void PlainPanel::SendOutputCommand(bool checked, const char* on, const char* off) {
  if (!protocol_) return;
  protocol_->RefreshReaderId();
  protocol_->SendCommand(checked ? on : off);
}

void PlainPanel::SetOption(int bit, bool checked) {
  if (options.at(bit) == checked) return;
  options.at(bit) = checked;
  if (bit == 0) SetFmt0(checked);
  if (bit == 1) SetFmt1(checked);
}

void PlainPanel::SetFmt0(bool checked) {
  if (checked == fmt0) return;
  fmt0 = checked;
  ShowMode();
}

void PlainPanel::SetFmt1(bool checked) {
  if (checked == fmt1) return;
  fmt1 = checked;
  ShowMode();
}

void PlainPanel::ShowMode() { modeCaption = "Mode " + std::to_string(2 * fmt1 + fmt0); }

void PlainPanel::StartInterByteTimer(int milliseconds) {
  StopInterByteTimer();
  timerInterval = milliseconds;
  timerId_ = loop_.Schedule(milliseconds, [this] {
    timerId_ = 0;
    if (protocol_) protocol_->Timer1Timer();
  });
}

void PlainPanel::StopInterByteTimer() {
  if (timerId_ != 0) loop_.Cancel(timerId_);
  timerId_ = 0;
  timerInterval = 0;
}
