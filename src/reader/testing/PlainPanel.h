#pragma once

#include <array>
#include <string>
#include <vector>

#include "ReaderPanel.h"

class FakeEventLoop;
class ReaderProtocol;

// The window's controls as plain fields, in the window's start state. Once a
// protocol is attached, changing CheckBox1 or CheckBox2 sends its command and
// changing CheckBox3 or CheckBox4 copies into fmt0 or fmt1, as the window's
// click handlers do; Timer1 runs on the fake event loop.
class PlainPanel : public ReaderPanel {
 public:
  explicit PlainPanel(FakeEventLoop& loop) : loop_(loop) {}
  ~PlainPanel() override;
  void Attach(ReaderProtocol& protocol) { protocol_ = &protocol; }

  bool fmt0 = true;
  bool fmt1 = true;
  bool idMode = false;
  bool controlLock = true;
  int myId = 0;
  std::vector<std::string> log;
  std::string switchLabel = "OPEN";
  std::string buzzerLabel = "OFF";
  std::string modeCaption = "Mode 3";
  bool output1 = false;
  bool output2 = false;
  std::array<bool, 4> options{true, true, true, false};  // FMT0, FMT1, NO BEEP, REPEAT
  int beeps = 0;
  int timerInterval = 0;  // of the running Timer1, 0 while stopped

  bool Fmt0() const override { return fmt0; }
  bool Fmt1() const override { return fmt1; }
  bool IdMode() const override { return idMode; }
  bool ControlLock() const override { return controlLock; }
  int MyId() const override { return myId; }
  void AppendLog(const std::string& line) override { log.push_back(line); }
  void SetSwitchLabel(const std::string& text) override { switchLabel = text; }
  void SetBuzzerLabel(const std::string& text) override { buzzerLabel = text; }
  void SetOutput1(bool checked) override;
  void SetOutput2(bool checked) override;
  void SetOption(int bit, bool checked) override;
  bool Option(int bit) const override { return options.at(bit); }
  void SetFmt0(bool checked) override;
  void SetFmt1(bool checked) override;
  void Beep() override { ++beeps; }
  void StartInterByteTimer(int milliseconds) override;
  void StopInterByteTimer() override;

 private:
  void SendOutputCommand(bool checked, const char* on, const char* off);
  void ShowMode();

  FakeEventLoop& loop_;
  ReaderProtocol* protocol_ = nullptr;
  int timerId_ = 0;
};
