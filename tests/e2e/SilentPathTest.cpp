#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <net/if.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <future>
#include <vector>

#include "ComError.h"
#include "ErrorReport.h"
#include "NetworkDevice.h"
#include "PortCut.h"
#include "Ser2netSession.h"

namespace {

// The loss of a silent path is to be reported within 15 s; a loaded machine
// may take longer, a path that is never given up on takes minutes.
constexpr int kReportBoundMs = 40000;

// True in a network namespace of the test's own, as netns-run.sh makes it:
// the loopback and one tun device, nothing else that a cut could harm.
bool InOwnNamespace() {
  struct if_nameindex* names = ::if_nameindex();
  QStringList found;
  for (const struct if_nameindex* n = names; n && n->if_index != 0; ++n) found << n->if_name;
  if (names) ::if_freenameindex(names);
  found.sort();
  return found == QStringList{"lo", "t0"};
}

// The component's text for this failure with a time-out: kReadFailed is the
// loss of the connection, kOpenFailed a connect that was never answered.
QString TimedOut(PortErrorReason reason) { return QString::fromUtf8(EComPort(reason, ETIMEDOUT).what()); }

void PrintSeconds(const char* what, const QElapsedTimer& since) {
  std::printf("[ measured ] %s: %.1f s\n", what, double(since.elapsed()) / 1000);
  std::fflush(stdout);
}

// The window and trellum-check through ser2net while nftables drops the
// port's packets both ways: no end of the connection arrives, the packets
// just stop.
class SilentPath : public Ser2netSession {
 protected:
  void SetUp() override {
    if (!InOwnNamespace()) GTEST_SKIP() << "needs a network namespace of its own: run through netns-run.sh";
  }

  // Connects the window through RFC 2217 and lets the first request pass.
  void ConnectThroughServer() {
    StartReader({"--no-powerup"});
    StartServer(true);
    Form().SetModelIndex(0);
    Connect();
    ASSERT_TRUE(reader->AwaitCount(0, "cmd ", 1));
    Settle();
  }

  void Cut() {
    ASSERT_EQ(cut_.Cut(server_.Port()), "");
    cutAt_.start();
  }

  // Waits for the report of the loss: one box, and nothing after it.
  void ExpectLossReported(const char* what) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, kReportBoundMs))
        << what << ": no report within " << kReportBoundMs / 1000 << " s of the cut";
    PrintSeconds(what, cutAt_);
    Settle(500);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, ReportedText(TimedOut(kReadFailed)));
    Disconnect();
    EXPECT_EQ(boxes.size(), 1u) << boxes.back().text.toStdString();
  }

  PortCut cut_;
  QElapsedTimer cutAt_;
};

// Idle when the path goes silent: keep-alive finds it. While it is still cut
// a Connect gives up after its connect time; once it is back, Connect works
// and a card is answered.
TEST_F(SilentPath, IdleWindowHearsOfTheLossOnceAndConnectsOnceThePathIsBack) {
  ConnectThroughServer();
  Cut();
  ExpectLossReported("idle window, cut to report");

  QElapsedTimer connecting;
  connecting.start();
  Form().Button4->click();
  PrintSeconds("connect to the cut path, until it failed", connecting);
  EXPECT_LT(connecting.elapsed(), kReportBoundMs);
  EXPECT_EQ(Form().Button4->text(), "Connect");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text, ReportedText(TimedOut(kOpenFailed)));

  ASSERT_EQ(cut_.Restore(), "");
  const int out = int(reader->Lines().size());
  Connect();
  ASSERT_TRUE(reader->AwaitCount(out, "cmd ", 1));
  const int log = int(Log().size());
  reader->Control("card 1:2");
  ExpectLogFrom(log, {"Orvane series", "00001:0000000002"});
  EXPECT_EQ(boxes.size(), 2u);
  Disconnect();
}

