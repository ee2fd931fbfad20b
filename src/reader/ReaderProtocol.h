#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ProtocolState.h"

class ReaderLink;
class ReaderPanel;

// The reader protocol: cuts received bytes into binary frames or ASCII lines,
// acts on the replies, and frames and times the commands sent to the reader.
// The window's handlers delegate to it; it sees the window only through the
// panel and the port and event loop only through the link. Port failures
// pass through as the link raises them.
//
// Decoder states: 0 waiting for a start flag (binary) or collecting a line
// (ASCII); 1 length byte; 2 data bytes; 3 checksum; 4 end flag; 5 line feed
// seen, waiting for the carriage return; 6 ID byte (binary, ID mode).
class ReaderProtocol {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  static constexpr std::size_t AsciiLineLimit = 255;
  static constexpr int InterByteTimeout = 100;  // ms after the last received byte
  static constexpr int TransmitLead = 2;        // ms of RTS before the first byte
  static constexpr int TransmitTail = 50;       // ms of RTS after the last write

  // The clock measures waits; it must be monotonic.
  ReaderProtocol(ReaderPanel& panel, ReaderLink& link, Clock clock = std::chrono::steady_clock::now);

  // Count bytes are waiting at the port: reads and decodes them.
  void ComPort1RxChar(int Count);
  // The inter-byte timeout expired: drops a half-received reply.
  void Timer1Timer();
  void ResetDecoder();

  // Sends "~", in ID mode the ID byte, then Command, inside one RTS cycle;
  // nothing at all while the port is closed. The ID byte is the reader ID as
  // it stands when it goes out (a frame decoded during the lead-in sets it to
  // its sender's), or `to` when given: a caller that addresses one reader of
  // a busy bus.
  void SendCommand(const std::string& Command, std::optional<int> to = std::nullopt);
  void RaiseTransmitLine();
  void DropTransmitLine();
  // In ID mode, addresses the reader chosen on the panel.
  void RefreshReaderId();
  // The answer to an accepted card code or switch event.
  void AcknowledgeEvent();
  // Returns once more than Milliseconds have passed, handling events meanwhile.
  void WaitMilliseconds(int Milliseconds);

  // "A".."P" from the option boxes: a checked box contributes nothing.
  std::string OptionLetter() const;

  const ProtocolState& State() const { return state_; }
  void SetTraceEnabled(bool enabled) { state_.TraceEnabled = enabled; }

 private:
  void DecodeFramed(std::uint8_t b);
  void DecodeAscii(std::uint8_t b);
  void InterpretFrame();
  void InterpretReplyByte(std::uint8_t d);
  void InterpretAsciiLine();
  void ApplyOptionBits(int bits);
  void Trace(const std::string& line);

  ReaderPanel& panel_;
  ReaderLink& link_;
  Clock clock_;
  ProtocolState state_;
};
