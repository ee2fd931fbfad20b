#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace serialdev {

// The client's side of a Telnet session with the COM-PORT-OPTION (RFC 2217):
// parses what a server sends into data bytes, negotiation replies, answers to
// requests and the server's notifications, and builds what the client sends.
// No I/O of its own.
//
// Negotiation follows RFC 854's rule of never acknowledging a state already
// in force: the client does BINARY and SUPPRESS-GO-AHEAD both ways and the
// COM-PORT-OPTION, and refuses every other option, each refusal once. Every
// buffer is bounded: a sub-negotiation keeps at most kValueLimit bytes (a
// longer one is dropped whole), and the replies of a session are counted.
class TelnetSession {
 public:
  enum Byte : uint8_t { kSe = 240, kSb = 250, kWill = 251, kWont = 252, kDo = 253, kDont = 254, kIac = 255 };
  enum Option : uint8_t { kBinary = 0, kEcho = 1, kSuppressGoAhead = 3, kComPort = 44 };
  // COM-PORT-OPTION commands, client to server; the server answers with
  // the code plus kAnswerOffset.
  enum Command : uint8_t {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowSuspend = 8,
    kFlowResume = 9,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
  };
  static constexpr uint8_t kAnswerOffset = 100;
  static constexpr size_t kValueLimit = 64;
  static constexpr int kReplyLimit = 256;

  enum class ComPortState { Pending, Accepted, Refused };

  // Modem state as NOTIFY-MODEMSTATE reports it, with the lines that changed
  // since the last Take.
  struct ModemReport {
    bool reported = false;
    uint8_t state = 0;    // 0x80 RLSD, 0x40 RI, 0x20 DSR, 0x10 CTS
    uint8_t changed = 0;  // the same bits for lines that changed (RI: rose)
  };

  // The requests that open the session.
  std::string Opening();

  // Takes bytes from the server: data bytes are appended to `data`, the
  // replies the negotiation calls for to `replies`.
  void Receive(const uint8_t* bytes, size_t size, std::string& data, std::string& replies);

  ComPortState ComPort() const { return comPort_; }
  // Answers received so far to a command, and the value of the last one.
  uint64_t Answers(Command command) const { return answers_[command]; }
  const std::string& LastAnswer(Command command) const { return lastAnswer_[command]; }
  ModemReport TakeModemReport();
  // The NOTIFY-LINESTATE bits reported since the last call, or-ed together.
  uint8_t TakeLineState();

  // Data with every 0xFF doubled.
  static std::string Escape(const uint8_t* data, size_t size);
  // IAC SB COM-PORT-OPTION command value IAC SE, the value escaped.
  static std::string Request(Command command, std::string_view value);

 private:
  enum class State { Data, Iac, Verb, Option, Value, ValueIac };
  enum class Side { Off, Asked, On };

  void Negotiate(uint8_t verb, uint8_t option, std::string& replies);
  void Reply(uint8_t verb, uint8_t option, std::string& replies);
  void AfterIac(uint8_t b, std::string& data);
  void EndSubnegotiation();

  static bool WeDo(uint8_t option);
  static bool TheyMay(uint8_t option);

  State state_ = State::Data;
  uint8_t verb_ = 0;
  uint8_t subOption_ = 0;
  std::string value_;
  bool valueOverflow_ = false;

  std::array<Side, 256> local_{};   // options the client does
  std::array<Side, 256> remote_{};  // options the server does
  std::bitset<256> refusedLocal_;
  std::bitset<256> refusedRemote_;
  int replies_ = 0;

  ComPortState comPort_ = ComPortState::Pending;
  std::array<uint64_t, 13> answers_{};
  std::array<std::string, 13> lastAnswer_{};
  ModemReport modem_;
  uint8_t lastModem_ = 0;
  uint8_t lineState_ = 0;
};

}  // namespace serialdev
