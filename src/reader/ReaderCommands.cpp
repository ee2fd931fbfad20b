#include <algorithm>

#include "ReaderLink.h"
#include "ReaderPanel.h"
#include "ReaderProtocol.h"

void ReaderProtocol::SendCommand(const std::string& Command, std::optional<int> to) {
  if (!link_.Connected()) return;
  RaiseTransmitLine();
  // The operator may have closed the port while the lead-in waited.
  if (!link_.Connected()) return;
  link_.SendText("~");
  if (panel_.IdMode()) link_.SendText(std::string(1, static_cast<char>(to.value_or(state_.ReaderId) & 0xFF)));
  link_.SendText(Command);
  DropTransmitLine();
}

void ReaderProtocol::RaiseTransmitLine() {
  if (!link_.Connected()) return;
  link_.ProcessMessages();
  if (!link_.Connected()) return;
  link_.DriveRTS(true);
  WaitMilliseconds(TransmitLead);
  link_.ProcessMessages();
}

void ReaderProtocol::DropTransmitLine() {
  if (!link_.Connected()) return;
  WaitMilliseconds(TransmitTail);
  // A port closed during the wait has no line left to drop.
  if (!link_.Connected()) return;
  link_.DriveRTS(false);
  link_.ProcessMessages();
}

void ReaderProtocol::RefreshReaderId() {
  if (panel_.IdMode()) state_.ReaderId = panel_.MyId();
}

void ReaderProtocol::AcknowledgeEvent() {
  SendCommand("0");
  if (panel_.ControlLock()) {
    SendCommand("L");
    SendCommand("1");
    SendCommand("l");
  }
}

// Measured on a monotonic clock, so that setting the system clock neither
// ends a wait early nor stretches it; the link sleeps in the event loop. Each
// sleep begins by handling the pending messages, so a wait that sleeps needs
// no pass of its own; one that ends at once still makes one.
void ReaderProtocol::WaitMilliseconds(int Milliseconds) {
  using std::chrono::milliseconds;
  const auto start = clock_();
  const milliseconds length(Milliseconds);
  for (bool passed = false;; passed = true) {
    const auto elapsed = clock_() - start;
    if (elapsed > length) {
      if (!passed) link_.ProcessMessages();
      return;
    }
    const auto remaining = std::chrono::ceil<milliseconds>(length - elapsed).count();
    link_.AwaitMessages(static_cast<int>(std::max<decltype(remaining)>(remaining, 1)));
  }
}
