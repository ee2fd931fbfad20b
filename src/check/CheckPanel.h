#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ReaderPanel.h"

class ReaderProtocol;

// One reply or report of the reader, as the protocol decoded it.
struct Heard {
  enum Kind { Status, Options, Card, SwitchClosed, SwitchOpened, PowerUp };
  Kind kind;
  std::optional<int> id;  // the ID byte of an ID-mode frame; none for ASCII lines and ID mode off
  std::uint8_t value = 0;  // the status byte (0xF0..0xFF) or the option bits (0..15)
  std::string text;        // a card code as the log shows it
  std::string family;      // the family line of a binary frame; empty for ASCII lines
};

// The reader protocol's panel for a run without a window: the data format,
// ID mode and reader ID are the run's, fixed while it lasts; what the
// protocol sets or writes is gathered as replies (Heard) and line problems.
// The output boxes echo nothing back, unlike the window's, and an option
// reply does not switch the decoding: the run reports what the reader says.
// The inter-byte timeout is a timer of the thread's event loop.
class CheckPanel : public ReaderPanel {
 public:
  CheckPanel();
  void Attach(ReaderProtocol& protocol);

  // Mode 3 decodes binary frames, modes 0 to 2 ASCII lines.
  void SetFormat(int mode) { format_ = mode; }
  int Format() const { return format_; }
  void SetIdMode(bool on) { idMode_ = on; }
  void SetMyId(int id) { myId_ = id; }
  void SetControlLock(bool on) { controlLock_ = on; }
  void SetOptions(int bits);

  // What arrived since the last Take: decoded replies and problems ("chksum error", ...).
  std::vector<Heard> TakeHeard();
  std::vector<std::string> TakeProblems();
  std::size_t HeardCount() const { return heard_.size(); }
  std::size_t ProblemCount() const { return problems_.size(); }
  void AddProblem(std::string problem) { problems_.push_back(std::move(problem)); }

  bool Fmt0() const override { return (format_ & 1) != 0; }
  bool Fmt1() const override { return (format_ & 2) != 0; }
  bool IdMode() const override { return idMode_; }
  // On a bus the event response goes to the reader that sent the card; only
  // the reader under test gets "Control Lock", the others' outputs stay as
  // they are.
  bool ControlLock() const override { return controlLock_ && (!idMode_ || !frameId_ || *frameId_ == myId_); }
  int MyId() const override { return myId_; }
  void AppendLog(const std::string& line) override;
  void SetSwitchLabel(const std::string& text) override { switchClosed_ = text == "CLOSE"; }
  void SetBuzzerLabel(const std::string& text) override;
  void SetOutput1(bool checked) override { output1_ = checked; }
  void SetOutput2(bool checked) override { output2_ = checked; }
  void SetOption(int bit, bool checked) override;
  bool Option(int bit) const override { return options_[bit]; }
  void SetFmt0(bool) override {}
  void SetFmt1(bool) override {}
  void Beep() override {}
  void StartInterByteTimer(int milliseconds) override { timer1_.start(milliseconds); }
  void StopInterByteTimer() override { timer1_.stop(); }

 private:
  void Add(Heard::Kind kind, std::uint8_t value = 0, std::string text = {});

  QTimer timer1_;
  int format_ = 3;
  bool idMode_ = false;
  bool controlLock_ = false;
  int myId_ = 0;
  std::array<bool, 4> options_{};
  bool switchClosed_ = false;
  bool output1_ = false;
  bool output2_ = false;
  std::string family_;
  std::optional<int> frameId_;
  std::vector<Heard> heard_;
  std::vector<std::string> problems_;
};

// The status byte's fields: bit 0 switch closed, 1 second output, 2 first output, 3 buzzer.
inline bool SwitchClosed(std::uint8_t status) { return status & 1; }
inline bool Output2On(std::uint8_t status) { return status & 2; }
inline bool Output1On(std::uint8_t status) { return status & 4; }
inline bool BuzzerOn(std::uint8_t status) { return status & 8; }
