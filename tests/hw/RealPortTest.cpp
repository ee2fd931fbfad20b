// The device layer and the component on the guest's real drivers: a 16550
// (ttyS1) and QEMU's FTDI adapter (ttyUSB0), whose far ends the host script
// echoes. Settings are read back from the driver through a second descriptor,
// which the exclusive lock lets root open.
//
// QEMU's FTDI adapter never reports its transmitter empty, so a write on it
// lasts until the write time-out: the transfers here keep that short.
#include "QtHandOff.h"
#include "ComPort.h"
#include "PosixDevice.h"
#include "Termios2.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace {

struct RealPortCase {
  const char* path;
  bool fiveAndSixBits;  // ftdi_sio takes 7 and 8 data bits only
};

std::string NameOf(const ::testing::TestParamInfo<RealPortCase>& info) {
  return std::string(info.param.path).substr(5);
}

class RealPort : public ::testing::TestWithParam<RealPortCase> {
 protected:
  void SetUp() override { port.SetPort(GetParam().path); }
  void TearDown() override {
    if (peek_ >= 0) close(peek_);
  }

  // A descriptor on the driver beside the component's, for reading back.
  int Peek() {
    if (peek_ < 0) peek_ = open(GetParam().path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(peek_, 0) << strerror(errno);
    return peek_;
  }

  uint32_t DriverSpeed() {
    uint32_t baud = 0;
    EXPECT_EQ(serialdev::termios2::GetSpeed(Peek(), baud), 0);
    return baud;
  }

  tcflag_t DriverFraming() {
    termios t{};
    EXPECT_EQ(tcgetattr(Peek(), &t), 0);
    return t.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
  }

  static std::string AllByteValues() {
    std::string bytes(256, '\0');
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
  }

  TComPort port{std::make_shared<QtHandOff>()};

 private:
  int peek_ = -1;
};

}  // namespace

TEST_P(RealPort, OpensExclusively) {
  serialdev::PosixDevice first, second;
  ASSERT_EQ(first.Open(GetParam().path), 0);
  EXPECT_EQ(second.Open(GetParam().path), EBUSY);
  try {
    port.OpenPort();
    ADD_FAILURE() << "the component opened a port the device layer holds";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ReasonCode(), 1);
    EXPECT_EQ(e.SystemCode(), EBUSY);
  }
  first.Close();
  EXPECT_EQ(second.Open(GetParam().path), 0);
}

TEST_P(RealPort, SetsAndReadsBackEverySpeed) {
  port.OpenPort();
  for (const auto& [rate, value] :
       {std::pair{br1200, 1200u}, {br9600, 9600u}, {br38400, 38400u}, {br115200, 115200u}}) {
    port.SetBaudRate(rate);
    EXPECT_EQ(DriverSpeed(), value);
  }
  port.SetCustomBaudRate(31250);
  port.SetBaudRate(brCustom);
  EXPECT_EQ(DriverSpeed(), 31250u);
  port.ClosePort();
}

TEST_P(RealPort, SetsAndReadsBackEveryFraming) {
  port.OpenPort();
  const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  const tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR, PARENB | CMSPAR};
  for (int bits = GetParam().fiveAndSixBits ? dbFive : dbSeven; bits <= dbEight; ++bits) {
    for (int parity = prNone; parity <= prSpace; ++parity) {
      for (const TStopBits stop : {sbOneStopBit, sbTwoStopBits}) {
        port.SetDataBits(TDataBits(bits));
        port.Parity().SetBits(TParityBits(parity));
        port.SetStopBits(stop);
        EXPECT_EQ(DriverFraming(), sizes[bits] | parities[parity] | (stop == sbTwoStopBits ? CSTOPB : 0))
            << "data bits " << bits + 5 << ", parity " << parity << ", stop " << stop;
      }
    }
  }
  port.SetDataBits(dbEight);
  port.Parity().SetBits(prNone);
  port.SetStopBits(sbOneStopBit);
  EXPECT_EQ(DriverFraming(), tcflag_t(CS8));
  port.ClosePort();
}

TEST_P(RealPort, CarriesEveryByteValueBothWays) {
  serialdev::PosixDevice device;
  ASSERT_EQ(device.Open(GetParam().path), 0);
  serialdev::ControlBlock dcb;
  dcb.BaudRate = 115200;
  ASSERT_EQ(device.SetState(dcb), 0);
  serialdev::Timeouts timeouts;
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutConstant = 5000;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 300;
  ASSERT_EQ(device.SetTimeouts(timeouts), 0);
  ASSERT_EQ(device.Purge(serialdev::PURGE_RXCLEAR | serialdev::PURGE_TXCLEAR), 0);

  const std::string bytes = AllByteValues();
  size_t written = 0;
  ASSERT_EQ(device.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), written), 0);
  EXPECT_EQ(written, bytes.size());
  std::string echoed(bytes.size(), '\0');
  size_t read = 0;
  ASSERT_EQ(device.Read(reinterpret_cast<uint8_t*>(echoed.data()), echoed.size(), read), 0);
  EXPECT_EQ(read, bytes.size());
  EXPECT_EQ(echoed, bytes);
}

TEST_P(RealPort, ComponentCarriesEveryByteValueBothWays) {
  port.SetBaudRate(br115200);
  port.Timeouts().SetReadInterval(0);
  port.Timeouts().SetReadTotalConstant(5000);
  port.Timeouts().SetWriteTotalMultiplier(0);
  port.Timeouts().SetWriteTotalConstant(300);
  int arrived = 0;
  port.OnRxChar = [&](TCustomComPort*, int count) { arrived += count; };
  port.OpenPort();
  const std::string bytes = AllByteValues();
  EXPECT_EQ(port.SendText(bytes), int(bytes.size()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return arrived >= int(bytes.size()); }, 5000)) << arrived << " arrived";
  std::string echoed;
  EXPECT_EQ(port.ReceiveText(echoed, int(bytes.size())), int(bytes.size()));
  EXPECT_EQ(echoed, bytes);
  port.ClosePort();
}

// ftdi_sio shows low-latency mode as a latency timer of 1 ms, else the
// adapter's own timer (16 ms on real FTDI chips, 0 on QEMU's). The port is in
// that mode only while it is open.
TEST(RealLowLatency, FtdiLatencyTimerIsOneMillisecondWhileOpen) {
  const auto timer = [] {
    std::ifstream file("/sys/class/tty/ttyUSB0/device/latency_timer");
    std::string value;
    file >> value;
    return value;
  };
  const std::string closed = timer();
  ASSERT_NE(closed, "1");
  ASSERT_NE(closed, "");
  TComPort port{std::make_shared<QtHandOff>()};
  port.SetPort("/dev/ttyUSB0");
  port.OpenPort();
  EXPECT_EQ(timer(), "1");
  port.ClosePort();
  EXPECT_EQ(timer(), closed);
}

INSTANTIATE_TEST_SUITE_P(Ports, RealPort,
                         ::testing::Values(RealPortCase{"/dev/ttyS1", true}, RealPortCase{"/dev/ttyUSB0", false}),
                         NameOf);
