#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "ComPort.h"
#include "NetworkDevice.h"
#include "QtHandOff.h"
#include "ScriptedServer.h"
#include "WindowFixture.h"

namespace {

using serialdev::SocketCodes;

std::string Bytes(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text.push_back(static_cast<char>(v));
  return text;
}

std::string Notice(int code, int value) { return Bytes({255, 250, 44, code, value, 255, 240}); }

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// The component on the network device against a scripted server.
class NetworkPort : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetDeviceFactory([](const std::string&) {
      return std::make_unique<serialdev::NetworkDevice>(serialdev::NetworkTiming{2000, 300, {}});
    });
    port.SetErrorReporter([this](std::exception_ptr error) { reported.push_back(error); });
    port.OnRxChar = [this](TCustomComPort* sender, int count) {
      std::string text;
      sender->ReceiveText(text, count);
      received += text;
    };
    port.OnError = [this](TCustomComPort*, TComErrors errors) { log.push_back("Error:" + std::to_string(errors.Bits())); };
    port.OnBreak = [this](TCustomComPort*) { log.push_back("Break"); };
    port.OnCTSChange = [this](TCustomComPort*, bool on) { log.push_back("CTS:" + std::to_string(on)); };
    port.OnDSRChange = [this](TCustomComPort*, bool on) { log.push_back("DSR:" + std::to_string(on)); };
    port.OnDeviceRemoved = [this](TCustomComPort*, const EComPort& e) { removals.push_back(e.SystemCode()); };
  }

  // The reason and system code of the EComPort an action raises (0 for none).
  static std::pair<int, int> Raised(const std::function<void()>& action) {
    try {
      action();
    } catch (const EComPort& e) {
      return {e.ReasonCode(), e.SystemCode()};
    }
    return {0, 0};
  }

  std::string received;
  std::vector<std::string> log;
  std::vector<int> removals;
  std::vector<std::exception_ptr> reported;
  // Last, so that its handlers' records outlive it.
  TComPort port{std::make_shared<QtHandOff>()};
};

// Settings at open and on change, RTS, data with 0xFF both ways.
TEST_F(NetworkPort, SettingsRtsAndEscapedDataReachTheServer) {
  ScriptedServer server;
  port.SetPort(server.Name());
  port.OpenPort();
  const auto opening = server.Requests();
  for (const char* request : {"1:00002580", "2:08", "3:01", "4:01", "5:01", "5:09", "5:0c"})
    EXPECT_TRUE(Contains(opening, request)) << request;

  port.SendText(Bytes({'a', 0xFF, 'b'}));
  port.DriveRTS(true);
  port.SetBaudRate(br115200);
  port.DriveRTS(false);
  ASSERT_TRUE(server.Await([](const std::string& data, const std::vector<std::string>& r) {
    return data == Bytes({'a', 0xFF, 'b'}) && r.size() >= 3;
  }));
  const auto later = server.Requests();
  EXPECT_EQ(std::vector<std::string>(later.end() - 3, later.end()),
            (std::vector<std::string>{"5:0b", "1:0001c200", "5:0c"}));

  ASSERT_TRUE(server.Send("x" + Bytes({255, 255}) + "y"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() >= 3; }, 5000));
  EXPECT_EQ(received, Bytes({'x', 0xFF, 'y'}));
  port.ClosePort();
  EXPECT_TRUE(Contains(server.Requests(), "12:03"));
  EXPECT_TRUE(reported.empty());
}

// NOTIFY-LINESTATE and NOTIFY-MODEMSTATE arrive as the component's events.
TEST_F(NetworkPort, LineAndModemNotificationsBecomeEvents) {
  ScriptedServer server;
  port.Parity().SetCheck(true);
  port.SetPort(server.Name());
  port.OpenPort();
  struct Expect {
    int bits;
    TComErrors errors;
  };
  for (const Expect& e : {Expect{0x08, TComErrors{ceFrame}}, Expect{0x02, TComErrors{ceOverrun}},
                          Expect{0x04, TComErrors{ceRxParity}}, Expect{0x0A, TComErrors{ceFrame, ceOverrun}}}) {
    log.clear();
    ASSERT_TRUE(server.Send(Notice(106, e.bits)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.empty(); }, 5000)) << e.bits;
    EXPECT_EQ(log, std::vector<std::string>{"Error:" + std::to_string(e.errors.Bits())}) << e.bits;
  }
  log.clear();
  ASSERT_TRUE(server.Send(Notice(106, 0x10)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.size() >= 2; }, 5000));
  EXPECT_EQ(log, (std::vector<std::string>{"Error:" + std::to_string(TComErrors{ceBreak}.Bits()), "Break"}));

  log.clear();
  ASSERT_TRUE(server.Send(Notice(107, 0x10 | 0x01)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !log.empty(); }, 5000));
  EXPECT_EQ(log, std::vector<std::string>{"CTS:1"});
  EXPECT_TRUE(port.ReadLineSignals().Contains(lsCTS));
  EXPECT_FALSE(port.ReadLineSignals().Contains(lsDSR));
  port.ClosePort();
}

