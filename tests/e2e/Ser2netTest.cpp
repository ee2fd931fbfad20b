#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "SessionFixture.h"

namespace {

// A TCP port of 127.0.0.1 that nothing listens on just now.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Listening(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return up;
}

// The line speed a pseudo-terminal is set to, read on a descriptor of its own.
speed_t LineSpeed(const QString& device) {
  const int fd = ::open(device.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios tio{};
  const bool read = fd >= 0 && ::tcgetattr(fd, &tio) == 0;
  if (fd >= 0) ::close(fd);
  return read ? ::cfgetospeed(&tio) : B0;
}

// The window reaching the virtual reader through ser2net on 127.0.0.1, which
// runs with the pseudo-terminal shim preloaded: its RTS changes and its
// writes to the reader's line are logged in order.
class Ser2net : public SessionFixture {
 protected:
  ~Ser2net() override {
    DestroyForm();
    StopServer();
  }

  // Starts ser2net in front of the reader's line, RFC 2217 or raw, and
  // points COM1 at it.
  void StartServer(bool rfc2217) {
    if (port_ == 0) port_ = FreePort();
    rfc2217_ = rfc2217;
    QFile config(work_.filePath("ser2net.yaml"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QString accepter = QString(rfc2217 ? "telnet(rfc2217),tcp,127.0.0.1,%1" : "tcp,127.0.0.1,%1").arg(port_);
    config.write(QString("connection: &reader\n"
                         "  accepter: %1\n"
                         "  connector: serialdev,%2,9600n81,local\n"
                         "  options:\n"
                         "    kickolduser: true\n")
                     .arg(accepter, reader->Device())
                     .toUtf8());
    config.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", TRELLUM_PTY_SHIM);
    environment.insert("TRELLUM_SHIM_LOG", ShimLog());
    environment.insert("TRELLUM_SHIM_WRITES", "1");
    server_.setProcessEnvironment(environment);
    server_.setProcessChannelMode(QProcess::MergedChannels);
    server_.setStandardOutputFile(work_.filePath("ser2net.out"));
    server_.start("ser2net", {"-n", "-d", "-c", config.fileName(), "-P", work_.filePath("ser2net.pid")});
    ASSERT_TRUE(server_.waitForStarted(5000)) << "ser2net did not start: is it installed?";
    ASSERT_TRUE(QTest::qWaitFor([&] { return Listening(port_); }, 5000)) << "ser2net does not listen";
    PointCom1At(QString("%1://127.0.0.1:%2").arg(rfc2217 ? "rfc2217" : "socket").arg(port_));
  }

  void StopServer() {
    if (server_.state() == QProcess::NotRunning) return;
    server_.kill();
    server_.waitForFinished(5000);
  }

  QString ShimLog() const { return work_.filePath("shim.log"); }
  QStringList ShimEntries() const {
    QFile log(ShimLog());
    if (!log.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(log.readAll()).split('\n', Qt::SkipEmptyParts);
  }
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

  QTemporaryDir work_{QStringLiteral(TRELLUM_TEST_WORK "/ser2net-XXXXXX")};
  QProcess server_;
  int port_ = 0;
  bool rfc2217_ = true;
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

}  // namespace
