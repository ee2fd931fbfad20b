#include "ProtocolText.h"
#include "ReaderPanel.h"
#include "ReaderProtocol.h"

namespace {

constexpr int kOptionCount = 4;

// Character `position` (counted from 1) of a status line is "H"; a line too
// short to hold it counts as not "H".
bool IsHigh(const std::string& line, std::size_t position) {
  return line.size() >= position && line[position - 1] == 'H';
}

}  // namespace

void ReaderProtocol::InterpretFrame() {
  if (panel_.IdMode()) panel_.AppendLog("ID=" + std::to_string(state_.ReaderId));
  const auto& d = state_.FrameData;
  if (state_.FrameLength == 1) {
    InterpretReplyByte(d[0]);
    return;
  }
  const std::uint32_t first = (d[0] << 8) | d[1];
  const std::uint32_t second = (d[2] << 16) | (d[3] << 8) | d[4];
  panel_.AppendLog(CardCodeLine(first, second));
  AcknowledgeEvent();
}

void ReaderProtocol::InterpretReplyByte(std::uint8_t d) {
  if (d == 0x50) {
    AcknowledgeEvent();
    panel_.AppendLog("CLOSE");
    panel_.SetSwitchLabel("CLOSE");
    panel_.Beep();
  } else if (d == 0x70) {
    panel_.AppendLog("OPEN");
    panel_.SetSwitchLabel("OPEN");
  } else if (d == 0x52) {
    panel_.AppendLog("POWER UP");
    SendCommand("?");
  } else if (d >= 0xF0) {
    panel_.SetSwitchLabel(d & 0x01 ? "CLOSE" : "OPEN");
    panel_.SetOutput1(d & 0x04);
    panel_.SetOutput2(d & 0x02);
    panel_.SetBuzzerLabel(d & 0x08 ? "ON" : "OFF");
    Trace("STATE=" + HexByte(d));
  } else if (d >= 0xE0) {
    ApplyOptionBits(d & 0x0F);
    Trace("STATE=" + HexByte(d));
  }
}

void ReaderProtocol::InterpretAsciiLine() {
  // A copy, so that a handler nested in the event response's waits cannot
  // change the line before it is written.
  const std::string line = state_.AsciiLine;
  if (line == "PO") {
    panel_.SetSwitchLabel("CLOSE");
    panel_.AppendLog("CLOSE");
    panel_.Beep();
  } else if (line == "PF") {
    AcknowledgeEvent();
    panel_.SetSwitchLabel("OPEN");
    panel_.AppendLog("OPEN");
  } else if (line == "RST") {
    panel_.AppendLog("POWER UP");
    SendCommand("?");
  } else if (!line.empty() && line[0] == 'S') {
    panel_.SetSwitchLabel(IsHigh(line, 2) ? "CLOSE" : "OPEN");
    panel_.SetOutput1(IsHigh(line, 3));
    panel_.SetOutput2(IsHigh(line, 4));
    panel_.SetBuzzerLabel(IsHigh(line, 5) ? "ON" : "OFF");
  } else if (!line.empty() && line[0] == 's') {
    if (line.size() >= 2 && line[1] >= 'A' && line[1] <= 'P') ApplyOptionBits(line[1] - 'A');
  } else {
    AcknowledgeEvent();
    panel_.AppendLog(line);
  }
  state_.DecoderState = 0;
  state_.AsciiLine.clear();
}

// Each set bit means its option is off. Setting a box that changes runs its
// click handler, so FMT0 and FMT1 already reach fmt0 and fmt1 that way; the
// explicit copy covers boxes that did not change.
void ReaderProtocol::ApplyOptionBits(int bits) {
  for (int bit = 0; bit < kOptionCount; ++bit) panel_.SetOption(bit, (bits & (1 << bit)) == 0);
  panel_.SetFmt0(panel_.Option(0));
  panel_.SetFmt1(panel_.Option(1));
}

std::string ReaderProtocol::OptionLetter() const {
  int bits = 0;
  for (int bit = 0; bit < kOptionCount; ++bit) {
    if (!panel_.Option(bit)) bits |= 1 << bit;
  }
  return std::string(1, static_cast<char>('A' + bits));
}
