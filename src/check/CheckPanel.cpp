#include "CheckPanel.h"

#include <utility>

#include "ReaderProtocol.h"

namespace {

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

// The diagnostic lines of the protocol's trace that say nothing of a reply.
bool IsTraceOnly(const std::string& line) {
  return StartsWith(line, "Framed <") || StartsWith(line, "ASCII [") || StartsWith(line, "[") ||
         StartsWith(line, "{") || StartsWith(line, "STATE=") || line == "good code" || line == "reset";
}

bool IsFamilyLine(const std::string& line) {
  return line == "Orvane series" || line == "Wimsel series" || line == "Pallox series" || line == "Yorvel series";
}

}  // namespace

CheckPanel::CheckPanel() { timer1_.setSingleShot(true); }

void CheckPanel::Attach(ReaderProtocol& protocol) {
  QObject::connect(&timer1_, &QTimer::timeout, [&protocol] { protocol.Timer1Timer(); });
}

void CheckPanel::SetOptions(int bits) {
  for (int bit = 0; bit < 4; ++bit) options_[bit] = (bits & (1 << bit)) == 0;
}

// Every good frame writes its family line first, then in ID mode its ID, then
// what it carries; lines end the same way without the first two.
void CheckPanel::AppendLog(const std::string& line) {
  if (IsTraceOnly(line)) return;
  if (line == "wrong length" || line == "chksum error" || line == "end flag error") {
    problems_.push_back(line);
  } else if (line == "RESET") {
    problems_.push_back("incomplete reply (RESET)");
  } else if (IsFamilyLine(line)) {
    family_ = line;
    frameId_.reset();
  } else if (StartsWith(line, "ID=")) {
    frameId_ = std::stoi(line.substr(3));
  } else if (line == "CLOSE") {
    Add(Heard::SwitchClosed);
  } else if (line == "OPEN") {
    Add(Heard::SwitchOpened);
  } else if (line == "POWER UP") {
    Add(Heard::PowerUp);
  } else {
    Add(Heard::Card, 0, line);
  }
}

// The buzzer is the last of the four fields a status reply sets.
void CheckPanel::SetBuzzerLabel(const std::string& text) {
  const auto status = static_cast<std::uint8_t>(0xF0 | (switchClosed_ ? 1 : 0) | (output2_ ? 2 : 0) |
                                                (output1_ ? 4 : 0) | (text == "ON" ? 8 : 0));
  Add(Heard::Status, status);
}

// REPEAT, bit 3, is the last option an option reply sets.
void CheckPanel::SetOption(int bit, bool checked) {
  options_[bit] = checked;
  if (bit != 3) return;
  int bits = 0;
  for (int b = 0; b < 4; ++b) bits |= options_[b] ? 0 : 1 << b;
  Add(Heard::Options, static_cast<std::uint8_t>(bits));
}

void CheckPanel::Add(Heard::Kind kind, std::uint8_t value, std::string text) {
  const bool framed = Fmt0() && Fmt1();
  heard_.push_back({kind, framed ? frameId_ : std::nullopt, value, std::move(text), framed ? family_ : std::string()});
}

std::vector<Heard> CheckPanel::TakeHeard() { return std::exchange(heard_, {}); }
std::vector<std::string> CheckPanel::TakeProblems() { return std::exchange(problems_, {}); }
