#include "ComSettings.h"

#include "ComPort.h"
#include "device/SerialDevice.h"

namespace {

constexpr uint32_t kBaudRates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                   14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

// Event mask bit of each TComEvent, by ordinal.
constexpr uint32_t kEventBits[] = {
    serialdev::EV_RXCHAR, serialdev::EV_TXEMPTY, serialdev::EV_RXFLAG, serialdev::EV_RING, serialdev::EV_BREAK,
    serialdev::EV_CTS,    serialdev::EV_DSR,     serialdev::EV_ERR,    serialdev::EV_RLSD, serialdev::EV_RX80FULL};

}  // namespace

uint32_t BaudRateValue(TBaudRate rate) { return kBaudRates[rate]; }

TBaudRate BaudRateFor(uint32_t bitsPerSecond) {
  for (unsigned rate = brCustom + 1; rate < std::size(kBaudRates); ++rate) {
    if (kBaudRates[rate] == bitsPerSecond) return static_cast<TBaudRate>(rate);
  }
  return brCustom;
}

std::string ComErrorNames(TComErrors errors) {
  static constexpr const char* kNames[] = {"ceFrame", "ceRxParity", "ceOverrun", "ceBreak",
                                           "ceIO",    "ceMode",     "ceRxOver",  "ceTxFull"};
  std::string names;
  for (int e = ceFrame; e <= ceTxFull; ++e) {
    if (!errors.Contains(TComError(e))) continue;
    if (!names.empty()) names += ' ';
    names += kNames[e];
  }
  return names;
}

uint32_t EventsToMask(TComEvents events) {
  uint32_t mask = 0;
  for (unsigned e = 0; e < std::size(kEventBits); ++e) {
    if (events.Contains(static_cast<TComEvent>(e))) mask |= kEventBits[e];
  }
  return mask;
}

TComEvents MaskToEvents(uint32_t mask) {
  TComEvents events;
  for (unsigned e = 0; e < std::size(kEventBits); ++e) {
    if (mask & kEventBits[e]) events.Include(static_cast<TComEvent>(e));
  }
  return events;
}

// ---- TComTimeouts

TComTimeouts::TComTimeouts(const TComTimeouts& other) : owner_(nullptr) { *this = other; }

TComTimeouts& TComTimeouts::operator=(const TComTimeouts& other) {
  readInterval_ = other.readInterval_;
  readTotalMultiplier_ = other.readTotalMultiplier_;
  readTotalConstant_ = other.readTotalConstant_;
  writeTotalMultiplier_ = other.writeTotalMultiplier_;
  writeTotalConstant_ = other.writeTotalConstant_;
  return *this;
}

void TComTimeouts::Change(int32_t& field, int32_t value) {
  if (field == value) return;
  field = value;
  if (owner_) owner_->CommitTimeouts();
}

void TComTimeouts::SetReadInterval(int32_t value) { Change(readInterval_, value); }
void TComTimeouts::SetReadTotalMultiplier(int32_t value) { Change(readTotalMultiplier_, value); }
void TComTimeouts::SetReadTotalConstant(int32_t value) { Change(readTotalConstant_, value); }
void TComTimeouts::SetWriteTotalMultiplier(int32_t value) { Change(writeTotalMultiplier_, value); }
void TComTimeouts::SetWriteTotalConstant(int32_t value) { Change(writeTotalConstant_, value); }

// ---- TComFlowControl

TComFlowControl::TComFlowControl(const TComFlowControl& other) : owner_(nullptr) { *this = other; }

TComFlowControl& TComFlowControl::operator=(const TComFlowControl& other) {
  outCTSFlow_ = other.outCTSFlow_;
  outDSRFlow_ = other.outDSRFlow_;
  controlDTR_ = other.controlDTR_;
  controlRTS_ = other.controlRTS_;
  xonXoffOut_ = other.xonXoffOut_;
  xonXoffIn_ = other.xonXoffIn_;
  dsrSensitivity_ = other.dsrSensitivity_;
  txContinueOnXoff_ = other.txContinueOnXoff_;
  xonChar_ = other.xonChar_;
  xoffChar_ = other.xoffChar_;
  return *this;
}

template <typename T>
void TComFlowControl::Change(T& field, T value) {
  if (field == value) return;
  field = value;
  Commit();
}

void TComFlowControl::Commit() {
  if (owner_) owner_->CommitLineSettings();
}

void TComFlowControl::SetOutCTSFlow(bool value) { Change(outCTSFlow_, value); }
void TComFlowControl::SetOutDSRFlow(bool value) { Change(outDSRFlow_, value); }
void TComFlowControl::SetControlDTR(TDTRFlowControl value) { Change(controlDTR_, value); }
void TComFlowControl::SetControlRTS(TRTSFlowControl value) { Change(controlRTS_, value); }
void TComFlowControl::SetXonXoffOut(bool value) { Change(xonXoffOut_, value); }
void TComFlowControl::SetXonXoffIn(bool value) { Change(xonXoffIn_, value); }
void TComFlowControl::SetDSRSensitivity(bool value) { Change(dsrSensitivity_, value); }
void TComFlowControl::SetTxContinueOnXoff(bool value) { Change(txContinueOnXoff_, value); }
void TComFlowControl::SetXonChar(char value) { Change(xonChar_, value); }
void TComFlowControl::SetXoffChar(char value) { Change(xoffChar_, value); }

TFlowControl TComFlowControl::FlowControl() const {
  if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcHardware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) return fcSoftware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  if (value != fcCustom) {
    controlRTS_ = rtsDisable;
    outCTSFlow_ = false;
    xonXoffIn_ = false;
    xonXoffOut_ = false;
    if (value == fcHardware) {
      controlRTS_ = rtsHandshake;
      outCTSFlow_ = true;
    } else if (value == fcSoftware) {
      xonXoffIn_ = true;
      xonXoffOut_ = true;
    }
  }
  Commit();
}

// ---- TComParity

TComParity::TComParity(const TComParity& other) : owner_(nullptr) { *this = other; }

TComParity& TComParity::operator=(const TComParity& other) {
  bits_ = other.bits_;
  check_ = other.check_;
  replace_ = other.replace_;
  replaceChar_ = other.replaceChar_;
  return *this;
}

template <typename T>
void TComParity::Change(T& field, T value) {
  if (field == value) return;
  field = value;
  if (owner_) owner_->CommitLineSettings();
}

void TComParity::SetBits(TParityBits value) { Change(bits_, value); }
void TComParity::SetCheck(bool value) { Change(check_, value); }
void TComParity::SetReplace(bool value) { Change(replace_, value); }
void TComParity::SetReplaceChar(char value) { Change(replaceChar_, value); }

// ---- TComBuffer

TComBuffer::TComBuffer(const TComBuffer& other) : owner_(nullptr) { *this = other; }

TComBuffer& TComBuffer::operator=(const TComBuffer& other) {
  inputSize_ = other.inputSize_;
  outputSize_ = other.outputSize_;
  return *this;
}

void TComBuffer::Change(int32_t& field, int32_t value) {
  if (value > 0 && value % 2 == 1) --value;
  if (field == value) return;
  field = value;
  if (owner_) owner_->CommitBufferSizes();
}

void TComBuffer::SetInputSize(int32_t value) { Change(inputSize_, value); }
void TComBuffer::SetOutputSize(int32_t value) { Change(outputSize_, value); }