// A server that never answers SET-CONTROL or PURGE-DATA is waited for once
// and then tolerated; a speed answered otherwise, a refused COM-PORT-OPTION
// and a refused connection fail the open with the system's code.
TEST_F(NetworkPort, SilentServersAreToleratedAndRefusalsFailTheOpen) {
  {
    ScriptedServer silent({.answerControl = false, .answerPurge = false});
    port.SetPort(silent.Name());
    port.OpenPort();
    port.DriveRTS(true);
    port.DriveRTS(false);
    port.ClosePort();
    EXPECT_TRUE(reported.empty());
    EXPECT_TRUE(Contains(silent.Requests(), "5:0c"));
  }
  {
    ScriptedServer slower({.baudAnswer = 19200});
    port.SetPort(slower.Name());
    EXPECT_EQ(Raised([&] { port.OpenPort(); }), std::make_pair(7, SocketCodes::kInvalid));
    EXPECT_FALSE(port.Connected());
  }
  {
    ScriptedServer plain({.acceptComPort = false});
    port.SetPort(plain.Name());
    EXPECT_EQ(Raised([&] { port.OpenPort(); }), std::make_pair(1, SocketCodes::kNoProtocol));
  }
  {
    ScriptedServer gone;
    gone.StopListening();
    port.SetPort(gone.Name());
    EXPECT_EQ(Raised([&] { port.OpenPort(); }), std::make_pair(1, scripted::kRefused));
  }
  // A malformed name reaches no server at all.
  port.SetPort("rfc2217://127.0.0.1:0");
  EXPECT_EQ(Raised([&] { port.OpenPort(); }), std::make_pair(1, SocketCodes::kInvalid));
}

// The server ending the connection is a removal: reported once, Close
// silent, and the next open works.
TEST_F(NetworkPort, ConnectionEndIsARemovalAndTheNextOpenWorks) {
  ScriptedServer server;
  port.SetPort(server.Name());
  port.OpenPort();
  server.Drop();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !removals.empty(); }, 5000));
  QTest::qWait(100);
  EXPECT_EQ(removals, std::vector<int>{SocketCodes::kReset});
  port.ClosePort();
  EXPECT_TRUE(reported.empty());
  port.OpenPort();
  EXPECT_EQ(server.Clients(), 2);
  port.SendText("again");
  EXPECT_TRUE(server.Await([](const std::string& data, const auto&) { return data == "again"; }));
  port.ClosePort();
}

// socket:// carries data only, 0xFF untouched; RTS and settings send nothing.
TEST_F(NetworkPort, SocketNamesCarryRawDataOnly) {
  ScriptedServer server;
  port.SetPort(server.Name("socket"));
  port.OpenPort();
  port.DriveRTS(true);
  port.SetBaudRate(br1200);
  port.SendText("plain");
  ASSERT_TRUE(server.Send(Bytes({0xFF, 0xFF, 0xFF})));
  ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() >= 3; }, 5000));
  EXPECT_EQ(received, Bytes({0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(server.Await([](const std::string& data, const auto&) { return data == "plain"; }));
  EXPECT_TRUE(server.Requests().empty());
  port.ClosePort();
}

// The window on the network device, COM1 pointing at a scripted server.
class NetworkWindow : public WindowFixture {
 protected:
  TForm1Setup WindowSetup() override {
    TForm1Setup setup = WindowFixture::WindowSetup();
    setup.makeDevice = [](const std::string&) {
      return std::make_unique<serialdev::NetworkDevice>(serialdev::NetworkTiming{2000, 300, {}});
    };
    return setup;
  }
  QStringList Log() { return Form().Memo1->toPlainText().split('\n', Qt::SkipEmptyParts); }
};

// A server that stops in the middle of a card frame, and in the middle of a
// notification after it, then takes nothing more: the bytes before the cut
// reach the decoder, "RESET" follows 100 ms after the last of them, and
// Disconnect ends the session without a report although the server answers
// nothing.
TEST_F(NetworkWindow, ServerStallingMidFrameGivesResetAndDisconnectStillEnds) {
  ScriptedServer server;
  WriteSettings(QByteArray("[Ports]\nCOM1=") + server.Name().c_str() + "\n");
  TForm1& f = Form();
  f.SetModelIndex(0);
  f.Button4->click();
  ASSERT_EQ(f.Button4->text(), "Disconnect");
  ASSERT_TRUE(server.Await([](const std::string& data, const auto&) { return data == "~?"; }));

  QElapsedTimer sinceLastByte;
  sinceLastByte.start();
  ASSERT_TRUE(server.Send(Bytes({0x02, 0x06, 0x01, 0x02, 255, 250, 44, 107})));
  server.Stall();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log().contains("RESET"); }, 5000));
  EXPECT_GE(sinceLastByte.elapsed(), 100);
  QTest::qWait(200);
  EXPECT_EQ(Log(), QStringList{"RESET"});

  f.Button4->click();
  EXPECT_EQ(f.Button4->text(), "Connect");
  EXPECT_TRUE(messages.boxes.empty());
}

}  // namespace
