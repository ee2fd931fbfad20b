#include "ComPort.h"
#include "FakeUart.h"
#include "PosixDevice.h"
#include "PtyPair.h"
#include "QtHandOff.h"
#include "Termios2.h"

#include <QTest>

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <future>

using namespace std::chrono_literals;

namespace {

class ComPortOverPty : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetPort(pty.SlavePath());
    port.SetErrorReporter([this](std::exception_ptr error) { reported.push_back(error); });
  }

  // Runs the owner thread's event loop until `done` holds.
  template <typename Predicate>
  bool Await(Predicate done, std::chrono::milliseconds limit = 10s) {
    return QTest::qWaitFor(done, static_cast<int>(limit.count()));
  }

  static std::string Bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values) text.push_back(static_cast<char>(v));
    return text;
  }

  PtyPair pty;
  TComPort port{std::make_shared<QtHandOff>()};
  std::vector<std::exception_ptr> reported;
};

int ReasonOf(const std::function<void()>& action, int& systemCode, std::string& message) {
  try {
    action();
  } catch (const EComPort& e) {
    systemCode = e.SystemCode();
    message = e.what();
    return e.ReasonCode();
  }
  return 0;
}

}  // namespace

TEST_F(ComPortOverPty, OpensClosesAndRefusesASecondOwner) {
  port.OpenPort();
  EXPECT_TRUE(port.Connected());

  TComPort other(std::make_shared<QtHandOff>());
  other.SetPort(pty.SlavePath());
  int code = 0;
  std::string message;
  EXPECT_EQ(ReasonOf([&] { other.OpenPort(); }, code, message), 1);
  EXPECT_EQ(code, EBUSY);
  EXPECT_FALSE(other.Connected());

  port.ClosePort();
  EXPECT_FALSE(port.Connected());
  other.OpenPort();
  EXPECT_TRUE(other.Connected());
  other.ClosePort();
}

TEST_F(ComPortOverPty, MissingDeviceAndUnknownNameGiveReasonOneWithCodeTwo) {
  for (const char* name : {"/dev/no-such-serial-port", "COM9", ""}) {
    port.SetPort(name);
    int code = 0;
    std::string message;
    EXPECT_EQ(ReasonOf([&] { port.OpenPort(); }, code, message), 1) << name;
    EXPECT_EQ(code, ENOENT);
    EXPECT_EQ(message, "Unable to open com port (win error code: 2)");
    EXPECT_FALSE(port.Connected());
  }
}

TEST_F(ComPortOverPty, CustomSpeedReachesTheLineAtOpenAndWhileOpen) {
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(1000);
  port.OpenPort();
  uint32_t speed = 0;
  ASSERT_EQ(serialdev::termios2::GetSpeed(pty.SlaveFd(), speed), 0);
  EXPECT_EQ(speed, 1000u);
  port.SetCustomBaudRate(250000);
  ASSERT_EQ(serialdev::termios2::GetSpeed(pty.SlaveFd(), speed), 0);
  EXPECT_EQ(speed, 250000u);
  port.ClosePort();
}

TEST_F(ComPortOverPty, ReceiveTextDeliversWhatArrivedByteForByte) {
  std::string received;
  int events = 0;
  port.OnRxChar = [&](TCustomComPort* sender, int count) {
    ++events;
    std::string text = "unchanged";
    EXPECT_EQ(sender->ReceiveText(text, 0), 0);
    EXPECT_TRUE(text.empty());
    std::string chunk;
    const int n = sender->ReceiveText(chunk, count + 5);
    EXPECT_EQ(n, count) << "more asked than queued gives what is queued";
    EXPECT_EQ(chunk.size(), static_cast<size_t>(n));
    received += chunk;
  };
  port.OpenPort();
  const std::string sent = Bytes({0x00, 'A', 0x7F, 0x80, 0xFF, 0x0D, 0x0A, 0x11, 0x13, 0x03});
  pty.PeerWrite(std::vector<uint8_t>(sent.begin(), sent.end()));
  ASSERT_TRUE(Await([&] { return received.size() >= sent.size(); }));
  EXPECT_EQ(received, sent);
  EXPECT_GE(events, 1);
  port.ClosePort();
}

