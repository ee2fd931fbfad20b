#include "FakeUart.h"
#include "PosixDevice.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <future>

using namespace serialdev;
using namespace std::chrono_literals;

namespace {

// The device on a scripted UART: the branches of a real port.
class PosixDeviceOnUart : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(device.Open("/dev/ttyS0"), 0);
    device.BeginEventWaits();
  }
  void TearDown() override { device.StopEventWaits(); }

  uint32_t Wait() {
    auto pending = std::async(std::launch::async, [this] {
      uint32_t occurred = 0;
      EXPECT_EQ(device.WaitEvent(occurred), 0);
      return occurred;
    });
    if (pending.wait_for(10s) != std::future_status::ready) {
      ADD_FAILURE() << "the event wait did not return";
      device.StopEventWaits();
    }
    return pending.get();
  }
  uint32_t Errors() {
    uint32_t errors = 0, queued = 0;
    EXPECT_EQ(device.ClearErrors(errors, queued), 0);
    return errors;
  }
  std::string ReadAll() {
    uint8_t buffer[64];
    size_t read = 0;
    EXPECT_EQ(device.Read(buffer, sizeof buffer, read), 0);
    return {reinterpret_cast<char*>(buffer), read};
  }
  // Events and errors are measured from the first wait after the mask is set.
  void Arm(uint32_t mask) {
    ASSERT_EQ(device.SetEventMask(mask | EV_RXCHAR), 0);
    uart->Receive("a");
    ASSERT_EQ(Wait() & EV_RXCHAR, uint32_t{EV_RXCHAR});
    ReadAll();
    Errors();
  }

  std::shared_ptr<FakeUart> uart = std::make_shared<FakeUart>();
  PosixDevice device{uart};
};

}  // namespace

TEST_F(PosixDeviceOnUart, LineErrorsAndBreakComeFromTheCounters) {
  Arm(EV_ERR | EV_BREAK);
  uart->ReceiveWithFramingError();
  EXPECT_EQ(Wait(), uint32_t{EV_ERR | EV_RXCHAR});
  EXPECT_EQ(Errors(), uint32_t{CE_FRAME});
  EXPECT_EQ(ReadAll(), std::string(1, '\0'));

  uart->Overrun("xy");
  EXPECT_EQ(Wait(), uint32_t{EV_ERR | EV_RXCHAR});
  EXPECT_EQ(Errors(), uint32_t{CE_OVERRUN});
  EXPECT_EQ(ReadAll(), "xy");

  // A break is no line error: EV_BREAK, then its NUL byte in the next batch,
  // though the driver had both when the first wait looked.
  uart->ReceiveBreak();
  EXPECT_EQ(Wait(), uint32_t{EV_BREAK});
  EXPECT_EQ(Wait(), uint32_t{EV_RXCHAR});
  EXPECT_EQ(Errors(), uint32_t{CE_BREAK});
  EXPECT_EQ(ReadAll(), std::string(1, '\0'));
  EXPECT_EQ(Errors(), 0u);
}

TEST_F(PosixDeviceOnUart, ParityErrorArrivesAsSentWithoutTheCheckAndAsZeroWithIt) {
  ControlBlock dcb;
  dcb.Parity = 2;
  for (bool check : {false, true}) {
    dcb.fParity = check;
    ASSERT_EQ(device.SetState(dcb), 0);
    Arm(EV_ERR);
    uart->ReceiveWithParityError('Q');
    EXPECT_EQ(Wait(), uint32_t{EV_ERR | EV_RXCHAR}) << check;
    // The device reports the flag either way; the component keeps it only with the check.
    EXPECT_EQ(Errors(), uint32_t{CE_RXPARITY}) << check;
    EXPECT_EQ(ReadAll(), check ? std::string(1, '\0') : "Q") << check;
  }
}

TEST_F(PosixDeviceOnUart, ModemLineChangesAreSeenByThePolling) {
  Arm(EV_CTS | EV_DSR | EV_RLSD | EV_RING);
  uart->SetInputLines(TIOCM_CTS);
  EXPECT_EQ(Wait(), uint32_t{EV_CTS});
  uart->SetInputLines(TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG);
  EXPECT_EQ(Wait(), uint32_t{EV_DSR | EV_RLSD | EV_RING});
  uint32_t bits = 0;
  ASSERT_EQ(device.GetModemStatus(bits), 0);
  EXPECT_EQ(bits, uint32_t{MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON | MS_RING_ON});
  // Ring falling is no ring; CTS falling is a change.
  uart->SetInputLines(TIOCM_DSR | TIOCM_CAR);
  EXPECT_EQ(Wait(), uint32_t{EV_CTS});
}

