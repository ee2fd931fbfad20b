#pragma once

#include <array>
#include <cstdint>
#include <string>

// The state that the decoder, the reply interpreters and the command sender
// share. Everything starts at zero or empty.
struct ProtocolState {
  std::uint8_t DecoderState = 0;    // 0..6, see ReaderProtocol
  std::uint8_t FrameRemaining = 0;  // data bytes still expected
  std::uint8_t FrameChecksum = 0;   // sum of the data bytes so far, modulo 256
  std::uint8_t FrameLength = 0;     // data bytes stored in FrameData
  std::array<std::uint8_t, 5> FrameData{};
  std::uint8_t FrameStartFlag = 0;
  std::uint8_t FrameEndFlag = 0;
  bool TraceEnabled = false;
  std::string AsciiLine;      // at most ReaderProtocol::AsciiLineLimit characters
  std::int32_t ReaderId = 0;  // sent as the ID byte in ID mode; set by every ID-mode frame
};
