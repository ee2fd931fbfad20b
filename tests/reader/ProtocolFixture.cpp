#include "ProtocolFixture.h"

#include <cstdio>
#include <sstream>

std::string Bytes(const std::string& hex) {
  std::istringstream in(hex);
  std::string bytes;
  unsigned value = 0;
  while (in >> std::hex >> value) bytes += static_cast<char>(value);
  return bytes;
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (const char c : bytes) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(c));
    hex += (hex.empty() ? "" : " ") + std::string(digits);
  }
  return hex;
}

std::vector<std::string> ProtocolTest::Commands() const {
  using Kind = RecordingLink::WireEvent::Kind;
  std::vector<std::string> commands;
  bool inCycle = false;
  double raisedAt = 0;
  double lastWriteAt = 0;
  std::string bytes;
  for (const auto& event : link.wire) {
    if (event.kind == Kind::Write) {
      if (!inCycle) ADD_FAILURE() << "write outside an RTS cycle: " << Hex(event.bytes);
      if (bytes.empty() && event.atMs - raisedAt <= ReaderProtocol::TransmitLead)
        ADD_FAILURE() << "first write " << event.atMs - raisedAt << " ms after RTS on";
      bytes += event.bytes;
      lastWriteAt = event.atMs;
    } else if (event.rts) {
      if (inCycle) ADD_FAILURE() << "RTS raised twice";
      inCycle = true;
      raisedAt = event.atMs;
      bytes.clear();
    } else if (inCycle) {
      if (bytes.empty()) ADD_FAILURE() << "RTS cycle without a write";
      if (event.atMs - lastWriteAt <= ReaderProtocol::TransmitTail)
        ADD_FAILURE() << "RTS off " << event.atMs - lastWriteAt << " ms after the last write";
      commands.push_back(Hex(bytes));
      inCycle = false;
    }
  }
  if (inCycle) ADD_FAILURE() << "RTS left on after " << Hex(bytes);
  return commands;
}
