#include <QLabel>
#include <QSpinBox>
#include <QTimer>
#include <cerrno>

#include "WireFixture.h"

namespace {

// Replies decoded by the window as the port delivers them, with the log
// lines and the answers on the wire.
class RepliesThroughWindow : public WireFixture {
 protected:
  void ConnectFirstModel() {
    Form().SetModelIndex(0);
    Connect();
    line->ClearCalls();
  }
  void TraceOn() { QTest::mousePress(Form().Image1, Qt::LeftButton, Qt::AltModifier); }
};

const std::string kCard("\x02\x06\x01\x02\x03\x04\x05\x0F\x03", 9);

TEST_F(RepliesThroughWindow, CardFrameWithTraceGivesEveryStepAndFourAnswers) {
  ConnectFirstModel();
  TraceOn();
  Deliver(kCard);
  ASSERT_TRUE(Await([&] { return Log().contains("reset"); }));
  EXPECT_EQ(Log(), (QStringList{"Framed <9>", "[0]02", "[1]06", "[2]01", "[2]02", "[2]03", "[2]04", "[2]05", "[3]0F",
                                "{0F}", "[4]03", "good code", "Orvane series", "00258:0000197637", "reset"}));
  EXPECT_EQ(Wire(), "[7E 30][7E 4C][7E 31][7E 6C]]");
  QTest::qWait(150);
  EXPECT_FALSE(Log().contains("RESET"));
}

TEST_F(RepliesThroughWindow, FrameSplitOverTwoDeliveriesDecodesAsOne) {
  ConnectFirstModel();
  Form().cbAutoBeep->setChecked(false);
  Deliver(kCard.substr(0, 4));
  Deliver(kCard.substr(4));
  ASSERT_TRUE(Await([&] { return Log().size() == 2; }));
  EXPECT_EQ(Log(), (QStringList{"Orvane series", "00258:0000197637"}));
  EXPECT_EQ(Wire(), "[7E 30]]");
}

TEST_F(RepliesThroughWindow, StrayByteIsFollowedByReset) {
  ConnectFirstModel();
  TraceOn();
  Deliver("A");
  ASSERT_TRUE(Await([&] { return Log().contains("RESET"); }, 1000));
  EXPECT_EQ(Log(), (QStringList{"Framed <1>", "[0]41", "reset", "RESET"}));
}

TEST_F(RepliesThroughWindow, IdModeAnswersTheSenderUntilTheIdIsRefreshed) {
  TForm1& f = Form();
  f.cbIDmode->click();
  f.seMyID->setValue(7);
  Connect();
  line->ClearCalls();
  Deliver(std::string("\xF5\x03\x06\x01\x02\x03\x04\x05\x0F\xFA", 10));
  ASSERT_TRUE(Await([&] { return Log().size() == 3; }));
  EXPECT_EQ(Log(), (QStringList{"Yorvel series", "ID=3", "00258:0000197637"}));
  EXPECT_EQ(Wire(), "[7E 03 30][7E 03 4C][7E 03 31][7E 03 6C]]");
  line->ClearCalls();
  f.status->click();
  EXPECT_EQ(Wire(), "[7E 07 3F]");
}

TEST_F(RepliesThroughWindow, PowerUpAsksForStatusAndSwitchClosedBeeps) {
  ConnectFirstModel();
  Form().cbAutoBeep->setChecked(false);
  Deliver(std::string("\x02\x02\x52\x52\x03", 5));
  ASSERT_TRUE(Await([&] { return Log().contains("POWER UP"); }));
  Deliver(std::string("\x02\x02\x50\x50\x03", 5));
  ASSERT_TRUE(Await([&] { return Log().contains("CLOSE"); }));
  EXPECT_EQ(Wire(), "[7E 3F]][7E 30]]");
  EXPECT_EQ(Form().Label1->text(), "CLOSE");
  EXPECT_EQ(messages.beeps, 1);
}

TEST_F(RepliesThroughWindow, FailureInsideANestedHandlerIsReportedAndTheOuterCommandFinishes) {
  TForm1& f = Form();
  ConnectFirstModel();
  // While Get Status waits with RTS on, a click whose write fails runs nested.
  QTimer::singleShot(20, &f, [&] {
    line->Fail("Write", EIO);
    f.CheckBox2->click();
    line->Fail("Write", 0);
  });
  f.status->click();
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].caption, "Velmora");
  EXPECT_EQ(messages.boxes[0].text, "WriteFile function failed (win error code: 5)");
  EXPECT_EQ(Wire(), "[7E 3F[7E]");
  EXPECT_FALSE(line->Rts());
  EXPECT_EQ(f.Button4->text(), "Disconnect");
}

}  // namespace