// Answering a card when the path goes silent: the commands that follow wait
// for their acknowledgement, and keep-alive does not probe meanwhile.
TEST_F(SilentPath, BusyWindowHearsOfTheLossOnce) {
  ConnectThroughServer();
  const int out = int(reader->Lines().size());
  reader->Control("card 258:197637");
  ASSERT_TRUE(reader->AwaitCount(out, "cmd - 0", 1));
  Cut();
  reader->Control("card 258:197638");
  Form().status->click();
  ExpectLossReported("busy window, cut to report");
}

// With reconnect on, a silent path is waited for like an unplugged adapter:
// no box, the tries fail on their connect time while the path is cut, and
// once it is back the window connects by itself and answers the next card.
TEST_F(SilentPath, ReconnectWaitsForThePathToBeMended) {
  reconnect = true;
  ConnectThroughServer();
  Cut();
  ASSERT_TRUE(QTest::qWaitFor([&] { return LogCount("COM1 lost: ") == 1; }, kReportBoundMs))
      << "no loss within " << kReportBoundMs / 1000 << " s of the cut";
  PrintSeconds("reconnecting window, cut to its loss", cutAt_);
  QTest::qWait(5000);
  const int out = int(reader->Lines().size());
  ASSERT_EQ(cut_.Restore(), "");
  ExpectReconnectAndACardAnswered(out, kReportBoundMs);
  Disconnect();
}

// trellum-check waiting for its second card when the path goes silent: the
// step fails with the loss and the run ends with 1 long before the card time.
TEST_F(SilentPath, TrellumCheckRunEndsWithTheLoss) {
  StartReader({"--no-powerup"});
  StartServer(true);
  QProcess check;
  check.start(QStringLiteral(CHECK_PATH), {"test", server_.Name(), "--model", "Alvex", "--speed", "9600", "--cards",
                                           "2", "--card-timeout", "60", "--lock"});
  QByteArray progress;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        progress += check.readAllStandardError();
        return progress.contains("present 2 cards");
      },
      30000))
      << progress.toStdString();
  const int out = int(reader->Lines().size());
  reader->Control("card 1:2");
  ASSERT_TRUE(reader->AwaitCount(out, "cmd - 0", 1));
  Cut();
  ASSERT_TRUE(QTest::qWaitFor([&] { return check.state() == QProcess::NotRunning; }, kReportBoundMs))
      << "trellum-check still runs " << kReportBoundMs / 1000 << " s after the cut";
  PrintSeconds("trellum-check test, cut to exit", cutAt_);
  const QString results = QString::fromLocal8Bit(check.readAllStandardOutput());
  EXPECT_EQ(check.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(check.exitCode(), 1) << results.toStdString();
  EXPECT_TRUE(results.contains("FAIL 5 cards: the port's device went away: " + TimedOut(kReadFailed)))
      << results.toStdString();
}

// A write bigger than the socket takes, into the silent path: it ends with
// the loss instead of waiting for the system's retransmissions.
TEST_F(SilentPath, WriteIntoTheSilentPathEndsWithTheLoss) {
  StartReader({"--no-powerup"});
  StartServer(false);
  serialdev::NetworkDevice device;
  ASSERT_EQ(device.Open(server_.Name().toStdString()), 0);
  Cut();
  const std::vector<uint8_t> bytes(64 << 20, 'x');
  auto writing = std::async(std::launch::async, [&] {
    size_t written = 0;
    const int code = device.Write(bytes.data(), bytes.size(), written);
    return std::pair{code, written};
  });
  if (writing.wait_for(std::chrono::milliseconds(kReportBoundMs)) != std::future_status::ready) {
    ADD_FAILURE() << "the write still waits " << kReportBoundMs / 1000 << " s after the cut";
    device.Purge(serialdev::PURGE_TXABORT);
  }
  const auto [code, written] = writing.get();
  PrintSeconds("write into the cut path, cut to its end", cutAt_);
  EXPECT_EQ(code, ETIMEDOUT);
  EXPECT_LT(written, bytes.size());
  EXPECT_TRUE(device.Removed());
}

}  // namespace
