// A break from the host on the 16550 ttyS2 (telnet IAC BRK): the component
// and then the window over the real 8250 driver.
#include "QtHandOff.h"
#include "ComPort.h"
#include "HostRequest.h"
#include "SessionFixture.h"

#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr const char* kBreakPort = "/dev/ttyS2";

}  // namespace

TEST(RealBreak, ArrivesAsBreakAndItsNulByte) {
  TComPort port{std::make_shared<QtHandOff>()};
  port.SetPort(kBreakPort);
  std::vector<std::string> events;
  std::string received;
  std::vector<std::exception_ptr> reported;
  port.SetErrorReporter([&](std::exception_ptr e) { reported.push_back(e); });
  port.OnBreak = [&](TCustomComPort*) { events.push_back("break"); };
  port.OnError = [&](TCustomComPort*, TComErrors) { events.push_back("error"); };
  port.OnRxChar = [&](TCustomComPort* sender, int count) {
    std::string bytes;
    sender->ReceiveText(bytes, count);
    received += bytes;
    events.push_back("rx " + std::to_string(bytes.size()));
  };
  port.OpenPort();
  // The device takes its line-counter baseline when the event thread first
  // waits; a break before that would go unseen.
  QTest::qWait(300);
  HostRequest("break");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !received.empty(); }, 10000)) << "no byte after the break";
  QTest::qWait(300);
  EXPECT_EQ(received, std::string(1, '\0'));
  EXPECT_EQ(events, (std::vector<std::string>{"break", "rx 1"}));
  EXPECT_TRUE(reported.empty());
  port.ClosePort();
}

using RealBreakInWindow = SessionFixture;

// The break itself is no line error; its NUL byte is a stray byte outside a
// frame, reset 100 ms later.
TEST_F(RealBreakInWindow, LogsNoCommErrorAndResetsAfterTheNulByte) {
  PointCom1At(kBreakPort);
  Form().SetModelIndex(0);
  Connect();
  Settle();
  const int from = int(Log().size());
  HostRequest("break");
  ExpectLogFrom(from, {"RESET"});
  EXPECT_TRUE(boxes.empty());
  Disconnect();
}
