#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <cerrno>

#include "ComPort.h"
#include "LinkObserver.h"
#include "WireFixture.h"

namespace {

using Connection = WireFixture;

struct PanelState {
  bool choices;   // Model, comm1, spd0, spd1, fmt0, fmt1, cbIDmode
  bool commands;  // CheckBox1..6, Button3, Button5, status
  bool pulses;    // one, two
};

void ExpectPanel(TForm1& f, PanelState s) {
  for (QWidget* w : std::initializer_list<QWidget*>{f.Model, f.comm1, f.spd0, f.spd1, f.fmt0, f.fmt1, f.cbIDmode})
    EXPECT_EQ(w->isEnabled(), s.choices) << w->objectName().toStdString();
  for (QWidget* w : std::initializer_list<QWidget*>{f.CheckBox1, f.CheckBox2, f.Button3, f.Button5, f.CheckBox3,
                                                    f.CheckBox4, f.CheckBox5, f.CheckBox6, f.status})
    EXPECT_EQ(w->isEnabled(), s.commands) << w->objectName().toStdString();
  EXPECT_EQ(f.one->isEnabled(), s.pulses);
  EXPECT_EQ(f.two->isEnabled(), s.pulses);
  for (QWidget* w : std::initializer_list<QWidget*>{f.seMyID, f.cbAutoBeep, f.Button1, f.Button2})
    EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(Connection, ConnectSendsStatusRequestAndGetOptionsByModel) {
  const std::pair<int, std::string> cases[] = {{0, "[[7E 3F]"}, {1, "[[7E 3F]][7E 4F]"}, {2, "[[7E 3F]][7E 4F]"}};
  for (const auto& [model, wire] : cases) {
    SCOPED_TRACE(model);
    TForm1& f = Form();
    f.SetModelIndex(model);
    line->ClearCalls();
    Connect();
    EXPECT_EQ(Wire(), wire);
    ExpectPanel(f, {false, true, model > 0});
    EXPECT_TRUE(line->IsOpen());
    f.Button4->click();
    EXPECT_EQ(f.Button4->text(), "Connect");
    ExpectPanel(f, {true, false, false});
    EXPECT_FALSE(line->IsOpen());
  }
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Connection, RtsFramesEveryCommandWithLeadAndTail) {
  TForm1& f = Form();
  f.SetModelIndex(0);
  Connect();
  line->ClearCalls();
  f.status->click();
  const auto calls = line->Calls();
  ASSERT_EQ(Wire(), "[7E 3F]");
  using std::chrono::duration_cast;
  using ms = std::chrono::microseconds;
  EXPECT_GT(duration_cast<ms>(calls[1].at - calls[0].at).count(), 2000);
  EXPECT_GT(duration_cast<ms>(calls.back().at - calls[calls.size() - 2].at).count(), 50000);
}

TEST_F(Connection, IdModeConnectHoldsRtsUntilGetOptions) {
  TForm1& f = Form();
  f.cbIDmode->click();
  f.seMyID->setValue(12);
  line->ClearCalls();
  Connect();
  EXPECT_EQ(Wire(), "[][7E 00 4F]");
  const auto rts = line->CallsOf("SetRts");
  ASSERT_GE(rts.size(), 2u);
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(rts[1].at - rts[0].at).count(), 50);
  // After Disconnect in ID mode the locked choices are enabled again.
  f.Button4->click();
  EXPECT_TRUE(f.cbIDmode->isChecked());
  EXPECT_TRUE(f.Model->isEnabled());
  EXPECT_TRUE(f.spd0->isEnabled());
  EXPECT_TRUE(f.spd1->isEnabled());
}

TEST_F(Connection, FailedOpenIsReportedAndLeavesTheWindowDisconnected) {
  line->Fail("Open", ENOENT);
  TForm1& f = Form();
  f.Memo1->appendPlainText("kept");
  f.Button4->click();
  EXPECT_EQ(f.Button4->text(), "Connect");
  ExpectPanel(f, {true, false, false});
  EXPECT_EQ(Log(), QStringList{"kept"});
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].caption, "Velmora");
  EXPECT_EQ(messages.boxes[0].text, "Unable to open com port (win error code: 2)");
  EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Error);
}

TEST_F(Connection, NoEntrySelectedFailsToOpen) {
  WriteSettings("[Settings]\nPort=9\n");
  TForm1& f = Form();
  f.Button4->click();
  EXPECT_EQ(f.Button4->text(), "Connect");
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_TRUE(messages.boxes[0].text.startsWith("Unable to open com port"));
}