TEST_F(ComPortOverPty, SendTextReturnsWhenThePeerHasTakenIt) {
  port.OpenPort();
  const std::string text = Bytes({0x02, 'R', 'E', 'A', 'D', 0x00, 0xFE, 0x03});
  auto peer = std::async(std::launch::async, [&] { return pty.PeerRead(text.size(), 10s); });
  EXPECT_EQ(port.SendText(text), static_cast<int>(text.size()));
  const auto got = peer.get();
  EXPECT_EQ(std::string(got.begin(), got.end()), text);
  EXPECT_EQ(port.SendText(""), 0);
}

TEST_F(ComPortOverPty, SendTextToAPeerThatNeverReadsEndsShort) {
  port.Timeouts().SetWriteTotalMultiplier(0);
  port.Timeouts().SetWriteTotalConstant(200);
  port.OpenPort();
  const std::string text(64 * 1024, 'x');
  auto pending = std::async(std::launch::async, [&] { return port.SendText(text); });
  ASSERT_EQ(pending.wait_for(20s), std::future_status::ready) << "SendText hung";
  const int sent = pending.get();
  EXPECT_GT(sent, 0);
  EXPECT_LT(sent, static_cast<int>(text.size()));
  port.ClosePort();
}

TEST_F(ComPortOverPty, RemovalIsReportedOnceWithoutSpinningAndThePortRecovers) {
  std::vector<std::pair<int, int>> removals;
  int heldAtRemoval = -1;
  port.OnDeviceRemoved = [&](TCustomComPort*, const EComPort& e) {
    heldAtRemoval = DescriptorsOnDeviceOf(pty.SlaveFd());
    removals.emplace_back(e.ReasonCode(), e.SystemCode());
  };
  port.OpenPort();
  EXPECT_EQ(DescriptorsOnDeviceOf(pty.SlaveFd()), 2);
  const auto cpuBefore = ProcessCpuTime();
  const auto start = std::chrono::steady_clock::now();
  pty.ClosePeer();
  ASSERT_TRUE(Await([&] { return !removals.empty(); }));
  QTest::qWait(2000);
  const auto cpu = ProcessCpuTime() - cpuBefore;
  const auto wall = std::chrono::steady_clock::now() - start;
  EXPECT_LT(cpu * 10, wall) << "CPU " << std::chrono::duration<double>(cpu).count() << " s";
  ASSERT_EQ(removals.size(), 1u);
  EXPECT_EQ(removals[0], std::make_pair(3, EIO));
  EXPECT_TRUE(reported.empty());
  // Let go before the handler ran, long before ClosePort: only the test's own descriptor holds the tty.
  EXPECT_EQ(heldAtRemoval, 1);
  EXPECT_TRUE(port.Connected());

  int code = 0;
  std::string message;
  std::string text;
  EXPECT_EQ(ReasonOf([&] { port.ReceiveText(text, 4); }, code, message), 3);
  EXPECT_EQ(code, EIO);
  EXPECT_EQ(ReasonOf([&] { port.SendText("x"); }, code, message), 2);
  EXPECT_EQ(code, EIO);
  port.DriveRTS(true);
  port.ClosePort();
  EXPECT_FALSE(port.Connected());

  PtyPair fresh;
  port.SetPort(fresh.SlavePath());
  port.OpenPort();
  EXPECT_TRUE(port.Connected());
  port.ClosePort();
}

