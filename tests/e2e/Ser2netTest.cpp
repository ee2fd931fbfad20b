#include <QCheckBox>
#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "Ser2netSession.h"

namespace {

// The line speed a pseudo-terminal is set to, read on a descriptor of its own.
speed_t LineSpeed(const QString& device) {
  const int fd = ::open(device.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios tio{};
  const bool read = fd >= 0 && ::tcgetattr(fd, &tio) == 0;
  if (fd >= 0) ::close(fd);
  return read ? ::cfgetospeed(&tio) : B0;
}

// The shim's log read as the commands' RTS cycles.
class Ser2net : public Ser2netSession {
 protected:
  // The shim's log from entry `from` on as RTS cycles: the bytes written
  // between a SETRTS and its CLRRTS; bytes outside a cycle as "outside:..".
  QStringList Cycles(int from) const {
    QStringList cycles;
    QByteArray bytes;
    bool raised = false;
    for (const QString& entry : ShimEntries().mid(from)) {
      if (entry == "SETRTS") {
        raised = true;
        bytes.clear();
      } else if (entry == "CLRRTS") {
        if (raised) cycles << QString::fromLatin1(bytes);
        raised = false;
      } else if (entry.startsWith("DATA:")) {
        const QByteArray data = QByteArray::fromHex(entry.mid(5).toLatin1());
        if (raised) {
          bytes += data;
        } else {
          cycles << "outside:" + QString::fromLatin1(data);
        }
      }
    }
    return cycles;
  }
};

// Connect, the status and option requests, a card answered with "~0~L~1~l"
// each in its own RTS cycle, the log, and Disconnect, through RFC 2217.
TEST_F(Ser2net, ReaderSessionThroughRfc2217WithRtsAroundEachCommand) {
  StartReader({"--no-powerup", "--options", "A"});
  StartServer(true);
  Form().SetModelIndex(1);
  Connect();
  ASSERT_TRUE(reader->AwaitCount(0, "cmd ", 2));
  Settle();
  EXPECT_EQ(CommandsSince(0), (QStringList{"- ?", "- O"}));
  EXPECT_EQ(Cycles(0), (QStringList{"~?", "~O"}));

  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  const int shim = int(ShimEntries().size());
  reader->Control("card 258:197637");
  ExpectLogFrom(log, {"Orvane series", "00258:0000197637"});
  EXPECT_EQ(CommandsSince(out), EventResponse());
  EXPECT_EQ(Cycles(shim), (QStringList{"~0", "~L", "~1", "~l"}));
  EXPECT_TRUE(boxes.empty());
  Disconnect();
}

// Each of the four speeds of the window reaches the reader's line.
TEST_F(Ser2net, EachSpeedReachesTheLine) {
  StartReader({"--no-powerup"});
  StartServer(true);
  Form().SetModelIndex(0);
  const struct {
    bool spd0, spd1;
    speed_t speed;
  } speeds[] = {{false, false, B1200}, {true, false, B9600}, {false, true, B38400}, {true, true, B115200}};
  for (const auto& s : speeds) {
    Form().spd0->setChecked(s.spd0);
    Form().spd1->setChecked(s.spd1);
    const int out = int(reader->Lines().size());
    Connect();
    ASSERT_TRUE(reader->AwaitCount(out, "cmd ", 1));
    EXPECT_EQ(LineSpeed(reader->Device()), s.speed) << s.spd0 << s.spd1;
    Disconnect();
  }
  EXPECT_TRUE(boxes.empty());
}

// ser2net killed while connected: one report, a silent Disconnect; once it
// is back, Connect works again.
TEST_F(Ser2net, ServerKilledIsOneRemovalAndConnectWorksOnceItIsBack) {
  StartReader({"--no-powerup"});
  StartServer(true);
  Form().SetModelIndex(0);
  Connect();
  ASSERT_TRUE(reader->AwaitCount(0, "cmd ", 1));
  StopServer();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 10000)) << "the server's end was not reported";
  Settle(500);
  EXPECT_EQ(boxes.size(), 1u);
  Disconnect();
  EXPECT_EQ(boxes.size(), 1u);

  StartServer(true);
  const int out = int(reader->Lines().size());
  Connect();
  ASSERT_TRUE(reader->AwaitCount(out, "cmd ", 1));
  reader->Control("card 1:2");
  ASSERT_TRUE(AwaitLogSize(3));
  Settle();
  EXPECT_EQ(Log().mid(1), (QStringList{"Orvane series", "00001:0000000002"}));
  EXPECT_EQ(boxes.size(), 1u);
  Disconnect();
}