TEST_F(Connection, DisconnectSwallowsRtsFailureAndStillLetsGoOfThePort) {
  TForm1& f = Form();
  f.SetModelIndex(0);
  Connect();
  line->Fail("SetRts", EIO);
  f.Button4->click();
  EXPECT_EQ(f.Button4->text(), "Connect");
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_FALSE(line->IsOpen());
  ExpectPanel(f, {true, false, false});
  line->Fail("SetRts", 0);
  Connect();
  EXPECT_TRUE(line->IsOpen());
}

TEST_F(Connection, OneCommErrorLinePerErrorEvent) {
  TForm1& f = Form();
  f.SetModelIndex(0);
  Connect();
  line->RaiseErrors(serialdev::CE_FRAME);
  ASSERT_TRUE(Await([&] { return Log().size() == 1; }));
  line->RaiseErrors(serialdev::CE_OVERRUN | serialdev::CE_RXPARITY);
  ASSERT_TRUE(Await([&] { return Log().size() == 2; }));
  QTest::qWait(150);
  EXPECT_EQ(Log(), (QStringList{"Comm Error", "Comm Error"}));
  EXPECT_EQ(f.Button4->text(), "Disconnect");
}

TEST_F(Connection, PartialFrameAtDisconnectStillGivesReset) {
  TForm1& f = Form();
  f.SetModelIndex(0);
  Connect();
  Deliver(std::string("\x02\x06\x01", 3));
  f.Button4->click();
  ASSERT_TRUE(Await([&] { return Log().contains("RESET"); }, 1000));
  EXPECT_EQ(Log(), QStringList{"RESET"});
}

TEST_F(Connection, ExitClosesThePortWithoutDroppingRts) {
  TForm1& f = Form();
  f.show();
  f.SetModelIndex(0);
  Connect();
  line->ClearCalls();
  f.Button2->click();
  EXPECT_FALSE(f.isVisible());
  EXPECT_FALSE(line->IsOpen());
  EXPECT_TRUE(line->CallsOf("SetRts").empty());
  f.comm1->setCurrentIndex(3);
  DestroyForm();
  EXPECT_EQ(ReadSettings(), QByteArray("[Settings]\nPort=3\n"));
}

TEST_F(Connection, CloseBoxLeavesThePortToDestructionAfterTheSettingsFile) {
  TForm1& f = Form();
  f.show();
  f.SetModelIndex(0);
  f.comm1->setCurrentIndex(2);
  Connect();
  f.close();
  EXPECT_TRUE(line->IsOpen());
  DestroyForm();
  EXPECT_FALSE(line->IsOpen());
  EXPECT_EQ(ReadSettings(), QByteArray("[Settings]\nPort=2\n"));
}

TEST_F(Connection, FailedSettingsWriteIsReportedWhileThePortIsStillOpenThenItCloses) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("trellum.INI"));
  bool openWhenReported = false;
  messages.whileShown = [&] { openWhenReported = line->IsOpen(); };
  TForm1& f = Form();
  f.SetModelIndex(0);
  Connect();
  f.close();
  DestroyForm();
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].text, "Unable to write to " + QDir::toNativeSeparators(SettingsPath()) + ".");
  EXPECT_TRUE(openWhenReported);
  EXPECT_FALSE(line->IsOpen());
}

TEST_F(Connection, ControlPanelCommands) {
  TForm1& f = Form();
  Connect();
  const std::pair<QAbstractButton*, std::string> clicks[] = {
      {f.CheckBox1, "[7E 4C]"}, {f.CheckBox1, "[7E 6C]"}, {f.CheckBox2, "[7E 52]"},
      {f.CheckBox2, "[7E 72]"}, {f.one, "[7E 31]"},       {f.two, "[7E 32]"},
      {f.status, "[7E 3F]"},    {f.Button3, "][7E 4F]"},  {f.Button5, "[7E 6F 49]"}};
  for (const auto& [button, wire] : clicks) {
    line->ClearCalls();
    button->click();
    EXPECT_EQ(Wire(), wire) << button->objectName().toStdString();
  }
  // Option letters: a checked box contributes nothing.
  for (QCheckBox* box : {f.CheckBox3, f.CheckBox4, f.CheckBox5, f.CheckBox6}) box->setChecked(true);
  line->ClearCalls();
  f.Button5->click();
  EXPECT_EQ(Wire(), "[7E 6F 41]");
  for (QCheckBox* box : {f.CheckBox3, f.CheckBox4, f.CheckBox5, f.CheckBox6}) box->setChecked(false);
  line->ClearCalls();
  f.Button5->click();
  EXPECT_EQ(Wire(), "[7E 6F 50]");
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Connection, IdModeCommandsCarryTheReaderId) {
  TForm1& f = Form();
  f.cbIDmode->click();
  f.seMyID->setValue(12);
  Connect();
  const std::pair<QAbstractButton*, std::string> clicks[] = {
      {f.status, "[7E 0C 3F]"}, {f.CheckBox1, "[7E 0C 4C]"}, {f.one, "[7E 0C 31]"}, {f.Button3, "][7E 0C 4F]"}};
  for (const auto& [button, wire] : clicks) {
    line->ClearCalls();
    button->click();
    EXPECT_EQ(Wire(), wire) << button->objectName().toStdString();
  }
  // Text that is not a number addresses reader 0; Set Options uses the ID last refreshed.
  f.seMyID->findChild<QLineEdit*>()->setText("x");
  line->ClearCalls();
  f.Button5->click();
  EXPECT_EQ(Wire(), "[7E 0C 6F 49]");
  line->ClearCalls();
  f.two->click();
  EXPECT_EQ(Wire(), "[7E 00 32]");
}