namespace {

// The component on the POSIX device over a scripted UART: what a real port
// reports and a pseudo-terminal cannot.
class ComPortOverUart : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetDeviceFactory([this](const std::string&) { return std::make_unique<serialdev::PosixDevice>(uart); });
    port.SetPort("/dev/ttyS0");
    port.SetErrorReporter([this](std::exception_ptr error) { reported.push_back(error); });
    port.OnError = [this](TCustomComPort*, TComErrors errors) {
      log.push_back("Error:" + std::to_string(errors.Bits()));
    };
    port.OnRxChar = [this](TCustomComPort* sender, int count) {
      std::string text;
      sender->ReceiveText(text, count);
      log.push_back("Rx:" + text);
    };
    port.OnBreak = [this](TCustomComPort*) { log.push_back("Break"); };
    port.OnRing = [this](TCustomComPort*) { log.push_back("Ring"); };
    port.OnCTSChange = [this](TCustomComPort*, bool on) { log.push_back("CTS:" + std::to_string(on)); };
    port.OnDSRChange = [this](TCustomComPort*, bool on) { log.push_back("DSR:" + std::to_string(on)); };
    port.OnRLSDChange = [this](TCustomComPort*, bool on) { log.push_back("RLSD:" + std::to_string(on)); };
  }
  bool AwaitLog(size_t entries) {
    return QTest::qWaitFor([&] { return log.size() >= entries; }, 10000);
  }
  static std::string Errors(TComErrors errors) { return "Error:" + std::to_string(errors.Bits()); }

  std::shared_ptr<FakeUart> uart = std::make_shared<FakeUart>();
  TComPort port{std::make_shared<QtHandOff>()};
  std::vector<std::string> log;
  std::vector<std::exception_ptr> reported;
};

}  // namespace

TEST_F(ComPortOverUart, LineErrorsReachOnErrorBeforeTheirBytesAndParityOnlyWithTheCheck) {
  port.Parity().SetBits(prEven);
  port.OpenPort();
  ASSERT_TRUE(AwaitLog(3));
  log.clear();
  uart->ReceiveWithParityError('Q');
  ASSERT_TRUE(AwaitLog(1));
  uart->ReceiveWithFramingError();
  ASSERT_TRUE(AwaitLog(3));
  uart->Overrun("ok");
  ASSERT_TRUE(AwaitLog(5));
  uart->ReceiveBreak();
  ASSERT_TRUE(AwaitLog(7));
  port.Parity().SetCheck(true);
  uart->ReceiveWithParityError('Q');
  ASSERT_TRUE(AwaitLog(9));
  const std::string nul(1, '\0');
  EXPECT_EQ(log, (std::vector<std::string>{"Rx:Q", Errors({ceFrame}), "Rx:" + nul, Errors({ceOverrun}), "Rx:ok",
                                           "Break", "Rx:" + nul, Errors({ceRxParity}), "Rx:" + nul}));
  EXPECT_TRUE(reported.empty());
  port.ClosePort();
}

TEST_F(ComPortOverUart, PolledModemLinesReachTheirHandlersInBatchOrder) {
  port.OpenPort();
  ASSERT_TRUE(AwaitLog(3));
  EXPECT_EQ(log, (std::vector<std::string>{"CTS:0", "DSR:0", "RLSD:0"}));
  log.clear();
  // The event thread takes its baseline of the lines as it begins to wait.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !uart->PollTimeouts().empty(); }, 10000));
  uart->SetInputLines(TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG);
  ASSERT_TRUE(AwaitLog(4));
  EXPECT_EQ(log, (std::vector<std::string>{"Ring", "CTS:1", "DSR:1", "RLSD:1"}));
  log.clear();
  uart->SetInputLines(TIOCM_DSR);
  ASSERT_TRUE(AwaitLog(2));
  EXPECT_EQ(log, (std::vector<std::string>{"CTS:0", "RLSD:0"}));
  port.ClosePort();
}

TEST_F(ComPortOverUart, SpeedRoundedBeyondTheToleranceFailsSetCommState) {
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(250000);
  uart->RoundSpeeds([](uint32_t baud) { return baud / 100 * 101; });
  port.OpenPort();
  uart->RoundSpeeds([](uint32_t baud) { return baud / 100 * 104; });
  int code = 0;
  std::string message;
  EXPECT_EQ(ReasonOf([&] { port.SetCustomBaudRate(200000); }, code, message), 7);
  EXPECT_EQ(code, EINVAL);
  port.ClosePort();
}
