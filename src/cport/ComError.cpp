#include "ComError.h"

#include <array>
#include <cstdio>

#include "MessageCatalogue.h"

namespace {

const char* const kEnglishTexts[kPortErrorReasonCount] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

const char kCodeSuffix[] = " (win error code: %d)";

// Index 0 stays empty for reasons outside the table.
std::array<std::string, kPortErrorReasonCount + 1> MakeEnglishTable() {
  std::array<std::string, kPortErrorReasonCount + 1> table;
  for (int r = 1; r <= kPortErrorReasonCount; ++r) table[r] = kEnglishTexts[r - 1];
  return table;
}

std::array<std::string, kPortErrorReasonCount + 1>& Table() {
  static std::array<std::string, kPortErrorReasonCount + 1> table = MakeEnglishTable();
  return table;
}

std::string MessageWithCode(int reasonCode, int systemCode) {
  // The text joined with the suffix is a format with one integer; the text
  // holds no conversion of its own (checked when it was translated).
  const std::string format = PortErrorTexts(reasonCode) + TranslateFormat(kCodeSuffix);
  const int size = std::snprintf(nullptr, 0, format.c_str(), systemCode);
  std::string message(size > 0 ? size : 0, '\0');
  std::snprintf(message.data(), message.size() + 1, format.c_str(), systemCode);
  return message;
}

}  // namespace

void TranslatePortErrorTexts() {
  for (int r = 1; r <= kPortErrorReasonCount; ++r) Table()[r] = TranslateFormat(kEnglishTexts[r - 1]);
}

const std::string& PortErrorTexts(int reasonCode) {
  return Table()[reasonCode >= 1 && reasonCode <= kPortErrorReasonCount ? reasonCode : 0];
}

EComPort::EComPort(int reasonCode, int systemCode)
    : std::runtime_error(MessageWithCode(reasonCode, systemCode)), reasonCode_(reasonCode), systemCode_(systemCode) {}

EComPort::EComPort(int reasonCode)
    : std::runtime_error(PortErrorTexts(reasonCode)), reasonCode_(reasonCode), systemCode_(-1) {}