TEST_F(Connection, StatusReplyUpdatesThePanelAndEchoesTheOutput) {
  TForm1& f = Form();
  f.SetModelIndex(0);
  Connect();
  line->ClearCalls();
  Deliver(std::string("\x02\x02\xF5\xF5\x03", 5));
  ASSERT_TRUE(Await([&] { return line->Written().find("~L") != std::string::npos; }));
  EXPECT_EQ(f.Label1->text(), "CLOSE");
  EXPECT_EQ(f.Label4->text(), "OFF");
  EXPECT_TRUE(f.CheckBox1->isChecked());
  EXPECT_FALSE(f.CheckBox2->isChecked());
  EXPECT_EQ(Log(), QStringList{"Orvane series"});
}

// Writes and RTS levels in the form of Wire(); received bytes apart.
class WireObserver : public LinkObserver {
 public:
  void Received(const std::string& bytes) override { received += bytes; }
  void Sent(const std::string& bytes) override {
    for (char b : bytes) {
      if (!wire.empty() && wire.back() != '[' && wire.back() != ']') wire += ' ';
      wire += QByteArray(1, b).toHex().toUpper().toStdString();
    }
  }
  void RtsChanged(bool on) override { wire += on ? "[" : "]"; }

  std::string received;
  std::string wire;
};

TEST_F(Connection, LinkObserverSeesWhatTheWindowReadsWritesAndDrives) {
  WireObserver observed;
  linkObserver = &observed;
  TForm1& f = Form();
  f.SetModelIndex(0);
  Connect();
  Deliver(std::string("\x02\x02\xF5\xF5\x03", 5));
  ASSERT_TRUE(Await([&] { return line->Written().find("~L") != std::string::npos; }));
  QTest::qWait(100);
  EXPECT_EQ(observed.wire, Wire());
  EXPECT_EQ(observed.received, std::string("\x02\x02\xF5\xF5\x03", 5));
  DestroyForm();
}

TEST_F(Connection, OptionReplySwitchesTheDecoderToLines) {
  TForm1& f = Form();
  f.SetModelIndex(1);
  Connect();
  Deliver(std::string("\x02\x02\xEB\xEB\x03", 5));
  ASSERT_TRUE(Await([&] { return f.Panel5->text() == "Mode 0"; }));
  EXPECT_FALSE(f.CheckBox3->isChecked());
  EXPECT_FALSE(f.CheckBox4->isChecked());
  EXPECT_TRUE(f.CheckBox5->isChecked());
  EXPECT_FALSE(f.CheckBox6->isChecked());
  f.cbAutoBeep->setChecked(false);
  line->ClearCalls();
  Deliver("1234,5678\n\r");
  ASSERT_TRUE(Await([&] { return Log().contains("1234,5678"); }));
  EXPECT_EQ(Wire(), "[7E 30]");
}

TEST_F(Connection, DeviceRemovalIsReportedOnceAndMendedTwice) {
  TForm1& f = Form();
  f.SetModelIndex(0);
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    line->ClearCalls();
    Connect();
    EXPECT_EQ(Wire(), "[[7E 3F]");
    line->Remove(EIO);
    ASSERT_TRUE(Await([&] { return messages.boxes.size() == size_t(round); }));
    EXPECT_EQ(messages.boxes.back().text, "ReadFile function failed (win error code: 5)");
    QTest::qWait(100);
    EXPECT_EQ(messages.boxes.size(), size_t(round));
    EXPECT_EQ(f.Button4->text(), "Disconnect");
    f.Button4->click();
    EXPECT_EQ(f.Button4->text(), "Connect");
    EXPECT_FALSE(line->IsOpen());
    EXPECT_EQ(messages.boxes.size(), size_t(round));
  }
}