TEST_F(PosixDeviceOnUart, WriteReturnsOnceTheTransmitterIsEmpty) {
  uart->SetByteTime(60ms);
  const std::string bytes = "abc";
  size_t written = 0;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(device.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), written), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 180ms);
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(uart->Sent(), "abc");
  EXPECT_EQ(uart->OutputFlushes(), 0u);
}

TEST_F(PosixDeviceOnUart, WriteTimeOutDiscardsTheUnsentRestAndCountsWhatLeft) {
  Timeouts timeouts;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 500;
  ASSERT_EQ(device.SetTimeouts(timeouts), 0);
  uart->SetByteTime(200ms);
  const std::string bytes = "12345";
  size_t written = 0;
  ASSERT_EQ(device.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), written), 0);
  // At 500 ms two bytes have left and the third is in the shift register.
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(uart->Sent(), "123");
  EXPECT_EQ(uart->OutputFlushes(), 1u);
}

TEST_F(PosixDeviceOnUart, RoundedSpeedIsAcceptedWithinTwoPercent) {
  ControlBlock dcb;
  dcb.BaudRate = 250000;
  uart->RoundSpeeds([](uint32_t baud) { return baud + baud / 100 * 2; });
  EXPECT_EQ(device.SetState(dcb), 0);
  uart->RoundSpeeds([](uint32_t baud) { return baud - baud / 100 * 2; });
  EXPECT_EQ(device.SetState(dcb), 0);
  uart->RoundSpeeds([](uint32_t baud) { return baud + baud / 100 * 3; });
  EXPECT_EQ(device.SetState(dcb), EINVAL);
  uart->RoundSpeeds([](uint32_t baud) { return baud / 2; });
  EXPECT_EQ(device.SetState(dcb), EINVAL);
}

TEST_F(PosixDeviceOnUart, InterruptedWaitsKeepTheirDeadline) {
  Timeouts timeouts;
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutConstant = 400;
  ASSERT_EQ(device.SetTimeouts(timeouts), 0);
  uart->InterruptPolls(3, 80ms);
  uint8_t byte = 0;
  size_t read = 0;
  EXPECT_EQ(device.Read(&byte, 1, read), 0);
  EXPECT_EQ(read, 0u);
  const std::vector<int> reads = uart->PollTimeouts();
  ASSERT_EQ(reads.size(), 4u);
  for (size_t i = 1; i < reads.size(); ++i) EXPECT_LE(reads[i], reads[i - 1] - 70) << i;

  // The 100 ms polling of an event wait too.
  ASSERT_EQ(device.SetEventMask(EV_CTS), 0);
  uart->InterruptPolls(1, 40ms);
  auto pending = std::async(std::launch::async, [this] {
    uint32_t occurred = 0;
    return device.WaitEvent(occurred);
  });
  std::this_thread::sleep_for(300ms);
  device.StopEventWaits();
  EXPECT_EQ(pending.get(), kWaitStopped);
  const std::vector<int> waits = uart->PollTimeouts();
  ASSERT_GE(waits.size(), reads.size() + 2);
  EXPECT_EQ(waits[reads.size()], 100);
  EXPECT_LE(waits[reads.size() + 1], 61);
}

TEST(PosixDeviceLowLatency, SetWhileOpenRestoredAtCloseAndARefusalIsHarmless) {
  auto uart = std::make_shared<FakeUart>();
  PosixDevice device(uart);
  ASSERT_EQ(device.Open("/dev/ttyUSB0"), 0);
  EXPECT_TRUE(uart->LowLatency());
  device.Close();
  EXPECT_FALSE(uart->LowLatency());

  uart->RefuseSerialInfo(ENOTTY);
  EXPECT_EQ(device.Open("/dev/ttyUSB0"), 0);
  device.Close();
  uart->RefuseSerialInfo(EINVAL);
  EXPECT_EQ(device.Open("/dev/ttyUSB0"), 0);
}
