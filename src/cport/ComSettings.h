#pragma once

#include <cstdint>
#include <string>

#include "EnumSet.h"

class TCustomComPort;

enum TBaudRate {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full };
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };
enum TLineSignal { lsCTS, lsDSR, lsRing, lsRLSD };

using TComEvents = EnumSet<TComEvent>;
using TComErrors = EnumSet<TComError>;
using TLineSignals = EnumSet<TLineSignal>;

inline constexpr TComEvents kAllComEvents{evRxChar, evTxEmpty, evRxFlag, evRing, evBreak,
                                          evCTS,    evDSR,     evError,  evRLSD, evRx80Full};

// Bits per second that a speed stands for; 0 for brCustom.
uint32_t BaudRateValue(TBaudRate rate);
// The speed of a number of bits per second, brCustom when no enumerator has it.
TBaudRate BaudRateFor(uint32_t bitsPerSecond);

// The names of a set of line errors, separated by spaces: "ceFrame ceOverrun".
std::string ComErrorNames(TComErrors errors);

// Event mask of the device for a set of events, and back (unknown bits are ignored).
uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(uint32_t mask);

// The settings objects below belong to a component (their owner) or stand
// alone (owner null), as values to hand to the component's setters. A field
// setter does nothing when the value is unchanged; otherwise it stores the
// value and asks the owner to commit that group of settings. Copying one
// object into another copies the fields only: no commit, owner kept (a copy
// constructed from another has no owner).

class TComTimeouts {
 public:
  explicit TComTimeouts(TCustomComPort* owner = nullptr) : owner_(owner) {}
  TComTimeouts(const TComTimeouts& other);
  TComTimeouts& operator=(const TComTimeouts& other);

  // Milliseconds; -1 stands for "no limit" (MAXDWORD).
  int32_t ReadInterval() const { return readInterval_; }
  int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
  int32_t ReadTotalConstant() const { return readTotalConstant_; }
  int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
  int32_t WriteTotalConstant() const { return writeTotalConstant_; }
  void SetReadInterval(int32_t value);
  void SetReadTotalMultiplier(int32_t value);
  void SetReadTotalConstant(int32_t value);
  void SetWriteTotalMultiplier(int32_t value);
  void SetWriteTotalConstant(int32_t value);

 private:
  void Change(int32_t& field, int32_t value);

  TCustomComPort* owner_;
  int32_t readInterval_ = -1;
  int32_t readTotalMultiplier_ = 0;
  int32_t readTotalConstant_ = 0;
  int32_t writeTotalMultiplier_ = 100;
  int32_t writeTotalConstant_ = 1000;
};

class TComFlowControl {
 public:
  explicit TComFlowControl(TCustomComPort* owner = nullptr) : owner_(owner) {}
  TComFlowControl(const TComFlowControl& other);
  TComFlowControl& operator=(const TComFlowControl& other);

  bool OutCTSFlow() const { return outCTSFlow_; }
  bool OutDSRFlow() const { return outDSRFlow_; }
  TDTRFlowControl ControlDTR() const { return controlDTR_; }
  TRTSFlowControl ControlRTS() const { return controlRTS_; }
  bool XonXoffOut() const { return xonXoffOut_; }
  bool XonXoffIn() const { return xonXoffIn_; }
  bool DSRSensitivity() const { return dsrSensitivity_; }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  char XonChar() const { return xonChar_; }
  char XoffChar() const { return xoffChar_; }
  void SetOutCTSFlow(bool value);
  void SetOutDSRFlow(bool value);
  void SetControlDTR(TDTRFlowControl value);
  void SetControlRTS(TRTSFlowControl value);
  void SetXonXoffOut(bool value);
  void SetXonXoffIn(bool value);
  void SetDSRSensitivity(bool value);
  void SetTxContinueOnXoff(bool value);
  void SetXonChar(char value);
  void SetXoffChar(char value);

  // The summary of RTS, CTS and XON/XOFF flow; setting it (even to the
  // present value) rewrites those fields and always commits.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl value);

 private:
  template <typename T>
  void Change(T& field, T value);
  void Commit();

  TCustomComPort* owner_;
  bool outCTSFlow_ = false;
  bool outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = dtrDisable;
  TRTSFlowControl controlRTS_ = rtsDisable;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
  char xonChar_ = 17;
  char xoffChar_ = 19;
};

class TComParity {
 public:
  explicit TComParity(TCustomComPort* owner = nullptr) : owner_(owner) {}
  TComParity(const TComParity& other);
  TComParity& operator=(const TComParity& other);

  TParityBits Bits() const { return bits_; }
  bool Check() const { return check_; }
  bool Replace() const { return replace_; }
  char ReplaceChar() const { return replaceChar_; }
  void SetBits(TParityBits value);
  void SetCheck(bool value);
  void SetReplace(bool value);
  void SetReplaceChar(char value);

 private:
  template <typename T>
  void Change(T& field, T value);

  TCustomComPort* owner_;
  TParityBits bits_ = prNone;
  bool check_ = false;
  bool replace_ = false;
  char replaceChar_ = 0;
};

class TComBuffer {
 public:
  explicit TComBuffer(TCustomComPort* owner = nullptr) : owner_(owner) {}
  TComBuffer(const TComBuffer& other);
  TComBuffer& operator=(const TComBuffer& other);

  // Bytes requested for the driver's queues; a positive odd size is stored
  // one smaller (1025 becomes 1024).
  int32_t InputSize() const { return inputSize_; }
  int32_t OutputSize() const { return outputSize_; }
  void SetInputSize(int32_t value);
  void SetOutputSize(int32_t value);

 private:
  void Change(int32_t& field, int32_t value);

  TCustomComPort* owner_;
  int32_t inputSize_ = 1024;
  int32_t outputSize_ = 1024;
};
