// RTS and DTR on the real 8250 driver, and in the UART's loopback the CTS and
// DSR levels they produce, through the component's 100 ms line polling.
#include "QtHandOff.h"
#include "ComPort.h"
#include "PosixDevice.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kUart = "/dev/ttyS1";

class RealModemLines : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetPort(kUart);
    port.SetDeviceFactory([this](const std::string&) {
      auto created = std::make_unique<serialdev::PosixDevice>();
      device = created.get();
      return created;
    });
    const auto record = [this](const char* line) {
      return [this, line](TCustomComPort*, bool on) { changes.push_back(std::string(line) + (on ? " on" : " off")); };
    };
    port.OnCTSChange = record("CTS");
    port.OnDSRChange = record("DSR");
    port.OnRLSDChange = record("RLSD");
    peek_ = open(kUart, O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(peek_, 0);
  }
  void TearDown() override {
    port.ClosePort();
    close(peek_);
  }

  int DriverLines() {
    int lines = 0;
    EXPECT_EQ(ioctl(peek_, TIOCMGET, &lines), 0);
    return lines;
  }

  // The changes reported from here on, once `count` of them have come.
  std::vector<std::string> AwaitChanges(size_t count) {
    const size_t from = changes.size();
    if (QTest::qWaitFor([&] { return changes.size() >= from + count; }, 5000)) QTest::qWait(300);  // and nothing more
    return {changes.begin() + from, changes.end()};
  }

  std::vector<std::string> changes;  // outlives the port, whose close may still report
  TComPort port{std::make_shared<QtHandOff>()};
  serialdev::PosixDevice* device = nullptr;

 private:
  int peek_ = -1;
};

using Changes = std::vector<std::string>;

}  // namespace

TEST_F(RealModemLines, RtsAndDtrReachTheDriver) {
  port.OpenPort();
  port.DriveRTS(true);
  EXPECT_TRUE(DriverLines() & TIOCM_RTS);
  port.DriveRTS(false);
  EXPECT_FALSE(DriverLines() & TIOCM_RTS);
  port.FlowControl().SetControlDTR(dtrEnable);
  EXPECT_TRUE(DriverLines() & TIOCM_DTR);
  port.FlowControl().SetControlDTR(dtrDisable);
  EXPECT_FALSE(DriverLines() & TIOCM_DTR);
}

TEST_F(RealModemLines, LoopbackLevelsReachTheLineHandlersAfterOpenAndInBatchOrder) {
  port.FlowControl().SetControlDTR(dtrEnable);
  port.OpenPort();
  port.DriveRTS(true);
  // Whatever the levels before, in loopback RTS and DTR (both on) give CTS
  // and DSR on; from there every change is the loopback's.
  ASSERT_EQ(device->SetLoopback(true), 0);
  QTest::qWait(500);
  ASSERT_TRUE(port.ReadLineSignals().Contains(lsCTS));
  ASSERT_TRUE(port.ReadLineSignals().Contains(lsDSR));
  changes.clear();
  port.DriveRTS(false);
  EXPECT_EQ(AwaitChanges(1), (Changes{"CTS off"}));
  port.FlowControl().SetControlDTR(dtrDisable);
  EXPECT_EQ(AwaitChanges(1), (Changes{"DSR off"}));
  // Both at once: one batch, CTS before DSR.
  port.FlowControl().SetControlDTR(dtrEnable);
  port.DriveRTS(true);
  EXPECT_EQ(AwaitChanges(2), (Changes{"CTS on", "DSR on"}));

  // The UART keeps its loopback across a close. Opened again, RTS dropped and
  // DTR raised by the open give CTS off and DSR on (and the loopback's OUT2,
  // which the driver raises, carrier on), reported after open in the order
  // CTS, DSR, RLSD; the polling then finds nothing new.
  port.ClosePort();
  changes.clear();
  port.OpenPort();
  QTest::qWait(300);
  EXPECT_EQ(changes, (Changes{"CTS off", "DSR on", "RLSD on"}));
  EXPECT_EQ(device->SetLoopback(false), 0);
}