// With reconnect on, a lost device is waited for, not reported: one log
// line, the status bar says so beside the clock, a try every second (the
// system's word on the last one at hand); once the device opens again,
// Connect's requests go out and the log goes on.
TEST_F(Connection, ReconnectWaitsForTheLostDeviceAndKeepsTheLog) {
  WriteSettings("[Options]\nReconnect=1\n");
  TForm1& f = Form();
  f.SetModelIndex(1);
  Connect();
  f.Memo1->appendPlainText("kept");
  line->Fail("Open", ENOENT);
  line->Remove(EIO);
  ASSERT_TRUE(Await([&] { return line->CallsOf("Open").size() == 3; }, 5000));
  const auto opens = line->CallsOf("Open");
  EXPECT_GE(opens[2].at - opens[1].at, std::chrono::milliseconds(1000));
  EXPECT_EQ(Log(), (QStringList{"kept", "COM1 lost: ReadFile function failed (win error code: 5)"}));
  const QLabel* waiting = f.StatusBar1->findChild<QLabel*>();
  ASSERT_TRUE(waiting && !waiting->isHidden());
  EXPECT_EQ(waiting->text(), "Waiting for COM1");
  EXPECT_EQ(waiting->toolTip(), "Last try: Unable to open com port (win error code: 2)");
  EXPECT_FALSE(f.StatusBar1->currentMessage().isEmpty());
  EXPECT_EQ(f.Button4->text(), "Disconnect");
  ExpectPanel(f, {false, false, false});

  line->ClearCalls();
  line->Fail("Open", 0);
  ASSERT_TRUE(Await([&] { return Log().size() == 3; }));
  EXPECT_TRUE(QRegularExpression("^COM1 reconnected after \\d+\\.\\d s$").match(Log()[2]).hasMatch())
      << Log()[2].toStdString();
  ASSERT_TRUE(Await([&] { return Wire() == "[[7E 3F]][7E 4F]"; })) << Wire();
  EXPECT_TRUE(waiting->isHidden());
  ExpectPanel(f, {false, true, true});
  EXPECT_TRUE(messages.boxes.empty());
}

// The device goes while the event response is under way: the write that
// finds it gone stands for the removal, which the event thread cannot see
// until the response is done.
TEST_F(Connection, ReconnectTakesAWriteToAGoneDeviceAsItsLoss) {
  struct RemoveAfterFirstCommand : LinkObserver {
    void Received(const std::string&) override {}
    void Sent(const std::string& bytes) override {
      if (bytes == "0") line->Remove(EIO);
    }
    void RtsChanged(bool) override {}
    FakeLine* line;
  } remover;
  remover.line = line.get();
  linkObserver = &remover;
  WriteSettings("[Options]\nReconnect=1\n");
  TForm1& f = Form();
  f.SetModelIndex(0);
  Connect();
  line->Receive(std::string("\x02\x06\x01\x02\x03\x04\x05\x0F\x03", 9));
  ASSERT_TRUE(Await([&] { return Log().size() == 3; }));
  EXPECT_EQ(Log()[2], "COM1 lost: WriteFile function failed (win error code: 5)");
  ASSERT_TRUE(Await([&] { return Log().size() == 4; }));
  EXPECT_TRUE(Log()[3].startsWith("COM1 reconnected after "));
  EXPECT_TRUE(messages.boxes.empty());
  DestroyForm();
}

// Disconnect and Exit end the wait at once, while the device's open still
// hangs in the background: the window has not waited for it, and the
// device it opens is let go.
TEST_F(Connection, DisconnectAndExitStopTheWaitWhileAnOpenHangs) {
  WriteSettings("[Options]\nReconnect=1\n");
  TForm1& f = Form();
  f.SetModelIndex(0);
  for (QPushButton* stop : {f.Button4, f.Button2}) {
    SCOPED_TRACE(stop->text().toStdString());
    Connect();
    line->HoldOpens(true);
    line->Remove(EIO);
    ASSERT_TRUE(Await([&] { return line->AwaitHeldOpener(std::chrono::milliseconds(0)); }));
    stop->click();
    EXPECT_TRUE(f.StatusBar1->findChild<QLabel*>()->isHidden());
    EXPECT_EQ(f.Button4->text(), stop == f.Button4 ? "Connect" : "Disconnect");
    line->HoldOpens(false);
    QTest::qWait(1500);
    EXPECT_FALSE(line->IsOpen());
    EXPECT_FALSE(Log().join('\n').contains("reconnected"));
  }
  EXPECT_TRUE(messages.boxes.empty());
}

}  // namespace
