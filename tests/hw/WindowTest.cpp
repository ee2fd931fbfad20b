// The main window end to end through the real 8250 and ftdi_sio drivers,
// with the virtual reader on the host end of the port (the rig relays it).
#include "HostRequest.h"
#include "SessionFixture.h"

#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// QEMU's FTDI adapter never reports its transmitter empty, so each of the
// window's writes there lasts until its write time-out (about a second a
// byte): the reader waits that long inside a command.
const QStringList kSlowLink{"--no-powerup", "--command-gap", "5000"};

class RealWindow : public SessionFixture, public ::testing::WithParamInterface<const char*> {};

std::string NameOf(const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param).substr(5); }

bool AwaitNode(const char* path, bool present = true) {
  return QTest::qWaitFor([&] { return (access(path, F_OK) == 0) == present; }, 10000);
}

}  // namespace

TEST_P(RealWindow, ConnectsReadsACardAndDisconnects) {
  StartReader(kSlowLink + QStringList{"--options", "A", "--device", GetParam()});
  Form().SetModelIndex(1);
  ASSERT_TRUE(Form().cbAutoBeep->isChecked());
  Connect();
  ASSERT_TRUE(reader->AwaitCount(0, "cmd ", 2, 20000));
  Settle();
  EXPECT_EQ(CommandsSince(0), (QStringList{"- ?", "- O"}));
  EXPECT_EQ(Form().Label1->text(), "OPEN");

  const int log = int(Log().size());
  const int out = int(reader->Lines().size());
  reader->Control("card 258:197637");
  ASSERT_TRUE(reader->AwaitCount(out, "cmd ", 4, 30000));
  ExpectLogFrom(log, {"Orvane series", "00258:0000197637"});
  EXPECT_EQ(CommandsSince(out), EventResponse());
  Disconnect();
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(reader->Finish(), 0);
  HostRequest(std::string("transcript ") + GetParam() + " ~? ~O ~0~L~1~l");
}

INSTANTIATE_TEST_SUITE_P(Ports, RealWindow, ::testing::Values("/dev/ttyS1", "/dev/ttyUSB0"), NameOf);

using RealRemoval = SessionFixture;

// The adapter removed while connected, ten times: one report each, a silent
// Disconnect, and Connect on the same COM1 once the adapter is back. In every
// other cycle the adapter returns before the operator presses Disconnect: it
// must still come back as ttyUSB0, which it does only if the removed device
// was let go when the removal was seen.
TEST_F(RealRemoval, AdapterRemovedAndReaddedTenTimes) {
  constexpr const char* kAdapter = "/dev/ttyUSB0";
  StartReader(kSlowLink + QStringList{"--device", kAdapter});
  Form().SetModelIndex(0);
  for (size_t cycle = 1; cycle <= 10; ++cycle) {
    SCOPED_TRACE(cycle);
    const bool replugWhileConnected = cycle % 2 == 0;
    const int out = int(reader->Lines().size());
    Connect();
    ASSERT_TRUE(reader->AwaitCount(out, "cmd - ?", 1, 20000));
    HostRequest("unplug");
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.size() == cycle; }, 10000)) << "the removal was not reported";
    QTest::qWait(300);
    ASSERT_EQ(boxes.size(), cycle);
    EXPECT_EQ(boxes.back().text, "ReadFile function failed (win error code: 5)");
    ASSERT_TRUE(AwaitNode(kAdapter, false)) << "the adapter's node stayed";
    if (replugWhileConnected) {
      HostRequest("plug");
      ASSERT_TRUE(AwaitNode(kAdapter)) << "the adapter came back under another name";
      EXPECT_NE(access("/dev/ttyUSB1", F_OK), 0);
      EXPECT_EQ(Form().Button4->text(), "Disconnect");
    }
    Disconnect();
    EXPECT_EQ(boxes.size(), cycle);
    if (!replugWhileConnected) {
      HostRequest("plug");
      ASSERT_TRUE(AwaitNode(kAdapter)) << "the adapter did not come back";
    }
  }
  const int out = int(reader->Lines().size());
  Connect();
  ASSERT_TRUE(reader->AwaitCount(out, "cmd - ?", 1, 20000));
  Disconnect();
  EXPECT_EQ(boxes.size(), 10u);
}

// With reconnect on, the adapter unplugged and plugged back: no box, one log
// line for the loss and one for the return, Connect's request on the
// returned adapter, and the next card answered there, on the real driver.
TEST_F(RealRemoval, ReconnectFollowsTheAdapterBack) {
  constexpr const char* kAdapter = "/dev/ttyUSB0";
  reconnect = true;
  StartReader(kSlowLink + QStringList{"--device", kAdapter});
  Form().SetModelIndex(0);
  Form().cbAutoBeep->setChecked(false);
  Connect();
  ASSERT_TRUE(reader->AwaitCount(0, "cmd - ?", 1, 20000));
  HostRequest("unplug");
  ASSERT_TRUE(QTest::qWaitFor([&] { return LogCount("COM1 lost: ") == 1; }, 10000)) << "the loss was not seen";
  ASSERT_TRUE(AwaitNode(kAdapter, false));
  QTest::qWait(1500);
  const int out = int(reader->Lines().size());
  HostRequest("plug");
  ASSERT_TRUE(reader->AwaitCount(out, "cmd - ?", 1, 30000)) << "no reconnect";
  reader->Control("card 258:197637");
  ASSERT_TRUE(reader->AwaitCount(out, "cmd - 0", 1, 30000));
  Settle();
  EXPECT_EQ(Log().mid(Log().size() - 2), (QStringList{"Orvane series", "00258:0000197637"}));
  EXPECT_EQ(LogCount("COM1 reconnected after "), 1);
  EXPECT_TRUE(boxes.empty());
  Disconnect();
}
