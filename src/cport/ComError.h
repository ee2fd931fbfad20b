#pragma once

#include <stdexcept>
#include <string>

// Reasons of EComPort: the index of the reason's text in PortErrorTexts.
enum PortErrorReason : int {
  kOpenFailed = 1,
  kWriteFailed = 2,
  kReadFailed = 3,
  kInvalidAsyncParameter = 4,
  kPurgeFailed = 5,
  kAsyncStatusFailed = 6,
  kSetStateFailed = 7,
  kSetTimeoutsFailed = 8,
  kSetupQueuesFailed = 9,
  kClearErrorsFailed = 10,
  kModemStatusFailed = 11,
  kEscapeFailed = 12,
  kTransmitCharFailed = 13,
  kSetWhileConnected = 14,
  kEnumPortsFailed = 15,
  kStoreSettingsFailed = 16,
  kLoadSettingsFailed = 17,
  kLinkRegistrationFailed = 18,
  kLedStateWithPort = 19,
  kWaitWithEventThread = 20,
  kWaitForEventFailed = 21,
  kRxBufLinked = 22,
  kRegistryError = 23,
};
inline constexpr int kPortErrorReasonCount = 23;

// The failure of a serial port operation. what() is the UTF-8 message: the
// reason's text, followed, when the failure carries a system error code
// (errno here), by " (win error code: <code>)"; both pass through the
// message catalogues.
class EComPort : public std::runtime_error {
 public:
  // A failure with the system's error code.
  EComPort(int reasonCode, int systemCode);
  // A failure without one (reasons 4 and 14): SystemCode is -1, no suffix.
  explicit EComPort(int reasonCode);

  int ReasonCode() const { return reasonCode_; }
  int SystemCode() const { return systemCode_; }

 private:
  int reasonCode_;
  int systemCode_;
};

// The text of a reason (1 to 23) as translated when the catalogues were
// loaded (English before that); an empty text for any other number.
const std::string& PortErrorTexts(int reasonCode);

// Translates the table of reason texts through the catalogues now loaded;
// called at start-up right after LoadMessageCatalogues.
void TranslatePortErrorTexts();
