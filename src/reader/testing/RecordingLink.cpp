#include "RecordingLink.h"

#include <algorithm>

#include "ReaderProtocol.h"

void RecordingLink::Deliver(ReaderProtocol& protocol, const std::string& bytes) {
  input += bytes;
  protocol.ComPort1RxChar(static_cast<int>(input.size()));
}

int RecordingLink::SendText(const std::string& bytes) {
  if (!connected) throw LinkFailure("write on a closed port");
  if (writes_++ == writesBeforeFailure) throw LinkFailure("write failed");
  wire.push_back({WireEvent::Kind::Write, false, bytes, loop_.ElapsedMs()});
  return static_cast<int>(bytes.size());
}

std::string RecordingLink::ReceiveText(int count) {
  const auto n = std::min<std::size_t>(static_cast<std::size_t>(std::max(count, 0)), input.size());
  std::string bytes = input.substr(0, n);
  input.erase(0, n);
  return bytes;
}

void RecordingLink::DriveRTS(bool on) {
  if (!connected) throw LinkFailure("RTS on a closed port");
  if (rtsChanges_++ == rtsChangesBeforeFailure) throw LinkFailure("RTS failed");
  wire.push_back({WireEvent::Kind::Rts, on, {}, loop_.ElapsedMs()});
}

void RecordingLink::ProcessMessages() {
  ++passes;
  loop_.ProcessDue();
}

void RecordingLink::AwaitMessages(int milliseconds) {
  ++awaits;
  loop_.Await(milliseconds);
}
