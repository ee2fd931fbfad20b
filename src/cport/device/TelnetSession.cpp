#include "TelnetSession.h"

namespace serialdev {

namespace {

constexpr uint8_t kModemLines = 0xF0;
constexpr uint8_t kRing = 0x40;
// Low nibble of NOTIFY-MODEMSTATE: delta CTS, delta DSR, trailing edge of
// RI, delta RLSD, each for the line four bits up.
constexpr uint8_t kDeltaShift = 4;

}  // namespace

bool TelnetSession::WeDo(uint8_t option) { return option == kBinary || option == kSuppressGoAhead || option == kComPort; }

bool TelnetSession::TheyMay(uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

std::string TelnetSession::Opening() {
  std::string out;
  for (uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
    out += {static_cast<char>(kIac), static_cast<char>(kWill), static_cast<char>(option)};
    local_[option] = Side::Asked;
  }
  for (uint8_t option : {kBinary, kSuppressGoAhead}) {
    out += {static_cast<char>(kIac), static_cast<char>(kDo), static_cast<char>(option)};
    remote_[option] = Side::Asked;
  }
  return out;
}

void TelnetSession::Reply(uint8_t verb, uint8_t option, std::string& replies) {
  if (replies_ >= kReplyLimit) return;
  ++replies_;
  replies += {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

void TelnetSession::Negotiate(uint8_t verb, uint8_t option, std::string& replies) {
  const bool local = verb == kDo || verb == kDont;
  const bool enable = verb == kDo || verb == kWill;
  Side& side = local ? local_[option] : remote_[option];
  const bool supported = local ? WeDo(option) : TheyMay(option);
  const uint8_t yes = local ? kWill : kDo;
  const uint8_t no = local ? kWont : kDont;
  if (enable) {
    if (!supported) {
      auto& refused = local ? refusedLocal_ : refusedRemote_;
      if (!refused[option]) Reply(no, option, replies);
      refused[option] = true;
    } else if (side != Side::On) {
      if (side == Side::Off) Reply(yes, option, replies);
      side = Side::On;
    }
  } else if (side != Side::Off) {
    if (side == Side::On) Reply(no, option, replies);
    side = Side::Off;
  }
  if (local && option == kComPort) {
    if (enable && comPort_ != ComPortState::Accepted) comPort_ = ComPortState::Accepted;
    if (!enable) comPort_ = ComPortState::Refused;
  }
}

void TelnetSession::EndSubnegotiation() {
  const bool whole = !valueOverflow_ && subOption_ == kComPort && !value_.empty();
  if (whole) {
    const auto code = static_cast<uint8_t>(value_[0]);
    const std::string value = value_.substr(1);
    if (code >= kAnswerOffset && code <= kAnswerOffset + kPurgeData) {
      const auto command = static_cast<Command>(code - kAnswerOffset);
      switch (command) {
        case kNotifyLineState:
          if (!value.empty()) lineState_ |= static_cast<uint8_t>(value[0]);
          break;
        case kNotifyModemState:
          if (!value.empty()) {
            const auto bits = static_cast<uint8_t>(value[0]);
            const auto state = static_cast<uint8_t>(bits & kModemLines);
            uint8_t changed = static_cast<uint8_t>((state ^ lastModem_) | ((bits & 0x0F) << kDeltaShift));
            changed = static_cast<uint8_t>(changed & ~kRing);
            if ((state & kRing) && !(lastModem_ & kRing)) changed |= kRing;
            if (bits & 0x04) changed |= kRing;
            modem_.reported = true;
            modem_.state = state;
            modem_.changed |= changed;
            lastModem_ = state;
          }
          break;
        case kFlowSuspend:
        case kFlowResume: break;  // the client's sending is bounded by TCP's own flow control
        default:
          ++answers_[command];
          lastAnswer_[command] = value;
          break;
      }
    }
  }
  value_.clear();
  valueOverflow_ = false;
}

void TelnetSession::AfterIac(uint8_t b, std::string& data) {
  if (b == kIac) {
    data += static_cast<char>(b);
    state_ = State::Data;
  } else if (b >= kWill && b <= kDont) {
    verb_ = b;
    state_ = State::Verb;
  } else if (b == kSb) {
    state_ = State::Option;
  } else {
    state_ = State::Data;  // NOP, GA and the other one-byte commands
  }
}

void TelnetSession::Receive(const uint8_t* bytes, size_t size, std::string& data, std::string& replies) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case State::Data:
        if (b == kIac) {
          state_ = State::Iac;
        } else {
          data += static_cast<char>(b);
        }
        break;
      case State::Iac: AfterIac(b, data); break;
      case State::Verb:
        Negotiate(verb_, b, replies);
        state_ = State::Data;
        break;
      case State::Option:
        subOption_ = b;
        value_.clear();
        valueOverflow_ = false;
        state_ = State::Value;
        break;
      case State::Value:
        if (b == kIac) {
          state_ = State::ValueIac;
        } else if (value_.size() < kValueLimit) {
          value_ += static_cast<char>(b);
        } else {
          valueOverflow_ = true;
        }
        break;
      case State::ValueIac:
        if (b == kIac) {
          if (value_.size() < kValueLimit) {
            value_ += static_cast<char>(b);
          } else {
            valueOverflow_ = true;
          }
          state_ = State::Value;
        } else if (b == kSe) {
          EndSubnegotiation();
          state_ = State::Data;
        } else {
          // A command inside a sub-negotiation ends it unfinished; the
          // command itself still counts.
          value_.clear();
          valueOverflow_ = false;
          AfterIac(b, data);
        }
        break;
    }
  }
}

TelnetSession::ModemReport TelnetSession::TakeModemReport() {
  ModemReport report = modem_;
  modem_.reported = false;
  modem_.changed = 0;
  return report;
}

uint8_t TelnetSession::TakeLineState() {
  const uint8_t bits = lineState_;
  lineState_ = 0;
  return bits;
}

std::string TelnetSession::Escape(const uint8_t* data, size_t size) {
  std::string out;
  out.reserve(size + 8);
  for (size_t i = 0; i < size; ++i) {
    out += static_cast<char>(data[i]);
    if (data[i] == kIac) out += static_cast<char>(kIac);
  }
  return out;
}

std::string TelnetSession::Request(Command command, std::string_view value) {
  std::string out{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                  static_cast<char>(command)};
  out += Escape(reinterpret_cast<const uint8_t*>(value.data()), value.size());
  out += {static_cast<char>(kIac), static_cast<char>(kSe)};
  return out;
}

}  // namespace serialdev
