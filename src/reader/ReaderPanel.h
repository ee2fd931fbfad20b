#pragma once

#include <string>

// The main window's controls as the reader protocol reads and sets them. The
// window implements it with its widgets; tests and the fuzzer with plain
// fields. Setting a check box to a different state runs its click handler
// (CheckBox1 sends "L"/"l", CheckBox3 copies itself into fmt0, ...), exactly
// as an operator's click would; setting it to the state it has does nothing.
class ReaderPanel {
 public:
  virtual ~ReaderPanel() = default;

  virtual bool Fmt0() const = 0;         // fmt0 "FMT0" (data format)
  virtual bool Fmt1() const = 0;         // fmt1 "FMT1"
  virtual bool IdMode() const = 0;       // cbIDmode "ID Mode"
  virtual bool ControlLock() const = 0;  // cbAutoBeep "Control Lock"
  virtual int MyId() const = 0;          // seMyID: its text as a decimal number, 0 when not a number

  virtual void AppendLog(const std::string& line) = 0;  // one line at the end of Memo1

  virtual void SetSwitchLabel(const std::string& text) = 0;  // Label1: "OPEN" / "CLOSE"
  virtual void SetBuzzerLabel(const std::string& text) = 0;  // Label4: "ON" / "OFF"
  virtual void SetOutput1(bool checked) = 0;                 // CheckBox1, first output
  virtual void SetOutput2(bool checked) = 0;                 // CheckBox2, second output
  // Option boxes CheckBox3..CheckBox6 by option bit 0..3 (FMT0, FMT1, NO BEEP, REPEAT).
  virtual void SetOption(int bit, bool checked) = 0;
  virtual bool Option(int bit) const = 0;
  virtual void SetFmt0(bool checked) = 0;
  virtual void SetFmt1(bool checked) = 0;

  virtual void Beep() = 0;  // the system's default beep

  // Timer1, the inter-byte timeout: (re)start with an interval, or stop.
  virtual void StartInterByteTimer(int milliseconds) = 0;
  virtual void StopInterByteTimer() = 0;
};
