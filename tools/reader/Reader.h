#pragma once

#include "ReaderSetup.h"
#include "Wire.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace vreader {

using Clock = std::chrono::steady_clock;

// One reader's state and the reports it builds in its current encoding.
// Option bits: a set bit switches the option off (bit 0 FMT0, 1 FMT1, 2 NO BEEP, 3 REPEAT).
class Reader {
 public:
  Reader(std::optional<std::uint8_t> id, std::uint8_t startFlag, const ReaderSetup& setup);

  std::optional<std::uint8_t> id() const { return id_; }
  std::string name() const { return id_ ? std::to_string(*id_) : "-"; }
  const ReaderSetup& setup() const { return setup_; }

  bool binary() const { return (optionBits_ & 3) == 0; }
  // 2 x FMT1 + FMT0, as the tool shows it ("Mode 0" .. "Mode 3").
  int mode() const;
  char optionLetter() const { return char('A' + optionBits_); }
  void setOptionBits(std::uint8_t bits) { optionBits_ = bits & 15; }

  void setOutput1(bool on) { output1_ = on; }
  void setOutput2(bool on) { output2_ = on; }
  void setSwitch(bool closed) { switchClosed_ = closed; }
  void setBuzzer(bool on) { buzzer_ = on; }
  // Relay (second output) on for the pulse; a new pulse restarts it.
  void startPulse(Clock::time_point now, std::chrono::milliseconds length);
  std::optional<Clock::time_point> pulseEnd() const { return pulseEnd_; }
  bool endPulseIfDue(Clock::time_point now);
  void countAcknowledgement() { ++acknowledgements_; }

  std::uint8_t statusByte() const;
  std::string statusText() const;
  std::string describe() const;

  Bytes statusReport() const;
  Bytes optionReport() const;
  Bytes powerUpReport() const;
  Bytes switchReport(bool closed) const;
  Bytes cardReport(const CardCode& code) const;
  // The binary card frame, whatever the encoding (the faults are built from it).
  Bytes cardFrame(const CardCode& code) const;

 private:
  Bytes oneByteReport(std::uint8_t value, std::string_view text) const;

  std::optional<std::uint8_t> id_;
  ReaderSetup setup_;
  std::uint8_t startFlag_;
  std::uint8_t optionBits_;
  bool output1_ = false;
  bool output2_ = false;
  bool switchClosed_ = false;
  bool buzzer_ = false;
  std::optional<Clock::time_point> pulseEnd_;
  unsigned long acknowledgements_ = 0;
};

}  // namespace vreader
