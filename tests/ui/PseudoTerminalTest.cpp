#include <QCheckBox>
#include <QLabel>
#include <QSocketNotifier>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include "FakeUart.h"
#include "PosixDevice.h"
#include "WindowFixture.h"

#include <QPushButton>
#include <QTest>

namespace {

// A scripted reader on the master side of a pseudo-terminal; the window opens
// the slave side through the "Ports" section of its settings file.
class Peer {
 public:
  Peer() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
    path_ = name;
    ::close(slave);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
      char buffer[256];
      ssize_t n;
      while ((n = ::read(master_, buffer, sizeof buffer)) > 0) received.append(buffer, size_t(n));
    });
  }
  ~Peer() { Hangup(); }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  const std::string& Path() const { return path_; }
  void Send(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  // Waits until the window has sent these bytes, then forgets them.
  bool Expect(const std::string& bytes) {
    const bool seen = QTest::qWaitFor([&] { return received.find(bytes) != std::string::npos; }, 3000);
    received.clear();
    return seen;
  }
  void Hangup() {
    notifier_.reset();
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  std::string received;

 private:
  int master_ = -1;
  std::string path_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

class PseudoTerminal : public WindowFixture {
 protected:
  void PointCom1At(const Peer& peer) { WriteSettings(QByteArray("[Ports]\nCOM1=") + peer.Path().c_str() + "\n"); }
  QStringList Log() { return Form().Memo1->toPlainText().split('\n', Qt::SkipEmptyParts); }
};

TEST_F(PseudoTerminal, ReaderSessionOverARealDevice) {
  Peer peer;
  ASSERT_FALSE(peer.Path().empty());
  PointCom1At(peer);
  TForm1& f = Form();
  f.Button4->click();
  ASSERT_EQ(f.Button4->text(), "Disconnect");
  EXPECT_TRUE(peer.Expect("~?~O"));

  peer.Send(std::string("\x02\x02\xF5\xF5\x03", 5));
  EXPECT_TRUE(peer.Expect("~L"));
  EXPECT_EQ(f.Label1->text(), "CLOSE");
  EXPECT_TRUE(f.CheckBox1->isChecked());

  peer.Send(std::string("\x02\x06\x01\x02\x03\x04\x05\x0F\x03", 9));
  EXPECT_TRUE(peer.Expect("~0~L~1~l"));
  EXPECT_EQ(Log(), (QStringList{"Orvane series", "Orvane series", "00258:0000197637"}));

  f.Button4->click();
  EXPECT_EQ(f.Button4->text(), "Connect");
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(PseudoTerminal, HangupIsReportedOnceAndAFreshDeviceConnects) {
  TForm1& f = Form();
  f.SetModelIndex(0);
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    Peer peer;
    PointCom1At(peer);
    f.Button4->click();
    ASSERT_EQ(f.Button4->text(), "Disconnect");
    EXPECT_TRUE(peer.Expect("~?"));
    peer.Hangup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages.boxes.size() == size_t(round); }, 3000));
    EXPECT_EQ(messages.boxes.back().caption, "Velmora");
    EXPECT_EQ(messages.boxes.back().text, "ReadFile function failed (win error code: 5)");
    QTest::qWait(200);
    EXPECT_EQ(messages.boxes.size(), size_t(round));
    f.Button4->click();
    EXPECT_EQ(f.Button4->text(), "Connect");
  }
}

}  // namespace

namespace {

// The window on the POSIX device over a scripted UART: line errors, which no
// pseudo-terminal or emulated port produces.
class ScriptedUart : public WindowFixture {
 protected:
  TForm1Setup WindowSetup() override {
    TForm1Setup setup = WindowFixture::WindowSetup();
    setup.makeDevice = [uart = uart](const std::string&) { return std::make_unique<serialdev::PosixDevice>(uart); };
    // The scripted UART answers any path; the machine's own ports play no part.
    setup.automaticPorts = [](const std::string& port) -> std::optional<std::string> { return "/dev/fake-" + port; };
    return setup;
  }
  QStringList Log() { return Form().Memo1->toPlainText().split('\n', Qt::SkipEmptyParts); }
  bool AwaitLog(qsizetype lines) {
    return QTest::qWaitFor([&] { return Log().size() >= lines; }, 5000);
  }

  std::shared_ptr<FakeUart> uart = std::make_shared<FakeUart>();
};

}  // namespace

TEST_F(ScriptedUart, EachLineErrorLogsCommErrorAndTheNextCardDecodesFromIdle) {
  TForm1& f = Form();
  f.SetModelIndex(0);
  f.Button4->click();
  ASSERT_EQ(f.Button4->text(), "Disconnect");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !uart->PollTimeouts().empty(); }, 5000));

  // An overrun: "Comm Error".
  uart->Overrun("");
  ASSERT_TRUE(AwaitLog(1));
  // A framing error: "Comm Error", then its NUL byte is a stray byte in the idle state.
  uart->ReceiveWithFramingError();
  ASSERT_TRUE(AwaitLog(3));
  uart->Receive(std::string("\x02\x06\x01\x02\x03\x04\x05\x0F\x03", 9));
  ASSERT_TRUE(AwaitLog(5));
  QTest::qWait(200);
  EXPECT_EQ(Log(), (QStringList{"Comm Error", "Comm Error", "RESET", "Orvane series", "00258:0000197637"}))
      << Log().join("|").toStdString();
  EXPECT_NE(uart->Sent().find("~0~L~1~l"), std::string::npos) << uart->Sent();
  f.Button4->click();
  EXPECT_EQ(f.Button4->text(), "Connect");
  EXPECT_TRUE(messages.boxes.empty());
}