// With reconnect on, ser2net killed is a loss that the window waits out
// without a box, trying the address every second; once ser2net is back the
// window connects again by itself and answers the next card.
TEST_F(Ser2net, ReconnectWaitsForTheServerToComeBack) {
  reconnect = true;
  StartReader({"--no-powerup"});
  StartServer(true, false);
  Form().SetModelIndex(0);
  Form().cbAutoBeep->setChecked(false);
  Connect();
  ASSERT_TRUE(reader->AwaitCount(0, "cmd ", 1));
  StopServer();
  ASSERT_TRUE(QTest::qWaitFor([&] { return LogCount("COM1 lost: ") == 1; }, 20000)) << "the server's end was not seen";
  QTest::qWait(2500);
  const int out = int(reader->Lines().size());
  StartServer(true, false);
  ExpectReconnectAndACardAnswered(out, 20000);
  Disconnect();
}

// The same session over ser2net's raw mode: data only.
TEST_F(Ser2net, ReaderSessionThroughARawSocket) {
  StartReader({"--no-powerup"});
  StartServer(false);
  Form().SetModelIndex(0);
  Connect();
  ASSERT_TRUE(reader->AwaitCount(0, "cmd ", 1));
  Settle();
  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  reader->Control("card 258:197637");
  ExpectLogFrom(log, {"Orvane series", "00258:0000197637"});
  EXPECT_EQ(CommandsSince(out), EventResponse());
  EXPECT_TRUE(boxes.empty());
  Disconnect();
}

// trellum-check names a network port as the window does, and its scan sets
// each speed through RFC 2217: a reader that answers only at 38400 bit/s is
// found there, with its ID, and nowhere else.
TEST_F(Ser2net, TrellumCheckScanFindsTheReaderAtItsSpeed) {
  StartReader({"--no-powerup", "--speed-match", "--baud", "38400", "--ids", "5"});
  StartServer(true);
  QProcess check;
  check.start(QStringLiteral(CHECK_PATH), {"scan", server_.Name(), "--speeds", "9600,38400", "--ids", "4-6"});
  ASSERT_TRUE(check.waitForFinished(60000)) << "trellum-check did not end";
  const QString out = QString::fromLocal8Bit(check.readAllStandardOutput());
  EXPECT_EQ(check.exitCode(), 0) << out.toStdString() << check.readAllStandardError().toStdString();
  QStringList rows;  // "SPEED ID" of each reader row
  for (const QString& line : out.split('\n')) {
    const QStringList fields = line.simplified().split(' ');
    if (fields.size() > 2 && fields[0][0].isDigit() && fields[1] != QStringLiteral("readers") &&
        fields[1] != QStringLiteral("reader"))
      rows << fields[0] + ' ' + fields[1];
  }
  EXPECT_EQ(rows, QStringList{QStringLiteral("38400 5")}) << out.toStdString();
}

// Two lines at once, one through ser2net: the server dies during the run,
// its line ends with the loss and the other line passes.
TEST_F(Ser2net, TrellumCheckLineWhoseServerDiesEndsAloneTheOtherPasses) {
  StartReader({"--no-powerup"});
  StartServer(true);
  VirtualReader direct({"--no-powerup"});
  QProcess check;
  check.start(QStringLiteral(CHECK_PATH), {"test", server_.Name(), direct.Device(), "--model", "Brenta", "--speed",
                                           "9600", "--cards", "0"});
  QString err;
  const QString during = server_.Name() + ": test: 4 relay pulses ...";
  ASSERT_TRUE(reader->Await(
      [&] {
        err += QString::fromLocal8Bit(check.readAllStandardError());
        return err.contains(during) || check.state() == QProcess::NotRunning;
      },
      60000))
      << err.toStdString();
  StopServer();
  ASSERT_TRUE(check.waitForFinished(60000)) << "trellum-check did not end";
  const QString out = QString::fromLocal8Bit(check.readAllStandardOutput());
  err += QString::fromLocal8Bit(check.readAllStandardError());
  SCOPED_TRACE((out + err).toStdString());
  EXPECT_EQ(check.exitCode(), 1);
  QString lost, passed;
  for (const QString& line : out.split('\n')) {
    if (line.startsWith(server_.Name() + " ")) lost = line.simplified();
    if (line.startsWith(direct.Device() + " ")) passed = line.simplified();
  }
  EXPECT_TRUE(lost.startsWith(server_.Name() + " - FAIL ")) << lost.toStdString();
  EXPECT_TRUE(lost.contains("4 relay pulses: ") && lost.contains("line lost: ")) << lost.toStdString();
  EXPECT_TRUE(passed.startsWith(direct.Device() + " - PASS ")) << passed.toStdString();
  EXPECT_TRUE(err.contains(server_.Name() + ": test: SKIP 5 cards: not tried: the line was lost"));
}

}  // namespace
