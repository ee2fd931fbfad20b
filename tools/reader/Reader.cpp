#include "Reader.h"

namespace vreader {

Reader::Reader(std::optional<std::uint8_t> id, std::uint8_t startFlag, const ReaderSetup& setup)
    : id_(id), setup_(setup), startFlag_(startFlag), optionBits_(setup.optionBits & 15) {}

int Reader::mode() const { return 2 * !(optionBits_ & 2) + !(optionBits_ & 1); }

void Reader::startPulse(Clock::time_point now, std::chrono::milliseconds length) { pulseEnd_ = now + length; }

bool Reader::endPulseIfDue(Clock::time_point now) {
  if (!pulseEnd_ || now < *pulseEnd_) return false;
  pulseEnd_.reset();
  return true;
}

std::uint8_t Reader::statusByte() const {
  bool relay = output2_ || pulseEnd_.has_value();
  return std::uint8_t(0xF0 | (switchClosed_ ? 1 : 0) | (relay ? 2 : 0) | (output1_ ? 4 : 0) | (buzzer_ ? 8 : 0));
}

std::string Reader::statusText() const {
  auto level = [](bool high) { return high ? 'H' : 'L'; };
  std::uint8_t s = statusByte();
  return {'S', level(s & 1), level(s & 4), level(s & 2), level(s & 8)};
}

std::string Reader::describe() const {
  std::uint8_t s = statusByte();
  return "out1=" + std::to_string(output1_) + " out2=" + std::to_string(output2_) +
         " relay=" + std::to_string((s & 2) != 0) + " switch=" + std::to_string(switchClosed_) +
         " buzzer=" + std::to_string(buzzer_) + " options=" + optionLetter() + " mode=" + std::to_string(mode()) +
         " acks=" + std::to_string(acknowledgements_);
}

Bytes Reader::oneByteReport(std::uint8_t value, std::string_view text) const {
  if (!binary()) return asciiLine(text);
  std::uint8_t data[] = {value};
  return binaryFrame(startFlag_, id_, data);
}

Bytes Reader::statusReport() const { return oneByteReport(statusByte(), statusText()); }

Bytes Reader::optionReport() const {
  return oneByteReport(std::uint8_t(0xE0 | optionBits_), std::string{'s', optionLetter()});
}

Bytes Reader::powerUpReport() const { return oneByteReport(0x52, "RST"); }

Bytes Reader::switchReport(bool closed) const { return closed ? oneByteReport(0x50, "PO") : oneByteReport(0x70, "PF"); }

Bytes Reader::cardFrame(const CardCode& code) const {
  auto data = code.bytes();
  return binaryFrame(startFlag_, id_, data);
}

Bytes Reader::cardReport(const CardCode& code) const {
  return binary() ? cardFrame(code) : asciiLine(cardText(mode(), code));
}

}  // namespace vreader
